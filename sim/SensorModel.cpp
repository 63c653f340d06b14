#include "SensorModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace quarn::sim {

namespace {

constexpr double kActiveAtZero = 3100;    // active channel counts in zero gas at 25 degrees
constexpr double kReferenceLevel = 1200;  // reference channel counts at 25 degrees
constexpr double kLampLevel = 1500;
constexpr double kNominalRatio = kActiveAtZero / kReferenceLevel;
// Per ppm; about 30 % of the active light is absorbed at 5000 ppm.
constexpr double kAbsorption = 7e-5;
constexpr double kActivePerDegree = -0.003;
constexpr double kReferencePerDegree = -0.002;
constexpr double kLampPerDegree = 0.001;
// Bounds of the uniform noise; small enough that a zeroed sensor reads par7 within 10000 +-2
// and a calibrated one C2 within 4 ppm of the gas up to 9999 ppm.
constexpr double kActiveNoise = 0.25;
constexpr double kReferenceNoise = 0.07;
constexpr double kLampNoise = 1.0;
constexpr double kTemperatureStep = 0.05;
constexpr double kTemperatureSwing = 1.5;

// The factor by which the active/reference ratio moves with temperature; the sensor knows it exactly.
double RatioTemperatureFactor(double temperature) {
  const double delta = temperature - 25;
  return (1 + kActivePerDegree * delta) / (1 + kReferencePerDegree * delta);
}

uint32_t ToField(double value) {
  const double rounded = std::nearbyint(value);
  return static_cast<uint32_t>(std::clamp(rounded, 0.0, 65535.0));
}

}  // namespace

std::array<uint32_t, 10> FrameValues::AsArray() const {
  return {temperature,      activeSignal, referenceSignal,  lampVoltage,   ratio,
          compensatedRatio, zeroedRatio,  rawConcentration, concentration, status};
}

SensorModel::SensorModel(uint32_t seed, Clock clock) : random_(seed), clock_(std::move(clock)) {
  if (!clock_) {
    clock_ = [] { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); };
  }
  chamberTime_ = clock_();
  std::uniform_real_distribution<double> unit(0, 1);
  const double ageingSign = unit(random_) < 0.5 ? -1 : 1;
  ageing_ = ageingSign * (0.003 + 0.003 * unit(random_));
  const double spanSign = unit(random_) < 0.5 ? -1 : 1;
  factorySpan_ = 1 + spanSign * (0.03 + 0.02 * unit(random_));
  RestoreFactoryCalibration();
}

void SensorModel::RestoreFactoryCalibration() {
  zeroRatio_ = kNominalRatio;
  spanFactor_ = factorySpan_;
}

void SensorModel::FollowGas() {
  const double now = clock_();
  const double elapsed = std::max(0.0, now - chamberTime_);
  chamberTime_ = now;
  if (timeConstant_ <= 0) {
    chamberPpm_ = gasPpm_;
  } else {
    chamberPpm_ = gasPpm_ + (chamberPpm_ - gasPpm_) * std::exp(-elapsed / timeConstant_);
  }
}

void SensorModel::SetGas(double ppm) {
  FollowGas();
  gasPpm_ = ppm < 0 ? 0 : ppm;
  FollowGas();
}

double SensorModel::ChamberGas() {
  FollowGas();
  return chamberPpm_;
}

void SensorModel::SetTimeConstant(double seconds) {
  FollowGas();
  timeConstant_ = seconds > 0 ? seconds : 0;
  FollowGas();
}

double SensorModel::TrueCompensatedRatio() {
  return kNominalRatio * (1 + ageing_) * std::exp(-kAbsorption * ChamberGas());
}

double SensorModel::ConcentrationFromRatio(double compensatedRatio) const {
  return -std::log(compensatedRatio / zeroRatio_) / kAbsorption;
}

FrameValues SensorModel::Measure() {
  std::uniform_real_distribution<double> symmetric(-1, 1);
  temperatureWalk_ += kTemperatureStep * symmetric(random_);
  if (temperatureWalk_ > kTemperatureSwing) temperatureWalk_ = 2 * kTemperatureSwing - temperatureWalk_;
  if (temperatureWalk_ < -kTemperatureSwing) temperatureWalk_ = -2 * kTemperatureSwing - temperatureWalk_;

  const double temperature = Temperature();
  const double delta = temperature - 25;
  double seen = ChamberGas();
  if (scatter_ > 0) seen = std::max(0.0, seen + std::normal_distribution<double>(0, scatter_)(random_));
  const double active = kActiveAtZero * (1 + ageing_) * (1 + kActivePerDegree * delta) * std::exp(-kAbsorption * seen) +
                        kActiveNoise * symmetric(random_);
  const double reference = kReferenceLevel * (1 + kReferencePerDegree * delta) + kReferenceNoise * symmetric(random_);
  const double lamp = kLampLevel * (1 + kLampPerDegree * delta) + kLampNoise * symmetric(random_);

  const double ratio = active / reference;
  const double compensated = ratio / RatioTemperatureFactor(temperature);

  FrameValues frame;
  frame.temperature = ToField(temperature);
  frame.activeSignal = ToField(active);
  frame.referenceSignal = ToField(reference);
  frame.lampVoltage = ToField(lamp);
  frame.ratio = ToField(10000 * ratio / kNominalRatio);
  frame.compensatedRatio = ToField(10000 * compensated / kNominalRatio);
  frame.zeroedRatio = ToField(10000 * compensated / zeroRatio_);
  frame.rawConcentration = ToField(ConcentrationFromRatio(ratio));
  frame.concentration = ToField(spanFactor_ * ConcentrationFromRatio(compensated));
  frame.status = 0;
  return frame;
}

void SensorModel::SetZero() { zeroRatio_ = TrueCompensatedRatio(); }

bool SensorModel::SetSpan(double ppm) {
  if (ppm <= 0) return true;
  const double seen = ConcentrationFromRatio(TrueCompensatedRatio());
  if (seen < 1) return false;
  spanFactor_ = ppm / seen;
  return true;
}

}  // namespace quarn::sim
