// libFuzzer target: the frame parser on arbitrary bytes from the line, as every reader meets them.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/testing/FuzzCheck.h"
#include "link/Protocol.h"

using quarn::base::FuzzCheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  size_t frames = 0;
  quarn::link::ForEachFrame(bytes, [&](std::span<const int32_t, quarn::link::kFrameFields> values, int fields) {
    FuzzCheck(fields >= 0);
    for (int32_t v : values) FuzzCheck(v >= 0);
    ++frames;
    return true;
  });
  size_t crs = 0;
  for (char c : bytes) crs += c == quarn::link::kCR;
  FuzzCheck(frames <= crs);

  // A value array of any size: nothing is written past it, and the scan ends inside the bytes.
  if (size > 0) {
    std::vector<int32_t> values(data[0] % 12, -1);
    const size_t start = size > 1 ? data[1] % size : 0;
    const quarn::link::FrameScan scan = quarn::link::ParseFrameBody(bytes, start, values);
    FuzzCheck(scan.fieldCount >= 0);
    FuzzCheck(scan.end <= size);
    FuzzCheck(!scan.complete || bytes[scan.end] == quarn::link::kCR);
    FuzzCheck(scan.complete || scan.end == size);
  }
  return 0;
}
