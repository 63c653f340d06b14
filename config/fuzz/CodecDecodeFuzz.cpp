// libFuzzer target: CodecDecode on arbitrary bytes, and the encode/decode round trip. Built with
// QUARN_BUILD_FUZZ (scripts/fuzz).
#include <cstdint>
#include <string>
#include <string_view>

#include "base/testing/FuzzCheck.h"
#include "config/Codec.h"

using quarn::base::FuzzCheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = quarn::config::CodecDecode(bytes);
  const size_t available = size < 2 ? 0 : size - 2;
  FuzzCheck(text.size() == (size == 0 ? 0 : std::min<size_t>(data[0], available)));

  // The input as a text: the total and the random choices come from its first bytes.
  if (size >= 2) {
    const int total = static_cast<int8_t>(data[0]) * 3;
    size_t next = 1;
    const auto random = [&](int bound) { return next < size ? data[next++] % bound : 0; };
    const std::string_view plain = bytes.substr(2);
    const std::string value = quarn::config::CodecEncode(plain, total, random);
    const int effectiveTotal = total < 0 ? 0 : (total > 254 ? 255 : total);
    FuzzCheck(value.size() == static_cast<size_t>(effectiveTotal) + 2);
    const std::string decoded = quarn::config::CodecDecode(value);
    FuzzCheck(plain.substr(0, decoded.size()) == decoded);
    FuzzCheck(decoded.size() == (plain.size() < static_cast<size_t>(std::max(total, 0))
                                     ? std::min<size_t>(plain.size(), effectiveTotal)
                                     : std::min<size_t>(std::max(total - 2, 0), effectiveTotal)));
    for (size_t i = 2 + decoded.size(); i < value.size(); ++i) FuzzCheck(value[i] != 0 && value[i] != '\xFF');
  }
  return 0;
}
