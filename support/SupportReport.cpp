#include "support/SupportReport.h"

#include "support/Accounts.h"

namespace quarn::support {

namespace {

constexpr const char* kRule = "=======================";

constexpr std::array<const char*, kCoefficientCount> kCoefficientLabels = {
    "zero2=",     "Kscale=",   "Kzero1=",  "Ksn=",     "Kalmh=",   "Kdelta=",  "KzeroU=",
    "KzeroUref=", "Koffduty=", "T0=",      "T1=",      "reserv1=", "reserv2=", "reserv3=",
    "reserv4=",   "reserv5=",  "reserv6=", "reserv7=", "reserv8=", "reserv9="};

}  // namespace

std::vector<std::string> ReportLines(const base::SensorIdentity& identity, const Coefficients& coeff) {
  std::vector<std::string> lines = {"Information",
                                    kRule,
                                    "Port=" + identity.portNumber,
                                    "Serial Number=" + identity.serialNumber,
                                    "Firmware rev.=" + identity.firmware,
                                    "Signals value=" + identity.typeCode,
                                    "Coefficients value=" + identity.rangeCode,
                                    kRule,
                                    "",
                                    "Table of Coefficient",
                                    kRule};
  for (std::size_t i = 0; i < coeff.size(); ++i) {
    lines.push_back(kCoefficientLabels[i] + std::to_string(coeff[i]));
  }
  lines.push_back(kRule);
  return lines;
}

}  // namespace quarn::support
