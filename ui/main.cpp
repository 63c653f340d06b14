#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fstream>
#include <optional>
#include <string>

#include "publish/Subscriber.h"
#include "ui/AppSetup.h"
#include "ui/FollowDialog.h"
#include "ui/MainWindow.h"

namespace {

// quarn-eval [FILE...]: one file opens in a review window beside the main window, several in one bench window;
// --follow DIR opens a bench window on the files being written there, --follow URL on the sensors publishing
// to a broker.
struct CommandLine {
  QCommandLineParser parser;
  QCommandLineOption help = parser.addHelpOption();
  QCommandLineOption version{"version", "Shows the program's version and ends."};
  QCommandLineOption follow{"follow",
                            "Opens a bench window on the data files being written in DIR, or on the sensors "
                            "publishing to an MQTT broker under a prefix: mqtt://[user@]host[:port]/prefix, or "
                            "mqtts://... for TLS (the system's certificate authorities).",
                            "DIR|URL"};
  QCommandLineOption passwordFile{
      "follow-password-file", "The broker password, on the first line of FILE (never on the command line).", "FILE"};
  QCommandLineOption ca{"follow-ca", "Trusts the authorities in the PEM FILE instead of the system's.", "FILE"};
  QCommandLineOption insecure{"follow-insecure", "Lets a password go over plain mqtt:// (in clear)."};
  CommandLine() {
    parser.setApplicationDescription("QUARN Evaluation Software: measure, calibrate and review QUARN gas sensors.");
    parser.addOption(version);
    parser.addOption(follow);
    parser.addOption(passwordFile);
    parser.addOption(ca);
    parser.addOption(insecure);
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

// The broker --follow names, with the password and authorities its options give; nothing, with why, when
// they are wrong or cannot be read.
std::optional<quarn::publish::SubscriberSettings> FollowedBroker(const CommandLine& line, std::string& why) {
  std::optional<std::string> password;
  if (line.parser.isSet(line.passwordFile)) {
    const std::string path = line.parser.value(line.passwordFile).toStdString();
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (!in || !std::getline(in, text)) {
      why = "--follow-password-file: " + path + " cannot be read";
      return std::nullopt;
    }
    if (text.ends_with('\r')) text.pop_back();
    password = text;
  }
  const std::string ca = line.parser.value(line.ca).toStdString();
  if (!ca.empty() && !std::ifstream(ca)) {
    why = "--follow-ca: " + ca + " cannot be read";
    return std::nullopt;
  }
  std::string wrong;
  auto settings = quarn::publish::FollowSettingsOf(line.parser.value(line.follow).toStdString(), password, ca,
                                                   line.parser.isSet(line.insecure), wrong);
  if (!settings) why = "--follow: " + wrong;
  return settings;
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
    const bool broker = quarn::ui::NamesBroker(line.parser.value(line.follow));
    if (!broker &&
        (line.parser.isSet(line.passwordFile) || line.parser.isSet(line.ca) || line.parser.isSet(line.insecure))) {
      std::fputs(
          "quarn-eval: --follow-password-file, --follow-ca and --follow-insecure go with --follow URL (see "
          "quarn-eval --help)\n",
          stderr);
      return 2;
    }
    std::string why;
    if (broker && !FollowedBroker(line, why)) {
      std::fprintf(stderr, "quarn-eval: %s (see quarn-eval --help)\n", why.c_str());
      return 2;
    }
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
    const QString target = line.parser.value(line.follow);
    if (quarn::ui::NamesBroker(target)) {
      std::string why;
      const quarn::publish::SubscriberSettings broker = *FollowedBroker(line, why);
      QTimer::singleShot(0, &window, [&window, broker] { window.FollowBroker(broker); });
    } else {
      QTimer::singleShot(0, &window, [&window, target] { window.FollowFolder(target); });
    }
  }
  return app.exec();
}
