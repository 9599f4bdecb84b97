#include "platform/waveIo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/alsaWaveFactory.h"
#include "waveFileFixture.h"

using namespace tulim;

TEST(WaveFormat, EncodesEighteenLittleEndianBytes) {
  waveFormat format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  unsigned char bytes[WAVE_FORMAT_SIZE];
  waveFormatEncode(format, bytes);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), WAVE_FORMAT_SIZE),
            test::fmtBody(1, 2, 44100, 16));
}

TEST(WaveFormat, ShortRecordLeavesLaterFieldsAsTheyWere) {
  waveFormat format{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 77};
  std::string body = test::fmtBody(WAVE_FORMAT_MULAW, 2, 16000, 16, false);
  ASSERT_EQ(body.size(), 16u);
  waveFormatDecode(format, reinterpret_cast<const unsigned char*>(body.data()), body.size());
  EXPECT_EQ(format.formatTag, WAVE_FORMAT_MULAW);
  EXPECT_EQ(format.channels, 2);
  EXPECT_EQ(format.samplesPerSec, 16000u);
  EXPECT_EQ(format.avgBytesPerSec, 64000u);
  EXPECT_EQ(format.blockAlign, 4);
  EXPECT_EQ(format.bitsPerSample, 16);
  EXPECT_EQ(format.extraSize, 77);
}

TEST(WaveFormat, PlayableOnlyForConsistentPcm) {
  struct Case {
    waveFormat format;
    bool playable;
  };
  const Case cases[] = {
      {{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0}, true},
      {{WAVE_FORMAT_PCM, 2, 8000, 16000, 2, 8, 0}, true},
      {{WAVE_FORMAT_MULAW, 1, 8000, 8000, 1, 8, 0}, false},
      {{WAVE_FORMAT_PCM, 1, 8000, 12000, 1, 12, 0}, false},
      {{WAVE_FORMAT_PCM, 0, 8000, 0, 0, 16, 0}, false},
      {{WAVE_FORMAT_PCM, 1, 16000, 16000, 2, 16, 0}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(waveFormatPlayable(c.format), c.playable) << c.format.bitsPerSample;
}

TEST(WaveTime, AnswersAskedFormatOrSaysWhichItUsed) {
  waveFormat format{WAVE_FORMAT_PCM, 2, 8000, 32000, 4, 16, 0};
  struct Case {
    unsigned asked, kept, type;
    uint32_t value;
  };
  const Case cases[] = {
      {WAVE_TIME_BYTES, WAVE_TIME_BYTES, WAVE_TIME_BYTES, 6400},
      {WAVE_TIME_SAMPLES, WAVE_TIME_BYTES | WAVE_TIME_SAMPLES, WAVE_TIME_SAMPLES, 1600},
      {WAVE_TIME_MS, WAVE_TIME_MS, WAVE_TIME_MS, 200},
      {WAVE_TIME_MS, WAVE_TIME_BYTES, WAVE_TIME_BYTES, 6400},
      {WAVE_TIME_BYTES, WAVE_TIME_SAMPLES, WAVE_TIME_SAMPLES, 1600},
  };
  for (const Case& c : cases) {
    waveTime time;
    time.type = c.asked;
    waveTimeFromBytes(time, 6400, format, c.kept);
    EXPECT_EQ(time.type, c.type);
    EXPECT_EQ(time.value, c.value);
  }
}

TEST(WaveErrorText, NamesTheDirection) {
  EXPECT_EQ(waveInErrorText(WAVE_ERR_NODEVICE), "No wave-input device is available on this system.");
  EXPECT_EQ(waveOutErrorText(WAVE_ERR_NODEVICE), "No wave-output device is available on this system.");
  EXPECT_EQ(waveOutErrorText(99), "Unknown wave-output error code 99.");
}

TEST(WaveErrorText, SoundSystemErrorsKeepTheSystemsOwnText) {
  EXPECT_EQ(waveInErrorText(WAVE_ERR_SYSTEM + ENOENT), strerror(ENOENT));
  EXPECT_EQ(waveOutErrorText(WAVE_ERR_SYSTEM + EBUSY), strerror(EBUSY));
  EXPECT_EQ(alsaWaveCode(-EBUSY), WAVE_ERR_SYSTEM + EBUSY);
  struct Case {
    unsigned code;
    bool known;
  };
  const Case cases[] = {{WAVE_OK, true}, {WAVE_ERR_INVALHANDLE, true}, {WAVE_ERR_INVALHANDLE + 1, false},
                        {77, false},     {WAVE_ERR_SYSTEM - 1, false}, {WAVE_ERR_SYSTEM + EIO, true}};
  for (const Case& c : cases) EXPECT_EQ(waveErrorKnown(c.code), c.known) << c.code;
}
