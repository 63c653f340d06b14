#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <functional>

#include "config/Criteria.h"

#include "chart/MeasurementChart.h"
#include "chart/RecordTable.h"
#include "chart/RecordTableModel.h"
#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

using V = std::vector<bool>;
// Buttons in order: Search, CheckSensor, Clear, Start, Stop, Calibrate, Console, Save, Send.
const V kAfterStart = {false, false, false, false, true, false, false, false, false};
const V kAfterStop = {false, false, true, true, false, true, true, true, true};

QString FileText(const std::string& path) {
  QFile file(QString::fromStdString(path));
  file.open(QIODevice::ReadOnly);
  return QString::fromLatin1(file.readAll());
}

TEST_F(MainWindowTest, StartWithoutSensorIsRefused) {
  const V before = Enabled();
  form_->StartClicked();
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"First, determine the sensor!"});
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Warning);
  EXPECT_EQ(Enabled(), before);
  EXPECT_FALSE(form_->Chart()->HasSeries());
}

TEST_F(MainWindowTest, RunShowsRecordsAndStopNoThenClearDeletesTheFile) {
  Check();
  form_->StartClicked();
  EXPECT_EQ(Enabled(), kAfterStart);
  ASSERT_TRUE(form_->Chart()->HasSeries());
  EXPECT_FALSE(form_->Chart()->SeriesVisible(1)) << "basic mode shows the concentration only";
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 3; }, kWaitMs));
  form_->Run().Tick();
  const int shown = form_->Chart()->PointCount();
  EXPECT_GE(shown, 3);
  EXPECT_EQ(form_->TableModel()->RecordRows(), shown);
  EXPECT_EQ(form_->TableModel()->rowCount(), shown + 1) << "one empty row at the end";
  EXPECT_EQ(form_->Table()->CurrentRow(), shown - 1) << "auto scrolling selects the newest row";
  EXPECT_EQ(form_->TableModel()->index(0, 0).data().toString(), "1");

  // A further tick takes only what is new: none twice, none skipped.
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() > size_t(shown); }, kWaitMs));
  form_->Run().Tick();
  const int after = form_->Chart()->PointCount();
  EXPECT_GT(after, shown);
  EXPECT_EQ(form_->TableModel()->RecordRows(), after);
  const std::vector<acquisition::MeasurementRecord> stored = form_->Run().Measurements().ReadFrom(0);
  ASSERT_GE(stored.size(), size_t(after));
  for (int i = 0; i < after; ++i) EXPECT_DOUBLE_EQ(form_->Chart()->PointX(i), stored[i].DT) << i;

  boxes_.QueueAnswer(base::BoxAnswer::No);
  form_->StopClicked();
  EXPECT_EQ(boxes_.Texts().back(), "Save Date to file?");
  EXPECT_EQ(Enabled(), kAfterStop);
  const std::string file = form_->Run().DataFilePath();
  ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(file)));
  EXPECT_TRUE(FileText(file).contains("102345"));

  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->ClearClicked();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
  EXPECT_EQ(Enabled(), (V{true, true, true, false, false, true, true, false, false}));
  EXPECT_EQ(form_->IdentityRow("Port"), "7");
  EXPECT_EQ(form_->IdentityRow("Serial Number"), "");
  EXPECT_FALSE(form_->Chart()->HasSeries());
  EXPECT_EQ(form_->TableModel()->rowCount(), 1);
  EXPECT_EQ(form_->Run().Measurements().Count(), 0u);
}

TEST_F(MainWindowTest, PulledOutConverterDuringARun) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 2; }, kWaitMs));
  sensor_->Control("unplug");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const auto texts = boxes_.Texts();
        return std::find(texts.begin(), texts.end(), "Limit of attempts to send commands on port") != texts.end();
      },
      kWaitMs));
  EXPECT_EQ(Enabled(), kAfterStart) << "the run stays marked active until Stop";
  const size_t recorded = form_->Run().Measurements().Count();
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  EXPECT_EQ(Enabled(), kAfterStop);
  form_->Run().Tick();
  EXPECT_EQ(size_t(form_->Chart()->PointCount()), recorded);
  EXPECT_EQ(FileText(form_->Run().DataFilePath()).count("\r\n"), 5 + int(recorded))
      << "header block and one line per record";
}

TEST_F(MainWindowTest, StopYesKeepsTheFileAndClearNoChangesNothing) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  const std::string file = form_->Run().DataFilePath();

  boxes_.QueueAnswer(base::BoxAnswer::No);
  form_->ClearClicked();
  EXPECT_EQ(Enabled(), kAfterStop);
  EXPECT_EQ(form_->IdentityRow("Serial Number"), "102345");

  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->ClearClicked();
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(file)));
}

TEST_F(MainWindowTest, SecondStartKeepsTableRowsAndEmptiesTheSeries) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 2; }, kWaitMs));
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  form_->Run().Tick();
  const int firstRows = form_->TableModel()->RecordRows();
  const std::string file = form_->Run().DataFilePath();
  ASSERT_GE(firstRows, 2);

  form_->StartClicked();
  EXPECT_EQ(form_->Chart()->PointCount(), 0);
  EXPECT_EQ(form_->Run().DataFilePath(), file) << "the same data file";
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  form_->Run().Tick();
  EXPECT_EQ(form_->TableModel()->RecordRows(), firstRows + form_->Chart()->PointCount());
  EXPECT_EQ(form_->TableModel()->index(firstRows, 0).data().toString(), QString::number(firstRows + 1));
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  EXPECT_EQ(FileText(file).count("SN: "), 2) << "a header block per run";
}

TEST_F(MainWindowTest, ClosingDuringARunAsksAndDeletesOnNo) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  const std::string file = form_->Run().DataFilePath();
  boxes_.QueueAnswer(base::BoxAnswer::No);
  form_->close();
  EXPECT_EQ(boxes_.Texts().back(), "Save Date to file?");
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
}

TEST_F(MainWindowTest, SaveAppendsTxtOnlyWithoutADot) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  const QString dir = folders_.Documents() + "/out.dir";
  QDir().mkpath(dir);
  form_->Run().SaveTo(dir + "/copy");
  EXPECT_TRUE(QFileInfo::exists(dir + "/copy.txt"));
  form_->Run().SaveTo(dir + "/copy.dat");
  EXPECT_TRUE(QFileInfo::exists(dir + "/copy.dat"));
  QFile old(dir + "/copy.dat");
  old.open(QIODevice::WriteOnly);
  old.write("old");
  old.close();
  form_->Run().SaveTo(dir + "/copy.dat");
  EXPECT_EQ(QFileInfo(dir + "/copy.dat").size(), QFileInfo(QString::fromStdString(form_->Run().DataFilePath())).size());
  // Saving onto the data file itself keeps it whole.
  const qint64 size = QFileInfo(QString::fromStdString(form_->Run().DataFilePath())).size();
  form_->Run().SaveTo(QString::fromStdString(form_->Run().DataFilePath()));
  EXPECT_EQ(QFileInfo(QString::fromStdString(form_->Run().DataFilePath())).size(), size);
}

TEST_F(MainWindowTest, SaveSaysInTheStatusBarWhereItSaved) {
  Check();
  form_->StartClicked();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  const QString dir = folders_.Documents() + "/out.dir";
  QDir().mkpath(dir);
  QToolButton* save = form_->Button(ui::Button::Save);
  ASSERT_TRUE(save->isEnabled());
  const auto click = [&](const QString& answer) {
    files_.dataSaveAnswers.push_back(answer);
    QTest::mouseClick(save, Qt::LeftButton, {}, save->rect().center());
  };

  click(dir + "/copy");
  EXPECT_EQ(form_->statusBar()->currentMessage(), "Saved to " + QDir::toNativeSeparators(dir + "/copy.txt"));
  EXPECT_TRUE(QFileInfo::exists(dir + "/copy.txt"));

  // A folder that is not there: a warning, and the status bar claims nothing.
  form_->statusBar()->clearMessage();
  const size_t before = boxes_.Boxes().size();
  click(dir + "/missing/copy.txt");
  ASSERT_EQ(boxes_.Boxes().size(), before + 1);
  EXPECT_EQ(boxes_.Boxes().back().kind, base::BoxKind::Warning);
  EXPECT_TRUE(boxes_.Texts().back().starts_with("The data could not be saved to ")) << boxes_.Texts().back();
  EXPECT_TRUE(form_->statusBar()->currentMessage().isEmpty());

  // A cancelled dialog says nothing either.
  click("");
  EXPECT_TRUE(form_->statusBar()->currentMessage().isEmpty());
  EXPECT_EQ(boxes_.Boxes().size(), before + 1);
}

TEST_F(MainWindowTest, IntervalControls) {
  QLineEdit* edit = form_->IntervalEdit();
  QSlider* track = form_->IntervalSlider();
  const QString point = QLocale::system().decimalPoint();
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, "0");
  EXPECT_EQ(track->value(), 20) << "a lone 0 changes nothing";
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(track->value(), 5);
  EXPECT_EQ(edit->text(), "0" + point + "5");

  edit->clear();
  QTest::keyClicks(edit, "1a2");
  EXPECT_EQ(edit->text(), "12") << "a letter is discarded";
  EXPECT_EQ(track->value(), 120);

  QTest::keyClicks(edit, "0");  // 120 s
  EXPECT_EQ(track->value(), 990);
  EXPECT_EQ(edit->text(), "99");

  track->setValue(15);
  EXPECT_EQ(edit->text(), "1" + point + "5");
  edit->setText("x");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(boxes_.Texts().back(), "'x' is not a valid floating point value");
  EXPECT_EQ(track->value(), 15);
}

TEST_F(MainWindowTest, IntervalChangesReachTheRunningPoller) {
  form_->IntervalSlider()->setValue(35);
  Check();
  form_->StartClicked();
  EXPECT_EQ(form_->Run().PollInterval(), 3500);
  form_->IntervalSlider()->setValue(990);
  EXPECT_EQ(form_->Run().PollInterval(), 99000);
  form_->IntervalEdit()->setFocus();
  form_->IntervalEdit()->clear();
  QTest::keyClicks(form_->IntervalEdit(), "7");
  EXPECT_EQ(form_->Run().PollInterval(), 7000);
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  EXPECT_EQ(form_->Run().PollInterval(), 0);
  form_->IntervalSlider()->setValue(50);  // only what the next Start hands over
  form_->StartClicked();
  EXPECT_EQ(form_->Run().PollInterval(), 5000);
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
}

TEST_F(MainWindowTest, MenuAndModeGroupStayInStep) {
  form_->ShowAdvancedMode();
  EXPECT_EQ(form_->ModeIndex(), 1);
  EXPECT_TRUE(form_->advancedMode);
  EXPECT_EQ(form_->TableModel()->columnCount(), 12);
  QStringList headers;
  for (int c = 0; c < 12; ++c)
    headers << form_->TableModel()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  EXPECT_EQ(headers.join(",").toStdString(), "N,Time,Conc,Status,Temp,St,Um,Ur,S,Stz,Stzkt,Conc1");
  form_->ShowBasicMode();
  EXPECT_EQ(form_->ModeIndex(), 0);
  EXPECT_EQ(form_->TableModel()->columnCount(), 4);
}

// Each toolbar button and menu entry opens its own window, modally, and the main window lives on after it.
TEST_F(MainWindowTest, ButtonsOpenTheirWindows) {
  Check();
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StartClicked();
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();  // Comm, Calibrate and send are offered after a run
  const std::vector<std::pair<std::function<void()>, QString>> cases = {
      {[&] { form_->Button(ui::Button::Console)->click(); }, "Send Command"},
      {[&] { form_->Button(ui::Button::Calibrate)->click(); }, "Calibration"},
      {[&] { form_->Button(ui::Button::Send)->click(); }, "Send info to support"},
      {[&] { form_->SettingsClicked(); }, "Mail configuration"},
      {[&] { form_->SearchClicked(); }, "Master search the connected controller"},
  };
  for (const auto& [open, title] : cases) {
    QString seen;
    QTimer::singleShot(300, [&] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        seen = dialog->windowTitle();
        dialog->reject();
      }
    });
    open();
    EXPECT_EQ(seen, title);
    EXPECT_FALSE(QApplication::activeModalWidget()) << title.toStdString();
  }
  EXPECT_TRUE(form_->isVisible());
}

// A folder in the file's place: unreadable, also for root.
void MakeCriteriaUnreadable(const Folders& folders) {
  ASSERT_TRUE(QFile::remove(folders.Program() + "/criteria.ini"));
  ASSERT_TRUE(QDir().mkdir(folders.Program() + "/criteria.ini"));
}

TEST_F(MainWindowTest, StartEndsAfterAnUnreadableCriteriaFile) {
  Check();
  MakeCriteriaUnreadable(folders_);
  const V before = Enabled();
  boxes_.Clear();
  form_->StartClicked();
  ASSERT_EQ(boxes_.Texts().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Error);
  EXPECT_FALSE(form_->Run().Running()) << "no run on default values";
  EXPECT_FALSE(form_->Chart()->HasSeries());
  EXPECT_EQ(Enabled(), before);

  // The same box as at program start.
  base::ScriptedMessageBoxes atStart;
  identify::testing::MemoryPortStore store({identify::PortStore::Status::Missing, 0});
  MainWindow second(folders_.Deps(&atStart, &store));
  second.show();
  ASSERT_FALSE(atStart.Texts().empty());
  EXPECT_EQ(atStart.Texts()[0], boxes_.Texts()[0]);
  EXPECT_EQ(boxes_.Texts()[0].rfind("The criteria file ", 0), 0u) << boxes_.Texts()[0];
}

TEST_F(MainWindowTest, StartReReadsTheCriteriaFile) {
  Check();
  form_->StartClicked();
  EXPECT_EQ(config::criteriaSettings.zeroCriterion, 10);
  EXPECT_EQ(config::criteriaSettings.supportMail, "");
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
  QFile criteria(folders_.Program() + "/criteria.ini");
  ASSERT_TRUE(criteria.open(QIODevice::WriteOnly | QIODevice::Truncate));
  criteria.write("kzero2=77\r\nkscale=50\r\nmailsupport=lab@example.com\r\ndelay=20\r\nmode=0\r\n");
  criteria.close();
  form_->StartClicked();
  EXPECT_TRUE(form_->Run().Running());
  EXPECT_EQ(config::criteriaSettings.zeroCriterion, 77);
  EXPECT_EQ(config::criteriaSettings.supportMail, "lab@example.com");
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  form_->StopClicked();
}

TEST(MainWindowStart, ModeOneInTheCriteriaOpensAdvanced) {
  Folders folders("delay=50\r\nmode=1\r\n");
  base::ScriptedMessageBoxes boxes;
  identify::testing::MemoryPortStore store({identify::PortStore::Status::Missing, 0});
  MainWindow form(folders.Deps(&boxes, &store));
  EXPECT_EQ(form.TableModel()->columnCount(), 4);
  form.show();
  EXPECT_EQ(form.TableModel()->columnCount(), 12);
  EXPECT_EQ(form.IntervalSlider()->value(), 50);
  EXPECT_TRUE(QDir(folders.SaveFolder()).exists());
  EXPECT_EQ(form.saveFolder, (folders.SaveFolder() + "/").toStdString());
  form.IntervalSlider()->setValue(75);
  form.ShowBasicMode();
  form.close();
  EXPECT_TRUE(boxes.Texts().empty()) << "closing without a run asks nothing";
  QFile criteria(folders.Program() + "/criteria.ini");
  ASSERT_TRUE(criteria.open(QIODevice::ReadOnly));
  EXPECT_EQ(criteria.readAll(), QByteArray("delay=75\r\nmode=0\r\n"));
}

TEST(MainWindowStart, MissingCriteriaFileClosesTheWindow) {
  Folders folders;
  QFile::remove(folders.Program() + "/criteria.ini");
  base::ScriptedMessageBoxes boxes;
  identify::testing::MemoryPortStore store({identify::PortStore::Status::Missing, 0});
  MainWindow form(folders.Deps(&boxes, &store));
  form.show();
  EXPECT_EQ(boxes.Texts().size(), 1u);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 3000));
}

// The main window with the real message boxes: what a key or the close box does to "Save Date to file?".
class QuestionAtStopAndCloseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::SetTimeScale(0.1);
    sim::SimSensor::Options options;
    options.args = {"--serial", "102345", "--firmware", "QRN-2.14"};
    sensor_ = std::make_unique<sim::SimSensor>(options);
    ports_ = std::make_unique<sim::ScopedPortDir>(sensor_->PortDir());
    form_ = std::make_unique<MainWindow>(folders_.Deps(nullptr, &store_));
    form_->show();
    form_->CheckSensorClicked();
    ASSERT_EQ(form_->identity.serialNumber, "102345");
    QTest::mouseClick(form_->Button(Button::Start), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 1; }, kWaitMs));
    file_ = QString::fromStdString(form_->Run().DataFilePath());
  }
  void TearDown() override {
    form_.reset();
    base::SetTimeScale(1.0);
  }

  // Once "Save Date to file?" is open: Escape, then a close request as the title bar's close box sends; whether
  // the box and the main window were still there after them; then the given button.
  void AnswerAfterEscapeAndClose(QMessageBox::StandardButton answer) {
    QTimer::singleShot(0, [this, answer] {
      ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }));
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      text_ = box->text();
      QTest::keyClick(box, Qt::Key_Escape);
      box->windowHandle()->close();
      stayed_ = box->isVisible() && form_->isVisible() && QFileInfo::exists(file_);
      QTest::mouseClick(box->button(answer), Qt::LeftButton);
    });
  }

  Folders folders_;
  identify::testing::MemoryPortStore store_{{identify::PortStore::Status::Found, 7}};
  std::unique_ptr<sim::SimSensor> sensor_;
  std::unique_ptr<sim::ScopedPortDir> ports_;
  std::unique_ptr<MainWindow> form_;
  QString file_;
  QString text_;
  bool stayed_ = false;
};

TEST_F(QuestionAtStopAndCloseTest, EscapeAndTheCloseBoxAtStopKeepTheFile) {
  AnswerAfterEscapeAndClose(QMessageBox::Yes);
  QTest::mouseClick(form_->Button(Button::Stop), Qt::LeftButton);
  EXPECT_EQ(text_, "Save Date to file?");
  EXPECT_TRUE(stayed_);
  EXPECT_FALSE(form_->Run().Running());
  EXPECT_TRUE(QFileInfo::exists(file_));
  form_->close();
  EXPECT_TRUE(QFileInfo::exists(file_)) << "Yes at Stop keeps the file at exit";
}

TEST_F(QuestionAtStopAndCloseTest, EscapeAndTheCloseBoxAtCloseKeepTheWindowUntilAnswered) {
  AnswerAfterEscapeAndClose(QMessageBox::No);
  form_->windowHandle()->close();
  EXPECT_EQ(text_, "Save Date to file?");
  EXPECT_TRUE(stayed_) << "the window and the file stay while the question is open";
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(QFileInfo::exists(file_)) << "an explicit No deletes it";
}

}  // namespace
}  // namespace quarn::ui::testing
