#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "audioClass.h"
#include "toneFixture.h"

using namespace tulim;
using tulim::test::sineWave;

namespace {

std::vector<int16_t> samples16(const std::vector<int>& wave) { return std::vector<int16_t>(wave.begin(), wave.end()); }

std::vector<int16_t> toneInSilence(int fs, double freq, int amplitude) {
  std::vector<int> wave(fs / 4, 0);
  const std::vector<int> tone = sineWave(fs, freq, fs, amplitude);
  wave.insert(wave.end(), tone.begin(), tone.end());
  wave.insert(wave.end(), fs / 4, 0);
  return samples16(wave);
}

struct tenths {
  int* values = nullptr;
  int count = -1;
  ~tenths() { free(values); }
};

}  // namespace

TEST(Pitch2tenths, ClipsToTheRangeAndKeepsTheVoicedSpanInWholeSemitones) {
  tenths t;
  const std::vector<double> pitch = {0, 33.9, 34.0, 0, 55.7, 80.0, 80.1, 0};
  ASSERT_TRUE(audioClass().pitch2tenths(pitch, t.values, t.count));
  ASSERT_EQ(t.count, 4);
  EXPECT_THAT(std::vector<int>(t.values, t.values + t.count), testing::ElementsAre(340, 0, 550, 800));
}

TEST(Pitch2tenths, NothingVoicedGivesAnEmptyContour) {
  tenths t;
  ASSERT_TRUE(audioClass().pitch2tenths({0, 20, 95, 0}, t.values, t.count));
  EXPECT_EQ(t.count, 0);
}

TEST(Wave2pitchTenths, ToneAt8kHzAnd16kHzGivesItsWholeSemitone) {
  struct Case {
    int fs;
    const char* printed;
  };
  const Case cases[] = {
      {8000, "nbits=16 ===> Convert from nbits=16 to 8!\n"},
      {16000, "fs=16000 ===> Resample to have fs=8000\nnbits=16 ===> Convert from nbits=16 to 8!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fs);
    tenths t;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(audioClass().wave2pitchTenths(toneInSilence(c.fs, 200, 12000), t.values, t.count, c.fs, 16));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, std::string(c.printed).size()), c.printed);
    // 200 Hz is 55.35 semitones; one second at 256-sample frames is about 31 frames.
    ASSERT_GT(t.count, 20);
    ASSERT_LT(t.count, 45);
    int at550 = 0;
    for (int i = 0; i < t.count; ++i) at550 += t.values[i] == 550;
    EXPECT_GT(at550, 20);
    EXPECT_EQ(t.values[0], 550);
    EXPECT_EQ(t.values[t.count - 1], 550);
  }
}

TEST(Wave2pitchTenths, SilenceGivesAnEmptyContour) {
  tenths t;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(audioClass().wave2pitchTenths(std::vector<int16_t>(8000, 0), t.values, t.count, 8000, 16));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(t.count, 0);
}

TEST(IsTooQuiet, ComparesTheLoudestFrameWithTheLevel) {
  audioClass audio;
  // Square wave of +-a: each 256-sample frame has volume 256 a (8 bits after / 256).
  std::vector<int16_t> wave(8000);
  for (size_t i = 0; i < wave.size(); ++i) wave[i] = static_cast<int16_t>(i % 2 ? -2560 : 2560);
  // 8000 Hz, 16 bits: samples become +-10, loudest frame 2560, limit = level.
  EXPECT_TRUE(audio.isTooQuiet(wave, 8000, 16, 2561));
  EXPECT_FALSE(audio.isTooQuiet(wave, 8000, 16, 2560));
  // 16000 Hz, 16 bits: frames of 640 samples stay 16-bit: volume 640 x 2560, limit
  // level x 640 / 256 x 256.
  testing::internal::CaptureStdout();
  EXPECT_TRUE(audio.isTooQuiet(wave, 16000, 16, 2561));
  EXPECT_FALSE(audio.isTooQuiet(wave, 16000, 16, 2560));
  testing::internal::GetCapturedStdout();
}
