#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QStatusBar>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/FileChooser.h"
#include "chart/MeasurementChart.h"
#include "report/tests/ReportFixture.h"
#include "review/BenchWindow.h"
#include "review/DataFileTexts.h"
#include "review/ReviewWindow.h"
#include "ui/tests/MainWindowFixture.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {
namespace {

using report::testing::PdfText;
using report::testing::Quoted;
using report::testing::RecordedRun;
using report::testing::RunCommand;

// The text with every run of blanks made one blank.
std::string Words(const std::string& text) {
  std::string words;
  for (char c : text) {
    if (c == ' ' && !words.empty() && words.back() == ' ') continue;
    words += c;
  }
  return words;
}

// A review window on a recorded run with two markers and a calibration line.
class ReportExportTest : public ::testing::Test {
 protected:
  void Open(chart::FileChooser& files) {
    review_ =
        new review::ReviewWindow(QString::fromStdString(run_.DataFile()), review::LocaleDateOrder(), boxes_, files);
    review_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(review_));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !review_->Loading(); }, kWaitMs));
  }
  void TearDown() override { delete review_.data(); }

  ScopedLocale locale_{"en_GB"};
  RecordedRun run_{"window"};
  base::ScriptedMessageBoxes boxes_;
  QPointer<review::ReviewWindow> review_;
};

// "Export report…" clicked, the name typed into the file dialog: the report holds what quarn-analyze --report
// writes of the same file, line for line.
TEST_F(ReportExportTest, TheWindowsReportIsTheCommandLines) {
  chart::DialogFileChooser dialogs;
  Open(dialogs);
  const std::string typed = (run_.Folder() / "from the window.pdf").string();
  bool answered = false;
  // The dialog is modal: it is answered from the event loop it runs, looked for until it is up.
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    answer.stop();
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    if (!name) {
      dialog->reject();
      return;
    }
    // It suggests the data file's name as a PDF, in its folder.
    answered = name->text() == "102345(QRN-2.14) 14-3-2026 8%0.pdf" &&
               QDir(dialog->directory()) == QDir(QString::fromStdString(run_.Folder().string()));
    name->setFocus();
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    // The name alone: the dialog is in the folder already, and no completion of a path pops up over it.
    QTest::keyClicks(name, "from the window.pdf");
    QTest::keyClick(name, Qt::Key_Return);
  });
  answer.start(50);
  ClickMenuItem(*review_, "File", "menuExportReport");
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(typed); }, kWaitMs));
  EXPECT_TRUE(answered) << "the dialog did not suggest the data file's name in its folder";
  EXPECT_TRUE(boxes_.Texts().empty());

  const std::string command = (run_.Folder() / "from the command line.pdf").string();
  const report::testing::CommandResult written =
      RunCommand(std::string(QUARN_ANALYZE_PATH) + " " + Quoted(run_.DataFile()) + " --report " + Quoted(command) +
                 " 2>&1 >/dev/null");
  ASSERT_EQ(written.status, 0) << written.out;
  const std::string windowText = PdfText(typed);
  EXPECT_NE(windowText.find("Chart of the whole run"), std::string::npos) << windowText;
  EXPECT_NE(windowText.find("gas on 1400 ppm"), std::string::npos);
  // Word for word; the blanks between the columns follow the widths the fonts give on each side.
  EXPECT_EQ(Words(windowText), Words(PdfText(command)));

  // Zoomed in, the chart shows the range in view and says so; the figures stay those of the whole file.
  ScriptedFileChooser scripted;
  const std::string zoomed = (run_.Folder() / "zoomed.pdf").string();
  delete review_.data();
  Open(scripted);
  review_->Chart()->SetTimeRange(analysis::testing::DaysAt(60), analysis::testing::DaysAt(200));
  review_->Chart()->Refresh();
  scripted.saveAnswers.push_back({QString::fromStdString(zoomed), ""});
  ClickMenuItem(*review_, "File", "menuExportReport");
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(zoomed); }, kWaitMs));
  const std::string zoomedText = PdfText(zoomed);
  EXPECT_NE(zoomedText.find("Chart of the range shown, 2026-03-14 08:01:00 to 2026-03-14 08:03:20"), std::string::npos)
      << zoomedText;
  const auto from = [](const std::string& text) { return text.substr(text.find("Statistics")); };
  EXPECT_EQ(Words(from(zoomedText)), Words(from(windowText)));
}

// A report that cannot be written: an error box naming the path and why, no file, nothing said of success.
TEST_F(ReportExportTest, AnUnwritablePathGetsABoxAndNoFile) {
  ScriptedFileChooser scripted;
  Open(scripted);
  const std::filesystem::path target = run_.Folder() / "no such folder" / "report.pdf";
  scripted.saveAnswers.push_back({QString::fromStdString(target.string()), ""});
  ClickMenuItem(*review_, "File", "menuExportReport");
  ASSERT_TRUE(boxes_.WaitForCount(1, std::chrono::milliseconds(kWaitMs)));
  const std::string text = boxes_.Texts().front();
  EXPECT_EQ(text.rfind("The report could not be written to " + target.string() + ".\n", 0), 0u) << text;
  EXPECT_EQ(boxes_.Boxes().front().kind, base::BoxKind::Error);
  EXPECT_FALSE(std::filesystem::exists(target.parent_path()));
  EXPECT_FALSE(review_->statusBar()->currentMessage().contains("Report written"));
}

// The bench window's report: a section per sensor, judged by the limits chosen in the window, word for word
// what quarn-analyze writes of the same files with the same limits.
TEST(BenchReportTest, ASectionPerSensorJudgedByTheChosenLimits) {
  ScopedLocale locale{"en_GB"};
  const RecordedRun first("bench-first");
  const RecordedRun second("bench-second");
  const std::string limits = (first.Folder() / "limits.ini").string();
  std::ofstream(limits) << "sd_max = 1000\nT90_max_s = 30\n";
  base::ScriptedMessageBoxes boxes;
  ScriptedFileChooser files;
  QPointer<review::BenchWindow> bench = review::BenchWindow::OpenFiles(
      {QString::fromStdString(first.DataFile()), QString::fromStdString(second.DataFile())}, boxes, files);
  ASSERT_TRUE(bench);
  bench->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(bench));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !bench->Loading(); }, kWaitMs));
  files.limitsAnswers.push_back(QString::fromStdString(limits));
  ClickMenuItem(*bench, "File", "menuLimits");
  const std::string pdf = (first.Folder() / "bench.pdf").string();
  files.saveAnswers.push_back({QString::fromStdString(pdf), ""});
  ClickMenuItem(*bench, "File", "menuExportReport");
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(pdf); }, kWaitMs));
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_TRUE(bench->Notes().contains("Report written to"));

  const std::string command = (first.Folder() / "command.pdf").string();
  const report::testing::CommandResult written =
      RunCommand(std::string(QUARN_ANALYZE_PATH) + " " + Quoted(first.DataFile()) + " " + Quoted(second.DataFile()) +
                 " --limits " + Quoted(limits) + " --report " + Quoted(command) + " 2>&1 >/dev/null");
  // The step down takes longer than 30 s to 90 %: both sensors fail.
  EXPECT_EQ(written.status, 3) << written.out;
  const std::string text = PdfText(pdf);
  size_t sections = 0;
  for (size_t at = 0; (at = text.find("Evaluation report: Sensor 102345", at)) != std::string::npos; ++at) ++sections;
  EXPECT_EQ(sections, 2u) << text;
  EXPECT_NE(text.find("Verdict: FAIL: T90_max_s (gas off)"), std::string::npos) << text;
  EXPECT_EQ(Words(text), Words(PdfText(command)));
  bench->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench.isNull(); }, kWaitMs));
}

}  // namespace
}  // namespace quarn::ui::testing
