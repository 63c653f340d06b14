#include "Options.h"

#include <cctype>
#include <limits>
#include <set>

#include "link/PortNames.h"
#include "publish/BrokerUrl.h"

namespace quarn::recorder {

namespace {

constexpr int32_t kMinMs = 500;
constexpr int32_t kMaxMs = 99000;

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

std::optional<int32_t> ParseIntervalMs(std::string_view text, std::string* why) {
  auto refuse = [&](std::string reason) -> std::optional<int32_t> {
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  const size_t separator = text.find_first_of(".,");
  const std::string_view whole = text.substr(0, separator);
  const std::string_view fraction = separator == std::string_view::npos ? "" : text.substr(separator + 1);
  if ((whole.empty() && fraction.empty()) || (!whole.empty() && !AllDigits(whole)) ||
      (!fraction.empty() && !AllDigits(fraction)) || (whole.size() > 1 && whole[0] == '0'))
    return refuse("is not a number of seconds");
  if (whole.size() > 3) return refuse("is outside 0.5 to 99 seconds");
  // Only halves: the poller cannot keep any finer step, so a finer value would be quietly changed.
  const std::string_view tail = fraction.empty() ? "" : fraction.substr(1);
  const char tenth = fraction.empty() ? '0' : fraction[0];
  if ((tenth != '0' && tenth != '5') || tail.find_first_not_of('0') != std::string_view::npos)
    return refuse("is not a multiple of 0.5 seconds");
  const int32_t ms = (whole.empty() ? 0 : static_cast<int32_t>(*Number(whole))) * 1000 + (tenth == '5' ? 500 : 0);
  if (ms < kMinMs || ms > kMaxMs) return refuse("is outside 0.5 to 99 seconds");
  return ms;
}

int32_t PollingPeriodMs(int32_t intervalMs) {
  if (intervalMs == kMinMs) return intervalMs;
  // Whole seconds, halves to the even neighbour, as the poller waits.
  const int32_t seconds = intervalMs / 1000;
  const int32_t rest = intervalMs % 1000;
  return (rest > 500 || (rest == 500 && seconds % 2 == 1) ? seconds + 1 : seconds) * 1000;
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
  // Units in falling order, each at most once: "1h1h" or "5m1h" is more likely a typing slip than a sum.
  uint64_t previousUnit = std::numeric_limits<uint64_t>::max();
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
    if (unit >= previousUnit) return std::nullopt;
    previousUnit = unit;
    total += *amount * unit;
    if (total > 100ull * 365 * 86400) return std::nullopt;
    i = end + 1;
  }
  if (total == 0) return std::nullopt;
  return milliseconds(total * 1000);
}

std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error) {
  Options options;
  std::set<std::string> given;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "-h") name = "--help";
    if (name == "-q") name = "--quiet";
    const bool flag = name == "--help" || name == "--version" || name == "--identify" || name == "--quiet" ||
                      name == "--no-reconnect" || name == "--publish-insecure";
    const bool valued = name == "--port" || name == "--serial" || name == "--interval" || name == "--out" ||
                        name == "--duration" || name == "--count" || name == "--reconnect-timeout" ||
                        name == "--publish" || name == "--publish-password-file" || name == "--publish-ca";
    if (!flag && !valued) {
      error = (name.rfind('-', 0) == 0 ? "unknown option \"" : "unexpected argument \"") + name + "\"";
      return std::nullopt;
    }
    // A second value would silently win over the first; say so instead.
    if (!given.insert(name).second) {
      error = name + " is given twice";
      return std::nullopt;
    }
    if (flag) {
      if (value) {
        error = name + " takes no value";
        return std::nullopt;
      }
      if (name == "--no-reconnect") {
        options.reconnect = false;
        continue;
      }
      if (name == "--publish-insecure") {
        options.publishInsecure = true;
        continue;
      }
      (name == "--help"       ? options.help
       : name == "--version"  ? options.version
       : name == "--identify" ? options.identify
                              : options.quiet) = true;
      continue;
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
      std::string why;
      const std::optional<int32_t> ms = ParseIntervalMs(*value, &why);
      if (!ms) {
        error = "--interval: \"" + *value + "\" " + why + " (0.5, 1, 1.5 ... 99)";
        return std::nullopt;
      }
      options.intervalMs = *ms;
    } else if (name == "--out") {
      if (value->empty()) {
        error = "--out needs a folder";
        return std::nullopt;
      }
      options.outDir = *value;
    } else if (name == "--publish") {
      std::string why;
      const std::optional<publish::BrokerUrl> url = publish::ParseBrokerUrl(*value, why);
      if (!url) {
        error = "--publish: the broker URL " + why + " (mqtt://[user@]host[:port]/prefix or mqtts://...)";
        return std::nullopt;
      }
      options.publishUrl = *value;
    } else if (name == "--publish-password-file" || name == "--publish-ca") {
      if (value->empty()) {
        error = name + " needs a file";
        return std::nullopt;
      }
      (name == "--publish-ca" ? options.publishCaFile : options.publishPasswordFile) = *value;
    } else if (name == "--reconnect-timeout") {
      options.reconnectTimeout = ParseDuration(*value);
      if (!options.reconnectTimeout) {
        error = "--reconnect-timeout: \"" + *value + "\" is no duration (for example 10m, 90s, 1h; each unit once)";
        return std::nullopt;
      }
    } else if (name == "--duration") {
      options.duration = ParseDuration(*value);
      if (!options.duration) {
        error = "--duration: \"" + *value + "\" is no duration (for example 2h30m, 45m, 90s; each unit once)";
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
  if (options.help || options.version) return options;
  if (options.port.empty() == options.serial.empty()) {
    error = options.port.empty() ? "give either --port N or --serial SN" : "give --port N or --serial SN, not both";
    return std::nullopt;
  }
  if (options.count && options.duration) {
    error = "--count and --duration both end the run: give one of them";
    return std::nullopt;
  }
  if (options.identify && (given.count("--interval") || options.duration || options.count || !options.outDir.empty() ||
                           given.count("--no-reconnect") || options.reconnectTimeout)) {
    error = "--identify records nothing: --interval, --out, --duration, --count and the reconnect options do not apply";
    return std::nullopt;
  }
  if (options.publishUrl.empty() &&
      (options.publishInsecure || !options.publishPasswordFile.empty() || !options.publishCaFile.empty())) {
    error = "--publish-insecure, --publish-password-file and --publish-ca go with --publish URL";
    return std::nullopt;
  }
  if (!options.publishUrl.empty()) {
    std::string ignored;
    const publish::BrokerUrl url = *publish::ParseBrokerUrl(options.publishUrl, ignored);
    const bool password = url.password || !options.publishPasswordFile.empty();
    if (url.password && !options.publishPasswordFile.empty()) {
      error = "--publish-password-file: the URL has a password already: give it once";
      return std::nullopt;
    }
    if (password && url.user.empty()) {
      error = "--publish-password-file: the URL names no user (mqtts://user@host/prefix)";
      return std::nullopt;
    }
    if (password && !url.tls && !options.publishInsecure) {
      error = "--publish: a password goes only over mqtts:// (TLS); --publish-insecure sends it in clear";
      return std::nullopt;
    }
  }
  if (options.identify && !options.publishUrl.empty()) {
    error = "--identify records nothing: --publish does not apply";
    return std::nullopt;
  }
  if (!options.reconnect && options.reconnectTimeout) {
    error = "--no-reconnect and --reconnect-timeout contradict each other: give one of them";
    return std::nullopt;
  }
  return options;
}

std::string Usage() {
  return "usage: quarn-record (--port N | --serial SN) [--interval S] [--out DIR]\n"
         "                    [--duration 2h30m | --count N] [--reconnect-timeout D | --no-reconnect]\n"
         "                    [--publish URL [--publish-password-file FILE] [--publish-ca FILE]\n"
         "                    [--publish-insecure]] [--quiet]\n"
         "       quarn-record (--port N | --serial SN) --identify\n"
         "       quarn-record --help | --version\n"
         "Records the measurements of one sensor into a data file of the save folder, as the window does.\n"
         "  --port N       port number as the window counts them (7 or COM7)\n"
         "  --serial SN    the port whose sensor answers with this serial number\n"
         "  --interval S   sampling interval in seconds: 0.5, or 1 to 99 in steps of 0.5 (default 2); the\n"
         "                 wait between requests is whole seconds, halves to even (1.5 and 2.5 poll every 2 s);\n"
         "                 0.5 asks as fast as the line allows, about 14 to 20 records a second at 9600 baud\n"
         "  --out DIR      save folder (default: Documents/Quarn/Save in the home folder)\n"
         "  --duration D   stop after D (1d, 2h30m, 45m, 90s); --count N: after exactly N records\n"
         "  --reconnect-timeout D\n"
         "                 give up when a lost sensor has not come back within D (default: wait for ever);\n"
         "                 a lost sensor (port error, unplugged converter, 30 s without a frame) is looked for\n"
         "                 every 2 s on its port, then on every port by its serial number, and the run goes on\n"
         "                 in the same data file once the same serial number and firmware answer\n"
         "  --no-reconnect end the run when the sensor is lost (status 6 for a pulled-out converter)\n"
         "  --publish URL  also publish every stored record to an MQTT broker, QoS 1:\n"
         "                 mqtt://[user[:password]@]host[:port]/prefix, or mqtts://... for TLS (the system's\n"
         "                 certificate authorities; a failed handshake or certificate publishes nothing and\n"
         "                 says why). Topic prefix/<serial>/record, one JSON object per record; a retained\n"
         "                 prefix/<serial>/identity; prefix/<serial>/status online, stopped, or offline (will).\n"
         "                 The data file is the queue: while the broker is away nothing is lost, and what it\n"
         "                 has not acknowledged (counted in <data file>.published) goes out when it is back,\n"
         "                 also from the sensor's earlier data files in the save folder\n"
         "  --publish-password-file FILE\n"
         "                 the broker password from the first line of FILE (kept out of ps)\n"
         "  --publish-ca FILE\n"
         "                 trust the authorities in this PEM file instead of the system's\n"
         "  --publish-insecure\n"
         "                 allow a password over plain mqtt:// (sent in clear)\n"
         "  --identify     print port, serial number, firmware, type code and range code, and exit\n"
         "  --quiet        print nothing but errors\n"
         "Records go to standard output (time and ten values, tab-separated), a summary to standard error\n"
         "every minute. SIGINT or SIGTERM ends the run like Stop, also while a lost sensor is awaited.\n"
         "The marker file beside the data file gets \"connection lost\" and \"reconnected after N s\" at each gap.\n"
         "Exit status: 0 done, 1 other failure, 2 usage, 3 port absent or serial number not found, 4 port busy,\n"
         "5 sensor silent (also: silent sensor not back in time), 6 converter pulled out (and not back in time), 7 "
         "save folder not writable, 8 write failed (disk full),\n"
         "9 no permission to open the port, 10 standard output failed.\n"
         "The data file, the statuses and the service: man quarn-record.\n";
}

}  // namespace quarn::recorder
