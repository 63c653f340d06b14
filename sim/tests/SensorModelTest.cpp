#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "sim/SensorModel.h"
#include "sim/SensorReplies.h"
#include "sim/Settings.h"

namespace quarn::sim {
namespace {

int Distance(uint32_t value, double target) { return static_cast<int>(std::lround(std::abs(value - target))); }

// The calibration wizard accepts a zero at 10000 +-10 and a span within +-5 ppm; the model must stay
// inside the tighter limits we promise in every frame, for any seed and any temperature.
TEST(SensorModelTest, ZeroHoldsWithinThreeForEverySeedAndTemperature) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    for (double temperature : {5.0, 25.0, 45.0}) {
      SensorModel model(seed);
      model.SetTemperature(temperature);
      const int drift = Distance(model.Measure().zeroedRatio, 10000);
      EXPECT_GE(drift, 20) << "seed " << seed << ": the factory zero should be off by some tens";
      EXPECT_LE(drift, 70) << "seed " << seed;
      model.SetZero();
      for (int i = 0; i < 200; ++i) {
        ASSERT_LE(Distance(model.Measure().zeroedRatio, 10000), 3) << "seed " << seed << " frame " << i;
      }
    }
  }
}

TEST(SensorModelTest, SpanCalibrationTracksTheGasWithinFivePpm) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    for (double span : {500.0, 2000.0, 9999.0}) {
      SensorModel model(seed);
      model.SetZero();
      model.SetGas(span);
      const double factoryError = std::abs(model.Measure().concentration - span) / span;
      EXPECT_GT(factoryError, 0.025) << "seed " << seed;
      EXPECT_LT(factoryError, 0.055) << "seed " << seed;
      ASSERT_TRUE(model.SetSpan(span));
      for (double gas : {span, 0.0, 1000.0, 4500.0}) {
        model.SetGas(gas);
        for (int i = 0; i < 50; ++i) {
          const FrameValues frame = model.Measure();
          ASSERT_LE(Distance(frame.concentration, gas), std::max(5.0, gas * 0.01))
              << "seed " << seed << " span " << span << " gas " << gas;
        }
      }
    }
  }
}

TEST(SensorModelTest, SpanNeedsAbsorptionAndInitRestoresTheFactoryState) {
  SensorModel model(7);
  const double factorySpan = model.SpanFactor();
  const double factoryZero = model.ZeroRatio();
  model.SetZero();
  EXPECT_FALSE(model.SetSpan(1000)) << "zero gas in a zeroed sensor gives nothing to scale";
  model.SetGas(300);
  model.SetZero();
  model.SetGas(1300);
  EXPECT_TRUE(model.SetSpan(1000));
  EXPECT_NE(model.SpanFactor(), factorySpan);
  model.RestoreFactoryCalibration();
  EXPECT_EQ(model.SpanFactor(), factorySpan);
  EXPECT_EQ(model.ZeroRatio(), factoryZero);
}

// The chamber follows a new gas as 1 - exp(-t / tau), rising and falling, and a new time constant applies from
// the moment it is given.
TEST(SensorModelTest, ChamberFollowsANewGasWithTheTimeConstant) {
  double now = 1000;
  SensorModel model(3, [&] { return now; });
  model.SetGas(400);
  EXPECT_DOUBLE_EQ(model.ChamberGas(), 400) << "no time constant: at once";
  model.SetTimeConstant(15);
  struct Step {
    double from, to;
  };
  for (const Step step : {Step{400, 1400}, Step{1400, 400}}) {
    model.SetGas(step.to);
    EXPECT_NEAR(model.ChamberGas(), step.from, 1e-6);
    const double stepAt = now;
    // T10, T50 and T90 of a first-order response, in that order.
    for (double t : {15 * std::log(10.0 / 9), 15 * std::log(2.0), 15 * std::log(10.0)}) {
      now = stepAt + t;
      const double reached = (model.ChamberGas() - step.from) / (step.to - step.from);
      EXPECT_NEAR(reached, 1 - std::exp(-t / 15), 1e-9) << "after " << t << " s";
    }
    now += 20 * 15;
    EXPECT_NEAR(model.ChamberGas(), step.to, 1e-6);
  }
  model.SetGas(0);
  now += 15;
  model.SetTimeConstant(0);
  EXPECT_DOUBLE_EQ(model.ChamberGas(), 0) << "without a time constant the chamber holds the gas at once";
}

TEST(SensorModelTest, ReadingsShowTheChamberNotTheGasLetIn) {
  double now = 0;
  SensorModel model(5, [&] { return now; });
  model.SetZero();
  model.SetGas(2000);
  ASSERT_TRUE(model.SetSpan(2000));
  model.SetGas(0);
  model.SetTimeConstant(10);
  model.SetGas(2000);
  now += 10 * std::log(2.0);
  EXPECT_NEAR(model.Measure().concentration, 1000, 10) << "half way after tau ln 2";
  now += 200;
  EXPECT_NEAR(model.Measure().concentration, 2000, 20);
}

TEST(SensorRepliesTest, AddressCaseAndSilenceRules) {
  SensorReplies replies({}, 1);
  replies.CurrentBehaviour().silentTo = {"CALB", "rt?"};
  struct Case {
    std::string request;
    std::optional<std::string> reply;
  };
  const std::vector<Case> cases = {
      {"#01SRAL?", std::nullopt},  // another sensor's address
      {"#0", std::nullopt},       {"#00sral?", "102345\r"}, {"#00RT?", std::nullopt}, {"#00CALB 0500", std::nullopt},
      {"#00ZERO2", "OK\r"},       {"#00", "ERR\r"},         {"#00VRT", "VRT=25\r"},
  };
  for (const Case& c : cases) EXPECT_EQ(replies.Answer(c.request), c.reply) << c.request;
}

TEST(SettingsTest, CommandLineAndControlLines) {
  std::string error;
  const auto settings =
      ParseCommandLine({"--port-dir", "/tmp/p", "--com", "12", "--silent-to", "SRAL?, RT?,", "--split", "4", "--fields",
                        "11", "--noise", "--gas", "250.5", "--baud", "115200"},
                       error);
  ASSERT_TRUE(settings) << error;
  EXPECT_EQ(settings->com, 12);
  EXPECT_EQ(settings->behaviour.silentTo, (std::vector<std::string>{"SRAL?", "RT?"}));
  EXPECT_EQ(settings->behaviour.splitParts, 4);
  EXPECT_EQ(settings->behaviour.fields, 11);
  EXPECT_TRUE(settings->behaviour.noise);
  EXPECT_DOUBLE_EQ(settings->gasPpm, 250.5);
  EXPECT_EQ(settings->behaviour.baud, 115200);
  EXPECT_EQ(Behaviour().baud, 9600) << "a real sensor's line by default";
  EXPECT_DOUBLE_EQ(settings->timeConstant, 15) << "a real sensor's response by default";
  std::string tauError;
  const auto quick = ParseCommandLine({"--port-dir", "/tmp/p", "--com", "1", "--tau", "2.5"}, tauError);
  ASSERT_TRUE(quick) << tauError;
  EXPECT_DOUBLE_EQ(quick->timeConstant, 2.5);
  EXPECT_DOUBLE_EQ(quick->gasPpm, 400) << "outdoor air at the start, as the manual says";

  struct Bad {
    std::vector<std::string> args;
    std::string error;
  };
  const Bad bads[] = {
      {{"--com", "7"}, "--port-dir and --com are required"},
      {{"--port-dir", "/tmp/p", "--com", "0"}, "bad value for --com: 0"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--split", "0"}, "bad value for --split: 0"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--reply-delay"}, "missing value after --reply-delay"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--baud", "0"}, "bad value for --baud: 0"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--baud", "fast"}, "bad value for --baud: fast"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--tau", "-1"}, "bad value for --tau: -1"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--tau", "slow"}, "bad value for --tau: slow"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--bogus", "1"}, "unknown option --bogus"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--bogus"}, "unknown option --bogus"},
      {{"--port-dir", "/tmp/p", "--com", "7", "stray"}, "unexpected argument stray"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--com", "8"}, "--com is given twice"},
      {{"--port-dir", "/tmp/p", "--com", "7", "--noise", "--noise"}, "--noise is given twice"},
  };
  for (const Bad& bad : bads) {
    EXPECT_FALSE(ParseCommandLine(bad.args, error)) << bad.error;
    EXPECT_EQ(error, bad.error);
  }

  Behaviour behaviour;
  SensorModel model(1);
  Identity identity;
  int com = 7;
  const ControlTargets targets{behaviour, model, identity, com};
  EXPECT_EQ(ApplyControlLine("gas 1500", targets), ControlAction::kNone);
  EXPECT_EQ(model.Gas(), 1500);
  EXPECT_EQ(ApplyControlLine("silent-to SREV?", targets), ControlAction::kNone);
  EXPECT_EQ(behaviour.silentTo, std::vector<std::string>{"SREV?"});
  EXPECT_EQ(ApplyControlLine("silent-to", targets), ControlAction::kNone);
  EXPECT_TRUE(behaviour.silentTo.empty());
  EXPECT_EQ(ApplyControlLine("reply-delay 250", targets), ControlAction::kNone);
  EXPECT_EQ(behaviour.replyDelayMs, 250);
  EXPECT_EQ(ApplyControlLine("baud 1200", targets), ControlAction::kNone);
  EXPECT_EQ(behaviour.baud, 1200);
  EXPECT_EQ(ApplyControlLine("baud -9600", targets), ControlAction::kInvalid);
  EXPECT_EQ(behaviour.baud, 1200);
  EXPECT_EQ(ApplyControlLine("unplug", targets), ControlAction::kUnplug);
  EXPECT_EQ(ApplyControlLine("plug", targets), ControlAction::kPlug);
  EXPECT_EQ(com, 7) << "plugged back under the same name";
  EXPECT_EQ(ApplyControlLine("plug 12", targets), ControlAction::kPlug);
  EXPECT_EQ(com, 12);
  for (const char* bad : {"plug 0", "plug COM", "plug 300", "serial", "serial 1 2"}) {
    EXPECT_EQ(ApplyControlLine(bad, targets), ControlAction::kInvalid) << bad;
  }
  EXPECT_EQ(com, 12);
  EXPECT_EQ(identity.serial, Identity().serial);
  EXPECT_EQ(ApplyControlLine("serial 998877", targets), ControlAction::kNone);
  EXPECT_EQ(identity.serial, "998877");
  EXPECT_EQ(ApplyControlLine("quit", targets), ControlAction::kQuit);
  EXPECT_EQ(ApplyControlLine("gas lots", targets), ControlAction::kInvalid);
  EXPECT_EQ(ApplyControlLine("noise maybe", targets), ControlAction::kInvalid);
  EXPECT_EQ(model.Gas(), 1500);
  EXPECT_EQ(ApplyControlLine("tau 30", targets), ControlAction::kNone);
  EXPECT_DOUBLE_EQ(model.TimeConstant(), 30);
  EXPECT_EQ(ApplyControlLine("tau 0", targets), ControlAction::kNone);
  EXPECT_DOUBLE_EQ(model.TimeConstant(), 0);
  for (const char* bad : {"tau", "tau -2", "tau x", "tau 100000"}) {
    EXPECT_EQ(ApplyControlLine(bad, targets), ControlAction::kInvalid) << bad;
  }
  EXPECT_DOUBLE_EQ(model.TimeConstant(), 0);
  EXPECT_EQ(ApplyControlLine("scatter 20", targets), ControlAction::kNone);
  EXPECT_DOUBLE_EQ(model.Scatter(), 20);
  for (const char* bad : {"scatter", "scatter -1", "scatter x"}) {
    EXPECT_EQ(ApplyControlLine(bad, targets), ControlAction::kInvalid) << bad;
  }
  EXPECT_DOUBLE_EQ(model.Scatter(), 20);
}

// Scatter widens the concentration's spread to about its deviation; without it the model stays within its own
// few ppm.
TEST(SensorModelTest, ScatterSetsTheSpreadOfTheConcentration) {
  for (double scatter : {0.0, 25.0}) {
    SensorModel model(5);
    model.SetZero();
    model.SetGas(1000);
    model.SetScatter(scatter);
    double sum = 0, squares = 0;
    constexpr int kFrames = 4000;
    for (int i = 0; i < kFrames; ++i) {
      const double c = model.Measure().concentration;
      sum += c;
      squares += c * c;
    }
    const double mean = sum / kFrames;
    const double sd = std::sqrt((squares - kFrames * mean * mean) / (kFrames - 1));
    if (scatter == 0) {
      EXPECT_LT(sd, 4) << "the model's own noise";
    } else {
      // The gas scatters by 25 ppm; the span factor (a few percent off) scales what the sensor reports.
      EXPECT_NEAR(sd, scatter, 3);
    }
  }
}

}  // namespace
}  // namespace quarn::sim
