#include "spectrumSubtract.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "toneFixture.h"

using namespace tulim;
using testing::HasSubstr;
using testing::MatchesRegex;

namespace {

struct freeDeleter {
  void operator()(int* p) const { free(p); }
};

// The result of spectrumSubtract as a vector, with what it printed.
struct subtracted {
  std::vector<int> samples;
  std::string printed;
};

subtracted subtract(const std::vector<int>& x, int fs) {
  int count = -1;
  testing::internal::CaptureStdout();
  std::unique_ptr<int, freeDeleter> out(
      spectrumSubtract(x.data(), static_cast<int>(x.size()), fs, &count));
  subtracted result;
  result.printed = testing::internal::GetCapturedStdout();
  result.samples.assign(out.get(), out.get() + count);
  return result;
}

// A tone of period 41 samples repeated exactly: at 16000 Hz the hop of 205 samples is five
// periods, so every analysis frame sees the same samples as the noise estimate.
std::vector<int> stationaryTone(int n, double amplitude) {
  const std::vector<int> period = test::sineWave(41, 1, 41, amplitude);
  std::vector<int> x(n);
  for (int i = 0; i < n; ++i) x[i] = period[i % 41];
  return x;
}

int maxAbs(const std::vector<int>& x, int begin, int end) {
  int m = 0;
  for (int i = begin; i < end; ++i) m = std::max(m, std::abs(x[i]));
  return m;
}

}  // namespace

TEST(SpectrumSubtract, OutputDropsTheTailThatFillsNoWholeHop) {
  struct Case {
    int n, fs, outCount;
  };
  const Case cases[] = {
      {16000, 16000, 15887},  // frames of 512, overlap 307, hop 205: 76 frames
      {8000, 8000, 7981},     // frames of 256, overlap 153, hop 103: 76 frames
      {3997, 16000, 3997},    // exactly the 18 noise frames
      {1904, 8000, 1904},     // exactly the 17 noise frames at 8000 Hz
      {32000, 32000, 31774},  // frames of 1024, overlap 614, hop 410
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.n) + " samples at " + std::to_string(c.fs));
    const subtracted out = subtract(test::noiseWave(c.n, 500, 7), c.fs);
    EXPECT_EQ(out.samples.size(), static_cast<size_t>(c.outCount));
    EXPECT_EQ(out.printed, "");
  }
}

TEST(SpectrumSubtract, CancelsAStationaryToneAndKeepsABurst) {
  const int fs = 16000;
  std::vector<int> x = stationaryTone(16000, 1000);
  const subtracted quiet = subtract(x, fs);
  EXPECT_LE(maxAbs(quiet.samples, 0, static_cast<int>(quiet.samples.size())), 10);

  const std::vector<int> burst = test::sineWave(4000, 1000, fs, 3000);
  for (int i = 0; i < 4000; ++i) x[8000 + i] += burst[i];
  const subtracted out = subtract(x, fs);
  ASSERT_EQ(out.samples.size(), 15887u);
  EXPECT_LE(maxAbs(out.samples, 0, 7000), 10);
  EXPECT_LE(maxAbs(out.samples, 13000, 15887), 10);
  // The overlapping windows add up to a gain of about 1.35 and are not corrected.
  const double kept = test::rms(out.samples, 9000, 11000) / test::rms(burst, 1000, 3000);
  EXPECT_GT(kept, 1.2);
  EXPECT_LT(kept, 1.5);
  EXPECT_NEAR(test::zeroCrossingFrequency(out.samples, 9000, 11000, fs), 1000, 5);
}

TEST(SpectrumSubtract, LeavesItsInputAloneAndRepeatsItsResult) {
  std::vector<int> x = test::noiseWave(8000, 2000, 3);
  for (int i = 5000; i < 6000; ++i) x[i] *= 4;
  const std::vector<int> original = x;
  const subtracted first = subtract(x, 16000);
  const subtracted second = subtract(x, 16000);
  EXPECT_EQ(x, original);
  EXPECT_EQ(first.samples, second.samples);
  EXPECT_NE(first.samples, std::vector<int>(first.samples.size(), 0));
}

TEST(SpectrumSubtract, ReturnsInputShorterThanTheNoiseEstimateUnchangedWithAWarning) {
  struct Case {
    int n, fs;
  };
  for (const Case& c : {Case{3996, 16000}, Case{1903, 8000}, Case{100, 16000}, Case{0, 16000}}) {
    SCOPED_TRACE(std::to_string(c.n) + " samples at " + std::to_string(c.fs));
    const std::vector<int> x = test::noiseWave(c.n, 500, 11);
    const subtracted out = subtract(x, c.fs);
    EXPECT_EQ(out.samples, x);
    EXPECT_THAT(out.printed, MatchesRegex("Warning: spectrumSubtract: [0-9]+ samples are fewer "
                                          "than the [0-9]+ that the noise estimate needs .*\n"));
  }
}

TEST(SpectrumSubtract, RefusesRatesWhoseFrameLengthIsNotAPowerOfTwo) {
  const std::vector<int> x = test::noiseWave(44100, 500, 5);
  for (int fs : {11025, 22050, 44100, 0, -16000}) {
    SCOPED_TRACE("fs = " + std::to_string(fs));
    int count = -1;
    try {
      free(spectrumSubtract(x.data(), static_cast<int>(x.size()), fs, &count));
      ADD_FAILURE() << "nothing thrown";
    } catch (char* message) {
      EXPECT_THAT(message,
                  MatchesRegex("spectrumSubtract: frame length -?[0-9]+ at -?[0-9]+ Hz is "
                               "not a power of two \\(line [0-9]+ of spectrumSubtract\\)"));
      EXPECT_THAT(message, HasSubstr(std::to_string(fs) + " Hz"));
    }
    EXPECT_EQ(count, -1);
  }
}
