#include "config/Codec.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>

#include "base/CodePage.h"

namespace quarn::config {

namespace {

// File-format constants: every stored settings file depends on these exact values. Changing any of them makes
// all files written before unreadable.
constexpr std::array<uint8_t, 3> kNumerators = {173, 59, 211};  // N1, N2, N3
constexpr std::array<double, 4> kStartValues = {
    7.389056098930650,   // S1
    1.414213562373095,   // S2
    0.618033988749895,   // S3 (below 1: its first logarithms are negative)
    23.140692632779269,  // S4
};

struct Variant {
  std::optional<int> numerator;   // index into kNumerators
  std::optional<int> startValue;  // index into kStartValues
};

// Rows 0..14 are written; 15 is only ever read. A row with both terms mixes them by XOR.
// clang-format off
constexpr std::array<Variant, 16> kVariants = {{
    {0, 0}, {0, 3}, {0, 1}, {1, 2}, {1, 0}, {1, 3}, {2, 3}, {2, 2}, {2, 1},
    {0, std::nullopt}, {1, std::nullopt}, {2, std::nullopt},
    {std::nullopt, 2}, {std::nullopt, 0}, {std::nullopt, 1}, {std::nullopt, 3},
}};
// clang-format on

// Halves to the even neighbour, independent of the floating-point environment's rounding mode.
long double RoundHalfEven(long double value) {
  const long double floor = std::floor(value);
  const long double fraction = value - floor;
  if (fraction > 0.5L) return floor + 1;
  if (fraction < 0.5L) return floor;
  return std::fmod(floor, 2.0L) == 0 ? floor : floor + 1;
}

uint8_t LowByte(long double rounded) {
  // Two's complement low byte, also for the negative logarithms of values below 1.
  return static_cast<uint8_t>(static_cast<int64_t>(rounded) & 0xFF);
}

// Keystream bytes k(1..), in extended precision (x87 80-bit long double with GCC, Clang and MinGW). Where
// long double is only a double (MSVC) a(196) of N2 and N3 differs; the stored fields never get past
// position 49.
class Keystream {
 public:
  explicit Keystream(int variant) : variant_(kVariants[variant & 0x0F]) {
    if (variant_.startValue) x_ = kStartValues[*variant_.startValue];
  }

  uint8_t Next() {
    ++position_;
    uint8_t key = 0;
    if (variant_.numerator) {
      const long double n = kNumerators[*variant_.numerator];
      key ^= LowByte(RoundHalfEven(n / static_cast<long double>(position_ + 4) * 100.0L));
    }
    if (variant_.startValue) {
      key ^= LowByte(RoundHalfEven(std::log(static_cast<long double>(x_)) * 100.0L));
      x_ = x_ + 0.5;
    }
    return key;
  }

 private:
  Variant variant_;
  double x_ = 0;
  int position_ = 0;
};

int SystemRandom(int bound) {
  thread_local std::mt19937 engine{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, bound - 1)(engine);
}

// Keeps a bad generator's draw inside 0 .. bound - 1.
int Draw(const CodecRandom& random, int bound) {
  const int value = random(bound) % bound;
  return value < 0 ? value + bound : value;
}

}  // namespace

std::string CodecEncode(std::string_view text, int total) { return CodecEncode(text, total, SystemRandom); }

std::string CodecEncode(std::string_view text, int total, const CodecRandom& random) {
  if (total < 0) total = 0;
  if (text.size() >= static_cast<size_t>(total)) text = text.substr(0, total >= 2 ? total - 2 : 0);
  if (total > 254) total = 255;
  if (text.size() > static_cast<size_t>(total)) text = text.substr(0, total);

  const int variant = Draw(random, 15);
  std::string out;
  out.reserve(total + 2);
  out += static_cast<char>(text.size());
  out += static_cast<char>((variant << 4) | Draw(random, 16));
  Keystream keystream(variant);
  for (char c : text) out += static_cast<char>(static_cast<uint8_t>(c) ^ keystream.Next());
  for (size_t i = text.size(); i < static_cast<size_t>(total); ++i) out += static_cast<char>(1 + Draw(random, 254));
  return out;
}

std::string CodecDecode(std::string_view data) {
  if (data.size() < 2) return {};
  const size_t claimed = static_cast<uint8_t>(data[0]);
  const std::string_view body = data.substr(2, claimed);
  Keystream keystream(static_cast<uint8_t>(data[1]) >> 4);
  std::string text;
  text.reserve(body.size());
  for (char c : body) text += static_cast<char>(static_cast<uint8_t>(c) ^ keystream.Next());
  return text;
}

// The one place where user text meets the stored bytes: Windows-1252 both ways.
std::string CodecEncodeUtf8(std::string_view utf8Text, int total) {
  return CodecEncode(base::Utf8ToCp1252(utf8Text), total);
}

std::string CodecDecodeUtf8(std::string_view data) { return base::Cp1252ToUtf8(CodecDecode(data)); }

}  // namespace quarn::config
