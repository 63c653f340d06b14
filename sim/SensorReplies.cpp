#include "SensorReplies.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace quarn::sim {

namespace {

constexpr char kFrameStart = 0x0E;
constexpr char kCr = '\r';

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

bool IsDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Console commands that only change settings we do not model: acknowledged and otherwise ignored.
constexpr const char* kAcknowledged[] = {"SETT",  "SETT1", "SETDT",    "ZERO1",  "DELTA",
                                         "ZEROU", "SETZU", "OFF_DUTY", "S_KTGD", "KTGD"};

}  // namespace

SensorReplies::SensorReplies(Identity identity, uint32_t seed)
    : identity_(std::move(identity)), model_(seed), noiseRandom_(seed ^ 0x5eed5eedu) {}

bool SensorReplies::IsSilencedCommand(const std::string& command) const {
  const std::string word = command.substr(0, command.find(' '));
  return std::any_of(behaviour_.silentTo.begin(), behaviour_.silentTo.end(), [&](const std::string& name) {
    const std::string upperName = Upper(name);
    return upperName == command || upperName == word;
  });
}

std::optional<std::string> SensorReplies::Answer(const std::string& line) {
  std::string command = line;
  if (!command.empty() && command[0] == '#') {
    // Another address is another sensor on the bus: not ours to answer.
    if (command.size() < 3 || command.compare(1, 2, "00") != 0) return std::nullopt;
    command = command.substr(3);
  }
  command = Upper(command);
  if (behaviour_.silent || IsSilencedCommand(command)) return std::nullopt;
  if (auto skip = behaviour_.skipNext.find(command); skip != behaviour_.skipNext.end() && skip->second > 0) {
    --skip->second;
    return std::nullopt;
  }
  return Execute(command) + kCr;
}

std::string SensorReplies::Execute(const std::string& command) {
  if (command == "F") return Frame();
  if (command == "SRAL?") return identity_.serial;
  if (command == "SREV?") return identity_.firmware;
  if (command == "RT?") return identity_.type;
  if (command == "RX?") return identity_.range;
  if (command == "ZERO2") {
    model_.SetZero();
    return "OK";
  }
  if (command.rfind("CALB ", 0) == 0) {
    const std::string digits = command.substr(5);
    if (!IsDigits(digits) || digits.size() > 5) return "ERR";
    return model_.SetSpan(std::stod(digits)) ? "OK" : "ERR";
  }
  if (command == "INIT") {
    model_.RestoreFactoryCalibration();
    return "OK";
  }
  if (command == "CONST") {
    char text[64];
    std::snprintf(text, sizeof text, "ZR=%.5f KS=%.4f", model_.ZeroRatio(), model_.SpanFactor());
    return text;
  }
  if (command == "VRG" || command == "VRT" || command == "VPG" || command == "VPT") {
    const FrameValues values = model_.Measure();
    const uint32_t shown = command == "VRG"   ? values.referenceSignal
                           : command == "VRT" ? values.temperature
                           : command == "VPG" ? values.activeSignal
                                              : values.lampVoltage;
    return command + "=" + std::to_string(shown);
  }
  if (command == "TABT" || command == "TABG") return command + " 0 500 1000 2000 5000";
  if (std::find(std::begin(kAcknowledged), std::end(kAcknowledged), command) != std::end(kAcknowledged)) {
    return "OK";
  }
  return "ERR";
}

std::string SensorReplies::Frame() {
  const auto values = model_.Measure().AsArray();
  std::string frame = behaviour_.noise ? NoiseBytes() : std::string();
  frame += kFrameStart;
  for (int i = 0; i < behaviour_.fields; ++i) {
    const auto pinned = behaviour_.pinnedFields.find(i + 1);
    if (pinned != behaviour_.pinnedFields.end()) {
      std::deque<uint32_t>& values = pinned->second;
      frame += std::to_string(values.front());
      if (values.size() > 1) values.pop_front();
    } else {
      frame += std::to_string(i < static_cast<int>(values.size()) ? values[i] : 0u);
    }
    frame += '\t';
  }
  return frame;
}

std::string SensorReplies::NoiseBytes() {
  // Printable characters, TAB and LF: what a line picks up, but never a frame start or an end of line.
  static constexpr char kAlphabet[] = "0123456789 ABCDEFabcdef#?!.-=\t\n";
  std::uniform_int_distribution<int> length(1, 8);
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::string bytes(static_cast<size_t>(length(noiseRandom_)), ' ');
  for (char& c : bytes) c = kAlphabet[pick(noiseRandom_)];
  return bytes;
}

}  // namespace quarn::sim
