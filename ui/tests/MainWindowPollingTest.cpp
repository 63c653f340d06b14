#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "console/CommandConsole.h"

#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

// The polls ("#00F") among the requests the sensor took in from index `from` on.
size_t PollsFrom(const std::vector<std::string>& received, size_t from) {
  return static_cast<size_t>(std::count(received.begin() + static_cast<std::ptrdiff_t>(from), received.end(), "#00F"));
}

// The line after Stop, in the sensor's own log: every poll sent was answered into a record, except at most the
// one under way when Stop came, and no poll was sent after the requests that followed Stop. With one request in
// flight, nothing reaches the port after Stop but the rest of that one frame (a frame time at most); and since
// every later request arrived at a sensor with nothing pending (mostPending 1), that frame was out before anyone
// asked again.
void ExpectNothingAfterStopButTheFrameUnderWay(const std::vector<std::string>& received, size_t from, size_t records) {
  const size_t polls = PollsFrom(received, from);
  EXPECT_GE(polls, records);
  EXPECT_LE(polls, records + 1) << "polls sent after Stop, or frames lost";
  ASSERT_GT(received.size(), from);
  EXPECT_NE(received.back(), "#00F") << "a poll after the identity was asked";
}

// Stop a run at the fastest setting and Check at once, 20 times: the sensor's own identity every time,
// never a frame still on its way. Check is off after Stop until Clear, which also forgets the identity shown, so
// each round reads it anew.
TEST_F(MainWindowTest, CheckRightAfterAFastestRunReadsTheSensor) {
  Check();
  QTest::keyClick(form_->IntervalSlider(), Qt::Key_Home);
  ASSERT_EQ(form_->IntervalSlider()->value(), 5) << "0.5 s";
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const size_t answered = sensor_->Requests().answered;
    const size_t seen = sensor_->Received().size();
    Click(form_->Button(Button::Start));
    ASSERT_TRUE(form_->Run().Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sensor_->Requests().answered >= answered + 5; }, kWaitMs));
    Click(form_->Button(Button::Stop));
    ASSERT_FALSE(form_->Run().Running());
    const size_t records = form_->Run().Measurements().Count();
    Click(form_->Button(Button::Clear));
    ASSERT_EQ(form_->IdentityRow("Serial Number"), "");
    ASSERT_TRUE(form_->Button(Button::CheckSensor)->isEnabled());
    Click(form_->Button(Button::CheckSensor));
    EXPECT_EQ(form_->IdentityRow("Serial Number"), "102345");
    EXPECT_EQ(form_->IdentityRow("Firmware rev."), "QRN-2.14");
    // The Check's requests were answered, so the sensor has logged everything before them.
    ExpectNothingAfterStopButTheFrameUnderWay(sensor_->Received(), seen, records);
  }
  const sim::SimSensor::RequestLog log = sensor_->Requests();
  EXPECT_EQ(log.mostPending, 1u);
  EXPECT_EQ(log.lost, 0u);
  for (const std::string& text : boxes_.Texts()) {
    EXPECT_TRUE(text == "Save Date to file?" || text == "Clear comport settings?") << text;
  }
}

QStringList ConsoleLog(const console::CommandConsole& console) {
  return console.findChild<QPlainTextEdit*>("Memo1")->toPlainText().split('\n');
}

// Stop a run at the fastest setting and open the command console at once, 20 times: the console shows nothing
// before it is asked (no frame still on its way), and asked for the serial number it shows the sensor's.
TEST_F(MainWindowTest, ConsoleRightAfterAFastestRunShowsNoStrayFrame) {
  ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/../bin/commands.ini",
                          folders_.Program() + "/commands.ini"));
  Check();
  QTest::keyClick(form_->IntervalSlider(), Qt::Key_Home);
  ASSERT_EQ(form_->IntervalSlider()->value(), 5) << "0.5 s";
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const size_t answered = sensor_->Requests().answered;
    const size_t seen = sensor_->Received().size();
    Click(form_->Button(Button::Start));
    ASSERT_TRUE(form_->Run().Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sensor_->Requests().answered >= answered + 5; }, kWaitMs));
    Click(form_->Button(Button::Stop));
    ASSERT_FALSE(form_->Run().Running());
    const size_t records = form_->Run().Measurements().Count();

    // The console is modal: it is worked from inside its own event loop, as the user would.
    QStringList opened, asked;
    bool done = false;
    QTimer driver;
    driver.setInterval(10);
    QObject::connect(&driver, &QTimer::timeout, [&] {
      auto* console = qobject_cast<console::CommandConsole*>(QApplication::activeModalWidget());
      if (done || !console || !console->isVisible() || !console->ReaderRunning()) return;
      done = true;
      opened = ConsoleLog(*console);
      auto* entry = console->findChild<QLineEdit*>("eCMD");
      entry->setFocus();
      QTest::keyClicks(entry, "SRAL?");
      QTest::keyClick(entry, Qt::Key_Return);
      if (!QTest::qWaitFor([&] { return ConsoleLog(*console).size() >= 4; }, kWaitMs)) ADD_FAILURE() << "no reply";
      asked = ConsoleLog(*console);
      QTest::keyClick(console, Qt::Key_Escape);
    });
    driver.start();
    Click(form_->Button(Button::Console));
    driver.stop();
    ASSERT_TRUE(done) << "the console did not open";
    EXPECT_EQ(opened, QStringList{"Sending:"});
    EXPECT_EQ(asked, (QStringList{"Sending:", "> #00SRAL?", "<< 102345\u240D", ""}));
    ExpectNothingAfterStopButTheFrameUnderWay(sensor_->Received(), seen, records);
  }
  const sim::SimSensor::RequestLog log = sensor_->Requests();
  EXPECT_EQ(log.mostPending, 1u);
  EXPECT_EQ(log.lost, 0u);
  for (const std::string& text : boxes_.Texts()) EXPECT_EQ(text, "Save Date to file?");
}

// A sensor that stops answering during a run: the status bar says so, and again when it is back; no box.
TEST_F(MainWindowTest, SilenceShowsInTheStatusBar) {
  Check();
  Click(form_->Button(Button::Start));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->Run().Measurements().Count() >= 2; }, kWaitMs));
  sensor_->Control("silent on");
  QStatusBar* bar = form_->statusBar();
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->currentMessage().contains("silent"); }, kWaitMs));
  EXPECT_TRUE(
      QRegularExpression("^sensor 102345 silent since \\d\\d:\\d\\d:\\d\\d$").match(bar->currentMessage()).hasMatch())
      << bar->currentMessage().toStdString();
  sensor_->Control("silent off");
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->currentMessage().contains("again"); }, kWaitMs));
  EXPECT_TRUE(
      QRegularExpression("^sensor 102345 answering again after \\d+ s$").match(bar->currentMessage()).hasMatch())
      << bar->currentMessage().toStdString();
  EXPECT_TRUE(boxes_.Texts().empty());
  Click(form_->Button(Button::Stop));
}

}  // namespace
}  // namespace quarn::ui::testing
