#include "console/CommandList.h"

#include <gtest/gtest.h>

#include "console/ConsoleFiles.h"

namespace quarn::console {
namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> entries;
};
void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

// UTF-16 with a byte-order mark, from ASCII text and the two bytes of one non-ASCII unit in between.
std::string Utf16(bool bigEndian, std::u16string text) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    bytes += bigEndian ? hi : lo;
    bytes += bigEndian ? lo : hi;
  }
  return bytes;
}

class DecodeCommandFileTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeCommandFileTest, GivesEveryLineVerbatim) {
  EXPECT_EQ(DecodeCommandFile(GetParam().bytes), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    CommandFiles, DecodeCommandFileTest,
    testing::Values(
        DecodeCase{"CrLf", "ZERO2\r\n--------\r\nSREV?\r\n", {"ZERO2", "--------", "SREV?"}},
        DecodeCase{"Lf", "ZERO2\n--------\nSREV?\n", {"ZERO2", "--------", "SREV?"}},
        DecodeCase{"CrOnly", "ZERO2\r--------\rSREV?\r", {"ZERO2", "--------", "SREV?"}},
        DecodeCase{"MixedAndNoFinalBreak", "A\rB\nC\r\nD", {"A", "B", "C", "D"}},
        DecodeCase{"EmptyLinesAreEntries", "A\r\n\r\n\nB\r\n\r\n", {"A", "", "", "B", ""}},
        DecodeCase{
            "NothingTrimmedOrSkipped", " CALB 0500 \r\n[Section]\r\n;note\r\n", {" CALB 0500 ", "[Section]", ";note"}},
        DecodeCase{"EmptyFile", "", {}},
        DecodeCase{"Windows1252WithoutMark", "Z\xE4hler\r\n\x80\r\n", {"Z\xC3\xA4hler", "\xE2\x82\xAC"}},
        DecodeCase{"Utf8Mark", "\xEF\xBB\xBFZ\xC3\xA4hler\r\nF\r\n", {"Z\xC3\xA4hler", "F"}},
        DecodeCase{
            "Utf16LittleEndian", Utf16(false, u"Z\u00E4hler\r\n\u20AC\rF"), {"Z\xC3\xA4hler", "\xE2\x82\xAC", "F"}},
        DecodeCase{"Utf16BigEndian", Utf16(true, u"Z\u00E4hler\nF\n"), {"Z\xC3\xA4hler", "F"}},
        DecodeCase{
            "Utf16LoneSurrogateAndOddByte", Utf16(false, u"A\xD800\nB") + "x", {"A\xEF\xBF\xBD", "B\xEF\xBF\xBD"}}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(CommandList, BuiltInListMatchesTheShippedFile) {
  // The file copied next to the program and the list used without it must not drift apart.
  const auto shipped = ReadCommandFile(QUARN_CONSOLE_SOURCE_DIR "/commands.ini");
  EXPECT_EQ(BuiltInCommands(), shipped);
  EXPECT_EQ(std::count(shipped.begin(), shipped.end(), std::string(kSeparator)), 2);
}

}  // namespace
}  // namespace quarn::console
