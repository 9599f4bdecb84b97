#include "TWaveFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "testFiles.h"
#include "waveFileFixture.h"

using namespace tulim;
using namespace tulim::test;

namespace {

std::vector<int> samplesOf(const TWaveFile& wave) {
  if (!wave.samples()) return {};
  return std::vector<int>(wave.samples(), wave.samples() + wave.sampleCount());
}

void expectEmpty(const TWaveFile& wave) {
  EXPECT_EQ(wave.sampleCount(), 0);
  EXPECT_EQ(wave.samples(), nullptr);
  EXPECT_EQ(wave.userText(), nullptr);
}

// A chunk as save writes it: no pad byte after an odd-sized body.
std::string unpaddedChunk(const std::string& id, const std::string& body) {
  return id + le32(static_cast<uint32_t>(body.size())) + body;
}

std::string fmt8(uint32_t rate, uint16_t tag = 1) { return chunkBytes("fmt ", fmtBody(tag, 1, rate, 8)); }

}  // namespace

TEST(TWaveFile, StartsEmptyAt11025HzAnd8Bits) {
  TWaveFile wave;
  expectEmpty(wave);
  EXPECT_EQ(wave.sampleRate(), 11025);
  EXPECT_EQ(wave.bitsPerSample(), 8);
  EXPECT_EQ(wave.bytesPerSample(), 1);
  EXPECT_EQ(wave.duration(), 0.0f);
}

TEST(TWaveFile, Loads16BitPcmAndSavesTheCanonicalLayout) {
  scratchDir dir;
  std::string path = dir.write("in.wav", pcmWaveBytes(1, 22050, 16, pcm16Bytes({0, -1, 32767})));
  TWaveFile wave;
  ASSERT_TRUE(wave.load(path.c_str()));
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{0, -1, 32767}));
  EXPECT_EQ(wave.sampleRate(), 22050);
  EXPECT_EQ(wave.bitsPerSample(), 16);
  EXPECT_EQ(wave.bytesPerSample(), 2);
  EXPECT_EQ(wave.userText(), nullptr);

  std::string out = dir.file("out.wav");
  ASSERT_TRUE(wave.save(out.c_str()));
  std::string expected = "RIFF" + le32(44) + "WAVEfmt " + le32(18) + le16(1) + le16(1) + le32(22050) +
                         le32(44100) + le16(2) + le16(16) + le16(0) + "data" + le32(6) +
                         pcm16Bytes({0, -1, 32767});
  ASSERT_EQ(expected.size(), 52u);
  EXPECT_EQ(readFile(out), expected);
}

TEST(TWaveFile, Loads8BitPcmCentredAndKeepsTheUserText) {
  scratchDir dir;
  std::string data("\x00\x80\xff", 3);
  std::string path = dir.write("in.wav", waveFileBytes({fmt8(8000), unpaddedChunk("data", data),
                                                        unpaddedChunk("user", "abc")}));
  TWaveFile wave;
  ASSERT_TRUE(wave.load(path.c_str()));
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{-128, 0, 127}));
  EXPECT_EQ(wave.bitsPerSample(), 8);
  ASSERT_NE(wave.userText(), nullptr);
  EXPECT_STREQ(wave.userText(), "abc");

  std::string out = dir.file("out.wav");
  ASSERT_TRUE(wave.save(out.c_str()));
  std::string expected = "RIFF" + le32(38 + 3 + 8 + 3) + "WAVEfmt " + le32(18) + le16(1) + le16(1) +
                         le32(8000) + le32(8000) + le16(1) + le16(8) + le16(0) + "data" + le32(3) + data +
                         "user" + le32(3) + "abc";
  EXPECT_EQ(readFile(out), expected);

  TWaveFile back;
  ASSERT_TRUE(back.load(out.c_str()));
  EXPECT_EQ(samplesOf(back), samplesOf(wave));
  EXPECT_STREQ(back.userText(), "abc");
}

TEST(TWaveFile, SkipsOtherChunksAndExtraFormatBytes) {
  scratchDir dir;
  struct Case {
    const char* what;
    std::string file;
  } cases[] = {
      {"chunks before and between",
       waveFileBytes({chunkBytes("LIST", std::string(300, 'L')), fmt8(16000),
                      chunkBytes("fact", le32(2)), chunkBytes("data", "\x81\x7f")})},
      {"format chunk of 16 bytes", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 16000, 8, false)),
                                                  chunkBytes("data", "\x81\x7f")})},
      {"format chunk with 22 extra bytes", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 16000, 8, true, 22)),
                                                          chunkBytes("data", "\x81\x7f")})},
      // The sample size comes from the block alignment, not from the bits field.
      {"bits field disagreeing",
       waveFileBytes({chunkBytes("fmt ", le16(1) + le16(1) + le32(16000) + le32(16000) + le16(1) + le16(12)),
                      chunkBytes("data", "\x81\x7f")})},
      {"user chunk of no bytes", waveFileBytes({fmt8(16000), chunkBytes("data", "\x81\x7f"), chunkBytes("user", "")})},
  };
  for (const Case& c : cases) {
    TWaveFile wave;
    ASSERT_TRUE(wave.load(dir.write("in.wav", c.file).c_str())) << c.what;
    EXPECT_EQ(samplesOf(wave), (std::vector<int>{1, -1})) << c.what;
    EXPECT_EQ(wave.sampleRate(), 16000) << c.what;
    EXPECT_EQ(wave.bitsPerSample(), 8) << c.what;
    EXPECT_EQ(wave.userText(), nullptr) << c.what;
  }
}

TEST(TWaveFile, RejectsUnsupportedAndCorruptFiles) {
  std::string data8("\x10\x20\x30\x40", 4);
  std::string fmtStereo = chunkBytes("fmt ", fmtBody(1, 2, 8000, 8));
  struct Case {
    const char* what;
    std::string file;
  } cases[] = {
      {"stereo", waveFileBytes({fmtStereo, chunkBytes("data", data8)})},
      {"ADPCM", waveFileBytes({chunkBytes("fmt ", fmtBody(2, 1, 8000, 8)), chunkBytes("data", data8)})},
      {"format tag 0x0101", waveFileBytes({chunkBytes("fmt ", fmtBody(0x0101, 1, 8000, 8)), chunkBytes("data", data8)})},
      {"257 channels", waveFileBytes({chunkBytes("fmt ", le16(1) + le16(257) + le32(8000) + le32(8000) + le16(257) +
                                                             le16(8)),
                                      chunkBytes("data", data8)})},
      {"not RIFF", "RIFX" + waveFileBytes({fmt8(8000), chunkBytes("data", data8)}).substr(4)},
      {"not WAVE", "RIFF" + le32(20) + "AVI " + fmt8(8000)},
      {"RIFF size below 4", "RIFF" + le32(3) + "WAVE" + fmt8(8000) + chunkBytes("data", data8)},
      {"empty file", ""},
      {"header cut short", "RIFF" + le32(4)},
      {"no format chunk", waveFileBytes({chunkBytes("data", data8)})},
      {"no data chunk", waveFileBytes({fmt8(8000)})},
      {"format chunk of 8 bytes", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 8000, 8).substr(0, 8)),
                                                 chunkBytes("data", data8)})},
      {"format chunk cut short", "RIFF" + le32(30) + "WAVEfmt " + le32(18) + fmtBody(1, 1, 8000, 8).substr(0, 10)},
      {"rate 0", waveFileBytes({fmt8(0), chunkBytes("data", data8)})},
      {"rate above INT_MAX", waveFileBytes({fmt8(0x80000000u), chunkBytes("data", data8)})},
      {"24-bit", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 8000, 24)), chunkBytes("data", data8 + "\0\0")})},
      {"block alignment 0", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 8000, 0)), chunkBytes("data", data8)})},
      {"16-bit mu-law", waveFileBytes({chunkBytes("fmt ", fmtBody(7, 1, 8000, 16)), chunkBytes("data", data8)})},
      {"data cut short", waveFileBytes({fmt8(8000), chunkBytes("data", data8, 5)})},
      {"data size of 4 GB", waveFileBytes({fmt8(8000), chunkBytes("data", data8, 0xffffffffu)})},
      {"user text cut short", waveFileBytes({fmt8(8000), unpaddedChunk("data", data8), "user" + le32(10) + "abc"})},
  };
  scratchDir dir;
  std::string good = dir.write("good.wav", pcmWaveBytes(1, 44100, 16, pcm16Bytes({5, 6})));
  for (const Case& c : cases) {
    TWaveFile wave;
    ASSERT_TRUE(wave.load(good.c_str()));
    EXPECT_FALSE(wave.load(dir.write("bad.wav", c.file).c_str())) << c.what;
    expectEmpty(wave);
    EXPECT_EQ(wave.sampleRate(), 44100) << c.what << ": a refused file changed the rate";
    EXPECT_EQ(wave.bitsPerSample(), 16) << c.what;
  }
  TWaveFile wave;
  EXPECT_FALSE(wave.load(dir.file("missing.wav").c_str()));
  EXPECT_FALSE(wave.load(dir.path().c_str()));
  EXPECT_FALSE(wave.load(nullptr));
}

TEST(TWaveFile, DecodesMuLawAtThe8BitScaleAndSavesItAsPcm) {
  // Every code against the G.711 decoder written the usual way, taken to 8 bits.
  std::string codes;
  std::vector<int> expected;
  for (int byte = 0; byte < 256; ++byte) {
    codes += static_cast<char>(byte);
    int u = ~byte & 0xff;
    int exponent = (u >> 4) & 7, mantissa = u & 0x0f;
    int linear = (((mantissa << 3) + 0x84) << exponent) - 0x84;
    expected.push_back((u & 0x80) ? -(linear >> 8) : (linear >> 8));
  }
  scratchDir dir;
  std::string path = dir.write("mu.wav", waveFileBytes({fmt8(8000, 7), chunkBytes("data", codes)}));
  TWaveFile wave;
  ASSERT_TRUE(wave.load(path.c_str()));
  EXPECT_EQ(samplesOf(wave), expected);
  EXPECT_EQ(wave.bitsPerSample(), 8);
  EXPECT_EQ(wave.samples()[0x00], -125);
  EXPECT_EQ(wave.samples()[0x80], 125);
  EXPECT_EQ(wave.samples()[0xff], 0);

  std::string out = dir.file("pcm.wav");
  ASSERT_TRUE(wave.save(out.c_str()));
  std::string saved = readFile(out);
  ASSERT_EQ(saved.size(), 46u + 256u);
  EXPECT_EQ(saved.substr(20, 2), le16(1));
  EXPECT_EQ(static_cast<unsigned char>(saved[46]), 128 - 125);
  EXPECT_EQ(static_cast<unsigned char>(saved[46 + 0x80]), 128 + 125);
}

TEST(TWaveFile, ConvertResamplesInTenths) {
  struct Case {
    int oldRate, newRate;
    std::vector<int> in, out;
  } cases[] = {
      {8000, 16000, {0, 10, 20}, {0, 5, 10, 15}},
      {16000, 8000, {0, 10, 20, 30, 40, 50, 60, 70, 80}, {0, 20, 40, 60}},
      {3, 10, {0, 100}, {0, 30, 60}},
      {1, 2, {0, -15}, {0, -7}},  // integer division truncates toward zero
      {8000, 8000, {1, 2, 3}, {1, 2, 3}},
      {8000, 16000, {42}, {}},
      {11025, 16000, {0, 1000, 2000, 3000, 4000}, {0, 600, 1300, 2000, 2700}},
  };
  for (const Case& c : cases) {
    TWaveFile wave;
    wave.convert(c.oldRate, 8);
    wave.setSamples(c.in.data(), static_cast<int>(c.in.size()));
    wave.convert(c.newRate, 8);
    EXPECT_EQ(samplesOf(wave), c.out) << c.oldRate << " to " << c.newRate;
    EXPECT_EQ(wave.sampleRate(), c.newRate);
  }
}

TEST(TWaveFile, ConvertChangesTheSampleSize) {
  TWaveFile wave;
  std::vector<int> eight = {-128, -1, 0, 1, 127};
  wave.setSamples(eight.data(), 5);
  wave.convert(11025, 16);
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{-32768, -256, 0, 256, 32512}));
  EXPECT_EQ(wave.bitsPerSample(), 16);
  EXPECT_EQ(wave.bytesPerSample(), 2);

  std::vector<int> sixteen = {-32768, -1, 255, 256, 32767};
  wave.setSamples(sixteen.data(), 5);
  wave.convert(11025, 8);
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{-128, -1, 0, 1, 127}));
  EXPECT_EQ(wave.bytesPerSample(), 1);

  std::vector<int> huge = {INT_MAX, INT_MIN, 1 << 24};
  wave.setSamples(huge.data(), 3);
  wave.convert(11025, 16);
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{INT_MAX, INT_MIN, INT_MAX}));
}

TEST(TWaveFile, ConvertOfUnsupportedSizeOrRateChangesNothing) {
  TWaveFile wave;
  std::vector<int> in = {1, 2, 3};
  wave.setSamples(in.data(), 3);
  for (auto rateAndBits : {std::pair<int, int>{8000, 24}, {8000, 0}, {0, 16}, {-8000, 8}}) {
    wave.convert(rateAndBits.first, rateAndBits.second);
    EXPECT_EQ(samplesOf(wave), in);
    EXPECT_EQ(wave.sampleRate(), 11025);
    EXPECT_EQ(wave.bitsPerSample(), 8);
  }
  TWaveFile empty;
  empty.convert(16000, 16);
  EXPECT_EQ(empty.sampleRate(), 16000);
  EXPECT_EQ(empty.bitsPerSample(), 16);
  EXPECT_EQ(empty.bytesPerSample(), 2);
  expectEmpty(empty);
}

// Far into a long wave single precision no longer holds the tenths exactly; every new sample
// must still lie between two old ones.
TEST(TWaveFile, ConvertOfALongWaveStaysWithinItsSamples) {
  std::vector<int> in(1000000);
  for (size_t i = 0; i < in.size(); ++i) in[i] = (i % 2) ? 30000 : -30000;
  TWaveFile wave;
  wave.convert(44100, 16);
  wave.setSamples(in.data(), static_cast<int>(in.size()));
  wave.convert(16000, 16);
  ASSERT_EQ(wave.sampleCount(), static_cast<int>(999999LL * 16000 / 44100));
  for (int i = 0; i < wave.sampleCount(); ++i) {
    ASSERT_GE(wave.samples()[i], -30000) << i;
    ASSERT_LE(wave.samples()[i], 30000) << i;
  }
}

TEST(TWaveFile, DurationIsCountOverRate) {
  TWaveFile wave;
  std::vector<int> in(16000, 0);
  wave.setSamples(in.data(), 16000);
  EXPECT_FLOAT_EQ(wave.duration(), 16000.0f / 11025.0f);
  wave.convert(8000, 8);
  EXPECT_EQ(wave.sampleCount(), 15999 * 8000 / 11025);
  EXPECT_FLOAT_EQ(wave.duration(), 11609.0f / 8000.0f);
}

TEST(TWaveFile, CropKeepsAnInclusiveRange) {
  struct Case {
    int begin, end;
    std::vector<int> kept;
  } cases[] = {
      {-5, 100, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {2, 4, {2, 3, 4}},
      {9, 9, {9}},
      {0, 0, {0}},
      {7, 3, {}},
      {10, 20, {}},
      {-3, -1, {}},
  };
  std::vector<int> ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (const Case& c : cases) {
    TWaveFile wave;
    wave.setSamples(ten.data(), 10);
    wave.crop(c.begin, c.end);
    EXPECT_EQ(samplesOf(wave), c.kept) << c.begin << ".." << c.end;
  }
  TWaveFile empty;
  empty.crop(0, 5);
  expectEmpty(empty);
}

TEST(TWaveFile, SetSamplesCopiesEvenFromItsOwnArray) {
  scratchDir dir;
  std::string path = dir.write("in.wav", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 16000, 16)),
                                                        chunkBytes("data", pcm16Bytes({1, 2, 3, 4})),
                                                        chunkBytes("user", "note")}));
  TWaveFile wave;
  ASSERT_TRUE(wave.load(path.c_str()));
  ASSERT_STREQ(wave.userText(), "note");
  wave.setSamples(wave.samples() + 1, 2);
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{2, 3}));
  EXPECT_EQ(wave.userText(), nullptr);
  EXPECT_EQ(wave.sampleRate(), 16000);
  EXPECT_EQ(wave.bitsPerSample(), 16);
  wave.setSamples(nullptr, 3);
  expectEmpty(wave);
  int one = 7;
  wave.setSamples(&one, 0);
  expectEmpty(wave);
}

TEST(TWaveFile, SamplesAndFileBytesConvertBothWays) {
  TWaveFile wave;
  std::vector<int> in = {-1, 0, 1, 300, -129};
  wave.setSamples(in.data(), 5);

  unsigned char bytes[12];
  memset(bytes, 0xee, sizeof bytes);
  EXPECT_EQ(wave.samples2bytes(3, 10, bytes), 2);  // cut at the end
  EXPECT_EQ(bytes[0], (300 + 128) & 0xff);
  EXPECT_EQ(bytes[1], (-129 + 128) & 0xff);
  EXPECT_EQ(bytes[2], 0xee);
  EXPECT_EQ(wave.samples2bytes(5, 1, bytes), 0);
  EXPECT_EQ(wave.samples2bytes(-1, 1, bytes), 0);

  wave.convert(11025, 16);  // {-256, 0, 256, 76800, -33024}
  memset(bytes, 0xee, sizeof bytes);
  EXPECT_EQ(wave.samples2bytes(0, 5, bytes), 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 10),
            le16(0xff00) + le16(0) + le16(0x0100) + le16(76800 & 0xffff) + le16((-33024) & 0xffff));
  EXPECT_EQ(bytes[10], 0xee);

  const unsigned char raw[] = {0x01, 0x00, 0xff, 0xff, 0x00, 0x80, 0x34};
  EXPECT_EQ(wave.bytes2samples(raw, 7, 3), 2);  // cut at the end of the samples
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{-256, 0, 256, 1, -1}));
  EXPECT_EQ(wave.bytes2samples(raw, 7, 0), 3);  // whole samples only
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{1, -1, -32768, 1, -1}));
  EXPECT_EQ(wave.bytes2samples(raw, 7, 5), 0);
  EXPECT_EQ(wave.bytes2samples(raw, 7, -1), 0);
}

TEST(TWaveFile, SaveWritesLowBitsAndFailsOnUnwritableFile) {
  scratchDir dir;
  TWaveFile wave;
  wave.convert(16000, 16);
  std::vector<int> in = {65537, -65536, 40000};
  wave.setSamples(in.data(), 3);
  std::string out = dir.file("out.wav");
  ASSERT_TRUE(wave.save(out.c_str()));
  EXPECT_EQ(readFile(out).substr(46), pcm16Bytes({1, 0, 40000 - 65536}));

  EXPECT_FALSE(wave.save(dir.file("no/such/dir/out.wav").c_str()));
  EXPECT_FALSE(wave.save(dir.path().c_str()));
  EXPECT_FALSE(wave.save("/dev/full"));
  EXPECT_FALSE(wave.save(nullptr));

  TWaveFile empty;
  ASSERT_TRUE(empty.save(out.c_str()));
  EXPECT_EQ(readFile(out).size(), 46u);
  EXPECT_EQ(readFile(out).substr(4, 4), le32(38));
}

TEST(TWaveFile, SavedWaveLoadsBack) {
  scratchDir dir;
  TWaveFile wave;
  wave.convert(16000, 16);
  std::vector<int> in;
  for (int i = 0; i < 10000; ++i) in.push_back((i * 331) % 65536 - 32768);
  wave.setSamples(in.data(), static_cast<int>(in.size()));
  std::string out = dir.file("out.wav");
  ASSERT_TRUE(wave.save(out.c_str()));
  TWaveFile back;
  ASSERT_TRUE(back.load(out.c_str()));
  EXPECT_EQ(samplesOf(back), in);
  EXPECT_EQ(back.sampleRate(), 16000);
  EXPECT_EQ(back.bitsPerSample(), 16);
}
