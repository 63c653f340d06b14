#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "base/testing/ScriptedMessageBoxes.h"
#include "config/Criteria.h"
#include "config/tests/TestFiles.h"

namespace quarn::config {
namespace {

#ifndef _WIN32
using testing::FileSizeLimit;
#endif
using testing::ReadBytes;
using testing::TemporaryFolder;
using testing::WriteBytes;

std::string BadValueBox(const std::string& value) {
  return "Amiss the settings for the criterion!\n\r''" + value + "'' is not a valid integer value";
}

// The record as a previous read may have left it; the FTP fields must survive a file without them.
CriteriaSettings EarlierRecord() { return CriteriaSettings{1, 2, "old@mail", "old.server", 2121, "old/path"}; }

struct ReadCase {
  const char* name;
  std::string content;
  bool readWindowSettings;
  CriteriaSettings expected;
  std::optional<int> intervalPosition;
  std::optional<bool> advancedMode;
  std::vector<std::string> boxes;
};

TEST(CriteriaReader, LineRules) {
  const int32_t kNone = kCriterionNotGiven;
  const CriteriaSettings defaults{kNone, kNone, "", "old.server", 2121, "old/path"};
  // clang-format off
  const std::vector<ReadCase> cases = {
      {"empty file", "", true, defaults, {}, {}, {}},
      {"capital keys", "KZERO2=5\r\nKScale=6\r\nMAILSUPPORT=a@b\r\n", true,
       {5, 6, "a@b", "old.server", 2121, "old/path"}, {}, {}, {}},
      {"blank before key matches nothing", " kzero2=5\r\nkscale =6\r\n", true, defaults, {}, {}, {}},
      {"integer with trailing blank", "kzero2=5 \r\n", true, defaults, {}, {}, {BadValueBox("5 ")}},
      {"empty integer", "kscale=\r\n", true, defaults, {}, {}, {BadValueBox("")}},
      {"integer with leading blank", "ftpport= 21\r\n", true, defaults, {}, {}, {BadValueBox(" 21")}},
      {"bad value reported, later lines read", "kzero2=abc\r\nkscale=3\r\n", true,
       {kNone, 3, "", "old.server", 2121, "old/path"}, {}, {}, {BadValueBox("abc")}},
      {"32-bit limits and signs", "kzero2=-2147483648\r\nkscale=2147483648\r\nftpport=+21\r\nkscale=+-1\r\n", true,
       {INT32_MIN, kNone, "", "old.server", 21, "old/path"}, {}, {},
       {BadValueBox("2147483648"), BadValueBox("+-1")}},
      {"text keeps blanks and further =", "mailsupport= a=b=c \r\n", true,
       {kNone, kNone, " a=b=c ", "old.server", 2121, "old/path"}, {}, {}, {}},
      {"ftp fields", "ftpsupport=ftp.x\r\nftpport=21\r\nftppath=in/box\r\n", true,
       {kNone, kNone, "", "ftp.x", 21, "in/box"}, {}, {}, {}},
      {"empty key, comment, last line without end", "=kzero2\r\n; kzero2 is 5\r\nkzero2=7", true,
       {7, kNone, "", "old.server", 2121, "old/path"}, {}, {}, {}},
      {"LF and lone CR end lines too", "kzero2=1\nkscale=2\rftpport=3\n", true,
       {1, 2, "", "old.server", 3, "old/path"}, {}, {}, {}},
      {"Windows-1252 text becomes UTF-8", "mailsupport=caf\xE9\x80\r\n", true,
       {kNone, kNone, "caf\xC3\xA9\xE2\x82\xAC", "old.server", 2121, "old/path"}, {}, {}, {}},
      {"every occurrence applied, last wins", "delay=30\r\nkzero2=1\r\nDelay=3\r\nkzero2=2\r\n", true,
       {2, kNone, "", "old.server", 2121, "old/path"}, 3, {}, {}},
      {"bad delay leaves the position", "delay=x\r\n", true, defaults, {}, {}, {BadValueBox("x")}},
      {"mode 2 is advanced", "mode=2\r\n", true, defaults, {}, true, {}},
      {"mode 0 is basic", "mode=0\r\n", true, defaults, {}, false, {}},
      {"window settings skipped at Start, not even converted", "delay=x\r\nmode=1\r\ndelay=40\r\n", false,
       defaults, {}, {}, {}},
      {"criteria still read at Start", "kzero2=4\r\n", false,
       {4, kNone, "", "old.server", 2121, "old/path"}, {}, {}, {}},
  };
  // clang-format on
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    CriteriaSettings settings = EarlierRecord();
    settings.zeroCriterion = settings.scaleCriterion =
        kCriterionNotGiven;  // the reader's first step, done by CriteriaFile
    settings.supportMail.clear();
    base::ScriptedMessageBoxes boxes;
    const WindowSettings window = ApplyCriteriaText(c.content, settings, boxes, c.readWindowSettings);

    EXPECT_EQ(settings.zeroCriterion, c.expected.zeroCriterion);
    EXPECT_EQ(settings.scaleCriterion, c.expected.scaleCriterion);
    EXPECT_EQ(settings.supportMail, c.expected.supportMail);
    EXPECT_EQ(settings.ftpServer, c.expected.ftpServer);
    EXPECT_EQ(settings.ftpPort, c.expected.ftpPort);
    EXPECT_EQ(settings.ftpPath, c.expected.ftpPath);
    EXPECT_EQ(window.intervalPosition, c.intervalPosition);
    EXPECT_EQ(window.advancedMode, c.advancedMode);
    EXPECT_EQ(boxes.Texts(), c.boxes);
    for (const auto& box : boxes.Boxes()) {
      EXPECT_EQ(box.kind, base::BoxKind::Warning);
      EXPECT_EQ(box.buttons, base::BoxButtons::Ok);
    }
  }
}

struct WriteCase {
  const char* name;
  std::string content;
  int position;
  int modeIndex;
  std::string expected;
};

TEST(CriteriaWriter, LineRules) {
  const std::vector<WriteCase> cases = {
      {"lone kscale line gets delay and mode", "kscale=500\r\n", 20, 0, "kscale=500\r\ndelay=20\r\nmode=0\r\n"},
      {"empty file", "", 20, 0, "delay=20\r\nmode=0\r\n"},
      {"every delay line rewritten", "delay=30\r\nx=1\r\nDELAY=40 \r\nmode=0\r\n", 55, 1,
       "delay=55\r\nx=1\r\ndelay=55\r\nmode=1\r\n"},
      {"only the missing key appended", "mode=0\r\n", 990, 1, "mode=1\r\ndelay=990\r\n"},
      {"other lines byte for byte",
       "=x\r\n; comment\r\n delay=3\r\nmailsupport= a=b \r\ncaf\xE9=\x80\r\n\r\nmode=2\r\n", 5, 1,
       "=x\r\n; comment\r\n delay=3\r\nmailsupport= a=b \r\ncaf\xE9=\x80\r\n\r\nmode=1\r\ndelay=5\r\n"},
      {"last line without end and LF lines get CR LF", "a=1\nb=2", 20, 0, "a=1\r\nb=2\r\ndelay=20\r\nmode=0\r\n"},
      {"LF CR ends one line", "a=1\n\rb=2\n\r\n\rmode=0\n\r", 20, 1, "a=1\r\nb=2\r\n\r\nmode=1\r\ndelay=20\r\n"},
      {"CR lines and CR LF blank lines", "a=1\rb=2\r\n\r\nc=3", 20, 0,
       "a=1\r\nb=2\r\n\r\nc=3\r\ndelay=20\r\nmode=0\r\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RewriteWindowSettings(c.content, c.position, c.modeIndex), c.expected);
  }
}

// The "Reconnect automatically" box: written only by a window that has it, appended only when ticked, so an
// unticked box leaves a file without the key as it was; read back as the box's state.
TEST(CriteriaReconnect, WrittenAndReadBack) {
  struct Case {
    const char* name;
    std::string content;
    std::optional<bool> reconnect;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"unticked, no key: file unchanged", "delay=20\r\nmode=0\r\n", false, "delay=20\r\nmode=0\r\n"},
      {"ticked, no key: appended", "delay=20\r\nmode=0\r\n", true, "delay=20\r\nmode=0\r\nreconnect=1\r\n"},
      {"unticked over a ticked key", "reconnect=1\r\ndelay=20\r\nmode=0\r\n", false,
       "reconnect=0\r\ndelay=20\r\nmode=0\r\n"},
      {"every key line rewritten", "RECONNECT=0\r\ndelay=20\r\nmode=0\r\nreconnect=x\r\n", true,
       "reconnect=1\r\ndelay=20\r\nmode=0\r\nreconnect=1\r\n"},
      {"a host without the box leaves the line", "reconnect=1\r\ndelay=20\r\nmode=0\r\n", std::nullopt,
       "reconnect=1\r\ndelay=20\r\nmode=0\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RewriteWindowSettings(c.content, 20, 0, c.reconnect), c.expected);
  }

  for (const auto& [line, ticked] : std::vector<std::pair<std::string, std::optional<bool>>>{
           {"reconnect=1\r\n", true}, {"reconnect=0\r\n", false}, {"", std::nullopt}, {"reconnect=2\r\n", false}}) {
    SCOPED_TRACE(line);
    base::ScriptedMessageBoxes boxes;
    CriteriaSettings settings;
    EXPECT_EQ(ApplyCriteriaText("delay=20\r\n" + line, settings, boxes, true).reconnect, ticked);
    // Start reads the file again without the window's settings: the box keeps what the user chose.
    EXPECT_EQ(ApplyCriteriaText("delay=20\r\n" + line, settings, boxes, false).reconnect, std::nullopt);
  }
}

// A file with many damaged lines: five boxes as usual, then one that counts the rest; good lines still count.
TEST(CriteriaReader, ManyBadValuesEndInOneCountingBox) {
  for (const int bad : {5, 6, 1000}) {
    SCOPED_TRACE(bad);
    std::string content;
    for (int i = 0; i < bad; ++i) content += "kscale=x" + std::to_string(i) + "\r\n";
    content += "kzero2=12\r\n";
    base::ScriptedMessageBoxes boxes;
    CriteriaSettings settings = EarlierRecord();
    ApplyCriteriaText(content, settings, boxes, true);
    std::vector<std::string> expected;
    for (int i = 0; i < std::min(bad, 5); ++i) expected.push_back(BadValueBox("x" + std::to_string(i)));
    if (bad > 5) {
      expected.push_back("Amiss the settings for the criterion!\n\r" + std::to_string(bad - 5) +
                         " more lines could not be read");
    }
    EXPECT_EQ(boxes.Texts(), expected);
    for (const auto& box : boxes.Boxes()) EXPECT_EQ(box.kind, base::BoxKind::Warning);
    EXPECT_EQ(settings.zeroCriterion, 12);
    EXPECT_EQ(settings.scaleCriterion, 2);
  }
}

class CriteriaFileTest : public ::testing::Test {
 protected:
  TemporaryFolder folder_;
  std::filesystem::path file_ = folder_ / kCriteriaFileName;
  base::ScriptedMessageBoxes boxes_;
  CriteriaSettings settings_ = EarlierRecord();
  CriteriaFile criteria_{file_, boxes_, settings_};
};

TEST_F(CriteriaFileTest, ShowThenCloseKeepsTheChosenSettings) {
  WriteBytes(file_, "kzero2=150\r\nkscale=500\r\nmailsupport=support@x\r\ndelay=2000\r\nmode=2\r\n; note\r\n");
  const CriteriaRead read = criteria_.ReadCriteria(true);
  ASSERT_EQ(read.result, CriteriaResult::Done);
  EXPECT_EQ(settings_.zeroCriterion, 150);
  EXPECT_EQ(settings_.scaleCriterion, 500);
  EXPECT_EQ(settings_.supportMail, "support@x");
  EXPECT_EQ(read.window.intervalPosition, 2000);
  EXPECT_EQ(read.window.advancedMode, true);

  // The window clamps the position to its slider's 5..990 and selects the advanced mode.
  ASSERT_EQ(criteria_.WriteCriteria(990, 1), CriteriaResult::Done);
  EXPECT_EQ(ReadBytes(file_), "kzero2=150\r\nkscale=500\r\nmailsupport=support@x\r\ndelay=990\r\nmode=1\r\n; note\r\n");
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1) << "no temporary file left";
}

TEST_F(CriteriaFileTest, MissingFileOnReadShowsTheBoxAndSaysSo) {
  const CriteriaRead read = criteria_.ReadCriteria(true);
  EXPECT_EQ(read.result, CriteriaResult::Missing);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0], (base::ScriptedMessageBoxes::Box{base::BoxKind::Error, base::BoxButtons::Ok,
                                                                "File criteria NRI not detected !\n\r"
                                                                "Further work is not possible !",
                                                                false}));
  EXPECT_FALSE(read.window.advancedMode) << "the read ends before the window's lines";
  EXPECT_EQ(settings_.zeroCriterion, kCriterionNotGiven);
  EXPECT_EQ(settings_.scaleCriterion, kCriterionNotGiven);
  EXPECT_EQ(settings_.supportMail, "");
  EXPECT_EQ(settings_.ftpServer, "old.server");
  EXPECT_EQ(settings_.ftpPort, 2121);
}

TEST_F(CriteriaFileTest, MissingFileOnWriteDoesNothing) {
  EXPECT_EQ(criteria_.WriteCriteria(20, 0), CriteriaResult::Missing);
  EXPECT_FALSE(std::filesystem::exists(file_));
  EXPECT_TRUE(boxes_.Texts().empty());
}

#ifndef _WIN32  // the texts of a folder read and of a size limit are POSIX ones
// A folder in place of the file: it exists but cannot be read, also for root.
TEST_F(CriteriaFileTest, UnreadableFileReportsTheSystemTextAndLosesNothing) {
  std::filesystem::create_directory(file_);
  WriteBytes(file_ / "inside", "kept");

  EXPECT_EQ(criteria_.ReadCriteria(true).result, CriteriaResult::Failed);
  EXPECT_EQ(criteria_.WriteCriteria(20, 0), CriteriaResult::Failed);
  const std::string expected = "The criteria file " + file_.string() + " cannot be read!\n\r" + std::strerror(EISDIR);
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{expected, expected}));
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Error);
  EXPECT_EQ(ReadBytes(file_ / "inside"), "kept");
}

TEST_F(CriteriaFileTest, FailedWriteLeavesTheOldFile) {
  const std::string original = "kscale=500\r\n" + std::string(200, ';') + "\r\n";
  WriteBytes(file_, original);
  CriteriaResult result;
  {
    FileSizeLimit limit(64);
    result = criteria_.WriteCriteria(35, 0);
  }
  EXPECT_EQ(result, CriteriaResult::Failed);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Warning);
  EXPECT_EQ(boxes_.Texts()[0], std::string("Write setting to file poorly!\n\r") + std::strerror(EFBIG));
  EXPECT_EQ(ReadBytes(file_), original);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1) << "no temporary file left";
}
#endif

TEST(CriteriaDefaultFile, ReadsWithoutWarnings) {
  base::ScriptedMessageBoxes boxes;
  CriteriaSettings settings;
  CriteriaFile criteria(QUARN_DEFAULT_CRITERIA, boxes, settings);
  const CriteriaRead read = criteria.ReadCriteria(true);
  ASSERT_EQ(read.result, CriteriaResult::Done);
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_NE(settings.zeroCriterion, kCriterionNotGiven);
  EXPECT_NE(settings.scaleCriterion, kCriterionNotGiven);
  EXPECT_FALSE(settings.supportMail.empty());
  EXPECT_FALSE(settings.ftpServer.empty());
  EXPECT_GT(settings.ftpPort, 0);
  EXPECT_EQ(read.window.intervalPosition, 20);
  EXPECT_EQ(read.window.advancedMode, false);
  const std::string bytes = ReadBytes(QUARN_DEFAULT_CRITERIA);
  EXPECT_EQ(RewriteWindowSettings(bytes, 20, 0), bytes) << "CR LF line ends, delay and mode present";
}

}  // namespace
}  // namespace quarn::config
