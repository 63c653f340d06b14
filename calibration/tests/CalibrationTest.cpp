#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "base/Timing.h"
#include "base/testing/ScriptedMessageBoxes.h"
#include "calibration/Calibration.h"
#include "sim/testing/SimSensor.h"

namespace quarn::calibration {
namespace {

TEST(SpanTolerance, FiftiethOfTheConcentrationHalvesToEvenAtLeastTen) {
  const std::vector<std::pair<int, int>> cases = {{0, 10},   {500, 10},  {525, 10},   {550, 11},
                                                  {625, 12}, {1000, 20}, {5000, 100}, {9999, 200},
                                                  {575, 12}, {1025, 20}, {1075, 22}};
  for (const auto& [concentration, tolerance] : cases) {
    EXPECT_EQ(SpanTolerance(concentration), tolerance) << concentration;
  }
}

// The window side of a step: what the step asked of it, in order.
class RecordingCheckView : public CalibrationView {
 public:
  void EnableNext() override { calls.push_back("enable"); }
  void SetNextCaption(const std::string& caption) override { calls.push_back("caption " + caption); }
  void ShowProgress(const std::string& text) override { progress.push_back(text); }
  std::vector<std::string> calls;
  std::vector<std::string> progress;
};

class CalibrationStepTest : public ::testing::Test {
 protected:
  // The 5 s pauses shrink to 250 ms; the 10 s reply wait to 500 ms still leaves a loaded machine time.
  void SetUp() override { base::SetTimeScale(0.05); }
  void TearDown() override { base::SetTimeScale(1.0); }

  size_t Count(const std::string& request) {
    const auto received = sensor_.Received();
    return static_cast<size_t>(std::count(received.begin(), received.end(), request));
  }
  void ExpectPortFree() { EXPECT_NO_THROW(link::OpenPort("COM7", link::kEventRxFlag)->Close()); }

  sim::SimSensor sensor_{sim::LineAtTimeScale(0.05)};
  sim::ScopedPortDir ports_{sensor_.PortDir()};
  base::ScriptedMessageBoxes boxes_;
  RecordingCheckView view_;
};

TEST_F(CalibrationStepTest, ZeroAfterTwoFailedFramePollTries) {
  sensor_.Control("field 7 10000");
  sensor_.Control("skip F 2");
  const StepRecord record = ZeroStep("7", view_, boxes_);
  EXPECT_EQ(record.readings, std::vector<int32_t>{10000});
  EXPECT_EQ(record.outcome, "Operation setting to Zero, successfully completed!");
  EXPECT_EQ(record.tolerance, "9990-10010");
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Operation setting to Zero, successfully completed!"});
  EXPECT_EQ(boxes_.Boxes()[0].kind, base::BoxKind::Information);
  EXPECT_EQ(view_.calls, std::vector<std::string>{"enable"});
  EXPECT_EQ(sensor_.Received(), (std::vector<std::string>{"#00ZERO2", "#00F", "#00F", "#00F"}));
  ExpectPortFree();
}

TEST_F(CalibrationStepTest, FramesTooShortForTheJudgedFieldAreFailedTries) {
  struct Case {
    int fields;
    bool zero;  // zero step (field 7) or span step (field 9)
  };
  for (const Case& c : {Case{6, true}, Case{8, false}}) {
    SCOPED_TRACE(c.fields);
    boxes_.Clear();
    sensor_.Control("fields " + std::to_string(c.fields));
    const size_t before = Count("#00F");
    if (c.zero) {
      ZeroStep("7", view_, boxes_);
    } else {
      SpanStep("7", "1000", view_, boxes_);
    }
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Not successful write to the port"});
    EXPECT_EQ(Count("#00F") - before, 3u);
    ExpectPortFree();
  }
  EXPECT_EQ(Count("#00CALB 1000"), 1u) << "the second command is not sent";
  EXPECT_TRUE(view_.calls.empty());
}

TEST_F(CalibrationStepTest, PortThatDoesNotOpen) {
  const StepRecord zero = ZeroStep("8", view_, boxes_);
  const std::optional<StepRecord> span = SpanStep("8", "100", view_, boxes_);
  EXPECT_EQ(boxes_.Texts(),
            (std::vector<std::string>{"Not successful open COM port8", "Not successful open COM port8"}));
  EXPECT_TRUE(view_.progress.empty());
  // A step that could not even open its port is logged with that box's text and no readings.
  EXPECT_EQ(zero.outcome, "Not successful open COM port8");
  EXPECT_TRUE(zero.readings.empty());
  ASSERT_TRUE(span);
  EXPECT_EQ(span->outcome, "Not successful open COM port8");
}

TEST_F(CalibrationStepTest, EmptyOrUnreadableConcentration) {
  EXPECT_FALSE(SpanStep("7", "", view_, boxes_)) << "no step taken, nothing to log";
  EXPECT_FALSE(SpanStep("7", "12a", view_, boxes_));
  EXPECT_EQ(boxes_.Texts(), (std::vector<std::string>{"Input the concentration!", "Error conversion in the number"}));
  EXPECT_TRUE(sensor_.Received().empty());
  EXPECT_TRUE(view_.progress.empty());
  ExpectPortFree();
}

struct SpanCase {
  int concentration;
  std::string readings;  // field 9 of the frames after the first calibration command, in order
  std::string box;       // empty: "CALIBRATION OK"
};

void PrintTo(const SpanCase& c, std::ostream* out) { *out << c.concentration << " with " << c.readings; }

class SpanStepTest : public CalibrationStepTest, public ::testing::WithParamInterface<SpanCase> {};

std::string Failure23(int reading) {
  return "CALIBRATION FAILED (C2=" + std::to_string(reading) +
         ")\n\rCheck the calibration values \xE2\x80\x8B\xE2\x80\x8B"
         "and repeat the calibration";
}
const std::string kFailure4 = "CALIBRATION FAILED! Please try again or send log file to manufacture.";

// Readings 2 and 3 within c +- t pass and one further fails; reading 1 is not judged; reading 4 must
// be within 5. The last listed value stays for every further frame.
INSTANTIATE_TEST_SUITE_P(
    Readings, SpanStepTest,
    ::testing::Values(SpanCase{1000, "0,980,1020,1000", ""}, SpanCase{1000, "0,1020,980,1000", ""},
                      SpanCase{1000, "1000,979,1000", Failure23(979)},
                      SpanCase{1000, "1000,1021,1000", Failure23(1021)},
                      SpanCase{1000, "1000,1000,979", Failure23(979)},
                      SpanCase{1000, "1000,1000,1021", Failure23(1021)}, SpanCase{525, "525,515,535,525", ""},
                      SpanCase{525, "525,525,536", Failure23(536)}, SpanCase{525, "525,514,525", Failure23(514)},
                      SpanCase{5000, "0,4900,5100,5000", ""}, SpanCase{5000, "5000,5101,5000", Failure23(5101)},
                      SpanCase{5000, "5000,5000,4899", Failure23(4899)}, SpanCase{1000, "1000,1000,1000,995", ""},
                      SpanCase{1000, "1000,1000,1000,1005", ""}, SpanCase{1000, "1000,1000,1000,994", kFailure4},
                      SpanCase{1000, "1000,1000,1000,1006", kFailure4}, SpanCase{0, "9,10,10,5", ""},
                      SpanCase{0, "0,11,0", Failure23(11)}),
    [](const ::testing::TestParamInfo<SpanCase>& info) {
      std::string name = "c" + std::to_string(info.param.concentration) + "_" + info.param.readings;
      std::replace(name.begin(), name.end(), ',', '_');
      return name;
    });

TEST_P(SpanStepTest, JudgesReadingsTwoThreeAndFour) {
  const SpanCase& c = GetParam();
  sensor_.Control("field 9 " + c.readings);
  const std::string text = std::to_string(c.concentration);
  const std::optional<StepRecord> record = SpanStep("7", text, view_, boxes_);

  const std::string command = "#00CALB " + link::SpanArgument(c.concentration);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  const bool failedEarly = c.box.rfind("CALIBRATION FAILED (", 0) == 0;
  if (c.box.empty()) {
    EXPECT_EQ(boxes_.Boxes()[0], (base::ScriptedMessageBoxes::Box{base::BoxKind::Information, base::BoxButtons::Ok,
                                                                  "CALIBRATION OK", false}));
    EXPECT_EQ(view_.calls, std::vector<std::string>{"caption < Finish >"});
  } else {
    EXPECT_EQ(boxes_.Boxes()[0],
              (base::ScriptedMessageBoxes::Box{base::BoxKind::Error, base::BoxButtons::Ok, c.box, false}));
    EXPECT_TRUE(view_.calls.empty());
  }
  std::vector<std::string> progress = {"Processing.. ", "Processing.. 1", "Processing.. 12", "Processing.. 123"};
  if (!failedEarly) progress.push_back("Processing.. 1234");
  EXPECT_EQ(view_.progress, progress);

  const auto received = sensor_.Received();
  ASSERT_GE(received.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(received.begin(), received.begin() + 4),
            (std::vector<std::string>{command, "#00F", "#00F", "#00F"}));
  EXPECT_EQ(Count(command), failedEarly ? 1u : 2u);
  ExpectPortFree();

  // What the calibration log gets: the readings as far as the step came, and the box's own text.
  ASSERT_TRUE(record);
  EXPECT_EQ(record->step, "span");
  EXPECT_EQ(record->concentration, text);
  std::vector<int32_t> sent;
  std::stringstream list(c.readings);
  for (std::string value; std::getline(list, value, ',');) sent.push_back(std::stoi(value));
  while (sent.size() < 4) sent.push_back(sent.back());
  sent.resize(failedEarly ? 3 : 4);
  EXPECT_EQ(record->readings, sent);
  EXPECT_EQ(record->outcome, boxes_.Texts()[0]);
  EXPECT_EQ(record->tolerance,
            "±" + std::to_string(SpanTolerance(c.concentration)) + " (readings 2-3), ±5 (reading 4)");
}

TEST_F(CalibrationStepTest, ConcentrationIsSentAsFourDigits) {
  sensor_.Control("field 9 7");
  SpanStep("7", "7", view_, boxes_);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"CALIBRATION OK"});
  EXPECT_EQ(Count("#00CALB 0007"), 2u);
}

}  // namespace
}  // namespace quarn::calibration
