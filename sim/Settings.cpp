#include "Settings.h"

#include <cctype>
#include <charconv>
#include <set>
#include <sstream>

#include "SensorModel.h"

namespace quarn::sim {

namespace {

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseSwitch(const std::string& text, bool& value) {
  if (text == "on") {
    value = true;
    return true;
  }
  if (text == "off") {
    value = false;
    return true;
  }
  return false;
}

// A time constant in seconds: 0 (at once) up to a day.
bool ParseTimeConstant(const std::string& text, double& seconds) {
  return ParseNumber(text, seconds) && seconds >= 0 && seconds <= 86400;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// "7 9990" pins frame field 7 to 9990, "9 980,1000" gives the next frames 980 and then 1000;
// "7 off" gives the field back to the model.
bool ApplyPinnedField(const std::string& value, Behaviour& behaviour) {
  const size_t space = value.find(' ');
  int field = 0;
  if (space == std::string::npos || !ParseNumber(value.substr(0, space), field) || field < 1 || field > 10) {
    return false;
  }
  const std::string setting = Trim(value.substr(space + 1));
  if (setting == "off") {
    behaviour.pinnedFields.erase(field);
    return true;
  }
  std::deque<uint32_t> values;
  for (const std::string& item : SplitCommandList(setting)) {
    uint32_t pinned = 0;
    if (!ParseNumber(item, pinned)) return false;
    values.push_back(pinned);
  }
  if (values.empty()) return false;
  behaviour.pinnedFields[field] = std::move(values);
  return true;
}

// "F 2": the next two "F" requests get no answer.
bool ApplySkip(const std::string& value, Behaviour& behaviour) {
  const size_t space = value.find(' ');
  int count = 0;
  if (space == std::string::npos || !ParseNumber(Trim(value.substr(space + 1)), count) || count < 0) return false;
  std::string command = value.substr(0, space);
  for (char& c : command) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  behaviour.skipNext[command] = count;
  return true;
}

}  // namespace

std::vector<std::string> SplitCommandList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    item = Trim(item);
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

std::optional<int> ParseBaud(const std::string& text) {
  int baud = 0;
  if (!ParseNumber(text, baud) || baud < 300 || baud > 4000000) return std::nullopt;
  return baud;
}

std::string Usage() {
  return "usage: quarn-sensor-sim --port-dir DIR --com N [--serial DIGITS] [--firmware TEXT] [--type TEXT]\n"
         "         [--range TEXT] [--seed S] [--gas PPM] [--tau SECONDS] [--appear-after SEC]\n"
         "         [--disappear-after SEC] [--baud RATE] [--exit-with-parent]\n"
         "         [--reply-delay MS] [--silent] [--silent-to CMD[,CMD...]] [--split PARTS] [--noise]\n"
         "         [--fields N]\n"
         "       quarn-sensor-sim --help | --version\n"
         "--gas: the gas in the chamber at the start (default 400 ppm, outdoor air)\n"
         "--tau: time constant of the chamber's first-order response to a new gas (default 15, 0: at once)\n"
         "control lines on standard input: gas PPM | tau SECONDS | scatter PPM | temp C | silent on|off |\n"
         "         silent-to CMD,... | reply-delay MS | split N | noise on|off | fields N | field N V[,V...]|off |\n"
         "         skip CMD COUNT |\n"
         "         baud RATE | stream on|off | serial DIGITS | unplug | plug [COM] | quit\n"
         "plug COM: the port comes back under another number, as a replugged USB adapter does\n"
         "every control line is confirmed on standard output (\"DONE line\" or \"REFUSED line\") once in force\n"
         "requests are logged on standard output: \"IN request pending\" when one arrives (pending: requests\n"
         "         received and not yet answered, this one included), \"RX request\" when it is taken up,\n"
         "         \"ANSWERED request\" once its reply's last byte is out, \"LOST request\" when it did not fit\n"
         "The options and control lines in full: man quarn-sensor-sim\n";
}

std::optional<SimSettings> ParseCommandLine(const std::vector<std::string>& args, std::string& error) {
  static const std::set<std::string> kValued = {"--port-dir", "--com",    "--serial",       "--firmware",
                                                "--type",     "--range",  "--seed",         "--gas",
                                                "--tau",      "--baud",   "--reply-delay",  "--silent-to",
                                                "--split",    "--fields", "--appear-after", "--disappear-after"};
  SimSettings settings;
  bool haveDir = false;
  bool haveCom = false;
  std::set<std::string> given;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    const bool flag = name == "--silent" || name == "--noise";
    if (!flag && !kValued.count(name)) {
      error = name.rfind('-', 0) == 0 ? "unknown option " + name : "unexpected argument " + name;
      return std::nullopt;
    }
    if (!given.insert(name).second) {
      error = name + " is given twice";
      return std::nullopt;
    }
    if (name == "--silent") {
      settings.behaviour.silent = true;
      continue;
    }
    if (name == "--noise") {
      settings.behaviour.noise = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = "missing value after " + name;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    bool ok = true;
    if (name == "--port-dir") {
      settings.portDir = value;
      haveDir = ok = !value.empty();
    } else if (name == "--com") {
      haveCom = ok = ParseNumber(value, settings.com) && settings.com >= 1;
    } else if (name == "--serial") {
      settings.identity.serial = value;
    } else if (name == "--firmware") {
      settings.identity.firmware = value;
    } else if (name == "--type") {
      settings.identity.type = value;
    } else if (name == "--range") {
      settings.identity.range = value;
    } else if (name == "--seed") {
      ok = ParseNumber(value, settings.seed);
    } else if (name == "--gas") {
      ok = ParseNumber(value, settings.gasPpm) && settings.gasPpm >= 0;
    } else if (name == "--tau") {
      ok = ParseTimeConstant(value, settings.timeConstant);
    } else if (name == "--appear-after") {
      ok = ParseNumber(value, settings.appearAfter) && settings.appearAfter >= 0;
    } else if (name == "--disappear-after") {
      ok = ParseNumber(value, settings.disappearAfter) && settings.disappearAfter >= 0;
    } else if (name == "--baud") {
      const std::optional<int> baud = ParseBaud(value);
      ok = baud.has_value();
      if (ok) settings.behaviour.baud = *baud;
    } else if (name == "--reply-delay") {
      ok = ParseNumber(value, settings.behaviour.replyDelayMs) && settings.behaviour.replyDelayMs >= 0;
    } else if (name == "--silent-to") {
      settings.behaviour.silentTo = SplitCommandList(value);
    } else if (name == "--split") {
      ok = ParseNumber(value, settings.behaviour.splitParts) && settings.behaviour.splitParts >= 1;
    } else {
      ok = ParseNumber(value, settings.behaviour.fields) && settings.behaviour.fields >= 0 &&
           settings.behaviour.fields <= 100;
    }
    if (!ok) {
      error = "bad value for " + name + ": " + value;
      return std::nullopt;
    }
  }
  if (!haveDir || !haveCom) {
    error = "--port-dir and --com are required";
    return std::nullopt;
  }
  return settings;
}

ControlAction ApplyControlLine(const std::string& line, const ControlTargets& targets) {
  const std::string text = Trim(line);
  const size_t space = text.find(' ');
  const std::string verb = text.substr(0, space);
  const std::string value = space == std::string::npos ? std::string() : Trim(text.substr(space + 1));
  Behaviour& behaviour = targets.behaviour;
  SensorModel& model = targets.model;

  if (verb.empty()) return ControlAction::kNone;
  if (verb == "quit") return ControlAction::kQuit;
  if (verb == "unplug") return ControlAction::kUnplug;
  if (verb == "plug") {
    if (value.empty()) return ControlAction::kPlug;
    int com = 0;
    if (!ParseNumber(value, com) || com < 1 || com > 256) return ControlAction::kInvalid;
    targets.com = com;
    return ControlAction::kPlug;
  }
  if (verb == "serial") {
    if (value.empty() || value.find_first_of(" \t\r") != std::string::npos) return ControlAction::kInvalid;
    targets.identity.serial = value;
    return ControlAction::kNone;
  }
  if (verb == "silent-to") {
    behaviour.silentTo = SplitCommandList(value);
    return ControlAction::kNone;
  }
  bool ok = false;
  if (verb == "gas") {
    double ppm = 0;
    ok = ParseNumber(value, ppm) && ppm >= 0;
    if (ok) model.SetGas(ppm);
  } else if (verb == "tau") {
    double seconds = 0;
    ok = ParseTimeConstant(value, seconds);
    if (ok) model.SetTimeConstant(seconds);
  } else if (verb == "scatter") {
    double ppm = 0;
    ok = ParseNumber(value, ppm) && ppm >= 0 && ppm <= 10000;
    if (ok) model.SetScatter(ppm);
  } else if (verb == "temp") {
    double celsius = 0;
    ok = ParseNumber(value, celsius);
    if (ok) model.SetTemperature(celsius);
  } else if (verb == "silent") {
    ok = ParseSwitch(value, behaviour.silent);
  } else if (verb == "noise") {
    ok = ParseSwitch(value, behaviour.noise);
  } else if (verb == "stream") {
    ok = ParseSwitch(value, behaviour.stream);
  } else if (verb == "reply-delay") {
    int ms = 0;
    ok = ParseNumber(value, ms) && ms >= 0;
    if (ok) behaviour.replyDelayMs = ms;
  } else if (verb == "split") {
    int parts = 0;
    ok = ParseNumber(value, parts) && parts >= 1;
    if (ok) behaviour.splitParts = parts;
  } else if (verb == "baud") {
    const std::optional<int> baud = ParseBaud(value);
    ok = baud.has_value();
    if (ok) behaviour.baud = *baud;
  } else if (verb == "field") {
    ok = ApplyPinnedField(value, behaviour);
  } else if (verb == "skip") {
    ok = ApplySkip(value, behaviour);
  } else if (verb == "fields") {
    int count = 0;
    ok = ParseNumber(value, count) && count >= 0 && count <= 100;
    if (ok) behaviour.fields = count;
  }
  return ok ? ControlAction::kNone : ControlAction::kInvalid;
}

}  // namespace quarn::sim
