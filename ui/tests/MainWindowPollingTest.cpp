#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QTest>

#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

// Stop a run at the fastest setting and Check at once, 20 times: the sensor's own identity every time,
// never a frame still on its way.
TEST_F(MainWindowTest, CheckRightAfterAFastestRunReadsTheSensor) {
  Check();
  QTest::keyClick(form_->IntervalSlider(), Qt::Key_Home);
  ASSERT_EQ(form_->IntervalSlider()->value(), 5) << "0.5 s";
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const size_t answered = sensor_->Requests().answered;
    Click(form_->Button(Button::Start));
    ASSERT_TRUE(form_->Run().Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sensor_->Requests().answered >= answered + 5; }, kWaitMs));
    Click(form_->Button(Button::Stop));
    ASSERT_FALSE(form_->Run().Running());
    Click(form_->Button(Button::CheckSensor));
    EXPECT_EQ(form_->IdentityRow("Serial Number"), "102345");
    EXPECT_EQ(form_->IdentityRow("Firmware rev."), "QRN-2.14");
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
