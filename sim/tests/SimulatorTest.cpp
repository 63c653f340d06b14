#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "base/testing/WaitUntil.h"
#include "sim/testing/SimSensor.h"
#include "sim/tests/PortClient.h"

extern char** environ;

namespace quarn::sim {
namespace {

using base::WaitUntil;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kDeadline = 10s;

SimSensor::Options WithArgs(std::vector<std::string> args) {
  SimSensor::Options options;
  options.args = std::move(args);
  return options;
}

bool LinkExists(const std::string& link) {
  std::error_code ec;
  return fs::is_symlink(link, ec);
}

std::vector<uint32_t> AskFrame(PortClient& client) {
  client.Write("#00F\r");
  const auto reply = client.ReadReply();
  if (!reply) return {};
  return ParseFrame(reply->bytes).value_or(std::vector<uint32_t>{});
}

TEST(SimulatorTest, AnswersIdentityAndConsoleRequests) {
  SimSensor sim(WithArgs({"--serial", "654321", "--firmware", "FW-9.99", "--type", "IR-CH4", "--range", "0-1000"}));
  PortClient client(sim.PortLink());
  struct Case {
    std::string request;
    std::string reply;
  };
  const std::vector<Case> cases = {
      {"#00SRAL?", "654321"}, {"#00SREV?", "FW-9.99"}, {"#00RT?", "IR-CH4"},
      {"#00RX?", "0-1000"},   {"SRAL?", "654321"},     {"#00INIT", "OK"},
      {"#00NOSUCH", "ERR"},   {"#00CALB", "ERR"},      {"#00CALB 05x0", "ERR"},
  };
  std::vector<std::string> requests;
  for (const Case& c : cases) {
    EXPECT_EQ(client.Ask(c.request), c.reply) << c.request;
    requests.push_back(c.request);
  }
  // The reply can overtake the simulator's report of the request.
  ASSERT_TRUE(sim.WaitReceived(requests.size(), kDeadline));
  EXPECT_EQ(sim.Received(), requests);
}

TEST(SimulatorTest, FrameHasStartByteTenTabEndedFieldsAndCr) {
  SimSensor sim({});
  PortClient client(sim.PortLink());
  for (int i = 0; i < 5; ++i) {
    client.Write("#00F\r");
    const auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->bytes.front(), '\x0e') << "no bytes may precede the frame without --noise";
    const auto fields = ParseFrame(reply->bytes);
    ASSERT_TRUE(fields) << reply->bytes;
    ASSERT_EQ(fields->size(), 10u);
    const std::vector<uint32_t>& f = *fields;
    EXPECT_NEAR(f[0], 25, 3);       // T
    EXPECT_NEAR(f[1], 3100, 100);   // S
    EXPECT_NEAR(f[2], 1200, 50);    // Ur
    EXPECT_NEAR(f[3], 1500, 50);    // Uo
    EXPECT_NEAR(f[6], 10000, 100);  // par7, not zeroed yet
    EXPECT_LT(f[8], 150u);          // C2 in zero gas, zero not yet set
    EXPECT_EQ(f[9], 0u);            // K
  }
}

TEST(SimulatorTest, FieldCountFollowsControlLine) {
  SimSensor sim({});
  PortClient client(sim.PortLink());
  for (int count : {9, 11, 10}) {
    sim.Control("fields " + std::to_string(count));
    EXPECT_EQ(AskFrame(client).size(), static_cast<size_t>(count));
  }
}

TEST(SimulatorTest, NoiseBytesPrecedeEveryFrame) {
  SimSensor sim(WithArgs({"--noise"}));
  PortClient client(sim.PortLink());
  for (int i = 0; i < 10; ++i) {
    client.Write("#00F\r");
    const auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    // Noise with a CR would end the reply early, and noise with 0x0E would break the frame.
    EXPECT_GT(reply->bytes.find('\x0e'), 0u) << "frame " << i << " has no noise in front";
    const auto fields = ParseFrame(reply->bytes);
    ASSERT_TRUE(fields) << reply->bytes;
    EXPECT_EQ(fields->size(), 10u);
  }
  sim.Control("noise off");
  client.Write("#00F\r");
  const auto clean = client.ReadReply();
  ASSERT_TRUE(clean);
  EXPECT_EQ(clean->bytes.front(), '\x0e');
}

TEST(SimulatorTest, SilenceSkipsOnlyTheNamedCommands) {
  SimSensor sim(WithArgs({"--silent-to", "SRAL?,RT?,CALB"}));
  PortClient client(sim.PortLink());
  // A silenced request gets nothing, so the next reply on the line belongs to the request after it.
  EXPECT_EQ(client.Ask("#00SRAL?\r#00SREV?"), "QRN-2.14");
  EXPECT_EQ(client.Ask("RT?\r#00RX?"), "0-5000");
  EXPECT_EQ(client.Ask("#00CALB 0500\r#00RX?"), "0-5000");

  sim.Control("silent on");
  client.Write("#00SREV?\r");
  ASSERT_TRUE(sim.WaitReceived(7, kDeadline));
  sim.Control("silent off");
  sim.Control("silent-to");
  EXPECT_EQ(client.Ask("#00SRAL?"), "102345");
  ASSERT_TRUE(sim.WaitReceived(8, kDeadline));
  EXPECT_EQ(sim.Received(), (std::vector<std::string>{"#00SRAL?", "#00SREV?", "RT?", "#00RX?", "#00CALB 0500", "#00RX?",
                                                      "#00SREV?", "#00SRAL?"}));
}

TEST(SimulatorTest, WholeSilenceFromTheCommandLine) {
  SimSensor sim(WithArgs({"--silent"}));
  PortClient client(sim.PortLink());
  client.Write("#00SRAL?\r#00F\r");
  ASSERT_TRUE(sim.WaitReceived(2, kDeadline));
  sim.Control("silent off");
  EXPECT_EQ(client.Ask("#00RT?"), "IR-CO2");
}

TEST(SimulatorTest, SplitReplyArrivesInSeveralReads) {
  SimSensor sim(WithArgs({"--split", "3"}));
  PortClient client(sim.PortLink());
  client.Write("#00SREV?\r");
  const auto reply = client.ReadReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->bytes, "QRN-2.14\r");
  EXPECT_GE(reply->reads, 2);
}

TEST(SimulatorTest, ReplyDelayHoldsTheAnswerBack) {
  SimSensor sim(WithArgs({"--reply-delay", "300"}));
  PortClient client(sim.PortLink());
  const auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Ask("#00RT?"), "IR-CO2");
  // A lower bound only: a late answer is the behaviour under test, and it cannot come early by chance.
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 300ms);
}

TEST(SimulatorTest, ControlLinesAreConfirmedOrRefused) {
  SimSensor sim({});
  PortClient client(sim.PortLink());
  // Each change is confirmed before the request that depends on it goes out.
  for (int round = 0; round < 20; ++round) {
    const bool silent = round % 2 == 0;
    sim.Control(silent ? "silent-to RT?" : "silent-to");
    EXPECT_EQ(client.Ask("#00RT?\r#00RX?"), silent ? "0-5000" : "IR-CO2") << "round " << round;
    if (!silent) {
      EXPECT_EQ(client.ReadReply().value_or(PortClient::Reply{}).bytes, "0-5000\r");
    }
  }
  EXPECT_THROW(sim.Control("gas lots"), std::runtime_error);
  EXPECT_THROW(sim.Control("baud 7"), std::runtime_error);
  EXPECT_NO_THROW(sim.Control("gas 100"));
}

// Lower bounds only: a reply cannot leave a paced line faster than its bytes take.
TEST(SimulatorTest, RepliesGoOutAtThePaceOfTheLine) {
  SimSensor sim({});
  PortClient client(sim.PortLink());
  struct Case {
    int baud;
    std::string request;
  };
  for (const Case& c : {Case{9600, "#00F"}, Case{1200, "#00SRAL?"}, Case{300, "#00RT?"}}) {
    sim.Control("baud " + std::to_string(c.baud));
    const auto sent = std::chrono::steady_clock::now();
    client.Write(c.request + "\r");
    const auto reply = client.ReadReply();
    ASSERT_TRUE(reply) << c.baud;
    const auto lineTime = std::chrono::microseconds(reply->bytes.size() * 10 * 1000000 / c.baud);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, lineTime)
        << c.baud << " baud, " << reply->bytes.size() << " bytes";
    EXPECT_GE(reply->reads, 2) << "a paced reply arrives in pieces";
  }
}

TEST(SimulatorTest, AnswersOneRequestAtATimeAndLosesWhatOverflowsItsBuffer) {
  SimSensor sim({});
  PortClient client(sim.PortLink());
  constexpr int kSent = 60;
  std::string burst;
  for (int i = 0; i < kSent; ++i) burst += "#00SRAL?\r";
  client.Write(burst);
  ASSERT_TRUE(
      WaitUntil([&] { return sim.Received().size() + static_cast<size_t>(sim.Lost()) == static_cast<size_t>(kSent); }));
  const size_t answered = sim.Received().size();
  EXPECT_GE(answered, 2u);
  EXPECT_LT(answered, static_cast<size_t>(kSent)) << "a small buffer cannot hold 540 bytes";
  // Every request taken is answered whole, in turn, and nothing else comes.
  for (size_t i = 0; i < answered; ++i) {
    const auto reply = client.ReadReply();
    ASSERT_TRUE(reply) << i;
    EXPECT_EQ(reply->bytes, "102345\r");
  }
  EXPECT_EQ(client.Ask("#00RT?"), "IR-CO2");
}

TEST(SimulatorTest, RequestsSplitOverWritesAndBatchedInOneWriteAreEachAnswered) {
  SimSensor sim({});
  PortClient client(sim.PortLink());
  client.Write("#00SRAL?\r#00R");
  const auto first = client.ReadReply();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->bytes, "102345\r");
  // The simulator has answered the first request, so the rest of this one comes in a later read.
  client.Write("T?\r#00RX?\r");
  const auto second = client.ReadReply();
  const auto third = client.ReadReply();
  ASSERT_TRUE(second && third);
  EXPECT_EQ(second->bytes, "IR-CO2\r");
  EXPECT_EQ(third->bytes, "0-5000\r");
  ASSERT_TRUE(sim.WaitReceived(3, kDeadline));
  EXPECT_EQ(sim.Received(), (std::vector<std::string>{"#00SRAL?", "#00RT?", "#00RX?"}));
}

TEST(SimulatorTest, ZeroInZeroGasBringsPar7ToTenThousand) {
  SimSensor sim(WithArgs({"--gas", "800"}));
  PortClient client(sim.PortLink());
  const std::vector<uint32_t> start = AskFrame(client);
  ASSERT_EQ(start.size(), 10u);
  EXPECT_NEAR(start[8], 800, 150) << "uncalibrated, but the gas must show";
  sim.Control("gas 0");
  const std::vector<uint32_t> before = AskFrame(client);
  ASSERT_EQ(before.size(), 10u);
  EXPECT_GT(std::abs(static_cast<int>(before[6]) - 10000), 3) << "the factory zero should have drifted";

  EXPECT_EQ(client.Ask("#00ZERO2"), "OK");
  for (int i = 0; i < 20; ++i) {
    const std::vector<uint32_t> frame = AskFrame(client);
    ASSERT_EQ(frame.size(), 10u);
    EXPECT_NEAR(frame[6], 10000, 3) << "frame " << i;
  }
}

TEST(SimulatorTest, SpanCalibrationMakesConcentrationFollowTheGas) {
  SimSensor sim({});
  PortClient client(sim.PortLink());
  EXPECT_EQ(client.Ask("#00ZERO2"), "OK");
  sim.Control("gas 2000");
  const std::vector<uint32_t> before = AskFrame(client);
  ASSERT_EQ(before.size(), 10u);
  EXPECT_GT(std::abs(static_cast<int>(before[8]) - 2000), 40) << "the factory span should be a few percent off";

  EXPECT_EQ(client.Ask("#00CALB 2000"), "OK");
  for (int gas : {2000, 500, 1000, 4000, 0}) {
    sim.Control("gas " + std::to_string(gas));
    for (int i = 0; i < 3; ++i) {
      const std::vector<uint32_t> frame = AskFrame(client);
      ASSERT_EQ(frame.size(), 10u);
      EXPECT_NEAR(frame[8], gas, std::max(5.0, gas * 0.01)) << "gas " << gas;
    }
  }
}

// A gas line starts a first-order response: the readings creep towards the new gas, which a control line can
// hurry with a shorter time constant; the simulator's default is a real sensor's 15 s.
TEST(SimulatorTest, ConcentrationFollowsAGasChangeWithTheTimeConstant) {
  SimSensor::Options options = WithArgs({"--tau", "600"});
  options.baud = 115200;
  SimSensor sim(options);
  PortClient client(sim.PortLink());
  EXPECT_EQ(client.Ask("#00ZERO2"), "OK");
  sim.Control("gas 2000");
  const std::vector<uint32_t> first = AskFrame(client);
  ASSERT_EQ(first.size(), 10u);
  EXPECT_LT(first[8], 1000u) << "the chamber needs minutes to come half way";
  sim.Control("tau 0.5");
  std::vector<uint32_t> frame;
  EXPECT_TRUE(WaitUntil(
      [&] {
        frame = AskFrame(client);
        return frame.size() == 10 && frame[8] > 1800;
      },
      30s))
      << "still at " << (frame.size() == 10 ? frame[8] : 0);
  sim.Control("tau 0");
  sim.Control("gas 0");
  frame = AskFrame(client);
  ASSERT_EQ(frame.size(), 10u);
  EXPECT_LT(frame[8], 10u) << "without a time constant the gas is there at once";

  EXPECT_THROW(sim.Control("tau -1"), std::runtime_error);
}

TEST(SimulatorTest, SameSeedGivesSameFrames) {
  auto frames = [](const std::string& seed) {
    SimSensor sim(WithArgs({"--seed", seed, "--gas", "1200"}));
    PortClient client(sim.PortLink());
    std::vector<std::vector<uint32_t>> result;
    for (int i = 0; i < 5; ++i) result.push_back(AskFrame(client));
    return result;
  };
  const auto first = frames("42");
  EXPECT_EQ(first.front().size(), 10u);
  EXPECT_EQ(frames("42"), first);
  EXPECT_NE(frames("43"), first);
}

TEST(SimulatorTest, UnplugHangsUpTheClientAndPlugPublishesANewPort) {
  SimSensor sim({});
  {
    PortClient client(sim.PortLink());
    sim.Control("unplug");
    pollfd p{client.Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR)) << "revents " << p.revents;
    char byte;
    EXPECT_LE(read(client.Fd(), &byte, 1), 0);
  }
  EXPECT_TRUE(sim.WaitUnplugged(kDeadline));
  EXPECT_TRUE(WaitUntil([&] { return !LinkExists(sim.PortLink()); }));
  EXPECT_FALSE(sim.WaitReady(0ms));

  sim.Control("plug");
  ASSERT_TRUE(sim.WaitReady(kDeadline));
  EXPECT_EQ(fs::read_symlink(sim.PortLink()).string(), sim.PtsPath());
  PortClient again(sim.PortLink());
  EXPECT_EQ(again.Ask("#00SREV?"), "QRN-2.14");
}

TEST(SimulatorTest, PlugsBackUnderANewNameAndSwapsTheSensorBehindThePort) {
  SimSensor sim({});
  const std::string first = sim.PortLink();
  const int com = sim.Com();
  // A program that has not noticed the unplug still holds the old device open.
  PortClient stale(first);
  const std::string stalePts = sim.PtsPath();
  sim.Control("unplug");
  ASSERT_TRUE(sim.WaitUnplugged(kDeadline));

  sim.Control("plug " + std::to_string(com + 1));
  ASSERT_TRUE(sim.WaitReady(kDeadline));
  EXPECT_EQ(sim.Com(), com + 1);
  EXPECT_EQ(sim.PortLink(), sim.PortDir() + "/COM" + std::to_string(com + 1));
  EXPECT_FALSE(LinkExists(first));
  EXPECT_NE(sim.PtsPath(), stalePts);
  PortClient again(sim.PortLink());
  EXPECT_EQ(again.Ask("#00SRAL?"), "102345");

  sim.Control("serial 998877");
  EXPECT_EQ(again.Ask("#00SRAL?"), "998877");
  EXPECT_EQ(again.Ask("#00SREV?"), "QRN-2.14") << "only the serial number changes";
  // Moved while plugged in: the old name goes at once.
  sim.Control("plug " + std::to_string(com + 2));
  ASSERT_TRUE(sim.WaitReady(kDeadline));
  EXPECT_FALSE(LinkExists(sim.PortDir() + "/COM" + std::to_string(com + 1)));
  EXPECT_TRUE(LinkExists(sim.PortLink()));
}

TEST(SimulatorTest, PortSurvivesTheProgramClosingAndReopeningIt) {
  SimSensor sim({});
  for (int round = 0; round < 3; ++round) {
    PortClient client(sim.PortLink());
    EXPECT_EQ(client.Ask("#00SRAL?"), "102345") << "round " << round;
  }
  EXPECT_FALSE(sim.WaitUnplugged(0ms));
}

TEST(SimulatorTest, AppearsLateAndDisappearsOnSchedule) {
  SimSensor::Options options = WithArgs({"--appear-after", "1", "--disappear-after", "3"});
  options.waitReady = false;
  SimSensor sim(options);
  EXPECT_FALSE(LinkExists(sim.PortLink()));
  ASSERT_TRUE(sim.WaitReady(kDeadline));
  {
    PortClient client(sim.PortLink());
    EXPECT_EQ(client.Ask("#00SRAL?"), "102345");
  }
  EXPECT_TRUE(sim.WaitUnplugged(kDeadline));
  EXPECT_TRUE(WaitUntil([&] { return !LinkExists(sim.PortLink()); }));
}

TEST(SimulatorTest, QuitAndStopSignalsRemoveTheLink) {
  struct Case {
    std::string name;
    std::function<void(SimSensor&)> stop;
  };
  const std::vector<Case> cases = {
      {"quit", [](SimSensor& sim) { sim.Control("quit"); }},
      {"SIGTERM", [](SimSensor& sim) { sim.Signal(SIGTERM); }},
      {"SIGINT", [](SimSensor& sim) { sim.Signal(SIGINT); }},
  };
  for (const Case& c : cases) {
    SimSensor sim({});
    ASSERT_TRUE(LinkExists(sim.PortLink())) << c.name;
    c.stop(sim);
    ASSERT_TRUE(sim.WaitExited(kDeadline)) << c.name;
    EXPECT_FALSE(LinkExists(sim.PortLink())) << c.name;
  }
}

TEST(SimulatorTest, KeepsRunningWhenStandardInputEnds) {
  // The demo may start the simulator with standard input closed; only a signal ends it then.
  SimSensor sim({});
  sim.CloseControl();
  PortClient client(sim.PortLink());
  EXPECT_EQ(client.Ask("#00RT?"), "IR-CO2");
  EXPECT_FALSE(sim.WaitExited(0ms));
  EXPECT_EQ(client.Ask("#00RX?"), "0-5000");
}

TEST(SimulatorTest, RunsWithStandardInputClosedAndEndsOnSigterm) {
  const fs::path dir = fs::temp_directory_path() / ("quarn-sim-closed-" + std::to_string(getpid()));
  const std::string link = (dir / "COM4").string();
  std::vector<std::string> args = {QUARN_SIM_PATH, "--port-dir", dir.string(), "--com", "4"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, QUARN_SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  EXPECT_TRUE(WaitUntil([&] { return LinkExists(link); }));
  if (LinkExists(link)) {
    PortClient client(link);
    EXPECT_EQ(client.Ask("#00RT?"), "IR-CO2");
  }
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(LinkExists(link));
  fs::remove_all(dir);
}

TEST(ScopedPortDirTest, SetsAndRestoresTheVariable) {
  setenv("QUARN_PORT_DIR", "/previous", 1);
  {
    ScopedPortDir scoped("/tmp/ports");
    EXPECT_STREQ(std::getenv("QUARN_PORT_DIR"), "/tmp/ports");
  }
  EXPECT_STREQ(std::getenv("QUARN_PORT_DIR"), "/previous");
  unsetenv("QUARN_PORT_DIR");
  { ScopedPortDir scoped("/tmp/ports"); }
  EXPECT_EQ(std::getenv("QUARN_PORT_DIR"), nullptr);
}

}  // namespace
}  // namespace quarn::sim
