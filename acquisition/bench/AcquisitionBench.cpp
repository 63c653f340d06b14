// Costs of the store and the data file at the scale of a week-long run (1.2 million records at 0.5 s), and of
// packing the store's chunks.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/DataFile.h"
#include "acquisition/MeasurementStore.h"
#include "acquisition/PackedRecords.h"
#include "acquisition/RegionalFormat.h"

namespace {

using quarn::acquisition::MeasurementRecord;
using quarn::acquisition::MeasurementStore;
using Clock = std::chrono::steady_clock;

constexpr size_t kWeekOfRecords = 1'200'000;

MeasurementRecord Sample(size_t i) {
  MeasurementRecord r;
  r.DT = 45000.0 + static_cast<double>(i) / 172800.0;
  r.T = 25;
  r.S = static_cast<uint16_t>(3100 + i % 7);
  r.Ur = 1200;
  r.Uo = 1500;
  r.par7 = 10000;
  r.C2 = static_cast<uint16_t>(i % 5000);
  return r;
}

// The obvious alternative: one contiguous vector, which copies everything each time it grows.
class VectorStore {
 public:
  void Append(const MeasurementRecord& r) {
    std::lock_guard lock(mutex_);
    records_.push_back(r);
  }
  size_t Count() const {
    std::lock_guard lock(mutex_);
    return records_.size();
  }
  std::vector<MeasurementRecord> ReadFrom(size_t first) const {
    std::lock_guard lock(mutex_);
    if (first >= records_.size()) return {};
    return std::vector<MeasurementRecord>(records_.begin() + static_cast<std::ptrdiff_t>(first), records_.end());
  }
  size_t ReservedBytes() const {
    std::lock_guard lock(mutex_);
    return records_.capacity() * sizeof(MeasurementRecord);
  }

 private:
  mutable std::mutex mutex_;  // guards records_
  std::vector<MeasurementRecord> records_;
};

// Bytes handed out by the allocator, large blocks (mmap) included.
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// A week of appends while a display reads what is new every millisecond (a thousand times more often
// than the real display). Stalls count appends that took longer than 1 ms: growing a contiguous store
// copies it under the lock. Single slow appends also come from the scheduler on a busy machine.
template <typename Store>
void BM_AppendWhileReading(benchmark::State& state) {
  double slowestAppend = 0;
  double slowestRead = 0;
  double stalls = 0;
  double bytesPerRecord = 0;
  double heapPerRecord = 0;
  for (auto _ : state) {
    const size_t heapBefore = HeapInUse();
    Store store;
    std::atomic<bool> appending{true};
    std::thread display([&] {
      size_t shown = 0;
      while (appending.load() || shown < store.Count()) {
        const auto start = Clock::now();
        shown += store.ReadFrom(shown).size();
        slowestRead = std::max(slowestRead, Microseconds(Clock::now() - start));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    for (size_t i = 0; i < kWeekOfRecords; ++i) {
      const auto start = Clock::now();
      store.Append(Sample(i));
      const double took = Microseconds(Clock::now() - start);
      slowestAppend = std::max(slowestAppend, took);
      if (took > 1000) ++stalls;
    }
    appending = false;
    display.join();
    bytesPerRecord = static_cast<double>(store.ReservedBytes()) / kWeekOfRecords;
    heapPerRecord = static_cast<double>(HeapInUse() - heapBefore) / kWeekOfRecords;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kWeekOfRecords));
  state.counters["slowest_append_us"] = slowestAppend;
  state.counters["slowest_read_us"] = slowestRead;
  state.counters["stalls_per_week"] = stalls / static_cast<double>(state.iterations());
  state.counters["reserved_bytes_per_record"] = bytesPerRecord;
  state.counters["heap_bytes_per_record"] = heapPerRecord;
}
BENCHMARK_TEMPLATE(BM_AppendWhileReading, MeasurementStore)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_TEMPLATE(BM_AppendWhileReading, VectorStore)->Unit(benchmark::kMillisecond)->Iterations(5);

// One display tick: copy the records that are new since the last tick. Args: records already stored,
// records new since the last read (2 = one second at 0.5 s).
template <typename Store>
void BM_ReadNewRecords(benchmark::State& state) {
  const auto stored = static_cast<size_t>(state.range(0));
  const auto fresh = static_cast<size_t>(state.range(1));
  Store store;
  for (size_t i = 0; i < stored; ++i) store.Append(Sample(i));
  for (auto _ : state) benchmark::DoNotOptimize(store.ReadFrom(stored - fresh));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * fresh));
}
BENCHMARK_TEMPLATE(BM_ReadNewRecords, MeasurementStore)->Args({1000, 2})->Args({1'200'000, 2})->Args({1'200'000, 100});
BENCHMARK_TEMPLATE(BM_ReadNewRecords, VectorStore)->Args({1000, 2})->Args({1'200'000, 2})->Args({1'200'000, 100});

void BM_FormatDataLine(benchmark::State& state) {
  const quarn::acquisition::PlainRegionalFormat format;
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(quarn::acquisition::DataLine(Sample(i++), format));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatDataLine);

// Formatting plus one write to the system per line, as the reader does it.
void BM_WriteDataLine(benchmark::State& state) {
  char folder[] = "/tmp/quarn-acq-bench-XXXXXX";
  if (!mkdtemp(folder)) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string path = std::string(folder) + "/data.txt";
  const quarn::acquisition::PlainRegionalFormat format;
  {
    quarn::acquisition::DataFile file;
    std::string reason;
    if (!file.Open(path, reason)) {
      state.SkipWithError(reason.c_str());
      return;
    }
    size_t i = 0;
    for (auto _ : state) {
      if (!file.Write(quarn::acquisition::DataLine(Sample(i++), format), reason)) {
        state.SkipWithError(reason.c_str());
        break;
      }
    }
  }
  state.SetItemsProcessed(state.iterations());
  unlink(path.c_str());
  rmdir(folder);
}
BENCHMARK(BM_WriteDataLine);

}  // namespace

// A full chunk packed: bytes per record, and the time to pack it, to unpack it whole and to read one
// record, for three kinds of run. Arg: 0 smooth (the synthetic run the display bench shows), 1 a noisy sensor
// (values a few dozen counts apart, times whole milliseconds with the line's jitter), 2 every field random
// (the worst case: nothing to pack).
MeasurementRecord Shaped(int shape, size_t i, std::mt19937& random) {
  if (shape == 0) return Sample(i);
  MeasurementRecord r;
  const int64_t ms = int64_t{46000} * 86400000 + static_cast<int64_t>(i) * 500 + static_cast<int64_t>(random() % 40);
  r.DT = static_cast<double>(ms / 86400000) + static_cast<double>(ms % 86400000) / 86400000.0;
  auto noisy = [&](int level, int spread) {
    return static_cast<uint16_t>(level + static_cast<int>(random() % spread));
  };
  if (shape == 1) {
    r.T = noisy(25, 2);
    r.S = noisy(3100, 60);
    r.Ur = noisy(1200, 30);
    r.Uo = noisy(1500, 30);
    r.par5 = noisy(9000, 200);
    r.par6 = noisy(800, 20);
    r.par7 = noisy(10000, 100);
    r.C1 = noisy(400, 40);
    r.C2 = noisy(400, 40);
    r.K = 0;
  } else {
    r.DT = std::bit_cast<double>(static_cast<uint64_t>(random()) << 32 | random());
    for (uint16_t* v : {&r.T, &r.S, &r.Ur, &r.Uo, &r.par5, &r.par6, &r.par7, &r.C1, &r.C2, &r.K})
      *v = static_cast<uint16_t>(random());
  }
  return r;
}

void BM_PackChunk(benchmark::State& state) {
  const int shape = static_cast<int>(state.range(0));
  std::mt19937 random(33);
  std::vector<MeasurementRecord> chunk;
  for (size_t i = 0; i < MeasurementStore::kChunkRecords; ++i) chunk.push_back(Shaped(shape, i, random));
  size_t bytes = 0;
  for (auto _ : state) {
    const quarn::acquisition::PackedRecords packed(chunk);
    bytes = packed.Bytes();
    benchmark::DoNotOptimize(bytes);
  }
  const quarn::acquisition::PackedRecords packed(chunk);
  std::vector<MeasurementRecord> out(chunk.size());
  const auto t0 = Clock::now();
  for (int k = 0; k < 100; ++k) {
    packed.Unpack(0, chunk.size(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  const auto t1 = Clock::now();
  for (size_t k = 0; k < 100 * chunk.size(); ++k) benchmark::DoNotOptimize(packed.At((k * 2654435761u) % chunk.size()));
  const auto t2 = Clock::now();
  state.counters["bytes_per_record"] = static_cast<double>(bytes) / static_cast<double>(chunk.size());
  state.counters["unpack_chunk_us"] = Microseconds(t1 - t0) / 100;
  state.counters["read_one_ns"] = Microseconds(t2 - t1) * 1000 / (100.0 * static_cast<double>(chunk.size()));
}
BENCHMARK(BM_PackChunk)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
