#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn::analysis {

// SHA-256 (FIPS 180-4), fed in pieces of any size.
class Sha256 {
 public:
  Sha256();
  void Add(std::string_view bytes);
  // The digest as 64 lower-case hex digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const unsigned char* block);

  std::array<uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};
  size_t pendingSize_ = 0;
  uint64_t totalBytes_ = 0;
};

std::string Sha256Hex(std::string_view bytes);

// The file's digest and size, or nothing with why not in error.
struct FileDigest {
  std::string sha256;
  uint64_t size = 0;
};
std::optional<FileDigest> DigestFile(const std::string& path, std::string& error);

}  // namespace quarn::analysis
