#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <set>
#include <vector>

#include "config/Codec.h"

namespace quarn::config {
namespace {

// Fixes the random choices: variant, low nibble and one filler value (each draw is told apart by its bound).
CodecRandom Fixed(int variant, int nibble, int filler) {
  return [=](int bound) {
    if (bound == 15) return variant;
    if (bound == 16) return nibble;
    return filler - 1;
  };
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// The keystream of a variant: decoding zero bytes gives the key bytes themselves.
std::string Keystream(int variant, size_t length) {
  std::string value(2 + length, '\0');
  value[0] = static_cast<char>(length);
  value[1] = static_cast<char>(variant << 4);
  return CodecDecode(value);
}

std::string XorOf(const std::string& a, const std::string& b) {
  std::string out(a.size(), '\0');
  for (size_t i = 0; i < a.size(); ++i) out[i] = static_cast<char>(a[i] ^ b[i]);
  return out;
}

// Every byte value, so that no text byte is special.
std::string SampleText(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char>((i * 97 + 13) & 0xFF);
  return text;
}

TEST(Codec, RoundTripForEveryVariantAndLength) {
  for (int total : {7, 40, 50, 254}) {
    for (int variant = 0; variant < 15; ++variant) {
      for (size_t length = 0; length < static_cast<size_t>(total); ++length) {
        SCOPED_TRACE(::testing::Message() << "total " << total << " variant " << variant << " length " << length);
        const std::string text = SampleText(length);
        const std::string value = CodecEncode(text, total, Fixed(variant, 9, 77));
        ASSERT_EQ(value.size(), static_cast<size_t>(total) + 2);
        ASSERT_EQ(static_cast<uint8_t>(value[0]), length);
        ASSERT_EQ(static_cast<uint8_t>(value[1]), (variant << 4) | 9);
        ASSERT_EQ(value.substr(2 + length), std::string(total - length, 77));
        ASSERT_EQ(CodecDecode(value), text);
      }
    }
  }
}

TEST(Codec, CutRule) {
  struct Case {
    int total;
    size_t length;
    size_t kept;
  };
  const std::vector<Case> cases = {
      {7, 0, 0},    {7, 6, 6},    {7, 7, 5},    {7, 12, 5},      {40, 39, 39},    {40, 40, 38}, {40, 41, 38},
      {50, 49, 49}, {50, 50, 48}, {50, 99, 48}, {300, 299, 255}, {300, 300, 255}, {1, 1, 0},    {-3, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "total " << c.total << " length " << c.length);
    const std::string text = SampleText(c.length);
    const std::string value = CodecEncode(text, c.total, Fixed(3, 0, 1));
    const size_t effectiveTotal = std::clamp(c.total, 0, 255);
    EXPECT_EQ(value.size(), effectiveTotal + 2);
    EXPECT_EQ(static_cast<uint8_t>(value[0]), c.kept);
    EXPECT_EQ(CodecDecode(value), text.substr(0, c.kept));
  }
}

TEST(Codec, RandomChoicesStayInRange) {
  std::set<int> variants;
  std::set<int> nibbles;
  std::array<int, 256> fillerCounts{};
  const std::string text = "user@example.org";
  for (int i = 0; i < 2000; ++i) {
    const std::string value = CodecEncode(text, 50);
    ASSERT_EQ(CodecDecode(value), text);
    variants.insert(static_cast<uint8_t>(value[1]) >> 4);
    nibbles.insert(value[1] & 0x0F);
    for (size_t k = 2 + text.size(); k < value.size(); ++k) ++fillerCounts[static_cast<uint8_t>(value[k])];
  }
  EXPECT_EQ(variants.size(), 15u);
  EXPECT_EQ(*variants.rbegin(), 14) << "variant 15 is never written";
  EXPECT_EQ(nibbles.size(), 16u);
  EXPECT_EQ(fillerCounts[0], 0);
  EXPECT_EQ(fillerCounts[255], 0);
  for (int b = 1; b <= 254; ++b) EXPECT_GT(fillerCounts[b], 0) << "filler byte " << b << " never drawn";
}

// The mixed variants XOR a numerator stream (variants 9..11) with a start-value stream (12..15); this pins
// the variant table, including the row 15 that is only ever read.
TEST(Codec, VariantTable) {
  const size_t n = 255;
  const std::string n1 = Keystream(9, n), n2 = Keystream(10, n), n3 = Keystream(11, n);
  const std::string s3 = Keystream(12, n), s1 = Keystream(13, n), s2 = Keystream(14, n), s4 = Keystream(15, n);
  const std::vector<std::pair<int, std::string>> mixed = {
      {0, XorOf(n1, s1)}, {1, XorOf(n1, s4)}, {2, XorOf(n1, s2)}, {3, XorOf(n2, s3)}, {4, XorOf(n2, s1)},
      {5, XorOf(n2, s4)}, {6, XorOf(n3, s4)}, {7, XorOf(n3, s3)}, {8, XorOf(n3, s2)},
  };
  for (const auto& [variant, expected] : mixed) EXPECT_EQ(Keystream(variant, n), expected) << variant;
  const std::set<std::string> distinct = {n1, n2, n3, s1, s2, s3, s4};
  EXPECT_EQ(distinct.size(), 7u) << "every numerator and start value gives its own stream";
  for (int low = 0; low < 16; ++low) {
    std::string value = Bytes({3, 0xF0 | low}) + XorOf("abc", s4.substr(0, 3));
    EXPECT_EQ(CodecDecode(value), "abc") << "high nibble 15 decodes with S4 alone";
  }
}

// a(i) = N / (i + 4) * 100 rounded half to even, checked against exact integer arithmetic. Where the quotient
// has no exact binary form, a true half of the exact value is not a half in extended precision and may round
// either way; where it has one (i + 4 = 8 for every numerator) the halves must go to the even neighbour.
TEST(Codec, NumeratorStreamRounding) {
  const std::vector<std::pair<int, int>> numerators = {{9, 173}, {10, 59}, {11, 211}};
  int exactHalves = 0;
  for (const auto& [variant, numerator] : numerators) {
    const std::string stream = Keystream(variant, 255);
    for (int i = 1; i <= 255; ++i) {
      SCOPED_TRACE(::testing::Message() << "variant " << variant << " i " << i);
      const int divisor = i + 4;
      const int below = numerator * 100 / divisor;
      const int twiceRemainder = 2 * (numerator * 100 % divisor);
      const int reduced = divisor / std::gcd(numerator, divisor);
      const bool quotientExact = (reduced & (reduced - 1)) == 0;
      const int key = static_cast<uint8_t>(stream[i - 1]);
      if (twiceRemainder != divisor) {
        ASSERT_EQ(key, (twiceRemainder > divisor ? below + 1 : below) & 0xFF);
      } else if (quotientExact) {
        ++exactHalves;
        ASSERT_EQ(key, (below % 2 == 0 ? below : below + 1) & 0xFF);
      } else {
        ASSERT_TRUE(key == (below & 0xFF) || key == ((below + 1) & 0xFF));
      }
    }
  }
  EXPECT_EQ(exactHalves, 3) << "173, 59 and 211 over 8 give exact halves (2162.5, 737.5, 2637.5)";
}

TEST(Codec, DecodeIsBounded) {
  const std::string full = CodecEncode("password", 40, Fixed(6, 2, 200));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {Bytes({5}), ""},
      {Bytes({0, 0x60}), ""},
      {full.substr(0, 6), "pass"},                           // length byte claims 8, value holds 4
      {Bytes({255, 0x60}) + full.substr(2, 8), "password"},  // claims 255, holds 8 text bytes
      {full + "trailing", "password"},                       // bytes after the value are ignored
  };
  for (const auto& [data, expected] : cases) EXPECT_EQ(CodecDecode(data), expected) << data.size();
}

// Fixed encodings: a change of the key table, the keystream arithmetic or the layout breaks every stored
// file, and breaks these first.
TEST(Codec, GoldenValues) {
  struct Golden {
    std::string text;
    int total;
    int variant;
    int nibble;
    int filler;
    std::string value;
  };
  const std::vector<Golden> goldens = {
      {"smtp.example.org", 50, 0, 5, 7,
       "\x10\x05\x3F\xE1\x06\xD8\x4C\x42\xB7\x2C\xAD\x5C\x11\x5C\xD7\xA9\xF6\x08\x07\x07"
       "\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07"
       "\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07\x07"},
      {"587", 7, 10, 0, 254, "\x03\xA0\xA9\xEF\x7C\xFE\xFE\xFE\xFE"},
      {"p\xE4"
       "ss=w\x80"
       "rd",
       40, 12, 15, 1,
       "\x09\xCF\xA0\xEF\x43\x38\x5D\x05\x01\xFC\xFD\x01\x01\x01\x01\x01\x01\x01\x01\x01"
       "\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01\x01"
       "\x01\x01"},
      {"bench-user", 50, 6, 3, 100,
       "\x0A\x63\x24\xE4\x96\x6D\x02\x57\x4D\xE5\x78\xDD\x64\x64\x64\x64\x64\x64\x64\x64"
       "\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64"
       "\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64\x64"},
      {"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX", 50, 8, 9, 200,
       "\x30\x89\x3E\x9E\xFD\x41\x36\xD0\x8D\x29\x97\x3B\xAE\x8A\x7C\x35\xED\xB4\x7C\x28"
       "\x0C\xF4\xCA\xA2\x86\x8A\xA5\xC2\xE3\xDF\x2E\x3C\x06\x17\x63\x42\x77\x7C\x61\x91"
       "\x88\x9E\xA8\xAE\xA7\xD3\xC7\xCF\x8B\x82\xC8\xC8"},
  };
  ASSERT_FALSE(goldens.empty());
  for (const Golden& g : goldens) {
    SCOPED_TRACE(g.text);
    EXPECT_EQ(CodecEncode(g.text, g.total, Fixed(g.variant, g.nibble, g.filler)), g.value);
    EXPECT_EQ(CodecDecode(g.value), g.text.substr(0, static_cast<uint8_t>(g.value[0])));
  }
}

TEST(Codec, Utf8GoesThroughWindows1252) {
  const std::string value = CodecEncodeUtf8("Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC \xE6\x97\xA5", 40);  // Grüße € 日
  EXPECT_EQ(static_cast<uint8_t>(value[0]), 9) << "one byte per character";
  EXPECT_EQ(CodecDecode(value),
            "Gr\xFC\xDF"
            "e \x80 ?");
  EXPECT_EQ(CodecDecodeUtf8(value), "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC ?");
}

}  // namespace
}  // namespace quarn::config
