// Runs on a virtual display with a window manager (ui/tests/desktop-session): the titles the desktop shows
// are read back from the X server, where the platform plugin may have changed what the window was given.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "calibration/CalibrationWizard.h"
#include "console/CommandConsole.h"
#include "identify/PortSearchWizard.h"
#include "support/MailSettingsWindow.h"
#include "support/SupportSendWindow.h"
#include "ui/AppSetup.h"
#include "ui/QtMessageBoxes.h"
#include "ui/tests/MainWindowFixture.h"

namespace quarn::ui::testing {
namespace {

QString Xprop(const QStringList& args) {
  QProcess process;
  process.start("xprop", args);
  process.waitForFinished(5000);
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The quoted value of one text property, as xprop prints it; "<none>" when the window has none.
QString TextProperty(const QString& window, const char* name) {
  const QString line = Xprop({"-id", window, "-notype", name}).trimmed();
  const qsizetype open = line.indexOf('"');
  if (open < 0) return "<none>";
  return line.mid(open + 1, line.lastIndexOf('"') - open - 1);
}

// Every window the window manager manages, by the title it shows. A title whose two properties differ is
// listed with both.
QStringList DesktopTitles() {
  static const QRegularExpression id("0x[0-9a-fA-F]+");
  QStringList titles;
  const QString list = Xprop({"-root", "-notype", "_NET_CLIENT_LIST"});
  for (auto it = id.globalMatch(list.section(':', 1)); it.hasNext();) {
    const QString window = it.next().captured();
    const QString netName = TextProperty(window, "_NET_WM_NAME");
    const QString name = TextProperty(window, "WM_NAME");
    titles << (netName == name ? netName : netName + " | " + name);
  }
  titles.sort();
  return titles;
}

TEST(DesktopTitles, EveryWindowAndBoxShowsItsOwnCaptionAlone) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run through ui/tests/desktop-session";
  QTemporaryDir noPorts;
  qputenv("QUARN_PORT_DIR", noPorts.path().toUtf8());
  Folders folders;
  base::ScriptedMessageBoxes scripted;
  identify::testing::MemoryPortStore store({identify::PortStore::Status::Missing, 0});
  MainWindow form(folders.Deps(&scripted, &store));
  form.show();

  const std::string program = folders.Program().toStdString() + "/";
  console::CommandConsole console(scripted, &form);
  support::MailSettingsWindow mail(program, "ftp.example.com", 21, "", scripted, &form);
  support::SendInputs inputs;
  inputs.programFolder = program;
  support::SupportSendWindow send(std::move(inputs), scripted, &form);
  identify::PortSearchWizard search(scripted, &form);
  calibration::CalibrationWizard calibr("7", scripted, &form);
  for (QWidget* window : std::initializer_list<QWidget*>{&console, &mail, &send, &search, &calibr}) window->show();

  const QStringList expected = {"Calibration",
                                "Mail configuration",
                                "Master search the connected controller",
                                "QUARN Evaluation Software v.1.3",
                                "Send Command",
                                "Send info to support",
                                "Warning"};
  // The real box runs its own loop: the titles are read from inside it, then it is closed. A busy machine
  // may take long to map and manage seven windows, so the wait is generous; a match ends it at once.
  QStringList seen;
  QTimer reader;
  reader.setInterval(100);
  int ticks = 0;
  QObject::connect(&reader, &QTimer::timeout, [&] {
    seen = DesktopTitles();
    if (seen == expected || ++ticks > 600) {
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    }
  });
  reader.start();
  QtMessageBoxes boxes(&form);
  boxes.Show(base::BoxKind::Warning, base::BoxButtons::Ok, "Titles");
  reader.stop();
  EXPECT_EQ(seen.join("\n").toStdString(), expected.join("\n").toStdString())
      << "window manager's list: "
      << Xprop({"-root", "-notype", "_NET_CLIENT_LIST", "_NET_SUPPORTING_WM_CHECK"}).toStdString();
}

}  // namespace
}  // namespace quarn::ui::testing

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  quarn::ui::SetUpApplication();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
