#include "flvReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "fatalCatch.h"
#include "flvFixture.h"
#include "testFiles.h"

using namespace tulim;
using namespace tulim::test;

namespace {

constexpr uint8_t NELLY_8K_MONO_16 = 0x52;  // format 5, 16-bit

struct flvRead {
  int16_t* samples = nullptr;
  int fs = -9, nbits = -9, count = -9, channels = -9;
  ~flvRead() { free(samples); }
};

void readFlv(const std::string& path, flvRead& r) {
  r.samples = readFlvShort(path.c_str(), &r.fs, &r.nbits, &r.count, &r.channels);
}

std::string someBlocks(int blockCount) {
  std::string blocks = nellymoserEncode(sineSamples(256 * blockCount, 440, 8000, 0.3), 8000);
  return blocks.substr(0, static_cast<size_t>(64 * blockCount));
}

}  // namespace

TEST(ReadFlvShort, DecodesTonesToMatchingSignal) {
  const int fs = 8000;
  std::vector<float> tones = sineSamples(256 * 40, 440, fs, 0.3);
  std::vector<float> second = sineSamples(256 * 40, 1230, fs, 0.2);
  for (size_t i = 0; i < tones.size(); ++i) tones[i] += second[i];
  std::string blocks = nellymoserEncode(tones, fs);
  ASSERT_EQ(blocks.size() % 64, 0u);
  scratchDir dir;
  std::string path = dir.write("a.flv", flvBuilder().audio(NELLY_8K_MONO_16, blocks).bytes());

  flvRead r;
  readFlv(path, r);
  ASSERT_NE(r.samples, nullptr);
  EXPECT_EQ(r.fs, 8000);
  EXPECT_EQ(r.nbits, 16);
  EXPECT_EQ(r.channels, 1);
  EXPECT_EQ(r.count, static_cast<int>(blocks.size() / 64 * 256));

  // The codec delays the signal: find the delay and the gain that fit best, then compare
  // in the steady middle part.
  double bestSnr = -1e9, bestGain = 0;
  for (int lag = 0; lag <= 512; ++lag) {
    double xy = 0, xx = 0;
    for (int i = 1024; i < 256 * 36; ++i) {
      double x = tones[static_cast<size_t>(i)] * 32768.0;
      xy += x * r.samples[i + lag];
      xx += x * x;
    }
    double gain = xy / xx, noise = 0;
    for (int i = 1024; i < 256 * 36; ++i) {
      double e = r.samples[i + lag] - gain * tones[static_cast<size_t>(i)] * 32768.0;
      noise += e * e;
    }
    double snr = 10 * std::log10(gain * gain * xx / noise);
    if (snr > bestSnr) {
      bestSnr = snr;
      bestGain = gain;
    }
  }
  // A decoder state reset per block, or samples taken from the wrong place, falls far
  // below this.
  EXPECT_GT(bestSnr, 12.0) << "gain " << bestGain;
  // Full scale 1.0 of the encoder's input comes back as 32768.
  EXPECT_GT(bestGain, 0.8);
  EXPECT_LT(bestGain, 1.2);
}

TEST(ReadFlvShort, ReportsRateChannelsAndBitsOfTheFlags) {
  struct Case {
    uint8_t flags;
    int fs, channels, nbits;
  } cases[] = {
      {0x52, 8000, 1, 16}, {0x5f, 8000, 1, 16},  // format 5 ignores rate and channel bits
      {0x62, 5500, 1, 16}, {0x66, 11025, 1, 16}, {0x6a, 22050, 1, 16},
      {0x6f, 44100, 2, 16}, {0x60, 5500, 1, 8},
  };
  scratchDir dir;
  const std::string blocks = someBlocks(2);
  for (const Case& c : cases) {
    flvRead r;
    readFlv(dir.write("a.flv", flvBuilder().audio(c.flags, blocks).bytes()), r);
    EXPECT_EQ(r.fs, c.fs) << int(c.flags);
    EXPECT_EQ(r.channels, c.channels) << int(c.flags);
    EXPECT_EQ(r.nbits, c.nbits) << int(c.flags);
    EXPECT_EQ(r.count, 512) << int(c.flags);
  }
}

TEST(ReadFlvShort, SkipsOtherTagsAndIgnoresDataOffset) {
  scratchDir dir;
  const std::string blocks = someBlocks(3);
  std::string bytes = flvBuilder(12)
                          .tag(18, std::string(37, 'm'))
                          .audio(NELLY_8K_MONO_16, blocks.substr(0, 128))
                          .tag(9, std::string(20, 'v'))
                          .tag(8, "")  // an empty audio tag carries no flags
                          .audio(NELLY_8K_MONO_16, blocks.substr(128, 64))
                          .bytes();
  flvRead r;
  readFlv(dir.write("a.flv", bytes), r);
  EXPECT_EQ(r.count, 768);
  EXPECT_NE(r.samples, nullptr);
}

TEST(ReadFlvShort, GarbageBlocksStillGiveTheirSamples) {
  scratchDir dir;
  std::string garbage(128, '\xff');
  flvRead r;
  readFlv(dir.write("a.flv", flvBuilder().audio(NELLY_8K_MONO_16, garbage).bytes()), r);
  EXPECT_EQ(r.count, 512);
}

TEST(ReadFlvShort, FilesWithoutAudioReturnNull) {
  scratchDir dir;
  {
    flvRead r;
    testing::internal::CaptureStdout();
    readFlv(dir.write("empty.flv", ""), r);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: flvFileSize=0! (line 310 of flvimpl)\n");
    EXPECT_EQ(r.samples, nullptr);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.fs, 0);
    EXPECT_EQ(r.nbits, 0);
    EXPECT_EQ(r.channels, 1);
  }
  {
    flvRead r;
    testing::internal::CaptureStderr();
    readFlv(dir.write("x.flv", "RIFF0000WAVE"), r);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unknown file format!\n");
    EXPECT_EQ(r.samples, nullptr);
  }
  {
    flvRead r;
    readFlv(dir.write("video.flv", flvBuilder().tag(9, "vvvv").bytes()), r);
    EXPECT_EQ(r.samples, nullptr);
    EXPECT_EQ(r.count, 0);
  }
  {
    testing::internal::CaptureStderr();
    EXPECT_EQ(readFlvShort(dir.file("missing.flv").c_str(), nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(readFlvShort(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(readFlvShort(dir.path().c_str(), nullptr, nullptr, nullptr, nullptr), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, testing::HasSubstr("flv_fopen: "));
    EXPECT_THAT(err, testing::HasSubstr("flv_flvFile is NULL: "));
  }
}

TEST(ReadFlvShort, CorruptFilesAreFatalErrorsNamingTheFile) {
  const std::string blocks = someBlocks(2);
  const std::string good = flvBuilder().audio(NELLY_8K_MONO_16, blocks).bytes();
  std::string badSize = good;
  badSize[9 + 3] = 1;  // the first previous-tag size must be 0
  std::string padding = good;
  padding[13 + 9] = 1;  // stream id bytes 2 and 3 must be 0
  std::string partial = flvBuilder().audio(NELLY_8K_MONO_16, blocks.substr(0, 100)).bytes();
  struct Case {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {badSize, "Corrupt file \\(tag size check failed\\)"},
      {padding, "Corrupt file \\(tag padding ignored\\)"},
      {flvBuilder().audio(NELLY_8K_MONO_16, blocks).audio(0x62, blocks).bytes(),
       "Corrupt file \\(changed audio format midstream\\)"},
      {flvBuilder().audio(0x22, blocks).bytes(), "stream is not Nellymoser \\(audio format 2\\)"},
      {good.substr(0, good.size() - 10), "Corrupt file \\(truncated tag body\\)"},
      {good.substr(0, 9 + 4 + 5), "Corrupt file \\(truncated tag header\\)"},
      {good.substr(0, 9 + 2), "Corrupt file \\(truncated tag size\\)"},
      {partial, "Corrupt file \\(partial Nellymoser block\\)"},
      {good.substr(0, 6), "Corrupt file \\(truncated file header\\)"},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    std::string path = dir.write("bad.flv", c.bytes);
    // The process goes on: the error is raised, and the next file is read as usual.
    EXPECT_THAT(expectFatal([&] { free(readFlvShort(path.c_str(), nullptr, nullptr, nullptr, nullptr)); }),
                testing::MatchesRegex(std::string(c.reason) + " in " + path + " \\(line [0-9]+ of flvReader\\)"));
  }
  flvRead r;
  readFlv(dir.write("good.flv", good), r);
  EXPECT_EQ(r.count, 2 * 256);
}

TEST(FlvPrinters, UnknownTypesAndFormatsAreFatalErrors) {
  const std::string here = " \\(line [0-9]+ of flvReader\\)";
  EXPECT_THAT(expectFatal([] { flvTagPrint(flvTag{7, 0, 0, 0}); }),
              testing::MatchesRegex("Corrupt file \\(bad tag type\\)" + here));
  EXPECT_THAT(expectFatal([] { flvAudioFormatPrint(0x92); }),
              testing::MatchesRegex("Corrupt file \\(unknown audio format\\)" + here));
  EXPECT_THAT(expectFatal([] { flvVideoFormatPrint(0x17); }),
              testing::MatchesRegex("Corrupt file \\(unknown video codec\\)" + here));
  EXPECT_THAT(expectFatal([] { flvAudioFormat(0x12); }),
              testing::MatchesRegex("stream is not Nellymoser \\(audio format 1\\)" + here));
}

TEST(NellymoserClip, ClampsTruncatesAndZeroesNan) {
  float in[256];
  for (int i = 0; i < 256; ++i) in[i] = 0.0f;
  const float values[] = {32767.0f, 1e9f, -32768.0f, -1e9f, 1.9f, -1.9f, std::nanf(""), 32766.5f};
  const int16_t expected[] = {32767, 32767, -32768, -32768, 1, -1, 0, 32766};
  for (int i = 0; i < 8; ++i) in[i] = values[i];
  int16_t out[256];
  nellymoserClip(in, out);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], expected[i]) << values[i];
  EXPECT_EQ(out[255], 0);
}

TEST(FlvPrinters, PrintTagsAndFormats) {
  testing::internal::CaptureStdout();
  flvTagPrint(flvTag{8, 129, 1500, 0});
  flvAudioFormatPrint(0x6e);
  flvVideoFormatPrint(0x12);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "read audio tag, body_len = 129, timestamp = 1.500\n"
            "audio format: mono, 16-bit samples, 44.00kHz, Nellymoser\n"
            "video format: Sorensen H.263 keyframe\n");
}
