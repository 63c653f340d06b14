// The main window's "Reconnect automatically" against the simulated sensor, in real time: the cable pulled and
// plugged back, another sensor behind the port, Stop and Close while the sensor is looked for, and the box
// unticked.
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QCheckBox>
#include <QFile>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/MarkerFile.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "chart/MeasurementChart.h"
#include "link/SerialPort.h"
#include "review/ReviewWindow.h"
#include "ui/RunControl.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

using namespace std::chrono_literals;

// Long enough for a look at every port and a slow tick with both cores busy.
constexpr int kLongWaitMs = 60000;
const char* const kLimitBox = "Limit of attempts to send commands on port";
const char* const kSaveQuestion = "Save Date to file?";

// Frame field 5 (par5) counts the frames the simulator sends: 1, 2, 3, ...
std::string CounterControl() {
  std::string line = "field 5 ";
  for (int i = 1; i <= 3000; ++i) line += (i > 1 ? "," : "") + std::to_string(i);
  return line;
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  return file.readAll();
}

// The counter of each data line of a data file.
std::vector<int> FileCounters(const std::string& path) {
  std::vector<int> counters;
  for (const QByteArray& line : FileBytes(QString::fromStdString(path)).split('\n')) {
    const QList<QByteArray> fields = line.trimmed().split('\t');
    if (fields.size() == 11) counters.push_back(fields[5].toInt());
  }
  return counters;
}

// Where a chart's concentration line breaks: the times (plot keys) of the points before each NaN.
std::vector<double> BreaksOf(const chart::MeasurementChart& chart) {
  std::vector<double> breaks;
  const auto& data = *chart.Plot()->graph(0)->data();
  for (auto it = data.constBegin(); it != data.constEnd(); ++it) {
    if (std::isnan(it->value) && it != data.constBegin()) breaks.push_back((it - 1)->key);
  }
  return breaks;
}

double PlotKey(double days) { return (days - 25569.0) * 86400.0; }

class WindowReconnect : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimSensor::Options options;
    options.args = {"--serial", "102345", "--firmware", "QRN-2.14"};
    sensor_ = std::make_unique<sim::SimSensor>(options);
    sensor_->Control(CounterControl());
    ports_ = std::make_unique<sim::ScopedPortDir>(sensor_->PortDir());
    OpenWindow();
  }
  void TearDown() override { form_.reset(); }

  void OpenWindow() {
    MainWindowDependencies deps = folders_.Deps(&boxes_, &store_);
    deps.files = &files_;
    form_ = std::make_unique<MainWindow>(deps);
    form_->show();
  }

  // Check, the interval (the fastest, or the criteria file's 2 s), the box as asked, Start: all by the mouse
  // and the keyboard.
  void StartRun(bool fastest, bool reconnect) {
    QTest::mouseClick(form_->Button(Button::CheckSensor), Qt::LeftButton);
    ASSERT_EQ(form_->IdentityRow("Serial Number"), "102345");
    if (fastest) QTest::keyClick(form_->IntervalSlider(), Qt::Key_Home);
    ASSERT_EQ(form_->IntervalSlider()->value(), fastest ? 5 : 20);
    QCheckBox* box = form_->ReconnectBox();
    ASSERT_FALSE(box->isChecked()) << "off unless the user ticks it";
    if (reconnect) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    ASSERT_EQ(box->isChecked(), reconnect);
    QTest::mouseClick(form_->Button(Button::Start), Qt::LeftButton);
    ASSERT_TRUE(form_->Run().Running());
  }
  void ClickStop() { QTest::mouseClick(form_->Button(Button::Stop), Qt::LeftButton); }

  size_t Records() { return form_->Run().Measurements().Count(); }
  bool WaitRecords(size_t count) {
    return QTest::qWaitFor([&] { return Records() >= count; }, kLongWaitMs);
  }
  QString Status() const { return form_->statusBar()->currentMessage(); }
  bool WaitStatus(const QString& part) {
    return QTest::qWaitFor([&] { return Status().contains(part); }, kLongWaitMs);
  }
  // The seconds the status line has counted while looking; -1 when it does not count.
  int LookingSeconds() const {
    const QRegularExpressionMatch match = QRegularExpression("… (\\d+) s$").match(Status());
    return match.hasMatch() ? match.captured(1).toInt() : -1;
  }
  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (const auto& entry : analysis::ReadMarkerFile(analysis::MarkerFilePath(form_->Run().DataFilePath())).entries)
      labels.push_back(entry.label);
    return labels;
  }
  // Pulls the cable and waits for the window to look for the sensor.
  void Unplug() {
    const size_t before = Records();
    ASSERT_TRUE(WaitRecords(before + 3));
    sensor_->Control("unplug");
    ASSERT_TRUE(WaitStatus("Sensor 102345 lost on COM7 at ")) << Status().toStdString();
    EXPECT_TRUE(QRegularExpression("^Sensor 102345 lost on COM7 at \\d\\d:\\d\\d:\\d\\d; looking for it… \\d+ s$")
                    .match(Status())
                    .hasMatch())
        << Status().toStdString();
    EXPECT_TRUE(form_->Run().Reconnecting());
  }

  // The data file holds one header block and, in the order sent, every frame the window stored, none twice;
  // at each gap at most the reply that was on the wire when the cable went is missing.
  void ExpectOneFileWithEveryFrame(size_t gaps) {
    const std::string path = form_->Run().DataFilePath();
    EXPECT_EQ(FileBytes(QString::fromStdString(path)).count("Port: COM7\r\n"), 1) << "one header block";
    const std::vector<int> counters = FileCounters(path);
    ASSERT_FALSE(counters.empty());
    EXPECT_EQ(counters.front(), 1);
    size_t jumps = 0;
    for (size_t i = 1; i < counters.size(); ++i) {
      ASSERT_GT(counters[i], counters[i - 1]) << "line " << i << ": no frame twice";
      ASSERT_LE(counters[i], counters[i - 1] + 2) << "line " << i << ": at most the frame on the wire lost";
      jumps += counters[i] != counters[i - 1] + 1;
    }
    EXPECT_LE(jumps, gaps);
    std::vector<int> stored;
    for (const auto& r : form_->Run().Measurements().ReadFrom(0)) stored.push_back(r.par5);
    EXPECT_EQ(stored, counters) << "what the window holds is what the file holds";
  }

  Folders folders_;
  base::ScriptedMessageBoxes boxes_;
  identify::testing::MemoryPortStore store_{{identify::PortStore::Status::Found, 7}};
  ScriptedFileChooser files_;
  std::unique_ptr<sim::SimSensor> sensor_;
  std::unique_ptr<sim::ScopedPortDir> ports_;
  std::unique_ptr<MainWindow> form_;
};

struct UnplugCase {
  const char* name;
  bool fastest;      // 0.5 s, else 2 s
  const char* plug;  // "plug": a new device node under COM7; "plug 9": COM9
  const char* backOn;
};

void PrintTo(const UnplugCase& c, std::ostream* out) { *out << c.name; }

class WindowUnplugFiveSeconds : public WindowReconnect, public ::testing::WithParamInterface<UnplugCase> {};

// Unplugged for 5 s and plugged back under a new device name: one file, every frame, the two markers, no line
// across the gap in the live chart nor in the review window, and no box until Stop asks to save.
TEST_P(WindowUnplugFiveSeconds, ResumesIntoTheSameFileWithTheGapMarkedAndNotDrawn) {
  const UnplugCase& c = GetParam();
  StartRun(c.fastest, true);
  Unplug();
  const size_t before = Records();
  ASSERT_TRUE(QTest::qWaitFor([&] { return LookingSeconds() >= 5; }, kLongWaitMs)) << Status().toStdString();
  EXPECT_TRUE(boxes_.Texts().empty()) << "no box while looking";
  EXPECT_EQ(Records(), before);
  sensor_->Control(c.plug);
  ASSERT_TRUE(WaitStatus(QString("Sensor 102345 back on %1 after ").arg(c.backOn))) << Status().toStdString();
  ASSERT_TRUE(WaitRecords(before + 3));
  // The second marker comes with the first record after the gap, at the tick that shows it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Labels().size() == 2; }, kLongWaitMs));
  const std::vector<std::string> labels = Labels();
  EXPECT_EQ(labels[0], "connection lost");
  const QRegularExpressionMatch away =
      QRegularExpression("^reconnected after (\\d+) s$").match(QString::fromStdString(labels[1]));
  ASSERT_TRUE(away.hasMatch()) << labels[1];
  EXPECT_GE(away.captured(1).toInt(), 5);
  EXPECT_EQ(form_->Chart()->MarkerCount(), 2);

  // The window shows and remembers the port the sensor came back on: the next Check and Start find it there.
  const QString port = QString(c.backOn).mid(3);
  EXPECT_EQ(form_->IdentityRow("Port"), port);
  EXPECT_EQ(store_.Read().port, port.toInt());

  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  ClickStop();
  EXPECT_FALSE(form_->Run().Running());
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{kSaveQuestion});
  ExpectOneFileWithEveryFrame(1);

  // The records on either side of the gap, and the one break between them.
  const auto records = form_->Run().Measurements().ReadFrom(0);
  size_t after = 1;
  while (after < records.size() && (records[after].DT - records[after - 1].DT) * 86400 < 4) ++after;
  ASSERT_LT(after, records.size()) << "a gap of 5 s or more";
  form_->Run().Tick();
  EXPECT_EQ(BreaksOf(*form_->Chart()), std::vector<double>{PlotKey(records[after - 1].DT)}) << "live";

  form_->OpenDataFiles({QString::fromStdString(form_->Run().DataFilePath())});
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return form_->ReviewWindows().size() == 1 && !form_->ReviewWindows().front()->Loading(); }, kWaitMs));
  const review::ReviewWindow* review = form_->ReviewWindows().front();
  EXPECT_EQ(review->Chart()->MarkerCount(), 2);
  const std::vector<double> breaks = BreaksOf(*review->Chart());
  ASSERT_EQ(breaks.size(), 1u) << "in review";
  // The file keeps whole seconds; records within one are spread over it when read back.
  EXPECT_NEAR(breaks[0], PlotKey(records[after - 1].DT), 1.0);
}

INSTANTIATE_TEST_SUITE_P(Intervals, WindowUnplugFiveSeconds,
                         ::testing::Values(UnplugCase{"HalfSecondNewNode", true, "plug", "COM7"},
                                           UnplugCase{"TwoSecondsNewPortName", false, "plug 9", "COM9"}),
                         [](const ::testing::TestParamInfo<UnplugCase>& info) { return info.param.name; });

// Another sensor behind the port: named in the status line beside the one awaited, never recorded, its port
// left closed between looks; when the run's sensor is back the run resumes into the same file.
TEST_F(WindowReconnect, AnotherSerialNumberIsNamedAndNotRecordedThenTheRightOneResumes) {
  StartRun(false, true);
  Unplug();
  const size_t before = Records();
  sensor_->Control("serial 999999");
  sensor_->Control("plug");
  ASSERT_TRUE(WaitStatus("Sensor 999999 answered on COM7")) << Status().toStdString();
  EXPECT_TRUE(Status().contains("looking for sensor 102345")) << Status().toStdString();
  const size_t looked = sensor_->Received().size();
  ASSERT_TRUE(QTest::qWaitFor([&] { return sensor_->Received().size() >= looked + 8; }, kLongWaitMs));
  const std::vector<std::string> received = sensor_->Received();
  EXPECT_EQ(std::count(received.begin() + static_cast<long>(looked), received.end(), "#00F"), 0) << "no polling";
  EXPECT_EQ(Records(), before);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !link::ProbePort(sensor_->PortLink()); }, kLongWaitMs))
      << "the port is free for other programs between looks";
  EXPECT_TRUE(boxes_.Texts().empty());

  sensor_->Control("serial 102345");
  ASSERT_TRUE(WaitStatus("Sensor 102345 back on COM7")) << Status().toStdString();
  ASSERT_TRUE(WaitRecords(before + 2));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Labels().size() == 2; }, kLongWaitMs));
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  ClickStop();
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{kSaveQuestion});
  ExpectOneFileWithEveryFrame(1);
}

// Stop while looking ends the wait and the run as a run without reconnecting ends after a pulled cable: the
// lost port's box, then the question to save; the file holds every frame and the first marker.
TEST_F(WindowReconnect, StopWhileLookingShowsTheBoxesOfToday) {
  StartRun(true, true);
  Unplug();
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  ClickStop();
  EXPECT_FALSE(form_->Run().Running());
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{kLimitBox, kSaveQuestion}));
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Error);
  EXPECT_FALSE(Status().contains("looking")) << Status().toStdString();
  EXPECT_EQ(form_->Button(Button::Start)->isEnabled(), true);
  ExpectOneFileWithEveryFrame(0);
  EXPECT_EQ(Labels(), std::vector<std::string>{"connection lost"});
}

// Closing the window while looking: it closes, the file is complete, and the ticked box is remembered in the
// criteria file for the next start of the program.
TEST_F(WindowReconnect, CloseWhileLookingEndsTheRunAndTheBoxIsRemembered) {
  StartRun(false, true);
  Unplug();
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  EXPECT_TRUE(form_->close());
  EXPECT_FALSE(form_->Run().Running());
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{kLimitBox, kSaveQuestion}));
  ExpectOneFileWithEveryFrame(0);
  EXPECT_EQ(Labels(), std::vector<std::string>{"connection lost"});
  EXPECT_TRUE(FileBytes(folders_.Program() + "/criteria.ini").contains("\r\nreconnect=1\r\n"));

  OpenWindow();
  EXPECT_TRUE(form_->ReconnectBox()->isChecked());
  // Unticked again and closed: the key says so.
  QCheckBox* box = form_->ReconnectBox();
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
  ASSERT_FALSE(box->isChecked());
  form_->close();
  EXPECT_TRUE(FileBytes(folders_.Program() + "/criteria.ini").contains("\r\nreconnect=0\r\n"));
}

// The box unticked: a pulled cable ends the run as it always did, with the lost port's box at once, no looking
// and no markers; the run does not come back with the sensor; Stop asks to save; the criteria file gets no key.
TEST_F(WindowReconnect, UntickedTheRunEndsAsBefore) {
  StartRun(true, false);
  ASSERT_TRUE(WaitRecords(3));
  sensor_->Control("unplug");
  ASSERT_TRUE(boxes_.WaitForCount(1, std::chrono::milliseconds(kLongWaitMs)));
  EXPECT_EQ(boxes_.Boxes()[0],
            (base::ScriptedMessageBoxes::Box{base::BoxKind::Error, base::BoxButtons::Ok, kLimitBox, true}));
  const size_t heard = sensor_->Received().size();
  sensor_->Control("plug");
  // Three looks' time: a window that reconnects would have asked the sensor who it is by then.
  EXPECT_FALSE(QTest::qWaitFor(
      [&] { return sensor_->Received().size() > heard || form_->Run().Reconnecting() || !Status().isEmpty(); }, 6000))
      << "nobody looks for the sensor; " << Status().toStdString();
  const size_t recorded = Records();
  boxes_.QueueAnswer(base::BoxAnswer::Yes);
  ClickStop();
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{kLimitBox, kSaveQuestion}));
  EXPECT_EQ(Records(), recorded);
  ExpectOneFileWithEveryFrame(0);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(analysis::MarkerFilePath(form_->Run().DataFilePath()))));
  form_->close();
  EXPECT_FALSE(FileBytes(folders_.Program() + "/criteria.ini").contains("reconnect"));
}

}  // namespace
}  // namespace quarn::ui::testing
