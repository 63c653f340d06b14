#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::recorder {

// What the command line asks for.
struct Options {
  std::string port;    // port number as decimal text ("7"); empty when found by serial number
  std::string serial;  // --serial: the serial number whose port is searched
  int32_t intervalMs = 2000;
  std::string outDir;  // empty: the window's save folder
  std::optional<std::chrono::milliseconds> duration;
  std::optional<uint64_t> count;
  // A lost sensor is looked for and the run resumes when the same one answers again.
  bool reconnect = true;
  std::optional<std::chrono::milliseconds> reconnectTimeout;  // unlimited when not given
  // --publish: the broker URL as given; the other publish options only with it.
  std::string publishUrl;
  std::string publishPasswordFile;
  std::string publishCaFile;
  bool publishInsecure = false;
  bool identify = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name; nothing, with error set, when they are wrong.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error);

// "7" or "COM7" as the window numbers ports; the decimal text of the number.
std::optional<std::string> ParsePort(std::string_view text);

// Seconds with a point or a comma, a multiple of 0.5 from 0.5 to 99; milliseconds. Nothing otherwise, with
// why saying what is wrong ("is not a multiple of 0.5 seconds"): a recorder that quietly polled at another
// rate than asked would mislead whoever reads its files.
std::optional<int32_t> ParseIntervalMs(std::string_view text, std::string* why = nullptr);

// The time from one request to the next that the poller keeps for an interval: whole seconds, halves to
// the even neighbour (1.5 s and 2.5 s both wait 2 s); 0.5 s stays the fastest setting.
int32_t PollingPeriodMs(int32_t intervalMs);

// "2h30m", "1d", "90s", "45m10s" or plain seconds ("600"), units in falling order and each once; nothing for a
// zero or malformed duration.
std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text);

std::string Usage();

}  // namespace quarn::recorder
