// The report that travels as the body of the support mail.

#include <gtest/gtest.h>

#include "support/SupportReport.h"

namespace quarn::support {
namespace {

const base::SensorIdentity kIdentity = {"7", "012345", "v2.31", "T5", "R3"};

TEST(SupportReportTest, LinesCarryIdentityThenEveryCoefficientUnderItsLabel) {
  Coefficients coeff{};
  for (std::size_t i = 0; i < coeff.size(); ++i) coeff[i] = static_cast<int32_t>(i * 11) - 50;
  coeff[19] = INT32_MIN;
  const std::vector<std::string> expected = {"Information",
                                             "=======================",
                                             "Port=7",
                                             "Serial Number=012345",
                                             "Firmware rev.=v2.31",
                                             "Signals value=T5",
                                             "Coefficients value=R3",
                                             "=======================",
                                             "",
                                             "Table of Coefficient",
                                             "=======================",
                                             "zero2=-50",
                                             "Kscale=-39",
                                             "Kzero1=-28",
                                             "Ksn=-17",
                                             "Kalmh=-6",
                                             "Kdelta=5",
                                             "KzeroU=16",
                                             "KzeroUref=27",
                                             "Koffduty=38",
                                             "T0=49",
                                             "T1=60",
                                             "reserv1=71",
                                             "reserv2=82",
                                             "reserv3=93",
                                             "reserv4=104",
                                             "reserv5=115",
                                             "reserv6=126",
                                             "reserv7=137",
                                             "reserv8=148",
                                             "reserv9=-2147483648",
                                             "======================="};
  EXPECT_EQ(ReportLines(kIdentity, coeff), expected);
}

TEST(SupportReportTest, EmptyCoefficientListGivesZeroOnEveryCoefficientLine) {
  const std::vector<std::string> lines = ReportLines(kIdentity, Coefficients{});
  ASSERT_EQ(lines.size(), 32u);
  EXPECT_EQ(lines[5], "Signals value=T5");
  EXPECT_EQ(lines[6], "Coefficients value=R3");
  for (std::size_t i = 11; i <= 30; ++i) {
    const std::string& line = lines[i];
    EXPECT_EQ(line.substr(line.find('=')), "=0") << line;
  }
}

}  // namespace
}  // namespace quarn::support
