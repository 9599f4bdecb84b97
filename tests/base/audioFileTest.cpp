#include "audioFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "fatalCatch.h"
#include "flvFixture.h"
#include "flvReader.h"
#include "testFiles.h"
#include "utility.h"
#include "waveFileFixture.h"

using namespace tulim;
using namespace tulim::test;
using testing::ContainsRegex;
using testing::MatchesRegex;

namespace {

// A sample buffer of the readers, freed with the test.
struct audioRead {
  int* samples = nullptr;
  int fs = -9, nbits = -9, count = -9;
  ~audioRead() { free(samples); }
  std::vector<int> values() const { return std::vector<int>(samples, samples + count); }
};

void readAudio(const std::string& path, audioRead& r) {
  r.samples = readAudioFile(path.c_str(), &r.fs, &r.nbits, &r.count);
}

std::string byteString(const std::vector<int>& values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

std::string nellyBlocks(int blockCount) {
  std::string blocks = nellymoserEncode(sineSamples(256 * blockCount, 440, 8000, 0.3), 8000);
  return blocks.substr(0, static_cast<size_t>(64 * blockCount));
}

}  // namespace

// ---- Choice by extension ----------------------------------------------------------------------

TEST(ReadAudioFile, ChoosesTheReaderByTheLastThreeCharacters) {
  enum kind { WAVE, FLV, RAW, REFUSED };
  struct Case {
    const char* name;
    kind expected;
  } cases[] = {
      {"a.wav", WAVE}, {"a.WAV", WAVE}, {"a.wa1", WAVE}, {"a.WA1", WAVE}, {"a.wa2", WAVE},
      {"a.WA2", WAVE}, {"soundwav", WAVE}, {"a.flv", FLV},   {"a.FLV", FLV},   {"a.raw", RAW},
      {"a.RAW", RAW},  {"a.Wav", REFUSED}, {"a.Flv", REFUSED}, {"a.rAw", REFUSED}, {"a.wa3", REFUSED},
      {"a.pcm", REFUSED}, {"wa", REFUSED},  {"a.wave", REFUSED},
  };
  scratchDir dir;
  const std::string wave = pcmWaveBytes(1, 11025, 16, pcm16Bytes({1, -2, 3}));
  const std::string flv = flvBuilder().audio(0x66, nellyBlocks(2)).bytes();
  const std::string raw = pcm16Bytes({7, -8, 9, -10});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.write(c.name, c.expected == FLV ? flv : c.expected == RAW ? raw : wave);
    audioRead r;
    if (c.expected == REFUSED) {
      EXPECT_EQ(fatalMessage([&] { readAudio(path, r); }),
                "Cannot read audio file \"" + path + "\" based on its extension name...");
      continue;
    }
    readAudio(path, r);
    ASSERT_NE(r.samples, nullptr);
    switch (c.expected) {
      case WAVE:
        EXPECT_EQ(r.fs, 11025);
        EXPECT_EQ(r.values(), (std::vector<int>{1, -2, 3}));
        break;
      case FLV:
        EXPECT_EQ(r.fs, 11025);
        EXPECT_EQ(r.count, 512);
        break;
      default:
        EXPECT_EQ(r.fs, 16000);
        EXPECT_EQ(r.values(), (std::vector<int>{7, -8, 9, -10}));
    }
    EXPECT_EQ(r.nbits, 16);
  }
  EXPECT_EQ(fatalMessage([] { readAudioFile(nullptr, nullptr, nullptr, nullptr); }),
            "Cannot read audio file \"\" based on its extension name...");
}

// ---- Wave files -------------------------------------------------------------------------------

TEST(ReadWaveInt, KeepsTheScaleOfEachWidthAndInterleavesChannels) {
  std::vector<int> bytes8;
  for (int v = 0; v < 256; ++v) bytes8.push_back(v);
  std::vector<int> stereo;
  for (int i = 0; i < 1000; ++i) {
    stereo.push_back(i * 30);
    stereo.push_back(-i * 30 - 1);
  }
  // Mu-law codes 0xff and 0x7f are the two zeros, 0x00 and 0x80 the extremes.
  const std::string muLaw("\xff\x7f\x00\x80\xef", 5);
  struct Case {
    const char* what;
    std::string file;
    int fs, nbits;
    std::vector<int> expected;
  } cases[] = {
      {"8-bit", pcmWaveBytes(1, 8000, 8, byteString(bytes8)), 8000, 8, bytes8},
      {"16-bit", pcmWaveBytes(1, 16000, 16, pcm16Bytes({0, 32767, -32768, -1, 1})), 16000, 16,
       {0, 32767, -32768, -1, 1}},
      {"mu-law",
       waveFileBytes({chunkBytes("fmt ", fmtBody(7, 1, 8000, 8)), chunkBytes("data", muLaw)}),
       8000, 16, {0, 0, -32124, 32124, 132}},
      {"stereo", pcmWaveBytes(2, 44100, 16, pcm16Bytes(stereo)), 44100, 16, stereo},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    audioRead r;
    r.samples = readWaveInt(dir.write("a.wav", c.file).c_str(), &r.fs, &r.nbits, &r.count);
    EXPECT_EQ(r.fs, c.fs);
    EXPECT_EQ(r.nbits, c.nbits);
    EXPECT_EQ(r.values(), c.expected);
  }
}

TEST(ReadWaveInt, RefusesUnreadableFilesAndOtherWidthsOrCodings) {
  scratchDir dir;
  const std::string good = pcmWaveBytes(1, 16000, 16, pcm16Bytes({5, 6, 7, 8}));
  struct Case {
    const char* what;
    std::string file;
    const char* before;  // the message around the file name
    const char* after;
  } cases[] = {
      {"not a wave", "plain text", "Can't open wave file ", " \\(line 24 in audioFile\\)"},
      {"24-bit", pcmWaveBytes(1, 16000, 24, std::string(6, '\1')), "Wave file ",
       " has 24 bits per sample; only 8 and 16 bits can be read \\(line [0-9]+ of audioFile\\)"},
      {"4-bit", pcmWaveBytes(1, 16000, 4, std::string(6, '\1')), "Wave file ",
       " has 4 bits per sample; only 8 and 16 bits can be read \\(line [0-9]+ of audioFile\\)"},
      {"float",
       waveFileBytes({chunkBytes("fmt ", fmtBody(3, 1, 16000, 16)), chunkBytes("data", "abcd")}), "Wave file ",
       " is neither PCM nor mu-law coded \\(line [0-9]+ of audioFile\\)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.write("a.wav", c.file);
    EXPECT_THAT(fatalMessage([&] { audioRead r; readAudio(path, r); }), MatchesRegex(c.before + path + c.after));
  }
  const std::string missing = dir.file("missing.wav");
  EXPECT_EQ(fatalMessage([&] { audioRead r; readAudio(missing, r); }),
            "Can't open wave file " + missing + " (line 24 in audioFile)");
  // Every cut of a good file is refused without a read past what the file holds.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    const std::string path = dir.write("cut.wav", good.substr(0, cut));
    EXPECT_EQ(fatalMessage([&] { audioRead r; readAudio(path, r); }),
              "Can't open wave file " + path + " (line 24 in audioFile)")
        << cut;
  }
}

// ---- Raw files --------------------------------------------------------------------------------

TEST(ReadRawInt, ReadsLittleEndianWordsAndIgnoresAnOddByte) {
  scratchDir dir;
  std::vector<int> words;
  for (int i = 0; i < 16000; ++i) words.push_back((i * 37) % 65536 - 32768);
  audioRead r;
  readAudio(dir.write("a.raw", pcm16Bytes(words) + "\x7f"), r);
  EXPECT_EQ(r.fs, 16000);
  EXPECT_EQ(r.nbits, 16);
  EXPECT_EQ(r.count, 16000);
  EXPECT_EQ(r.values(), words);

  audioRead one;
  one.samples = readRawInt(dir.write("one.raw", "\x01").c_str(), &one.count);
  EXPECT_NE(one.samples, nullptr);
  EXPECT_EQ(one.count, 0);

  const std::string missing = dir.file("missing.raw");
  EXPECT_THAT(fatalMessage([&] { audioRead m; readAudio(missing, m); }),
              MatchesRegex("Cannot open file " + missing + " \\(line [0-9]+ of utility\\)"));
}

// ---- FLV files --------------------------------------------------------------------------------

TEST(ReadFlvInt, WidensTheDecodedSamplesAndReportsSixteenBits) {
  struct Case {
    uint8_t flags;
    int fs;
  } cases[] = {
      {0x52, 8000}, {0x50, 8000},    // format 5, 16 and 8 bits by the flags
      {0x6a, 22050}, {0x64, 11025},  // format 6, 16 and 8 bits by the flags
  };
  scratchDir dir;
  const std::string blocks = nellyBlocks(6);
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.flags));
    const std::string path = dir.write("a.flv", flvBuilder()
                                                    .tag(18, std::string(40, 'm'))
                                                    .audio(c.flags, blocks.substr(0, 256))
                                                    .tag(9, std::string(25, 'v'))
                                                    .audio(c.flags, blocks.substr(256))
                                                    .bytes());
    audioRead r;
    readAudio(path, r);
    EXPECT_EQ(r.fs, c.fs);
    EXPECT_EQ(r.nbits, 16);
    ASSERT_EQ(r.count, 6 * 256);
    int shortCount = 0;
    int16_t* shorts = readFlvShort(path.c_str(), nullptr, nullptr, &shortCount, nullptr);
    ASSERT_EQ(shortCount, r.count);
    EXPECT_EQ(r.values(), std::vector<int>(shorts, shorts + shortCount));
    free(shorts);
  }
}

TEST(ReadFlvInt, FilesWithoutSamplesAreFatal) {
  scratchDir dir;
  const std::string files[] = {"", "RIFF0000WAVE", flvBuilder().tag(9, "vvvv").tag(8, "").bytes()};
  for (const std::string& bytes : files) {
    const std::string path = dir.write("a.flv", bytes);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::string message = fatalMessage([&] { audioRead r; readAudio(path, r); });
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_THAT(message, MatchesRegex("No audio samples in FLV file " + path + " \\(line [0-9]+ of audioFile\\)"));
  }
}

TEST(ReadFlvIntDeathTest, CorruptFilesEndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string good = flvBuilder().audio(0x52, nellyBlocks(2)).bytes();
  struct Case {
    std::string bytes;
    const char* message;
  } cases[] = {
      {good.substr(0, good.size() - 7), "Corrupt file \\(truncated tag body\\)"},
      {flvBuilder().audio(0x22, nellyBlocks(1)).bytes(), "stream is not Nellymoser"},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.write("bad.flv", c.bytes);
    EXPECT_EXIT({ audioRead r; readAudio(path, r); }, testing::ExitedWithCode(255), c.message);
  }
}

// ---- Writing ----------------------------------------------------------------------------------

TEST(WavFileWrite, WritesAMonoPcmFileByteForByte) {
  scratchDir dir;
  const int samples[] = {0, 1, -1, 32767, -32768};
  const std::string path = dir.file("out.wav");
  ASSERT_TRUE(wavFileWrite(samples, 5, 16000, 16, path.c_str()));
  EXPECT_EQ(readFile(path), "RIFF" + le32(48) + "WAVE" + "fmt " + le32(18) + le16(1) + le16(1) + le32(16000) +
                                le32(32000) + le16(2) + le16(16) + le16(0) + "data" + le32(10) +
                                pcm16Bytes({0, 1, -1, 32767, -32768}));

  const int bytes[] = {0, 128, 255};
  ASSERT_TRUE(wavFileWrite(bytes, 3, 8000, 8, path.c_str()));
  EXPECT_EQ(readFile(path), pcmWaveBytes(1, 8000, 8, std::string("\x00\x80\xff", 3)));
}

TEST(WavFileWrite, RoundTripsThroughReadAudioFile) {
  std::vector<int> wide;
  for (int i = 0; i < 4000; ++i) wide.push_back((i * 97) % 65536 - 32768);
  wide.push_back(32767);
  std::vector<int> narrow;
  for (int i = 0; i < 1001; ++i) narrow.push_back(i % 256);
  struct Case {
    int fs, nbits;
    std::vector<int> samples;
    std::vector<int> expected;
  } cases[] = {
      {16000, 16, wide, wide},
      {8000, 8, narrow, narrow},
      // Values beyond 16 bits whose range fits are shifted: by the mean when they lie close
      // around it, else so that the largest becomes 32767.
      {22050, 16, {40000, 0, 50000}, {10000, -30000, 20000}},
      {22050, 16, {0, 0, 0, 60000}, {-27233, -27233, -27233, 32767}},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nbits);
    const std::string path = dir.file("round.wav");
    ASSERT_TRUE(wavFileWrite(c.samples.data(), static_cast<int>(c.samples.size()), c.fs, c.nbits, path.c_str()));
    audioRead r;
    readAudio(path, r);
    EXPECT_EQ(r.fs, c.fs);
    EXPECT_EQ(r.nbits, c.nbits);
    EXPECT_EQ(r.values(), c.expected);
  }
}

TEST(WavFileWrite, RefusesUnusableArgumentsAndUnwritablePaths) {
  scratchDir dir;
  const int samples[] = {1, 2, 3};
  const std::string path = dir.file("out.wav");
  struct Case {
    const char* what;
    const int* samples;
    int count, fs, nbits;
    const char* name;
  } cases[] = {
      {"null samples", nullptr, 3, 16000, 16, path.c_str()},
      {"negative count", samples, -1, 16000, 16, path.c_str()},
      {"24 bits", samples, 3, 16000, 24, path.c_str()},
      {"0 bits", samples, 3, 16000, 0, path.c_str()},
      {"zero rate", samples, 3, 0, 16, path.c_str()},
      {"negative rate", samples, 3, -8000, 16, path.c_str()},
      {"null name", samples, 3, 16000, 16, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(wavFileWrite(c.samples, c.count, c.fs, c.nbits, c.name)) << c.what;
    EXPECT_FALSE(fileExist(path.c_str())) << c.what;
  }
  EXPECT_FALSE(wavFileWrite(samples, 3, 16000, 16, dir.file("no/such/dir.wav").c_str()));
}

// ---- Canonical wave files at fixed offsets ----------------------------------------------------

TEST(ReadWaveShort, ReadsAtTheOffsetsOfEachFormatChunkSize) {
  const std::string words = pcm16Bytes({-32768, -1, 0, 1, 32767, 300});
  struct Case {
    const char* what;
    std::string file;
    int count, fs, nbits, channels;
    std::vector<int16_t> expected;
  } cases[] = {
      {"16-byte format",
       waveFileBytes({chunkBytes("fmt ", fmtBody(1, 2, 11025, 16, false)), chunkBytes("data", words)}),
       6, 11025, 16, 2, {-32768, -1, 0, 1, 32767, 300}},
      {"18-byte format", pcmWaveBytes(1, 16000, 16, words), 6, 16000, 16, 1, {-32768, -1, 0, 1, 32767, 300}},
      {"22-byte format",
       waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 8000, 16, true, 4)), chunkBytes("data", words)}),
       6, 8000, 16, 1, {-32768, -1, 0, 1, 32767, 300}},
      {"8-bit", pcmWaveBytes(1, 8000, 8, std::string("\x00\x7f\x80\xff", 4)), 4, 8000, 8, 1, {-128, -1, 0, 127}},
      {"odd 16-bit data", pcmWaveBytes(1, 8000, 16, pcm16Bytes({5, -5}) + "\x01"), 2, 8000, 16, 1, {5, -5}},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int count = -9, fs = -9, nbits = -9, channels = -9;
    int16_t* samples = readWaveShort(dir.write("a.wav", c.file).c_str(), &count, &fs, &nbits, &channels);
    ASSERT_NE(samples, nullptr);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(fs, c.fs);
    EXPECT_EQ(nbits, c.nbits);
    EXPECT_EQ(channels, c.channels);
    EXPECT_EQ(std::vector<int16_t>(samples, samples + count), c.expected);
    free(samples);
  }
}

TEST(ReadWaveShort, WarnsOfOtherWidthsAndReportsMissingFiles) {
  scratchDir dir;
  int count = -9, fs = -9, nbits = -9, channels = -9;
  testing::internal::CaptureStdout();
  int16_t* samples = readWaveShort(dir.write("a.wav", pcmWaveBytes(1, 8000, 24, std::string(12, '\x55'))).c_str(),
                                   &count, &fs, &nbits, &channels);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "warning: Illegal bitsPerSample=24!\n");
  ASSERT_NE(samples, nullptr);
  EXPECT_EQ(nbits, 24);
  EXPECT_EQ(std::vector<int16_t>(samples, samples + count), std::vector<int16_t>(6, 0));
  free(samples);

  for (const std::string& unopenable : {dir.file("missing.wav"), dir.path()}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(readWaveShort(unopenable.c_str(), &count, &fs, &nbits, &channels), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot open wave file " + unopenable + ".\n");
  }
}

TEST(ReadWaveShort, RefusesFilesShorterThanTheirHeaderAndData) {
  scratchDir dir;
  const std::string good = pcmWaveBytes(1, 16000, 16, pcm16Bytes({1, 2, 3, 4, 5}));
  // A data size that asks for more than the file holds, and an extra-size field so large
  // that the data header would lie beyond the end.
  std::string bigSize = good;
  bigSize.replace(42, 4, le32(1000));
  std::string bigShift = good;
  bigShift.replace(36, 2, le16(60000));
  std::vector<std::string> files = {bigSize, bigShift};
  for (size_t cut = 0; cut < good.size(); ++cut) files.push_back(good.substr(0, cut));
  for (const std::string& bytes : files) {
    const std::string path = dir.write("cut.wav", bytes);
    EXPECT_THAT(fatalMessage([&] { free(readWaveShort(path.c_str(), nullptr, nullptr, nullptr, nullptr)); }),
                ContainsRegex("^Wave file .* \\(line [0-9]+ of audioFile\\)$"))
        << bytes.size();
  }
}
