// libFuzzer target: the console's command-list reader on arbitrary file content.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/testing/FuzzCheck.h"
#include "console/CommandList.h"

using quarn::base::FuzzCheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto entries = quarn::console::DecodeCommandFile(bytes);
  size_t breaks = 0;
  for (char c : bytes) breaks += c == '\r' || c == '\n';
  // One entry per line at most, and no entry keeps a line break of its own.
  FuzzCheck(entries.size() <= breaks + 1);
  for (const std::string& entry : entries) {
    FuzzCheck(entry.find_first_of("\r\n") == std::string::npos);
  }
  return 0;
}
