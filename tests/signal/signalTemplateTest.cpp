#include "signalTemplate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <cmath>
#include <string>
#include <vector>

#include "frameWaves.h"

using namespace tulim;
using tulim::test::piecewiseWave;

namespace {

// Frames of 320 with overlap 160 over silence, a burst of 1000 and a burst of 30 (each
// burst two hops long), then silence: frames lie wholly inside one piece or straddle two.
std::vector<int> twoBurstWave() { return piecewiseWave({{320, 0}, {320, 1000}, {320, 30}, {320, 0}}); }

}  // namespace

TEST(Frame2volume, AbsoluteDeviationFromMedianIsExactOnSquareWaves) {
  std::vector<int> wave = twoBurstWave();
  std::vector<int> vol(7, -1);
  frame2volume(wave.data(), static_cast<int>(wave.size()), 320, 160, vol.data(), 1);
  // A frame half silence, half burst: 80 samples of +A, 80 of -A, 160 zeros; median 0.
  // Half 1000 and half 30: median (−30 + 30)/2 = 0.
  EXPECT_THAT(vol, testing::ElementsAre(0, 160000, 320000, 160000 + 4800, 9600, 4800, 0));

  std::vector<float> volF(7, -1);
  frame2volume(wave.data(), static_cast<int>(wave.size()), 320, 160, volF.data(), 1);
  EXPECT_THAT(volF, testing::ElementsAre(0, 160000, 320000, 164800, 9600, 4800, 0));
}

TEST(Frame2volume, MeasuresDeviationFromTheMedianNotFromZero) {
  std::vector<int> wave(256, 500);
  wave[10] = 510;
  wave[20] = 480;
  int vol = -1;
  frame2volume(wave.data(), 256, 256, 0, &vol, 1);
  EXPECT_EQ(vol, 30);
}

TEST(Frame2volume, EnergyAndLogEnergyAboutTheMean) {
  std::vector<int> wave = piecewiseWave({{256, 0}, {256, 100}});
  int energy[2];
  float energyF[2], logEnergy[2];
  int logEnergyInt[2];
  frame2volume(wave.data(), 512, 256, 0, energy, 2);
  frame2volume(wave.data(), 512, 256, 0, energyF, 2);
  frame2volume(wave.data(), 512, 256, 0, logEnergy, 3);
  frame2volume(wave.data(), 512, 256, 0, logEnergyInt, 3);
  EXPECT_EQ(energy[0], 0);
  EXPECT_EQ(energy[1], 2560000);
  EXPECT_EQ(energyF[1], 2560000.0f);
  EXPECT_EQ(logEnergy[0], -1e10f);
  EXPECT_FLOAT_EQ(logEnergy[1], logf(2560000.0f));
  EXPECT_EQ(logEnergyInt[0], INT_MIN);
  EXPECT_EQ(logEnergyInt[1], 14);  // ln 2560000 = 14.755
}

TEST(Frame2volume, SaturatesInsteadOfOverflowingOnFullScaleIntegers) {
  std::vector<int> wave = piecewiseWave({{320, 2000000000}});
  int vol = 0, energy = 0;
  frame2volume(wave.data(), 320, 320, 0, &vol, 1);
  frame2volume(wave.data(), 320, 320, 0, &energy, 2);
  EXPECT_EQ(vol, INT_MAX);
  EXPECT_EQ(energy, INT_MAX);
}

TEST(Frame2volume, IntegerVolumeMatchesTermByTermSaturatedSum) {
  // The straightforward volume: the median of a sorted copy, then each |x - median| added
  // and held at 2^31 once reached.
  auto reference = [](const int* frame, int n) {
    std::vector<int> sorted(frame, frame + n);
    std::sort(sorted.begin(), sorted.end());
    const int k = (n - 1) / 2;
    const int mid = n % 2 ? sorted[k] : static_cast<int>((static_cast<long long>(sorted[k]) + sorted[k + 1]) / 2);
    long long sum = 0;
    for (int j = 0; j < n; ++j) sum = frameMeasure::capAdd(sum, std::llabs(static_cast<long long>(frame[j]) - mid));
    return saturateToInt(sum);
  };
  unsigned state = 7;
  auto next = [&state]() {
    state = state * 1103515245u + 12345u;
    return state >> 4;
  };
  struct kind {
    const char* name;
    std::function<int()> sample;
  };
  const std::vector<kind> kinds = {
      {"speech-like", [&] { return static_cast<int>(next() % 20001) - 10000; }},
      {"few values, many ties", [&] { return static_cast<int>(next() % 3) * 7 - 7; }},
      {"constant", [] { return -5; }},
      {"full int range", [&] { return static_cast<int>(next() * 4u + (next() & 3u)); }},
      {"extremes only", [&] { return next() % 2 ? INT_MAX : INT_MIN; }},
      {"just below saturation", [&] { return next() % 2 ? 6700000 : -6700000; }},
  };
  for (const kind& k : kinds) {
    for (int frameSize : {1, 2, 3, 4, 7, 8, 319, 320}) {
      SCOPED_TRACE(std::string(k.name) + ", frame size " + std::to_string(frameSize));
      const int overlap = frameSize / 2;
      std::vector<int> wave(static_cast<size_t>(frameSize) * 6);
      for (int& v : wave) v = k.sample();
      const int n = static_cast<int>(wave.size());
      const int frames = audioClass().getFrameNum(n, frameSize, overlap);
      std::vector<int> vol(static_cast<size_t>(frames));
      frame2volume(wave.data(), n, frameSize, overlap, vol.data(), 1);
      for (int i = 0; i < frames; ++i)
        EXPECT_EQ(vol[i], reference(wave.data() + i * (frameSize - overlap), frameSize)) << "frame " << i;
    }
  }
}

TEST(Frame2volume, WritesNothingForAWaveShorterThanAFrame) {
  std::vector<int> wave(319, 1000);
  int vol = -7;
  frame2volume(wave.data(), 319, 320, 160, &vol, 1);
  frame2volume(wave.data(), 0, 320, 160, &vol, 1);
  EXPECT_EQ(vol, -7);
}

TEST(Frame2volume, RejectsUnknownMethod) {
  std::vector<int> wave(320, 0);
  int vol[1];
  for (int method : {0, 4}) {
    try {
      frame2volume(wave.data(), 320, 320, 0, vol, method);
      ADD_FAILURE() << "method " << method << " accepted";
    } catch (char* message) {
      EXPECT_THAT(message, testing::MatchesRegex("Unknown volume method=" + std::to_string(method) +
                                                 " \\(line [0-9]+ of file lib/audio\\)"));
    }
  }
}

TEST(Frame2hod, SumsBinomialDifferencesOfEachOrder) {
  // An impulse that every window of every order covers: the sum of |coefficients| = 2^order.
  std::vector<int> impulse(13, 0);
  impulse[6] = 3;
  // A ramp: its first difference is 1 everywhere, higher ones vanish.
  std::vector<int> ramp = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  // Alternating +1/-1: every difference of order k has magnitude 2^k.
  std::vector<int> alternating = piecewiseWave({{10, 1}});
  struct Case {
    int order;
    int impulseHod;
    int rampHod;
    int alternatingHod;
  };
  for (const Case& c : {Case{1, 6, 9, 2 * 9}, Case{2, 12, 0, 4 * 8}, Case{3, 24, 0, 8 * 7}, Case{4, 48, 0, 16 * 6},
                        Case{5, 96, 0, 32 * 5}}) {
    SCOPED_TRACE(c.order);
    EXPECT_EQ(frame2hod(impulse.data(), 13, c.order), c.impulseHod);
    EXPECT_EQ(frame2hod(ramp.data(), 10, c.order), c.rampHod);
    EXPECT_EQ(frame2hod(alternating.data(), 10, c.order), c.alternatingHod);
  }
}

TEST(Frame2hod, FrameNoLongerThanTheOrderHasNoDifference) {
  std::vector<int> frame = {5, -5, 5, -5};
  EXPECT_EQ(frame2hod(frame.data(), 4, 4), 0);
  EXPECT_EQ(frame2hod(frame.data(), 4, 3), 8 * 5 * 1);
}

TEST(Frame2hodDeathTest, EndsTheProcessForAnOrderOutOfRange) {
  std::vector<int> frame(16, 1);
  for (int order : {0, 6}) {
    // The message goes to standard output; the child sends that to the matched stream.
    EXPECT_EXIT(
        {
          dup2(fileno(stderr), fileno(stdout));
          frame2hod(frame.data(), 16, order);
        },
        testing::ExitedWithCode(1), "^Unsupported order!\n$")
        << "order " << order;
  }
}
