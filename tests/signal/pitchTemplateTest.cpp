#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "audioClass.h"
#include "fatalCatch.h"
#include "pitchTemplate.h"
#include "toneFixture.h"

using namespace tulim;
using tulim::test::sineWave;
using tulim::test::expectFatal;

namespace {

ptParam params(int fs, int pfType) {
  audioClass audio;
  ptParam p;
  audio.ptParamSet(p, fs, 16, pfType, nullptr);
  return p;
}

double semitone(double freq) { return 12 * std::log2(freq / 440) + 69; }

// The pitch function as the plain loop over i for every lag: each term exact in 64 bits,
// rounded to T and added in T.
template <typename T>
std::vector<T> referencePf(const std::vector<int>& frame, int pfLen, int method, bool acf) {
  const int n = static_cast<int>(frame.size());
  std::vector<T> out(pfLen);
  for (int j = 0; j < pfLen; ++j) {
    int count = n - j;
    if (method == 3) count = std::min(count, n - pfLen);
    if (method == 4) count = std::min(count, pfLen);
    T sum = 0;
    for (int i = 0; i < count; ++i) {
      const long long a = frame[i], b = frame[i + j];
      sum += static_cast<T>(acf ? a * b : std::llabs(a - b));
    }
    out[j] = method == 2 ? (n - j > 0 ? sum / static_cast<T>(n - j) : 0) : sum;
  }
  return out;
}

// The path as written out: every predecessor in list order, the first kept on ties.
void referencePath(std::vector<ppcFrame>& frames, const ptParam& p, std::vector<double>& pitch) {
  audioClass audio;
  const bool acf = p.pfType != 0;
  std::vector<int> st(p.pfLen, 0);
  if (p.dpMethod == 2)
    for (int j = 1; j < p.pfLen; ++j) st[j] = floatRound(10 * audio.freq2semitone(static_cast<float>(p.fs) / j));
  for (ppcCandidate& c : frames[0].ppc) {
    c.totalDist = p.pfWeight * c.pfValue;
    c.from = -1;
  }
  for (size_t t = 1; t < frames.size(); ++t)
    for (ppcCandidate& c : frames[t].ppc) {
      double best = 0;
      int keep = -1;
      for (int q = 0; q < frames[t - 1].ppcLen; ++q) {
        const ppcCandidate& prev = frames[t - 1].ppc[q];
        const int d = p.dpMethod == 1 ? std::abs(prev.index - c.index) : std::abs(st[prev.index] - st[c.index]);
        const float penalty = p.dpPosDiffOrder == 1 ? p.indexDiffWeight * d : p.indexDiffWeight * (d * d);
        const double score = acf ? prev.totalDist - penalty : prev.totalDist + penalty;
        if (keep < 0 || (acf ? score > best : score < best)) {
          best = score;
          keep = q;
        }
      }
      c.from = keep;
      c.totalDist = best + p.pfWeight * c.pfValue;
    }
  int chosen = 0;
  const ppcFrame& last = frames.back();
  for (int k = 1; k < last.ppcLen; ++k)
    if (acf ? last.ppc[k].totalDist > last.ppc[chosen].totalDist : last.ppc[k].totalDist < last.ppc[chosen].totalDist)
      chosen = k;
  pitch.assign(frames.size(), 0);
  for (int t = static_cast<int>(frames.size()) - 1; t >= 0; --t) {
    frames[t].pathIndex = frames[t].ppc[chosen].index;
    pitch[t] = 12 * std::log(static_cast<double>(p.fs) / frames[t].pathIndex / 440) / 0.69314718055995 + 69;
    chosen = frames[t].ppc[chosen].from;
  }
}

ppcFrame candidates(const std::vector<std::pair<int, double>>& lagValues) {
  ppcFrame f;
  f.ppcLen = static_cast<int>(lagValues.size());
  for (const auto& lv : lagValues) f.ppc.push_back({lv.first, lv.second, -1, 0.0});
  return f;
}

std::vector<int> concat(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace

// ---- Pitch functions ------------------------------------------------------------------------

TEST(Frame2pitchFunction, EveryMethodMatchesThePlainSumsInFloatAndDouble) {
  // 67 samples: the four-at-a-time loop over i leaves a remainder. Samples beyond 2^24 are
  // not exact in float and take the 64-bit terms.
  for (int amplitude : {30000, 50000000}) {
    const std::vector<int> frame = tulim::test::noiseWave(67, amplitude, 7);
    for (int method = 1; method <= 4; ++method)
      for (int pfLen : {20, 33, 50, 66}) {
        SCOPED_TRACE(testing::Message() << "method=" << method << " pfLen=" << pfLen);
        for (bool acf : {false, true}) {
          const std::vector<double> ref = referencePf<double>(frame, pfLen, method, acf);
          const std::vector<float> refF = referencePf<float>(frame, pfLen, method, acf);
          std::vector<double> outD(pfLen);
          std::vector<float> outF(pfLen);
          std::vector<int> copy = frame;
          if (acf) {
            frame2acf(copy.data(), 67, outD.data(), pfLen, method, 0);
            frame2acf(copy.data(), 67, outF.data(), pfLen, method, 0);
          } else {
            frame2amdf(frame.data(), 67, outD.data(), pfLen, method);
            frame2amdf(frame.data(), 67, outF.data(), pfLen, method);
          }
          for (int j = 0; j < pfLen; ++j) {
            EXPECT_EQ(outD[j], ref[j]) << "lag " << j;
            EXPECT_EQ(outF[j], refF[j]) << "lag " << j;
          }
        }
      }
  }
}

TEST(Frame2pitchFunction, SmallFrameByHand) {
  std::vector<int> frame = {1, 2, 3, 4};
  double acf[3], amdf[3];
  frame2acf(frame.data(), 4, acf, 3, 1, 0);
  frame2amdf(frame.data(), 4, amdf, 3, 2);
  EXPECT_THAT(acf, testing::ElementsAre(30, 20, 11));
  EXPECT_THAT(amdf, testing::ElementsAre(0, 1, 2));

  // Zero mean: the truncated mean 2 comes off in place.
  frame2acf(frame.data(), 4, acf, 3, 1, 1);
  EXPECT_THAT(frame, testing::ElementsAre(-1, 0, 1, 2));
  EXPECT_THAT(acf, testing::ElementsAre(6, 2, -1));
}

TEST(Frame2pitchFunction, LargeOffsetFramesNeitherOverflowNorLosePrecision) {
  // A mean of about 2^30 summed in 32 bits would wrap; products of 2^31 would too.
  std::vector<int> frame(640);
  for (int i = 0; i < 640; ++i) frame[i] = 1073741824 + (i % 2 ? 1000 : -1000);
  std::vector<double> acf(4);
  frame2acf(frame.data(), 640, acf.data(), 4, 1, 1);
  EXPECT_EQ(frame[0], -1000);
  EXPECT_EQ(frame[1], 1000);
  EXPECT_THAT(acf, testing::ElementsAre(640e6, -639e6, 638e6, -637e6));

  std::vector<int> extreme = {INT_MAX, INT_MIN, INT_MAX, INT_MIN};
  double out[2];
  frame2amdf(extreme.data(), 4, out, 2, 1);
  EXPECT_EQ(out[1], 3 * 4294967295.0);
  frame2acf(extreme.data(), 4, out, 2, 1, 0);
  EXPECT_EQ(out[0], 2 * (2147483647.0 * 2147483647.0) + 2 * (2147483648.0 * 2147483648.0));
}

TEST(Frame2pitchFunction, LagsBeyondTheFrameHaveNoTerms) {
  std::vector<int> frame = {5, -5, 5, -5};
  double amdf[6], acf[6];
  frame2amdf(frame.data(), 4, amdf, 6, 2);
  frame2acf(frame.data(), 4, acf, 6, 4, 0);
  EXPECT_THAT(amdf, testing::ElementsAre(0, 10, 0, 10, 0, 0));
  EXPECT_THAT(acf, testing::ElementsAre(100, -75, 50, -25, 0, 0));
}

// The message goes to standard output; the child sends that to its stderr for the matcher.
TEST(Frame2pitchFunctionDeathTest, EndsTheProcessForAMethodOutOfRange) {
  std::vector<int> frame = {1, 2, 3, 4};
  double out[2];
  for (int method : {0, 5}) {
    EXPECT_EXIT(
        {
          dup2(2, 1);
          frame2acf(frame.data(), 4, out, 2, method, 0);
        },
        testing::ExitedWithCode(1), "Unknown method for frame2acf\\(\\)!");
    EXPECT_EXIT(
        {
          dup2(2, 1);
          frame2amdf(frame.data(), 4, out, 2, method);
        },
        testing::ExitedWithCode(1), "Unknown method for frame2amdf\\(\\)!");
  }
}

TEST(Frame2pf, FramesTheWaveAndRejectsAnUnknownType) {
  const std::vector<int> wave = sineWave(1000, 200, 16000, 8000);
  const int frameNum = (1000 - 480) / 160;
  std::vector<double> pf(static_cast<size_t>(frameNum) * 320);
  frame2pf(wave.data(), 1000, 640, 480, 320, 1, 1, pf.data());
  for (int i = 0; i < frameNum; ++i) {
    std::vector<int> frame(wave.begin() + i * 160, wave.begin() + i * 160 + 640);
    std::vector<double> row(320);
    frame2acf(frame.data(), 640, row.data(), 320, 1, 1);
    for (int j = 0; j < 320; ++j) ASSERT_EQ(pf[i * 320 + j], row[j]);
  }
  EXPECT_THAT(expectFatal([&] { frame2pf(wave.data(), 1000, 640, 480, 320, 2, 1, pf.data()); }),
              testing::MatchesRegex("Unknown pfType=2 \\(line [0-9]+ of file lib/audio\\)"));
}

// ---- One frame's pitch and candidates -------------------------------------------------------

TEST(Pf2pitch, HighestAcfPeakAfterTheFirstRiseAndItsClarity) {
  ptParam p = params(16000, 1);
  p.minLag = 2;
  p.maxLag = 8;
  // Falls from lag 0, rises from lag 3, peaks at 80 (lag 5); lag 9 is outside the range.
  const double pf[10] = {100, 90, 50, 40, 60, 80, 70, 30, 20, 95};
  double clarity = -1;
  const double pitch = pf2pitch(pf, 10, p, &clarity);
  EXPECT_NEAR(pitch, semitone(16000.0 / 5), 1e-4);
  EXPECT_DOUBLE_EQ(clarity, 0.8);

  // An ACF that never rises after minLag starts at minLag: its largest value there.
  const double falling[6] = {10, 9, 8, 7, 6, 5};
  p.minLag = 1;
  p.maxLag = 5;
  EXPECT_NEAR(pf2pitch(falling, 6, p, &clarity), semitone(16000.0), 1e-4);
  EXPECT_DOUBLE_EQ(clarity, 0.9);
}

TEST(Pf2pitch, DeepestAmdfValleyAndItsClarity) {
  ptParam p = params(16000, 0);
  p.minLag = 1;
  p.maxLag = 6;
  const float pf[8] = {0, 10, 40, 30, 10, 20, 35, 0};
  float clarity = -1;
  const float pitch = pf2pitch(pf, 8, p, &clarity);
  EXPECT_FLOAT_EQ(pitch, static_cast<float>(semitone(16000.0 / 4)));
  EXPECT_FLOAT_EQ(clarity, 1 - 10.0f / 40);
}

TEST(Pf2pitch, TurningBeyondMaxLagIsUnvoiced) {
  ptParam p = params(16000, 1);
  p.minLag = 1;
  p.maxLag = 2;
  const double pf[6] = {10, 9, 8, 7, 8, 6};
  double clarity = -1;
  EXPECT_EQ(pf2pitch(pf, 6, p, &clarity), 0);
  EXPECT_EQ(clarity, 0);
  p.pfType = 3;
  EXPECT_THAT(expectFatal([&] { pf2pitch(pf, 6, p, &clarity); }),
              testing::MatchesRegex("Unknown ptParam.pfType=3 \\(line [0-9]+ of file lib/audio\\)"));
}

TEST(Pf2ppc, KeepsLocalExtremaOrEveryLagInsideThePitchRange) {
  ptParam p = params(16000, 1);
  p.minPitch = semitone(16000.0 / 6);  // lag 6
  p.maxPitch = semitone(16000.0 / 2);  // lag 2
  const double pf[10] = {9, 1, 5, 1, 7, 1, 8, 1, 6, 0};
  std::vector<int> lags;
  p.dpUseLocalOptim = 1;
  EXPECT_EQ(pf2ppc(pf, 10, p, lags), 3);
  EXPECT_THAT(lags, testing::ElementsAre(2, 4, 6));
  p.pfType = 0;
  EXPECT_EQ(pf2ppc(pf, 10, p, lags), 2);
  EXPECT_THAT(lags, testing::ElementsAre(3, 5));
  p.dpUseLocalOptim = 0;
  EXPECT_EQ(pf2ppc(pf, 10, p, lags), 5);
  EXPECT_THAT(lags, testing::ElementsAre(2, 3, 4, 5, 6));
}

// ---- The path ----------------------------------------------------------------------------------

TEST(Ppc2pitchPath, PrefersContinuityOverAnOctaveJump) {
  ptParam p = params(16000, 1);  // lag distance, squared penalty of weight 6
  // The middle frame's peak at half the lag (an octave up) is a little higher than the one
  // at the lag of its neighbours; a jump of 40 lags costs 6 x 1600 each way.
  std::vector<ppcFrame> frames = {candidates({{40, 500}, {80, 1000}}), candidates({{40, 1100}, {80, 1000}}),
                                  candidates({{40, 500}, {80, 1000}})};
  double pitch[3];
  ppc2pitchPath(frames.data(), 3, p, pitch);
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(frames[t].pathIndex, 80);
    EXPECT_NEAR(pitch[t], 55.35, 0.01);
  }
  EXPECT_EQ(frames[2].ppc[1].totalDist, 3000);

  // Without the penalty, the higher peak wins the middle frame.
  p.indexDiffWeight = 0;
  ppc2pitchPath(frames.data(), 3, p, pitch);
  EXPECT_EQ(frames[1].pathIndex, 40);
}

TEST(Ppc2pitchPath, SquaredPenaltyOfAJumpOfThree) {
  ptParam p = params(16000, 1);
  std::vector<ppcFrame> frames = {candidates({{50, 100}}), candidates({{53, 100}})};
  double pitch[2];
  ppc2pitchPath(frames.data(), 2, p, pitch);
  EXPECT_EQ(frames[1].ppc[0].totalDist, 100 - 54 + 100);
  EXPECT_EQ(frames[1].ppc[0].from, 0);
}

TEST(Ppc2pitchPath, OneFrameRunTakesItsBestValueFirstOnTies) {
  for (int pfType : {0, 1}) {
    ptParam p = params(16000, pfType);
    std::vector<ppcFrame> frames = {candidates({{30, 5}, {60, 9}, {90, 9}, {120, 2}})};
    double pitch;
    ppc2pitchPath(frames.data(), 1, p, &pitch);
    EXPECT_EQ(frames[0].pathIndex, pfType == 1 ? 60 : 120);
  }
}

TEST(Ppc2pitchPath, MatchesTheFullScanOnRandomCandidateLists) {
  struct Case {
    int pfType, dpMethod, order, localOptim;
    float weight;
  };
  const Case cases[] = {{1, 1, 2, 0, 6},   {1, 1, 1, 0, 6},    {1, 2, 1, 1, 388}, {1, 2, 2, 0, 0.5f},
                        {0, 2, 2, 1, 700}, {0, 1, 1, 0, 0.2f}, {1, 1, 2, 0, 0},   {1, 1, 2, 1, 1e-3f}};
  std::mt19937 rng(11);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pfType=" << c.pfType << " dpMethod=" << c.dpMethod << " order=" << c.order);
    ptParam p = params(16000, c.pfType);
    p.dpMethod = c.dpMethod;
    p.dpPosDiffOrder = c.order;
    p.indexDiffWeight = c.weight;
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<ppcFrame> frames(30);
      for (ppcFrame& f : frames) {
        std::vector<std::pair<int, double>> lv;
        for (int lag = 15; lag < 320; ++lag)
          if (!c.localOptim || rng() % 8 == 0)
            lv.push_back({lag, static_cast<double>(rng() % 5) * (trial % 2 ? 250000 : 3)});
        if (lv.empty()) lv.push_back({100, 1});
        f = candidates(lv);
      }
      std::vector<ppcFrame> expected = frames;
      std::vector<double> refPitch;
      referencePath(expected, p, refPitch);
      std::vector<double> pitch(frames.size());
      ppc2pitchPath(frames.data(), static_cast<int>(frames.size()), p, pitch.data());
      for (size_t t = 0; t < frames.size(); ++t) {
        ASSERT_EQ(frames[t].pathIndex, expected[t].pathIndex) << "frame " << t;
        ASSERT_EQ(pitch[t], refPitch[t]);
        for (int k = 0; k < frames[t].ppcLen; ++k) {
          ASSERT_EQ(frames[t].ppc[k].from, expected[t].ppc[k].from) << "frame " << t << " candidate " << k;
          ASSERT_EQ(frames[t].ppc[k].totalDist, expected[t].ppc[k].totalDist);
        }
      }
    }
  }
}

TEST(Ppc2pitchPath, RejectsARunFrameWithoutCandidatesAndLagsBelowOne) {
  ptParam p = params(16000, 1);
  double pitch[2];
  std::vector<ppcFrame> frames = {candidates({{50, 1}}), ppcFrame()};
  EXPECT_THAT(expectFatal([&] { ppc2pitchPath(frames.data(), 2, p, pitch); }),
              testing::MatchesRegex(
                  "Frame 1 of a pitch path holds 0 candidates for ppcLen=0 \\(line [0-9]+ of pitchTemplate\\)"));
  frames = {candidates({{50, 1}}), candidates({{0, 1}})};
  EXPECT_THAT(expectFatal([&] { ppc2pitchPath(frames.data(), 2, p, pitch); }),
              testing::MatchesRegex("Pitch candidate lag=0 is not positive \\(line [0-9]+ of pitchTemplate\\)"));
}

// ---- The trackers ------------------------------------------------------------------------------

class Wave2pitchTest : public testing::TestWithParam<int> {};

TEST_P(Wave2pitchTest, PureToneGivesItsSemitoneInVoicedFrames) {
  const int pfType = GetParam();
  const std::vector<int> wave =
      concat({std::vector<int>(4000, 0), sineWave(16000, 200, 16000, 8000), std::vector<int>(4000, 0)});
  ptParam p = params(16000, pfType);
  const int frameNum = (static_cast<int>(wave.size()) - 480) / 160;
  std::vector<double> pitch(frameNum), clarity(frameNum);
  std::vector<int> path(frameNum);
  ASSERT_EQ(wave2pitch<double>(wave.data(), static_cast<int>(wave.size()), p, pitch.data(), clarity.data(), nullptr,
                               path.data()),
            frameNum);
  int voiced = 0;
  for (int i = 0; i < frameNum; ++i)
    if (pitch[i] != 0) {
      ++voiced;
      EXPECT_NEAR(pitch[i], 55.35, 0.01) << "frame " << i;
    }
  EXPECT_GT(voiced, 80);
  for (int i = 40; i < 110; ++i) EXPECT_NE(pitch[i], 0) << "frame " << i;
  for (int i = 0; i < 15; ++i) EXPECT_EQ(pitch[i], 0);
  EXPECT_EQ(path[70], 80);
  // The second pass works in 24 semitones around the median.
  EXPECT_NEAR(p.minPitch, 55.35 - 12, 0.01);
  EXPECT_NEAR(p.maxPitch, 55.35 + 12, 0.01);
  EXPECT_EQ(p.minLag, floatRound(16000 / audioClass().semitone2freq(p.maxPitch)));
}

TEST_P(Wave2pitchTest, FollowsAStepFrom200To250Hz) {
  const int pfType = GetParam();
  std::vector<int> wave = concat({sineWave(16000, 200, 16000, 8000), sineWave(16000, 250, 16000, 8000)});
  ptParam p = params(16000, pfType);
  p.useVolThreshold = 0;
  const int frameNum = (32000 - 480) / 160;
  std::vector<float> pitch(frameNum);
  wave2pitch<float>(wave.data(), 32000, p, pitch.data(), nullptr, nullptr, nullptr);
  for (int i = 5; i < 90; ++i) EXPECT_NEAR(pitch[i], 55.35, 0.01) << "frame " << i;
  for (int i = 105; i < frameNum - 5; ++i) EXPECT_NEAR(pitch[i], semitone(250), 0.01) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(AmdfAndAcf, Wave2pitchTest, testing::Values(0, 1));

TEST(Wave2pitch, DigitalSilenceIsUnvoicedWithOrWithoutThresholds) {
  const std::vector<int> wave(8000, 0);
  const int frameNum = (8000 - 480) / 160;
  for (int thresholds : {0, 1}) {
    for (int pfType : {0, 1}) {
      ptParam p = params(16000, pfType);
      p.useVolThreshold = p.useClarityThreshold = thresholds;
      std::vector<double> pitch(frameNum, 7), clarity(frameNum, 7);
      testing::internal::CaptureStdout();
      EXPECT_EQ(wave2pitch<double>(wave.data(), 8000, p, pitch.data(), clarity.data(), nullptr, nullptr), frameNum);
      const std::string out = testing::internal::GetCapturedStdout();
      for (double v : pitch) EXPECT_EQ(v, 0);
      if (thresholds) {
        EXPECT_THAT(out,
                    testing::MatchesRegex(
                        "(Warning: Cannot find any segment after epdByVol! \\(line [0-9]+ of file lib/audio\\)\n)+"));
      }
      // No voiced frame: the range stays as it was.
      EXPECT_EQ(p.minPitch, 30);
      EXPECT_EQ(p.maxPitch, 84);
    }
  }
}

TEST(Wave2pitch, SilentFramesInsideSpeechAreUnvoicedWithoutThresholds) {
  const std::vector<int> wave =
      concat({sineWave(8000, 200, 16000, 8000), std::vector<int>(3200, 0), sineWave(8000, 200, 16000, 8000)});
  ptParam p = params(16000, 1);
  p.useVolThreshold = p.useClarityThreshold = 0;
  p.medianFilterOrder = 0;
  const int frameNum = (static_cast<int>(wave.size()) - 480) / 160;
  std::vector<double> pitch(frameNum);
  wave2pitch<double>(wave.data(), static_cast<int>(wave.size()), p, pitch.data(), nullptr, nullptr, nullptr);
  for (int i = 52; i < 66; ++i) EXPECT_EQ(pitch[i], 0) << "frame " << i;
  EXPECT_NEAR(pitch[20], 55.35, 0.01);
  EXPECT_NEAR(pitch[100], 55.35, 0.01);
}

TEST(Wave2pitch, FramesWithoutClarityKeepTheirCandidates) {
  // Only silence loses its candidates. In a range around 200 Hz, the ACF of a 50 Hz tone
  // first rises just before half its period and stays below zero up to maxLag: clarity 0,
  // so its weighted pitch function is all zero, yet its frames, with every lag of the range
  // as a candidate of value 0, carry the path between the 200 Hz tones on either side: it
  // holds its lag, as any move would cost a penalty.
  const std::vector<int> wave = concat(
      {sineWave(8000, 200, 16000, 8000), sineWave(8000, 50, 16000, 8000), sineWave(8000, 200, 16000, 8000)});
  ptParam p = params(16000, 1);
  p.minPitch = 43.35f;
  p.maxPitch = 67.35f;
  p.useVolThreshold = p.useClarityThreshold = 0;
  p.medianFilterOrder = 0;
  const int frameNum = (24000 - 480) / 160;
  std::vector<double> pitch(frameNum), clarity(frameNum);
  std::vector<int> path(frameNum);
  wave2pitchCore<double>(wave.data(), 24000, p, pitch.data(), clarity.data(), nullptr, path.data());
  // Frames 50 .. 96 lie wholly inside the 50 Hz tone.
  ASSERT_GE(path[52], p.minLag);
  for (int i = 52; i < 95; ++i) {
    EXPECT_EQ(clarity[i], 0) << "frame " << i;
    EXPECT_EQ(path[i], path[52]) << "frame " << i;
    EXPECT_NEAR(pitch[i], semitone(16000.0 / path[i]), 1e-9) << "frame " << i;
  }
}

TEST(Wave2pitch, CutsLeadingAndTrailingZeros) {
  const std::vector<int> wave =
      concat({std::vector<int>(4000, 0), sineWave(16000, 200, 16000, 8000), std::vector<int>(4000, 0)});
  ptParam p = params(16000, 1);
  p.cutLeadingTrailingZero = 1;
  const int frameNum = (static_cast<int>(wave.size()) - 480) / 160;
  std::vector<double> pitch(frameNum);
  const int count =
      wave2pitch<double>(wave.data(), static_cast<int>(wave.size()), p, pitch.data(), nullptr, nullptr, nullptr);
  ASSERT_GT(count, 80);
  ASSERT_LT(count, frameNum);
  EXPECT_NE(pitch[0], 0);
  EXPECT_NE(pitch[count - 1], 0);
}

TEST(Wave2pitch, WaveOfOneFrameGetsNoPath) {
  const std::vector<int> wave = sineWave(640, 200, 16000, 8000);
  ptParam p = params(16000, 1);
  p.useVolThreshold = p.useClarityThreshold = 0;
  double pitch = 7;
  int path = 0;
  EXPECT_EQ(wave2pitchCore<double>(wave.data(), 640, p, &pitch, nullptr, nullptr, &path), 1);
  EXPECT_EQ(pitch, 0);
  EXPECT_EQ(path, -1);
}

TEST(Wave2pitch, FramesWithGapsAtALowFrameRate) {
  // 20 frames a second of 32 ms: a hop of 800 samples, 288 of them between two frames.
  audioClass audio;
  ptParam p;
  testing::internal::CaptureStdout();
  ASSERT_EQ(audio.ptParamSetByFrameRate(p, 20, 16000, 16, 1), 800);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(p.overlap, -288);
  p.useVolThreshold = 0;
  const std::vector<int> wave = sineWave(16000, 200, 16000, 8000);
  const int frameNum = (16000 + 288) / 800;
  std::vector<double> pitch(frameNum);
  ASSERT_EQ(wave2pitch<double>(wave.data(), 16000, p, pitch.data(), nullptr, nullptr, nullptr), frameNum);
  for (int i = 1; i < frameNum - 1; ++i) EXPECT_NEAR(pitch[i], 55.35, 0.01) << "frame " << i;
}

TEST(Wave2pitchCore, LowersMaxLagToTheLastLag) {
  const std::vector<int> wave = sineWave(3200, 200, 16000, 8000);
  ptParam p = params(16000, 1);
  std::vector<double> pitch(17);
  testing::internal::CaptureStdout();
  wave2pitchCore<double>(wave.data(), 3200, p, pitch.data(), nullptr, nullptr, nullptr);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(p.minLag, 15);
  EXPECT_EQ(p.maxLag, 319);
}

TEST(Wave2pitchCore, RejectsAPitchFunctionWithoutLags) {
  const std::vector<int> wave = sineWave(3200, 200, 16000, 8000);
  ptParam p = params(16000, 1);
  p.pfLen = 0;
  std::vector<double> pitch(17);
  EXPECT_THAT(
      expectFatal([&] { wave2pitchCore<double>(wave.data(), 3200, p, pitch.data(), nullptr, nullptr, nullptr); }),
      testing::MatchesRegex("ptParam.pfLen=0 must be at least 1 \\(line [0-9]+ of pitchTemplate\\)"));
}

TEST(Wave2pitch, NoiseOfLowClarityIsUnvoiced) {
  const std::vector<int> wave = concat({sineWave(16000, 200, 16000, 8000), tulim::test::noiseWave(16000, 8000, 3)});
  ptParam p = params(16000, 1);
  p.useVolThreshold = 0;
  const int frameNum = (32000 - 480) / 160;
  std::vector<double> pitch(frameNum), clarity(frameNum);
  wave2pitch<double>(wave.data(), 32000, p, pitch.data(), clarity.data(), nullptr, nullptr);
  for (int i = 5; i < 90; ++i) EXPECT_NEAR(pitch[i], 55.35, 0.01) << "frame " << i;
  for (int i = 105; i < frameNum; ++i) EXPECT_EQ(pitch[i], 0) << "frame " << i;
  // A tone's ACF at one period keeps (640 - 80) / 640 of the frame's energy.
  EXPECT_NEAR(clarity[50], 0.875, 0.005);
  EXPECT_LT(clarity[150], 0.6 * clarity[50]);
}
