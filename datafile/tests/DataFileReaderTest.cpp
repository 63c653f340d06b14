#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "acquisition/DataFile.h"
#include "datafile/DataFileReader.h"
#include "datafile/tests/TestFormats.h"

namespace quarn::datafile {
namespace {

using acquisition::LocalDateTime;
using acquisition::MeasurementRecord;
using testing::Locale;
using testing::TestFormat;

// Six days around midnight: the 10th to the 15th, so that a day above 12 settles the order.
const LocalDateTime kSettlingStart{2026, 12, 10, 23, 59, 58, 0};
// Days 3 to 4 only: day-first and month-first both read every date.
const LocalDateTime kAmbiguousStart{2026, 11, 3, 22, 0, 0, 0};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size())
    text.replace(pos, from.size(), to);
  return text;
}

struct Expected {
  std::vector<MeasurementRecord> records;  // with their times as the file keeps them
  std::vector<Run> runs;
  size_t skippedLines = 0;
  size_t firstSkippedLine = 0;
  std::string firstSkippedText;
  DateOrder order = DateOrder::DayMonthYear;
  bool settled = true;
  std::string dateReading;  // checked when given
};

struct FileCase {
  const char* name;
  DateOrder localeOrder;
  std::function<std::string(Expected&)> make;  // the file's bytes; fills in what a read must give
  std::array<std::string, 12> localeShortMonths = {};
};

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

std::vector<MeasurementRecord> AsInFile(std::vector<MeasurementRecord> records) {
  for (auto& r : records) r.DT = testing::FileTime(r.DT);
  return records;
}

// One run of records written in locale's format, all of it expected back.
std::function<std::string(Expected&)> OneRun(Locale locale, DateOrder order, const LocalDateTime& start,
                                             int stepSeconds = 90'000 / 40) {
  return [=](Expected& expected) {
    const auto records = testing::Records(start, 200, stepSeconds);
    expected.records = AsInFile(records);
    expected.runs = {{"COM7", "102345", "QRN-2.14", 0, records.size(), 1}};
    expected.order = order;
    return testing::RunText(records, TestFormat(locale));
  };
}

const std::vector<FileCase>& Cases() {
  static const std::vector<FileCase> cases = {
      {"EnGb", DateOrder::DayMonthYear, OneRun(Locale::EnGb, DateOrder::DayMonthYear, kSettlingStart)},
      {"DeDe", DateOrder::DayMonthYear, OneRun(Locale::DeDe, DateOrder::DayMonthYear, kSettlingStart)},
      {"EnUs", DateOrder::MonthDayYear, OneRun(Locale::EnUs, DateOrder::MonthDayYear, kSettlingStart)},
      {"EnUsNarrowSpaceReadUnderADayFirstLocale", DateOrder::DayMonthYear,
       [](Expected& e) {
         const std::string text = OneRun(Locale::EnUsNarrow, DateOrder::MonthDayYear, kSettlingStart)(e);
         e.dateReading = "dates read month-first, although the locale writes them day-first";
         return text;
       }},
      {"IsoDates", DateOrder::MonthDayYear, OneRun(Locale::Iso, DateOrder::YearMonthDay, kSettlingStart)},
      {"TwoDigitYearsAlsoReadYearFirst", DateOrder::DayMonthYear,
       [](Expected& e) {
         // 13.12.26 is also 26 December 2013: only the locale settles it.
         const std::string text = OneRun(Locale::TwoDigitYear, DateOrder::DayMonthYear, kSettlingStart)(e);
         e.settled = false;
         return text;
       }},
      {"CLocaleMonthNamesSettleWhatNumbersWouldNot", DateOrder::MonthDayYear,
       [](Expected& e) {
         // "3 Nov 2026": day-first by the name, although the locale writes month-first.
         const std::string text = OneRun(Locale::C, DateOrder::DayMonthYear, kAmbiguousStart, 60)(e);
         e.dateReading = "dates read day-first, the month by its name";
         return text;
       }},
      {"WeekdayThenLongMonthNameFirst", DateOrder::DayMonthYear,
       OneRun(Locale::LongNames, DateOrder::MonthDayYear, kSettlingStart)},
      {"UpperCaseNamesAndTwoDigitYears", DateOrder::MonthDayYear,
       OneRun(Locale::UpperDashes, DateOrder::DayMonthYear, kSettlingStart)},
      {"YearFirstWithAName", DateOrder::DayMonthYear,
       OneRun(Locale::YearFirstName, DateOrder::YearMonthDay, kSettlingStart)},
      {"LocaleMonthNamesPassedIn", DateOrder::DayMonthYear,
       OneRun(Locale::GermanNames, DateOrder::DayMonthYear, kSettlingStart), testing::kGermanShortMonths},
      {"MonthNamesOfAnUnknownLanguageSkipped", DateOrder::DayMonthYear,
       [](Expected& e) {
         // German names passed in do not read Finnish ones: every data line is skipped, and the reading says why.
         const std::string text = OneRun(Locale::FinnishNames, DateOrder::DayMonthYear, kSettlingStart)(e);
         e.skippedLines = e.records.size();
         e.firstSkippedLine = 6;
         e.firstSkippedText = text.substr(text.find("10. jouluk."),
                                          text.find('\r', text.find("10. jouluk.")) - text.find("10. jouluk."));
         for (char& c : e.firstSkippedText)
           if (c == '\t') c = ' ';
         e.records.clear();
         e.runs[0].recordCount = 0;
         e.dateReading = "no dates read: the month name \"jouluk\" is neither English nor the locale's";
         return text;
       },
       testing::kGermanShortMonths},
      {"LfLineEnds", DateOrder::DayMonthYear,
       [](Expected& e) {
         return ReplaceAll(OneRun(Locale::EnGb, DateOrder::DayMonthYear, kSettlingStart)(e), "\r\n", "\n");
       }},
      {"AmbiguousReadTheLocalesWay", DateOrder::DayMonthYear,
       [](Expected& e) {
         const std::string text = OneRun(Locale::EnGb, DateOrder::DayMonthYear, kAmbiguousStart, 60)(e);
         e.settled = false;
         e.dateReading = "dates read day-first (as the locale writes them); the file alone does not settle it";
         return text;
       }},
      {"AmbiguousUnderAMonthFirstLocale", DateOrder::MonthDayYear,
       [](Expected& e) {
         // The same day-first file: the locale decides, so 03/11 becomes the 11th of March.
         const std::string text = OneRun(Locale::EnGb, DateOrder::DayMonthYear, kAmbiguousStart, 60)(e);
         for (auto& r : e.records) {
           LocalDateTime when = acquisition::DecodeDayNumber(r.DT);
           std::swap(when.day, when.month);
           r.DT = acquisition::EncodeDayNumber(when);
         }
         e.order = DateOrder::MonthDayYear;
         e.settled = false;
         return text;
       }},
      {"TruncatedLastLine", DateOrder::DayMonthYear,
       [](Expected& e) {
         std::string text = OneRun(Locale::EnGb, DateOrder::DayMonthYear, kSettlingStart)(e);
         const size_t lastLine = text.rfind('\n', text.size() - 2) + 1;
         text.resize(lastLine + 30);  // the power failed within the values
         e.records.pop_back();
         e.runs[0].recordCount -= 1;
         e.skippedLines = 1;
         e.firstSkippedLine = 5 + 200;
         e.firstSkippedText = text.substr(lastLine);
         for (char& c : e.firstSkippedText)
           if (c == '\t') c = ' ';
         return text;
       }},
      {"TwoHeaderBlocks", DateOrder::DayMonthYear,
       [](Expected& e) {
         const TestFormat format(Locale::DeDe);
         const auto first = testing::Records(kSettlingStart, 30, 7);
         const auto second = testing::Records({2026, 12, 14, 9, 0, 0, 0}, 20, 2);
         e.records = AsInFile(first);
         const auto more = AsInFile(second);
         e.records.insert(e.records.end(), more.begin(), more.end());
         e.runs = {{"COM7", "102345", "QRN-2.14", 0, 30, 1}, {"COM12", "102345", "QRN-2.15 \u00e9", 30, 20, 36}};
         return testing::RunText(first, format) + testing::RunText(second, format, "12", "102345", "QRN-2.15 \u00e9");
       }},
      {"ForeignLineInTheMiddle", DateOrder::DayMonthYear,
       [](Expected& e) {
         std::string text = OneRun(Locale::EnGb, DateOrder::DayMonthYear, kSettlingStart)(e);
         size_t pos = 0;
         for (int line = 0; line < 5 + 100; ++line) pos = text.find('\n', pos) + 1;
         text.insert(pos, "Saved by Anna, sensor back from repair\r\n");
         e.skippedLines = 1;
         e.firstSkippedLine = 106;
         e.firstSkippedText = "Saved by Anna, sensor back from repair";
         return text;
       }},
      {"ByteOrderMarkBeforeTheHeader", DateOrder::DayMonthYear,
       [](Expected& e) { return "\xEF\xBB\xBF" + OneRun(Locale::EnGb, DateOrder::DayMonthYear, kSettlingStart)(e); }},
      {"DataLinesEndingInBlanksAndTabs", DateOrder::DayMonthYear,
       [](Expected& e) {
         const std::string text = OneRun(Locale::DeDe, DateOrder::DayMonthYear, kSettlingStart)(e);
         const size_t header = acquisition::HeaderBlock("7", "102345", "QRN-2.14").size();
         return text.substr(0, header) + ReplaceAll(text.substr(header), "\r\n", "\t \r\n");
       }},
      {"HeaderOnly", DateOrder::DayMonthYear,
       [](Expected& e) {
         e.runs = {{"COM7", "1", "2", 0, 0, 1}};
         e.settled = false;
         return acquisition::HeaderBlock("7", "1", "2");
       }},
  };
  return cases;
}

class ReadsFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(ReadsFile, GivesEveryRecordAndSaysWhatItSkipped) {
  Expected expected;
  const std::string bytes = GetParam().make(expected);
  std::vector<MeasurementRecord> records;
  ReadOptions options;
  options.localeOrder = GetParam().localeOrder;
  options.shortMonthNames = GetParam().localeShortMonths;
  const ReadResult result = ReadDataBytes(bytes, options, [&](std::span<const MeasurementRecord> batch) {
    records.insert(records.end(), batch.begin(), batch.end());
  });

  EXPECT_FALSE(result.cancelled);
  ASSERT_EQ(records.size(), expected.records.size());
  EXPECT_EQ(result.records, records.size());
  for (size_t i = 0; i < records.size(); ++i) ASSERT_EQ(records[i], expected.records[i]) << "record " << i;
  ASSERT_EQ(result.runs.size(), expected.runs.size());
  for (size_t i = 0; i < expected.runs.size(); ++i) {
    EXPECT_EQ(result.runs[i].port, expected.runs[i].port);
    EXPECT_EQ(result.runs[i].serialNumber, expected.runs[i].serialNumber);
    EXPECT_EQ(result.runs[i].firmware, expected.runs[i].firmware);
    EXPECT_EQ(result.runs[i].firstRecord, expected.runs[i].firstRecord);
    EXPECT_EQ(result.runs[i].recordCount, expected.runs[i].recordCount);
    EXPECT_EQ(result.runs[i].headerLine, expected.runs[i].headerLine);
  }
  EXPECT_EQ(result.skippedLines, expected.skippedLines);
  EXPECT_EQ(result.firstSkippedLine, expected.firstSkippedLine);
  EXPECT_EQ(result.firstSkippedText, expected.firstSkippedText);
  if (!records.empty()) {
    EXPECT_EQ(result.dateOrder, expected.order);
    EXPECT_EQ(result.dateOrderSettledByFile, expected.settled);
    EXPECT_EQ(result.firstDT, records.front().DT);
    EXPECT_EQ(result.lastDT, records.back().DT);
  }
  if (!expected.dateReading.empty()) {
    EXPECT_EQ(result.dateReading, expected.dateReading);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ReadsFile, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  std::string bytes;
  const char* reason;
};

TEST(ReadsFile, RefusesWhatIsNoDataFileWithItsReason) {
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 7919) % 256);
  const std::vector<RefusedCase> cases = {
      {"empty", "", "The file is empty."},
      {"binary", binary, "The file is not a data file: it holds neither a header block nor a measurement line."},
      {"text", "Dear support,\r\nthe sensor reads 0.\r\n",
       "The file is not a data file: it holds neither a header block nor a measurement line."},
      {"blank lines", "\r\n\r\n  \r\n", "The file holds no data: neither a header block nor a measurement line."},
  };
  for (const RefusedCase& c : cases) {
    try {
      ReadDataBytes(c.bytes, {}, [](std::span<const MeasurementRecord>) {});
      ADD_FAILURE() << c.name << ": read without an error";
    } catch (const DataFileError& error) {
      EXPECT_STREQ(error.what(), c.reason) << c.name;
    }
  }
}

// Larger than a read block, with lines across block ends and an overlong foreign line between them.
TEST(ReadsFile, FromDiskIntoTheStoreWithProgressAndCancel) {
  const auto records = testing::Records(kSettlingStart, 60'000, 1);
  const std::string firstHalf = testing::RunText(
      std::vector<MeasurementRecord>(records.begin(), records.begin() + 30'000), TestFormat(Locale::DeDe));
  std::string secondHalf;
  for (size_t i = 30'000; i < records.size(); ++i)
    secondHalf += acquisition::DataLine(records[i], TestFormat(Locale::DeDe));
  const std::string text = firstHalf + std::string(100'000, 'x') + "\r\n" + secondHalf;
  ASSERT_GT(text.size(), 4u << 20);
  const std::string path = (std::filesystem::temp_directory_path() / "quarn-datafile-reader-test.txt").string();
  std::ofstream(path, std::ios::binary) << text;

  acquisition::MeasurementStore store;
  std::vector<std::pair<uint64_t, uint64_t>> calls;
  ReadOptions options;
  options.progress = [&](uint64_t done, uint64_t total) {
    calls.emplace_back(done, total);
    return true;
  };
  const ReadResult result = ReadDataFile(path, options, store);
  ASSERT_EQ(store.Count(), records.size());
  const auto expected = AsInFile(records);
  for (size_t i = 0; i < records.size(); ++i) ASSERT_EQ(store.At(i), expected[i]) << i;
  EXPECT_EQ(result.lines, records.size() + 5 + 1);
  EXPECT_EQ(result.skippedLines, 1u);
  EXPECT_EQ(result.firstSkippedLine, 5u + 30'000 + 1);
  EXPECT_EQ(result.firstSkippedText, std::string(200, 'x'));
  ASSERT_GE(calls.size(), 5u);
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_LE(calls[i - 1].first, calls[i].first);
  EXPECT_EQ(calls.back().first, text.size());
  EXPECT_EQ(calls.back().second, text.size());

  // Cancelled halfway through the records: the run counts what was read.
  acquisition::MeasurementStore cancelledStore;
  options.progress = [&](uint64_t done, uint64_t total) { return done < total / 2; };
  const ReadResult cancelled = ReadDataFile(path, options, cancelledStore);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_GT(cancelledStore.Count(), 0u);
  EXPECT_LT(cancelledStore.Count(), records.size());
  ASSERT_EQ(cancelled.runs.size(), 1u);
  EXPECT_EQ(cancelled.runs[0].recordCount, cancelledStore.Count());
  std::filesystem::remove(path);

  try {
    ReadDataFile(path, {}, store);
    ADD_FAILURE() << "a missing file read";
  } catch (const DataFileError& error) {
    EXPECT_STREQ(error.what(), "The file cannot be opened: No such file or directory.");
  }
}

TEST(ReadsFile, SkippedLinesTextNamesCountAndFirstLine) {
  ReadResult result;
  EXPECT_EQ(SkippedLinesText(result), "");
  result.skippedLines = 2;
  result.firstSkippedLine = 17;
  result.firstSkippedText = "05/09/2013 14:03";
  EXPECT_EQ(SkippedLinesText(result), "2 lines skipped, the first is line 17: \"05/09/2013 14:03\"");
}

}  // namespace
}  // namespace quarn::datafile
