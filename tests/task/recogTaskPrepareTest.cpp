#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CMel.h"
#include "audioClass.h"
#include "frameWaves.h"
#include "mlfClass.h"
#include "recogTask.h"
#include "signalTemplate.h"
#include "spectrumSubtract.h"
#include "testFiles.h"
#include "toneFixture.h"

using namespace tulim;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::MatchesRegex;
using tulim::test::scratchDir;
using tulim::test::wavePiece;

namespace {

// A malloc'ed copy, as the audio readers hand waves over.
int* heapWave(const std::vector<int>& x) {
  int* p = static_cast<int*>(malloc(sizeof(int) * std::max<size_t>(x.size(), 1)));
  if (!x.empty()) memcpy(p, x.data(), sizeof(int) * x.size());
  return p;
}

struct prepared {
  std::vector<int> wave;
  int count, fs, nbits;
  std::string out;
  std::string error;  // the fatal message, if any
  std::vector<int> volumes;  // the frame volumes it kept
};

prepared prepare(const std::vector<int>& x, int fs, int nbits, recogParam& param, mlfClass& mlf) {
  prepared r{{}, static_cast<int>(x.size()), fs, nbits, "", "", {}};
  tulim::test::envScope temp("temp", nullptr);
  testing::internal::CaptureStdout();
  try {
    int* wave = recogTask().wavePrepare(heapWave(x), r.count, r.fs, r.nbits, param, mlf, &r.volumes);
    r.wave.assign(wave, wave + r.count);
    free(wave);
  } catch (char* m) {
    r.error = m;
  }
  r.out = testing::internal::GetCapturedStdout();
  return r;
}

prepared prepare(const std::vector<int>& x, int fs, int nbits, recogParam& param) {
  mlfClass mlf;
  return prepare(x, fs, nbits, param, mlf);
}

// A wave that passes the volume check: silence, then a tone of amplitude 3000.
std::vector<int> usableWave(int n) {
  std::vector<int> x(static_cast<size_t>(n), 0);
  std::vector<int> tone = test::sineWave(n / 2, 440, 16000, 3000);
  std::copy(tone.begin(), tone.end(), x.begin() + n / 2);
  return x;
}

long long sumOf(const std::vector<int>& x) {
  long long s = 0;
  for (int v : x) s += v;
  return s;
}

const char* const TOO_QUIET =
    "Volume check: Max volume too small. Please increase the microphone's gain. (line 322 in recogTask)";
const char* const TOO_LOUD_BACKGROUND =
    "Volume check: Min volume too big. Please use a uni-directional microphone. Do not use builtin microphones of "
    "notebooks. (line 325 in recogTask)";
const char* const SATURATED =
    "Volume check: Too many saturated wave samples. Please decrease the microphone's gain. Please do not turn on "
    "gain boost. (line 328 in recogTask)";

}  // namespace

// ---- wavePrepare ------------------------------------------------------------------------------

TEST(WavePrepare, BringsDepthAndRateToSixteenBitsAndSixteenKilohertz) {
  struct Case {
    int fs, nbits, n;
    int count;
    const char* says;
  } cases[] = {
      {16000, 16, 16000, 16000, ""},
      {16000, 8, 16000, 16000, "nbits=8 ===> Amplify to have nbits=16\n"},
      {8000, 16, 8000, 15999, "fs=8000 ===> Resample to have fs=16000\n"},
      {44100, 16, 44100, 16000, "fs=44100 ===> Resample to have fs=16000\n"},
      {8000, 8, 8000, 15999, "nbits=8 ===> Amplify to have nbits=16\nfs=8000 ===> Resample to have fs=16000\n"},
  };
  for (const Case& c : cases) {
    std::vector<int> x = test::sineWave(c.n, 200, c.fs, c.nbits == 8 ? 100 : 5000);
    if (c.nbits == 8)
      for (int& v : x) v += 128;  // 8-bit samples are unsigned
    recogParam param;
    prepared r = prepare(x, c.fs, c.nbits, param);
    ASSERT_EQ(r.error, "") << c.fs << " " << c.nbits;
    EXPECT_EQ(r.count, c.count) << c.fs;
    EXPECT_EQ(static_cast<int>(r.wave.size()), c.count);
    EXPECT_EQ(r.fs, 16000);
    EXPECT_EQ(r.nbits, 16);
    EXPECT_EQ(r.out.substr(0, strlen(c.says)), c.says) << c.fs << " " << c.nbits;
    EXPECT_LT(std::llabs(sumOf(r.wave)), r.count) << "the mean is removed";
  }
}

TEST(WavePrepare, CentresEightBitsAt128AmplifiesBy256AndRemovesTheTruncatedMean) {
  std::vector<int> x = test::sineWave(16000, 300, 16000, 100);
  for (int& v : x) v += 131;
  long long sum = 0;
  for (int v : x) sum += 256LL * (v - 128);
  const long long mean = sum / static_cast<long long>(x.size());
  recogParam param;
  prepared r = prepare(x, 16000, 8, param);
  ASSERT_EQ(r.wave.size(), x.size());
  for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(r.wave[i], 256LL * (x[i] - 128) - mean) << i;

  std::vector<int> y = usableWave(16000);
  for (int& v : y) v += 500;
  prepared s = prepare(y, 16000, 16, param);
  const long long offset = sumOf(y) / static_cast<long long>(y.size());
  for (size_t i = 0; i < y.size(); ++i) ASSERT_EQ(s.wave[i], y[i] - offset) << i;
}

TEST(WavePrepare, AnEightBitWaveWithSilenceAt128IsNotTakenForSaturated) {
  // The usable wave at 8 bits: silence is the byte 128, the tone swings 12 around it.
  std::vector<int> x(16000, 128);
  std::vector<int> tone = test::sineWave(8000, 440, 16000, 12);
  for (size_t i = 0; i < tone.size(); ++i) x[8000 + i] += tone[i];
  recogParam param;
  param.useWaveReject = 1;
  mlfClass mlf;
  prepared r = prepare(x, 16000, 8, param, mlf);
  EXPECT_EQ(r.error, "");
  EXPECT_TRUE(mlf.m_warning.empty());
  ASSERT_EQ(r.wave.size(), x.size());
  EXPECT_LE(std::abs(r.wave[100]), 256) << "silence stays near 0";
}

TEST(WavePrepare, VolumeCheckFindingsBecomeWarningsOrRejectTheWave) {
  struct Case {
    const char* name;
    std::vector<int> wave;
    const char* message;  // "" for a usable wave
  } cases[] = {
      {"usable", usableWave(16000), ""},
      {"quiet", test::noiseWave(16000, 50, 1), TOO_QUIET},
      {"noisy", test::noiseWave(16000, 2000, 2), TOO_LOUD_BACKGROUND},
      {"saturated", test::piecewiseWave({{16000, 32000}}), SATURATED},
  };
  for (const Case& c : cases) {
    for (int reject : {0, 1}) {
      recogParam param;
      param.useWaveReject = reject;
      mlfClass mlf;
      prepared r = prepare(c.wave, 16000, 16, param, mlf);
      if (*c.message == '\0') {
        EXPECT_EQ(r.error, "") << c.name;
        EXPECT_TRUE(mlf.m_warning.empty()) << c.name;
        continue;
      }
      EXPECT_THAT(mlf.m_warning, ElementsAre(c.message)) << c.name << " " << reject;
      EXPECT_EQ(r.error, reject ? c.message : "") << c.name;
      if (!reject) {
        EXPECT_EQ(r.count, 16000) << c.name;
      }
    }
  }
}

TEST(WavePrepare, VolumeCheckReadsItsParameterFile) {
  scratchDir dir;
  recogParam param;
  param.volCheckPrmFile = dir.write("vol.prm", "maxVolTh = 100000\n");
  mlfClass mlf;
  prepare(usableWave(16000), 16000, 16, param, mlf);
  EXPECT_THAT(mlf.m_warning, ElementsAre(TOO_QUIET));
}

TEST(WavePrepare, SubtractsTheSpectrumOfANarrowRangeOnlyWhenAllowed) {
  const std::vector<int> noisy = test::noiseWave(16000, 2000, 2);
  recogParam off;
  prepared kept = prepare(noisy, 16000, 16, off);
  EXPECT_THAT(kept.out, testing::Not(HasSubstr("Perform spectrum subtraction")));
  EXPECT_EQ(kept.count, 16000);
  EXPECT_EQ(off.useDescCandidateNum, 1);

  recogParam on;
  on.useSpecSubtraction = 1;
  prepared cleaned = prepare(noisy, 16000, 16, on);
  EXPECT_THAT(cleaned.out, HasSubstr("Perform spectrum subtraction...\n"));
  EXPECT_EQ(cleaned.count, 15887);
  EXPECT_EQ(cleaned.wave.size(), 15887u);
  EXPECT_EQ(on.useDescCandidateNum, 0);
  int n = 0;
  int* direct = spectrumSubtract(noisy.data(), 16000, 16000, &n);
  std::vector<int> expected(direct, direct + n);
  free(direct);
  const long long mean = sumOf(expected) / n;
  for (int& v : expected) v -= static_cast<int>(mean);
  EXPECT_EQ(cleaned.wave, expected);

  recogParam wide;
  wide.useSpecSubtraction = 1;
  prepared speech = prepare(usableWave(16000), 16000, 16, wide);
  EXPECT_THAT(speech.out, testing::Not(HasSubstr("Perform spectrum subtraction")));
  EXPECT_EQ(wide.useDescCandidateNum, 1);
}

TEST(WavePrepare, RangeIsTheThirdLargestOverTheSecondSmallestOf25Frames) {
  // 26 blocks of 160 samples make 25 frames of two blocks each. Sorted frame volumes: one
  // half-silent frame, eleven at L, a mixed one, ten at H, and two louder ones; a tenth of
  // 25 is 2, so the range is H / L whatever the extremes are.
  auto wave = [](int low, int high) {
    std::vector<wavePiece> pieces{
        {160, 0}, {12 * 160, static_cast<double>(low)}, {11 * 160, static_cast<double>(high)}, {2 * 160, 30000}};
    return test::piecewiseWave(pieces);
  };
  struct Case {
    int low, high;
    bool subtracted;
  } cases[] = {{1000, 2300, true}, {1000, 2400, false}, {1000, 2350, true}, {1000, 2360, false}};
  for (const Case& c : cases) {
    recogParam param;
    param.useSpecSubtraction = 1;
    prepared r = prepare(wave(c.low, c.high), 16000, 16, param);
    EXPECT_EQ(r.out.find("Perform spectrum subtraction") != std::string::npos, c.subtracted) << c.high;
    EXPECT_EQ(param.useDescCandidateNum, c.subtracted ? 0 : 1) << c.high;
  }
}

TEST(WavePrepare, WavesTooShortToMeasureAreKept) {
  struct Case {
    int n, fs, count;
  } cases[] = {{0, 16000, 0}, {0, 8000, 0}, {1, 8000, 1}, {100, 16000, 100}, {479, 16000, 479}, {480, 16000, 480}};
  for (const Case& c : cases) {
    recogParam param;
    param.useSpecSubtraction = 1;
    std::vector<int> x(static_cast<size_t>(c.n), 7);
    prepared r = prepare(x, c.fs, 16, param);
    ASSERT_EQ(r.error, "") << c.n;
    EXPECT_EQ(r.count, c.count) << c.n;
    for (int v : r.wave) EXPECT_EQ(v, 0) << c.n;  // a constant wave is all mean
  }
}

TEST(WavePrepare, RemovesTheMeanAndClampsWhatLeavesTheIntRange) {
  // Full-range samples whose mean is far from zero: taking it away pushes the other end
  // past the int range, where the sample stops at the limit.
  struct Case {
    const char* name;
    std::vector<int> x;
  };
  std::vector<int> mostlyLow(1000, INT_MIN), mostlyHigh(1000, INT_MAX), mixed(1000);
  mostlyLow[3] = INT_MAX;
  mostlyHigh[500] = INT_MIN;
  for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<int>(i * 7919 % 20001) - 9000;
  const Case cases[] = {{"mostly INT_MIN", mostlyLow}, {"mostly INT_MAX", mostlyHigh}, {"within range", mixed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recogParam param;
    prepared r = prepare(c.x, 16000, 16, param);
    ASSERT_EQ(r.count, static_cast<int>(c.x.size()));
    const long long mean = sumOf(c.x) / static_cast<long long>(c.x.size());
    for (size_t i = 0; i < c.x.size(); ++i) {
      const long long want = std::min<long long>(INT_MAX, std::max<long long>(INT_MIN, c.x[i] - mean));
      ASSERT_EQ(r.wave[i], want) << "sample " << i;
    }
  }
}

// The frame volumes measured for the volume check, before the mean was taken away, are those
// of the wave returned (its median moves with it, the distances to it stay): whatever the
// mean, an odd or an even one, after a resampling or a change of depth, and for waves of no
// frame or one. None are kept once the wave changed otherwise.
TEST(WavePrepare, KeepsTheFrameVolumesOfTheWaveItReturns) {
  auto offset = [](std::vector<int> x, int by) {
    for (int& v : x) v += by;
    return x;
  };
  std::vector<int> full(1000, INT_MIN);
  full[3] = INT_MAX;
  struct Case {
    const char* name;
    std::vector<int> x;
    int fs, nbits, specSubtraction;
    bool kept;
  };
  const Case cases[] = {
      {"a tone", usableWave(16000), 16000, 16, 0, true},
      {"noise above zero", offset(test::noiseWave(16000, 2000, 3), 1237), 16000, 16, 0, true},
      {"noise below zero", offset(test::noiseWave(9999, 3000, 4), -4321), 16000, 16, 0, true},
      {"8 bits", offset(test::noiseWave(8000, 60, 5), 128), 16000, 8, 0, true},
      {"8000 Hz", offset(test::noiseWave(8000, 2000, 6), 77), 8000, 16, 0, true},
      {"one frame", offset(test::noiseWave(479, 2000, 7), 3), 16000, 16, 0, true},
      {"no frame", offset(test::noiseWave(100, 2000, 8), 3), 16000, 16, 0, true},
      {"a spectrum subtracted", test::noiseWave(16000, 2000, 2), 16000, 16, 1, false},
      {"samples that clip", full, 16000, 16, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recogParam param;
    param.useSpecSubtraction = c.specSubtraction;
    prepared r = prepare(c.x, c.fs, c.nbits, param);
    ASSERT_EQ(r.error, "");
    if (!c.kept) {
      EXPECT_TRUE(r.volumes.empty());
      continue;
    }
    audioClass audio;
    std::vector<int> measured(
        static_cast<size_t>(audio.getFrameNum(r.count, audioClass::VOLUME_FRAME_SIZE, audioClass::VOLUME_OVERLAP)));
    if (!measured.empty())
      frame2volume(r.wave.data(), r.count, audioClass::VOLUME_FRAME_SIZE, audioClass::VOLUME_OVERLAP, measured.data(),
                   1);
    EXPECT_EQ(r.volumes, measured);
  }
}

TEST(WavePrepare, RefusesDepthsAndRatesItCannotConvert) {
  struct Case {
    int fs, nbits;
    const char* message;
  } cases[] = {
      {16000, 24,
       "Error: nbits=24 is not supported; a wave must have 1 to 16 bits per sample\\. \\(line [0-9]+ of "
       "recogTaskPrepare\\)"},
      {16000, 0, "Error: nbits=0 is not supported.*"},
      {16000, -3, "Error: nbits=-3 is not supported.*"},
      {0, 16, "Error: fs=0 is not a sampling rate\\. \\(line [0-9]+ of recogTaskPrepare\\)"},
      {-8000, 16, "Error: fs=-8000 is not a sampling rate\\..*"},
  };
  for (const Case& c : cases) {
    recogParam param;
    prepared r = prepare(usableWave(1600), c.fs, c.nbits, param);
    EXPECT_THAT(r.error, MatchesRegex(c.message)) << c.fs << " " << c.nbits;
  }
}

// ---- epdAndMfcc -------------------------------------------------------------------------------

namespace {

struct features {
  std::vector<float> values;
  int frameNum = -1, vecSize = -1, firstFrame = -1;
  std::string out;
  std::string error;
};

features epdAndMfcc(const recogParam& param, const std::vector<int>& x) {
  features f;
  tulim::test::envScope temp("temp", nullptr);
  testing::internal::CaptureStdout();
  try {
    float* v = recogTask().epdAndMfcc(param, x.data(), static_cast<int>(x.size()), 16000, 16, 320, 160, f.frameNum,
                                      f.vecSize, f.firstFrame);
    f.values.assign(v, v + static_cast<size_t>(f.frameNum) * static_cast<size_t>(f.vecSize));
    free(v);
  } catch (char* m) {
    f.error = m;
  }
  f.out = testing::internal::GetCapturedStdout();
  return f;
}

// The front end's own features of x[begin .. begin + count - 1].
std::vector<float> frontEnd(const std::string& cfg, const std::vector<int>& x, int begin, int count) {
  CMel mel;
  int frames = 0, size = 0;
  testing::internal::CaptureStdout();
  mel.computeMfcc(x.data() + begin, 16000, 16, count, cfg.c_str(), &frames, &size);
  testing::internal::GetCapturedStdout();
  return mel.features;
}

// Speech of a 440 Hz tone between two silences, each `each` samples.
std::vector<int> speechBetweenSilences(int each) {
  std::vector<int> x(static_cast<size_t>(3 * each), 0);
  std::vector<int> tone = test::sineWave(each, 440, 16000, 8000);
  std::copy(tone.begin(), tone.end(), x.begin() + each);
  return x;
}

}  // namespace

TEST(EpdAndMfcc, WithoutEndPointsTheWholeWaveGoesToTheFrontEnd) {
  scratchDir dir;
  recogParam param;
  param.featureConfigFile = dir.write("mfcc.cfg", "TARGETKIND = MFCC_E_D_A\n");
  const std::vector<int> x = test::sineWave(16000, 300, 16000, 4000);
  features f = epdAndMfcc(param, x);
  ASSERT_EQ(f.error, "");
  EXPECT_EQ(f.firstFrame, 0);
  EXPECT_EQ(f.vecSize, 39);
  EXPECT_EQ(f.frameNum, 99);
  EXPECT_EQ(f.values, frontEnd(param.featureConfigFile, x, 0, 16000));
  EXPECT_THAT(f.out, MatchesRegex("[0-9]+\\.[0-9]{3} sec: EPD\n"
                                  "\twaveBeginIndex=0, waveEndIndex=15999\n"
                                  "\twaveBeginFrameId=0, waveEndFrameId=100\n"
                                  "[0-9]+\\.[0-9]{3} sec: Compute MFCC \\(cfgFile=" +
                                  param.featureConfigFile + "\\)\n"));
}

TEST(EpdAndMfcc, EndPointsKeepTheSpeechInWholeFrames) {
  scratchDir dir;
  recogParam param;
  param.useEpd = 1;
  param.featureConfigFile = dir.write("mfcc.cfg", "");
  const std::vector<int> x = speechBetweenSilences(8000);
  features f = epdAndMfcc(param, x);
  ASSERT_EQ(f.error, "");
  int begin = -1, end = -1, first = -1, last = -1;
  const size_t at = f.out.find("\twaveBeginIndex=");
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(sscanf(f.out.c_str() + at, "\twaveBeginIndex=%d, waveEndIndex=%d\n\twaveBeginFrameId=%d, waveEndFrameId=%d",
                   &begin, &end, &first, &last),
            4);
  EXPECT_EQ(first, f.firstFrame);
  EXPECT_EQ(begin, 160 * first);
  EXPECT_EQ(end, 160 * last + 319);
  // The tone lies in samples 8000 .. 15999; the detector's frames are 256 samples long.
  EXPECT_NEAR(f.firstFrame, 50, 3);
  EXPECT_NEAR(last, 100, 3);
  EXPECT_EQ(f.values, frontEnd(param.featureConfigFile, x, begin, end - begin + 1));
  EXPECT_EQ(f.frameNum, (end - begin + 1 - 320) / 160 + 1);
}

TEST(EpdAndMfcc, EndPointsWithoutSpeechAreFatal) {
  scratchDir dir;
  recogParam param;
  param.useEpd = 1;
  param.featureConfigFile = dir.write("mfcc.cfg", "");
  for (const std::vector<int>& x : {std::vector<int>(16000, 0), std::vector<int>(16000, 300)}) {
    features f = epdAndMfcc(param, x);
    EXPECT_THAT(f.error,
                MatchesRegex("Error: End-point detection found no speech in the wave \\(sampleCount=[0-9]+\\)\\. "
                             "\\(line [0-9]+ of recogTaskPrepare\\)"));
  }
  // A wave no longer than the shortest speech segment (50 ms) is too short, loud or not.
  struct Case {
    size_t samples;
    const char* ms;
  };
  for (const Case& c : {Case{0, "0"}, Case{400, "25"}, Case{800, "50"}}) {
    std::vector<int> x(c.samples);
    for (size_t i = 0; i < x.size(); ++i) x[i] = (i / 20) % 2 ? 8000 : -8000;
    features f = epdAndMfcc(param, x);
    EXPECT_THAT(f.error, MatchesRegex(std::string("Error: the wave \\(samples in memory\\) is too short for end-point "
                                                  "detection: ") +
                                      c.ms + " ms \\(sampleCount=" + std::to_string(c.samples) +
                                      " at fs=16000\\); speech must last longer than 50 ms\\. \\(line [0-9]+ of "
                                      "recogTaskPrepare\\)"))
        << c.samples;
  }
}

TEST(EpdAndMfcc, WavesShorterThanAFrameAreFatalNamingTheWave) {
  // Without a frame the search would fail knowing only that it has no frames.
  scratchDir dir;
  recogParam param;
  param.featureConfigFile = dir.write("mfcc.cfg", "");
  for (const char* wave : {"", "short.wav"}) {
    param.wavFile = wave;
    const std::string named = *wave ? wave : "\\(samples in memory\\)";
    for (int n : {0, 1, 100, 319}) {
      features f = epdAndMfcc(param, std::vector<int>(static_cast<size_t>(n), 5));
      EXPECT_THAT(f.error, MatchesRegex("Error: the wave " + named + " is too short for one feature frame: " +
                                        std::to_string(n) + " samples kept of " + std::to_string(n) +
                                        " \\(line [0-9]+ of recogTaskPrepare\\)"))
          << n;
      EXPECT_THAT(f.out, HasSubstr("\twaveBeginIndex=0, waveEndIndex=" + std::to_string(n - 1) + "\n")) << n;
    }
  }
  features one = epdAndMfcc(param, std::vector<int>(320, 5));
  EXPECT_EQ(one.error, "");
  EXPECT_EQ(one.frameNum, 1);
}

TEST(EpdAndMfcc, AtMost40000Frames) {
  scratchDir dir;
  recogParam param;
  // 16-sample windows shifted by one sample: n samples make n - 15 frames.
  param.featureConfigFile = dir.write("fine.cfg", "WINDOWSIZE = 10000\nTARGETRATE = 625\nNUMCHANS = 4\n");
  const std::vector<int> x = test::noiseWave(40016, 3000, 9);
  features most = epdAndMfcc(param, std::vector<int>(x.begin(), x.end() - 1));
  EXPECT_EQ(most.error, "");
  EXPECT_EQ(most.frameNum, MAX_FRAME_NUM);
  features over = epdAndMfcc(param, x);
  EXPECT_EQ(over.error, "frameNum = 40001 > 40000, frameNum too big!");
}
