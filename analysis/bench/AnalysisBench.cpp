// Statistics over the whole view of a week-long run at the fastest setting (9 million records), as the panel
// asks for them on every display tick. Run: build/bench/analysis_bench --benchmark_repetitions=11
// --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "acquisition/DateTime.h"
#include "acquisition/MeasurementStore.h"
#include "analysis/ResponseTimes.h"
#include "analysis/Statistics.h"

namespace {

using quarn::acquisition::MeasurementRecord;
using quarn::acquisition::MeasurementStore;

constexpr size_t kWeekRecords = 9'000'000;

// One store of a week's records, filled once for every benchmark.
const MeasurementStore& WeekStore() {
  static const MeasurementStore* store = [] {
    auto* s = new MeasurementStore;
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, 3);
    const double start = quarn::acquisition::EncodeDayNumber({2026, 3, 14, 8, 0, 0, 0});
    for (size_t i = 0; i < kWeekRecords; ++i) {
      MeasurementRecord r;
      r.DT = start + double(i) * 0.067 / 86400;
      r.C2 = static_cast<uint16_t>(400 + 300 * std::sin(double(i) / 5e4) + noise(random));
      r.S = static_cast<uint16_t>(3100 + noise(random));
      r.T = 25;
      r.Uo = static_cast<uint16_t>(1500 + noise(random));
      r.Ur = static_cast<uint16_t>(1200 + noise(random));
      s->Append(r);
    }
    return s;
  }();
  return *store;
}

void WholeViewStatistics(benchmark::State& state) {
  const quarn::analysis::StoreRecords source(WeekStore());
  quarn::analysis::StatisticsIndex index;
  index.Update(source);
  // The view's ends fall inside buckets, as a user's zoom does.
  const size_t first = 1234;
  const size_t last = kWeekRecords - 777;
  for (auto _ : state) {
    quarn::analysis::RangeStatistics result = index.Query(source, first, last);
    benchmark::DoNotOptimize(result);
  }
  state.counters["records"] = double(last - first);
  state.counters["index_bytes_per_record"] = double(index.ReservedBytes()) / double(index.Size());
}
BENCHMARK(WholeViewStatistics)->Unit(benchmark::kMicrosecond);

// A tick: a few new records, then the whole view again.
void TickWithWholeView(benchmark::State& state) {
  const MeasurementStore& store = WeekStore();
  std::vector<MeasurementRecord> all;
  all.reserve(kWeekRecords);
  store.ForEach(0, kWeekRecords,
                [&](std::span<const MeasurementRecord> part) { all.insert(all.end(), part.begin(), part.end()); });
  const quarn::analysis::SpanRecords source(all);
  quarn::analysis::StatisticsIndex index;
  index.Append(std::span(all).first(kWeekRecords - 100'000));
  size_t shown = index.Size();
  for (auto _ : state) {
    if (shown + 15 > all.size()) {
      state.PauseTiming();
      index.Clear();
      index.Append(std::span(all).first(kWeekRecords - 100'000));
      shown = index.Size();
      state.ResumeTiming();
    }
    index.Append(std::span(all).subspan(shown, 15));
    shown += 15;
    quarn::analysis::RangeStatistics result = index.Query(source, 0, shown);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(TickWithWholeView)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
