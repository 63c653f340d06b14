#pragma once

#include <cstdint>
#include <iterator>
#include <map>

namespace quarn::publish {

// A set of record numbers kept as ranges, so that a long unbroken run of numbers costs one entry.
class NumberRanges {
 public:
  // The numbers 1 .. prefix, or none.
  explicit NumberRanges(uint64_t prefix = 0) {
    if (prefix > 0) ranges_[1] = prefix;
  }
  // The last number of the unbroken range from 1; 0 when 1 is not in the set.
  uint64_t Prefix() const {
    const auto first = ranges_.find(1);
    return first == ranges_.end() ? 0 : first->second;
  }
  bool Contains(uint64_t n) const {
    auto it = ranges_.upper_bound(n);
    if (it == ranges_.begin()) return false;
    --it;
    return n <= it->second;
  }
  // False when n was in the set already.
  bool Add(uint64_t n) {
    if (Contains(n)) return false;
    auto next = ranges_.upper_bound(n);
    uint64_t first = n;
    uint64_t last = n;
    if (next != ranges_.begin()) {
      auto previous = std::prev(next);
      if (previous->second + 1 == n) {
        first = previous->first;
        ranges_.erase(previous);
      }
    }
    if (next != ranges_.end() && next->first == n + 1) {
      last = next->second;
      ranges_.erase(next);
    }
    ranges_[first] = last;
    return true;
  }
  size_t RangeCount() const { return ranges_.size(); }

 private:
  std::map<uint64_t, uint64_t> ranges_;  // first -> last, disjoint and not adjacent
};

}  // namespace quarn::publish
