#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "identify/tests/TestDoubles.h"
#include "sim/testing/SimSensor.h"
#include "ui/MainWindow.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {

// A program folder holding a criteria file, and a documents folder, both temporary.
class Folders {
 public:
  explicit Folders(const QByteArray& criteria = "kzero2=10\r\nkscale=50\r\ndelay=20\r\nmode=0\r\n") {
    QDir().mkpath(Program());
    QDir().mkpath(Documents());
    QFile file(Program() + "/criteria.ini");
    file.open(QIODevice::WriteOnly);
    file.write(criteria);
  }
  QString Program() const { return root_.path() + "/program"; }
  QString Documents() const { return root_.path() + "/docs"; }
  QString SaveFolder() const { return Documents() + "/Quarn/Save"; }
  QString Settings() const { return root_.path() + "/settings.ini"; }
  MainWindowDependencies Deps(base::MessageBoxes* boxes, identify::PortStore* store) const {
    MainWindowDependencies deps;
    deps.boxes = boxes;
    deps.portStore = store;
    deps.programFolder = Program();
    deps.documentsFolder = Documents();
    deps.settingsFile = Settings();
    return deps;
  }

 private:
  QTemporaryDir root_;
};

// How long QTest::qWaitFor turns the event loop for a condition.
constexpr int kWaitMs = 10000;

// The main window against the simulated sensor on COM7, with the port remembered and time sped up.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::SetTimeScale(0.1);
    sim::SimSensor::Options options = sim::LineAtTimeScale(0.1);
    options.args = {"--serial", "102345", "--firmware", "QRN-2.14"};
    sensor_ = std::make_unique<sim::SimSensor>(options);
    ports_ = std::make_unique<sim::ScopedPortDir>(sensor_->PortDir());
    MainWindowDependencies deps = folders_.Deps(&boxes_, &store_);
    deps.files = &files_;
    form_ = std::make_unique<MainWindow>(deps);
    form_->show();
  }
  void TearDown() override {
    form_.reset();
    base::SetTimeScale(1.0);
  }

  std::vector<bool> Enabled() const {
    std::vector<bool> states;
    for (int i = 0; i < ui::kButtonCount; ++i) states.push_back(form_->Button(ui::Button(i))->isEnabled());
    return states;
  }
  void Check() {
    form_->CheckSensorClicked();
    ASSERT_EQ(form_->identity.serialNumber, "102345");
  }

  Folders folders_;
  base::ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore store_{{identify::PortStore::Status::Found, 7}};
  ScriptedFileChooser files_;
  std::unique_ptr<sim::SimSensor> sensor_;
  std::unique_ptr<sim::ScopedPortDir> ports_;
  std::unique_ptr<MainWindow> form_;
};

}  // namespace quarn::ui::testing
