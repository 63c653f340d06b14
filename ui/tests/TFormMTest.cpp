#include "ui/TFormM.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "identify/tests/TestDoubles.h"
#include "ui/tests/MainWindowFixture.h"
#include "link/ScriptedMessageBoxes.h"
#include "link/Timing.h"
#include "sim/testing/SimSensor.h"

namespace quarn::ui {
namespace {

using identify::Button;
using identify::PortStore;
using identify::testing::MemoryPortStore;

using testing::Folders;

std::vector<bool> EnabledStates(const TFormM& form) {
  std::vector<bool> states;
  for (int i = 0; i < identify::kButtonCount; ++i) states.push_back(form.Button(Button(i))->isEnabled());
  return states;
}

TEST(TFormM, CaptionToolbarAndIdentityGrid) {
  ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  Folders folders;
  TFormM form(folders.Deps(&boxes, &store));
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

TEST(TFormM, SameLeavesAButtonAsItWas) {
  ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  Folders folders;
  TFormM form(folders.Deps(&boxes, &store));
  form.ApplyToolbar(identify::ToolbarColumn::Stop);
  form.ApplyToolbar(identify::ToolbarColumn::Clear);  // Calibrate and Comm stay as Stop left them
  EXPECT_EQ(EnabledStates(form), (std::vector<bool>{true, true, true, false, false, true, true, false, false}));
  form.ApplyToolbar(identify::ToolbarColumn::CheckFailure);  // Comm stays
  EXPECT_EQ(EnabledStates(form), (std::vector<bool>{true, true, true, false, false, false, true, false, false}));
}

TEST(TFormM, AltCPressesCheck) {
  ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Missing, 0});
  Folders folders;
  TFormM form(folders.Deps(&boxes, &store));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
  // A mnemonic presses the button with a short animation before it clicks.
  for (int i = 0; i < 200 && boxes.Texts().empty(); ++i) QTest::qWait(10);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Make full search port and sens"});
}

TEST(TFormM, CheckAgainstTheSimulatedSensorFillsTheGrid) {
  link::SetTimeScale(0.2);
  sim::SimSensor::Options options;
  options.args = {"--serial", "555123", "--firmware", "QRN-2.14", "--type", "IR-CO2", "--range", "0-5000"};
  sim::SimSensor sensor(options);
  sim::ScopedPortDir ports(sensor.PortDir());
  ScriptedMessageBoxes boxes;
  MemoryPortStore store({PortStore::Status::Found, 7});
  Folders folders;
  TFormM form(folders.Deps(&boxes, &store));
  form.Button(Button::Sens)->click();
  link::SetTimeScale(1.0);

  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(form.IdentityRow("Port"), "7");
  EXPECT_EQ(form.IdentityRow("Serial Number"), "555123");
  EXPECT_EQ(form.IdentityRow("Firmware rev."), "QRN-2.14");
  EXPECT_EQ(form.IdentityRow("TYPE CODE"), "IR-CO2");
  EXPECT_EQ(form.IdentityRow("RANGE CODE"), "0-5000");
  EXPECT_EQ(EnabledStates(form), (std::vector<bool>{false, false, true, true, false, true, true, false, false}));
}

}  // namespace
}  // namespace quarn::ui
