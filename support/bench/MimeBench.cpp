// Encoding cost of a support mail whose data file is large (a week of measurements at 0.5 s is about
// 1.2 million lines, some 85 MB).

#include <benchmark/benchmark.h>

#include <string>

#include "support/MimeEncoding.h"
#include "support/MimeMessage.h"

namespace {

std::string DataFile(std::size_t bytes) {
  const std::string line =
      "10.12.2025 10:00:00\t00025\t01234\t02345\t03456\t00000\t00000\t00000\t00400\t00410\t00001\r\n";
  std::string text;
  text.reserve(bytes + line.size());
  while (text.size() < bytes) text += line;
  return text;
}

void BM_EncodeMailWithDataFile(benchmark::State& state) {
  const std::string data = DataFile(static_cast<std::size_t>(state.range(0)) << 20);
  for (auto _ : state) {
    quarn::support::MimeMessage message("Multipart/alternate", "Multipart message");
    for (int line = 0; line < 32; ++line) {
      message.AddPart(quarn::support::MakeTextPart("Kscale=12345", "plain", "Message text"));
    }
    message.AddPart(quarn::support::MakeAttachmentPart("run.dat", data));
    benchmark::DoNotOptimize(message.Encode().size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}
BENCHMARK(BM_EncodeMailWithDataFile)->Arg(1)->Arg(16)->Arg(85)->Unit(benchmark::kMillisecond);

void BM_QuotedPrintableText(benchmark::State& state) {
  const std::string text = DataFile(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(quarn::support::EncodeQuotedPrintable(text).size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_QuotedPrintableText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
