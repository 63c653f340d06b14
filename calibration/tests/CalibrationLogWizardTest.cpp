// The calibration log and the stability reading, through the wizard against the simulated sensor.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "calibration/CalibrationWizard.h"
#include "sim/testing/SimSensor.h"

namespace quarn::calibration {
namespace {

std::vector<std::vector<std::string>> LogRows(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "CR LF";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> cells;
    std::stringstream cellStream(line);
    for (std::string cell; std::getline(cellStream, cell, '\t');) cells.push_back(cell);
    if (!line.empty() && line.back() == '\t') cells.emplace_back();
    rows.push_back(cells);
  }
  return rows;
}

QPushButton* Button(CalibrationWizard& form, const char* name) { return form.findChild<QPushButton*>(name); }
void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

class CalibrationLogWizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::SetTimeScale(0.05);
    char pattern[] = "/tmp/quarn-calibration-wizard-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    base::SetTimeScale(1.0);
    std::filesystem::remove_all(root_);
  }
  std::unique_ptr<CalibrationWizard> OpenForm(const std::filesystem::path& folder) {
    auto form = std::make_unique<CalibrationWizard>("7", boxes_, nullptr,
                                                    CalibrationLogTarget{"102345", "QRN-2.14", folder.string()});
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
  }

  std::filesystem::path root_;
  sim::SimSensor sensor_{sim::LineAtTimeScale(0.05)};
  sim::ScopedPortDir ports_{sensor_.PortDir()};
  base::ScriptedMessageBoxes boxes_;
};

TEST_F(CalibrationLogWizardTest, EveryStepGoodOrFailedLeavesOneLineWithItsReadingsAndItsBox) {
  const std::string failure2 =
      "CALIBRATION FAILED (C2=979)\\n\\rCheck the calibration values \xE2\x80\x8B\xE2\x80\x8B"
      "and repeat the calibration";
  struct Case {
    const char* what;
    int par7;
    const char* spanReadings;  // nullptr: no span step
    std::vector<std::string> readings;
    std::string outcome;
  };
  const std::vector<Case> cases = {
      {"zero ok", 10000, nullptr, {"10000", "", "", ""}, "Operation setting to Zero, successfully completed!"},
      {"zero failing", 9000, nullptr, {"9000", "", "", ""}, "ZERO FAILED! Please send log file to manufacture!"},
      {"span ok", 10000, "0,1000,1000,1002", {"0", "1000", "1000", "1002"}, "CALIBRATION OK"},
      {"span failing at reading 2", 10000, "1000,979,1000", {"1000", "979", "1000", ""}, failure2},
      {"span failing at reading 4",
       10000,
       "1000,1000,1000,994",
       {"1000", "1000", "1000", "994"},
       "CALIBRATION FAILED! Please try again or send log file to manufacture."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::filesystem::path folder = root_ / c.what;
    boxes_.Clear();
    auto form = OpenForm(folder);
    Click(Button(*form, "bNext"));
    sensor_.Control("field 7 " + std::to_string(c.par7));
    Click(Button(*form, "bZero"));
    if (c.spanReadings) {
      Click(Button(*form, "bNext"));
      sensor_.Control(std::string("field 9 ") + c.spanReadings);
      auto* field = form->findChild<QLineEdit*>("eCalb");
      field->selectAll();
      QTest::keyClicks(field, "1000");
      Click(Button(*form, "bCalb"));
    }
    const auto rows = LogRows(folder / "calibration.tsv");
    ASSERT_EQ(rows.size(), c.spanReadings ? 3u : 2u) << "a header and a line per step";
    EXPECT_EQ(rows[0][0], "time");
    const std::vector<std::string>& row = rows.back();
    ASSERT_EQ(row.size(), 13u);
    EXPECT_EQ(row[1], "102345");
    EXPECT_EQ(row[2], "QRN-2.14");
    EXPECT_EQ(row[3], c.spanReadings ? "span" : "zero");
    EXPECT_EQ(row[4], c.spanReadings ? "1000" : "");
    EXPECT_EQ(std::vector<std::string>(row.begin() + 5, row.begin() + 9), c.readings);
    EXPECT_EQ(row[10], c.outcome);
    EXPECT_EQ(boxes_.Texts().size(), c.spanReadings ? 2u : 1u) << "no box beyond the steps' own";
  }
}

TEST_F(CalibrationLogWizardTest, ALogThatCannotBeWrittenWarnsAfterTheStepsBoxAndChangesNothingElse) {
  std::ofstream(root_ / "Save") << "a file where the save folder should be";
  auto form = OpenForm(root_ / "Save");
  Click(Button(*form, "bNext"));
  sensor_.Control("field 7 10000");
  Click(Button(*form, "bZero"));
  ASSERT_EQ(boxes_.Texts().size(), 2u);
  EXPECT_EQ(boxes_.Texts()[0], "Operation setting to Zero, successfully completed!");
  EXPECT_EQ(boxes_.Boxes()[1].kind, base::BoxKind::Warning);
  EXPECT_NE(boxes_.Texts()[1].find("calibration log could not be written"), std::string::npos) << boxes_.Texts()[1];
  EXPECT_TRUE(Button(*form, "bNext")->isEnabled()) << "the step's outcome stands";
}

// A user who takes a while over a step's box: the box turns the event loop meanwhile, as a real one does.
class LingeringBoxes : public base::ScriptedMessageBoxes {
 public:
  base::BoxAnswer Show(base::BoxKind kind, base::BoxButtons buttons, const std::string& text) override {
    const base::BoxAnswer answer = ScriptedMessageBoxes::Show(kind, buttons, text);
    QTest::qWait(3000);
    return answer;
  }
};

// While a step's box is up the step still holds the port: no reading tries it then, so the line keeps the
// last reading instead of saying the sensor gave none.
TEST(CalibrationStability, NoReadingWhileAStepsBoxIsUp) {
  sim::SimSensor sensor{sim::SimSensor::Options{}};
  sim::ScopedPortDir ports(sensor.PortDir());
  LingeringBoxes boxes;
  CalibrationWizard form("7", boxes);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QLabel* reading = form.findChild<QLabel*>("LreadingZero");
  Click(Button(form, "bNext"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return reading->text().startsWith("Reading"); }, 10000));
  sensor.Control("field 7 10000");
  Click(Button(form, "bZero"));
  ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Operation setting to Zero, successfully completed!"});
  EXPECT_TRUE(reading->text().startsWith("Reading")) << reading->text().toStdString();
  const auto received = sensor.Received();
  const auto zero = std::find(received.begin(), received.end(), "#00ZERO2");
  ASSERT_NE(zero, received.end());
  EXPECT_EQ(std::vector<std::string>(zero, received.end()), (std::vector<std::string>{"#00ZERO2", "#00F"}))
      << "the step's own poll only";
  // Readings go on after the step.
  const size_t before = received.size();
  EXPECT_TRUE(QTest::qWaitFor([&] { return sensor.Received().size() > before; }, 10000));
}

// The chamber answers with tau = 5 s: the reading is stable at a constant gas, settling after a change, and
// stable again once the chamber has followed; the zero step then logs how stable it was.
TEST(CalibrationStability, TheReadingSaysWhenTheGasHasSettled) {
  sim::SimSensor::Options options;
  options.tau = 5;
  options.gas = 400;
  sim::SimSensor sensor(options);
  sim::ScopedPortDir ports(sensor.PortDir());
  base::ScriptedMessageBoxes boxes;
  char pattern[] = "/tmp/quarn-calibration-stability-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  CalibrationWizard form("7", boxes, nullptr, CalibrationLogTarget{"102345", "QRN-2.14", pattern});
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QLabel* reading = form.findChild<QLabel*>("LreadingZero");
  ASSERT_NE(reading, nullptr);
  Click(Button(form, "bNext"));
  const auto shows = [&](const char* word, int seconds) {
    return QTest::qWaitFor([&] { return reading->text().contains(word); }, seconds * 1000);
  };
  ASSERT_TRUE(shows("stable", 30)) << reading->text().toStdString();
  // The simulated sensor's own reading of the chamber's gas, whatever its calibration makes of it.
  const auto ppm = [&] { return reading->text().section(' ', 1, 1).toInt(); };
  EXPECT_TRUE(reading->text().contains(" ppm · stable (±")) << reading->text().toStdString();
  const int before = ppm();
  sensor.Control("gas 600");
  ASSERT_TRUE(shows("settling", 15)) << reading->text().toStdString();
  EXPECT_TRUE(reading->text().contains(" ppm per minute)")) << reading->text().toStdString();
  ASSERT_TRUE(shows("stable", 180)) << reading->text().toStdString();
  EXPECT_GT(ppm(), before + 100) << reading->text().toStdString();

  sensor.Control("field 7 10000");
  Click(Button(form, "bZero"));
  const auto rows = LogRows(std::filesystem::path(pattern) / "calibration.tsv");
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[1].size(), 13u);
  EXPECT_FALSE(rows[1][11].empty()) << "SD of the last 30 s";
  EXPECT_LT(std::abs(std::stod(rows[1][12])), 6.0) << "slope per minute of the last 30 s";
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace quarn::calibration
