// recordAutoStop through ALSA with the capture paced as a sound card paces it: ALSA's file
// plugin reads a FIFO that a thread feeds with 25 ms periods of 16 kHz sound on the clock.
// Measures the time from raising the stop flag to the return (manual time, at stop points
// spread over a 0.1 s buffer) and counts recorded samples that are not the ones fed, in order
// ("samplesLost", 0 when nothing was dropped or repeated).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "recording.h"

using namespace tulim;

namespace {

const int FS = 16000;
const int PERIOD = 400;  // samples fed at a time

// Loud throughout, so only the stop flag ends a recording; no two neighbours are equal.
int fed(long k) { return (k % 2 ? -1 : 1) * (2000 + static_cast<int>(k % 5000)); }

void feed(const std::string& fifo, const std::atomic<bool>& done) {
  const int fd = open(fifo.c_str(), O_WRONLY);
  if (fd < 0) return;
  short period[PERIOD];
  auto next = std::chrono::steady_clock::now();
  for (long k = 0; !done; k += PERIOD) {
    for (int i = 0; i < PERIOD; ++i) period[i] = static_cast<short>(fed(k + i));
    if (write(fd, period, sizeof period) != static_cast<ssize_t>(sizeof period)) break;
    next += std::chrono::microseconds(1000000LL * PERIOD / FS);
    std::this_thread::sleep_until(next);
  }
  close(fd);
}

void BM_RecordAutoStopStopLatency(benchmark::State& state) {
  char dirTemplate[] = "/tmp/tulim_bench_XXXXXX";
  const std::string dir = mkdtemp(dirTemplate);
  const std::string fifo = dir + "/capture.fifo";
  const std::string config = dir + "/asound.conf";
  mkfifo(fifo.c_str(), 0600);
  if (FILE* f = fopen(config.c_str(), "w")) {
    fprintf(f, "pcm.!default { type file slave.pcm { type null } infile \"%s\" file \"/dev/null\" format \"raw\" }\n",
            fifo.c_str());
    fclose(f);
  }
  const char* oldConfig = getenv("ALSA_CONFIG_PATH");
  const std::string restore = oldConfig ? oldConfig : "";
  setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
  // The feeder's write after ALSA has closed the FIFO ends it instead of the process.
  signal(SIGPIPE, SIG_IGN);

  recordParam p{};
  p.nbits = 16;
  p.fs = FS;
  p.nAdjustFrame = 1;
  p.upRateBSModify = 1;
  p.silenceLimitBeforeSpeech = 1;
  p.silenceLimitInSpeech = 0.1;
  std::vector<int32_t> samples(static_cast<size_t>(FS) * 5);
  long lost = 0, recorded = 0;
  int run = 0;
  for (auto _ : state) {
    std::atomic<bool> done{false};
    std::thread feeder(feed, fifo, std::cref(done));
    char stop = 0;
    int32_t count = -1;
    std::chrono::steady_clock::time_point returned;
    std::thread recorder([&] {
      count = recordAutoStop(&p, samples.data(), static_cast<int32_t>(samples.size()), &stop);
      returned = std::chrono::steady_clock::now();
    });
    std::this_thread::sleep_for(std::chrono::microseconds(500000 + (run++ * 7919) % 100000));
    const auto raised = std::chrono::steady_clock::now();
    __atomic_store_n(&stop, 1, __ATOMIC_RELEASE);
    recorder.join();
    done = true;
    feeder.join();
    state.SetIterationTime(std::chrono::duration<double>(returned - raised).count());
    if (count < 0) {
      state.SkipWithError("recordAutoStop failed");
      break;
    }
    for (long k = 0; k < count; ++k) lost += samples[static_cast<size_t>(k)] != fed(k);
    recorded += count;
  }
  state.counters["samplesLost"] = static_cast<double>(lost);
  state.counters["samplesRecorded"] = static_cast<double>(recorded);

  if (oldConfig)
    setenv("ALSA_CONFIG_PATH", restore.c_str(), 1);
  else
    unsetenv("ALSA_CONFIG_PATH");
  unlink(config.c_str());
  unlink(fifo.c_str());
  rmdir(dir.c_str());
}
BENCHMARK(BM_RecordAutoStopStopLatency)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
