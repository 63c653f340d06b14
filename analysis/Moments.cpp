#include "Moments.h"

#include <algorithm>

namespace quarn::analysis {

void Moments::Merge(const Moments& other) {
  if (other.count == 0) return;
  if (count == 0) {
    *this = other;
    return;
  }
  const double total = count + other.count;
  const double weight = count * other.count / total;
  const double deltaT = other.meanT - meanT;
  for (size_t k = 0; k < kSeriesCount; ++k) {
    Series& a = series[k];
    const Series& b = other.series[k];
    const double deltaY = b.mean - a.mean;
    a.m2 += b.m2 + deltaY * deltaY * weight;
    a.coMoment += b.coMoment + deltaT * deltaY * weight;
    a.mean += deltaY * other.count / total;
    a.min = std::min(a.min, b.min);
    a.max = std::max(a.max, b.max);
  }
  m2T += other.m2T + deltaT * deltaT * weight;
  meanT += deltaT * other.count / total;
  count = total;
}

void ShiftedSums::Add(double t, const SeriesValues& y) {
  if (count_ == 0) {
    t0_ = t;
    for (size_t k = 0; k < kSeriesCount; ++k) series_[k] = {y[k], 0, 0, 0, y[k], y[k]};
  }
  ++count_;
  const double dt = t - t0_;
  sumT_ += dt;
  sumTT_ += dt * dt;
  for (size_t k = 0; k < kSeriesCount; ++k) {
    Series& s = series_[k];
    const double dy = y[k] - s.y0;
    s.sum += dy;
    s.sumSquares += dy * dy;
    s.sumTY += dt * dy;
    s.min = std::min(s.min, y[k]);
    s.max = std::max(s.max, y[k]);
  }
}

Moments ShiftedSums::ToMoments() const {
  Moments m;
  if (count_ == 0) return m;
  const double n = static_cast<double>(count_);
  m.count = n;
  const double meanDt = sumT_ / n;
  m.meanT = t0_ + meanDt;
  m.m2T = std::max(0.0, sumTT_ - sumT_ * meanDt);
  for (size_t k = 0; k < kSeriesCount; ++k) {
    const Series& s = series_[k];
    const double meanDy = s.sum / n;
    m.series[k] = {s.y0 + meanDy, std::max(0.0, s.sumSquares - s.sum * meanDy), s.sumTY - sumT_ * meanDy, s.min, s.max};
  }
  return m;
}

}  // namespace quarn::analysis
