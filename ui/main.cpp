#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/AppSetup.h"
#include "ui/MainWindow.h"

namespace {

// quarn-eval [FILE...]: one file opens in a review window beside the main window, several in one bench window;
// --follow DIR opens a bench window on the files being written there.
struct CommandLine {
  QCommandLineParser parser;
  QCommandLineOption help = parser.addHelpOption();
  QCommandLineOption version{"version", "Shows the program's version and ends."};
  QCommandLineOption follow{"follow", "Opens a bench window on the data files being written in DIR.", "DIR"};
  CommandLine() {
    parser.setApplicationDescription("QUARN Evaluation Software: measure, calibrate and review QUARN gas sensors.");
    parser.addOption(version);
    parser.addOption(follow);
    parser.addPositionalArgument("FILE", "A data file to open for review; several open in one bench window.",
                                 "[FILE...]");
  }
};

QStringList Arguments(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// Text written whole to standard output; status 1 with one line on standard error when it did not get there.
int Emit(const QByteArray& text) {
  // A reader that went away shows as a failed write, not as a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  if (std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout) == static_cast<size_t>(text.size()) &&
      std::fflush(stdout) == 0)
    return 0;
  std::fprintf(stderr, "quarn-eval: standard output: %s\n", std::strerror(errno));
  return 1;
}

// Where the window would go: the platform Qt is told to use, or the desktop session's display.
bool HaveDisplay() {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
#if defined(Q_OS_LINUX)
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
  return true;
#endif
}

// While the window system is being opened, Qt's own lines about its plugins are held back; a failure to open
// it becomes one line and status 1 instead of Qt's abort.
void WindowSystemMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "quarn-eval: cannot open the display%s: no window system to show the window in\n",
                 qEnvironmentVariableIsEmpty("DISPLAY") ? "" : qPrintable(" " + qEnvironmentVariable("DISPLAY")));
    std::fflush(stderr);
    std::_Exit(1);
  }
  if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) return;
  std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}

}  // namespace

int main(int argc, char* argv[]) {
  // Help, the version and wrong options are answered before any window system is needed.
  {
    CommandLine line;
    if (!line.parser.parse(Arguments(argc, argv))) {
      std::fprintf(stderr, "quarn-eval: %s (see quarn-eval --help)\n", qUtf8Printable(line.parser.errorText()));
      return 2;
    }
    if (line.parser.isSet(line.help)) {
      QCoreApplication core(argc, argv);
      QCoreApplication::setApplicationName("quarn-eval");
      return Emit(line.parser.helpText().toUtf8() + "\nThe manual: Help in the window (F1), or man quarn-eval.\n");
    }
    if (line.parser.isSet(line.version)) return Emit(QByteArray("quarn-eval ") + QUARN_VERSION + "\n");
  }
  if (!HaveDisplay()) {
    std::fputs(
        "quarn-eval: no display (DISPLAY is not set): start it in a desktop session; quarn-record and "
        "quarn-analyze need none\n",
        stderr);
    return 1;
  }

  const QtMessageHandler previous = qInstallMessageHandler(WindowSystemMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(previous);
  quarn::ui::SetUpApplication();
  QCoreApplication::setApplicationVersion(QUARN_VERSION);
  CommandLine line;
  line.parser.parse(QCoreApplication::arguments());
  quarn::ui::MainWindow window;
  window.show();
  const QStringList files = line.parser.positionalArguments();
  if (!files.isEmpty()) QTimer::singleShot(0, &window, [&window, files] { window.OpenDataFiles(files); });
  if (line.parser.isSet(line.follow)) {
    const QString folder = line.parser.value(line.follow);
    QTimer::singleShot(0, &window, [&window, folder] { window.FollowFolder(folder); });
  }
  return app.exec();
}
