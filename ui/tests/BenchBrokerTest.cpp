#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <qcustomplot.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <filesystem>
#include <memory>

#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/MeasurementChart.h"
#include "datafile/DateReading.h"
#include "identify/tests/TestDoubles.h"
#include "publish/FileRecords.h"
#include "publish/testing/Mosquitto.h"
#include "recorder/tests/RecorderProcess.h"
#include "review/BenchWindow.h"
#include "sim/testing/SimSensor.h"
#include "ui/MainWindow.h"
#include "ui/tests/MainWindowFixture.h"
#include "ui/tests/ReviewTestSupport.h"

namespace quarn::ui::testing {
namespace {

using recorder::testing::RecorderProcess;
using recorder::testing::RunToEnd;

constexpr int kLongWaitMs = 60000;
constexpr const char* kPrefix = "lab/bench";

// The main window, a broker of the test's own that is not started yet, and recorders on simulated sensors
// that publish to it.
class BenchBrokerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-bench-broker-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/broker");
    std::filesystem::create_directories(dir_ + "/out");
    broker_ = std::make_unique<publish::testing::MosquittoBroker>(dir_ + "/broker");
    MainWindowDependencies deps = folders_.Deps(&boxes_, &ports_);
    deps.files = &files_;
    form_ = std::make_unique<MainWindow>(deps);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  void TearDown() override {
    form_.reset();
    recorders_.clear();
    sensors_.clear();
    broker_.reset();
    std::filesystem::remove_all(dir_);
  }
  std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(broker_->Port()) + "/" + kPrefix; }
  std::string Serial(int com) const { return std::to_string(500000 + com); }

  RecorderProcess& StartRecorder(int com) {
    sim::SimSensor::Options options;
    options.com = com;
    options.args = {"--serial", Serial(com), "--firmware",       "QRN-3.0" + std::to_string(com),
                    "--noise",  "--seed",    std::to_string(com)};
    sensors_.push_back(std::make_unique<sim::SimSensor>(options));
    RecorderProcess::Options recorder;
    recorder.args = {"--port",      std::to_string(com), "--interval", "0.5", "--out",
                     dir_ + "/out", "--quiet",           "--publish",  Url()};
    recorder.portDir = sensors_.back()->PortDir();
    recorders_.push_back(std::make_unique<RecorderProcess>(recorder));
    return *recorders_.back();
  }
  // The sensor's index in the window; -1 before it joined.
  static int SensorOf(const review::BenchWindow& bench, const std::string& serial) {
    const auto index = bench.BrokerFollowed()->Find(serial);
    return index ? static_cast<int>(*index) : -1;
  }
  // The records of the sensor's data file, by seq (its only run): index i is seq i + 1.
  std::vector<publish::NumberedRecord> FileRecords(const std::string& serial) const {
    std::vector<publish::NumberedRecord> records;
    for (const std::string& file : publish::SensorDataFiles(dir_ + "/out", serial)) {
      publish::ReadRecordsAfter(file, 0, datafile::DateOrder::YearMonthDay, [&](const publish::NumberedRecord& r) {
        records.push_back(r);
        return true;
      });
    }
    return records;
  }
  // The window's records of the sensor equal the file's of the same seq: values, and the time to the second
  // the file keeps.
  void ExpectShownAsPublished(const review::BenchWindow& bench, const std::string& serial) {
    SCOPED_TRACE(serial);
    const int sensor = SensorOf(bench, serial);
    ASSERT_GE(sensor, 0);
    const auto shown = bench.BrokerFollowed()->Sensor(static_cast<size_t>(sensor)).Store().ReadFrom(0);
    const auto published = FileRecords(serial);
    ASSERT_LE(shown.size(), published.size());
    for (size_t i = 0; i < shown.size(); ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(published[i].seq, i + 1);
      const acquisition::MeasurementRecord& a = shown[i];
      const acquisition::MeasurementRecord& b = published[i].record;
      EXPECT_EQ(std::tie(a.C2, a.S, a.T, a.Uo, a.Ur, a.K), std::tie(b.C2, b.S, b.T, b.Uo, b.Ur, b.K));
      EXPECT_LT(std::abs(a.DT - b.DT) * 86400, 1.0);
    }
    EXPECT_EQ(bench.Chart()->SensorPointCount(sensor), shown.size());
  }

  std::string dir_;
  Folders folders_;
  base::ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore ports_{{identify::PortStore::Status::Found, 7}};
  ScriptedFileChooser files_;
  std::unique_ptr<MainWindow> form_;
  std::unique_ptr<publish::testing::MosquittoBroker> broker_;
  std::vector<std::unique_ptr<sim::SimSensor>> sensors_;
  std::vector<std::unique_ptr<RecorderProcess>> recorders_;
};

// Follow... typed in as a broker URL before the broker runs: the window says it cannot reach it and connects
// once it is there; three recorders' sensors join with their identities, their records as published; one
// stopped cleanly says stopped, one killed is marked offline by the broker's last will.
TEST_F(BenchBrokerTest, ThreeRecordersFollowedThroughABrokerWithTheirIdentitiesAndEnds) {
  FollowThroughDialog(*form_, QString::fromStdString(Url()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form_->BenchWindows().size() == 1; }, kWaitMs));
  review::BenchWindow* bench = form_->BenchWindows().front();
  const QPointer<review::BenchWindow> guard(bench);
  ASSERT_NE(bench->BrokerFollowed(), nullptr);
  EXPECT_TRUE(bench->Following());
  EXPECT_FALSE(bench->findChild<QAction*>("menuExportReport")->isEnabled()) << "no data files to report on";
  auto* state = bench->findChild<QLabel*>("benchBroker");
  ASSERT_NE(state, nullptr);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return state->text().startsWith("Cannot reach the broker mqtt://127.0.0.1:"); }, kWaitMs))
      << state->text().toStdString();
  EXPECT_TRUE(state->isVisible());

  broker_->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return state->text().startsWith("Connected to mqtt://127.0.0.1:"); }, kWaitMs))
      << state->text().toStdString();
  for (int com = 1; com <= 3; ++com) StartRecorder(com);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        if (bench->SensorCount() != 3) return false;
        for (int com = 1; com <= 3; ++com) {
          const int sensor = SensorOf(*bench, Serial(com));
          if (sensor < 0 || bench->BrokerFollowed()->Sensor(static_cast<size_t>(sensor)).Store().Count() < 20)
            return false;
        }
        return true;
      },
      kLongWaitMs));

  // Each sensor's identity where the window shows it: its list entry's tooltip, and the table's label.
  for (int com = 1; com <= 3; ++com) {
    const int sensor = SensorOf(*bench, Serial(com));
    SCOPED_TRACE(sensor);
    EXPECT_EQ(bench->Chart()->SensorLegendText(sensor).toStdString(), Serial(com));
    const QString tip = bench->FileList()->item(sensor)->toolTip();
    EXPECT_TRUE(tip.contains("Firmware: QRN-3.0" + QString::number(com))) << tip.toStdString();
    EXPECT_TRUE(tip.contains("Port: COM" + QString::number(com))) << tip.toStdString();
    const std::string file =
        std::filesystem::path(publish::SensorDataFiles(dir_ + "/out", Serial(com)).back()).filename().string();
    EXPECT_TRUE(tip.contains(QString::fromStdString("Data file: " + file))) << tip.toStdString();
    EXPECT_TRUE(tip.contains("Interval: 0.5 s")) << tip.toStdString();
  }
  // A double click on a legend entry puts the sensor's records in the table, its label naming port and host.
  const int second = SensorOf(*bench, Serial(2));
  QTest::mouseDClick(bench->Chart()->Plot(), Qt::LeftButton, {}, bench->Chart()->SensorLegendRect(second).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return bench->TableSensor() == second; }, kWaitMs));
  const QString label = bench->findChild<QLabel*>("tableSensor")->text();
  EXPECT_TRUE(label.startsWith(QString::fromStdString("Records of " + Serial(2) + " (COM2 on ")))
      << label.toStdString();
  EXPECT_TRUE(label.contains("firmware QRN-3.02")) << label.toStdString();

  // One stopped cleanly: all its records shown, and stopped; one killed: the broker's last will says offline.
  RecorderProcess& stopped = *recorders_[0];
  stopped.Signal(SIGTERM);
  ASSERT_EQ(RunToEnd(stopped), 0) << stopped.Err();
  RecorderProcess& killed = *recorders_[2];
  killed.Signal(SIGKILL);
  RunToEnd(killed);
  const int first = SensorOf(*bench, Serial(1));
  const int third = SensorOf(*bench, Serial(3));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return bench->Chart()->SensorLegendText(first) == QString::fromStdString(Serial(1) + " (stopped)"); },
      kLongWaitMs))
      << bench->Chart()->SensorLegendText(first).toStdString();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return bench->Chart()->SensorLegendText(third) == QString::fromStdString(Serial(3) + " (offline)"); },
      kLongWaitMs))
      << bench->Chart()->SensorLegendText(third).toStdString();
  EXPECT_EQ(bench->Chart()->SensorLegendText(second).toStdString(), Serial(2));
  EXPECT_TRUE(bench->FileList()->item(third)->text().endsWith(", offline"))
      << bench->FileList()->item(third)->text().toStdString();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return bench->BrokerFollowed()->Sensor(static_cast<size_t>(first)).Store().Count() ==
               FileRecords(Serial(1)).size();
      },
      kLongWaitMs));

  recorders_[1]->Signal(SIGTERM);
  ASSERT_EQ(RunToEnd(*recorders_[1]), 0) << recorders_[1]->Err();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return bench->BrokerFollowed()->Sensor(static_cast<size_t>(second)).Store().Count() ==
               FileRecords(Serial(2)).size();
      },
      kLongWaitMs));
  for (int com = 1; com <= 3; ++com) ExpectShownAsPublished(*bench, Serial(com));
  // The killed one: what reached the broker before it died, all of it in order.
  EXPECT_GE(bench->BrokerFollowed()->Sensor(static_cast<size_t>(third)).Store().Count(), 20u);
  EXPECT_TRUE(boxes_.Texts().empty());
  bench->close();
}

// A URL that is no broker URL, or a password over plain mqtt://, gets a box and opens nothing.
TEST_F(BenchBrokerTest, AWrongUrlOrAPasswordInClearIsRefusedWithABox) {
  struct Case {
    QString url;
    QString password;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"mqtt://127.0.0.1", "", "no topic prefix"},
      {"mqtt://user@127.0.0.1/lab", "secret", "a password goes only over mqtts://"},
      {"mqtts://127.0.0.1/lab", "secret", "needs a user"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.toStdString());
    FollowThroughDialog(*form_, c.url, c.password);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.Texts().empty(); }, kWaitMs));
    EXPECT_NE(boxes_.Texts().back().find(c.why), std::string::npos) << boxes_.Texts().back();
    EXPECT_TRUE(form_->BenchWindows().isEmpty());
    boxes_.Clear();
  }
}

}  // namespace
}  // namespace quarn::ui::testing
