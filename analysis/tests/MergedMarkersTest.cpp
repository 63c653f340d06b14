#include "analysis/MergedMarkers.h"

#include <gtest/gtest.h>

namespace quarn::analysis {
namespace {

constexpr double kSecond = 1.0 / kSecondsPerDay;
constexpr double kT = 46000;

Marker At(double seconds, const char* label) { return {kT + seconds * kSecond, label, ""}; }

struct Merged {
  double seconds;
  std::string label;
};

TEST(MergedMarkers, MarkersWithinTwoSecondsOfAGroupsFirstAreDrawnOnce) {
  struct Case {
    const char* name;
    std::vector<std::vector<Marker>> perFile;
    std::vector<Merged> expected;
  };
  const Case cases[] = {
      {"one gas change marked at three recorders", {{At(0, "N2")}, {At(1.5, "N2")}, {At(2, "N2")}}, {{0, "N2"}}},
      {"just over two seconds apart stay apart", {{At(0, "N2")}, {At(2.1, "N2")}}, {{0, "N2"}, {2.1, "N2"}}},
      {"different labels joined once each",
       {{At(1, "CO2 500")}, {At(0, "N2"), At(60, "air")}, {At(0.5, "N2")}},
       {{0, "N2 / CO2 500"}, {60, "air"}}},
      {"a chain does not stretch a group", {{At(0, "a")}, {At(1.5, "a")}, {At(3, "a")}}, {{0, "a"}, {3, "a"}}},
      {"no files", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Marker> merged = MergedMarkers(c.perFile);
    ASSERT_EQ(merged.size(), c.expected.size());
    for (size_t i = 0; i < merged.size(); ++i) {
      EXPECT_NEAR((merged[i].time - kT) * kSecondsPerDay, c.expected[i].seconds, 1e-3);
      EXPECT_EQ(merged[i].label, c.expected[i].label);
    }
  }
}

}  // namespace
}  // namespace quarn::analysis
