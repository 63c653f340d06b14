#include "link/SerialLink.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "base/testing/WaitUntil.h"
#include "link/PortNames.h"
#include "link/SerialPortFaults.h"
#include "link/tests/PtyPeer.h"

namespace quarn::link {
namespace {

using namespace std::chrono_literals;
using testing::PtyPeer;

// Shortens the protocol's long waits (10 s, 3 s) for the tests that would otherwise sit through them.
class ScaledTime {
 public:
  explicit ScaledTime(double scale) { base::SetTimeScale(scale); }
  ~ScaledTime() { base::SetTimeScale(1.0); }
};

TEST(OpenPort, BusyAndMissingPortsCarryTheErrorCode) {
  PtyPeer peer(3);
  PortHandle held = OpenPort("COM3", kEventRxFlag);
  try {
    OpenPort("COM3", kEventRxFlag);
    FAIL() << "second open succeeded";
  } catch (const PortError& e) {
    EXPECT_EQ(std::string(e.what()), "INVALID_HANDLE_VALUE \n\rError Code: " + std::to_string(EBUSY));
  }
  try {
    OpenPort("COM4", kEventRxFlag);
    FAIL() << "open of a missing port succeeded";
  } catch (const PortError& e) {
    EXPECT_EQ(std::string(e.what()), "INVALID_HANDLE_VALUE \n\rError Code: " + std::to_string(ENOENT));
  }
}

TEST(OpenPort, ConfiguresTheLineAndEmptiesTheBuffers) {
  PtyPeer peer;
  const std::string stale = "stale bytes\r";
  peer.Write(stale);
  // Delivery to the port's side is asynchronous: the bytes must be there before the open empties them.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (peer.QueuedForThePort() < stale.size() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(2ms);
  }
  ASSERT_EQ(peer.QueuedForThePort(), stale.size());
  PortHandle port = OpenPort("COM7", kEventRxFlag);
  LineSettings s;
  ASSERT_FALSE(port->GetLineSettings(s));
  EXPECT_EQ(s.baudRate, 9600u);
  EXPECT_EQ(s.byteSize, 8);
  EXPECT_EQ(s.parity, kNoParity);
  EXPECT_EQ(s.stopBits, kOneStopBit);
  EXPECT_EQ(s.eventChar, '\r');
  EXPECT_EQ(port->EventMask(), kEventRxFlag);
  size_t queued = 99;
  ASSERT_FALSE(port->BytesWaiting(queued));
  EXPECT_EQ(queued, 0u);
}

TEST(WritePort, BytesOnTheWireAndOverlongLines) {
  PtyPeer peer;
  PortHandle port = OpenPort("COM7", kEventRxFlag);
  WritePort(port, "#00F");
  EXPECT_EQ(peer.ReadLine(), "\x23\x30\x30\x46\x0D");
  WritePort(port, "\xC4\x81Z");  // U+0101
  EXPECT_EQ(peer.ReadLine(), "\x01Z\r");
  WritePort(port, std::string(255, 'A'));
  EXPECT_EQ(peer.ReadLine().size(), 256u);
  EXPECT_THROW(WritePort(port, std::string(256, 'A')), PortError);
  EXPECT_EQ(peer.ReadFor(200ms), "") << "an overlong line is refused whole";
  peer.Unplug();
  EXPECT_THROW(WritePort(port, "#00F"), PortError);
}

struct ReadCase {
  const char* name;
  std::string reply;  // empty: none
  std::string error;  // empty: success
  std::vector<int32_t> values;
  bool leavesBytes = false;  // the failure keeps what arrived in the receive queue
};

TEST(ReadPort, RepliesAndFailures) {
  ScaledTime fast(0.05);
  const std::vector<int32_t> untouched(10, -1);
  auto with = [&](std::vector<int32_t> head) {
    std::vector<int32_t> v = untouched;
    std::copy(head.begin(), head.end(), v.begin());
    return v;
  };
  const std::vector<ReadCase> cases = {
      {"two fields",
       "\x0E"
       "123\t45\t\r",
       "", with({123, 45})},
      {"signs and points", "\x0E-12\t1.5\t\r", "", with({12, 15})},
      {"double tab",
       "\x0E"
       "7\t\t8\t\r",
       "", with({7, 8})},
      {"last field without tab",
       "\x0E"
       "7\t8\r",
       "", with({7})},
      {"too large",
       "\x0E"
       "99999999999\t\r",
       "", with({0})},
      {"three bytes",
       "\x0E"
       "1\r",
       "Sensor not respond", untouched},
      {"no start byte", "X123\t\r", "Sensor not respond", untouched},
      {"more than 1023 bytes", "\x0E" + std::string(1100, '1') + "\t\r", "Sensor not respond", untouched, true},
      {"no reply", "", "Sensor not respond (WAIT_TIMEOUT)", untouched},
      {"no CR",
       "\x0E"
       "12\t34\t",
       "Sensor not respond (WAIT_TIMEOUT)", untouched, true},
  };
  for (const ReadCase& c : cases) {
    PtyPeer peer;
    PortHandle port = OpenPort("COM7", kEventRxFlag);
    if (!c.reply.empty()) peer.Write(c.reply);
    std::vector<int32_t> values = untouched;
    std::string error;
    try {
      ReadPort(port, values);
    } catch (const PortError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(values, c.values) << c.name;
    size_t queued = 99;
    port->BytesWaiting(queued);
    if (c.leavesBytes) {
      EXPECT_EQ(queued, c.reply.size()) << c.name;
    } else {
      EXPECT_EQ(queued, 0u) << c.name << ": nothing of the reply is left for the next read";
    }
  }
}

// The sensor's side of one exchange: answers the next request line with `reply`.
std::future<std::string> Answer(PtyPeer& peer, std::string reply) {
  return std::async(std::launch::async, [&peer, reply] {
    std::string request = peer.ReadLine();
    if (!reply.empty()) peer.Write(reply);
    return request;
  });
}

TEST(ShortExchange, FiltersTheReply) {
  ScaledTime fast(0.1);
  PtyPeer peer;
  base::ScriptedMessageBoxes boxes;
  PortHandle port = OpenPort("COM7", kEventRxFlag);

  auto sensor = Answer(peer, "0123\r45");
  ExchangeResult r = ShortExchange(port, "#00SRAL?", ReplyFilter::Digits, boxes);
  EXPECT_EQ(sensor.get(), "#00SRAL?\r");
  EXPECT_EQ(r.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(r.text, "0123");

  sensor = Answer(peer, "\x32\x2E\x31\x0D\x0A");
  r = ShortExchange(port, "#00SREV?", ReplyFilter::NoCR, boxes);
  sensor.get();
  EXPECT_EQ(r.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(r.text, "2.1\n");

  sensor = Answer(peer, "R\xE9v\r");  // a byte above 0x7F is the character of that code
  r = ShortExchange(port, "#00SREV?", ReplyFilter::NoCR, boxes);
  sensor.get();
  EXPECT_EQ(r.text, "R\xC3\xA9v");
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(port->IsOpen());
}

// A frame still arriving from a run that has just ended is emptied away before the request goes out.
TEST(ShortExchange, AFrameLeftOnTheLineIsNoIdentity) {
  ScaledTime fast(0.1);
  PtyPeer peer;
  base::ScriptedMessageBoxes boxes;
  PortHandle port = OpenPort("COM7", kEventRxFlag);
  peer.Write(
      "\x0E"
      "00150\t01005\t91005\t81005\t8000\t\r");
  auto sensor = Answer(peer, "102345\r");
  const ExchangeResult r = ShortExchange(port, "#00SRAL?", ReplyFilter::Digits, boxes);
  sensor.get();
  EXPECT_EQ(r.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(r.text, "102345");
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(ShortExchange, RetriesOnceWhenTheFirstReplyHasNoText) {
  ScaledTime fast(0.1);
  PtyPeer peer;
  base::ScriptedMessageBoxes boxes;
  PortHandle port = OpenPort("COM7", kEventRxFlag);
  auto sensor = std::async(std::launch::async, [&] {
    peer.ReadLine();
    peer.Write("SN=\r");  // no digits: no text
    peer.ReadLine();
    peer.Write("42\r");
  });
  const ExchangeResult r = ShortExchange(port, "#00SRAL?", ReplyFilter::Digits, boxes);
  sensor.get();
  EXPECT_EQ(r.outcome, ExchangeOutcome::Answered);
  EXPECT_EQ(r.text, "42");
}

// At real timing: a silent sensor gets the request twice, then the exchange ends silent (about 6.3 s).
TEST(ShortExchange, SilentSensorAtRealTiming) {
  PtyPeer peer;
  base::ScriptedMessageBoxes boxes;
  PortHandle port = OpenPort("COM7", kEventRxFlag);
  const auto start = std::chrono::steady_clock::now();
  const ExchangeResult r = ShortExchange(port, "#00SREV?", ReplyFilter::NoCR, boxes);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.outcome, ExchangeOutcome::Silent);
  EXPECT_EQ(r.text, "");
  EXPECT_EQ(peer.ReadFor(100ms), "#00SREV?\r#00SREV?\r");
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(port->IsOpen());
  // Sanity on the shape of the waits, not a speed figure: two 3 s waits must have happened.
  EXPECT_GE(took, 6s);
}

TEST(ShortExchange, FailuresShowTheirBoxAndCloseThePort) {
  ScaledTime fast(0.1);
  {
    PtyPeer peer;
    base::ScriptedMessageBoxes boxes;
    PortHandle port = OpenPort("COM7", kEventRxFlag);
    peer.Unplug();
    const ExchangeResult r = ShortExchange(port, "#00SRAL?", ReplyFilter::Digits, boxes);
    EXPECT_EQ(r.outcome, ExchangeOutcome::Failed);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Not successful write to the port"});
    EXPECT_FALSE(port->IsOpen());
  }
  {
    PtyPeer peer;
    base::ScriptedMessageBoxes boxes;
    PortHandle port = OpenPort("COM7", kEventRxFlag);
    auto sensor = Answer(peer, std::string(600, 'x') + "\r");
    const ExchangeResult r = ShortExchange(port, "#00SRAL?", ReplyFilter::Digits, boxes);
    sensor.get();
    EXPECT_EQ(r.outcome, ExchangeOutcome::Failed);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Was not successful to read from the port"});
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(peer.ReadFor(300ms), "") << "nothing is written to the closed port";
  }
  {
    // The reply is there, but the port refuses to hand it over.
    PtyPeer peer;
    base::ScriptedMessageBoxes boxes;
    PortHandle port = OpenPort("COM7", kEventRxFlag);
    testing::FailNextReads(DevicePathForPort("COM7"), 1, std::error_code(EIO, std::system_category()));
    auto sensor = Answer(peer, "SN=0123\r");
    const ExchangeResult r = ShortExchange(port, "#00SRAL?", ReplyFilter::Digits, boxes);
    EXPECT_EQ(sensor.get(), "#00SRAL?\r");
    testing::ClearFaults();
    EXPECT_EQ(r.outcome, ExchangeOutcome::Failed);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Was not successful to read from the port"});
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(peer.ReadFor(300ms), "") << "no second attempt on the closed port";
  }
}

// The seam that makes a read or a write fail: only the armed number of operations, only on that port.
TEST(SerialPortFaults, FailTheArmedOperationsOfOnePortOnly) {
  PtyPeer peer;
  PortHandle port = OpenPort("COM7", kEventRxFlag);
  const std::string device = DevicePathForPort("COM7");
  const std::error_code refused(EIO, std::system_category());
  const uint8_t line[] = {'#', '\r'};
  testing::FailNextWrites(device + "-other", 1, refused);
  testing::FailNextReads(device + "-other", 1, refused);
  EXPECT_EQ(port->Write(line, 2), std::error_code()) << "armed for another port";

  testing::FailNextWrites(device, 2, refused);
  testing::FailNextReads(device, 1, refused);
  EXPECT_EQ(port->Write(line, 2), refused);
  EXPECT_EQ(testing::PendingWriteFailures(device), 1);
  EXPECT_EQ(port->Write(line, 2), refused);
  EXPECT_EQ(port->Write(line, 2), std::error_code());
  EXPECT_EQ(peer.ReadFor(300ms), "#\r#\r") << "a refused write sends nothing";

  peer.Write("ab");
  ASSERT_TRUE(base::WaitUntil([&] {
    size_t n = 0;
    return !port->BytesWaiting(n) && n == 2;
  }));
  uint8_t bytes[2] = {};
  EXPECT_EQ(port->Read(bytes, 2), refused);
  EXPECT_EQ(testing::PendingReadFailures(device), 0);
  EXPECT_EQ(port->Read(bytes, 2), std::error_code()) << "a refused read takes nothing";
  EXPECT_EQ(std::string(bytes, bytes + 2), "ab");
  EXPECT_EQ(testing::PendingReadFailures(device + "-other"), 1);
  testing::ClearFaults();
  EXPECT_EQ(testing::PendingWriteFailures(device + "-other"), 0);
}

}  // namespace
}  // namespace quarn::link
