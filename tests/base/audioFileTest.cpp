#include "audioFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "childProcess.h"
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
                "Cannot read audio file \"" + path + "\" based on its extension name: the names read end in wav, wa1 or wa2 "
                "(RIFF wave), flv (FLV) or raw (16-bit samples at 16000 Hz), in small or capital letters");
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
            "Cannot read audio file \"\" based on its extension name: the names read end in wav, wa1 or wa2 "
                "(RIFF wave), flv (FLV) or raw (16-bit samples at 16000 Hz), in small or capital letters");
}

// ---- Wave files -------------------------------------------------------------------------------

TEST(ReadWaveInt, KeepsTheScaleOfEachWidth) {
  std::vector<int> bytes8;
  for (int v = 0; v < 256; ++v) bytes8.push_back(v);
  // Mu-law codes 0xff and 0x7f are the two zeros, 0x00 and 0x80 the extremes.
  const std::string muLaw("\xff\x7f\x00\x80\xef", 5);
  const std::vector<int> words = {0, 32767, -32768, -1, 1};
  struct Case {
    const char* what;
    std::string file;
    int fs, nbits;
    std::vector<int> expected;
  } cases[] = {
      {"8-bit", pcmWaveBytes(1, 8000, 8, byteString(bytes8)), 8000, 8, bytes8},
      {"16-bit", pcmWaveBytes(1, 16000, 16, pcm16Bytes(words)), 16000, 16, words},
      {"mu-law",
       waveFileBytes({chunkBytes("fmt ", fmtBody(7, 1, 8000, 8)), chunkBytes("data", muLaw)}),
       8000, 16, {0, 0, -32124, 32124, 132}},
      {"extensible 16-bit PCM",
       waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(1, 16000, 16, 1)), chunkBytes("data", pcm16Bytes(words))}),
       16000, 16, words},
      {"extensible 8-bit PCM",
       waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(1, 11025, 8, 1)), chunkBytes("data", byteString(bytes8))}),
       11025, 8, bytes8},
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

TEST(ReadWaveInt, MixesSeveralChannelsDownToTheirRoundedMean) {
  // Channels that differ, so that reading one channel, or both as one, shows.
  const int frames = 1000;
  std::vector<int> stereo16, stereo8, three16;
  std::vector<int> mean16, mean8, mean3;
  auto rounded = [](int sum, int n) { return static_cast<int>(std::lround(static_cast<double>(sum) / n)); };
  for (int i = 0; i < frames; ++i) {
    const int left = (i * 61) % 65536 - 32768, right = 32767 - (i * 37) % 65536;
    stereo16.insert(stereo16.end(), {left, right});
    mean16.push_back(rounded(left + right, 2));
    const int a = i % 256, b = (i * 7 + 3) % 256;
    stereo8.insert(stereo8.end(), {a, b});
    mean8.push_back(rounded(a + b, 2));
    const int x = i * 30 - 15000, y = -i * 20, z = (i % 3) - 1;
    three16.insert(three16.end(), {x, y, z});
    mean3.push_back(rounded(x + y + z, 3));
  }
  struct Case {
    const char* what;
    std::string file;
    int nbits;
    std::vector<int> expected;
  } cases[] = {
      {"16-bit stereo", pcmWaveBytes(2, 44100, 16, pcm16Bytes(stereo16)), 16, mean16},
      // A last frame short of its second channel is dropped.
      {"16-bit stereo, odd sample", pcmWaveBytes(2, 44100, 16, pcm16Bytes(stereo16) + pcm16Bytes({5})), 16, mean16},
      {"8-bit stereo", pcmWaveBytes(2, 44100, 8, byteString(stereo8)), 8, mean8},
      {"three channels", pcmWaveBytes(3, 44100, 16, pcm16Bytes(three16)), 16, mean3},
      {"extensible stereo",
       waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(2, 44100, 16, 1)), chunkBytes("data", pcm16Bytes(stereo16))}),
       16, mean16},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    audioRead r;
    readAudio(dir.write("a.wav", c.file), r);
    EXPECT_EQ(r.fs, 44100);
    EXPECT_EQ(r.nbits, c.nbits);
    EXPECT_EQ(r.count, frames);
    EXPECT_EQ(r.values(), c.expected);
  }
  // Halves round away from zero.
  audioRead halves;
  readAudio(dir.write("h.wav", pcmWaveBytes(2, 8000, 16, pcm16Bytes({1, 2, -1, -2, 0, -1}))), halves);
  EXPECT_EQ(halves.values(), (std::vector<int>{2, -2, -1}));
}

TEST(ReadWaveInt, SaysWhatIsWrongWithAFileThatOpensButCannotBeRead) {
  scratchDir dir;
  const std::string data = pcm16Bytes({5, 6, 7, 8});
  const std::string good = pcmWaveBytes(1, 16000, 16, data);  // 46 bytes of header, 8 of data
  const std::string fmt = chunkBytes("fmt ", fmtBody(1, 1, 16000, 16));
  struct Case {
    const char* what;
    std::string file;
    const char* says;  // what follows "Wave file <name> "
  } cases[] = {
      {"0 bytes", "", "is empty \\(0 bytes\\), not a RIFF WAVE file"},
      {"text", "plain text, no sound\n", "is not a RIFF WAVE file"},
      {"another RIFF form", "RIFF" + le32(4) + "AVI ", "is not a RIFF WAVE file"},
      {"cut in the RIFF header", good.substr(0, 2), "has its header cut at byte 2"},
      {"cut after WAVE", good.substr(0, 12), "has no format chunk"},
      {"cut in the format chunk", good.substr(0, 30), "has its header cut at byte 30"},
      {"cut in the data header", good.substr(0, 40), "has its header cut at byte 40"},
      {"header only", good.substr(0, 46),
       "has a data size of 8 bytes beyond the end of the file \\(0 bytes left\\)"},
      {"cut in the data", good.substr(0, 49),
       "has a data size of 8 bytes beyond the end of the file \\(3 bytes left\\)"},
      {"no data chunk", waveFileBytes({fmt, chunkBytes("LIST", "info")}), "has no data chunk"},
      {"data before format", waveFileBytes({chunkBytes("data", data), fmt}),
       "has no format chunk before its data chunk"},
      {"empty data", waveFileBytes({fmt, chunkBytes("data", "")}), "has an empty data chunk"},
      // Data short of one whole sample would read as an empty wave.
      {"one byte of a 16-bit sample", pcmWaveBytes(1, 16000, 16, "\x01"),
       "holds no samples: its 1 data bytes are fewer than the 2 of one sample \\(1 channel\\(s\\) of 16 bits\\)"},
      {"one channel of a stereo sample", pcmWaveBytes(2, 16000, 16, pcm16Bytes({5})),
       "holds no samples: its 2 data bytes are fewer than the 4 of one sample \\(2 channel\\(s\\) of 16 bits\\)"},
      // The device would take the missing fields from its start-up format, 8 bits at 8000 Hz.
      {"format of its tag only", waveFileBytes({chunkBytes("fmt ", le16(1)), chunkBytes("data", data)}),
       "has a format chunk of 2 bytes, fewer than the 16 of a PCM format"},
      {"format cut before its width",
       waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 16000, 16, false).substr(0, 14)), chunkBytes("data", data)}),
       "has a format chunk of 14 bytes, fewer than the 16 of a PCM format"},
      {"no channels", pcmWaveBytes(0, 16000, 16, data), "has 0 channels"},
      {"24-bit", pcmWaveBytes(1, 16000, 24, std::string(6, '\1')),
       "has 24 bits per sample; only 8 and 16 bits can be read"},
      {"4-bit", pcmWaveBytes(1, 16000, 4, std::string(6, '\1')),
       "has 4 bits per sample; only 8 and 16 bits can be read"},
      {"float", waveFileBytes({chunkBytes("fmt ", fmtBody(3, 1, 16000, 16)), chunkBytes("data", "abcd")}),
       "is neither PCM nor mu-law coded: format tag 3 \\(IEEE float\\)"},
      {"ADPCM", waveFileBytes({chunkBytes("fmt ", fmtBody(2, 1, 16000, 4)), chunkBytes("data", "abcd")}),
       "is neither PCM nor mu-law coded: format tag 2 \\(ADPCM\\)"},
      {"extensible float",
       waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(1, 16000, 32, 3)), chunkBytes("data", "abcd")}),
       "is neither PCM nor mu-law coded: format tag 0xFFFE with sub-format 3 \\(IEEE float\\)"},
      {"extensible mu-law",
       waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(1, 8000, 8, 7)), chunkBytes("data", "abcd")}),
       "is neither PCM nor mu-law coded: format tag 0xFFFE with sub-format 7 \\(mu-law\\)"},
      {"extensible, unknown GUID",
       waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(1, 8000, 16, 1).substr(0, 39) + "x"),
                      chunkBytes("data", "abcd")}),
       "is neither PCM nor mu-law coded: format tag 0xFFFE with an unknown sub-format"},
      {"extensible without its sub-format",
       waveFileBytes({chunkBytes("fmt ", fmtBody(0xFFFE, 1, 8000, 16)), chunkBytes("data", "abcd")}),
       "is neither PCM nor mu-law coded: format tag 0xFFFE with an unknown sub-format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.write("a.wav", c.file);
    EXPECT_THAT(fatalMessage([&] { audioRead r; readAudio(path, r); }),
                MatchesRegex("Wave file " + path + " " + c.says + " \\(line [0-9]+ of audioFile\\)"));
  }
  // Every cut of a good file is refused without a read past what the file holds, and with
  // a reason rather than the message for a file that does not open.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    const std::string path = dir.write("cut.wav", good.substr(0, cut));
    EXPECT_THAT(fatalMessage([&] { audioRead r; readAudio(path, r); }),
                MatchesRegex("Wave file " + path + " .* \\(line [0-9]+ of audioFile\\)"))
        << cut;
  }
}

TEST(ReadWaveInt, KeepsItsOldMessageForFilesThatDoNotOpen) {
  scratchDir dir;
  const std::string folder = dir.file("folder.wav");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const std::string& path : {dir.file("missing.wav"), folder}) {
    EXPECT_EQ(fatalMessage([&] { audioRead r; readAudio(path, r); }),
              "Can't open wave file " + path + " (line 24 in audioFile)");
  }
}

TEST(SamplesTo16Bits, CentresEightBitDataAndAmplifiesEveryNarrowerWidth) {
  struct Case {
    int nbits;
    std::vector<int> in, out;
  } cases[] = {
      {8, {0, 127, 128, 129, 255}, {-32768, -256, 0, 256, 32512}},
      {12, {-2048, 0, 5, 2047}, {-32768, 0, 80, 32752}},
      {16, {-32768, 7, 32767}, {-32768, 7, 32767}},
      {1, {INT_MAX, INT_MIN, 1}, {INT_MAX, INT_MIN, 32768}},
  };
  for (const Case& c : cases) {
    std::vector<int> x = c.in;
    samplesTo16Bits(x.data(), static_cast<int>(x.size()), c.nbits);
    EXPECT_EQ(x, c.out) << c.nbits;
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

  // Fewer bytes than one sample: an empty wave would fail only in the search, without the name.
  for (const char* bytes : {"", "\x01"}) {
    const std::string path = dir.write("one.raw", bytes);
    EXPECT_THAT(fatalMessage([&] { audioRead r; readAudio(path, r); }),
                MatchesRegex("Raw file " + path + " holds no samples: its [01] bytes are fewer than the 2 of one "
                             "sample \\(line [0-9]+ of audioFile\\)"));
  }

  const std::string missing = dir.file("missing.raw");
  EXPECT_THAT(fatalMessage([&] { audioRead m; readAudio(missing, m); }),
              MatchesRegex("Cannot open file " + missing + ": No such file or directory \\(line [0-9]+ of utility\\)"));
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

TEST(ReadFlvInt, CorruptFilesAreFatalErrorsNamingTheFile) {
  const std::string good = flvBuilder().audio(0x52, nellyBlocks(2)).bytes();
  struct Case {
    std::string bytes;
    const char* reason;
  } cases[] = {
      {good.substr(0, good.size() - 7), "Corrupt file \\(truncated tag body\\)"},
      {flvBuilder().audio(0x22, nellyBlocks(1)).bytes(), "stream is not Nellymoser \\(audio format 2\\)"},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    const std::string path = dir.write("bad.flv", c.bytes);
    EXPECT_THAT(expectFatal([&] { audioRead r; readAudio(path, r); }),
                MatchesRegex(std::string(c.reason) + " in " + path + " \\(line [0-9]+ of flvReader\\)"));
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

// A wave that cannot be completed (the file size limit stands for a full disk) leaves neither
// a cut wave nor its temporary file.
TEST(WavFileWrite, AWaveThatCannotBeCompletedLeavesNoFile) {
  const std::vector<int> samples(4000, 1000);
  for (long limit : {0L, 44L, 4096L, 8000L}) {
    scratchDir dir;
    const std::string path = dir.write("out.wav", std::string(20000, 'o'));
    const programResult r = childCall(
        [&] {
          if (!wavFileWrite(samples.data(), static_cast<int>(samples.size()), 16000, 16, path.c_str()))
            errorThrow("not written");
        },
        limit);
    EXPECT_EQ(r.out, "not written") << limit;
    EXPECT_TRUE(folderNames(dir.path()).empty()) << limit;
  }
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
      {"extensible PCM",
       waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(1, 16000, 16, 1)), chunkBytes("data", words)}),
       6, 16000, 16, 1, {-32768, -1, 0, 1, 32767, 300}},
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

TEST(ReadWaveShort, RefusesCodingsOtherThanPcmNamingFileAndCoding) {
  scratchDir dir;
  struct Case {
    std::string file;
    const char* coding;
  } cases[] = {
      {waveFileBytes({chunkBytes("fmt ", fmtBody(7, 1, 8000, 8)), chunkBytes("data", "\xff\x7f\x00\x80")}),
       "format tag 7 \\(mu-law\\)"},
      {waveFileBytes({chunkBytes("fmt ", fmtBody(2, 1, 8000, 4, true, 2)), chunkBytes("data", "abcd")}),
       "format tag 2 \\(ADPCM\\)"},
      {waveFileBytes({chunkBytes("fmt ", fmtBody(0x11, 1, 8000, 4, true, 2)), chunkBytes("data", "abcd")}),
       "format tag 17 \\(ADPCM\\)"},
      {waveFileBytes({chunkBytes("fmt ", extensibleFmtBody(1, 8000, 8, 7)), chunkBytes("data", "abcd")}),
       "format tag 0xFFFE with sub-format 7 \\(mu-law\\)"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.write("a.wav", c.file);
    EXPECT_THAT(expectFatal([&] { free(readWaveShort(path.c_str(), nullptr, nullptr, nullptr, nullptr)); }),
                MatchesRegex("Wave file " + path + " is not PCM coded: " + c.coding + " \\(line [0-9]+ of audioFile\\)"));
  }
}
