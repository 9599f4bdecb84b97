#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audioClass.h"
#include "fatalCatch.h"
#include "frameWaves.h"
#include "signalTemplate.h"
#include "testFiles.h"

using namespace tulim;
using tulim::test::piecewiseWave;
using tulim::test::scratchDir;

namespace {

std::string printed(const volCheckPrm& prm) {
  testing::internal::CaptureStdout();
  audioClass().volCheckPrmPrint(prm);
  return testing::internal::GetCapturedStdout();
}

// 16000 samples (99 volume frames): a quiet first half and a loud second half of square
// waves, whose full frames have volume 320 * amplitude.
std::vector<int> halves(int quiet, int loud) { return piecewiseWave({{8000, double(quiet)}, {8000, double(loud)}}); }

// The check from the wave alone; the form given the frame volumes must find the same (a
// wave shorter than a frame, which only prints its warning, is checked once).
int check(const std::vector<int>& wave, const char* fileName = nullptr) {
  const int n = static_cast<int>(wave.size());
  const int code = audioClass().volumeCheck(wave.data(), n, fileName);
  std::vector<int> volume(static_cast<size_t>(std::max(audioClass().getFrameNum(n, 320, 160), 0)));
  if (volume.empty()) return code;
  frame2volume(wave.data(), n, 320, 160, volume.data(), 1);
  EXPECT_EQ(audioClass().volumeCheck(wave.data(), n, volume, fileName), code);
  return code;
}

}  // namespace

TEST(VolCheckPrm, DefaultsWithoutAFileName) {
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    volCheckPrm prm = {1, 2, 3, 4};
    audioClass().volCheckPrmRead(name, prm);
    EXPECT_EQ(prm.maxVolTh, 140.0f);
    EXPECT_EQ(prm.minVolTh, 30.0f);
    EXPECT_EQ(prm.satAmpRatio, 0.95f);
    EXPECT_EQ(prm.satSampleCountRatioTh, 0.005f);
  }
}

TEST(VolCheckPrm, PrintsOneLinePerFieldWithItsPlace) {
  volCheckPrm prm;
  audioClass().volCheckPrmRead(nullptr, prm);
  EXPECT_THAT(printed(prm), testing::MatchesRegex("volCheckPrm->maxVolTh=140 \\(line=[0-9]+, file=audio\\)\n"
                                                  "volCheckPrm->minVolTh=30 \\(line=[0-9]+, file=audio\\)\n"
                                                  "volCheckPrm->satAmpRatio=0.95 \\(line=[0-9]+, file=audio\\)\n"
                                                  "volCheckPrm->satSampleCountRatioTh=0.005 "
                                                  "\\(line=[0-9]+, file=audio\\)\n"));
}

TEST(VolCheckPrm, FileSetsTheKeysItNamesAndLeavesTheOthers) {
  scratchDir dir;
  std::string name = dir.write("volCheck.prm",
                               "% thresholds for a quiet booth\n"
                               "minVolTh = 12.5   % per sample\r\n"
                               "\n"
                               "satAmpRatio=0.9\n");
  volCheckPrm prm;
  audioClass().volCheckPrmRead(name.c_str(), prm);
  EXPECT_EQ(prm.maxVolTh, 140.0f);
  EXPECT_EQ(prm.minVolTh, 12.5f);
  EXPECT_EQ(prm.satAmpRatio, 0.9f);
  EXPECT_EQ(prm.satSampleCountRatioTh, 0.005f);
}

TEST(VolCheckPrm, RejectsAnUnknownKeyAndAMissingFile) {
  scratchDir dir;
  std::string name = dir.write("volCheck.prm", "maxVolTh=100\nmaxvolth=90\n");
  volCheckPrm prm;
  try {
    audioClass().volCheckPrmRead(name.c_str(), prm);
    ADD_FAILURE() << "unknown key accepted";
  } catch (char* message) {
    EXPECT_THAT(message, testing::MatchesRegex("Error in parsing " + name +
                                               ", unknown key = maxvolth \\(line [0-9]+ in audio\\)"));
  }
  EXPECT_THROW(audioClass().volCheckPrmRead(dir.file("none.prm").c_str(), prm), char*);
}

// "maxVolTh=abc" read as 0 would turn the too-loud check into one every wave fails, and
// "minVolTh=abc" the too-quiet check off.
TEST(VolCheckPrm, RefusesAValueThatIsNotWhollyAFiniteNumber) {
  scratchDir dir;
  for (const char* line : {"maxVolTh=abc", "minVolTh=12abc", "satAmpRatio=nan", "satSampleCountRatioTh=1e999",
                           "minVolTh=", "maxVolTh=inf"}) {
    const std::string text(line);
    const std::string key = text.substr(0, text.find('='));
    const std::string value = text.substr(text.find('=') + 1);
    const std::string name = dir.write("volCheck.prm", "% thresholds\n" + text + "\n");
    volCheckPrm prm;
    EXPECT_THAT(tulim::test::expectFatal([&] { audioClass().volCheckPrmRead(name.c_str(), prm); }),
                testing::StartsWith("Error: " + key + " = " + value + " in " + name +
                                    " is not allowed; it must be a finite number"))
        << line;
  }
  const std::string marked = dir.write("marked.prm", "\xEF\xBB\xBFmaxVolTh=100\n");
  volCheckPrm prm;
  audioClass().volCheckPrmRead(marked.c_str(), prm);
  EXPECT_EQ(prm.maxVolTh, 100.0f) << "a byte-order mark before the first key";
}

TEST(VolumeCheck, JudgesTheLoudestAndQuietestFramesAtTheirThresholds) {
  struct Case {
    const char* what;
    int quiet, loud;
    int code;
  };
  for (const Case& c : {Case{"loudest exactly 320 * 140", 0, 140, 0}, Case{"loudest one step below", 0, 139, 1},
                        Case{"quietest exactly 320 * 30", 30, 1000, 0}, Case{"quietest one step above", 31, 1000, 2},
                        Case{"too quiet and too loud: the later finding", 35, 35, 2}}) {
    EXPECT_EQ(check(halves(c.quiet, c.loud)), c.code) << c.what;
  }
}

TEST(VolumeCheck, CountsSaturatedSamplesPerFrame) {
  // With 99 frames, 99 saturated samples make a figure of 1 (> 0.005); 98 make 0.
  struct Case {
    const char* what;
    int count;
    int value;
    int code;
  };
  for (const Case& c : {Case{"99 at 31130", 99, 31130, 3}, Case{"98 at 31130", 98, 31130, 0},
                        Case{"99 at 31129", 99, 31129, 0}, Case{"99 at -31130", 99, -31130, 3},
                        Case{"99 at -31129", 99, -31129, 0}}) {
    std::vector<int> wave = halves(0, 1000);
    for (int i = 0; i < c.count; ++i) wave[8000 + 2 * i] = c.value;
    EXPECT_EQ(check(wave), c.code) << c.what;
  }
  // A clipped constant is also too quiet, a clipped square also too loud: saturation wins.
  EXPECT_EQ(check(std::vector<int>(16000, 31130)), 3);
  EXPECT_EQ(check(piecewiseWave({{16000, 31130}})), 3);
}

TEST(VolumeCheck, ReadsItsThresholdsFromTheNamedFile) {
  scratchDir dir;
  std::string name = dir.write("volCheck.prm", "maxVolTh=100\n");
  EXPECT_EQ(check(halves(0, 139)), 1);
  EXPECT_EQ(check(halves(0, 139), name.c_str()), 0);
  EXPECT_EQ(check(halves(0, 139), ""), 1);
}

TEST(VolumeCheck, ReportsAWaveShorterThanOneFrameInsteadOfMeasuringIt) {
  for (int length : {0, 100, 319}) {
    std::vector<int> wave = piecewiseWave({{length, 31130}});
    testing::internal::CaptureStdout();
    EXPECT_EQ(check(wave), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: volume check skipped, the wave has " + std::to_string(length) +
                  " samples, less than one frame of 320\n");
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(check(piecewiseWave({{320, 31130}})), 3);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(VolumeCheck, RefusesFrameVolumesOfAnotherFraming) {
  const std::vector<int> wave = halves(0, 1000);
  const std::vector<int> volume(98, 1000);  // the wave has 99 frames
  EXPECT_THAT(tulim::test::fatalMessage([&] {
                audioClass().volumeCheck(wave.data(), static_cast<int>(wave.size()), volume, nullptr);
              }),
              testing::MatchesRegex("Error: 98 frame volumes for a wave of 99 frames \\(line [0-9]+ in audio\\)"));
}
