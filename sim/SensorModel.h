#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>

namespace quarn::sim {

// The ten values of one measurement frame, in wire order.
struct FrameValues {
  uint32_t temperature = 0;       // T, whole degrees Celsius
  uint32_t activeSignal = 0;      // S
  uint32_t referenceSignal = 0;   // Ur
  uint32_t lampVoltage = 0;       // Uo
  uint32_t ratio = 0;             // par5: active/reference, 10000 at the factory zero
  uint32_t compensatedRatio = 0;  // par6: the same with the temperature effect removed
  uint32_t zeroedRatio = 0;       // par7: par6 relative to the stored zero, 10000 in zero gas
  uint32_t rawConcentration = 0;  // C1: ppm without temperature compensation or span correction
  uint32_t concentration = 0;     // C2: ppm as the sensor reports it
  uint32_t status = 0;            // K

  std::array<uint32_t, 10> AsArray() const;
};

// A non-dispersive infrared sensor in a gas chamber, small enough to reason about:
// the active channel is absorbed by the gas (Beer-Lambert), the reference channel is not, both
// drift with temperature, and the sensor computes the concentration back from their ratio using
// its stored zero ratio and span factor. From the factory the zero is off by some tens in par7 and
// the span by a few percent, so that ZERO2 and CALB have something to correct.
// Noise is bounded (uniform), so that a calibrated sensor stays within fixed limits in every frame.
// The chamber follows a change of gas with a first-order lag (time constant, 0 by default: at once), timed by
// a clock of seconds (the steady clock unless a test gives its own).
class SensorModel {
 public:
  using Clock = std::function<double()>;
  explicit SensorModel(uint32_t seed, Clock clock = {});

  // The gas let into the chamber; the chamber reaches it with the time constant.
  void SetGas(double ppm);
  double Gas() const { return gasPpm_; }
  // The gas in the chamber now, which the readings show.
  double ChamberGas();
  // Seconds; 0 or less: the chamber takes a new gas at once.
  void SetTimeConstant(double seconds);
  double TimeConstant() const { return timeConstant_; }
  // Gaussian noise of this standard deviation (ppm) on the gas each frame sees, for sensors noisier than the
  // model's own few ppm; 0 (the default) draws nothing, so that frames stay as the seed gives them.
  void SetScatter(double ppm) { scatter_ = ppm > 0 ? ppm : 0; }
  double Scatter() const { return scatter_; }
  // The ambient temperature the sensor slowly wanders around.
  void SetTemperature(double celsius) { baseTemperature_ = celsius; }
  double Temperature() const { return baseTemperature_ + temperatureWalk_; }

  // One frame; every call moves the temperature walk and draws new noise. Without a time constant nothing
  // depends on the clock, so the same seed and the same calls give the same frames.
  FrameValues Measure();

  // ZERO2: the current gas becomes the zero (par7 = 10000, C2 = 0).
  void SetZero();
  // CALB: the current gas is taken to be ppm. False when the chamber shows no absorption to scale
  // (nothing changes then); a target of 0 is accepted and changes nothing.
  bool SetSpan(double ppm);
  // INIT: back to the factory zero and span.
  void RestoreFactoryCalibration();

  double ZeroRatio() const { return zeroRatio_; }
  double SpanFactor() const { return spanFactor_; }

 private:
  // Active/reference ratio with the temperature effect removed and without noise.
  double TrueCompensatedRatio();
  // Brings the chamber's gas up to the clock's time.
  void FollowGas();
  // Concentration the sensor derives from a compensated ratio, before the span factor.
  double ConcentrationFromRatio(double compensatedRatio) const;

  std::mt19937 random_;
  Clock clock_;
  double gasPpm_ = 0;
  double chamberPpm_ = 0;
  double timeConstant_ = 0;
  double chamberTime_ = 0;  // the clock's time of chamberPpm_
  double scatter_ = 0;
  double baseTemperature_ = 25;
  double temperatureWalk_ = 0;
  double ageing_ = 0;  // relative change of the active channel since the factory zero
  double factorySpan_ = 1;
  double zeroRatio_ = 0;
  double spanFactor_ = 1;
};

}  // namespace quarn::sim
