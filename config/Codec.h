#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quarn::config {

// The string scrambler of the stored settings: an obfuscation (the key table is built in), not encryption.
// A scrambled value of a text of L bytes is total + 2 bytes: L, a variant byte (variant in the high nibble,
// a random low nibble), the L text bytes XORed with the variant's keystream, then total - L filler bytes
// in 1..254.

// Draws a uniform integer in 0 .. bound - 1. Tests pass a fixed one to pin variant and filler.
using CodecRandom = std::function<int(int bound)>;

// Scrambles a single-byte text. A text of total bytes or more is cut to its first total - 2 bytes; a total
// above 254 counts as 255, and a text that still does not fit the one-byte length is cut to 255 bytes.
// Totals below 0 count as 0. Never fails.
std::string CodecEncode(std::string_view text, int total);
// The same with the random choices taken from random: variant random(15), low nibble random(16), then
// 1 + random(254) for each filler byte, in that order.
std::string CodecEncode(std::string_view text, int total, const CodecRandom& random);

// The text of a scrambled value. Never fails and checks nothing: an empty value gives an empty text, and a
// length byte that claims more bytes than the value holds gives only the bytes that are there.
std::string CodecDecode(std::string_view data);

// UTF-8 wrappers for texts the user sees. The scrambled bytes are Windows-1252 (the program's single-byte
// code page on every platform, so files move between systems); characters outside it are stored as '?'.
std::string CodecEncodeUtf8(std::string_view utf8Text, int total);
std::string CodecDecodeUtf8(std::string_view data);

}  // namespace quarn::config
