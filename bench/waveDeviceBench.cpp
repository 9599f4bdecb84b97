// Cost of fitting integer samples to the bit depth and of expanding mu-law codes, per
// second of 16 kHz sound.
#include <benchmark/benchmark.h>

#include <vector>

#include "CWaveDevice.h"

namespace {

std::vector<int> sweep(int n, int amplitude) {
  std::vector<int> samples(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) samples[i] = (i * 7919) % (2 * amplitude + 1) - amplitude;
  return samples;
}

void BM_SetSamplesCopied16(benchmark::State& state) {
  std::vector<int> samples = sweep(16000, 30000);
  tulim::CWaveDevice wave(1, 16000, 16);
  for (auto _ : state) {
    wave.setSamples(samples.data(), 16000);
    benchmark::DoNotOptimize(wave.data());
  }
  state.SetItemsProcessed(state.iterations() * 16000);
}
BENCHMARK(BM_SetSamplesCopied16);

void BM_SetSamplesScaled16(benchmark::State& state) {
  std::vector<int> samples = sweep(16000, 100000);
  tulim::CWaveDevice wave(1, 16000, 16);
  for (auto _ : state) {
    wave.setSamples(samples.data(), 16000);
    benchmark::DoNotOptimize(wave.data());
  }
  state.SetItemsProcessed(state.iterations() * 16000);
}
BENCHMARK(BM_SetSamplesScaled16);

void BM_MuLawDecodeFloat(benchmark::State& state) {
  std::vector<float> codes(16000);
  for (auto _ : state) {
    state.PauseTiming();
    for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<float>(i & 0xFF);
    state.ResumeTiming();
    tulim::muLawDecodeFloat(codes.data(), 16000, 0);
    benchmark::DoNotOptimize(codes.data());
  }
  state.SetItemsProcessed(state.iterations() * 16000);
}
BENCHMARK(BM_MuLawDecodeFloat);

}  // namespace
