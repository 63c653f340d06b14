#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTest>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "calibration/CalibrationWizard.h"
#include "link/SerialLink.h"
#include "sim/testing/SimSensor.h"

namespace quarn::calibration {
namespace {

// Records the texts a label had each time it was painted.
class PaintRecorder : public QObject {
 public:
  explicit PaintRecorder(QLabel* label) : label_(label) { label->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == label_ && event->type() == QEvent::Paint) {
      const QString text = label_->text();
      if (texts.isEmpty() || texts.back() != text) texts << text;
    }
    return false;
  }
  QStringList texts;

 private:
  QLabel* label_;
};

class CalibrationWizardTest : public ::testing::Test {
 protected:
  void SetUp() override { base::SetTimeScale(0.05); }
  void TearDown() override { base::SetTimeScale(1.0); }

  std::unique_ptr<CalibrationWizard> OpenForm() {
    auto form = std::make_unique<CalibrationWizard>("7", boxes_);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    return form;
  }
  static QPushButton* Button(CalibrationWizard& form, const char* name) { return form.findChild<QPushButton*>(name); }
  static int PageIndex(CalibrationWizard& form) { return form.findChild<QStackedWidget*>("Page")->currentIndex(); }
  static QStringList PageTexts(CalibrationWizard& form, int index) {
    QStringList texts;
    for (QLabel* label : form.findChild<QStackedWidget*>("Page")->widget(index)->findChildren<QLabel*>()) {
      texts << label->text();
    }
    return texts;
  }
  // The zero step with field 7 at the given value, from page 1.
  void Zero(CalibrationWizard& form, int par7) {
    sensor_.Control("field 7 " + std::to_string(par7));
    Button(form, "bZero")->click();
  }

  sim::SimSensor sensor_{sim::SimSensor::Options{}};
  sim::ScopedPortDir ports_{sensor_.PortDir()};
  base::ScriptedMessageBoxes boxes_;
};

TEST_F(CalibrationWizardTest, PagesTextsAndButtons) {
  auto form = OpenForm();
  EXPECT_EQ(form->windowTitle(), "Calibration");
  EXPECT_EQ(form->portNumber, "7");
  ASSERT_EQ(form->findChildren<QSvgWidget*>().size(), 1);
  EXPECT_TRUE(form->findChild<QSvgWidget*>()->renderer()->isValid());

  EXPECT_EQ(PageIndex(*form), 0);
  EXPECT_TRUE(PageTexts(*form, 0).contains("Welcome to QUARN sensor calibration procedure"));
  EXPECT_FALSE(Button(*form, "bBack")->isVisible());
  EXPECT_TRUE(Button(*form, "bNext")->isVisible());
  EXPECT_TRUE(Button(*form, "bNext")->isEnabled());
  EXPECT_EQ(Button(*form, "bNext")->text(), "Next >>");
  EXPECT_FALSE(Button(*form, "bFinish")->isVisible());

  Button(*form, "bNext")->click();
  EXPECT_EQ(PageIndex(*form), 1);
  EXPECT_EQ(PageTexts(*form, 1), (QStringList{"Step 1",
                                              "Insure that gas chamber filled with ZERO gas and press "
                                              "\u201CZERO\u201D button below",
                                              "Send command \u201CZERO\u201D ", ""}))
      << "the last line shows the gas reading, empty until the first is in";
  EXPECT_EQ(Button(*form, "bZero")->text(), "Send ZERO");
  EXPECT_TRUE(Button(*form, "bZero")->isDefault());
  EXPECT_FALSE(Button(*form, "bBack")->isVisible());
  EXPECT_TRUE(Button(*form, "bNext")->isVisible());
  EXPECT_FALSE(Button(*form, "bNext")->isEnabled());
  EXPECT_TRUE(Button(*form, "bFinish")->isVisible());
  EXPECT_EQ(Button(*form, "bFinish")->text(), "< Finish >");

  const QStringList page2 = PageTexts(*form, 2);
  for (const char* text : {"Step 2", "Please fill gas chamber with SPAN gas. Enter gas concentration below",
                           "Gas concentration", "Send command calibration"}) {
    EXPECT_TRUE(page2.contains(text)) << text;
  }
  auto* field = form->findChild<QLineEdit*>("eCalb");
  EXPECT_EQ(field->text(), "0");
  EXPECT_EQ(field->maxLength(), 4);
  EXPECT_EQ(Button(*form, "bCalb")->text(), "Send");
  EXPECT_TRUE(sensor_.Received().empty()) << "nothing is sent before a step";

  Button(*form, "bFinish")->click();
  EXPECT_FALSE(form->isVisible());
}

TEST_F(CalibrationWizardTest, ZeroCheckAcceptsNineThousandNineHundredNinetyToTenThousandTen) {
  struct Case {
    int par7;
    bool accepted;
  };
  for (const Case& c : {Case{9990, true}, Case{10010, true}, Case{9989, false}, Case{10011, false}}) {
    SCOPED_TRACE(c.par7);
    boxes_.Clear();
    auto form = OpenForm();
    Button(*form, "bNext")->click();
    Zero(*form, c.par7);
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    if (c.accepted) {
      EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Information);
      EXPECT_EQ(boxes_.Texts()[0], "Operation setting to Zero, successfully completed!");
      EXPECT_TRUE(Button(*form, "bNext")->isEnabled());
      EXPECT_EQ(Button(*form, "bNext")->text(), "Next >>");
    } else {
      EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Error);
      EXPECT_EQ(boxes_.Texts()[0], "ZERO FAILED! Please send log file to manufacture!");
      EXPECT_FALSE(Button(*form, "bNext")->isEnabled());
      EXPECT_EQ(Button(*form, "bNext")->text(), "< Finish >");
    }
    EXPECT_EQ(PageIndex(*form), 1);
    EXPECT_NO_THROW(link::OpenPort("COM7", link::kEventRxFlag)->Close()) << "the step closed its port";
  }
  const auto received = sensor_.Received();
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0], "#00ZERO2");
  EXPECT_EQ(received[1], "#00F");
}

TEST_F(CalibrationWizardTest, FailedZeroThenSuccessfulOneLetsNextCloseTheWindow) {
  auto form = OpenForm();
  Button(*form, "bNext")->click();
  Zero(*form, 9000);
  Zero(*form, 10000);
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"ZERO FAILED! Please send log file to manufacture!",
                                                      "Operation setting to Zero, successfully completed!"}));
  EXPECT_TRUE(Button(*form, "bNext")->isEnabled());
  EXPECT_EQ(Button(*form, "bNext")->text(), "< Finish >");
  Button(*form, "bNext")->click();
  EXPECT_FALSE(form->isVisible());
}

TEST_F(CalibrationWizardTest, SpanPageAndBackToTheZeroPage) {
  auto form = OpenForm();
  Button(*form, "bNext")->click();
  Zero(*form, 10000);
  Button(*form, "bNext")->click();
  EXPECT_EQ(PageIndex(*form), 2);
  EXPECT_TRUE(Button(*form, "bBack")->isVisible());
  EXPECT_FALSE(Button(*form, "bNext")->isVisible());
  EXPECT_TRUE(Button(*form, "bFinish")->isVisible());

  auto* field = form->findChild<QLineEdit*>("eCalb");
  auto* progress = form->findChild<QLabel*>("Lprocess");
  field->clear();
  Button(*form, "bCalb")->click();
  EXPECT_EQ(boxes_.Texts().back(), "Input the concentration!");
  sensor_.Control("skip F 3");
  field->setText("1000");
  Button(*form, "bCalb")->click();
  EXPECT_EQ(boxes_.Texts().back(), "Not successful write to the port");
  EXPECT_EQ(progress->text(), "Processing.. ");

  Button(*form, "bBack")->click();
  EXPECT_EQ(PageIndex(*form), 1);
  EXPECT_FALSE(Button(*form, "bBack")->isVisible());
  EXPECT_FALSE(Button(*form, "bNext")->isEnabled());
  Zero(*form, 10000);
  Button(*form, "bNext")->click();
  EXPECT_EQ(PageIndex(*form), 2);
  EXPECT_EQ(progress->text(), "") << "showing the page empties the progress";
}

TEST_F(CalibrationWizardTest, ConcentrationFieldTakesDigitsBackspaceAndEnterOnly) {
  auto form = OpenForm();
  auto* field = form->findChild<QLineEdit*>("eCalb");
  field->clear();
  field->setFocus();
  QTest::keyClicks(field, "a-1.2+b3 ");
  EXPECT_EQ(field->text(), "123");
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "12");
  QTest::keyClick(field, Qt::Key_Return);
  QTest::keyClicks(field, "3456");
  EXPECT_EQ(field->text(), "1234") << "four characters at most";
  EXPECT_TRUE(form->isVisible()) << "Enter did not press a hidden button";
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(CalibrationWizardTest, FullZeroAndSpanCalibrationAtRealTiming) {
  base::SetTimeScale(1.0);
  sensor_.Control("gas 0");
  auto form = OpenForm();
  Button(*form, "bNext")->click();
  Button(*form, "bZero")->click();
  ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{"Operation setting to Zero, successfully completed!"});
  Button(*form, "bNext")->click();

  sensor_.Control("gas 1000");
  auto* field = form->findChild<QLineEdit*>("eCalb");
  auto* progress = form->findChild<QLabel*>("Lprocess");
  PaintRecorder painted(progress);
  field->clear();
  QTest::keyClicks(field, "1000");
  Button(*form, "bCalb")->click();

  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{"Operation setting to Zero, successfully completed!", "CALIBRATION OK"}));
  EXPECT_EQ(Button(*form, "bNext")->text(), "< Finish >");
  EXPECT_FALSE(Button(*form, "bNext")->isVisible());
  EXPECT_EQ(progress->text(), "Processing.. 1234");
  // Each stage was on screen while the window was blocked.
  for (const char* text : {"Processing.. ", "Processing.. 1", "Processing.. 12", "Processing.. 123"}) {
    EXPECT_TRUE(painted.texts.contains(text)) << text << " in " << painted.texts.join("|").toStdString();
  }
  const auto received = sensor_.Received();
  EXPECT_EQ(std::count(received.begin(), received.end(), "#00CALB 1000"), 2);
  EXPECT_EQ(received.front(), "#00ZERO2");

  Button(*form, "bFinish")->click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_NO_THROW(link::OpenPort("COM7", link::kEventRxFlag)->Close());
}

}  // namespace
}  // namespace quarn::calibration
