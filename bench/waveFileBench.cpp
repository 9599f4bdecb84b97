// Cost of TWaveFile's resampling (44.1 kHz to 16 kHz, 8 kHz to 16 kHz) and of a save and
// load round trip, per second of sound.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TWaveFile.h"

namespace {

std::vector<int> sweep(int n) {
  std::vector<int> samples(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) samples[i] = (i * 7919) % 60001 - 30000;
  return samples;
}

void BM_WaveFileConvert(benchmark::State& state) {
  const int fromRate = static_cast<int>(state.range(0));
  std::vector<int> second = sweep(fromRate);
  tulim::TWaveFile wave;
  for (auto _ : state) {
    wave.convert(fromRate, 16);
    wave.setSamples(second.data(), fromRate);
    wave.convert(16000, 16);
    benchmark::DoNotOptimize(wave.samples());
  }
  state.SetItemsProcessed(state.iterations() * fromRate);
}
BENCHMARK(BM_WaveFileConvert)->Arg(44100)->Arg(8000);

void BM_WaveFileSaveLoad(benchmark::State& state) {
  std::string name = (std::filesystem::temp_directory_path() / "tulim-bench-wave.wav").string();
  std::vector<int> seconds = sweep(10 * 16000);
  tulim::TWaveFile wave;
  wave.convert(16000, 16);
  wave.setSamples(seconds.data(), static_cast<int>(seconds.size()));
  tulim::TWaveFile back;
  for (auto _ : state) {
    wave.save(name.c_str());
    back.load(name.c_str());
    benchmark::DoNotOptimize(back.samples());
  }
  std::remove(name.c_str());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(seconds.size()));
}
BENCHMARK(BM_WaveFileSaveLoad);

}  // namespace
