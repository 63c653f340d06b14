#include "calibration/CalibrationLog.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "acquisition/DataFile.h"

namespace quarn::calibration {

namespace {

// A trend below this many ppm per minute, or below this share of the reading per minute, counts as stable:
// well under what a gas still settling shows, and above what the sensor's noise makes of a 30 s slope.
constexpr double kStableSlopePpm = 5;
constexpr double kStableSlopeShare = 0.01;
constexpr double kLeastSpanSeconds = 10;

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Fixed(double value, int decimals, bool sign = false) {
  char text[64];
  std::snprintf(text, sizeof text, sign ? "%+.*f" : "%.*f", decimals, value);
  std::string out = text;
  if (out == "-0" || out == "+0") out = sign ? "+0" : "0";
  if (out == "-0.0") out = "0.0";
  return out;
}

}  // namespace

void StabilityWindow::Add(double seconds, double ppm) {
  readings_.emplace_back(seconds, ppm);
  while (!readings_.empty() && readings_.front().first < seconds - kStabilitySeconds) readings_.pop_front();
}

std::optional<Stability> StabilityWindow::Current() const {
  if (readings_.size() < 2 || readings_.back().first - readings_.front().first < kLeastSpanSeconds) return std::nullopt;
  const double n = static_cast<double>(readings_.size());
  double meanT = 0, meanV = 0;
  for (const auto& [t, v] : readings_) {
    meanT += t / n;
    meanV += v / n;
  }
  double sxx = 0, sxy = 0, svv = 0;
  for (const auto& [t, v] : readings_) {
    sxx += (t - meanT) * (t - meanT);
    sxy += (t - meanT) * (v - meanV);
    svv += (v - meanV) * (v - meanV);
  }
  Stability s;
  s.sd = std::sqrt(svv / (n - 1));
  s.slopePerMinute = sxx > 0 ? sxy / sxx * 60 : 0;
  const double allowed = std::max(kStableSlopePpm, kStableSlopeShare * std::abs(readings_.back().second));
  s.stable = std::abs(s.slopePerMinute) <= allowed;
  return s;
}

std::string StabilityWindow::Text() const {
  if (readings_.empty()) return {};
  std::string text = "Reading " + Fixed(readings_.back().second, 0) + " ppm";
  const std::optional<Stability> s = Current();
  if (!s) return text;
  if (s->stable) return text + " · stable (±" + Fixed(s->sd, 1) + " ppm over the last 30 s)";
  return text + " · settling (" + Fixed(s->slopePerMinute, 0, true) + " ppm per minute)";
}

std::string CalibrationLogHeader() {
  return "time\tserial\tfirmware\tstep\tspan_ppm\treading_1\treading_2\treading_3\treading_4\ttolerance\toutcome\t"
         "sd_30s_ppm\tslope_30s_ppm_per_min\r\n";
}

std::string CalibrationLogLine(const CalibrationLogEntry& entry, const acquisition::RegionalFormat& format) {
  std::string line = Escaped(acquisition::RecordTimeText(entry.time, format));
  for (const std::string* cell :
       {&entry.serialNumber, &entry.firmware, &entry.record.step, &entry.record.concentration}) {
    line += '\t' + Escaped(*cell);
  }
  for (size_t i = 0; i < 4; ++i) {
    line += '\t';
    if (i < entry.record.readings.size()) line += std::to_string(entry.record.readings[i]);
  }
  line += '\t' + Escaped(entry.record.tolerance) + '\t' + Escaped(entry.record.outcome) + '\t';
  if (entry.stability)
    line += Fixed(entry.stability->sd, 1) + '\t' + Fixed(entry.stability->slopePerMinute, 1);
  else
    line += '\t';
  return line + "\r\n";
}

std::optional<std::string> AppendCalibrationLog(const std::string& folder, const CalibrationLogEntry& entry,
                                                const acquisition::RegionalFormat& format) {
  const std::filesystem::path path = std::filesystem::path(folder) / kCalibrationLogName;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const bool fresh = !std::filesystem::exists(path, error) || std::filesystem::file_size(path, error) == 0;
  acquisition::DataFile file;
  std::string reason;
  if (!file.Open(path.string(), reason)) return path.string() + ": " + reason;
  const std::string bytes = (fresh ? CalibrationLogHeader() : std::string()) + CalibrationLogLine(entry, format);
  if (!file.Write(bytes, reason)) return path.string() + ": " + reason;
  file.Close();
  return std::nullopt;
}

}  // namespace quarn::calibration
