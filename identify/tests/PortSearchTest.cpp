#include <gtest/gtest.h>

#include <map>
#include <set>

#include "identify/PortSearch.h"
#include "identify/tests/TestDoubles.h"
#include "link/ScriptedMessageBoxes.h"
#include "link/SerialLink.h"
#include "link/Timing.h"
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
  ScriptedMessageBoxes boxes;
  EXPECT_EQ(ScanPorts(boxes, probe), (std::vector<int32_t>{1, 3, 12, 255}));
  ASSERT_EQ(names.size(), 255u);
  EXPECT_EQ(names[0], "COM1");
  EXPECT_EQ(names[2], "COM3");
  EXPECT_EQ(names[8], "COM9");
  EXPECT_EQ(names[9], "\\\\.\\COM10");
  EXPECT_EQ(names[11], "\\\\.\\COM12");
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Not successful close COM port12"});
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::Error);
}

TEST(PortScan, SeesPublishedPortsButNotOneHeldByAnotherProgram) {
  sim::SimSensor::Options options;
  options.com = 3;
  sim::SimSensor com3(options);
  options.portDir = com3.PortDir();
  options.com = 12;
  sim::SimSensor com12(options);
  sim::ScopedPortDir ports(com3.PortDir());
  ScriptedMessageBoxes boxes;
  EXPECT_EQ(ScanPorts(boxes), (std::vector<int32_t>{3, 12}));

  link::PortHandle held = link::OpenPort("COM12", link::EV_RXFLAG);
  EXPECT_EQ(ScanPorts(boxes), (std::vector<int32_t>{3}));
  held->Close();
  // The scan closed what it opened.
  EXPECT_NO_THROW(link::OpenPort("COM3", link::EV_RXFLAG));
  EXPECT_TRUE(boxes.Texts().empty());
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

using testing::RecordingHost;

class ApplySearchResultTest : public ::testing::Test {
 protected:
  void SetUp() override { link::SetTimeScale(0.1); }
  void TearDown() override { link::SetTimeScale(1.0); }

  sim::SimSensor sensor_{[] {
    sim::SimSensor::Options options;
    options.com = 7;
    options.args = {"--type", "IR-CO2", "--range", "0-5000"};
    return options;
  }()};
  sim::ScopedPortDir ports_{sensor_.PortDir()};
  ScriptedMessageBoxes boxes_;
  RecordingHost host_;
  MemoryPortStore store_{{PortStore::Status::Missing, 0}};
};

TEST_F(ApplySearchResultTest, OkTakesTheResultsStoresThePortAndAsksForTypeAndRange) {
  IdentityFields identity{"3", "111", "OLD"};
  ApplySearchResult(true, {"7", "102345", "QRN-2.14"}, identity, store_, host_, boxes_);

  EXPECT_EQ(identity.RCom, "7");
  EXPECT_EQ(identity.RSN, "102345");
  EXPECT_EQ(identity.RType, "QRN-2.14");
  EXPECT_EQ(host_.rows, (std::map<std::string, std::string>{{"Port", "7"},
                                                            {"Serial Number", "102345"},
                                                            {"Firmware rev.", "QRN-2.14"},
                                                            {"TYPE CODE", "IR-CO2"},
                                                            {"RANGE CODE", "0-5000"}}));
  EXPECT_EQ(store_.Read().status, PortStore::Status::Found);
  EXPECT_EQ(store_.Read().port, 7);
  EXPECT_EQ(host_.columns, std::vector<ToolbarColumn>{ToolbarColumn::SearchOk});
  EXPECT_EQ(sensor_.Received(), (std::vector<std::string>{"#00RT?", "#00RX?"}));
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(ApplySearchResultTest, OkWithAnEmptyIdentityStillStoresThePort) {
  IdentityFields identity;
  ApplySearchResult(true, {"7", "", ""}, identity, store_, host_, boxes_);
  EXPECT_EQ(store_.Read().port, 7);
  EXPECT_EQ(host_.rows["Port"], "7");
  EXPECT_EQ(host_.rows["Serial Number"], "");
  EXPECT_EQ(host_.columns, std::vector<ToolbarColumn>{ToolbarColumn::SearchOk});
}

TEST_F(ApplySearchResultTest, APortThatIsNoNumberIsNotStored) {
  IdentityFields identity;
  ApplySearchResult(true, {"7a", "1", "2"}, identity, store_, host_, boxes_);
  EXPECT_EQ(store_.Read().status, PortStore::Status::Missing);
  EXPECT_EQ(identity.RCom, "7a");
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Not successful open COM port7a"});
}

TEST_F(ApplySearchResultTest, CancelShowsTheUnchangedIdentityAndStillAsksForTypeAndRange) {
  IdentityFields identity{"7", "555", "QRN-1.0"};
  ApplySearchResult(false, {"9", "999", "X"}, identity, store_, host_, boxes_);
  EXPECT_EQ(identity.RCom, "7");
  EXPECT_EQ(identity.RSN, "555");
  EXPECT_EQ(host_.rows["Port"], "7");
  EXPECT_EQ(host_.rows["Serial Number"], "555");
  EXPECT_EQ(host_.rows["Firmware rev."], "QRN-1.0");
  EXPECT_EQ(host_.rows["TYPE CODE"], "IR-CO2");
  EXPECT_EQ(store_.Read().status, PortStore::Status::Missing);
  EXPECT_EQ(host_.columns, std::vector<ToolbarColumn>{ToolbarColumn::SearchCancelled});
}

TEST_F(ApplySearchResultTest, CancelBeforeAnyPortWasKnown) {
  IdentityFields identity;
  ApplySearchResult(false, {}, identity, store_, host_, boxes_);
  EXPECT_EQ(host_.columns, std::vector<ToolbarColumn>{ToolbarColumn::SearchCancelled});
  EXPECT_EQ(host_.rows.size(), 5u);
  // CheckCoeff runs on the empty port as well, and says so.
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Not successful open COM port"});
  EXPECT_TRUE(sensor_.Received().empty());
}

}  // namespace
}  // namespace quarn::identify
