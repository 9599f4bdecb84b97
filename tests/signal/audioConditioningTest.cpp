#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "audioClass.h"
#include "fatalCatch.h"
#include "toneFixture.h"

using namespace tulim;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::MatchesRegex;
using tulim::test::expectFatal;

namespace {

int resampledLength(int inLen, int fsIn, int fsOut) {
  return static_cast<int>(std::floor(static_cast<double>(inLen - 1) * fsOut / fsIn)) + 1;
}

}  // namespace

// ---- resample ---------------------------------------------------------------------------

TEST(Resample, DoublingKeepsSamplesAndRoundsMidpointsAwayFromZero) {
  audioClass audio;
  const std::vector<int> in = {1, 2, -1, -2};
  std::vector<int> out(resampledLength(4, 8000, 16000));
  audio.resample(in.data(), 4, 8000, 16000, out.data(), static_cast<int>(out.size()));
  EXPECT_THAT(out, ElementsAre(1, 2, 2, 1, -1, -2, -2));
}

TEST(Resample, LengthsFollowTheRateRatio) {
  struct Case {
    int inLen, fsIn, fsOut, outLen;
  };
  const Case cases[] = {
      {16000, 8000, 16000, 31999},  {16000, 16000, 8000, 8000}, {44100, 44100, 16000, 16000},
      {22050, 22050, 16000, 16000}, {1, 8000, 16000, 1},
  };
  audioClass audio;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.inLen) + " samples " + std::to_string(c.fsIn) + " -> " +
                 std::to_string(c.fsOut));
    ASSERT_EQ(resampledLength(c.inLen, c.fsIn, c.fsOut), c.outLen);
    const std::vector<int> in = test::sineWave(c.inLen, 300, c.fsIn, 1000);
    std::vector<int> out(c.outLen);
    audio.resample(in.data(), c.inLen, c.fsIn, c.fsOut, out.data(), c.outLen);
    EXPECT_EQ(out.front(), in.front());
    EXPECT_EQ(out.back(), in.back());
  }
}

TEST(Resample, ToneKeepsItsFrequencyFrom8kTo16k) {
  audioClass audio;
  const std::vector<int> in = test::sineWave(8000, 440, 8000, 10000, 0.3);
  std::vector<int> out(resampledLength(8000, 8000, 16000));
  audio.resample(in.data(), 8000, 8000, 16000, out.data(), static_cast<int>(out.size()));
  EXPECT_NEAR(test::zeroCrossingFrequency(out, 0, static_cast<int>(out.size()), 16000), 440, 1);
  // Every second output sample is an input sample.
  for (int i = 0; i < 8000; ++i) ASSERT_EQ(out[2 * i], in[i]) << i;
}

TEST(Resample, RefusesOutputLongerThanTheInputCoversAndBadRates) {
  audioClass audio;
  const std::vector<int> in(4, 1);
  std::vector<int> out(16);
  EXPECT_THAT(expectFatal([&] { audio.resample(in.data(), 4, 8000, 16000, out.data(), 8); }),
              MatchesRegex("resample: outLen = 8 is more than the 7 samples .* \\(line [0-9]+ of "
                           "audioConditioning\\)"));
  EXPECT_THAT(expectFatal([&] { audio.resample(in.data(), 4, 0, 16000, out.data(), 1); }),
              MatchesRegex("resample: sampling rates 0 -> 16000 Hz must be positive .*"));
}

// ---- Units and small routines -----------------------------------------------------------

TEST(Semitones, ConvertBetweenHertzAndMidiScaleWithZeroForUnvoiced) {
  audioClass audio;
  EXPECT_FLOAT_EQ(audio.freq2semitone(440), 69);
  EXPECT_FLOAT_EQ(audio.freq2semitone(880), 81);
  EXPECT_FLOAT_EQ(audio.freq2semitone(220), 57);
  EXPECT_EQ(audio.freq2semitone(0), 0);
  EXPECT_EQ(audio.freq2semitone(-5), 0);
  EXPECT_FLOAT_EQ(audio.semitone2freq(69), 440);
  EXPECT_FLOAT_EQ(audio.semitone2freq(81), 880);
  EXPECT_EQ(audio.semitone2freq(0), 0);
  EXPECT_EQ(audio.semitone2freq(-1), 0);
  EXPECT_NEAR(audio.semitone2freq(audio.freq2semitone(123.4f)), 123.4f, 1e-3);
}

TEST(FrameFlip, ReversesOnlyWhenTheSecondHalfDeviatesMore) {
  audioClass audio;
  struct Case {
    std::vector<int> frame;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {{1, 1, 1, 9, -7, 9}, {9, -7, 9, 1, 1, 1}},  // second half stronger
      {{9, -7, 9, 1, 1, 1}, {9, -7, 9, 1, 1, 1}},  // first half stronger
      {{0, 4, 0, 4}, {0, 4, 0, 4}},                // equal halves stay
      {{5, 5, 5, 5, 9}, {9, 5, 5, 5, 5}},          // odd n: the middle joins the second half
      {{7}, {7}},
  };
  for (const Case& c : cases) {
    std::vector<int> frame = c.frame;
    audio.frameFlip(frame.data(), static_cast<int>(frame.size()));
    EXPECT_EQ(frame, c.expected);

    std::vector<float> f(c.frame.begin(), c.frame.end());
    std::vector<double> d(c.frame.begin(), c.frame.end());
    audio.frameFlip(f.data(), static_cast<int>(f.size()));
    audio.frameFlip(d.data(), static_cast<int>(d.size()));
    EXPECT_EQ(std::vector<float>(c.expected.begin(), c.expected.end()), f);
    EXPECT_EQ(std::vector<double>(c.expected.begin(), c.expected.end()), d);
  }
}

TEST(FrameFlip, IntegerFramesUseTheRoundedMean) {
  // The mean 0.5 rounds to 1 for integers: both halves deviate 2, no flip; about the real
  // mean they deviate 1 and 2, a flip.
  audioClass audio;
  std::vector<int> i = {0, 0, 0, 2};
  std::vector<double> d = {0, 0, 0, 2};
  audio.frameFlip(i.data(), 4);
  audio.frameFlip(d.data(), 4);
  EXPECT_THAT(i, ElementsAre(0, 0, 0, 2));
  EXPECT_THAT(d, ElementsAre(2, 0, 0, 0));
}

TEST(Smooth3, UsesTheUnsmoothedLeftNeighbour) {
  audioClass audio;
  std::vector<int> x = {0, 8, 0, 8, 0};
  EXPECT_EQ(audio.smooth3(x.data(), 5), 4);
  EXPECT_THAT(x, ElementsAre(0, 4, 4, 4, 0));

  std::vector<int> negative = {-2, -6, -2};
  EXPECT_EQ(audio.smooth3(negative.data(), 3), 2);
  EXPECT_THAT(negative, ElementsAre(-2, -5, -2));  // -0.5 rounds to -1: -1 + -3 + -1

  std::vector<int> shortWave = {5, 9};
  EXPECT_EQ(audio.smooth3(shortWave.data(), 2), 0);
  EXPECT_THAT(shortWave, ElementsAre(5, 9));
}

TEST(RoundedMeanInRange, GivesTheMeanInsideTheRangeAnd512Outside) {
  audioClass audio;
  struct Case {
    std::vector<int> x;
    int d, expected;
  };
  const Case cases[] = {
      {{127}, 1, 512},      {{128}, 1, 128},      {{2560}, 1, 2560},
      {{2561}, 1, 512},     {{100, 155}, 2, 128},  // 255 / 2 rounds up
      {{100, 154}, 2, 512},                        // 254 / 2 = 127
      {{300}, 0, 512},
  };
  for (const Case& c : cases)
    EXPECT_EQ(audio.roundedMeanInRange(c.x.data(), 0, static_cast<int>(c.x.size()), c.d),
              c.expected);
}

TEST(AddEcho, AddsDelayedScaledOutputInBothForms) {
  audioClass audio;
  std::vector<int> x(10, 0);
  x[0] = 100;
  std::vector<int> y(10);
  EXPECT_EQ(audio.addEcho(x.data(), 10, 10, 0.3, 0.5, y.data()), 10);
  EXPECT_THAT(y, ElementsAre(100, 0, 0, 50, 0, 0, 25, 0, 0, 13));

  std::vector<double> xd(x.begin(), x.end()), yd(10);
  EXPECT_EQ(audio.addEcho(xd.data(), 10, 10, 0.3, 0.5, yd.data()), 10);
  EXPECT_THAT(yd, ElementsAre(100, 0, 0, 50, 0, 0, 25, 0, 0, 12.5));

  // A delay beyond the wave copies it.
  EXPECT_EQ(audio.addEcho(x.data(), 10, 10, 5.0, 0.5, y.data()), 10);
  EXPECT_EQ(y, x);

  EXPECT_THAT(expectFatal([&] { audio.addEcho(x.data(), 10, 10, 0.0, 0.5, y.data()); }),
              MatchesRegex("addEcho: delay of 0 samples .* is below 1 .*"));
}

TEST(InterpLookup, InterpolatesBetweenVoicedNeighboursOnly) {
  audioClass audio;
  const double xs[] = {0, 1, 2, 3};
  const double ys[] = {10, 20, 0, 40};
  struct Case {
    double x, expected;
  };
  const Case cases[] = {
      {-1, 10},  {0, 10},   {0.25, 12.5}, {1.25, 20},  // nearer side of a zero neighbour
      {1.75, 0}, {2.5, 40}, {3, 40},      {7, 40},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(audio.interpLookup(xs, 4, ys, c.x), c.expected) << c.x;
  EXPECT_THAT(expectFatal([&] { audio.interpLookup(xs, 0, ys, 1); }),
              MatchesRegex("interpLookup: empty table .*"));
}

TEST(InterpLookup, GivesTheMatchedValueOnARepeatedAbscissa) {
  // The search meets xs[1] = 1 first, so both neighbours stand at x and no interval is left.
  audioClass audio;
  const double xs[] = {0, 1, 1, 2};
  const double ys[] = {10, 20, 30, 40};
  EXPECT_DOUBLE_EQ(audio.interpLookup(xs, 4, ys, 1), 20);
  EXPECT_DOUBLE_EQ(audio.interpLookup(xs, 4, ys, 1.5), 35);
  const double twice[] = {5, 5};
  EXPECT_DOUBLE_EQ(audio.interpLookup(twice, 2, ys, 5), 10);
}

TEST(Filter, RunsRecursiveAndMovingAverageFilters) {
  audioClass audio;
  const double one[] = {1};
  const double pole[] = {1, -0.5};
  std::vector<double> impulse = {1, 0, 0, 0};
  audio.filter(one, 1, pole, 2, impulse.data(), 4);
  EXPECT_THAT(impulse, ElementsAre(1, 0.5, 0.25, 0.125));

  const double average[] = {0.5, 0.5};
  const double none[] = {1};
  std::vector<double> x = {2, 4, 6, 8};
  audio.filter(average, 2, none, 1, x.data(), 4);
  EXPECT_THAT(x, ElementsAre(1, 3, 5, 7));  // reads the input, not the filtered values
}

TEST(Buffer2frames, CutsOverlappingZeroPaddedRows) {
  audioClass audio;
  std::vector<int> wave = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(audio.getFrameNumCeil(10, 4, 2), 5);
  EXPECT_EQ(audio.getFrameNumCeil(9, 4, 2), 5);
  EXPECT_EQ(audio.getFrameNumCeil(0, 4, 2), 0);

  std::vector<int> out(5 * 4, -1);
  EXPECT_EQ(audio.buffer2frames(wave.data(), 9, 4, 2, out.data()), 5);
  EXPECT_THAT(out, ElementsAreArray({0, 0, 1, 2, 1, 2, 3, 4, 3, 4, 5, 6, 5, 6, 7, 8, 7, 8, 9, 0}));

  EXPECT_THAT(expectFatal([&] { audio.getFrameNumCeil(10, 4, 4); }),
              MatchesRegex("getFrameNumCeil: overlap 4 does not fit a frame of 4 samples .*"));
}

// ---- Pitch contours ---------------------------------------------------------------------

TEST(Note2pitch, HoldsEachNoteForItsDurationThenZero) {
  audioClass audio;
  const double notes[] = {60, 0.25, 62, 0.5};
  std::vector<double> out(10, -1);
  testing::internal::CaptureStdout();
  audio.note2pitch(notes, 2, 0.1, out.data(), 10);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "noteCumulatedTime=0.250000\nnoteCumulatedTime=0.750000\n");
  EXPECT_THAT(out, ElementsAre(60, 60, 60, 62, 62, 62, 62, 62, 0, 0));
}

TEST(PitchSynthesis, WritesWholeSinePeriodsAndSilentRuns) {
  audioClass audio;
  const int fs = 4400;  // 440 Hz (semitone 69) is 10 samples a period
  const double pitch[] = {69, 0, 69};
  std::vector<double> out(150, -1);
  audio.pitch2wave(pitch, 3, 100, fs, out.data(), 150);  // values start at 0, 44 and 88
  std::vector<double> expected(150, 0.0);
  for (int k = 0; k < 50; ++k) expected[k] = 0.8 * std::sin(2 * M_PI * (k % 10) / 10);
  for (int k = 88; k < 148; ++k) expected[k] = 0.8 * std::sin(2 * M_PI * ((k - 88) % 10) / 10);
  for (int k = 0; k < 150; ++k) EXPECT_NEAR(out[k], expected[k], 1e-12) << k;

  const double notes[] = {0, 69};
  const double durations[] = {0.005, 0.01};
  std::vector<double> wave(40, -1);
  audio.note2wave(notes, 2, durations, fs, wave.data(), 40);  // the tone starts at 22
  for (int k = 0; k < 40; ++k) {
    const double want = k >= 22 && k < 32 ? 0.8 * std::sin(2 * M_PI * (k - 22) / 10) : 0.0;
    EXPECT_NEAR(wave[k], want, 1e-12) << k;
  }
}

TEST(PitchSynthesis, TooHighPitchIsSilentInsteadOfStalling) {
  audioClass audio;
  const double pitch[] = {69, 300, 69};
  std::vector<double> out(30, -1);
  audio.pitch2wave(pitch, 3, 440, 4400, out.data(), 30);  // starts 0, 10, 20
  for (int k = 10; k < 20; ++k) EXPECT_EQ(out[k], 0.0) << k;
  EXPECT_NEAR(out[22], 0.8 * std::sin(2 * M_PI * 2 / 10), 1e-12);
}

TEST(PitchRange, ClipsOutsideValuesAndFindsTheVoicedSpan) {
  audioClass audio;
  std::vector<double> pitch = {0, 50, 70, 0, 90, 65, 0};
  audio.pitchRangeClip(pitch.data(), 7, 60, 80);
  EXPECT_THAT(pitch, ElementsAre(0, 0, 70, 0, 0, 65, 0));

  struct Case {
    std::vector<double> pitch;
    int first, last;
  };
  const Case cases[] = {
      {{0, 0, 5, 0, 7, 0}, 2, 4},
      {{0, 3, 0}, 1, 1},
      {{4}, 0, 0},
      {{0, 0, 0}, 3, 2},
  };
  for (const Case& c : cases) {
    int first = -9, last = -9;
    audio.nonZeroSpan(c.pitch.data(), static_cast<int>(c.pitch.size()), first, last);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(last, c.last);
  }
}
