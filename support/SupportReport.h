#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/SensorIdentity.h"

namespace quarn::support {

inline constexpr std::size_t kCoefficientCount = 20;

using Coefficients = std::array<int32_t, kCoefficientCount>;

// The 32 lines of the report that travels as the body of the support mail.
std::vector<std::string> ReportLines(const base::SensorIdentity& identity, const Coefficients& coeff);

}  // namespace quarn::support
