#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "audioClass.h"
#include "fatalCatch.h"
#include "testFiles.h"

using namespace tulim;
using tulim::test::readFile;
using tulim::test::scratchDir;
using tulim::test::expectFatal;

namespace {

ptParam defaults(int fs, int nbits, int pfType, const char* file = nullptr) {
  audioClass audio;
  ptParam p;
  testing::internal::CaptureStdout();
  audio.ptParamSet(p, fs, nbits, pfType, file);
  testing::internal::GetCapturedStdout();
  return p;
}

}  // namespace

TEST(PtParamSet, DefaultsAndTunedRowsByRateAndMethod) {
  struct Case {
    int fs, pfType;
    int frameSize, overlap, pfLen;
    float pfWeight, indexDiffWeight;
    int dpMethod, dpPosDiffOrder, dpUseLocalOptim, weightPfByClarity, frameRate;
  };
  const Case cases[] = {
      {16000, 1, 640, 480, 320, 1, 6, 1, 2, 0, 1, 100},
      {16000, 0, 640, 480, 320, 12800, 700, 2, 2, 1, 0, 100},
      {8000, 1, 256, 0, 128, 4, 388, 2, 1, 1, 1, 31},
      {8000, 0, 256, 0, 128, 1, 1, 1, 1, 1, 0, 31},
      {11025, 1, 354, 0, 177, 1, 1, 1, 1, 1, 1, 31},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "fs=" << c.fs << " pfType=" << c.pfType);
    const ptParam p = defaults(c.fs, 16, c.pfType);
    EXPECT_EQ(p.fs, c.fs);
    EXPECT_EQ(p.nbits, 16);
    EXPECT_EQ(p.frameSize, c.frameSize);
    EXPECT_EQ(p.overlap, c.overlap);
    EXPECT_EQ(p.pfLen, c.pfLen);
    EXPECT_EQ(p.pfWeight, c.pfWeight);
    EXPECT_EQ(p.indexDiffWeight, c.indexDiffWeight);
    EXPECT_EQ(p.dpMethod, c.dpMethod);
    EXPECT_EQ(p.dpPosDiffOrder, c.dpPosDiffOrder);
    EXPECT_EQ(p.dpUseLocalOptim, c.dpUseLocalOptim);
    EXPECT_EQ(p.weightPfByClarity, c.weightPfByClarity);
    EXPECT_EQ(p.frameRate, c.frameRate);
    EXPECT_EQ(p.minPitch, 30);
    EXPECT_EQ(p.maxPitch, 84);
    EXPECT_EQ(p.pitchRangeMax, 24);
    EXPECT_EQ(p.clarityRatio, 0.6f);
    EXPECT_EQ(p.medianFilterOrder, 5);
    EXPECT_EQ(p.useVolThreshold, 1);
    EXPECT_EQ(p.useClarityThreshold, 1);
    EXPECT_EQ(p.cutLeadingTrailingZero, 0);
    EXPECT_EQ(p.maxAmdfLocalMinCount, c.fs * 20.0f / 8000);
    EXPECT_EQ(p.minAmdfRange, 256 * 5.0f);
  }
}

TEST(PtParamSet, WarnsAboutFramesShorterThan32Ms) {
  audioClass audio;
  ptParam p;
  testing::internal::CaptureStdout();
  audio.ptParamSet(p, 16000, 16, 1, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  // 12000 Hz: 384 samples are exactly 32 ms, not too short.
  testing::internal::CaptureStdout();
  audio.ptParamSet(p, 12000, 16, 1, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  scratchDir dir;
  const std::string file = dir.write("short.txt", "frameSize=256\noverlap=0\n");
  testing::internal::CaptureStdout();
  audio.ptParamSet(p, 16000, 16, 1, file.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: frameSize too small! (frameSize=256, frameDuration=16 ms < minFrameDuration=32 ms)\n");
  EXPECT_EQ(p.frameRate, 62);
}

TEST(PtParamSet, RejectsUnknownMethodAndAFrameNoLongerThanItsOverlap) {
  audioClass audio;
  ptParam p;
  EXPECT_THAT(expectFatal([&] { audio.ptParamSet(p, 16000, 16, 2, nullptr); }),
              testing::MatchesRegex("Unknown pfType=2 \\(line [0-9]+ in audio\\)!\n"));
  scratchDir dir;
  const std::string file = dir.write("bad.txt", "overlap=640\n");
  EXPECT_THAT(expectFatal([&] { audio.ptParamSet(p, 16000, 16, 1, file.c_str()); }),
              testing::MatchesRegex(
                  "ptParam.frameSize=640 must be larger than ptParam.overlap=640 \\(line [0-9]+ of pitchParam\\)"));
}

TEST(PtParamSet, AcceptsFramesWithGapsBetweenThem) {
  // A negative overlap leaves samples between frames; the frames still step forward.
  scratchDir dir;
  const std::string file = dir.write("gaps.txt", "overlap=-160\n");
  audioClass audio;
  ptParam p;
  audio.ptParamSet(p, 16000, 16, 1, file.c_str());
  EXPECT_EQ(p.overlap, -160);
  EXPECT_EQ(p.frameRate, 20);
}

TEST(PtParamSet, IgnoresAFileThatCannotBeOpened) {
  const ptParam p = defaults(16000, 16, 1, "/nonexistent/pt.txt");
  EXPECT_EQ(p.frameSize, 640);
  EXPECT_EQ(p.indexDiffWeight, 6);
}

TEST(PtParamRead, ReadsAllTwentyTwoKeysInAnyOrderLaterLinesWinning) {
  scratchDir dir;
  const std::string file = dir.write("pt.txt",
                                     "% pitch parameters\n"
                                     "cutLeadingTrailingZero = 1\n"
                                     "medianFilterOrder=7\n"
                                     "clarityRatio=0.25\n"
                                     "useClarityThreshold=0\n"
                                     "useVolThreshold=0\n"
                                     "indexDiffWeight=3.5\n"
                                     "pfWeight=2.5\n"
                                     "dpUseLocalOptim=1.9\n"
                                     "dpPosDiffOrder=1\n"
                                     "dpMethod=2\n"
                                     "maxMedianPitchDiff=11.5\n"
                                     "pitchDiffMax=4.5\n"
                                     "pitchRangeMax=12\n"
                                     "maxPitch=80\n"
                                     "minPitch=40 % low end\n"
                                     "ppcNum=9\n"
                                     "pfLen=100\n"
                                     "overlap=100\n"
                                     "frameSize=300\n"
                                     "pfType=0\n"
                                     "nbits=8\n"
                                     "fs=8000\n"
                                     "fs=12000\n");
  audioClass audio;
  ptParam p = defaults(16000, 16, 1);
  audio.ptParamRead(file.c_str(), p);
  EXPECT_EQ(p.fs, 12000);
  EXPECT_EQ(p.nbits, 8);
  EXPECT_EQ(p.pfType, 0);
  EXPECT_EQ(p.frameSize, 300);
  EXPECT_EQ(p.overlap, 100);
  EXPECT_EQ(p.pfLen, 100);
  EXPECT_EQ(p.ppcNum, 9);
  EXPECT_EQ(p.minPitch, 40);
  EXPECT_EQ(p.maxPitch, 80);
  EXPECT_EQ(p.pitchRangeMax, 12);
  EXPECT_EQ(p.pitchDiffMax, 4.5f);
  EXPECT_EQ(p.maxMedianPitchDiff, 11.5f);
  EXPECT_EQ(p.dpMethod, 2);
  EXPECT_EQ(p.dpPosDiffOrder, 1);
  EXPECT_EQ(p.dpUseLocalOptim, 1);
  EXPECT_EQ(p.pfWeight, 2.5f);
  EXPECT_EQ(p.indexDiffWeight, 3.5f);
  EXPECT_EQ(p.useVolThreshold, 0);
  EXPECT_EQ(p.useClarityThreshold, 0);
  EXPECT_EQ(p.clarityRatio, 0.25f);
  EXPECT_EQ(p.medianFilterOrder, 7);
  EXPECT_EQ(p.cutLeadingTrailingZero, 1);
}

TEST(PtParamRead, RejectsAnUnknownKeyIncludingTheCarriedOnlyFields) {
  scratchDir dir;
  audioClass audio;
  for (const char* key : {"frameRate", "halfOfFs", "minAmdfRange", "FS"}) {
    const std::string file = dir.write("pt.txt", std::string("fs=8000\n") + key + "=1\n");
    ptParam p = defaults(16000, 16, 1);
    EXPECT_THAT(
        expectFatal([&] { audio.ptParamRead(file.c_str(), p); }),
        testing::MatchesRegex("Error in parsing " + file + ", unknown key = " + key + " \\(line [0-9]+ in audio\\)"));
  }
}

TEST(PtParamRead, RefusesAValueThatIsNotWhollyAFiniteNumber) {
  struct Case {
    const char* line;
    const char* allowed;
  } cases[] = {
      {"fs=12abc", "a whole number"},          {"fs=abc", "a whole number"},
      {"frameSize=2.5", "a whole number"},     {"minPitch=nan", "a finite number"},
      {"maxPitch=1e999", "a finite number"},   {"pfWeight=2.5x", "a finite number"},
      {"dpUseLocalOptim=inf", "a finite number"}, {"ppcNum=", "a whole number"},
  };
  scratchDir dir;
  audioClass audio;
  for (const Case& c : cases) {
    const std::string text(c.line);
    const std::string file = dir.write("pt.txt", "fs=8000\n" + text + "\n");
    ptParam p = defaults(16000, 16, 1);
    EXPECT_THAT(expectFatal([&] { audio.ptParamRead(file.c_str(), p); }),
                testing::StartsWith("Error: " + text.substr(0, text.find('=')) + " = " + text.substr(text.find('=') + 1) +
                                    " in " + file + " is not allowed; it must be " + c.allowed))
        << c.line;
  }
}

TEST(PtParamPrint, WritesTheReadableKeysInOrderAndReadsBack) {
  scratchDir dir;
  audioClass audio;
  ptParam p = defaults(16000, 16, 1);
  p.minPitch = 41.5f;
  p.cutLeadingTrailingZero = 1;
  const std::string file = dir.file("printed.txt");
  audio.ptParamPrint(p, file.c_str());
  EXPECT_EQ(readFile(file),
            "fs=16000\n"
            "nbits=16\n"
            "frameSize=640\n"
            "overlap=480\n"
            "minPitch=41.500000\n"
            "maxPitch=84.000000\n"
            "pitchRangeMax=24.000000\n"
            "ppcNum=10\n"
            "pfWeight=1.000000\n"
            "indexDiffWeight=6.000000\n"
            "dpMethod=1\n"
            "dpPosDiffOrder=2\n"
            "dpUseLocalOptim=0\n"
            "maxMedianPitchDiff=20.000000\n"
            "useVolThreshold=1\n"
            "cutLeadingTrailingZero=1\n");

  // Read back over the defaults of another rate and method: every printed field returns.
  ptParam q = defaults(8000, 8, 0, file.c_str());
  EXPECT_EQ(q.fs, 16000);
  EXPECT_EQ(q.nbits, 16);
  EXPECT_EQ(q.frameSize, 640);
  EXPECT_EQ(q.overlap, 480);
  EXPECT_EQ(q.minPitch, 41.5f);
  EXPECT_EQ(q.pfWeight, 1);
  EXPECT_EQ(q.indexDiffWeight, 6);
  EXPECT_EQ(q.dpMethod, 1);
  EXPECT_EQ(q.dpPosDiffOrder, 2);
  EXPECT_EQ(q.dpUseLocalOptim, 0);
  EXPECT_EQ(q.cutLeadingTrailingZero, 1);
  EXPECT_EQ(q.frameRate, 100);
}

TEST(PtParamDump, PrintsOneLinePerFieldWithItsPlace) {
  audioClass audio;
  const ptParam p = defaults(8000, 8, 1);
  testing::internal::CaptureStdout();
  audio.ptParamDump(p);
  const std::string out = testing::internal::GetCapturedStdout();
  const char* expected[] = {"fs=8000",
                            "nbits=8",
                            "pfType=1",
                            "frameSize=256",
                            "overlap=0",
                            "pfLen=128",
                            "ppcNum=10",
                            "pitchRangeMax=24",
                            "pitchDiffMax=5",
                            "minPitch=30",
                            "maxPitch=84",
                            "maxMedianPitchDiff=20",
                            "dpMethod=2",
                            "dpPosDiffOrder=1",
                            "dpUseLocalOptim=1",
                            "pfWeight=4",
                            "indexDiffWeight=388",
                            "useVolThreshold=1",
                            "useClarityThreshold=1",
                            "clarityRatio=0.6",
                            "medianFilterOrder=5",
                            "cutLeadingTrailingZero=0"};
  std::string pattern;
  for (const char* field : expected) pattern += std::string("ptParam->") + field + " \\(line=[0-9]+, file=audio\\)\n";
  EXPECT_THAT(out, testing::MatchesRegex(pattern));
}

TEST(PtParamSetByFrameRate, Uses32MsFramesAndTheHopOfTheFrameRate) {
  audioClass audio;
  ptParam p;
  testing::internal::CaptureStdout();
  const int hop = audio.ptParamSetByFrameRate(p, 100, 16000, 16, 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(hop, 160);
  EXPECT_EQ(p.frameSize, 512);
  EXPECT_EQ(p.overlap, 352);
  EXPECT_EQ(p.indexDiffWeight, 6);
}

TEST(PpcFramePrint, PrintsEveryCandidateTruncated) {
  ppcFrame frames[2];
  frames[0].ppcLen = 2;
  frames[0].ppc = {{10, 3.9, -1, -2.7}, {20, 1e30, -1, 0.5}};
  frames[1].ppcLen = 0;
  audioClass audio;
  testing::internal::CaptureStdout();
  audio.ppcFramePrint(frames, 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "A[0].ppcLen=2\n"
            "\tppc[0]: pfValue=3, totalDist=-2\n"
            "\tppc[1]: pfValue=2147483647, totalDist=0\n"
            "A[1].ppcLen=0\n");
}

TEST(PtParamPrint, ReportsAFullDiskInsteadOfACutFile) {
  audioClass audio;
  ptParam p;
  audio.ptParamSet(p, 16000, 16, 0, nullptr);
  EXPECT_THAT(expectFatal([&] { audio.ptParamPrint(p, "/dev/full"); }), testing::MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}
