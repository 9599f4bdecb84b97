#include "audioClass.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "frameWaves.h"
#include "testFiles.h"

using namespace tulim;
using testing::ElementsAre;
using tulim::test::piecewiseWave;
using tulim::test::piecewiseWaveDouble;
using tulim::test::wavePiece;

namespace {

struct freeSegments {
  void operator()(segment* block) const { free(block); }
};
using segmentBlock = std::unique_ptr<segment, freeSegments>;

struct span {
  int begin;
  int end;
  bool operator==(const span& o) const { return begin == o.begin && end == o.end; }
};

std::ostream& operator<<(std::ostream& os, const span& s) { return os << "{" << s.begin << ", " << s.end << "}"; }

// The returned segments as frame spans; every one must be valid with a matching duration.
std::vector<span> spans(const segment* block, int count) {
  std::vector<span> out;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(block[i].valid, 1);
    EXPECT_EQ(block[i].duration, block[i].end - block[i].begin + 1);
    out.push_back({block[i].begin, block[i].end});
  }
  return out;
}

enum detector { BY_VOL, BY_VOL_HOD };

std::vector<span> detect(detector which, const std::vector<int>& wave, const epdParam& param, int fs = 16000) {
  audioClass audio;
  int count = -1;
  segmentBlock block(which == BY_VOL ? audio.epdByVol(wave.data(), static_cast<int>(wave.size()), fs, param, count)
                                     : audio.epdByVolHod(wave.data(), static_cast<int>(wave.size()), fs, param, count));
  EXPECT_NE(block, nullptr);
  return spans(block.get(), count);
}

epdParam defaults16k() {
  epdParam param;
  audioClass().epdParamSet(16000, param);
  return param;
}

// Bursts of alternating +1000/-1000 in 256-sample frames (the 16 kHz defaults), each given
// as its first frame and its length in frames, in a wave of totalFrames frames.
struct burst {
  int first;
  int frames;
};
std::vector<int> framedBursts(int totalFrames, const std::vector<burst>& bursts, int amplitude = 1000) {
  std::vector<wavePiece> pieces;
  int at = 0;
  for (const burst& b : bursts) {
    pieces.push_back({(b.first - at) * 256, 0});
    pieces.push_back({b.frames * 256, static_cast<double>(amplitude)});
    at = b.first + b.frames;
  }
  pieces.push_back({(totalFrames - at) * 256, 0});
  return piecewiseWave(pieces);
}

// Runs the body with the working directory set to dir.
class workingDirScope {
 public:
  explicit workingDirScope(const std::string& dir) : m_old(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~workingDirScope() { std::filesystem::current_path(m_old); }

 private:
  std::filesystem::path m_old;
};

}  // namespace

// ---- Framing ----------------------------------------------------------------------------------

TEST(GetFrameNum, CountsWholeFramesAndDropsTheTail) {
  struct Case {
    int waveLen, frameSize, overlap, frames;
  };
  for (const Case& c : {Case{16000, 320, 160, 99}, Case{320, 320, 160, 1}, Case{479, 320, 160, 1},
                        Case{480, 320, 160, 2}, Case{319, 320, 160, 0}, Case{100, 320, 160, 0}, Case{0, 320, 160, 0},
                        Case{256, 256, 0, 1}, Case{511, 256, 0, 1}, Case{512, 256, 0, 2}, Case{25600, 512, 192, 79}}) {
    EXPECT_EQ(audioClass().getFrameNum(c.waveLen, c.frameSize, c.overlap), c.frames)
        << c.waveLen << " samples, frames of " << c.frameSize << " overlapping by " << c.overlap;
  }
}

TEST(GetFrameNum, RejectsFramingWithoutHop) {
  for (int overlap : {256, 300}) {
    try {
      audioClass().getFrameNum(1000, 256, overlap);
      ADD_FAILURE() << "overlap " << overlap << " accepted";
    } catch (char* message) {
      EXPECT_THAT(message, testing::MatchesRegex("frameSize = 256 with overlap = [0-9]+ leaves no hop between "
                                                 "frames \\(line [0-9]+ of audioClass\\)"));
    }
  }
}

TEST(FrameIndex, MapsFramesToCentreSamplesAndBack) {
  audioClass audio;
  EXPECT_EQ(audio.frameIndex2sampleIndex(0, 256, 0), 127);
  EXPECT_EQ(audio.frameIndex2sampleIndex(3, 320, 160), 639);
  EXPECT_EQ(audio.frameIndex2sampleIndex(3, 320, 240), 399);
  for (int i : {0, 1, 7, 100, 4999})
    for (int overlap : {0, 160, 240}) EXPECT_EQ(audio.sampleIndex2frameIndex(audio.frameIndex2sampleIndex(i, 320, overlap), 320, overlap), i);
  // ((s + 1) - 160) / 160: 0.5 at s = 239 rounds away from zero; early samples give 0.
  EXPECT_EQ(audio.sampleIndex2frameIndex(239, 320, 160), 1);
  EXPECT_EQ(audio.sampleIndex2frameIndex(238, 320, 160), 0);
  EXPECT_EQ(audio.sampleIndex2frameIndex(0, 320, 160), 0);
}

TEST(FrameStartIndex, WritesEachFramesFirstSample) {
  std::vector<int> start(4, -1);
  EXPECT_EQ(audioClass().frameStartIndex(800, 320, 160, start.data()), 4);
  EXPECT_THAT(start, ElementsAre(0, 160, 320, 480));
}

TEST(WaveMeasures, ZeroCrossingsAndHighOrderDifferencePerFrame) {
  // Frames of 8 with overlap 4: silence, then +-5 from sample 8 on.
  std::vector<int> wave = piecewiseWave({{8, 0}, {8, 5}});
  std::vector<int> zcr(3, -1), hod(3, -1);
  audioClass audio;
  audio.wave2zcr(wave.data(), 16, 8, 4, zcr.data());
  audio.wave2hod(wave.data(), 16, 8, 4, hod.data(), 1);
  EXPECT_THAT(zcr, ElementsAre(0, 3, 7));
  // Order 1 over {0,0,0,0,5,-5,5,-5}: |5| + 3 * |10|.
  EXPECT_THAT(hod, ElementsAre(0, 35, 70));
}

// ---- Parameters -------------------------------------------------------------------------------

TEST(EpdParam, DefaultsFollowTheSamplingRate) {
  audioClass audio;
  epdParam p16 = defaults16k(), p8;
  audio.epdParamSet(8000, p8);
  EXPECT_EQ(p16.frameSize, 256);
  EXPECT_EQ(p8.frameSize, 128);
  EXPECT_EQ(p8.overlap, 0);

  testing::internal::CaptureStdout();
  audio.epdParamPrint(p16);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "epdParam.frameSize=256\n"
            "epdParam.overlap=0\n"
            "epdParam.volRatio=10\n"
            "epdParam.vhRatio=10\n"
            "epdParam.diffOrder=4\n"
            "epdParam.volWeight=0.500000\n"
            "epdParam.extendNum=1\n"
            "epdParam.minSegment=0.050000\n"
            "epdParam.maxSilBetweenWord=0.700000\n"
            "epdParam.minLastWordDuration=0.100000\n");
}

// ---- Volume end points ------------------------------------------------------------------------

TEST(EpdByVol, FindsBurstBetweenSilencesAtFrameAlignedPositions) {
  std::vector<int> wave = framedBursts(70, {{20, 30}});
  for (detector which : {BY_VOL, BY_VOL_HOD}) {
    EXPECT_THAT(detect(which, wave, defaults16k()), ElementsAre(span{20, 49})) << "detector " << which;
  }
}

TEST(EpdByVol, FindsNoSpeechInSilenceInAConstantWaveOrInAWaveShorterThanAFrame) {
  struct Case {
    const char* what;
    std::vector<int> wave;
  };
  std::vector<Case> cases = {{"silence", std::vector<int>(70 * 256, 0)},
                             {"constant", std::vector<int>(70 * 256, 500)},
                             {"square of one level", framedBursts(70, {{0, 70}})},
                             {"under one frame", piecewiseWave({{255, 1000}})},
                             {"empty", {}}};
  for (const Case& c : cases)
    for (detector which : {BY_VOL, BY_VOL_HOD}) EXPECT_THAT(detect(which, c.wave, defaults16k()), testing::IsEmpty()) << c.what;
}

TEST(EpdByVol, VolumeAloneKeepsALowFrequencyBurstThatTheDifferenceMixDrops) {
  // Frames 10..39 alternate every sample; frames 60..89 hold a square wave of period 128,
  // as loud but with little high-order difference.
  std::vector<int> wave =
      piecewiseWave({{10 * 256, 0}, {30 * 256, 1000}, {20 * 256, 0}, {30 * 256, 1000, 64}, {10 * 256, 0}});
  EXPECT_THAT(detect(BY_VOL, wave, defaults16k()), ElementsAre(span{10, 39}, span{60, 89}));
  EXPECT_THAT(detect(BY_VOL_HOD, wave, defaults16k()), ElementsAre(span{10, 39}));
}

TEST(EpdByVol, ThresholdIsTheRangeOverTheDetectorsOwnRatio) {
  // A loud burst and one at a twentieth of its level: above a tenth of the range only the
  // loud one, above a hundredth both.
  std::vector<int> wave =
      piecewiseWave({{10 * 256, 0}, {30 * 256, 2000}, {20 * 256, 0}, {30 * 256, 100}, {10 * 256, 0}});
  epdParam param = defaults16k();
  EXPECT_THAT(detect(BY_VOL, wave, param), ElementsAre(span{10, 39}));
  param.vhRatio = 100;
  EXPECT_THAT(detect(BY_VOL, wave, param), ElementsAre(span{10, 39}));
  EXPECT_THAT(detect(BY_VOL_HOD, wave, param), ElementsAre(span{10, 39}, span{60, 89}));
  param = defaults16k();
  param.volRatio = 100;
  EXPECT_THAT(detect(BY_VOL, wave, param), ElementsAre(span{10, 39}, span{60, 89}));
  EXPECT_THAT(detect(BY_VOL_HOD, wave, param), ElementsAre(span{10, 39}));
}

TEST(EpdByVol, AppliesTheDurationRulesOfTheDefaults) {
  // At 16 kHz: segments of at most 3 frames are dropped; a last segment of at most 6
  // frames more than 44 frames after the previous valid one is dropped.
  struct Case {
    const char* what;
    int totalFrames;
    std::vector<burst> bursts;
    std::vector<span> kept;
  };
  const std::vector<Case> cases = {
      {"3 frames: too short", 60, {{30, 3}}, {}},
      {"4 frames: kept", 60, {{30, 4}}, {{30, 33}}},
      {"far (45) and short (6) last: dropped", 150, {{10, 30}, {39 + 45, 6}}, {{10, 39}}},
      {"44 apart: kept", 150, {{10, 30}, {39 + 44, 6}}, {{10, 39}, {83, 88}}},
      {"7 frames long: kept", 150, {{10, 30}, {39 + 45, 7}}, {{10, 39}, {84, 90}}},
      {"short far first: kept", 150, {{10, 6}, {15 + 45, 30}}, {{10, 15}, {60, 89}}},
      {"invalid segment between: measured from the valid one",
       150,
       {{10, 30}, {60, 2}, {39 + 45, 6}},
       {{10, 39}}},
      {"only the last is judged", 200, {{10, 30}, {39 + 45, 6}, {100, 30}}, {{10, 39}, {84, 89}, {100, 129}}},
  };
  for (const Case& c : cases) {
    std::vector<int> wave = framedBursts(c.totalFrames, c.bursts);
    for (detector which : {BY_VOL, BY_VOL_HOD})
      EXPECT_EQ(detect(which, wave, defaults16k()), c.kept) << c.what << ", detector " << which;
  }
}

TEST(EpdByVol, RejectsAZeroRatio) {
  std::vector<int> wave = framedBursts(70, {{20, 30}});
  epdParam param = defaults16k();
  param.volRatio = 0;
  try {
    detect(BY_VOL, wave, param);
    ADD_FAILURE() << "volRatio 0 accepted";
  } catch (char* message) {
    EXPECT_THAT(message, testing::MatchesRegex("epdParam.volRatio = 0 cannot divide the range \\(line [0-9]+ of audioClass\\)"));
  }
}

// ---- The other detectors ----------------------------------------------------------------------

TEST(EpdByVolZcr, ExtendsLoudFramesOverQuieterAndHissingNeighbours) {
  audioClass audio;
  int begin = 0, end = 0;
  // Frames of 320, hop 80: the first frame with over 40 of the burst's samples is frame 97
  // (80 of them), the last frame 199; frames holding over 127 alternating samples of hiss
  // are taken in to the left.
  std::vector<int> wave = piecewiseWave({{8000, 0}, {8000, 1000}, {8000, 0}});
  audio.epdByVolZcr(wave.data(), static_cast<int>(wave.size()), 16000, begin, end);
  EXPECT_EQ(begin, 97 * 80 + 159);
  EXPECT_EQ(end, 199 * 80 + 159);

  wave = piecewiseWave({{4000, 0}, {4000, 10}, {8000, 1000}, {8000, 0}});
  audio.epdByVolZcr(wave.data(), static_cast<int>(wave.size()), 16000, begin, end);
  EXPECT_EQ(begin, 48 * 80 + 159);
  EXPECT_EQ(end, 199 * 80 + 159);

  for (const std::vector<int>& none : {std::vector<int>(8000, 0), std::vector<int>(319, 1000)}) {
    audio.epdByVolZcr(none.data(), static_cast<int>(none.size()), 16000, begin, end);
    EXPECT_EQ(begin, -1);
    EXPECT_EQ(end, -1);
  }
}

TEST(EpdByVolTwoTh, ListsRisesAndFallsWidenedOverTheLowerThreshold) {
  audioClass audio;
  std::vector<int> boundaries;
  // Frames of 512, hop 320, 49 of them. The loud burst makes frames 19..39 pass the upper
  // threshold (volMax/64); the shoulder's frames 10..18 pass only the lower (volMax/128).
  std::vector<int> wave = piecewiseWave({{3200, 0}, {3200, 100}, {6400, 9600}, {3200, 0}});
  EXPECT_EQ(audio.epdByVolTwoTh(wave.data(), 16000, 16000, boundaries), 2);
  EXPECT_THAT(boundaries, ElementsAre(10, 39));

  wave = piecewiseWave({{6400, 0}, {6400, 9600}, {3200, 0}});
  EXPECT_EQ(audio.epdByVolTwoTh(wave.data(), 16000, 16000, boundaries), 2);
  EXPECT_THAT(boundaries, ElementsAre(19, 39));

  // Speech at both edges.
  wave = piecewiseWave({{3200, 9600}, {9600, 0}, {3200, 9600}});
  EXPECT_EQ(audio.epdByVolTwoTh(wave.data(), 16000, 16000, boundaries), 4);
  EXPECT_THAT(boundaries, ElementsAre(0, 9, 39, 48));

  std::vector<int> silence(16000, 0);
  EXPECT_EQ(audio.epdByVolTwoTh(silence.data(), 16000, 16000, boundaries), 0);
  EXPECT_EQ(audio.epdByVolTwoTh(silence.data(), 511, 16000, boundaries), 0);
  EXPECT_TRUE(boundaries.empty());
}

TEST(Vol2voicedFlags, WidensRunsAboveTheUpperThresholdAndSavesBothThresholds) {
  test::scratchDir dir;
  workingDirScope inDir(dir.path());
  const std::vector<int> vol = {0, 10, 50, 100, 50, 10, 0, 30, 0};
  std::vector<int> flags(vol.size(), -1);
  voicedFlagParam param = {320, 160, 10.9, 2.5, 0};
  testing::internal::CaptureStdout();
  EXPECT_EQ(audioClass().vol2voicedFlags(vol.data(), 9, param, flags.data()), 8);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "volTh1=10, volTh2=50, maxVol=100, minVol=0\n");
  EXPECT_THAT(flags, ElementsAre(0, 1, 1, 1, 1, 1, 0, 0, 0));
  EXPECT_EQ(test::readFile(dir.file("volTh1.txt")), "10 \n");
  EXPECT_EQ(test::readFile(dir.file("volTh2.txt")), "50 \n");
}

namespace {

// Silence and bursts of +-1000 in 8500-sample pieces (50 frames of 256 with hop 170).
std::vector<double> dbWave(const std::vector<int>& pieceAmplitudes, double offset = 0) {
  std::vector<wavePiece> pieces;
  for (int a : pieceAmplitudes) pieces.push_back({8500, static_cast<double>(a)});
  std::vector<double> wave = piecewiseWaveDouble(pieces);
  for (double& x : wave) x += offset;
  return wave;
}

}  // namespace

TEST(EpdByDb, FindsFramesWithin20DbOfTheLoudestAndRemovesTheMean) {
  audioClass audio;
  std::vector<double> wave = dbWave({0, 1000, 0}, 5);
  std::vector<double> begins(3), ends(3);
  // Frame 49 holds the burst's first 86 samples, frame 99 its last 170.
  EXPECT_EQ(audio.epdByDb(wave.data(), static_cast<int>(wave.size()), 16000, begins.data(), ends.data(), 3), 1);
  EXPECT_THAT(begins, ElementsAre(49 * 170, -1, -1));
  EXPECT_THAT(ends, ElementsAre(100 * 170 + 85, -1, -1));
  EXPECT_EQ(wave[0], 0.0);
  EXPECT_EQ(wave[8500], 1000.0);

  wave = dbWave({0, 1000, 0, 1000, 0});
  EXPECT_EQ(audio.epdByDb(wave.data(), static_cast<int>(wave.size()), 16000, begins.data(), ends.data(), 3), 2);
  EXPECT_THAT(begins, ElementsAre(49 * 170, 149 * 170, -1));
  EXPECT_THAT(ends, ElementsAre(100 * 170 + 85, 200 * 170 + 85, -1));
}

TEST(EpdByDb, DropsSegmentsShorterThanTenFramesAt16k) {
  audioClass audio;
  // A burst of 850 samples: frames 49..54, end - begin = 5.
  std::vector<double> wave = piecewiseWaveDouble({{8500, 0}, {8500, 1000}, {8500, 0}, {850, 1000}, {8500, 0}});
  std::vector<double> begins(3), ends(3);
  EXPECT_EQ(audio.epdByDb(wave.data(), static_cast<int>(wave.size()), 16000, begins.data(), ends.data(), 3), 1);
  EXPECT_THAT(begins, ElementsAre(49 * 170, -1, -1));
}

TEST(EpdByDb, StopsAtMaxCountWithAWarningAndWritesNoFurther) {
  audioClass audio;
  std::vector<double> wave = dbWave({0, 1000, 0, 1000, 0});
  std::vector<double> begins(1), ends(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(audio.epdByDb(wave.data(), static_cast<int>(wave.size()), 16000, begins.data(), ends.data(), 1), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: some characters are not recorded due to limited length!\n");
  EXPECT_EQ(begins[0], 49 * 170);
  EXPECT_EQ(ends[0], 100 * 170 + 85);
}

TEST(EpdByDb, FindsNothingInSilenceOrInAWaveShorterThanAFrame) {
  audioClass audio;
  std::vector<double> begins(2, 7), ends(2, 7);
  std::vector<double> silence(20000, 3.0);
  EXPECT_EQ(audio.epdByDb(silence.data(), 20000, 16000, begins.data(), ends.data(), 2), 0);
  EXPECT_THAT(begins, ElementsAre(-1, -1));
  std::vector<double> shortWave = piecewiseWaveDouble({{255, 1000}});
  EXPECT_EQ(audio.epdByDb(shortWave.data(), 255, 16000, begins.data(), ends.data(), 2), 0);

  int begin = 0, end = 0;
  audio.epdByDbEnds(silence.data(), 20000, 16000, begin, end);
  EXPECT_EQ(begin, -1);
  EXPECT_EQ(end, -1);
}

TEST(EpdByDbEnds, SpansFromTheFirstBeginToTheLastEnd) {
  std::vector<double> wave = dbWave({0, 1000, 0, 1000, 0});
  int begin = 0, end = 0;
  audioClass().epdByDbEnds(wave.data(), static_cast<int>(wave.size()), 16000, begin, end);
  EXPECT_EQ(begin, 49 * 170);
  EXPECT_EQ(end, 200 * 170 + 85);
}

TEST(EpdByAbsSumZcr, FindsALowCrossingBurstAndPadsItByFourFrames) {
  // Scaled by 2^15: the burst is a square of 16384 with 32-sample halves (few crossings),
  // the hiss at the end alternates every sample (the most crossings, little level).
  struct Case {
    const char* what;
    std::vector<wavePiece> pieces;
    int begin, end;
  };
  const std::vector<Case> cases = {
      {"burst in frames 49..99",
       {{6400, 0}, {6400, 0.5, 32}, {3200, 0}, {3200, 0.001}},
       128 * 49 + 128 - 512,
       128 * 99 + 128 + 512},
      {"a run from frame 24 is cleared",
       {{6400, 0.5, 32}, {3200, 0}, {3200, 0.5, 32}, {3200, 0}, {3200, 0.001}},
       128 * 74 + 128 - 512,
       128 * 99 + 128 + 512},
      {"an isolated pair of frames is cleared",
       {{4096, 0}, {128, 0.5, 32}, {2176, 0}, {6400, 0.5, 32}, {3200, 0}, {3200, 0.001}},
       128 * 49 + 128 - 512,
       128 * 99 + 128 + 512},
      {"padding kept inside the wave (frame 49 crosses too often)",
       {{3456, 0}, {2944, 0.5, 32}, {320, 0.001}},
       128 * 26 + 128 - 512,
       6719},
      {"silence", {{19200, 0}}, -1, -1},
      {"under one frame", {{255, 0.5, 32}}, -1, -1},
  };
  for (const Case& c : cases) {
    std::vector<double> wave = piecewiseWaveDouble(c.pieces);
    int ends[2] = {0, 0};
    audioClass().epdByAbsSumZcr(wave.data(), static_cast<int>(wave.size()), 16000, 16, ends);
    EXPECT_EQ(ends[0], c.begin) << c.what;
    EXPECT_EQ(ends[1], c.end) << c.what;
  }
  std::vector<double> wave = piecewiseWaveDouble({{4, 0.5}});
  int ends[2];
  audioClass().epdByAbsSumZcr(wave.data(), 4, 16000, 16, ends);
  EXPECT_EQ(wave[0], 16384.0);
  EXPECT_EQ(wave[1], -16384.0);
}
