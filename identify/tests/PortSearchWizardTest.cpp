#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <map>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "identify/PortSearchWizard.h"
#include "identify/tests/TestDoubles.h"
#include "link/SerialLink.h"
#include "sim/testing/SimSensor.h"

namespace quarn::identify {
namespace {

using namespace std::chrono_literals;
using testing::MemoryPortStore;

using testing::RecordingCheckView;

std::string MakePortFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarn-search-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

// A wizard over a port folder of its own, so that only the simulated sensors started here exist.
class PortSearchWizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::SetTimeScale(0.1);
    form_.address = "00";
    form_.show();
  }
  void TearDown() override {
    base::SetTimeScale(1.0);
    form_.hide();
    sensors_.clear();
    std::filesystem::remove_all(portDir_);
  }

  sim::SimSensor& StartSensor(int com, std::vector<std::string> args = {}, bool waitReady = true) {
    sim::SimSensor::Options options;
    options.com = com;
    options.portDir = portDir_;
    options.args = std::move(args);
    options.waitReady = waitReady;
    sensors_.push_back(std::make_unique<sim::SimSensor>(options));
    return *sensors_.back();
  }

  QPushButton* Button(const char* name) { return form_.findChild<QPushButton*>(name); }
  QString LabelText(const char* name) { return form_.findChild<QLabel*>(name)->text(); }
  int PageIndex() { return form_.findChild<QStackedWidget*>("Page")->currentIndex(); }
  bool TimerActive() { return form_.findChild<QTimer*>("Timer1")->isActive(); }
  QString Row(int row) { return form_.findChild<QTableWidget*>("VLE1")->item(row, 1)->text(); }
  QStringList PageTexts(int index) {
    QStringList texts;
    for (QLabel* label : form_.findChild<QStackedWidget*>("Page")->widget(index)->findChildren<QLabel*>()) {
      texts << label->text();
    }
    return texts;
  }
  void Press(const char* name) { Button(name)->click(); }

  std::string portDir_ = MakePortFolder();
  sim::ScopedPortDir scopedDir_{portDir_};
  std::vector<std::unique_ptr<sim::SimSensor>> sensors_;
  base::ScriptedMessageBoxes boxes_;
  PortSearchWizard form_{boxes_};
};

TEST_F(PortSearchWizardTest, PagesHeadingsAndButtons) {
  EXPECT_EQ(form_.windowTitle(), "Master search the connected controller");
  EXPECT_TRUE(PageTexts(0).contains("Step 1 - Disconnect previously connected QUARN USB to UART converter"));
  EXPECT_TRUE(PageTexts(1).contains("Step 2 - Connect the QUARN USB to UART Converter"));
  EXPECT_TRUE(PageTexts(2).contains("Search results"));
  for (QSvgWidget* picture : form_.findChildren<QSvgWidget*>()) EXPECT_TRUE(picture->renderer()->isValid());
  EXPECT_EQ(form_.findChildren<QSvgWidget*>().size(), 3);

  EXPECT_EQ(PageIndex(), 0);
  EXPECT_EQ(Button("bNext")->text(), "Next >>");
  EXPECT_FALSE(Button("bBack")->isVisible());
  EXPECT_FALSE(TimerActive());

  Press("bNext");
  EXPECT_EQ(PageIndex(), 1);
  EXPECT_EQ(LabelText("Label5"), "Ports found: ") << "no port opens";
  EXPECT_EQ(LabelText("Label6"), "Searching ...");
  EXPECT_EQ(LabelText("Label3"), ": ");
  EXPECT_EQ(Button("bNext")->text(), "Abort");
  EXPECT_TRUE(Button("bBack")->isVisible());
  EXPECT_TRUE(Button("bBack")->isEnabled());
  EXPECT_TRUE(TimerActive());

  // Back leaves the timer as it was.
  Press("bBack");
  EXPECT_EQ(PageIndex(), 0);
  EXPECT_EQ(Button("bNext")->text(), "Next >>");
  EXPECT_FALSE(Button("bBack")->isVisible());
  EXPECT_TRUE(TimerActive());
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(PortSearchWizardTest, BaselineListsThePortsThatOpen) {
  StartSensor(1);
  StartSensor(12);
  StartSensor(3);
  Press("bNext");
  EXPECT_EQ(LabelText("Label5"), "Ports found: 1,3,12");
  EXPECT_EQ(form_.baselinePorts, (std::vector<int32_t>{1, 3, 12}));
}

TEST_F(PortSearchWizardTest, TickWithoutANewPortAnimatesAndAsksForTheConverter) {
  StartSensor(2);
  Press("bNext");
  const char* expected[] = {"Searching .", "Searching ..", "Searching ..."};
  for (const char* text : expected) {
    form_.SearchTick();
    EXPECT_EQ(LabelText("Label6"), text);
    EXPECT_EQ(LabelText("Label3"), "Connect the controller !");
  }
  EXPECT_EQ(PageIndex(), 1);
  EXPECT_TRUE(TimerActive());
  EXPECT_TRUE(form_.newPorts.empty());
}

TEST_F(PortSearchWizardTest, AbortWithNothingPluggedCancels) {
  Press("bNext");
  Press("bNext");
  EXPECT_EQ(form_.result(), QDialog::Rejected);
  EXPECT_FALSE(form_.isVisible());
  EXPECT_FALSE(TimerActive());

  base::SensorIdentity identity;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  RecordingCheckView view;
  ApplySearchResult(form_.result() == QDialog::Accepted, form_.Result(), identity, store, view, boxes_);
  EXPECT_EQ(store.Read().status, PortStore::Status::Missing);
}

TEST_F(PortSearchWizardTest, ConverterPluggedInWhileWatchingIsFoundProbedAndStored) {
  sim::SimSensor& sensor =
      StartSensor(5, {"--appear-after", "1.5", "--serial", "770011", "--firmware", "QRN-3.01"}, false);
  Press("bNext");
  ASSERT_TRUE(form_.baselinePorts.empty()) << "the converter appeared before the baseline";
  ASSERT_TRUE(QTest::qWaitFor([&] { return PageIndex() == 2; }, 30000)) << LabelText("Label3").toStdString();

  EXPECT_EQ(form_.newPorts, std::vector<int32_t>{5});
  EXPECT_FALSE(TimerActive());
  EXPECT_EQ(Row(0), "5");
  EXPECT_EQ(Row(1), "770011");
  EXPECT_EQ(Row(2), "QRN-3.01");
  EXPECT_EQ(Button("bNext")->text(), "Finish");
  EXPECT_TRUE(Button("bBack")->isVisible());
  EXPECT_FALSE(Button("bBack")->isEnabled());
  EXPECT_EQ(sensor.Received(), (std::vector<std::string>{"#00SRAL?", "#00SREV?"}));

  Press("bNext");
  EXPECT_EQ(form_.result(), QDialog::Accepted);
  EXPECT_EQ(form_.Result().portNumber, "5");
  EXPECT_EQ(form_.Result().serialNumber, "770011");
  EXPECT_EQ(form_.Result().firmware, "QRN-3.01");

  base::SensorIdentity identity;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  RecordingCheckView view;
  ApplySearchResult(true, form_.Result(), identity, store, view, boxes_);
  EXPECT_EQ(store.Read().port, 5);
  EXPECT_EQ(identity.portNumber, "5");
  EXPECT_EQ(view.rows["Serial Number"], "770011");
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(PortSearchWizardTest, TwoNewPortsTheLowerAnswersAndTheHigherIsNeverAsked) {
  Press("bNext");
  sim::SimSensor& high = StartSensor(9);
  sim::SimSensor& low = StartSensor(4, {"--serial", "444"});
  form_.SearchTick();
  EXPECT_EQ(form_.newPorts, (std::vector<int32_t>{4, 9}));
  ASSERT_EQ(PageIndex(), 2);
  EXPECT_EQ(Row(0), "4");
  EXPECT_EQ(Row(1), "444");
  EXPECT_EQ(low.Received(), (std::vector<std::string>{"#00SRAL?", "#00SREV?"}));
  EXPECT_TRUE(high.Received().empty());
}

TEST_F(PortSearchWizardTest, SilentFirstPortIsClosedAndTheAnsweringSecondIsTaken) {
  Press("bNext");
  sim::SimSensor& silent = StartSensor(4, {"--silent"});
  sim::SimSensor& answering = StartSensor(9, {"--serial", "999"});
  form_.SearchTick();
  ASSERT_EQ(PageIndex(), 2);
  EXPECT_EQ(Row(0), "9");
  EXPECT_EQ(Row(1), "999");
  EXPECT_EQ(silent.Received(), (std::vector<std::string>{"#00SRAL?", "#00SRAL?"}));
  EXPECT_EQ(answering.Received(), (std::vector<std::string>{"#00SRAL?", "#00SREV?"}));
  // Both probed ports are free again.
  EXPECT_NO_THROW(link::OpenPort("COM4", link::kEventRxFlag));
  EXPECT_NO_THROW(link::OpenPort("COM9", link::kEventRxFlag));
}

TEST_F(PortSearchWizardTest, SilentOnlyPortGivesThePortWithEmptyValues) {
  Press("bNext");
  sim::SimSensor& silent = StartSensor(6, {"--silent"});
  form_.SearchTick();
  ASSERT_EQ(PageIndex(), 2);
  EXPECT_EQ(Row(0), "6");
  EXPECT_EQ(Row(1), "");
  EXPECT_EQ(Row(2), "");
  EXPECT_EQ(silent.Received(), (std::vector<std::string>{"#00SRAL?", "#00SRAL?", "#00SREV?", "#00SREV?"}));
  EXPECT_TRUE(boxes_.Texts().empty());
  Press("bNext");
  EXPECT_EQ(form_.result(), QDialog::Accepted);
  EXPECT_EQ(form_.Result().portNumber, "6");
  EXPECT_EQ(form_.Result().serialNumber, "");
  EXPECT_EQ(form_.Result().firmware, "");
  EXPECT_NO_THROW(link::OpenPort("COM6", link::kEventRxFlag));
}

TEST_F(PortSearchWizardTest, ANewPortThatDoesNotOpenEndsTheProbeOnStep2AndCanBeRetried) {
  Press("bNext");
  form_.newPorts = {6};  // gone again before the probe
  Press("bNext");
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Not successful open COM port6"});
  EXPECT_EQ(PageIndex(), 1);
  EXPECT_FALSE(TimerActive());
  EXPECT_TRUE(form_.isVisible());

  StartSensor(6, {"--serial", "606"});
  Press("bNext");
  ASSERT_EQ(PageIndex(), 2);
  EXPECT_EQ(Row(1), "606");
}

TEST_F(PortSearchWizardTest, OnlyTheCloseBoxEndsTheWizardWithoutAButton) {
  Press("bNext");
  QTest::keyClick(&form_, Qt::Key_Escape);
  EXPECT_TRUE(form_.isVisible());
  form_.close();
  EXPECT_EQ(form_.result(), QDialog::Rejected);
  EXPECT_FALSE(TimerActive());
}

}  // namespace
}  // namespace quarn::identify
