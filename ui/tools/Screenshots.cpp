// Drives the windows against the simulated sensor on a real display and saves a picture of each step: the
// main window (Check, then a run at 0.5 s and one at 2 s, each in both modes at the default size and maximized),
// the statistics panel after a marked gas step, a run that lost its sensor and found it again, the console with a reply
// in each display mode, the search wizard's three pages, the calibration wizard's pages through a zero and span
// calibration, and the mail settings and send-to-support windows.
// Also a bench: three sensors recorded by quarn-record through a marked gas step, followed in one bench window.
// Usage (see scripts/screenshots): quarn-screenshots OUTPUT_FOLDER [SECONDS_OF_MEASUREMENT]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <QRadioButton>
#include <QSlider>

#include "acquisition/DataFile.h"
#include "acquisition/DateTime.h"
#include "acquisition/SystemRegionalFormat.h"
#include "analysis/MarkerFile.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "calibration/CalibrationWizard.h"
#include "console/CommandConsole.h"
#include "identify/PortSearch.h"
#include "identify/PortSearchWizard.h"
#include "identify/tests/TestDoubles.h"
#include "report/ReportFiles.h"
#include "review/BenchWindow.h"
#include "review/DataFileTexts.h"
#include "sim/testing/SimSensor.h"
#include "support/MailSettingsWindow.h"
#include "support/SupportSendWindow.h"
#include "ui/AppSetup.h"
#include "ui/MainWindow.h"
#include "ui/MarkerDialog.h"
#include "ui/RunControl.h"

using namespace quarn;

namespace {

QString g_out;

void WaitShown(QWidget& window) {
  if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "window not shown\n");
}

void Shot(QWidget& window, const char* name) {
  QTest::qWait(300);
  const QString file = g_out + "/" + name + ".png";
  window.grab().save(file);
  std::printf("%s\n", qPrintable(file));
}

// A main window shown on the simulated sensor, with the program's criteria file and folders of its own.
struct WindowOnSensor {
  QTemporaryDir program;
  base::ScriptedMessageBoxes boxes;
  identify::testing::MemoryPortStore store;
  std::unique_ptr<ui::MainWindow> form;

  explicit WindowOnSensor(sim::SimSensor& sensor) : store({identify::PortStore::Status::Found, sensor.Com()}) {
    QFile::copy(QCoreApplication::applicationDirPath() + "/../bin/criteria.ini", program.path() + "/criteria.ini");
    ui::MainWindowDependencies deps;
    deps.boxes = &boxes;
    deps.portStore = &store;
    deps.programFolder = program.path();
    deps.documentsFolder = program.path() + "/docs";
    form = std::make_unique<ui::MainWindow>(deps);
    form->show();
    WaitShown(*form);
  }
};

// A run of the given length at one sampling interval (slider position, tenths of a second), then the main
// window after Stop in both modes: main-basic-<label>.png and main-advanced-<label>.png.
void MainWindow(sim::SimSensor& sensor, int seconds, int position, const QString& label) {
  WindowOnSensor window(sensor);
  ui::MainWindow& form = *window.form;
  base::ScriptedMessageBoxes& boxes = window.boxes;
  form.IntervalSlider()->setValue(position);
  sensor.Control("gas 400");
  form.CheckSensorClicked();
  if (position == 20) Shot(form, "main-checked");
  // Rows fill the advanced columns only while the advanced mode is on.
  form.ShowAdvancedMode();
  form.StartClicked();
  for (int s = 0; s < seconds; ++s) {
    if (s == seconds / 3) sensor.Control("gas 800");
    if (s == 2 * seconds / 3) sensor.Control("gas 600");
    QTest::qWait(1000);
  }
  form.StopClicked();
  Shot(form, qPrintable("main-advanced-" + label));
  form.ShowBasicMode();
  Shot(form, qPrintable("main-basic-" + label));
  form.ShowAdvancedMode();
  // The same on a 1366 x 768 screen, the window maximized.
  const QSize before = form.size();
  form.showMaximized();
  if (!QTest::qWaitFor([&] { return form.size() != before; }, 5000)) std::fprintf(stderr, "not maximized\n");
  Shot(form, qPrintable("main-advanced-" + label + "-maximized"));
  form.ShowBasicMode();
  Shot(form, qPrintable("main-basic-" + label + "-maximized"));
  form.showNormal();
  if (!QTest::qWaitFor([&] { return form.size() == before; }, 5000)) std::fprintf(stderr, "not restored\n");
  // The whole screen with the window manager's frame: the title as the desktop shows it.
  if (position == 20) QGuiApplication::primaryScreen()->grabWindow(0).save(g_out + "/desktop.png");
  for (const auto& text : boxes.Texts()) std::printf("box: %s\n", text.c_str());
}

// A run at 2 s with "Reconnect automatically" ticked whose cable is pulled while the gas changes, then plugged
// back: the status bar while the sensor is looked for (reconnect-looking.png), and the chart's gap between the
// two markers once the run has resumed (reconnect-gap.png).
void Reconnect(sim::SimSensor& sensor, int seconds) {
  WindowOnSensor window(sensor);
  ui::MainWindow& form = *window.form;
  base::ScriptedMessageBoxes& boxes = window.boxes;
  form.IntervalSlider()->setValue(20);
  sensor.Control("gas 400");
  form.CheckSensorClicked();
  form.ReconnectBox()->click();
  form.StartClicked();
  QTest::qWait(seconds * 1000 / 2);
  sensor.Control("unplug");
  if (!QTest::qWaitFor([&] { return form.Run().Reconnecting(); }, 30000)) std::fprintf(stderr, "not looking\n");
  sensor.Control("gas 800");
  QTest::qWait(12000);
  Shot(form, "reconnect-looking");
  const size_t before = form.Run().Measurements().Count();
  sensor.Control("plug");
  if (!QTest::qWaitFor([&] { return form.Run().Measurements().Count() >= before + size_t(seconds) / 4; }, 120000))
    std::fprintf(stderr, "not resumed\n");
  QTest::qWait(1500);
  Shot(form, "reconnect-gap");
  boxes.QueueAnswer(base::BoxAnswer::Yes);
  form.StopClicked();
  for (const auto& text : boxes.Texts()) std::printf("box: %s\n", text.c_str());
}

// Names the marker the Mark button's dialog asks for.
void Mark(ui::MainWindow& form, const QString& label) {
  form.MarkButton()->click();
  auto* dialog = form.findChild<ui::MarkerDialog*>();
  if (!dialog) {
    std::fprintf(stderr, "no marker dialog\n");
    return;
  }
  dialog->LabelBox()->setEditText(label);
  dialog->accept();
}

// A gas step up and back at 2 s in the basic mode, each step marked as it is made: the main window with the
// markers on the chart and the response times in the statistics panel (evaluation-panel.png), and the data file with
// its markers kept as evaluation.dat for the command line's figures.
void Evaluation(sim::SimSensor& sensor, int seconds) {
  WindowOnSensor window(sensor);
  ui::MainWindow& form = *window.form;
  base::ScriptedMessageBoxes& boxes = window.boxes;
  form.IntervalSlider()->setValue(20);
  sensor.Control("gas 400");
  // The chamber follows a new gas with a time constant of 15 s, as a real one does.
  sensor.Control("tau 15");
  form.CheckSensorClicked();
  form.StartClicked();
  QTest::qWait(seconds * 1000);
  Mark(form, "gas on 800 ppm");
  sensor.Control("gas 800");
  QTest::qWait(seconds * 2500);
  Mark(form, "gas off");
  sensor.Control("gas 400");
  QTest::qWait(seconds * 2500);
  boxes.QueueAnswer(base::BoxAnswer::Yes);
  form.StopClicked();
  sensor.Control("tau 0");
  Shot(form, "evaluation-panel");
  const QString data = QString::fromStdString(form.Run().DataFilePath());
  QFile::remove(g_out + "/evaluation.dat");
  QFile::remove(g_out + "/evaluation.dat.marks.tsv");
  QFile::copy(data, g_out + "/evaluation.dat");
  QFile::copy(data + ".marks.tsv", g_out + "/evaluation.dat.marks.tsv");
  std::printf("%s\n", qPrintable(g_out + "/evaluation.dat"));

  // The evaluation report of that run, its first page as the manual shows it.
  report::ReportRequest request;
  request.files.push_back({data, {}});
  review::SetLocaleMonthNames(request.files.back().reading);
  request.files.back().reading.localeOrder = review::LocaleDateOrder();
  const QString pdf = g_out + "/report.pdf";
  if (const std::optional<std::string> failure = report::WriteReportOfFiles(pdf, request)) {
    std::fprintf(stderr, "report: %s\n", failure->c_str());
  } else {
    QProcess::execute("pdftoppm",
                      {"-png", "-r", "60", "-f", "1", "-l", "1", "-singlefile", pdf, g_out + "/report-page"});
  }
}

// Three sensors with different noise and time constants, each recorded by its own quarn-record at 0.5 s into
// one folder, followed by a bench window while a gas step up and back is made and marked in each recorder's
// marker file: bench-window.png.
void Bench(int seconds, base::ScriptedMessageBoxes& boxes) {
  QTemporaryDir folder;
  std::vector<std::unique_ptr<sim::SimSensor>> sensors;
  std::vector<std::unique_ptr<QProcess>> recorders;
  const double taus[] = {5, 12, 20};
  for (int i = 0; i < 3; ++i) {
    sim::SimSensor::Options options;
    options.com = i + 1;
    options.tau = taus[i];
    options.gas = 400;
    options.args = {"--serial", std::to_string(410001 + i), "--seed", std::to_string(i + 1)};
    if (i != 1) options.args.push_back("--noise");
    sensors.push_back(std::make_unique<sim::SimSensor>(options));
    auto recorder = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUARN_PORT_DIR", QString::fromStdString(sensors.back()->PortDir()));
    recorder->setProcessEnvironment(environment);
    recorder->start(QCoreApplication::applicationDirPath() + "/../bin/quarn-record",
                    {"--port", QString::number(i + 1), "--interval", "0.5", "--quiet", "--out", folder.path()});
    recorders.push_back(std::move(recorder));
  }
  if (!QTest::qWaitFor([&] { return QDir(folder.path()).entryList({"*.txt"}).size() == 3; }, 20000))
    std::fprintf(stderr, "the recorders made no three files\n");
  chart::DialogFileChooser files;
  review::BenchWindow* bench = review::BenchWindow::Follow(folder.path(), boxes, files);
  if (!bench) return;
  bench->resize(1366, 740);
  WaitShown(*bench);
  const acquisition::SystemRegionalFormat regional;
  // Each recorder's marker file gets the change, as a user marking it at each of them would.
  auto mark = [&](const char* label) {
    const std::string time = acquisition::RecordTimeText(acquisition::CurrentDayNumber(), regional);
    std::string reason;
    for (const QString& name : QDir(folder.path()).entryList({"*.txt"}))
      analysis::AppendMarker(analysis::MarkerFilePath(folder.filePath(name).toStdString()), time, label, reason);
  };
  QTest::qWait(seconds * 300);
  mark("gas on 800 ppm");
  for (auto& sensor : sensors) sensor->Control("gas 800");
  QTest::qWait(seconds * 1500);
  mark("gas off");
  for (auto& sensor : sensors) sensor->Control("gas 400");
  QTest::qWait(seconds * 1500);
  Shot(*bench, "bench-window");
  for (auto& recorder : recorders) {
    recorder->terminate();
    recorder->waitForFinished(10000);
  }
  bench->close();
}

// The console: a request in each display mode, then one picked from the command list's text.
void Console(sim::SimSensor& sensor, base::ScriptedMessageBoxes& boxes) {
  console::CommandConsole console(boxes);
  console.portNumber = std::to_string(sensor.Com());
  console.programFolder = (QCoreApplication::applicationDirPath() + "/../bin/").toStdString();
  console.show();
  WaitShown(console);
  auto* entry = console.findChild<QLineEdit*>("eCMD");
  auto* send = console.findChild<QPushButton*>("bSend");
  auto radios = console.findChild<QWidget*>("RG1")->findChildren<QRadioButton*>();
  for (int mode = 0; mode < radios.size(); ++mode) {
    radios[mode]->click();
    entry->setText(mode == 1 ? "SRAL?" : "SREV?");
    send->click();
    QTest::qWait(1500);
  }
  Shot(console, "console");
  console.reject();
}

void SupportWindows(base::ScriptedMessageBoxes& boxes) {
  const std::string folder = (QCoreApplication::applicationDirPath() + "/../bin/").toStdString();
  support::MailSettingsWindow mail(folder, "ftp.example.com", 21, "", boxes);
  mail.show();
  WaitShown(mail);
  Shot(mail, "mail-settings");
  mail.reject();

  support::SendInputs inputs;
  inputs.programFolder = folder;
  inputs.identity = {"7", "102345", "QRN-2.14", "", ""};
  inputs.supportMail = "support@example.com";
  support::SupportSendWindow send(std::move(inputs), boxes);
  send.show();
  WaitShown(send);
  Shot(send, "send");
  send.reject();
}

void Wizards(const std::string& portDir, base::ScriptedMessageBoxes& boxes) {
  identify::PortSearchWizard search(boxes);
  search.address = "00";
  search.show();
  WaitShown(search);
  Shot(search, "search-1");
  search.findChild<QPushButton*>("bNext")->click();
  QTest::qWait(1300);
  Shot(search, "search-2");
  // The converter is plugged in while the wizard watches.
  sim::SimSensor::Options options;
  options.com = 9;
  options.portDir = portDir;
  sim::SimSensor sensor(options);
  auto* page = search.findChild<QStackedWidget*>("Page");
  if (!QTest::qWaitFor([&] { return page->currentIndex() == 2; }, 20000)) {
    std::fprintf(stderr, "the search found nothing\n");
  }
  Shot(search, "search-3");
  search.findChild<QPushButton*>("bNext")->click();
  const base::SensorIdentity result = search.Result();
  std::printf("search: port %s, serial %s\n", result.portNumber.c_str(), result.serialNumber.c_str());

  sensor.Control("gas 0");
  calibration::CalibrationWizard calibr(result.portNumber, boxes);
  calibr.show();
  WaitShown(calibr);
  Shot(calibr, "calibr-1");
  calibr.findChild<QPushButton*>("bNext")->click();
  Shot(calibr, "calibr-2");
  calibr.findChild<QPushButton*>("bZero")->click();
  Shot(calibr, "calibr-2-zeroed");
  calibr.findChild<QPushButton*>("bNext")->click();
  Shot(calibr, "calibr-3");
  sensor.Control("gas 1000");
  auto* field = calibr.findChild<QLineEdit*>("eCalb");
  field->clear();
  QTest::keyClicks(field, "1000");
  calibr.findChild<QPushButton*>("bCalb")->click();
  Shot(calibr, "calibr-3-done");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ui::SetUpApplication();
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [SECONDS_OF_MEASUREMENT]\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  QDir().mkpath(g_out);
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;

  sim::SimSensor::Options options;
  options.args = {"--gas", "400"};
  sim::SimSensor sensor(options);
  sim::ScopedPortDir ports(sensor.PortDir());
  MainWindow(sensor, seconds, 5, "0.5s");
  MainWindow(sensor, seconds, 20, "2s");
  Evaluation(sensor, seconds);
  Reconnect(sensor, seconds);

  base::ScriptedMessageBoxes boxes;
  Bench(seconds, boxes);
  Console(sensor, boxes);
  Wizards(sensor.PortDir(), boxes);
  SupportWindows(boxes);
  for (const auto& text : boxes.Texts()) std::printf("box: %s\n", text.c_str());
  return 0;
}
