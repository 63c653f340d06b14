#include <benchmark/benchmark.h>

#include <string>

#include "link/Protocol.h"

namespace {

// A read as the reader thread sees it: noise, full frames, a partial one at the end.
std::string SampleRead(int frames) {
  std::string bytes = "\n\n";
  for (int i = 0; i < frames; ++i) {
    bytes += '\x0E';
    for (int v : {25, 3100 + i, 1200, 1500, 0, 0, 10000, 412, 405, 0}) bytes += std::to_string(v) + '\t';
    bytes += '\r';
  }
  return bytes +
         "\x0E"
         "25\t31";
}

void BM_ForEachFrame(benchmark::State& state) {
  const std::string bytes = SampleRead(static_cast<int>(state.range(0)));
  int64_t sum = 0;
  for (auto _ : state) {
    quarn::link::ForEachFrame(bytes, [&](std::span<const int32_t, quarn::link::kFrameFields> v, int) {
      sum += v[8];
      return true;
    });
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ForEachFrame)->Arg(1)->Arg(20);

}  // namespace

BENCHMARK_MAIN();
