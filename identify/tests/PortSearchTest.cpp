#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "identify/PortSearch.h"
#include "identify/tests/TestDoubles.h"
#include "link/SerialLink.h"
#include "sim/testing/SimSensor.h"

namespace quarn::identify {
namespace {

using testing::MemoryPortStore;

TEST(PortScan, OpensEveryNumberByItsWindowsNameAndReportsAFailedClose) {
  std::vector<std::string> names;
  const std::set<std::string> present = {"COM1", "COM3", "\\\\.\\COM12", "\\\\.\\COM255"};
  const DeviceProbe probe = [&](const std::string& name) -> std::optional<bool> {
    names.push_back(name);
    if (!present.count(name)) return std::nullopt;
    return name != "\\\\.\\COM12";  // this one cannot be closed
  };
  base::ScriptedMessageBoxes boxes;
  EXPECT_EQ(ScanPorts(boxes, probe), (std::vector<int32_t>{1, 3, 12, 255}));
  ASSERT_EQ(names.size(), 255u);
  EXPECT_EQ(names[0], "COM1");
  EXPECT_EQ(names[2], "COM3");
  EXPECT_EQ(names[8], "COM9");
  EXPECT_EQ(names[9], "\\\\.\\COM10");
  EXPECT_EQ(names[11], "\\\\.\\COM12");
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Not successful close COM port12"});
  EXPECT_EQ(boxes.Boxes()[0].kind, base::BoxKind::Error);
}

TEST(PortScan, SeesPublishedPortsButNotOneHeldByAnotherProgram) {
  sim::SimSensor::Options options;
  options.com = 3;
  sim::SimSensor com3(options);
  options.portDir = com3.PortDir();
  options.com = 12;
  sim::SimSensor com12(options);
  sim::ScopedPortDir ports(com3.PortDir());
  base::ScriptedMessageBoxes boxes;
  EXPECT_EQ(ScanPorts(boxes), (std::vector<int32_t>{3, 12}));

  link::PortHandle held = link::OpenPort("COM12", link::kEventRxFlag);
  EXPECT_EQ(ScanPorts(boxes), (std::vector<int32_t>{3}));
  held->Close();
  // The scan closed what it opened.
  EXPECT_NO_THROW(link::OpenPort("COM3", link::kEventRxFlag));
  EXPECT_TRUE(boxes.Texts().empty());
}

// Another program holds a tty in canonical mode with echo and takes no lock: a full scan sees the port and
// leaves every one of its settings as they were.
TEST(PortScan, LeavesTheSettingsOfAPortAnotherProgramUses) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const std::string slavePath = ptsname(master);
  close(slave);
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    // The other program: opens the tty, sets canonical mode with echo, and keeps it until told to end.
    // Its copy of the release pipe's write end would keep its own read from ever seeing the end.
    close(release[1]);
    close(ready[0]);
    const int fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    if (fd < 0 || tcgetattr(fd, &t) != 0) _exit(1);
    t.c_lflag |= ICANON | ECHO | ECHOE;
    t.c_iflag |= ICRNL;
    t.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&t, B19200);
    if (tcsetattr(fd, TCSANOW, &t) != 0) _exit(1);
    const char byte = 'r';
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    char ignored;
    while (read(release[0], &ignored, 1) > 0) {
    }
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the other program set up its tty";
  termios before{};
  ASSERT_EQ(tcgetattr(master, &before), 0);

  char folderPattern[] = "/tmp/quarn-scan-XXXXXX";
  ASSERT_NE(mkdtemp(folderPattern), nullptr);
  const std::string folder = folderPattern;
  ASSERT_EQ(symlink(slavePath.c_str(), (folder + "/COM7").c_str()), 0);
  std::vector<int32_t> found;
  {
    sim::ScopedPortDir ports(folder);
    base::ScriptedMessageBoxes boxes;
    found = ScanPorts(boxes);
    EXPECT_TRUE(boxes.Texts().empty());
  }
  termios after{};
  ASSERT_EQ(tcgetattr(master, &after), 0);
  close(release[1]);
  int status = 0;
  waitpid(other, &status, 0);
  close(ready[0]);
  close(master);
  std::filesystem::remove_all(folder);

  EXPECT_EQ(found, std::vector<int32_t>{7});
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
  EXPECT_EQ(std::memcmp(after.c_cc, before.c_cc, sizeof before.c_cc), 0);
  EXPECT_TRUE(before.c_lflag & ICANON) << "the other program's mode was in place";
}

TEST(PortLists, TextAndDifference) {
  EXPECT_EQ(PortListText({}), "");
  EXPECT_EQ(PortListText({7}), "7");
  EXPECT_EQ(PortListText({1, 3, 12}), "1,3,12");
  EXPECT_EQ(PortsNotIn({1, 3, 5, 12}, {1, 12}), (std::vector<int32_t>{3, 5}));
  EXPECT_TRUE(PortsNotIn({1, 3}, {1, 3, 4}).empty());
}

TEST(SearchingAnimation, CyclesThroughThreeTextsAndLeavesOthersAlone) {
  const std::map<std::string, std::string> next = {{"Searching ..", "Searching ..."},
                                                   {"Searching ...", "Searching ."},
                                                   {"Searching .", "Searching .."},
                                                   {"Searching", "Searching"},
                                                   {"", ""}};
  for (const auto& [from, to] : next) EXPECT_EQ(NextSearchingText(from), to) << from;
}

using testing::RecordingCheckView;

class ApplySearchResultTest : public ::testing::Test {
 protected:
  void SetUp() override { base::SetTimeScale(0.1); }
  void TearDown() override { base::SetTimeScale(1.0); }

  sim::SimSensor sensor_{[] {
    sim::SimSensor::Options options;
    options.com = 7;
    options.args = {"--type", "IR-CO2", "--range", "0-5000"};
    return options;
  }()};
  sim::ScopedPortDir ports_{sensor_.PortDir()};
  base::ScriptedMessageBoxes boxes_;
  RecordingCheckView view_;
  MemoryPortStore store_{{PortStore::Status::Missing, 0}};
};

TEST_F(ApplySearchResultTest, OkTakesTheResultsStoresThePortAndAsksForTypeAndRange) {
  base::SensorIdentity identity{"3", "111", "OLD", "", ""};
  ApplySearchResult(true, {"7", "102345", "QRN-2.14", "", ""}, identity, store_, view_, boxes_);

  EXPECT_EQ(identity.portNumber, "7");
  EXPECT_EQ(identity.serialNumber, "102345");
  EXPECT_EQ(identity.firmware, "QRN-2.14");
  EXPECT_EQ(view_.rows, (std::map<std::string, std::string>{{"Port", "7"},
                                                            {"Serial Number", "102345"},
                                                            {"Firmware rev.", "QRN-2.14"},
                                                            {"TYPE CODE", "IR-CO2"},
                                                            {"RANGE CODE", "0-5000"}}));
  EXPECT_EQ(store_.Read().status, PortStore::Status::Found);
  EXPECT_EQ(store_.Read().port, 7);
  EXPECT_EQ(sensor_.Received(), (std::vector<std::string>{"#00RT?", "#00RX?"}));
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(ApplySearchResultTest, OkWithAnEmptyIdentityStillStoresThePort) {
  base::SensorIdentity identity;
  ApplySearchResult(true, {"7", "", "", "", ""}, identity, store_, view_, boxes_);
  EXPECT_EQ(store_.Read().port, 7);
  EXPECT_EQ(view_.rows["Port"], "7");
  EXPECT_EQ(view_.rows["Serial Number"], "");
}

TEST_F(ApplySearchResultTest, APortThatIsNoNumberIsNotStored) {
  base::SensorIdentity identity;
  ApplySearchResult(true, {"7a", "1", "2", "", ""}, identity, store_, view_, boxes_);
  EXPECT_EQ(store_.Read().status, PortStore::Status::Missing);
  EXPECT_EQ(identity.portNumber, "7a");
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Not successful open COM port7a"});
}

TEST_F(ApplySearchResultTest, CancelShowsTheUnchangedIdentityAndStillAsksForTypeAndRange) {
  base::SensorIdentity identity{"7", "555", "QRN-1.0", "", ""};
  ApplySearchResult(false, {"9", "999", "X", "", ""}, identity, store_, view_, boxes_);
  EXPECT_EQ(identity.portNumber, "7");
  EXPECT_EQ(identity.serialNumber, "555");
  EXPECT_EQ(view_.rows["Port"], "7");
  EXPECT_EQ(view_.rows["Serial Number"], "555");
  EXPECT_EQ(view_.rows["Firmware rev."], "QRN-1.0");
  EXPECT_EQ(view_.rows["TYPE CODE"], "IR-CO2");
  EXPECT_EQ(store_.Read().status, PortStore::Status::Missing);
}

TEST_F(ApplySearchResultTest, CancelBeforeAnyPortWasKnown) {
  base::SensorIdentity identity;
  ApplySearchResult(false, {}, identity, store_, view_, boxes_);
  EXPECT_EQ(view_.rows.size(), 5u);
  // ReadTypeAndRange runs on the empty port as well, and says so.
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Not successful open COM port"});
  EXPECT_TRUE(sensor_.Received().empty());
}

}  // namespace
}  // namespace quarn::identify
