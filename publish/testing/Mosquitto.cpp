#include "Mosquitto.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mqtt/async_client.h>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "base/testing/WaitUntil.h"

namespace quarn::publish::testing {

namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

std::string MosquittoProgram() {
  for (const char* path : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto"}) {
    if (::access(path, X_OK) == 0) return path;
  }
  return "mosquitto";
}

}  // namespace

TestCertificate MakeTestCertificate(const std::filesystem::path& folder, const std::string& name) {
  TestCertificate made{folder / (name + ".pem"), folder / (name + ".key")};
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost"
      " -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout '" +
      made.key.string() + "' -out '" + made.certificate.string() + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl could not make a certificate");
  return made;
}

MosquittoBroker::MosquittoBroker(std::filesystem::path folder, std::optional<TestCertificate> tls)
    : folder_(std::move(folder)) {
  std::filesystem::create_directories(folder_ / "store");
  port_ = FreePort();
  std::ofstream config(folder_ / "mosquitto.conf");
  // Started as root it would switch to its own user, who may not read the test's folder.
  const passwd* user = ::getpwuid(::getuid());
  config << "user " << (user ? user->pw_name : "root") << "\n";
  config << "per_listener_settings false\nallow_anonymous true\npersistence true\npersistence_location "
         << (folder_ / "store").string() << "/\nautosave_interval 1\nmax_queued_messages 0\n"
         << "log_dest file " << (folder_ / "broker.log").string() << "\nlistener " << port_ << " 127.0.0.1\n";
  if (tls) {
    tlsPort_ = FreePort();
    config << "listener " << tlsPort_ << " 127.0.0.1\ncertfile " << tls->certificate.string() << "\nkeyfile "
           << tls->key.string() << "\n";
  }
}

MosquittoBroker::~MosquittoBroker() { Stop(); }

void MosquittoBroker::Start() {
  if (pid_ > 0) return;
  const std::string program = MosquittoProgram();
  const std::string config = (folder_ / "mosquitto.conf").string();
  const std::string output = (folder_ / "broker.out").string();
  pid_ = ::fork();
  if (pid_ == 0) {
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    ::execlp(program.c_str(), program.c_str(), "-c", config.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const bool up =
      base::WaitUntil([&] { return Accepts(port_) && (tlsPort_ == 0 || Accepts(tlsPort_)); }, std::chrono::seconds(15));
  if (!up) throw std::runtime_error("mosquitto did not start; see " + (folder_ / "broker.log").string());
}

void MosquittoBroker::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  if (!base::WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(10))) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
}

std::string JsonField(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  size_t at = json.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  if (at < json.size() && json[at] == '"') {
    const size_t end = json.find('"', at + 1);
    return json.substr(at + 1, end - at - 1);
  }
  const size_t end = json.find_first_of(",}", at);
  return json.substr(at, end - at);
}

RecordCollector::RecordCollector(int port, const std::string& prefix) : prefix_(prefix) {
  client_ = std::make_unique<mqtt::async_client>("tcp://127.0.0.1:" + std::to_string(port),
                                                 "collector-" + std::to_string(::getpid()) + "-" + prefix);
  client_->set_message_callback([this](mqtt::const_message_ptr message) {
    const std::string topic = message->get_topic();
    const std::string payload = message->to_string();
    const std::lock_guard lock(mutex_);
    if (topic.ends_with("/record")) {
      ++records_[{JsonField(payload, "serial"), JsonField(payload, "run"),
                  std::stoull("0" + JsonField(payload, "seq"))}];
    } else {
      others_[topic].push_back(payload);
    }
  });
  const std::string filter = prefix + "/#";
  client_->set_connected_handler([this, filter](const std::string&) { client_->subscribe(filter, 1); });
  mqtt::connect_options options;
  options.set_clean_session(false);
  options.set_automatic_reconnect(std::chrono::milliseconds(200), std::chrono::milliseconds(500));
  client_->connect(options)->wait();
  client_->subscribe(filter, 1)->wait();
}

RecordCollector::~RecordCollector() {
  try {
    client_->disconnect()->wait_for(std::chrono::seconds(2));
  } catch (const mqtt::exception&) {
  }
}

std::map<RecordCollector::Key, int> RecordCollector::Records() const {
  const std::lock_guard lock(mutex_);
  return records_;
}

size_t RecordCollector::RecordsFrom(const std::string& serial) const {
  const std::lock_guard lock(mutex_);
  size_t count = 0;
  for (const auto& [key, times] : records_) count += std::get<0>(key) == serial;
  return count;
}

std::string RecordCollector::Last(const std::string& serial, const std::string& leaf) const {
  const std::vector<std::string> all = All(serial, leaf);
  return all.empty() ? "" : all.back();
}

std::vector<std::string> RecordCollector::All(const std::string& serial, const std::string& leaf) const {
  const std::lock_guard lock(mutex_);
  const auto found = others_.find(prefix_ + "/" + serial + "/" + leaf);
  return found == others_.end() ? std::vector<std::string>{} : found->second;
}

}  // namespace quarn::publish::testing
