#include <gtest/gtest.h>
#include <stdlib.h>

#include <mqtt/async_client.h>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "acquisition/DateTime.h"
#include "base/testing/WaitUntil.h"
#include "publish/BrokerSensors.h"
#include "publish/Payload.h"
#include "publish/Subscriber.h"
#include "publish/testing/Mosquitto.h"

namespace quarn::publish {
namespace {

using namespace std::chrono_literals;
using base::WaitUntil;

constexpr const char* kPrefix = "lab/rack2";

// A recorder's messages sent by hand, so that repeats and late records come exactly when the test says.
class TestPublisher {
 public:
  explicit TestPublisher(int port) : client_("tcp://127.0.0.1:" + std::to_string(port), "test-publisher") {
    client_.connect()->wait();
  }
  ~TestPublisher() {
    try {
      client_.disconnect()->wait_for(2s);
    } catch (const mqtt::exception&) {
    }
  }
  void Send(const std::string& topic, const std::string& payload, bool retained = false) {
    client_.publish(topic, payload.data(), payload.size(), 1, retained)->wait();
  }
  void Record(const std::string& serial, uint64_t seq, double DT) {
    acquisition::MeasurementRecord r;
    r.DT = DT;
    r.C2 = static_cast<uint16_t>(seq);
    r.S = 3100;
    Send(RecordTopic(kPrefix, serial), RecordPayload(serial, r, "2026-12-10T13:58:02Z", seq));
  }

 private:
  mqtt::async_client client_;
};

class SubscriberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-subscriber-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    subscriber_.reset();
    broker_.reset();
    std::filesystem::remove_all(dir_);
  }
  void Follow(const std::string& url, std::string caFile = {}) {
    std::string why;
    const auto broker = ParseBrokerUrl(url, why);
    ASSERT_TRUE(broker) << why;
    SubscriberSettings settings;
    settings.broker = *broker;
    settings.caFile = std::move(caFile);
    settings.retryEvery = 300ms;
    subscriber_ = std::make_unique<Subscriber>(settings);
    subscriber_->Start();
  }
  // Takes what came until condition holds on the sensors.
  bool TakeUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 20s) {
    return WaitUntil(
        [&] {
          Arrivals arrivals = subscriber_->Take();
          unreadable_ += arrivals.unreadable;
          sensors_.Take(std::move(arrivals));
          return condition();
        },
        deadline);
  }
  std::vector<uint16_t> Values(const std::string& serial) const {
    std::vector<uint16_t> values;
    for (const auto& r : sensors_.Sensor(*sensors_.Find(serial)).Store().ReadFrom(0)) values.push_back(r.C2);
    return values;
  }

  std::string dir_;
  std::unique_ptr<testing::MosquittoBroker> broker_;
  std::unique_ptr<Subscriber> subscriber_;
  BrokerSensors sensors_;
  size_t unreadable_ = 0;
};

double At(int second) { return acquisition::EncodeDayNumber({2026, 12, 10, 14, 0, second, 0}); }

// A broker that is not there yet: the subscriber says so and connects once it is; the lab's prefix takes in a
// rack's sensor; the retained identity and
// status, repeated records and a late batch end as each record once in time order; a broker restarted
// loses the window nothing.
TEST_F(SubscriberTest, FollowsThroughRepeatsLateRecordsAndABrokerRestart) {
  broker_ = std::make_unique<testing::MosquittoBroker>(dir_ + "/broker");
  const int port = broker_->Port();
  // The lab's prefix, one level above the rack the records are published under.
  Follow("mqtt://127.0.0.1:" + std::to_string(port) + "/lab");
  ASSERT_TRUE(WaitUntil([&] { return subscriber_->Now().text.starts_with("Cannot reach the broker"); }))
      << subscriber_->Now().text;
  EXPECT_FALSE(subscriber_->Now().connected);

  broker_->Start();
  {
    TestPublisher publisher(port);
    publisher.Send(IdentityTopic(kPrefix, "102345"),
                   IdentityPayload({{"7", "102345", "1.02", "3", "5"}, "lab-pc", "f.txt", 500}), true);
    publisher.Send(StatusTopic(kPrefix, "102345"), "online", true);
  }
  ASSERT_TRUE(WaitUntil([&] { return subscriber_->Now().connected; })) << subscriber_->Now().text;
  EXPECT_TRUE(subscriber_->Now().text.starts_with("Connected to mqtt://127.0.0.1:")) << subscriber_->Now().text;
  ASSERT_TRUE(TakeUntil([&] { return sensors_.Count() == 1 && sensors_.Sensor(0).Identity(); }));
  EXPECT_EQ(sensors_.Sensor(0).Identity()->port, "COM7");
  EXPECT_EQ(sensors_.Sensor(0).Status(), "online");

  TestPublisher publisher(port);
  for (int seq = 1; seq <= 10; ++seq) publisher.Record("102345", seq, At(seq));
  publisher.Record("102345", 4, At(4));
  for (int seq = 21; seq <= 30; ++seq) publisher.Record("102345", seq, At(seq));
  ASSERT_TRUE(TakeUntil([&] { return sensors_.Sensor(0).Store().Count() == 20; }));
  // The outage's records, from the file, after the live ones, one of them twice, and something unreadable.
  for (int seq = 20; seq >= 11; --seq) publisher.Record("102345", seq, At(seq));
  publisher.Record("102345", 15, At(15));
  publisher.Send(RecordTopic(kPrefix, "102345"), "{\"serial\":\"102345\"}");
  publisher.Send(RecordTopic(kPrefix, "999999"), RecordPayload("102345", {}, "r", 1));
  publisher.Send(std::string(kPrefix) + "/102345/notes", "someone else's");
  ASSERT_TRUE(TakeUntil([&] { return sensors_.Sensor(0).Store().Count() == 30; }));
  std::vector<uint16_t> expected(30);
  for (int i = 0; i < 30; ++i) expected[static_cast<size_t>(i)] = static_cast<uint16_t>(i + 1);
  EXPECT_EQ(Values("102345"), expected);
  EXPECT_EQ(sensors_.Sensor(0).Duplicates(), 2u);
  EXPECT_EQ(unreadable_, 2u);
  EXPECT_EQ(sensors_.Count(), 1u);

  broker_->Stop();
  ASSERT_TRUE(WaitUntil([&] { return !subscriber_->Now().connected; }));
  EXPECT_TRUE(subscriber_->Now().text.starts_with("Lost the broker")) << subscriber_->Now().text;
  broker_->Start();
  // Published before the window is back: the session the broker kept holds it.
  TestPublisher after(port);
  for (int seq = 31; seq <= 35; ++seq) after.Record("102345", seq, At(seq));
  after.Send(StatusTopic(kPrefix, "102345"), "offline", true);
  ASSERT_TRUE(WaitUntil([&] { return subscriber_->Now().connected; }, 30s)) << subscriber_->Now().text;
  EXPECT_TRUE(subscriber_->Now().text.starts_with("Connected again")) << subscriber_->Now().text;
  ASSERT_TRUE(TakeUntil([&] { return sensors_.Sensor(0).Status() == "offline"; }));
  ASSERT_TRUE(TakeUntil([&] { return sensors_.Sensor(0).Store().Count() == 35; }));
  EXPECT_EQ(Values("102345").back(), 35);
}

// A TLS listener whose certificate no trusted authority signed: nothing is taken, and the state says why;
// with the test's authority handed in it connects.
TEST_F(SubscriberTest, ARefusedCertificateIsSaidAndTheRightAuthorityConnects) {
  const testing::TestCertificate certificate = testing::MakeTestCertificate(dir_, "broker");
  broker_ = std::make_unique<testing::MosquittoBroker>(dir_ + "/broker", certificate);
  broker_->Start();
  const std::string url = "mqtts://127.0.0.1:" + std::to_string(broker_->TlsPort()) + "/" + kPrefix;
  Follow(url);
  ASSERT_TRUE(WaitUntil([&] { return subscriber_->Now().text.starts_with("Cannot reach the broker"); }))
      << subscriber_->Now().text;
  EXPECT_NE(subscriber_->Now().text.find("mqtts://127.0.0.1:"), std::string::npos) << subscriber_->Now().text;
  EXPECT_FALSE(subscriber_->Now().connected);

  subscriber_.reset();
  Follow(url, certificate.certificate.string());
  EXPECT_TRUE(WaitUntil([&] { return subscriber_->Now().connected; })) << subscriber_->Now().text;
}

}  // namespace
}  // namespace quarn::publish
