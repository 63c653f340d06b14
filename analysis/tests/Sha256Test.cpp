#include "analysis/Sha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quarn::analysis {
namespace {

struct Case {
  std::string message;
  std::string digest;
};

// The test vectors of FIPS 180-4's examples, and messages around the 55/56/64-byte padding borders.
TEST(Sha256Test, KnownDigests) {
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const Case& c : cases) EXPECT_EQ(Sha256Hex(c.message), c.digest) << c.message.size() << " bytes";
}

TEST(Sha256Test, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  // A million "a", fed in pieces that straddle the 64-byte blocks.
  Sha256 digest;
  size_t fed = 0;
  for (size_t piece = 1; fed < 1000000; piece = piece % 97 + 1) {
    const size_t take = std::min(piece, 1000000 - fed);
    digest.Add(std::string(take, 'a'));
    fed += take;
  }
  EXPECT_EQ(digest.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256Test, AFileIsDigestedWithItsSize) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "quarn-sha256-test.bin";
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(i * 7);
  std::ofstream(path, std::ios::binary) << bytes;
  std::string error;
  const std::optional<FileDigest> digest = DigestFile(path.string(), error);
  ASSERT_TRUE(digest) << error;
  EXPECT_EQ(digest->size, bytes.size());
  EXPECT_EQ(digest->sha256, Sha256Hex(bytes));
  std::filesystem::remove(path);
  EXPECT_FALSE(DigestFile(path.string(), error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace quarn::analysis
