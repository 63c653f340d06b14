#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafile/LineSource.h"

namespace quarn::datafile {
namespace {

// The lines as they are meant to come out: split at LF, each cut to kLongestLine bytes, a last line without its
// LF taken too.
std::vector<std::string> ExpectedLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, std::min(end - start, kLongestLine)));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> BlockLines(const std::string& text, size_t blockBytes, size_t& blocks, uint64_t& consumed) {
  MemorySource source(text);
  LineBlockReader reader(source, blockBytes);
  LineBlock block;
  std::vector<std::string> lines;
  blocks = 0;
  while (reader.Next(block)) {
    ++blocks;
    EXPECT_TRUE(block.size == 0 || block.bytes[block.size - 1] == '\n');
    EXPECT_EQ(block.first, blocks == 1);
    EXPECT_GE(block.consumed, consumed);
    consumed = block.consumed;
    size_t start = 0;
    while (start < block.size) {
      const size_t end = std::string_view(block.bytes.data(), block.size).find('\n', start);
      lines.emplace_back(block.bytes.data() + start, end - start);
      start = end + 1;
    }
  }
  return lines;
}

// Blocks of whole lines give back every line of the source once, in order, whatever the block size and wherever
// a long line falls; a line longer than kLongestLine keeps its start only.
TEST(LineBlockReaderTest, GivesEveryLineOnceCutAtTheLongestLine) {
  const std::string data = "05.09.2013 14:03:07\t1\t2\t3\r\n";
  std::string many;
  for (int i = 0; i < 5000; ++i) many += data;
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"short lines", many},
      {"no line end at the end", many + "cut off"},
      {"empty lines", "\n\n" + many + "\n\n"},
      {"a line of exactly the longest", many + std::string(kLongestLine, 'a') + "\n" + many},
      {"a line one byte longer", many + std::string(kLongestLine + 1, 'b') + "\n" + many},
      {"a line of three blocks", many + std::string(7 * kLongestLine + 3, 'c') + "\r\n" + many},
      {"a long last line without its end", many + std::string(3 * kLongestLine, 'd')},
      {"long lines back to back",
       std::string(kLongestLine + 5, 'e') + "\n" + std::string(kLongestLine * 2, 'f') + "\n"},
      {"one line", "x"},
  };
  for (const auto& c : cases) {
    for (const size_t blockBytes : {size_t{0}, 2 * kLongestLine + 7, size_t{1} << 20}) {
      SCOPED_TRACE(std::string(c.name) + ", blocks of " + std::to_string(blockBytes));
      size_t blocks = 0;
      uint64_t consumed = 0;
      const std::vector<std::string> lines = BlockLines(c.text, blockBytes, blocks, consumed);
      EXPECT_EQ(lines, ExpectedLines(c.text));
      EXPECT_EQ(consumed, c.text.size());
      if (c.text.size() > 2 * std::max(blockBytes, 2 * kLongestLine)) {
        EXPECT_GT(blocks, 1u);
      }
    }
  }
}

}  // namespace
}  // namespace quarn::datafile
