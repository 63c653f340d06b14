#include "Subscriber.h"

#include <unistd.h>

#include <mqtt/async_client.h>
#include <atomic>

#include "publish/BrokerLogin.h"
#include "publish/Payload.h"

namespace quarn::publish {

namespace {

std::string MadeClientId() {
  static std::atomic<int> made{0};
  return "quarn-eval-" + HostName() + "-" + std::to_string(::getpid()) + "-" + std::to_string(++made);
}

// "2 s", "0.5 s"
std::string Seconds(std::chrono::milliseconds ms) {
  const auto count = ms.count();
  return std::to_string(count / 1000) + (count % 1000 ? "." + std::to_string(count % 1000 / 100) : "") + " s";
}

}  // namespace

std::optional<SubscriberSettings> FollowSettingsOf(std::string_view url, std::optional<std::string> password,
                                                   std::string caFile, bool insecure, std::string& why) {
  std::string wrong;
  std::optional<BrokerUrl> broker = ParseBrokerUrl(url, wrong);
  if (!broker) {
    why = "the broker URL " + wrong;
    return std::nullopt;
  }
  if (password) {
    if (broker->password) {
      why = "the URL has a password already: give it once";
      return std::nullopt;
    }
    if (broker->user.empty()) {
      why = "a password needs a user in the URL (mqtts://user@host/prefix)";
      return std::nullopt;
    }
    broker->password = std::move(password);
  }
  if (broker->password && !broker->tls && !insecure) {
    why = "a password goes only over mqtts:// (TLS)";
    return std::nullopt;
  }
  SubscriberSettings settings;
  settings.broker = std::move(*broker);
  settings.caFile = std::move(caFile);
  return settings;
}

Subscriber::Subscriber(SubscriberSettings settings)
    : settings_(std::move(settings)), filter_(settings_.broker.prefix + "/#") {
  state_.text = "Connecting to " + settings_.broker.Shown() + "\u2026";
}

Subscriber::~Subscriber() { Stop(); }

void Subscriber::Start() {
  client_ = std::make_unique<mqtt::async_client>(settings_.broker.ServerAddress(),
                                                 settings_.clientId.empty() ? MadeClientId() : settings_.clientId,
                                                 mqtt::create_options(MQTTVERSION_5));
  client_->set_message_callback(
      [this](mqtt::const_message_ptr message) { Arrived(message->get_topic(), message->to_string()); });
  client_->set_connected_handler([this](const std::string&) {
    bool again = false;
    {
      const std::lock_guard lock(mutex_);
      again = everConnected_;
      everConnected_ = true;
    }
    // A session the broker kept still holds the subscription; asking again costs nothing and covers one
    // it forgot.
    try {
      client_->subscribe(filter_, 1);
    } catch (const mqtt::exception& e) {
      SetState(false, "Cannot subscribe to " + filter_ + " at " + settings_.broker.Shown() + ": " + e.what());
      return;
    }
    SetState(true, std::string(again ? "Connected again to " : "Connected to ") + settings_.broker.Shown());
  });
  client_->set_connection_lost_handler([this](const std::string& cause) {
    SetState(false, "Lost the broker " + settings_.broker.Shown() + (cause.empty() ? "" : " (" + cause + ")") +
                        "; reconnecting, the records shown stay");
  });
  thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void Subscriber::Run(std::stop_token stop) {
  mqtt::connect_options options;
  options.set_mqtt_version(MQTTVERSION_5);
  options.set_clean_start(false);
  options.set_properties(
      {mqtt::property(mqtt::property::SESSION_EXPIRY_INTERVAL, static_cast<int>(settings_.sessionExpiry.count()))});
  options.set_keep_alive_interval(10);
  options.set_connect_timeout(5);
  options.set_automatic_reconnect(std::chrono::seconds(1), std::chrono::seconds(8));
  SetLogin(options, settings_.broker, settings_.caFile, [this](const std::string& text) {
    const std::lock_guard lock(mutex_);
    tlsError_ = text;
  });
  // The library reconnects by itself only once a connection has been made: until then, tried here.
  while (!stop.stop_requested()) {
    {
      const std::lock_guard lock(mutex_);
      tlsError_.clear();
    }
    std::string problem;
    try {
      client_->connect(options)->wait();
    } catch (const mqtt::exception& e) {
      problem = e.what();
    }
    if (problem.empty()) return;
    {
      const std::lock_guard lock(mutex_);
      if (!tlsError_.empty()) problem += " (TLS: " + tlsError_ + ")";
    }
    SetState(false, "Cannot reach the broker " + settings_.broker.Shown() + ": " + problem + "; trying again every " +
                        Seconds(settings_.retryEvery));
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, settings_.retryEvery, [&] { return stop.stop_requested(); });
  }
}

void Subscriber::Stop() {
  if (thread_.joinable()) {
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
  }
  if (!client_) return;
  client_->disable_callbacks();
  try {
    // A session that ends now: the broker queues nothing more for a window that is gone.
    if (client_->is_connected()) {
      mqtt::disconnect_options options;
      options.set_properties({mqtt::property(mqtt::property::SESSION_EXPIRY_INTERVAL, 0)});
      client_->disconnect(options)->wait_for(std::chrono::seconds(2));
    } else {
      client_->disconnect()->wait_for(std::chrono::seconds(2));
    }
  } catch (const mqtt::exception&) {
  }
  client_.reset();
}

void Subscriber::Arrived(const std::string& topic, const std::string& payload) {
  // prefix/[more levels/]<serial>/<leaf>: a lab's prefix takes in the racks publishing below it.
  const std::string& prefix = settings_.broker.prefix;
  const std::string rest = topic.size() > prefix.size() + 1 ? topic.substr(prefix.size() + 1) : std::string();
  const size_t last = rest.rfind('/');
  const size_t before = last == std::string::npos || last == 0 ? std::string::npos : rest.rfind('/', last - 1);
  const std::string serial = last == std::string::npos     ? std::string()
                             : before == std::string::npos ? rest.substr(0, last)
                                                           : rest.substr(before + 1, last - before - 1);
  const std::string leaf = last == std::string::npos ? std::string() : rest.substr(last + 1);
  const std::lock_guard lock(mutex_);
  if (leaf == "record") {
    std::optional<ReceivedRecord> record = DecodeRecord(payload);
    if (record && record->serial == serial) {
      arrivals_.records.push_back(std::move(*record));
      return;
    }
  } else if (leaf == "identity") {
    std::optional<ReceivedIdentity> identity = DecodeIdentity(payload);
    if (identity && identity->serial == serial) {
      arrivals_.identities.push_back(std::move(*identity));
      return;
    }
  } else if (leaf == "status") {
    if (payload == "online" || payload == "stopped" || payload == "offline") {
      arrivals_.statuses.emplace_back(serial, payload);
      return;
    }
  } else {
    // Other topics under the prefix are someone else's.
    return;
  }
  ++arrivals_.unreadable;
}

Arrivals Subscriber::Take() {
  Arrivals taken;
  const std::lock_guard lock(mutex_);
  std::swap(taken, arrivals_);
  return taken;
}

void Subscriber::SetState(bool connected, std::string text) {
  const std::lock_guard lock(mutex_);
  if (state_.connected == connected && state_.text == text) return;
  state_.connected = connected;
  state_.text = std::move(text);
  ++state_.changes;
}

Subscriber::State Subscriber::Now() const {
  const std::lock_guard lock(mutex_);
  return state_;
}

}  // namespace quarn::publish
