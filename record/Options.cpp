#include "Options.h"

#include <cctype>
#include <limits>

#include "link/PortNames.h"

namespace quarn::record {

namespace {

constexpr int kMinTenths = 5;
constexpr int kMaxTenths = 990;

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Decimal digits to a number; nothing when it does not fit.
std::optional<uint64_t> Number(std::string_view digits) {
  if (!AllDigits(digits)) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

std::optional<std::string> ParsePort(std::string_view text) {
  std::string name(text);
  if (AllDigits(text)) name = "COM" + name;
  // The window's own rule for port names: COM, then a number from 1 without leading zeros.
  const std::optional<int> number = link::ComNumber(name);
  if (!number) return std::nullopt;
  return std::to_string(*number);
}

std::optional<int32_t> ParseIntervalMs(std::string_view text) {
  const size_t separator = text.find_first_of(".,");
  const std::string_view whole = text.substr(0, separator);
  const std::string_view fraction = separator == std::string_view::npos ? "" : text.substr(separator + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if ((!whole.empty() && !AllDigits(whole)) || (!fraction.empty() && !AllDigits(fraction))) return std::nullopt;
  if (whole.size() > 3) return std::nullopt;
  int tenths = (whole.empty() ? 0 : static_cast<int>(*Number(whole))) * 10;
  if (!fraction.empty()) tenths += fraction[0] - '0';
  // What lies beyond the tenths rounds to the nearest, halves to the even neighbour.
  const std::string_view rest = fraction.size() > 1 ? fraction.substr(1) : "";
  if (!rest.empty()) {
    const bool aboveHalf =
        rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string_view::npos);
    const bool half = rest[0] == '5' && !aboveHalf;
    if (aboveHalf || (half && tenths % 2 == 1)) ++tenths;
  }
  if (tenths < kMinTenths || tenths > kMaxTenths) return std::nullopt;
  return tenths * 100;
}

std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text) {
  using namespace std::chrono;
  if (AllDigits(text)) {
    const std::optional<uint64_t> seconds = Number(text);
    if (!seconds || *seconds == 0 || *seconds > 100ull * 365 * 86400) return std::nullopt;
    return milliseconds(seconds.value() * 1000);
  }
  uint64_t total = 0;
  size_t i = 0;
  if (text.empty()) return std::nullopt;
  while (i < text.size()) {
    size_t end = i;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    const std::optional<uint64_t> amount = Number(text.substr(i, end - i));
    if (!amount || end == text.size() || *amount > 100ull * 365 * 86400) return std::nullopt;
    uint64_t unit = 0;
    switch (text[end]) {
      case 'd': unit = 86400; break;
      case 'h': unit = 3600; break;
      case 'm': unit = 60; break;
      case 's': unit = 1; break;
      default: return std::nullopt;
    }
    total += *amount * unit;
    if (total > 100ull * 365 * 86400) return std::nullopt;
    i = end + 1;
  }
  if (total == 0) return std::nullopt;
  return milliseconds(total * 1000);
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error) {
  Options options;
  bool intervalGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    auto flag = [&](bool& target) {
      if (value) {
        error = name + " takes no value";
        return false;
      }
      target = true;
      return true;
    };
    if (name == "--help" || name == "-h") {
      if (!flag(options.help)) return std::nullopt;
      continue;
    }
    if (name == "--identify") {
      if (!flag(options.identify)) return std::nullopt;
      continue;
    }
    if (name == "--quiet" || name == "-q") {
      if (!flag(options.quiet)) return std::nullopt;
      continue;
    }
    if (name != "--port" && name != "--serial" && name != "--interval" && name != "--out" && name != "--duration" &&
        name != "--count") {
      error = "unknown argument \"" + name + "\"";
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (name == "--port") {
      const std::optional<std::string> port = ParsePort(*value);
      if (!port) {
        error = "--port: \"" + *value + "\" is no port number (7 or COM7)";
        return std::nullopt;
      }
      options.port = *port;
    } else if (name == "--serial") {
      if (!AllDigits(*value)) {
        error = "--serial: \"" + *value + "\" is no serial number (digits only)";
        return std::nullopt;
      }
      options.serial = *value;
    } else if (name == "--interval") {
      const std::optional<int32_t> ms = ParseIntervalMs(*value);
      if (!ms) {
        error = "--interval: \"" + *value + "\" is not a number of seconds from 0.5 to 99";
        return std::nullopt;
      }
      options.intervalMs = *ms;
      intervalGiven = true;
    } else if (name == "--out") {
      if (value->empty()) {
        error = "--out needs a folder";
        return std::nullopt;
      }
      options.outDir = *value;
    } else if (name == "--duration") {
      options.duration = ParseDuration(*value);
      if (!options.duration) {
        error = "--duration: \"" + *value + "\" is no duration (for example 2h30m, 45m, 90s)";
        return std::nullopt;
      }
    } else {
      options.count = Number(*value);
      if (!options.count || *options.count == 0) {
        error = "--count: \"" + *value + "\" is no number of records from 1";
        return std::nullopt;
      }
    }
  }
  if (options.help) return options;
  if (options.port.empty() == options.serial.empty()) {
    error = "give either --port N or --serial SN";
    return std::nullopt;
  }
  if (options.identify && (intervalGiven || options.duration || options.count || !options.outDir.empty())) {
    error = "--identify records nothing: --interval, --out, --duration and --count do not apply";
    return std::nullopt;
  }
  return options;
}

std::string Usage() {
  return "usage: quarn-record (--port N | --serial SN) [--interval S] [--out DIR]\n"
         "                    [--duration 2h30m | --count N] [--quiet]\n"
         "       quarn-record (--port N | --serial SN) --identify\n"
         "Records the measurements of one sensor into a data file of the save folder, as the window does.\n"
         "  --port N       port number as the window counts them (7 or COM7)\n"
         "  --serial SN    the port whose sensor answers with this serial number\n"
         "  --interval S   sampling interval in seconds, 0.5 to 99 (default 2)\n"
         "  --out DIR      save folder (default: Documents/Quarn/Save)\n"
         "  --duration D   stop after D (1d, 2h30m, 45m, 90s); --count N: after N records\n"
         "  --identify     print port, serial number, firmware, type code and range code, and exit\n"
         "  --quiet        print nothing but errors\n"
         "Records go to standard output (time and ten values, tab-separated), a summary to standard error\n"
         "every minute. SIGINT or SIGTERM ends the run like Stop.\n"
         "Exit status: 0 done, 2 usage, 3 port absent or serial number not found, 4 port busy,\n"
         "5 sensor silent, 6 converter pulled out, 7 save folder not writable, 8 write failed (disk full).\n";
}

}  // namespace quarn::record
