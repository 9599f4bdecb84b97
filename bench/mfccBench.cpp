// The MFCC front end on 10 s of 16 kHz speech-like samples (MFCC_E_D_A, the default
// configuration), configuration reading included.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "CMel.h"

namespace {

std::vector<int> tenSeconds() {
  std::vector<int> samples(160000);
  uint32_t seed = 1;
  for (size_t n = 0; n < samples.size(); ++n) {
    seed = seed * 1664525u + 1013904223u;
    const double t = double(n) / 16000;
    samples[n] = int(3000 * std::sin(2 * M_PI * 220 * t) + 1500 * std::sin(2 * M_PI * 1330 * t) +
                     int(seed >> 22) - 512);
  }
  return samples;
}

void BM_MfccEDA10s(benchmark::State& state) {
  char cfg[] = "/tmp/tulim-mfcc-bench-XXXXXX";
  const int fd = mkstemp(cfg);
  if (fd < 0) {
    state.SkipWithError("cannot make a configuration file");
    return;
  }
  const std::string text = "TARGETKIND = MFCC_E_D_A\n";
  if (write(fd, text.data(), text.size()) != ssize_t(text.size())) state.SkipWithError("short write");
  close(fd);
  const std::vector<int> samples = tenSeconds();
  for (auto _ : state) {
    tulim::CMel mel;
    int frames = 0, size = 0;
    mel.computeMfcc(samples.data(), 16000, 16, int(samples.size()), cfg, &frames, &size);
    benchmark::DoNotOptimize(mel.features.data());
  }
  unlink(cfg);
  // Seconds of speech per second of computing: how many times faster than real time.
  state.counters["realtime_x"] =
      benchmark::Counter(10.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MfccEDA10s)->Unit(benchmark::kMillisecond);

}  // namespace
