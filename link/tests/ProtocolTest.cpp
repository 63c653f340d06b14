#include "link/Protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarn::link {
namespace {

const std::string kS = "\x0E";  // start byte
const std::string kT = "\t";
const std::string kC = "\r";

TEST(Protocol, RequestsAndSpanArgument) {
  EXPECT_EQ(BuildRequest(kAddress, "F"), "#00F");
  EXPECT_EQ(BuildRequest(kAddress, "CALB " + SpanArgument(500)), "#00CALB 0500");
  const std::vector<std::pair<int, std::string>> spans = {{0, "0000"},   {5, "0005"},    {7, "0007"},   {50, "0050"},
                                                          {500, "0500"}, {5000, "5000"}, {9999, "9999"}};
  for (const auto& [value, digits] : spans) EXPECT_EQ(SpanArgument(value), digits) << value;
}

TEST(Protocol, CommandLineBytes) {
  std::string line;
  ASSERT_TRUE(CommandLineBytes("#00F", line));
  EXPECT_EQ(line, std::string("\x23\x30\x30\x46\x0D"));

  // U+0100 goes out as its low byte 0x00, U+00E9 as 0xE9, U+20AC as 0xAC.
  ASSERT_TRUE(CommandLineBytes("A\xC4\x80\xC3\xA9\xE2\x82\xAC", line));
  EXPECT_EQ(line, std::string("A\x00\xE9\xAC\r", 5));

  ASSERT_TRUE(CommandLineBytes(std::string(255, 'X'), line));
  EXPECT_EQ(line.size(), 256u);
  line = "untouched";
  EXPECT_FALSE(CommandLineBytes(std::string(256, 'X'), line));
  EXPECT_EQ(line, "untouched");
}

struct FrameCase {
  const char* name;
  std::string body;  // bytes after the start byte
  bool complete;
  int fieldCount;
  std::vector<int32_t> values;  // expected entries 0.. (others stay -1)
};

TEST(Protocol, FrameFieldRules) {
  const std::vector<FrameCase> cases = {
      {"two fields", "123\t45\t\r", true, 2, {123, 45}},
      {"signs and points dropped", "-12\t1.5\t\r", true, 2, {12, 15}},
      {"double tab is no field", "7\t\t8\t\r", true, 2, {7, 8}},
      {"digits before CR dropped", "7\t8\r", true, 1, {7}},
      {"eleven nines read as 0", "99999999999\t\r", true, 1, {0}},
      {"max int32", "2147483647\t2147483648\t\r", true, 2, {2147483647, 0}},
      {"comma in thousands", "10,000\t\r", true, 1, {10000}},
      {"no CR", "1\t2\t", false, 2, {1, 2}},
      {"start byte inside is ignored",
       "1\x0E"
       "2\t\r",
       true,
       1,
       {12}},
      {"LF and letters ignored", "a1\nb2\t\r", true, 1, {12}},
  };
  for (const FrameCase& c : cases) {
    std::vector<int32_t> values(4, -1);
    const FrameScan scan = ParseFrameBody(kS + c.body, 1, values);
    EXPECT_EQ(scan.complete, c.complete) << c.name;
    EXPECT_EQ(scan.fieldCount, c.fieldCount) << c.name;
    for (size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(values[i], i < c.values.size() ? c.values[i] : -1) << c.name << " entry " << i;
    }
  }
}

TEST(Protocol, FieldsBeyondCapacityAreCountedNotStored) {
  std::vector<int32_t> values(2, -1);
  const FrameScan scan = ParseFrameBody(kS + "1\t2\t3\t\r", 1, values);
  EXPECT_EQ(scan.fieldCount, 3);
  EXPECT_EQ(values, (std::vector<int32_t>{1, 2}));
}

std::string Frame(const std::vector<int>& fields) {
  std::string f = kS;
  for (int v : fields) f += std::to_string(v) + kT;
  return f + kC;
}

struct Found {
  std::vector<int32_t> values;
  int count;
};

std::vector<Found> FramesIn(const std::string& bytes) {
  std::vector<Found> found;
  ForEachFrame(bytes, [&](std::span<const int32_t, kFrameFields> v, int count) {
    found.push_back({std::vector<int32_t>(v.begin(), v.end()), count});
    return true;
  });
  return found;
}

TEST(Protocol, FramesInOneRead) {
  const std::vector<int> a = {25, 3100, 1200, 1500, 0, 0, 10000, 0, 0, 0};
  const std::vector<int> b = {26, 3101, 1201, 1501, 1, 2, 9999, 3, 4, 5};
  const std::vector<int32_t> a32(a.begin(), a.end()), b32(b.begin(), b.end());

  auto one = FramesIn(Frame(a));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].values, a32);
  EXPECT_EQ(one[0].count, 10);

  auto two = FramesIn(Frame(a) + Frame(b));
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[1].values, b32);

  // Noise before, a partial frame after: one record.
  auto noisy = FramesIn("zz12\t\n" + Frame(a) + kS + "1\t2\t");
  ASSERT_EQ(noisy.size(), 1u);
  EXPECT_EQ(noisy[0].values, a32);

  // The tail of a frame whose start was in an earlier read carries no start byte and is skipped.
  EXPECT_TRUE(FramesIn("5\t6\t\r").empty());

  std::vector<int> eleven = a;
  eleven.push_back(77);
  auto extra = FramesIn(Frame(eleven));
  ASSERT_EQ(extra.size(), 1u);
  EXPECT_EQ(extra[0].values, a32);
  EXPECT_EQ(extra[0].count, 11);

  auto nine = FramesIn(Frame({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  ASSERT_EQ(nine.size(), 1u);
  EXPECT_EQ(nine[0].count, 9);
}

TEST(Protocol, StopsWhenTheCallerSaysSo) {
  int seen = 0;
  ForEachFrame(Frame({1}) + Frame({2}), [&](auto, int) { return ++seen < 1; });
  EXPECT_EQ(seen, 1);
}

TEST(Protocol, ReplyFilters) {
  EXPECT_EQ(DigitFilter("0123\r45"), "0123");
  EXPECT_EQ(DigitFilter("\n102345 \r\n"), "102345");
  EXPECT_EQ(DigitFilter("SN=\r"), "");
  EXPECT_EQ(CrFilter("\x32\x2E\x31\x0D\x0A"), "2.1\n");
  EXPECT_EQ(CrFilter("\r\r"), "");
}

// What a run that has just ended may still send: never an identity.
TEST(Protocol, FramesAndTheirPiecesAreNoIdentity) {
  struct Case {
    const char* bytes;
    bool frame;
    const char* serial;
  };
  const Case cases[] = {
      {"102345\r", false, "102345"},
      {"QRN-2.14\r", false, ""},
      {"SN=0123\r", false, ""},
      {"\x0E"
       "00150\t01005\t91005\t81005\t8000\t\r",
       true, ""},
      {"005\t00058\t\r", true, ""},  // the tail of a frame cut by the purge
      {"1\t", true, ""},
      {"\x0E", true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LooksLikeFrame(c.bytes), c.frame) << c.bytes;
    if (!c.frame) {
      EXPECT_EQ(DigitFilter(c.bytes), c.serial) << c.bytes;
    }
  }
}

}  // namespace
}  // namespace quarn::link
