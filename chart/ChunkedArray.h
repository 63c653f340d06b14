#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace quarn::chart {

// A growing array in fixed-size chunks: appending never copies or moves what is already there, so a long
// run grows without the moment where a vector holds its old and new buffer at once.
template <typename T, size_t ChunkSize>
class ChunkedArray {
 public:
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return chunks_[i / ChunkSize][i % ChunkSize]; }
  const T& operator[](size_t i) const { return chunks_[i / ChunkSize][i % ChunkSize]; }
  void push_back(const T& value) {
    if (size_ == chunks_.size() * ChunkSize) chunks_.push_back(std::make_unique_for_overwrite<T[]>(ChunkSize));
    (*this)[size_++] = value;
  }
  // Empties and gives the memory back.
  void clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    size_ = 0;
  }

 private:
  std::vector<std::unique_ptr<T[]>> chunks_;
  size_t size_ = 0;
};

}  // namespace quarn::chart
