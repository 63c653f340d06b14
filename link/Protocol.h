#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quarn::link {

inline constexpr char kFrameStart = 0x0E;
inline constexpr char kCR = 13;
inline constexpr char kTab = 9;
inline constexpr int kFrameFields = 10;
// A command line on the wire carries at most this many characters before its CR.
inline constexpr size_t kMaxCommandLength = 255;

inline constexpr const char* kAddress = "00";

// The longest a measurement frame takes on the line at 9600 baud: a start byte, ten fields of up to six
// digits with their TABs, CR; ten bits a byte.
inline constexpr int kFrameTimeMs = 75;

// "#" + address + command; the CR is added when the line is written.
std::string BuildRequest(std::string_view address, std::string_view command);

// The span command's argument: the concentration as exactly four digits ("0500" for 500).
// Values outside 0..9999 are the caller's fault and are clamped.
std::string SpanArgument(int concentration);

// The bytes of a command line: each UTF-16 code unit of the UTF-8 text as its low 8 bits, then CR.
// Returns false, leaving `line` untouched, when the text holds more than kMaxCommandLength units.
bool CommandLineBytes(std::string_view utf8Command, std::string& line);

// The result of reading the fields of one frame.
struct FrameScan {
  int fieldCount = 0;     // fields closed by a TAB, including those beyond the capacity of `values`
  bool complete = false;  // a CR ended the frame
  size_t end = 0;         // index of the CR, or bytes.size() when there was none
};

// Reads the fields of a frame whose start byte precedes bytes[pos]: digits accumulate, a TAB closes a
// non-empty field, CR completes the frame, every other byte is ignored (signs, points, commas, letters).
// Field k goes to values[k] while k < values.size(); other entries are left alone. A field too large for
// a 32-bit signed integer reads as 0.
FrameScan ParseFrameBody(std::string_view bytes, size_t pos, std::span<int32_t> values);

// Calls onFrame(values, fieldCount) for every complete frame in one read, in order. Bytes outside a
// start-byte..CR frame are skipped; a start byte inside a frame is ignored; a frame without its CR is dropped.
template <typename OnFrame>
void ForEachFrame(std::string_view bytes, OnFrame&& onFrame) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != kFrameStart) continue;
    int32_t values[kFrameFields] = {};
    const FrameScan scan = ParseFrameBody(bytes, i + 1, values);
    if (!scan.complete) return;
    if (!onFrame(std::span<const int32_t, kFrameFields>(values), scan.fieldCount)) return;
    i = scan.end;
  }
}

// The serial number in a reply: its text up to the first CR when that is digits only (blanks and LFs around
// them aside); empty for anything else, so that a stray frame or part of one is never taken as a number.
std::string DigitFilter(std::string_view bytes);
// A reply that holds a frame start or a TAB is (part of) a measurement frame, never an identity text.
bool LooksLikeFrame(std::string_view bytes);
// Every byte of a reply except CR, also those after a CR.
std::string CrFilter(std::string_view bytes);

}  // namespace quarn::link
