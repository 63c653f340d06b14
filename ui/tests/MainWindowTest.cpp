#include "ui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSlider>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <algorithm>
#include <string>
#include <vector>

#include "acquisition/DateTime.h"
#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/RecordTable.h"
#include "chart/RecordTableModel.h"
#include "identify/tests/TestDoubles.h"
#include "sim/testing/SimSensor.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui {
namespace {

using identify::PortStore;
using identify::testing::MemoryPortStore;
using ui::Button;

using testing::Folders;

std::vector<bool> EnabledStates(const MainWindow& form) {
  std::vector<bool> states;
  for (int i = 0; i < ui::kButtonCount; ++i) states.push_back(form.Button(Button(i))->isEnabled());
  return states;
}

TEST(MainWindow, CaptionToolbarAndIdentityGrid) {
  base::ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  Folders folders;
  MainWindow form(folders.Deps(&boxes, &store));
  EXPECT_EQ(form.windowTitle(), "QUARN Evaluation Software v.1.3");

  QStringList order;
  auto* toolbar = form.findChild<QToolBar*>("ToolBar1");
  ASSERT_TRUE(toolbar);
  for (QAction* action : toolbar->actions()) {
    if (action->isSeparator()) {
      order << "|";
    } else if (auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(action))) {
      order << button->objectName() + "=" + button->text();
      EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
    }
  }
  EXPECT_EQ(order.join(" ").toStdString(),
            "bSearch=&Search bSens=&Check bClear=C&lear | bStart=S&tart bStop=St&op bCalibr=C&alibrate "
            "bCmd=Co&mm | bSave=Sa&ve bSend=se&nd");

  auto* grid = form.findChild<QTableWidget*>("VLE1");
  ASSERT_TRUE(grid);
  QStringList rows;
  for (int r = 0; r < grid->rowCount(); ++r) rows << grid->item(r, 0)->text();
  EXPECT_EQ(rows.join(",").toStdString(), "Port,Serial Number,Firmware rev.,TYPE CODE,RANGE CODE");

  EXPECT_EQ(EnabledStates(form), (std::vector<bool>{true, true, false, false, false, false, false, false, false}));
}

TEST(MainWindow, SameLeavesAButtonAsItWas) {
  base::ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  Folders folders;
  MainWindow form(folders.Deps(&boxes, &store));
  form.ApplyToolbar(ui::ToolbarColumn::Stop);
  form.ApplyToolbar(ui::ToolbarColumn::Clear);  // Calibrate and Comm stay as Stop left them
  EXPECT_EQ(EnabledStates(form), (std::vector<bool>{true, true, true, false, false, true, true, false, false}));
  form.ApplyToolbar(ui::ToolbarColumn::CheckFailure);  // Comm stays
  EXPECT_EQ(EnabledStates(form), (std::vector<bool>{true, true, true, false, false, false, true, false, false}));
}

TEST(MainWindow, AltCPressesCheck) {
  base::ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  Folders folders;
  MainWindow form(folders.Deps(&boxes, &store));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
  // A mnemonic presses the button with a short animation before it clicks.
  for (int i = 0; i < 200 && boxes.Texts().empty(); ++i) QTest::qWait(10);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Make full search port and sens"});
}

TEST(MainWindow, CheckAgainstTheSimulatedSensorFillsTheGrid) {
  base::SetTimeScale(0.2);
  sim::SimSensor::Options options;
  options.args = {"--serial", "555123", "--firmware", "QRN-2.14", "--type", "IR-CO2", "--range", "0-5000"};
  sim::SimSensor sensor(options);
  sim::ScopedPortDir ports(sensor.PortDir());
  base::ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Found, 7});
  Folders folders;
  MainWindow form(folders.Deps(&boxes, &store));
  form.Button(Button::CheckSensor)->click();
  base::SetTimeScale(1.0);

  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(form.IdentityRow("Port"), "7");
  EXPECT_EQ(form.IdentityRow("Serial Number"), "555123");
  EXPECT_EQ(form.IdentityRow("Firmware rev."), "QRN-2.14");
  EXPECT_EQ(form.IdentityRow("TYPE CODE"), "IR-CO2");
  EXPECT_EQ(form.IdentityRow("RANGE CODE"), "0-5000");
  EXPECT_EQ(EnabledStates(form), (std::vector<bool>{false, false, true, true, false, true, true, false, false}));
}

// The default locale for one test; the system's again afterwards.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) { QLocale::setDefault(QLocale(QString(name))); }
  ~ScopedLocale() { QLocale::setDefault(QLocale::system()); }
};

struct MainWindowOnly {
  base::ScriptedMessageBoxes boxes;
  MemoryPortStore store{{PortStore::Status::Missing, 0}};
  Folders folders;
  std::unique_ptr<MainWindow> form;
  explicit MainWindowOnly(const QFont* font = nullptr) {
    form = std::make_unique<MainWindow>(folders.Deps(&boxes, &store));
    if (font) form->setFont(*font);
    form->show();
  }
};

class TimeColumn : public ::testing::TestWithParam<const char*> {};

// Every time text of the locale fits the column whole, with the table's own font, at the default font and a
// large one; the column is never narrower than 150.
TEST_P(TimeColumn, HoldsTheWidestTimeTextWhole) {
  ScopedLocale locale(GetParam());
  QFont large = QApplication::font();
  large.setPointSizeF(large.pointSizeF() * 1.6);
  for (const QFont* font : {static_cast<const QFont*>(nullptr), static_cast<const QFont*>(&large)}) {
    acquisition::MeasurementStore records;
    MainWindowOnly window(font);
    chart::RecordTableModel& model = *window.form->TableModel();
    for (int month = 1; month <= 12; ++month) {
      for (int hour : {0, 9, 12, 23}) {
        records.Append({acquisition::EncodeDayNumber({2026, month, 27, hour, 47, 58, 999})});
        records.Append({acquisition::EncodeDayNumber({2026, month, 10, hour, 0, 0, 5})});
      }
    }
    model.SetRecords(&records);
    model.ShowRecords(records.Count());
    chart::RecordTable* table = window.form->Table();
    const QFontMetrics metrics(table->View()->font());
    const int margin = table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table->View()) + 1;
    const int width = table->ColumnWidth(1);
    EXPECT_GE(width, 150);
    int widest = 0;
    for (int row = 0; row < model.RecordRows(); ++row) {
      const QString text = model.index(row, 1).data().toString();
      ASSERT_FALSE(text.isEmpty());
      widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    // The view draws the text inside its margins and the grid line.
    EXPECT_GE(width, widest + 2 * margin + 1) << GetParam() << (font ? " large font" : " default font");
    if (font) {
      EXPECT_GT(width, 150) << "a large font needs more than the reference width";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, TimeColumn, ::testing::Values("en_GB", "de_DE", "en_US"));

struct IntervalCase {
  const char* name;
  const char* locale;
  const char* input;
  bool pasted;           // through the clipboard, as a whole
  int position;          // of the slider afterwards, in tenths of a second
  const char* enterBox;  // the box after Enter; "" for none
};

void PrintTo(const IntervalCase& c, std::ostream* out) { *out << c.name; }

class IntervalBox : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalBox, TypedOrPastedTextAndEnter) {
  const IntervalCase& c = GetParam();
  ScopedLocale locale(c.locale);
  MainWindowOnly window;
  QLineEdit* edit = window.form->IntervalEdit();
  edit->setFocus();
  edit->clear();
  if (c.pasted) {
    QGuiApplication::clipboard()->setText(c.input);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  } else {
    QTest::keyClicks(edit, c.input);
  }
  EXPECT_EQ(window.form->IntervalSlider()->value(), c.position);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(window.form->IntervalSlider()->value(), c.position);
  const std::vector<std::string> expected =
      *c.enterBox ? std::vector<std::string>{c.enterBox} : std::vector<std::string>{};
  EXPECT_EQ(window.boxes.Texts(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntervalBox,
    ::testing::Values(
        // Beyond any integer type: the largest interval, not an overflow to the smallest.
        IntervalCase{"TwentyDigits", "en_US", "12345678901234567890", true, 990, ""},
        IntervalCase{"EighteenDigitsDecimalComma", "de_DE", "999999999999999999", true, 990, ""},
        // "1" takes effect as typed; the separator makes the rest no number.
        IntervalCase{"GroupSeparator", "en_US", "1,000", false, 10, "'1,000' is not a valid floating point value"},
        IntervalCase{"DecimalComma", "de_DE", "1,5", false, 15, ""}),
    [](const ::testing::TestParamInfo<IntervalCase>& info) { return std::string(info.param.name); });

TEST(MainWindow, TabLeavesTheIntervalBox) {
  MainWindowOnly window;
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.form.get()));
  QLineEdit* edit = window.form->IntervalEdit();
  edit->setFocus();
  edit->clear();
  QTest::keyClicks(edit, "3");
  QTest::keyClick(edit, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), edit);
  EXPECT_EQ(edit->text(), "3");
  EXPECT_EQ(window.form->IntervalSlider()->value(), 30);
}

// Every control the user can reach in the main window explains itself: resting the mouse on it shows its tooltip.
TEST(MainWindow, EveryControlShowsATooltipUnderTheMouse) {
  base::ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  Folders folders;
  MainWindow form(folders.Deps(&boxes, &store));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  std::vector<QWidget*> controls;
  for (QWidget* w : form.findChildren<QWidget*>()) {
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QSlider*>(w);
    // Qt's own helpers (dock title buttons, a table's corner button) are not ours to explain.
    const bool ours = !w->objectName().isEmpty() && !w->objectName().startsWith("qt_");
    if (control && ours && w->isVisible() && !qobject_cast<QAbstractItemView*>(w->parentWidget()))
      controls.push_back(w);
  }
  std::vector<std::string> names;
  for (QWidget* w : controls) names.push_back(w->objectName().toStdString());
  for (const char* expected : {"bSearch", "bSens",  "bClear", "bStart",    "bStop",   "bCalibr",   "bCmd",
                               "bSave",   "bSend",  "eDeley", "TrackBar1", "RBBasic", "RBAdvance", "CBScroll",
                               "bMark",   "zoomX+", "zoomX-", "zoomY+",    "zoomY-",  "zoomReset"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  for (QWidget* w : controls) {
    SCOPED_TRACE(w->objectName().toStdString());
    EXPECT_FALSE(w->toolTip().isEmpty());
    QTest::mouseMove(w, w->rect().center());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return QToolTip::isVisible() && QToolTip::text() == w->toolTip(); }, testing::kWaitMs));
    QToolTip::hideText();
  }
}

}  // namespace
}  // namespace quarn::ui
