#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "ui/AppSetup.h"
#include "ui/MainWindow.h"

namespace {

// quarn-eval [FILE...]: each file opens in a review window beside the main window.
struct CommandLine {
  QCommandLineParser parser;
  QCommandLineOption help = parser.addHelpOption();
  QCommandLineOption version{"version", "Shows the program's version and ends."};
  CommandLine() {
    parser.setApplicationDescription("QUARN Evaluation Software: measure, calibrate and review QUARN gas sensors.");
    parser.addOption(version);
    parser.addPositionalArgument("FILE", "A data file to open for review (any number).", "[FILE...]");
  }
};

QStringList Arguments(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Help, the version and wrong options are answered before any window system is needed.
  {
    CommandLine line;
    const bool parsed = line.parser.parse(Arguments(argc, argv));
    if (!parsed || line.parser.isSet(line.help)) {
      QCoreApplication core(argc, argv);
      QCoreApplication::setApplicationName("quarn-eval");
      if (!parsed) std::fprintf(stderr, "quarn-eval: %s\n\n", qUtf8Printable(line.parser.errorText()));
      std::fputs(qUtf8Printable(line.parser.helpText()), parsed ? stdout : stderr);
      return parsed ? 0 : 1;
    }
    if (line.parser.isSet(line.version)) {
      std::printf("quarn-eval %s\n", QUARN_VERSION);
      return 0;
    }
  }

  QApplication app(argc, argv);
  quarn::ui::SetUpApplication();
  QCoreApplication::setApplicationVersion(QUARN_VERSION);
  CommandLine line;
  line.parser.parse(QCoreApplication::arguments());
  quarn::ui::MainWindow window;
  window.show();
  const QStringList files = line.parser.positionalArguments();
  if (!files.isEmpty()) QTimer::singleShot(0, &window, [&window, files] { window.OpenDataFiles(files); });
  return app.exec();
}
