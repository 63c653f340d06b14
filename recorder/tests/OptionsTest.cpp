#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "acquisition/DataFile.h"
#include "acquisition/SystemRegionalFormat.h"
#include "link/SerialPort.h"
#include "recorder/ErrorLineBoxes.h"
#include "recorder/Options.h"
#include "recorder/Recorder.h"
#include "recorder/SaveFolder.h"

namespace quarn::recorder {
namespace {

using namespace std::chrono_literals;

TEST(Interval, HalvesOfASecondFromHalfASecondTo99) {
  struct Case {
    const char* text;
    std::optional<int32_t> ms;
    const char* why;
  };
  const char* kNotANumber = "is not a number of seconds";
  const char* kNotAHalf = "is not a multiple of 0.5 seconds";
  const char* kOutside = "is outside 0.5 to 99 seconds";
  const Case cases[] = {{"2", 2000, ""},          {"0.5", 500, ""},           {"0,5", 500, ""},
                        {".5", 500, ""},          {"99", 99000, ""},          {"1.50", 1500, ""},
                        {"2.5", 2500, ""},        {"1.25", {}, kNotAHalf},    {"0.7", {}, kNotAHalf},
                        {"1.51", {}, kNotAHalf},  {"99.5", {}, kOutside},     {"100", {}, kOutside},
                        {"0", {}, kOutside},      {"-1", {}, kNotANumber},    {"", {}, kNotANumber},
                        {".", {}, kNotANumber},   {"1.2.3", {}, kNotANumber}, {"2s", {}, kNotANumber},
                        {"1e1", {}, kNotANumber}, {"0099", {}, kNotANumber}};
  for (const Case& c : cases) {
    std::string why;
    EXPECT_EQ(ParseIntervalMs(c.text, &why), c.ms) << '"' << c.text << '"';
    EXPECT_EQ(why, c.why) << '"' << c.text << '"';
  }
}

// The poller waits whole seconds, halves to even; the fastest setting stays itself.
TEST(Interval, PollingPeriodIsWholeSecondsExceptTheFastest) {
  const std::pair<int32_t, int32_t> cases[] = {{500, 500},   {1000, 1000}, {1500, 2000},
                                               {2500, 2000}, {3500, 4000}, {98500, 98000}};
  for (const auto& [interval, period] : cases) EXPECT_EQ(PollingPeriodMs(interval), period) << interval;
}

TEST(Duration, UnitsAddUpAndZeroOrGarbageIsRefused) {
  struct Case {
    const char* text;
    std::optional<std::chrono::milliseconds> duration;
  };
  const Case cases[] = {{"2h30m", 2h + 30min},
                        {"90s", 90s},
                        {"1d", 24h},
                        {"45m10s", 45min + 10s},
                        {"600", 600s},
                        {"1h1h", std::nullopt},
                        {"5m1h", std::nullopt},
                        {"1d2h3m4s", 26h + 3min + 4s},
                        {"0", std::nullopt},
                        {"0m", std::nullopt},
                        {"", std::nullopt},
                        {"h", std::nullopt},
                        {"2x", std::nullopt},
                        {"2h30", std::nullopt},
                        {"1.5h", std::nullopt},
                        {"-5m", std::nullopt},
                        {"99999999999999999999s", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(ParseDuration(c.text), c.duration) << '"' << c.text << '"';
}

TEST(Arguments, ReadsEveryOptionInBothForms) {
  std::string error;
  const auto options =
      ParseArguments({"--port", "COM12", "--interval=0,5", "--out", "/data", "--duration", "2h", "-q"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->port, "12");
  EXPECT_EQ(options->intervalMs, 500);
  EXPECT_EQ(options->outDir, "/data");
  EXPECT_EQ(options->duration, std::chrono::milliseconds(2h));
  EXPECT_FALSE(options->count);
  EXPECT_TRUE(options->quiet);
  EXPECT_FALSE(options->identify);

  const auto defaults = ParseArguments({"--serial", "102345"}, error);
  ASSERT_TRUE(defaults) << error;
  EXPECT_EQ(defaults->serial, "102345");
  EXPECT_EQ(defaults->port, "");
  EXPECT_EQ(defaults->intervalMs, 2000);
  EXPECT_EQ(defaults->outDir, "");
  EXPECT_FALSE(defaults->duration || defaults->count || defaults->quiet);
  EXPECT_TRUE(defaults->reconnect) << "a lost sensor is awaited unless asked otherwise";
  EXPECT_FALSE(defaults->reconnectTimeout);

  const auto waiting = ParseArguments({"--port", "7", "--reconnect-timeout=10m"}, error);
  ASSERT_TRUE(waiting) << error;
  EXPECT_TRUE(waiting->reconnect);
  EXPECT_EQ(waiting->reconnectTimeout, std::chrono::milliseconds(10min));
  const auto ending = ParseArguments({"--port", "7", "--no-reconnect"}, error);
  ASSERT_TRUE(ending) << error;
  EXPECT_FALSE(ending->reconnect);

  const auto publishing = ParseArguments(
      {"--port", "7", "--publish", "mqtts://rec@broker/lab", "--publish-ca=ca.pem", "--publish-password-file", "pw"},
      error);
  ASSERT_TRUE(publishing) << error;
  EXPECT_EQ(publishing->publishUrl, "mqtts://rec@broker/lab");
  EXPECT_EQ(publishing->publishCaFile, "ca.pem");
  EXPECT_EQ(publishing->publishPasswordFile, "pw");
  EXPECT_FALSE(publishing->publishInsecure);
  EXPECT_TRUE(ParseArguments({"--port", "7", "--publish", "mqtt://rec:pw@broker/lab", "--publish-insecure"}, error))
      << error;
}

TEST(Arguments, WrongCommandLinesSayWhy) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{}, "give either --port N or --serial SN"},
      {{"--port", "0"}, "--port: \"0\" is no port number (7 or COM7)"},
      {{"--port", "COM07"}, "--port: \"COM07\" is no port number (7 or COM7)"},
      {{"--port"}, "--port needs a value"},
      {{"--serial", "12a"}, "--serial: \"12a\" is no serial number (digits only)"},
      {{"--port", "7", "--interval", "0.4"},
       "--interval: \"0.4\" is not a multiple of 0.5 seconds (0.5, 1, 1.5 ... 99)"},
      {{"--port", "7", "--interval", "0.7"},
       "--interval: \"0.7\" is not a multiple of 0.5 seconds (0.5, 1, 1.5 ... 99)"},
      {{"--port", "7", "--port", "8"}, "--port is given twice"},
      {{"--port", "7", "--interval=1", "--interval", "2"}, "--interval is given twice"},
      {{"--port", "7", "-q", "--quiet"}, "--quiet is given twice"},
      {{"--port", "7", "--serial", "102345"}, "give --port N or --serial SN, not both"},
      {{"--port", "7", "--count", "5", "--duration", "1h"},
       "--count and --duration both end the run: give one of them"},
      {{"--port", "7", "--duration", "1h1h"},
       "--duration: \"1h1h\" is no duration (for example 2h30m, 45m, 90s; each unit once)"},
      {{"--port", "7", "extra"}, "unexpected argument \"extra\""},
      {{"--port", "7", "--count", "0"}, "--count: \"0\" is no number of records from 1"},
      {{"--port", "7", "--duration", "soon"},
       "--duration: \"soon\" is no duration (for example 2h30m, 45m, 90s; each unit once)"},
      {{"--port", "7", "--identify", "--count", "3"},
       "--identify records nothing: --interval, --out, --duration, --count and the reconnect options do not apply"},
      {{"--port", "7", "--identify", "--no-reconnect"},
       "--identify records nothing: --interval, --out, --duration, --count and the reconnect options do not apply"},
      {{"--port", "7", "--no-reconnect", "--reconnect-timeout", "1m"},
       "--no-reconnect and --reconnect-timeout contradict each other: give one of them"},
      {{"--port", "7", "--reconnect-timeout", "0"},
       "--reconnect-timeout: \"0\" is no duration (for example 10m, 90s, 1h; each unit once)"},
      {{"--port", "7", "--no-reconnect=1"}, "--no-reconnect takes no value"},
      {{"--port", "7", "--quiet=yes"}, "--quiet takes no value"},
      {{"--port", "7", "--verbose"}, "unknown option \"--verbose\""},
      {{"--port", "7", "--publish", "http://broker/lab"},
       "--publish: the broker URL does not start with mqtt:// or mqtts:// (mqtt://[user@]host[:port]/prefix or "
       "mqtts://...)"},
      {{"--port", "7", "--publish", "mqtt://rec:pw@broker/lab"},
       "--publish: a password goes only over mqtts:// (TLS); --publish-insecure sends it in clear"},
      {{"--port", "7", "--publish", "mqtt://rec@broker/lab", "--publish-password-file", "pw"},
       "--publish: a password goes only over mqtts:// (TLS); --publish-insecure sends it in clear"},
      {{"--port", "7", "--publish", "mqtts://broker/lab", "--publish-password-file", "pw"},
       "--publish-password-file: the URL names no user (mqtts://user@host/prefix)"},
      {{"--port", "7", "--publish", "mqtts://rec:pw@broker/lab", "--publish-password-file", "pw"},
       "--publish-password-file: the URL has a password already: give it once"},
      {{"--port", "7", "--publish-insecure"},
       "--publish-insecure, --publish-password-file and --publish-ca go with --publish URL"},
      {{"--port", "7", "--identify", "--publish", "mqtt://broker/lab"},
       "--identify records nothing: --publish does not apply"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseArguments(c.args, error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(ErrorLines, BoxTextsBecomeOneLine) {
  EXPECT_EQ(OneLine("Error writing to file \n\rNo space left on device"),
            "Error writing to file: No space left on device");
  EXPECT_EQ(OneLine("Error to open file\n\rCannot open file \"x\". Is a directory"),
            "Error to open file: Cannot open file \"x\". Is a directory");
  EXPECT_EQ(OneLine("a\r\n\r\nb\n"), "a: b");
  EXPECT_EQ(OneLine("plain"), "plain");
}

TEST(ErrorLines, TheFailuresOfARunGiveTheirStatusAndOnlyTheFirstIsPrinted) {
  using acquisition::RunFailure;
  const std::pair<RunFailure, ExitStatus> statuses[] = {{RunFailure::PortBusy, ExitStatus::PortBusy},
                                                        {RunFailure::ConverterGone, ExitStatus::ConverterGone},
                                                        {RunFailure::FolderNotWritable, ExitStatus::FolderNotWritable},
                                                        {RunFailure::WriteFailed, ExitStatus::WriteFailed},
                                                        {RunFailure::NoWakeEvent, ExitStatus::Failed}};
  for (const auto& [failure, status] : statuses) EXPECT_EQ(ExitStatusOf(failure), status);

  // As the run's threads report them: a failure, then its box.
  std::ostringstream err;
  ErrorLineBoxes boxes(err, "COM7");
  boxes.Post(base::BoxKind::Warning, "a warning the run survives");
  EXPECT_FALSE(boxes.Failure());
  for (int line = 0; line < 2; ++line) {
    boxes.Failed(RunFailure::WriteFailed, "written\n\rNo space left on device");
    boxes.Post(base::BoxKind::Warning, "written\n\rNo space left on device");
  }
  boxes.Failed(RunFailure::PortBusy, "busy");
  boxes.Post(base::BoxKind::Error, "busy");
  boxes.Post(base::BoxKind::Warning, "a warning after the failure");
  EXPECT_EQ(boxes.Failure(), ExitStatus::WriteFailed);
  EXPECT_EQ(err.str(),
            "quarn-record: COM7: warning: a warning the run survives\n"
            "quarn-record: COM7: written: No space left on device\n");

  std::ostringstream busy;
  ErrorLineBoxes busyBoxes(busy, "COM7");
  busyBoxes.Failed(RunFailure::PortBusy, "COM7 port is busy");
  busyBoxes.Post(base::BoxKind::Error, "COM7 port is busy");
  EXPECT_EQ(busyBoxes.Failure(), ExitStatus::PortBusy);
  EXPECT_EQ(busy.str(), "quarn-record: COM7 port is busy\n");

  std::ostringstream gone;
  ErrorLineBoxes goneBoxes(gone, "COM7");
  goneBoxes.Failed(RunFailure::ConverterGone, "no sends");
  EXPECT_EQ(gone.str(), "quarn-record: COM7: no sends (ten sends in a row failed: was the converter pulled out?)\n");
}

TEST(Summary, SaysTimeRecordsLostPollsAndFileSize) {
  EXPECT_EQ(SummaryLine(65min + 30s, 1800, 2, 146400), "after 1h05m: 1800 records, 2 lost polls, file 146400 bytes");
  EXPECT_EQ(SummaryLine(59s, 0, 0, 0), "after 0h00m: 0 records, 0 lost polls, file 0 bytes");
  EXPECT_EQ(SummaryLine(50h, 7, 0, 1), "after 50h00m: 7 records, 0 lost polls, file 1 bytes");
}

// The output line is the file's line in UTF-8 with LF: same time text, same five-digit values.
TEST(OutputLine, IsTheDataLineOfTheFile) {
  setenv("LC_ALL", "C", 1);
  const acquisition::SystemRegionalFormat regional;
  const acquisition::MeasurementRecord record{
      acquisition::EncodeDayNumber({2013, 9, 5, 14, 3, 7, 250}), 25, 3100, 1200, 1500, 0, 0, 10000, 0, 65535, 7};
  EXPECT_EQ(OutputLine(record, regional),
            "2013-09-05 14:03:07\t00025\t03100\t01200\t01500\t00000\t00000\t10000\t00000\t65535\t00007\n");
  std::string line = acquisition::DataLine(record, regional);
  ASSERT_GE(line.size(), 2u);
  line.replace(line.size() - 2, 2, "\n");
  EXPECT_EQ(OutputLine(record, regional), line);
  // Within the first second after midnight the column holds only the date, as in the file.
  EXPECT_EQ(OutputLine({acquisition::EncodeDayNumber({2020, 2, 29, 0, 0, 0, 500})}, regional).substr(0, 11),
            "2020-02-29\t");
}

TEST(RegionalFormat, FollowsTheLocaleOfTheEnvironmentAndFallsBackToIso) {
  setenv("LC_ALL", "C", 1);
  const acquisition::LocalDateTime when{2026, 12, 10, 7, 5, 9, 0};
  {
    const acquisition::SystemRegionalFormat regional;
    EXPECT_EQ(regional.ShortDate(when), "2026-12-10");
    EXPECT_EQ(regional.LongTime(when), "07:05:09");
  }
  setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
  {
    const acquisition::SystemRegionalFormat regional;
    EXPECT_EQ(regional.ShortDate(when), "2026-12-10");
  }
  unsetenv("LC_ALL");
}

TEST(SaveFolder, DocumentsFromUserDirsOrHome) {
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "quarn-record-home-test";
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home / ".config");
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultSaveFolder(), home.string() + "/Documents/Quarn/Save/");

  std::ofstream(home / ".config/user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                                 << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                 << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
  EXPECT_EQ(DefaultSaveFolder(), home.string() + "/Dokumente/Quarn/Save/");

  setenv("XDG_CONFIG_HOME", (home / "elsewhere").c_str(), 1);
  EXPECT_EQ(DefaultSaveFolder(), home.string() + "/Documents/Quarn/Save/");
  unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(home);

  // Without a usable home there is no default: the root of the file system is never taken.
  for (const char* value : {"", "/", "relative/home"}) {
    setenv("HOME", value, 1);
    EXPECT_EQ(DefaultSaveFolder(), "") << '"' << value << '"';
  }
  unsetenv("HOME");
  EXPECT_EQ(DefaultSaveFolder(), "");
  setenv("HOME", home.c_str(), 1);

  EXPECT_EQ(WithSeparator("/a/b"), "/a/b/");
  EXPECT_EQ(WithSeparator("/a/b//"), "/a/b/");
  EXPECT_EQ(WithSeparator("/"), "/");
}

}  // namespace
}  // namespace quarn::recorder
