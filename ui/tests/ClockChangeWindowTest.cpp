// A live run of the window while the wall clock skips an hour (daylight saving time starts in Berlin on
// 29 March 2026 at 02:00): the table, the response times, the data file, quarn-analyze and the review window
// all see the run's true instants. The test runs itself again as a child process under a faked wall clock.
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/DateTime.h"
#include "analysis/AnalyzeProgram.h"
#include "chart/MeasurementChart.h"
#include "chart/RecordTableModel.h"
#include "chart/StatisticsPanel.h"
#include "review/ReviewWindow.h"
#include "ui/MarkerDialog.h"
#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"

extern char** environ;

namespace quarn::ui::testing {
namespace {

using namespace std::chrono_literals;

constexpr double kTau = 6;
constexpr double kSecondsPerDay = 86400;
constexpr const char* kChildMark = "QUARN_CLOCK_CHILD";

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  return parts;
}

// Turns the event loop for a span of real time, so that the window polls and draws meanwhile.
void RunFor(std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) QTest::qWait(50);
}

// The seconds over which the panel takes the levels before and after a step, typed in as a user would: the
// step's last 20 s, when the chamber has come within 0.3 % of the new gas.
void SetLevelWindow(chart::StatisticsPanel& panel) {
  auto* box = panel.findChild<QDoubleSpinBox*>("responseWindow");
  ASSERT_NE(box, nullptr);
  box->setFocus();
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(box, "20");
  QTest::keyClick(box, Qt::Key_Return);
  ASSERT_EQ(box->value(), 20);
}

// This test binary again, only this test, its wall clock `ahead` seconds in the future; returns its exit status.
int RunSelfAhead(long long ahead, const std::string& filter) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) env.emplace_back(*entry);
  env.push_back(std::string("LD_PRELOAD=") + QUARN_FAKETIME_LIBRARY);
  env.push_back(std::string("FAKETIME=") + (ahead >= 0 ? "+" : "") + std::to_string(ahead));
  env.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
  env.push_back("TZ=Europe/Berlin");
  env.push_back("LC_ALL=de_DE.UTF-8");
  env.push_back(std::string(kChildMark) + "=1");
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string filterArg = "--gtest_filter=" + filter;
  char* argv[] = {self.data(), filterArg.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The wall clock starts at 01:59:45 CET; a gas step marked 10 s later rises across 02:00 -> 03:00, a second
// falls eight tau after it, the run stops eight tau after that. The chamber answers with tau = 6 s in real time.
TEST(ClockChangeWindow, ALiveRunAcrossTheSkippedHourKeepsTrueTimesLiveInTheFileAndInReview) {
  const double fakeStart = acquisition::EncodeDayNumber({2026, 3, 29, 0, 59, 45, 0});  // UTC
  if (!getenv(kChildMark)) {
    const auto ahead =
        static_cast<long long>(std::llround((fakeStart - acquisition::CurrentDayNumber()) * kSecondsPerDay));
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    ASSERT_EQ(RunSelfAhead(ahead, std::string(info->test_suite_name()) + "." + info->name()), 0);
    return;
  }
  ASSERT_LT(std::abs(acquisition::CurrentDayNumber() - fakeStart) * kSecondsPerDay, 60) << "clock not faked";

  Folders folders;
  base::ScriptedMessageBoxes boxes;
  identify::testing::MemoryPortStore store{{identify::PortStore::Status::Found, 7}};
  ScriptedFileChooser files;
  sim::SimSensor::Options options;
  options.args = {"--serial", "102345", "--firmware", "QRN-2.14"};
  options.tau = kTau;
  options.gas = 400;
  sim::SimSensor sensor(options);
  sim::ScopedPortDir ports(sensor.PortDir());
  MainWindowDependencies deps = folders.Deps(&boxes, &store);
  deps.files = &files;
  MainWindow form(deps);
  form.show();

  QTest::mouseClick(form.Button(Button::CheckSensor), Qt::LeftButton);
  ASSERT_EQ(form.IdentityRow("Serial Number"), "102345");
  QTest::keyClick(form.IntervalSlider(), Qt::Key_Home);
  ASSERT_EQ(form.IntervalSlider()->value(), 5) << "0.5 s";
  SetLevelWindow(*form.Statistics());
  QTest::mouseClick(form.Button(Button::Start), Qt::LeftButton);
  ASSERT_TRUE(form.Run().Running());

  // The gas changes, and the user marks it at once with Ctrl+M.
  const auto step = [&](const std::string& gas, const std::string& label) {
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    sensor.Control("gas " + gas);
    QTest::keyClick(&form, Qt::Key_M, Qt::ControlModifier);
    MarkerDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          dialog = form.findChild<MarkerDialog*>();
          return dialog && dialog->isVisible();
        },
        kWaitMs));
    QTest::keyClicks(dialog->LabelBox()->lineEdit(), QString::fromStdString(label));
    QTest::keyClick(dialog->LabelBox()->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.findChild<MarkerDialog*>() == nullptr; }, kWaitMs));
  };
  RunFor(10s);
  step("1400", "gas on 1400 ppm");
  RunFor(48s);
  step("400", "gas off");
  RunFor(48s);
  ASSERT_EQ(form.Run().Markers().size(), 2u);

  // Live: every record after the one before it, at the line's pace; the table shows the clock's jump.
  const acquisition::MeasurementStore& live = form.Run().Measurements();
  const std::vector<acquisition::MeasurementRecord> records = live.ReadFrom(0);
  ASSERT_GT(records.size(), 1000u) << "at 0.5 s the polls follow one another";
  // Polls follow one another at 0.5 s: each frame about one frame's time on the line after the one before,
  // also when one read brought two.
  double longest = 0, shortest = 1;
  for (size_t i = 1; i < records.size(); ++i) {
    const double gap = (records[i].DT - records[i - 1].DT) * kSecondsPerDay;
    ASSERT_GT(gap, 0.0) << "record " << i;
    longest = std::max(longest, gap);
    shortest = std::min(shortest, gap);
  }
  std::cout << "frame spacing " << shortest << " .. " << longest << " s\n";
  EXPECT_GT(shortest, 0.02);
  // A poll may wait a little on a loaded machine; an hour lost or doubled would be 3600 s.
  EXPECT_LT(longest, 2.0);
  const double span = (records.back().DT - records.front().DT) * kSecondsPerDay;
  EXPECT_NEAR(span, 106, 5);
  chart::RecordTableModel* table = form.TableModel();
  int lastWinter = -1, firstSummer = -1;
  for (int row = 0; row + 1 < table->rowCount(); ++row) {
    const QString text = table->index(row, 1).data().toString();
    if (text.startsWith("29.03.26 01:59:")) lastWinter = row;
    if (firstSummer < 0 && text.startsWith("29.03.26 03:00:")) firstSummer = row;
    ASSERT_FALSE(text.startsWith("29.03.26 02:")) << "a time the clock skipped, row " << row;
  }
  ASSERT_GE(lastWinter, 0);
  EXPECT_EQ(firstSummer, lastWinter + 1);

  // Live response times: tau * ln 10 on the way up (across the change) and down.
  const double t90 = kTau * std::log(10.0);
  form.Run().Tick();
  std::vector<analysis::StepResponse> liveSteps;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        liveSteps = form.Statistics()->Steps();
        return liveSteps.size() == 2 && liveSteps[1].crossingSeconds[2].has_value();
      },
      kWaitMs))
      << [&] {
           std::ostringstream why;
           why << liveSteps.size() << " steps, " << form.Statistics()->Markers().size() << " markers, chart "
               << (form.Chart()->TimeMin() - fakeStart) * kSecondsPerDay << ".."
               << (form.Chart()->TimeMax() - fakeStart) * kSecondsPerDay << " s; ";
           for (const analysis::StepResponse& s : liveSteps) {
             why << s.marker.label << " before " << s.levelBefore.value_or(-1) << " after " << s.levelAfter.value_or(-1)
                 << " T90 " << s.crossingSeconds[2].value_or(-1) << "; ";
           }
           return why.str();
         }();
  for (const analysis::StepResponse& s : liveSteps) {
    ASSERT_TRUE(s.crossingSeconds[2]) << s.marker.label;
    std::cout << "T90 live, " << s.marker.label << ": " << *s.crossingSeconds[2] << " s\n";
    EXPECT_NEAR(*s.crossingSeconds[2], t90, 1.0) << s.marker.label;
  }

  QTest::mouseClick(form.Button(Button::Stop), Qt::LeftButton);
  ASSERT_FALSE(form.Run().Running());
  const size_t stored = live.Count();
  const std::string dataFile = form.Run().DataFilePath();

  // The file: read back in order, and quarn-analyze's T90 and drift over the true instants.
  std::ostringstream analyzed, errors;
  ASSERT_EQ(analysis::RunAnalyze({dataFile, "--csv", "--window", "20"}, {}, analyzed, errors), 0) << errors.str();
  std::vector<std::string> conc;
  std::vector<std::vector<std::string>> responses;
  for (const std::string& line : Split(analyzed.str(), '\n')) {
    const std::vector<std::string> cells = Split(line, ',');
    if (!cells.empty() && cells[0] == "Conc") conc = cells;
    if (cells.size() == 8 && cells[1].starts_with("gas")) responses.push_back(cells);
  }
  ASSERT_EQ(responses.size(), 2u) << analyzed.str();
  for (const auto& row : responses) {
    std::cout << "T90 from the file, " << row[1] << ": " << row[6] << " s\n";
    EXPECT_NEAR(std::stod(row[6]), t90, 1.0) << row[1];
  }
  ASSERT_EQ(conc.size(), 8u) << analyzed.str();
  EXPECT_EQ(std::stoul(conc[1]), stored);

  // The review window's statistics of the whole file: the same count, drift and response times.
  form.OpenDataFiles({QString::fromStdString(dataFile)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.ReviewWindows().size() == 1 && !form.ReviewWindows()[0]->Loading(); },
                              kWaitMs));
  review::ReviewWindow* review = form.ReviewWindows()[0];
  EXPECT_EQ(review->Records().Count(), stored);
  chart::StatisticsPanel* panel = review->Statistics();
  SetLevelWindow(*panel);
  // The panel takes the new level window when the event loop next turns; then it shows the command line's T90.
  const auto sameAsTheCommandLine = [&] {
    const std::vector<analysis::StepResponse>& steps = panel->Steps();
    if (steps.size() != responses.size()) return false;
    for (size_t i = 0; i < steps.size(); ++i) {
      if (!steps[i].crossingSeconds[2] || std::abs(*steps[i].crossingSeconds[2] - std::stod(responses[i][6])) > 0.006)
        return false;
    }
    return true;
  };
  EXPECT_TRUE(QTest::qWaitFor(sameAsTheCommandLine, kWaitMs)) << [&] {
    std::ostringstream shown;
    for (const analysis::StepResponse& s : panel->Steps())
      shown << s.marker.label << " T90 " << s.crossingSeconds[2].value_or(-1) << "; ";
    return shown.str();
  }();
  const QString text = panel->Text();
  bool sawConc = false;
  for (const QString& line : text.split('\n')) {
    const QStringList cells = line.split('\t');
    if (cells.size() < 8 || cells[0] != "Conc") continue;
    sawConc = true;
    EXPECT_EQ(cells[1].toStdString(), conc[1]) << "count";
    EXPECT_EQ(cells[7].toStdString(), conc[7]) << "drift per hour";
  }
  EXPECT_TRUE(sawConc) << text.toStdString();
}

}  // namespace
}  // namespace quarn::ui::testing
