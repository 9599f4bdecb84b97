#include "CWaveDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "alsaFileConfig.h"
#include "platform/alsaWaveFactory.h"
#include "softWaveDevice.h"
#include "testFiles.h"
#include "threadCount.h"
#include "utility.h"
#include "watchdog.h"
#include "waveFileFixture.h"
#include "waveFixtures.h"

using namespace tulim;
using tulim::test::alsaFileConfig;
using tulim::test::chunkBytes;
using tulim::test::fmtBody;
using tulim::test::le16;
using tulim::test::le32;
using tulim::test::pcm16Bytes;
using tulim::test::pcmBytes;
using tulim::test::readFile;
using tulim::test::scratchDir;
using tulim::test::settledThreadCount;
using tulim::test::softWaveDevice;
using tulim::test::waveFileBytes;
using tulim::test::watchdog;

namespace {

std::vector<int> samplesOf(const CWaveDevice& wave) {
  std::vector<int> out(static_cast<size_t>(wave.sampleCount()));
  out.resize(static_cast<size_t>(wave.getSamples(out.data(), static_cast<int>(out.size()))));
  return out;
}

std::string bytesOf(const CWaveDevice& wave) {
  return std::string(reinterpret_cast<const char*>(wave.data()), static_cast<size_t>(wave.dataSize()));
}

std::vector<int> ramp(int n, int step, int offset) {
  std::vector<int> samples;
  for (int i = 0; i < n; ++i) samples.push_back(offset + i * step);
  return samples;
}

}  // namespace

// ---- Format and data ----------------------------------------------------------------------------

TEST(CWaveDevice, FormatDerivesAlignAndByteRate) {
  CWaveDevice wave(2, 22050, 16);
  EXPECT_EQ(wave.channels(), 2);
  EXPECT_EQ(wave.sampleRate(), 22050u);
  EXPECT_EQ(wave.bitsPerSample(), 16);
  EXPECT_TRUE(wave.checkFormat(2, 22050, 16));
  EXPECT_EQ(wave.getLastError(), "");
  EXPECT_FALSE(wave.checkFormat(1, 22050, 16));
  EXPECT_EQ(wave.getLastError(), "Wave format mismatch.");
  wave.clearError();
  EXPECT_EQ(wave.getLastError(), "");

  scratchDir dir;
  ASSERT_TRUE(wave.writeWave(dir.file("f.wav").c_str(), false));
  EXPECT_EQ(readFile(dir.file("f.wav")).substr(20, 18), fmtBody(1, 2, 22050, 16));
}

TEST(CWaveDevice, SampleCountAndGetSamplesByWidth) {
  struct Case {
    uint16_t bits;
    std::string bytes;
    int count;
    std::vector<int> samples;
  };
  const Case cases[] = {
      {8, std::string("\x00\x80\xff", 3), 3, {0, 128, 255}},
      {16, std::string("\x01\x00\xff\xff\x00\x80", 6), 3, {1, -1, -32768}},
      {16, std::string("\x01\x00\x02", 3), 1, {1}},
      {24, std::string(6, '\x01'), 2, {}},
      {4, std::string(6, '\x01'), 0, {}},
  };
  for (const Case& c : cases) {
    CWaveDevice wave(1, 8000, c.bits);
    wave.setBytes(c.bytes.data(), static_cast<int>(c.bytes.size()));
    EXPECT_EQ(wave.sampleCount(), c.count) << c.bits;
    int out[8] = {0};
    EXPECT_EQ(wave.getSamples(out, 8), static_cast<int>(c.samples.size())) << c.bits;
    EXPECT_EQ(std::vector<int>(out, out + c.samples.size()), c.samples) << c.bits;
  }
  CWaveDevice wave(1, 8000, 8);
  wave.setBytes("abcd", 4);
  int two[2];
  EXPECT_EQ(wave.getSamples(two, 2), 2);
  char bytes[8];
  EXPECT_EQ(wave.getBytes(bytes, 8), 4);
  EXPECT_EQ(wave.getBytes(bytes, 3), 3);
}

TEST(CWaveDevice, SetSamplesFitsValuesToTheBitDepth) {
  struct Case {
    const char* what;
    uint16_t bits;
    std::vector<int> in;
    std::vector<int> stored;
  };
  const Case cases[] = {
      {"8: in range, copied", 8, {0, 17, 255}, {0, 17, 255}},
      {"8: top far from the mean, max to 255", 8, {-20, 200, -20, -20}, {35, 255, 35, 35}},
      {"8: narrow, mean to 128", 8, {300, 400, 350}, {78, 178, 128}},
      {"8: bottom far from the mean, min to 0", 8, {-200, 20, 20, 20}, {0, 220, 220, 220}},
      {"8: wide, scaled around the mean", 8, {0, 1000, 500}, {1, 255, 128}},
      {"8: wide and skewed", 8, {0, 0, 0, 1000}, {86, 86, 86, 255}},
      {"16: in range, copied", 16, {-32768, 0, 32767}, {-32768, 0, 32767}},
      {"16: top far from the mean", 16, {-1000, 60000, -1000, -1000, -1000}, {-28233, 32767, -28233, -28233, -28233}},
      {"16: narrow, mean to 0", 16, {40000, 50000}, {-5000, 5000}},
      {"16: bottom far from the mean", 16, {-60000, 1000, 1000, 1000, 1000}, {-32768, 28232, 28232, 28232, 28232}},
      {"16: wide, scaled", 16, {-100000, 0, 100000}, {-32767, 0, 32767}},
      {"16: extremes of int", 16, {INT_MIN, INT_MAX}, {-32767, 32767}},
  };
  for (const Case& c : cases) {
    CWaveDevice wave(1, 16000, c.bits);
    wave.setSamples(c.in.data(), static_cast<int>(c.in.size()));
    EXPECT_EQ(wave.dataSize(), static_cast<int>(c.in.size()) * c.bits / 8) << c.what;
    EXPECT_EQ(samplesOf(wave), c.stored) << c.what;
  }
}

TEST(CWaveDevice, SetSamplesOfNoneOrOtherWidthsLeavesZeros) {
  CWaveDevice wave(1, 16000, 16);
  int some[2] = {5, 6};
  wave.setSamples(some, 2);
  wave.setSamples(some, 0);
  EXPECT_EQ(wave.dataSize(), 0);

  CWaveDevice twelve(1, 16000, 12);
  std::vector<int> four = {1000, -1000, 7, 9};
  twelve.setSamples(four.data(), 4);
  EXPECT_EQ(twelve.dataSize(), 6);
  EXPECT_EQ(bytesOf(twelve), std::string(6, '\0'));
  int out[4];
  EXPECT_EQ(twelve.getSamples(out, 4), 0);
}

TEST(CWaveDevice, RoundToIntIsHalfAwayFromZeroAndSaturates) {
  struct Case {
    double x;
    int rounded;
  };
  const Case cases[] = {{2.5, 3},  {-2.5, -3}, {2.49, 2},        {-0.4, 0},
                        {0.0, 0},  {1e12, INT_MAX}, {-1e12, INT_MIN}, {std::nan(""), 0}};
  for (const Case& c : cases) EXPECT_EQ(roundToInt(c.x), c.rounded) << c.x;
}

// ---- Wave files -----------------------------------------------------------------------------

TEST(CWaveDevice, ReadWaveFindsFormatAndData) {
  const std::string data16 = pcm16Bytes({100, -100, 32767, -32768});
  struct Case {
    const char* what;
    std::string file;
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    std::string data;
  };
  const Case cases[] = {
      {"canonical", test::pcmWaveBytes(1, 16000, 16, data16), 1, 16000, 16, data16},
      {"40-byte fmt chunk", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 2, 44100, 16, true, 22)), chunkBytes("data", data16)}),
       2, 44100, 16, data16},
      {"16-byte fmt chunk", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 8000, 8, false)), chunkBytes("data", "abc")}),
       1, 8000, 8, "abc"},
      {"LIST before data", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 8000, 16)),
                                          chunkBytes("LIST", "INFO" + chunkBytes("ISFT", "tulim")), chunkBytes("data", data16)}),
       1, 8000, 16, data16},
      {"odd chunk and its pad first", waveFileBytes({chunkBytes("junk", "123"), chunkBytes("fmt ", fmtBody(1, 1, 11025, 8)),
                                                    chunkBytes("data", "xyz")}),
       1, 11025, 8, "xyz"},
      {"chunks after the data", waveFileBytes({chunkBytes("fmt ", fmtBody(1, 1, 8000, 8)), chunkBytes("data", "q"),
                                              chunkBytes("cue ", "1234")}),
       1, 8000, 8, "q"},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    CWaveDevice wave(1, 8000, 8);
    ASSERT_TRUE(wave.readWave(dir.write("in.wav", c.file).c_str())) << c.what << ": " << wave.getLastError();
    EXPECT_EQ(wave.channels(), c.channels) << c.what;
    EXPECT_EQ(wave.sampleRate(), c.rate) << c.what;
    EXPECT_EQ(wave.bitsPerSample(), c.bits) << c.what;
    EXPECT_EQ(bytesOf(wave), c.data) << c.what;
  }
}

TEST(CWaveDevice, ReadWaveRejectsBrokenFilesWithItsTexts) {
  const std::string fmt = chunkBytes("fmt ", fmtBody(1, 1, 8000, 16));
  struct Case {
    const char* what;
    std::string file;
    const char* error;
  };
  const Case cases[] = {
      {"no data chunk", waveFileBytes({fmt}), "File chunk read error."},
      {"data before fmt", waveFileBytes({chunkBytes("data", "ab"), fmt}), "File chunk read error."},
      {"no fmt chunk", waveFileBytes({chunkBytes("data", "ab")}), "File chunk read error."},
      {"not a RIFF WAVE", "RIFF" + le32(4) + "AVI ", "File chunk read error."},
      {"empty file", "", "File chunk read error."},
      {"fmt cut short", "RIFF" + le32(30) + "WAVE" + "fmt " + le32(18) + "\x01\x00", "File chunk read error."},
      {"empty data chunk", waveFileBytes({fmt, chunkBytes("data", "")}), "File data read error."},
      {"data size 0xFFFFFFFF", waveFileBytes({fmt, chunkBytes("data", "abcd", 0xFFFFFFFFu)}), "File data read error."},
      {"data cut short", waveFileBytes({fmt, chunkBytes("data", "abcd", 6)}), "File data read error."},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    CWaveDevice wave(1, 8000, 8);
    wave.setBytes("kept", 4);
    EXPECT_FALSE(wave.readWave(dir.write("bad.wav", c.file).c_str())) << c.what;
    EXPECT_EQ(wave.getLastError(), c.error) << c.what;
    EXPECT_EQ(bytesOf(wave), "kept") << c.what;
  }
  CWaveDevice wave(1, 8000, 8);
  EXPECT_FALSE(wave.readWave(dir.file("missing.wav").c_str()));
  EXPECT_EQ(wave.getLastError(), "File open error.");
  EXPECT_FALSE(wave.readWave(dir.path().c_str()));
  EXPECT_EQ(wave.getLastError(), "File open error.");
}

TEST(CWaveDevice, WriteWaveLaysOutChunksByteForByte) {
  scratchDir dir;
  CWaveDevice odd(1, 8000, 8);
  odd.setBytes("\x10\x80\xf0", 3);
  ASSERT_TRUE(odd.writeWave(dir.file("odd.wav").c_str(), false));
  const std::string expected = "RIFF" + le32(4 + 26 + 8 + 3 + 1) + "WAVE" + "fmt " + le32(18) +
                               le16(1) + le16(1) + le32(8000) + le32(8000) + le16(1) + le16(8) + le16(0) +
                               "data" + le32(3) + "\x10\x80\xf0" + std::string(1, '\0');
  EXPECT_EQ(readFile(dir.file("odd.wav")), expected);

  CWaveDevice stereo(2, 16000, 16);
  std::vector<int> samples = {1, -1, 300, -300, 32767, -32768};
  stereo.setSamples(samples.data(), 6);
  ASSERT_TRUE(stereo.writeWave(dir.file("st.wav").c_str(), false));
  std::string file = readFile(dir.file("st.wav"));
  ASSERT_EQ(file.size(), 46u + 12);
  EXPECT_EQ(file.substr(4, 4), le32(38 + 12));
  EXPECT_EQ(file.substr(38), "data" + le32(12) + pcm16Bytes(samples));

  CWaveDevice back(1, 8000, 8);
  ASSERT_TRUE(back.readWave(dir.file("st.wav").c_str()));
  EXPECT_TRUE(back.checkFormat(2, 16000, 16));
  EXPECT_EQ(samplesOf(back), samples);

  EXPECT_FALSE(odd.writeWave(dir.file("no/such/dir.wav").c_str(), false));
  EXPECT_EQ(odd.getLastError(), "File open error.");
}

// ---- Mu-law ---------------------------------------------------------------------------------

TEST(CWaveDevice, MuLawExpansionOverAllCodes) {
  std::vector<float> codes(256);
  for (int i = 0; i < 256; ++i) codes[i] = static_cast<float>(i);
  muLawDecodeFloat(codes.data(), 256, 0);
  EXPECT_EQ(codes[0x00], -32124.0f);
  EXPECT_EQ(codes[0x80], 32124.0f);
  EXPECT_EQ(codes[0x7F], 0.0f);
  EXPECT_EQ(codes[0xFF], 0.0f);
  EXPECT_EQ(codes[0xFE], 8.0f);
  EXPECT_EQ(codes[0xEF], 132.0f);
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(codes[i], -codes[i + 128]) << i;
    if (i > 0) {
      EXPECT_GT(codes[i], codes[i - 1]) << i;
    }
  }

  // Arrays indexed from 1: base 1 expands indices 1..last and leaves index 0 alone.
  float fromOne[3] = {5.0f, 255.0f, 383.9f};  // 383 has low byte 0x7F
  muLawDecodeFloat(fromOne, 2, 1);
  EXPECT_EQ(fromOne[0], 5.0f);
  EXPECT_EQ(fromOne[1], 0.0f);
  EXPECT_EQ(fromOne[2], 0.0f);
}

TEST(CWaveDevice, MuLawFilesReadAsSixteenBitAndWriteBack) {
  std::string codes;
  for (int i = 0; i < 256; ++i) codes += static_cast<char>(i);
  scratchDir dir;
  std::string in = dir.write("mu.wav", waveFileBytes({chunkBytes("fmt ", fmtBody(7, 1, 8000, 8)), chunkBytes("data", codes)}));

  CWaveDevice wave(1, 16000, 16);
  ASSERT_TRUE(wave.readWave(in.c_str()));
  EXPECT_TRUE(wave.checkFormat(1, 8000, 16));
  std::vector<float> expected(256);
  for (int i = 0; i < 256; ++i) expected[i] = static_cast<float>(i);
  muLawDecodeFloat(expected.data(), 256, 0);
  std::vector<int> samples = samplesOf(wave);
  ASSERT_EQ(samples.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(samples[i], static_cast<int>(expected[i])) << i;

  ASSERT_TRUE(wave.writeWave(dir.file("out.wav").c_str(), true));
  std::string file = readFile(dir.file("out.wav"));
  EXPECT_EQ(file.substr(20, 18), fmtBody(7, 1, 8000, 8));
  std::string back = codes;
  back[0x7F] = '\xff';  // both zeros compress to the positive code
  EXPECT_EQ(file.substr(38), "data" + le32(256) + back);
  EXPECT_EQ(file.substr(4, 4), le32(38 + 256));
}

TEST(CWaveDevice, MuLawCompressionSaturatesAndSplitsSign) {
  CWaveDevice wave(1, 8000, 16);
  std::vector<int> samples = {32767, -32768, 0, -1, 100, -100};
  wave.setSamples(samples.data(), 6);
  scratchDir dir;
  ASSERT_TRUE(wave.writeWave(dir.file("m.wav").c_str(), true));
  EXPECT_EQ(readFile(dir.file("m.wav")).substr(46), std::string("\x80\x00\xff\x7f\xf2\x72", 6));
}

TEST(CWaveDevice, MuLawWriteNeedsSixteenBits) {
  CWaveDevice wave(1, 8000, 8);
  wave.setBytes("ab", 2);
  scratchDir dir;
  EXPECT_FALSE(wave.writeWave(dir.file("m.wav").c_str(), true));
  EXPECT_EQ(wave.getLastError(), "Wave format mismatch.");
  EXPECT_FALSE(fileExist(dir.file("m.wav").c_str()));
}

// ---- Raw files --------------------------------------------------------------------------------

TEST(CWaveDevice, RawFilesCarryTheBytesAndKeepTheFormat) {
  scratchDir dir;
  CWaveDevice wave(1, 16000, 16);
  const std::string bytes("\x00\x01\x02\xff\x7f", 5);
  wave.setBytes(bytes.data(), 5);
  ASSERT_TRUE(wave.writeRaw(dir.file("a.raw").c_str()));
  EXPECT_EQ(readFile(dir.file("a.raw")), bytes);

  CWaveDevice back(2, 8000, 8);
  ASSERT_TRUE(back.readRaw(dir.file("a.raw").c_str()));
  EXPECT_EQ(bytesOf(back), bytes);
  EXPECT_TRUE(back.checkFormat(2, 8000, 8));

  EXPECT_FALSE(back.readRaw(dir.file("none.raw").c_str()));
  EXPECT_EQ(back.getLastError(), "File open error.");
  EXPECT_EQ(bytesOf(back), bytes);
  EXPECT_FALSE(back.writeRaw(dir.path().c_str()));
  EXPECT_EQ(back.getLastError(), "File open error.");
}

// ---- Devices ----------------------------------------------------------------------------------

TEST(CWaveDevice, UnopenableAlsaDeviceGivesAlsasMessage) {
  struct Case {
    bool defaultDefined;
    const char* pcmName;  // installed factory's PCM; null: the default factory
  };
  // ALSA has no such PCM: no default in its configuration, or a name it does not know.
  const Case cases[] = {{false, nullptr}, {true, "tulim_no_such_pcm"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pcmName ? c.pcmName : "default");
    std::unique_ptr<alsaFileConfig> alsa(c.defaultDefined ? new alsaFileConfig({1, 2, 3}, 16) : new alsaFileConfig());
    alsaWaveFactory named(c.pcmName ? c.pcmName : "default");
    if (c.pcmName) setWaveBackendFactory(&named);
    CWaveDevice wave(1, 16000, 16);
    EXPECT_FALSE(wave.record(1.0));
    EXPECT_EQ(wave.getLastError(), strerror(ENOENT));
    EXPECT_FALSE(wave.isRecording());
    wave.setBytes("abcd", 4);
    wave.clearError();
    EXPECT_FALSE(wave.play());
    EXPECT_EQ(wave.getLastError(), strerror(ENOENT));
    EXPECT_FALSE(wave.isPlaying());
    EXPECT_EQ(bytesOf(wave), "abcd");
    setWaveBackendFactory(nullptr);
  }
}

namespace {

// Polls as the object's users do, until the activity ends (the watchdog ends a hang).
void waitWhile(CWaveDevice& wave, bool (CWaveDevice::*busy)()) {
  while ((wave.*busy)()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

TEST(CWaveDevice, RecordsAndPlaysThroughAlsa) {
  struct Case {
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
  };
  const Case cases[] = {{1, 16000, 16}, {1, 8000, 8}, {2, 11025, 16}};
  watchdog dog("recording and playing through ALSA");
  const int threads = settledThreadCount(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.rate << " Hz, " << c.bits << " bits");
    std::vector<int> captured, tone;
    for (int i = 0; i < 4000; ++i) captured.push_back(c.bits == 8 ? (i * 7 + 3) % 256 : (i * 37) % 50000 - 25000);
    for (int i = 0; i < 999; ++i) tone.push_back(c.bits == 8 ? 128 + (i % 50) : (i % 100) * 300 - 15000);
    alsaFileConfig alsa(captured, c.bits);
    CWaveDevice wave(c.channels, c.rate, c.bits);

    ASSERT_TRUE(wave.record(0.1)) << wave.getLastError();
    waitWhile(wave, &CWaveDevice::isRecording);
    EXPECT_EQ(wave.getLastError(), "");
    // A tenth of a second of bytes: at 11025 Hz in stereo 4410, half a frame past 1102.
    const size_t recorded = c.rate * c.channels * (c.bits / 8u) / 10 / (c.bits / 8u);
    EXPECT_EQ(samplesOf(wave), std::vector<int>(captured.begin(), captured.begin() + recorded));

    wave.setSamples(tone.data(), static_cast<int>(tone.size()));
    ASSERT_TRUE(wave.play()) << wave.getLastError();
    waitWhile(wave, &CWaveDevice::isPlaying);
    EXPECT_EQ(wave.getLastError(), "");
    // Whole frames only: a stereo sound of 999 samples ends with half a frame, never played.
    const size_t whole = tone.size() - tone.size() % c.channels;
    EXPECT_EQ(alsa.played(), pcmBytes(std::vector<int>(tone.begin(), tone.begin() + whole), c.bits));
  }
  EXPECT_LE(settledThreadCount(threads), threads) << "a device's thread outlived it";
}

TEST(CWaveDevice, PlaybackThroughAlsaPausesResumesAndStops) {
  watchdog dog("playback through ALSA");
  const int threads = settledThreadCount(2);
  alsaFileConfig alsa({}, 16);
  CWaveDevice wave(1, 8000, 16);
  std::vector<int> tone = ramp(4000, 7, -14000);
  wave.setSamples(tone.data(), static_cast<int>(tone.size()));
  const std::string sound = pcmBytes(tone, 16);

  ASSERT_TRUE(wave.play());
  ASSERT_TRUE(wave.pause());
  EXPECT_TRUE(wave.isPaused());
  ASSERT_TRUE(wave.resume());
  waitWhile(wave, &CWaveDevice::isPlaying);
  EXPECT_EQ(alsa.played(), sound) << "every sample once, in order";

  // Stopped at once: what ALSA was given is a start of the sound, in whole samples.
  ASSERT_TRUE(wave.play());
  ASSERT_TRUE(wave.stopPlaying());
  EXPECT_FALSE(wave.isPlaying());
  const std::string played = alsa.played();
  EXPECT_EQ(played.size() % 2, 0u);
  EXPECT_EQ(played, sound.substr(0, played.size()));
  EXPECT_EQ(wave.getLastError(), "");
  EXPECT_LE(settledThreadCount(threads), threads) << "a device's thread outlived it";
}

TEST(CWaveDevice, PolledRecordingStopsWhenTheBufferIsFull) {
  softWaveDevice soft;
  std::vector<int> script = ramp(120, 11, -500);
  soft.setInputSamples(script);
  CWaveDevice wave(1, 8000, 16);
  EXPECT_EQ(wave.recordPosition(), 0u);

  ASSERT_TRUE(wave.record(0.01)) << wave.getLastError();  // 80 samples, 160 bytes
  EXPECT_TRUE(soft.inputFormat().bitsPerSample == 16 && soft.inputFormat().samplesPerSec == 8000);
  EXPECT_EQ(soft.capture(60), 60u);
  EXPECT_EQ(wave.recordPosition(), 60u);
  EXPECT_TRUE(wave.isRecording());
  EXPECT_FALSE(wave.record(0.01));
  EXPECT_EQ(wave.getLastError(), "Device required in use.");

  EXPECT_EQ(soft.capture(1000), 100u);
  EXPECT_FALSE(wave.isRecording());
  EXPECT_FALSE(soft.inputOpen());
  EXPECT_EQ(wave.recordPosition(), 0u);
  EXPECT_EQ(samplesOf(wave), std::vector<int>(script.begin(), script.begin() + 80));
}

TEST(CWaveDevice, StopRecordingKeepsWhatWasCaptured) {
  softWaveDevice soft;
  soft.setInputSamples({200, 201, 202, 203, 204});
  CWaveDevice wave(1, 8000, 8);
  ASSERT_TRUE(wave.record(2.0));
  soft.capture(3);
  ASSERT_TRUE(wave.stopRecording());
  EXPECT_EQ(samplesOf(wave), (std::vector<int>{200, 201, 202}));
  EXPECT_FALSE(soft.inputOpen());

  ASSERT_TRUE(wave.record(0.0));  // an empty buffer is full at once
  EXPECT_FALSE(wave.isRecording());
  EXPECT_EQ(wave.dataSize(), 0);
  EXPECT_EQ(soft.inputOpens(), 2);
}

TEST(CWaveDevice, RecordingAndPlaybackEndWithReset) {
  softWaveDevice soft;
  CWaveDevice wave(1, 8000, 8);
  wave.setBytes("abcdef", 6);
  ASSERT_TRUE(wave.play());
  ASSERT_TRUE(wave.record(1.0));
  EXPECT_TRUE(soft.inputOpen() && soft.outputOpen());
  ASSERT_TRUE(wave.setFormat(1, 16000, 16));
  EXPECT_FALSE(soft.inputOpen() || soft.outputOpen());
  EXPECT_FALSE(wave.isRecording() || wave.isPlaying());
  EXPECT_EQ(wave.dataSize(), 0);
}

TEST(CWaveDevice, PositionInAnotherTimeFormatIsAnError) {
  softWaveDevice soft;
  soft.setTimeFormats(WAVE_TIME_SAMPLES);
  CWaveDevice wave(1, 8000, 16);
  ASSERT_TRUE(wave.record(1.0));
  EXPECT_EQ(wave.recordPosition(), 0xFFFFFFFFu);
  EXPECT_EQ(wave.getLastError(), "MMTIME required time format not supported.");
  EXPECT_FALSE(wave.record(1.0));
  wave.setBytes("old", 3);
  // The recording still ends, so the object stays usable; what was there is kept.
  EXPECT_FALSE(wave.stopRecording());
  EXPECT_EQ(wave.getLastError(), "MMTIME required time format not supported.");
  EXPECT_FALSE(wave.isRecording());
  EXPECT_FALSE(soft.inputOpen());
  EXPECT_EQ(bytesOf(wave), "old");
  EXPECT_TRUE(wave.setFormat(1, 8000, 8));
}

TEST(CWaveDevice, DeviceOpenFailureKeepsItsText) {
  softWaveDevice soft;
  soft.setOpenResults(WAVE_ERR_NODEVICE, WAVE_ERR_BADFORMAT);
  CWaveDevice wave(1, 8000, 16);
  wave.setBytes("ab", 2);
  EXPECT_FALSE(wave.record(1.0));
  EXPECT_EQ(wave.getLastError(), waveInErrorText(WAVE_ERR_NODEVICE));
  EXPECT_FALSE(wave.play());
  EXPECT_EQ(wave.getLastError(), waveOutErrorText(WAVE_ERR_BADFORMAT));

  CWaveDevice twelve(1, 8000, 12);
  soft.setOpenResults(WAVE_OK, WAVE_OK);
  EXPECT_FALSE(twelve.record(1.0));
  EXPECT_EQ(twelve.getLastError(), waveInErrorText(WAVE_ERR_BADFORMAT));
}

TEST(CWaveDevice, PolledPlaybackPausesResumesAndEnds) {
  softWaveDevice soft;
  CWaveDevice wave(1, 8000, 16);
  std::vector<int> samples = ramp(50, 100, -2500);
  wave.setSamples(samples.data(), 50);
  ASSERT_TRUE(wave.play()) << wave.getLastError();

  EXPECT_EQ(soft.render(30), 30u);
  EXPECT_EQ(wave.playPosition(), 30u);
  EXPECT_FALSE(wave.play());
  EXPECT_EQ(wave.getLastError(), "Device required in use.");
  ASSERT_TRUE(wave.pause());
  EXPECT_TRUE(wave.isPaused());
  EXPECT_EQ(soft.render(30), 0u);
  EXPECT_TRUE(wave.isPlaying());
  ASSERT_TRUE(wave.resume());
  EXPECT_FALSE(wave.isPaused());
  EXPECT_EQ(soft.render(1000), 70u);

  EXPECT_FALSE(wave.isPlaying());
  EXPECT_FALSE(soft.outputOpen());
  EXPECT_EQ(soft.played(), bytesOf(wave));
  EXPECT_EQ(wave.playPosition(), 0u);
}

TEST(CWaveDevice, StopPlayingMidwayClosesTheOutput) {
  softWaveDevice soft;
  CWaveDevice wave(1, 8000, 8);
  wave.setBytes("0123456789", 10);
  ASSERT_TRUE(wave.play());
  soft.render(4);
  ASSERT_TRUE(wave.pause());
  ASSERT_TRUE(wave.stopPlaying());
  EXPECT_FALSE(wave.isPaused());
  EXPECT_FALSE(soft.outputOpen());
  EXPECT_EQ(soft.played(), "0123");
  ASSERT_TRUE(wave.play());
  soft.render(100);
  EXPECT_FALSE(wave.isPlaying());
  EXPECT_EQ(soft.played(), "01230123456789");
}

TEST(CWaveDevice, FullDiskIsReportedNotSuccess) {
  if (!fileExist("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CWaveDevice wave(1, 8000, 8);
  wave.setBytes("abc", 3);
  EXPECT_FALSE(wave.writeWave("/dev/full", false));
  EXPECT_EQ(wave.getLastError(), "File chunk write error.");
  EXPECT_FALSE(wave.writeRaw("/dev/full"));
  EXPECT_EQ(wave.getLastError(), "File close error.");
}
