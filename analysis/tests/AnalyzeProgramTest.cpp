#include "analysis/AnalyzeProgram.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "acquisition/DataFile.h"
#include "analysis/MarkerFile.h"
#include "analysis/tests/Synthetic.h"

namespace quarn::analysis {
namespace {

using testing::DaysAt;
using testing::FirstOrderStep;
using testing::SyntheticRun;

struct Output {
  int status = 0;
  std::string out;
  std::string err;
};

Output Analyze(const std::vector<std::string>& args, const datafile::ReadOptions& locale = {}) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunAnalyze(args, locale, out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

// The CSV report's three tables, each a header row and its data rows, cells split at the commas (the test's
// labels hold none).
struct Csv {
  std::vector<std::vector<std::string>> statistics;
  std::vector<std::vector<std::string>> responses;
  std::vector<std::vector<std::string>> gaps;
};

Csv ParseCsv(const std::string& text) {
  Csv csv;
  std::vector<std::vector<std::string>>* sections[] = {&csv.statistics, &csv.responses, &csv.gaps};
  size_t section = 0;
  for (const std::string& line : Split(text, '\n')) {
    if (line.empty()) {
      if (!sections[section]->empty() && section + 1 < std::size(sections)) ++section;
      continue;
    }
    sections[section]->push_back(Split(line, ','));
  }
  return csv;
}

double Number(const std::string& cell) {
  EXPECT_FALSE(cell.empty());
  return std::stod(cell);
}

class AnalyzeProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("quarn-analyze-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    dataFile_ = (folder_ / "102345(QRN-2.14) 14-3-2026 8%0.txt").string();
    // One record a second: 100 s at 400 ppm, a step to 1400 ppm with tau 10 s at 100 s, a step back with
    // tau 20 s at 400 s, until 700 s.
    auto conc = [](double t) {
      return t < 400 ? FirstOrderStep(400, 1400, 100, 10)(t) : FirstOrderStep(1400, 400, 400, 20)(t);
    };
    records_ = SyntheticRun(1, 700, conc);
    std::string text = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
    for (const acquisition::MeasurementRecord& r : records_) text += acquisition::DataLine(r, format_);
    std::ofstream(dataFile_, std::ios::binary) << text;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Mark(double seconds, const std::string& label) {
    std::string reason;
    ASSERT_TRUE(
        AppendMarker(MarkerFilePath(dataFile_), acquisition::RecordTimeText(DaysAt(seconds), format_), label, reason))
        << reason;
  }

  acquisition::PlainRegionalFormat format_;
  std::filesystem::path folder_;
  std::string dataFile_;
  std::vector<acquisition::MeasurementRecord> records_;
};

// A run that lost its sensor for 30 s: the gap is listed, and its markers are no gas steps.
TEST_F(AnalyzeProgramTest, GapsAreListedAndTheirMarkersAreNoSteps) {
  Mark(100, "gas on 800 ppm");
  Mark(400, "gas off");
  const Output withoutGap = Analyze({dataFile_, "--csv"});
  std::string text = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
  for (const acquisition::MeasurementRecord& r : records_) {
    if (r.DT <= DaysAt(200) || r.DT >= DaysAt(230)) text += acquisition::DataLine(r, format_);
  }
  std::ofstream(dataFile_, std::ios::binary | std::ios::trunc) << text;
  Mark(200, "connection lost");
  Mark(230, "reconnected after 30 s");

  const Output result = Analyze({dataFile_, "--csv"});
  ASSERT_EQ(result.status, 0) << result.err;
  const Csv csv = ParseCsv(result.out);
  EXPECT_EQ(csv.gaps, (std::vector<std::vector<std::string>>{{"gap_start", "gap_s"}, {"2026-03-14 08:03:20", "30.0"}}));
  ASSERT_EQ(csv.responses.size(), 3u) << "the two gas markers only";
  EXPECT_EQ(csv.responses, ParseCsv(withoutGap.out).responses) << "the gap lies outside the level windows";
  EXPECT_EQ(ParseCsv(withoutGap.out).gaps, (std::vector<std::vector<std::string>>{{"gap_start", "gap_s"}}));

  const Output table = Analyze({dataFile_});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.out.find("\n\ngap_start            gap_s\n2026-03-14 08:03:20   30.0\n"), std::string::npos)
      << table.out;
}

TEST_F(AnalyzeProgramTest, CsvHasTheStatisticsThenTheResponseTimes) {
  Mark(100, "gas on 800 ppm");
  Mark(400, "gas off");
  const Output result = Analyze({dataFile_, "--csv"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out.substr(0, result.out.find('\n')), "series,count,mean,sd,min,max,peak_to_peak,drift_per_hour");
  const Csv csv = ParseCsv(result.out);
  ASSERT_EQ(csv.statistics.size(), 6u);
  const std::vector<std::string> names = {"Conc", "St", "Temp", "Um", "Ur"};
  for (size_t k = 0; k < names.size(); ++k) {
    ASSERT_EQ(csv.statistics[k + 1].size(), 8u);
    EXPECT_EQ(csv.statistics[k + 1][0], names[k]);
    EXPECT_EQ(csv.statistics[k + 1][1], "700");
  }
  const std::vector<std::string>& temp = csv.statistics[3];
  EXPECT_EQ(temp, (std::vector<std::string>{"Temp", "700", "25.00", "0.000", "25", "25", "0", "0.000"}));
  const std::vector<std::string>& conc = csv.statistics[1];
  EXPECT_EQ(conc[4], "400");
  EXPECT_EQ(conc[5], "1400");
  EXPECT_EQ(conc[6], "1000");

  ASSERT_EQ(csv.responses.size(), 3u);
  EXPECT_EQ(csv.responses[0], (std::vector<std::string>{"marker_time", "label", "level_before", "level_after", "T10_s",
                                                        "T50_s", "T90_s", "settled"}));
  const std::vector<std::string>& on = csv.responses[1];
  ASSERT_EQ(on.size(), 8u);
  EXPECT_EQ(on[0], "2026-03-14 08:01:40");
  EXPECT_EQ(on[1], "gas on 800 ppm");
  EXPECT_NEAR(Number(on[2]), 400, 0.01);
  EXPECT_NEAR(Number(on[3]), 1400, 0.01);
  EXPECT_NEAR(Number(on[4]), 10 * std::log(10.0 / 9), 0.1);
  EXPECT_NEAR(Number(on[5]), 10 * std::log(2.0), 0.1);
  EXPECT_NEAR(Number(on[6]), 10 * std::log(10.0), 0.1);
  const std::vector<std::string>& off = csv.responses[2];
  EXPECT_EQ(off[1], "gas off");
  EXPECT_NEAR(Number(off[3]), 400, 0.01);
  EXPECT_NEAR(Number(off[6]), 20 * std::log(10.0), 0.2);
  EXPECT_EQ(on[7], "yes");
  EXPECT_EQ(off[7], "yes");
}

TEST_F(AnalyzeProgramTest, AStepStillRisingAtTheEndOfTheRangeIsNotSettled) {
  Mark(100, "gas on 800 ppm");
  // 80 s after the marker, the rise with tau 10 s still moves over the level window (20 .. 80 s).
  const Output csv = Analyze({dataFile_, "--csv", "--to", "2026-03-14T08:03:00"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  const Csv parsed = ParseCsv(csv.out);
  ASSERT_EQ(parsed.responses.size(), 2u);
  ASSERT_EQ(parsed.responses[1].size(), 8u);
  EXPECT_EQ(parsed.responses[1][7], "no");
  EXPECT_FALSE(parsed.responses[1][6].empty()) << "the time is still given";

  const Output table = Analyze({dataFile_, "--to", "2026-03-14T08:03:00"});
  const std::vector<std::string> lines = Split(table.out, '\n');
  ASSERT_EQ(lines.size(), 10u) << table.out;
  EXPECT_EQ(lines[7].substr(lines[7].size() - 7), "settled");
  EXPECT_EQ(lines[8].substr(lines[8].size() - 2), "no");
  EXPECT_EQ(lines[8].size() - 2, lines[7].size() - 7) << "the last column starts under its header";
}

TEST_F(AnalyzeProgramTest, FromAndToChooseTheRecordsAndTheMarkers) {
  Mark(100, "gas on");
  Mark(400, "gas off");
  // Only the second step: the data file's time text and ISO-8601 alike.
  for (const std::vector<std::string>& range : {std::vector<std::string>{"--from", "2026-03-14 08:05:00"},
                                                std::vector<std::string>{"--from", "2026-03-14T08:05:00"}}) {
    std::vector<std::string> args = {dataFile_, "--csv"};
    args.insert(args.end(), range.begin(), range.end());
    const Output result = Analyze(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const Csv csv = ParseCsv(result.out);
    EXPECT_EQ(csv.statistics[1][1], "400") << "records from 300 s to 699 s";
    ASSERT_EQ(csv.responses.size(), 2u);
    EXPECT_EQ(csv.responses[1][1], "gas off");
  }
  // A range of one record: no deviation, no drift.
  const Output one = Analyze({dataFile_, "--csv", "--from", "2026-03-14T08:00:10", "--to", "2026-03-14 08:00:10"});
  ASSERT_EQ(one.status, 0) << one.err;
  const Csv csv = ParseCsv(one.out);
  EXPECT_EQ(csv.statistics[1], (std::vector<std::string>{"Conc", "1", "400.00", "", "400", "400", "0", ""}));
  EXPECT_EQ(csv.responses.size(), 1u) << "no marker in that second";
}

TEST_F(AnalyzeProgramTest, MarkerTimesAndTheRangeReadTheLocalesMonthNames) {
  std::string reason;
  ASSERT_TRUE(AppendMarker(MarkerFilePath(dataFile_), "14. M\u00e4rz 2026 08:01:40", "gas on", reason)) << reason;
  ASSERT_TRUE(AppendMarker(MarkerFilePath(dataFile_), "14. M\u00e4r. 2026 08:06:40", "gas off", reason)) << reason;
  datafile::ReadOptions german;
  german.shortMonthNames = {"Jan.", "Feb.", "M\u00e4r.", "Apr.", "Mai",  "Juni",
                            "Juli", "Aug.", "Sep.",      "Okt.", "Nov.", "Dez."};
  german.longMonthNames = {"Januar", "Februar", "M\u00e4rz", "April",   "Mai",      "Juni",
                           "Juli",   "August",  "September", "Oktober", "November", "Dezember"};

  const Output withNames = Analyze({dataFile_, "--csv", "--from", "14 Mar 2026 08:00:30"}, german);
  ASSERT_EQ(withNames.status, 0) << withNames.err;
  EXPECT_EQ(withNames.err, "");
  const Csv csv = ParseCsv(withNames.out);
  EXPECT_EQ(csv.statistics[1][1], "670") << "records from 30 s on";
  ASSERT_EQ(csv.responses.size(), 3u);
  EXPECT_EQ(csv.responses[1][0], "14. M\u00e4rz 2026 08:01:40");
  EXPECT_EQ(csv.responses[2][1], "gas off");

  const Output withoutNames = Analyze({dataFile_, "--csv", "--from", "14 Mar 2026 08:00:30"});
  ASSERT_EQ(withoutNames.status, 0) << withoutNames.err;
  EXPECT_NE(withoutNames.err.find("line 1: time \"14. M\u00e4rz 2026 08:01:40\" does not read"), std::string::npos)
      << withoutNames.err;
  EXPECT_EQ(ParseCsv(withoutNames.out).responses.size(), 1u);
}

TEST_F(AnalyzeProgramTest, TableSaysWhereAStepHasNoFigure) {
  Mark(100, "gas on");
  Mark(400, "gas off");
  Mark(700, "zero air");  // after the last record: nothing follows it
  const Output result = Analyze({dataFile_, "--window", "30", "--hold", "3"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> lines = Split(result.out, '\n');
  ASSERT_EQ(lines.size(), 12u) << result.out;
  EXPECT_EQ(lines[0].substr(0, 6), "series");
  EXPECT_EQ(lines[1].substr(0, 4), "Conc");
  EXPECT_EQ(lines[6], "");
  EXPECT_EQ(lines[7].substr(0, 11), "marker_time");
  // Columns line up: numbers end where their header ends.
  EXPECT_EQ(lines[1].find("700") + 3, lines[0].find("count") + 5);
  EXPECT_EQ(lines[9].find("gas off"), lines[7].find("label"));
  EXPECT_EQ(lines[8].find("not reached"), std::string::npos) << lines[8];
  EXPECT_EQ(lines[9].find("not reached"), std::string::npos) << lines[9];
  size_t notReached = 0;
  for (size_t at = lines[10].find("not reached"); at != std::string::npos; at = lines[10].find("not reached", at + 1)) {
    ++notReached;
  }
  EXPECT_EQ(notReached, 3u) << lines[10];
  EXPECT_NE(lines[10].find("  -  "), std::string::npos) << "no level after: " << lines[10];
  EXPECT_EQ(lines[7].substr(lines[7].size() - 7), "settled");
  EXPECT_EQ(lines[8].substr(lines[8].size() - 3), "yes");
  EXPECT_EQ(lines[9].substr(lines[9].size() - 3), "yes");
  EXPECT_EQ(lines[10].substr(lines[10].size() - 2), "no") << "nothing after the marker to settle";
  EXPECT_EQ(Analyze({dataFile_, "--window", "30"}).out, result.out) << "hold 3 is the default";
}

TEST_F(AnalyzeProgramTest, FailuresExitWithOneLine) {
  std::ofstream(folder_ / "empty.txt");
  std::ofstream(folder_ / "foreign.txt") << "hello\r\nworld\r\n";
  // A header block and a line whose date no reading fits.
  std::ofstream(folder_ / "unreadable.txt") << acquisition::HeaderBlock("7", "102345", "QRN-2.14")
                                            << "32.13.2026 17:45:48\t00025\t03032\t01200\t01500\t09780\t09780\t09780"
                                               "\t00317\t00302\t00000\r\n";
  std::ofstream(folder_ / "header-only.txt") << acquisition::HeaderBlock("7", "102345", "QRN-2.14");
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Case> cases = {
      {{(folder_ / "missing.txt").string()}, 1},
      {{(folder_ / "empty.txt").string()}, 1},
      {{(folder_ / "foreign.txt").string()}, 1},
      {{(folder_ / "unreadable.txt").string()}, 1},
      {{folder_.string()}, 1},
      {{}, 2},
      {{dataFile_, "--bogus"}, 2},
      {{dataFile_, "--window"}, 2},
      {{dataFile_, "--window", "0"}, 2},
      {{dataFile_, "--window", "abc"}, 2},
      {{dataFile_, "--hold", "0"}, 2},
      {{dataFile_, "--hold", "2.5"}, 2},
      {{dataFile_, "--from", "yesterday"}, 2},
      {{dataFile_, "--from", "2026-03-14T09:00:00", "--to", "2026-03-14T08:00:00"}, 2},
      {{dataFile_, dataFile_}, 2},
      {{dataFile_, "--csv", "--csv"}, 2},
      {{dataFile_, "--window", "30", "--window", "60"}, 2},
      {{dataFile_, "--run", "0"}, 2},
      {{dataFile_, "--run", "2"}, 2},
  };
  for (const Case& c : cases) {
    const Output result = Analyze(c.args);
    const std::string shown = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(result.status, c.status) << shown;
    EXPECT_EQ(result.out, "") << shown;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << shown << ": " << result.err;
    EXPECT_EQ(result.err.rfind("quarn-analyze: ", 0), 0u) << result.err;
  }
  const Output empty = Analyze({(folder_ / "header-only.txt").string(), "--csv"});
  EXPECT_EQ(empty.status, 0) << "a run stopped before its first record is no fault: " << empty.err;
  EXPECT_NE(empty.out.find("\nConc,0,,,,,,\n"), std::string::npos) << empty.out;

  const Output help = Analyze({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: quarn-analyze FILE"), std::string::npos);
  const Output version = Analyze({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("quarn-analyze ") + QUARN_VERSION + "\n");
}

// Two runs started in the same minute share one file: each is analysed alone with --run, and without it
// the pooled figures come with a note.
TEST_F(AnalyzeProgramTest, RunChoosesOneHeaderBlockAndPoolingIsNoted) {
  std::string second = acquisition::HeaderBlock("7", "102345", "QRN-2.14");
  for (const acquisition::MeasurementRecord& r : SyntheticRun(1, 50, [](double) { return 800.0; })) {
    acquisition::MeasurementRecord later = r;
    later.DT += 800.0 / 86400;
    second += acquisition::DataLine(later, format_);
  }
  std::ofstream(dataFile_, std::ios::app | std::ios::binary) << second;
  Mark(100, "gas on");
  struct Case {
    std::vector<std::string> extra;
    std::string count;
    std::string min;
    std::string max;
    bool note;
    size_t steps;
  };
  const Case cases[] = {{{}, "750", "400", "1400", true, 1},
                        {{"--run", "1"}, "700", "400", "1400", false, 1},
                        {{"--run", "2"}, "50", "800", "800", false, 0}};
  for (const Case& c : cases) {
    std::vector<std::string> args = {dataFile_, "--csv"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Output result = Analyze(args);
    SCOPED_TRACE(c.extra.empty() ? "all" : c.extra[1]);
    ASSERT_EQ(result.status, 0) << result.err;
    const Csv csv = ParseCsv(result.out);
    ASSERT_GE(csv.statistics.size(), 2u);
    EXPECT_EQ(csv.statistics[1][1], c.count);
    EXPECT_EQ(csv.statistics[1][4], c.min);
    EXPECT_EQ(csv.statistics[1][5], c.max);
    EXPECT_EQ(csv.responses.empty() ? 0 : csv.responses.size() - 1, c.steps);
    EXPECT_EQ(result.err.find("holds 2 runs (header blocks at lines 1 706); all are analysed together, --run N takes "
                              "one") != std::string::npos,
              c.note)
        << result.err;
  }
  const Output beyond = Analyze({dataFile_, "--run", "3"});
  EXPECT_EQ(beyond.status, 2);
  EXPECT_EQ(beyond.err, "quarn-analyze: --run 3: " + dataFile_ + " holds 2 runs\n");
}

// Standard output that takes nothing is a failure with its own status, not a quiet success.
TEST_F(AnalyzeProgramTest, FullStandardOutputFails) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{dataFile_}, {"--help"}, {"--version"}}) {
    FILE* pipe = popen((std::string(QUARN_ANALYZE_PATH) + " '" + args[0] + "' 2>&1 >/dev/full").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string printed;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) printed.append(buffer, n);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 4) << args[0];
    EXPECT_EQ(printed, "quarn-analyze: standard output: No space left on device\n") << args[0];
  }
}

TEST_F(AnalyzeProgramTest, BadMarkerLinesAreWarningsAndTheRestIsAnalysed) {
  Mark(100, "gas on");
  std::ofstream(MarkerFilePath(dataFile_), std::ios::app | std::ios::binary)
      << "no tab\r\nnot a time\tgas off\r\n2026-03-14 08:06:40\tgas o";
  const Output result = Analyze({dataFile_, "--csv"});
  ASSERT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("line 2: no TAB"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("line 3: time \"not a time\""), std::string::npos) << result.err;
  const Csv csv = ParseCsv(result.out);
  ASSERT_EQ(csv.responses.size(), 3u) << "the cut last line still names its time";
  EXPECT_EQ(csv.responses[2][1], "gas o");
}

TEST_F(AnalyzeProgramTest, TheProgramPrintsWhatTheFunctionReturns) {
  Mark(100, "gas on");
  const std::string command = std::string(QUARN_ANALYZE_PATH) + " --csv '" + dataFile_ + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string printed;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) printed.append(buffer, n);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(printed, Analyze({dataFile_, "--csv"}).out);

  pipe = popen((std::string(QUARN_ANALYZE_PATH) + " /nonexistent/file.txt 2>/dev/null").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  const int failed = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(failed));
  EXPECT_EQ(WEXITSTATUS(failed), 1);
}

}  // namespace
}  // namespace quarn::analysis
