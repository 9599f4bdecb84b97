#include "recording.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "alsaFileConfig.h"
#include "audioFile.h"
#include "childProcess.h"
#include "fatalCatch.h"
#include "softWaveDevice.h"
#include "testFiles.h"
#include "threadCount.h"
#include "utility.h"
#include "watchdog.h"
#include "waveFixtures.h"

using namespace tulim;
using tulim::test::alsaFileConfig;
using tulim::test::alternatingBlocks;
using tulim::test::fatalMessage;
using tulim::test::programResult;
using tulim::test::programRun;
using tulim::test::scratchDir;
using tulim::test::settledThreadCount;
using tulim::test::softWaveDevice;
using tulim::test::watchdog;

namespace {

// ---- The per-frame decision ---------------------------------------------------------------

// Rates in powers of two, so that every threshold below is exact.
recordParam decisionParams() {
  recordParam p{};
  p.nbits = 16;
  p.fs = 16000;
  p.nAdjustFrame = 1;
  p.upRateFrame = 0.5;
  p.downRateFrame = 0.25;
  p.upRateBSInit = 0.125;
  p.upRateBSNew = 0.25;
  p.upRateBSModify = 2;
  p.downRateBSInit = 0.5;
  p.downRateBSNew = 0.75;
  p.downRateBSModifyUsingVol = 0.5;
  return p;
}

struct frameStep {
  double volume;
  double threshold;
  double upRate;
  double downRate;
  int silenceCount;
  bool speechStarted;
  bool adjusting;
  bool stop;
};

void runSteps(const recordParam& p, recordFrameState state, const std::vector<frameStep>& steps) {
  for (size_t i = 0; i < steps.size(); ++i) {
    const frameStep& s = steps[i];
    SCOPED_TRACE(testing::Message() << "frame " << i + 1 << ", volume " << s.volume);
    EXPECT_EQ(recordFrameDecide(state, p, s.volume), s.stop);
    EXPECT_DOUBLE_EQ(state.threshold, s.threshold);
    EXPECT_DOUBLE_EQ(state.upRate, s.upRate);
    EXPECT_DOUBLE_EQ(state.downRate, s.downRate);
    EXPECT_EQ(state.silenceCount, s.silenceCount);
    EXPECT_EQ(state.speechStarted, s.speechStarted);
    EXPECT_EQ(state.adjusting, s.adjusting);
  }
}

recordFrameState decisionStart(const recordParam& p, int before, int in) {
  recordFrameState state = recordFrameStart(p);
  state.threshold = 1000;
  state.silenceLimitBeforeSpeech = before;
  state.silenceLimitInSpeech = in;
  return state;
}

}  // namespace

TEST(RecordFrameDecide, SpeechStartsAndTheInSpeechLimitStops) {
  const recordParam p = decisionParams();
  runSteps(p, decisionStart(p, 3, 2),
           {
               // adjust: 1000 - 400*0.25 = 900; quiet: max(400*0.5, 900 - 400*0.5) = 700
               {400, 700, 0.25, 0.5, 1, false, false, false},
               // loud: fall rate 0.75, 700 + 1200*0.25 = 1000, rise rate doubled; 1200 >= 1000
               {1200, 1000, 0.5, 0.75, 0, true, false, false},
               // after speech the threshold stays
               {999, 1000, 0.5, 0.75, 1, true, false, false},
               {1000, 1000, 0.5, 0.75, 0, true, false, false},
               {10, 1000, 0.5, 0.75, 1, true, false, false},
               {10, 1000, 0.5, 0.75, 2, true, false, true},
           });
}

TEST(RecordFrameDecide, SilenceBeforeSpeechStopsAtItsLimit) {
  const recordParam p = decisionParams();
  runSteps(p, decisionStart(p, 3, 100),
           {
               {400, 700, 0.25, 0.5, 1, false, false, false},
               // loud but below the raised threshold: 700 + 800*0.25 = 900
               {800, 900, 0.5, 0.75, 2, false, false, false},
               // quiet with the new fall rate: max(50, 900 - 100*0.75) = 825
               {100, 825, 0.25, 0.75, 3, false, false, true},
           });
}

TEST(RecordFrameDecide, QuietFrameFloorsThresholdAtScaledVolume) {
  recordParam p = decisionParams();
  p.downRateBSInit = 2;
  // adjust: 1000 - 600*0.25 = 850; quiet: max(600*0.5 = 300, 850 - 1200) = 300
  runSteps(p, decisionStart(p, 5, 5), {{600, 300, 0.25, 2, 0, true, false, false}});
}

TEST(RecordFrameDecide, AdjustingFollowsFrameRatesForNAdjustFrames) {
  struct Case {
    int nAdjustFrame;
    int frames;
    bool adjustingAfter;
  };
  const Case cases[] = {{1, 1, false}, {2, 1, true}, {2, 2, false}, {3, 5, false},
                        {0, 6, true},  {-4, 6, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "nAdjustFrame " << c.nAdjustFrame << ", " << c.frames << " frames");
    recordParam p = decisionParams();
    p.nAdjustFrame = c.nAdjustFrame;
    recordFrameState state = decisionStart(p, 1000, 1000);
    state.speechStarted = true;  // leaves the frame rates alone on the threshold
    double expected = 1000;
    for (int f = 0; f < c.frames; ++f) {
      const double volume = f % 2 ? 400 : 2000;
      const bool adjusting = state.adjusting;
      recordFrameDecide(state, p, volume);
      if (adjusting) expected += volume > expected ? volume * 0.5 : -volume * 0.25;
      EXPECT_DOUBLE_EQ(state.threshold, expected) << "frame " << f + 1;
    }
    EXPECT_EQ(state.adjusting, c.adjustingAfter);
  }
}

TEST(RecordFrameDecide, ZeroLimitBeforeSpeechStopsAtFirstQuietFrame) {
  recordParam p = decisionParams();
  recordFrameState state = decisionStart(p, 0, 10);
  EXPECT_TRUE(recordFrameDecide(state, p, 10));
  EXPECT_FALSE(state.speechStarted);
}

TEST(RecordFrameStart, ThresholdFrameAndLimitsFromParameters) {
  struct Case {
    int nbits;
    int fs;
    double before, in;
    int frameLength;
    double threshold;
    int beforeFrames, inFrames;
  };
  const Case cases[] = {
      {16, 16000, 2.0, 0.5, 320, 819.2, 100, 25},
      {8, 16000, 0.0, 0.1, 320, 3.2, 0, 5},
      // 220 samples a frame: 50.11 frames a second
      {16, 11025, 1.0, 0.5, 220, 819.2, 50, 25},
      {16, 50, 3.0, 1e30, 1, 819.2, 150, 2147483647},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nbits << " bits at " << c.fs);
    recordParam p = decisionParams();
    p.nbits = c.nbits;
    p.fs = c.fs;
    p.nAdjustFrame = 7;
    p.silenceLimitBeforeSpeech = c.before;
    p.silenceLimitInSpeech = c.in;
    EXPECT_EQ(recordFrameLength(c.fs), c.frameLength);
    const recordFrameState state = recordFrameStart(p);
    EXPECT_DOUBLE_EQ(state.threshold, c.threshold);
    EXPECT_EQ(state.silenceLimitBeforeSpeech, c.beforeFrames);
    EXPECT_EQ(state.silenceLimitInSpeech, c.inFrames);
    EXPECT_EQ(state.adjustFramesLeft, 7);
    EXPECT_DOUBLE_EQ(state.upRate, p.upRateBSInit);
    EXPECT_DOUBLE_EQ(state.downRate, p.downRateBSInit);
    EXPECT_TRUE(state.adjusting);
    EXPECT_FALSE(state.speechStarted);
  }
  EXPECT_EQ(recordFrameLength(49), 0);
}

TEST(RecordFrameVolume, MeanAbsoluteDeviationTruncatedForEightBits) {
  const std::vector<int32_t> ramp = {0, 10, 20, 30};
  EXPECT_DOUBLE_EQ(recordFrameVolume(ramp.data(), ramp.size(), 16), 10);
  EXPECT_DOUBLE_EQ(recordFrameVolume(ramp.data(), ramp.size(), 8), 10);
  // mean 2/3: deviations -2/3, 1/3, 1/3
  const std::vector<int32_t> small = {0, 1, 1};
  EXPECT_DOUBLE_EQ(recordFrameVolume(small.data(), small.size(), 16), 4.0 / 9);
  EXPECT_DOUBLE_EQ(recordFrameVolume(small.data(), small.size(), 8), 0);
  const std::vector<int32_t> bytes = {128, 138, 118, 128, 255};
  // mean 153.4: deviations truncated to 25, 15, 35, 25, 101
  EXPECT_DOUBLE_EQ(recordFrameVolume(bytes.data(), bytes.size(), 8), 40.2);
  EXPECT_DOUBLE_EQ(recordFrameVolume(nullptr, 0, 16), 0);
}

TEST(RecordParamCheck, RejectsParametersWithTheirMessages) {
  struct Case {
    int nbits;
    int fs;
    double before, in;
    const char* message;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {16, 16000, 1, 1, ""},
      {8, 50, 0, 0, ""},
      {16, 0x3FFFFFFF, 1, 1, ""},
      {24, 16000, 1, 1, "error: \"nbits\" can only be 8 or 16!"},
      {24, 10, -1, -1, "error: \"nbits\" can only be 8 or 16!"},
      {0, 16000, 1, 1, "error: \"nbits\" can only be 8 or 16!"},
      {16, 16000, -0.01, -1, "error: \"silenceLimitBeforeSpeech\" must be greater or equal to 0!"},
      {16, 16000, nan, 1, "error: \"silenceLimitBeforeSpeech\" must be greater or equal to 0!"},
      {16, 10, 1, -1, "error: \"silenceLimitInSpeech\" must be greater or equal to 0!"},
      {16, 16000, 1, nan, "error: \"silenceLimitInSpeech\" must be greater or equal to 0!"},
      {16, 49, 1, 1, "error: \"fs\" must be between 50 and 1073741823!"},
      {8, -16000, 1, 1, "error: \"fs\" must be between 50 and 1073741823!"},
      {8, 0x40000000, 1, 1, "error: \"fs\" must be between 50 and 1073741823!"},
  };
  for (const Case& c : cases) {
    recordParam p = decisionParams();
    p.nbits = c.nbits;
    p.fs = c.fs;
    p.silenceLimitBeforeSpeech = c.before;
    p.silenceLimitInSpeech = c.in;
    EXPECT_EQ(recordParamCheck(p), c.message) << c.nbits << " bits, fs " << c.fs;
  }
}

// ---- Recordings on the software device ------------------------------------------------------

namespace {

// A threshold that stays at 819.2 and silence limits of 1 s before and 0.1 s (5 frames) in
// speech: a frame of volume 2000 is speech, one of 100 is silence.
recordParam steadyParams() {
  recordParam p{};
  p.totalDuration = 5;
  p.nbits = 16;
  p.fs = 16000;
  p.nAdjustFrame = 1;
  p.upRateBSModify = 1;
  p.silenceLimitBeforeSpeech = 1.0;
  p.silenceLimitInSpeech = 0.1;
  return p;
}

const int FRAME = 320;
const int32_t SENTINEL = -77777;

// Records with recordAutoStop and checks that no thread outlives the test.
class recorderTest : public testing::Test {
 protected:
  void SetUp() override {
    // The main thread and the watchdog's, once the threads of earlier tests are gone.
    m_threads = settledThreadCount(2);
  }
  void TearDown() override {
    EXPECT_LE(settledThreadCount(m_threads), m_threads) << "a thread was left running";
  }
  // Records into a buffer of capacity samples (plus sentinels behind it).
  int32_t record(const recordParam& p, int capacity, const char* stopFlag = nullptr) {
    m_buffer.assign(static_cast<size_t>(capacity) + 16, SENTINEL);
    testing::internal::CaptureStdout();
    const int32_t n = recordAutoStop(&p, m_buffer.data(), capacity, stopFlag);
    m_out = testing::internal::GetCapturedStdout();
    return n;
  }
  std::vector<int> recorded(int n) const { return std::vector<int>(m_buffer.begin(), m_buffer.begin() + n); }
  bool untouchedFrom(int from) const {
    for (size_t i = static_cast<size_t>(from); i < m_buffer.size(); ++i)
      if (m_buffer[i] != SENTINEL) return false;
    return true;
  }

  watchdog m_watchdog{"a recording"};
  int m_threads = 0;
  std::vector<int32_t> m_buffer;
  std::string m_out;
};

class RecordAutoStop : public recorderTest {
 protected:
  void SetUp() override {
    recorderTest::SetUp();
    m_soft.setFillOnQueue(true);
  }
  void TearDown() override {
    EXPECT_FALSE(m_soft.inputOpen()) << "the input device was left open";
    recorderTest::TearDown();
  }

  softWaveDevice m_soft;
};

std::vector<int> withSilence(std::vector<int> samples, int total) {
  samples.resize(static_cast<size_t>(total), 0);
  return samples;
}

// Frames of FRAME samples at those amplitudes, then silence up to totalFrames frames.
std::vector<int> framesThenSilence(const std::vector<int>& amplitudes, int totalFrames) {
  return withSilence(alternatingBlocks(FRAME, amplitudes), totalFrames * FRAME);
}

// 8-bit sound around the unsigned midpoint: loud frames (volume 50 > 3.2), then quiet (128
// each) up to totalFrames frames.
std::vector<int> eightBitSpeech(int loudFrames, int totalFrames) {
  std::vector<int> script;
  for (int f = 0; f < loudFrames; ++f)
    for (int i = 0; i < FRAME; ++i) script.push_back(i % 2 ? 78 : 178);
  script.resize(static_cast<size_t>(totalFrames) * FRAME, 128);
  return script;
}

}  // namespace

TEST_F(RecordAutoStop, StopsAfterSpeechAndSilenceWithExactSamples) {
  // 3 quiet frames, 4 of speech, then silence: the 5th silent frame (the 12th, in the
  // third buffer of five frames) stops.
  const std::vector<int> script = alternatingBlocks(FRAME, {100, 100, 100, 2000, 2000, 2000, 2000});
  m_soft.setInputSamples(script);
  const int32_t n = record(steadyParams(), 100000);
  EXPECT_EQ(n, 12 * FRAME);
  EXPECT_EQ(recorded(n), withSilence(script, 12 * FRAME));
  EXPECT_TRUE(untouchedFrom(n)) << "audio from after the stop was appended";
  EXPECT_EQ(m_out, "");
  const waveFormat format = m_soft.inputFormat();
  EXPECT_EQ(format.samplesPerSec, 16000u);
  EXPECT_EQ(format.channels, 1);
  EXPECT_EQ(format.blockAlign, 2);
  EXPECT_EQ(format.avgBytesPerSec, 32000u);
  EXPECT_EQ(format.bitsPerSample, 16);
  EXPECT_EQ(m_soft.inputCalls(WAVE_IN_CALL_RESET), 1);
  EXPECT_EQ(m_soft.inputCalls(WAVE_IN_CALL_CLOSE), 1);
}

TEST_F(RecordAutoStop, StopsOnSilenceBeforeSpeech) {
  m_soft.setInputSamples(alternatingBlocks(FRAME, std::vector<int>(60, 100)));
  const int32_t n = record(steadyParams(), 100000);
  EXPECT_EQ(n, 50 * FRAME);
  EXPECT_TRUE(untouchedFrom(n));
}

TEST_F(RecordAutoStop, RecordsEightBitSamplesAsUnsignedBytes) {
  recordParam p = steadyParams();
  p.nbits = 8;
  const std::vector<int> script = eightBitSpeech(6, 20);
  m_soft.setInputSamples(script);
  const int32_t n = record(p, 100000);
  EXPECT_EQ(n, 11 * FRAME);
  EXPECT_EQ(recorded(n), std::vector<int>(script.begin(), script.begin() + n));
  EXPECT_EQ(m_soft.inputFormat().blockAlign, 1);
  EXPECT_EQ(m_soft.inputFormat().avgBytesPerSec, 16000u);
}

TEST_F(RecordAutoStop, FullBufferStopsInsideAFrame) {
  const std::vector<int> script = alternatingBlocks(FRAME, std::vector<int>(20, 2000));
  m_soft.setInputSamples(script);
  const int capacity = 3 * FRAME + 40;
  const int32_t n = record(steadyParams(), capacity);
  EXPECT_EQ(n, capacity);
  EXPECT_EQ(recorded(n), std::vector<int>(script.begin(), script.begin() + capacity));
  EXPECT_TRUE(untouchedFrom(capacity));
}

TEST_F(RecordAutoStop, PresetStopFlagStopsAfterFirstFrame) {
  m_soft.setInputSamples(alternatingBlocks(FRAME, std::vector<int>(20, 2000)));
  const char stop = 1;
  const int32_t n = record(steadyParams(), 100000, &stop);
  EXPECT_EQ(n, FRAME);
  EXPECT_TRUE(untouchedFrom(FRAME));
}

TEST_F(RecordAutoStop, CapacityZeroStopsAtFirstFrameAndWritesNothing) {
  m_soft.setInputSamples(alternatingBlocks(FRAME, std::vector<int>(20, 2000)));
  EXPECT_EQ(record(steadyParams(), 0), 0);
  EXPECT_TRUE(untouchedFrom(0));
}

TEST_F(RecordAutoStop, OddByteRateKeepsBuffersToWholeSamples) {
  // 11025 Hz, 16 bits: 2205 bytes in 0.1 s, cut to 2204; frames of 220 samples
  recordParam p = steadyParams();
  p.fs = 11025;
  std::vector<int> script;
  for (int i = 0; i < 4000; ++i) script.push_back(i % 2 ? -3000 - i : 3000 + i);
  m_soft.setInputSamples(script);
  const int32_t n = record(p, 3000);
  EXPECT_EQ(n, 3000);
  EXPECT_EQ(recorded(n), std::vector<int>(script.begin(), script.begin() + 3000));
}

TEST_F(RecordAutoStop, ParameterErrorsOpenNothing) {
  recordParam p = steadyParams();
  p.nbits = 24;
  EXPECT_EQ(record(p, 100), -1);
  EXPECT_EQ(m_out, "error: \"nbits\" can only be 8 or 16!\n");
  p = steadyParams();
  p.fs = 40;
  EXPECT_EQ(record(p, 100), -1);
  EXPECT_EQ(m_out, "error: \"fs\" must be between 50 and 1073741823!\n");
  EXPECT_EQ(m_soft.inputOpens(), 0);
  EXPECT_TRUE(untouchedFrom(0));

  testing::internal::CaptureStdout();
  p = steadyParams();
  EXPECT_EQ(recordAutoStop(&p, nullptr, 100, nullptr), -1);
  EXPECT_EQ(recordAutoStop(nullptr, nullptr, 0, nullptr), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "error: no sample buffer for 100 samples!\nerror: no recording parameters!\n");
  EXPECT_EQ(m_soft.inputOpens(), 0);
}

TEST_F(RecordAutoStop, DeviceFailuresBeforeRecordingReturnMinusOneAndCleanUp) {
  struct Case {
    waveInCall call;
    int after;
    const char* output;
  };
  const Case cases[] = {
      {WAVE_IN_CALL_PREPARE, 0, "Error preparing WAVEHDR 0! -- 00000003\n"},
      {WAVE_IN_CALL_PREPARE, 1, "Error preparing WAVEHDR 1! -- 00000003\n"},
      {WAVE_IN_CALL_ADD, 0, "Error queueing WAVEHDR 0! -- 00000003\n"},
      {WAVE_IN_CALL_ADD, 1, "Error queueing WAVEHDR 1! -- 00000003\n"},
      {WAVE_IN_CALL_START, 0, "Error starting record! -- 00000003\n"},
  };
  m_soft.setInputSamples(alternatingBlocks(FRAME, std::vector<int>(20, 2000)));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    m_soft.failInputCall(c.call, WAVE_ERR_INVALPARAM, c.after, 1);
    const int closes = m_soft.inputCalls(WAVE_IN_CALL_CLOSE);
    EXPECT_EQ(record(steadyParams(), 100000), -1);
    EXPECT_EQ(m_out, c.output);
    EXPECT_FALSE(m_soft.inputOpen());
    EXPECT_EQ(m_soft.inputCalls(WAVE_IN_CALL_CLOSE), closes + 1) << "closed on the way out";
    EXPECT_TRUE(untouchedFrom(0));
  }
  // and the next recording goes through
  m_soft.setInputSamples(alternatingBlocks(FRAME, {2000}));
  EXPECT_EQ(record(steadyParams(), 100000), 6 * FRAME);
}

TEST_F(RecordAutoStop, OpenFailurePrintsDeviceError) {
  m_soft.setOpenResults(WAVE_ERR_NODEVICE, WAVE_OK);
  EXPECT_EQ(record(steadyParams(), 100), -1);
  EXPECT_EQ(m_out,
            "ERROR 0x00000001: Can't open WAVE In Device!\r\n"
            "No wave-input device is available on this system.\r\n");
}

TEST_F(RecordAutoStop, CloseIsRetriedThenGivenUp) {
  m_soft.setInputSamples(alternatingBlocks(FRAME, {2000}));
  m_soft.failInputCall(WAVE_IN_CALL_CLOSE, 77, 0, 2);
  EXPECT_EQ(record(steadyParams(), 100000), 6 * FRAME);
  EXPECT_EQ(m_out, "ERROR 0x0000004D: Can't close WAVE In Device!\r\n0x0000004D returned!\r\n"
                   "ERROR 0x0000004D: Can't close WAVE In Device!\r\n0x0000004D returned!\r\n");
  EXPECT_EQ(m_soft.inputCalls(WAVE_IN_CALL_CLOSE), 3);

  m_soft.failInputCall(WAVE_IN_CALL_CLOSE, 77);
  EXPECT_EQ(record(steadyParams(), 100000), 6 * FRAME);
  EXPECT_EQ(m_soft.inputCalls(WAVE_IN_CALL_CLOSE), 3 + RECORD_CLOSE_TRIES);
  EXPECT_FALSE(m_soft.inputOpen()) << "torn down all the same";
}

TEST_F(RecordAutoStop, FailuresDuringRecordingStopIt) {
  // The two first queueings pass; queueing buffer 0 again after its five frames fails.
  m_soft.setInputSamples(alternatingBlocks(FRAME, std::vector<int>(20, 2000)));
  m_soft.failInputCall(WAVE_IN_CALL_ADD, 5, 2, 1);
  EXPECT_EQ(record(steadyParams(), 100000), 5 * FRAME);
  EXPECT_EQ(m_out, "Error queueing WAVEHDR 0! -- 00000005\n");
  EXPECT_TRUE(untouchedFrom(5 * FRAME));

  // A reset that fails still ends the wait.
  m_soft.failInputCall(WAVE_IN_CALL_RESET, 5, 0, 1);
  m_soft.setInputSamples(alternatingBlocks(FRAME, {2000}));
  EXPECT_EQ(record(steadyParams(), 100000), 6 * FRAME);
  EXPECT_THAT(m_out, testing::StartsWith("Error resetting WAVE In Device! -- 00000005\n"));
}

TEST_F(RecordAutoStop, SecondRecordingWhileOneRunsIsRefused) {
  // Fed by hand: the first recording waits for its buffers until the test captures.
  m_soft.setFillOnQueue(false);
  m_soft.setInputSamples(alternatingBlocks(FRAME, std::vector<int>(20, 2000)));
  const recordParam p = steadyParams();
  std::vector<int32_t> first(10000, SENTINEL);
  char stop = 0;
  int32_t firstCount = -2;
  std::thread recorder([&] { firstCount = recordAutoStop(&p, first.data(), 10000, &stop); });
  while (m_soft.inputCalls(WAVE_IN_CALL_START) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  EXPECT_EQ(record(p, 100), -1);
  EXPECT_EQ(m_out, "error: a recording is already running!\n");
  EXPECT_EQ(m_soft.inputOpens(), 1);

  __atomic_store_n(&stop, 1, __ATOMIC_RELEASE);  // read by the recording thread at its next frame
  EXPECT_EQ(m_soft.capture(3200), 3200u);
  recorder.join();
  EXPECT_EQ(firstCount, FRAME);
}

// ---- Recordings through ALSA ----------------------------------------------------------------

namespace {

// ALSA's file plugin as the default capture device: the recordings read a file of samples,
// with silence after its end. Each file holds far more than a recording reads ahead of its
// stop (up to two buffers).
class RecordAutoStopOnAlsa : public recorderTest {};

}  // namespace

TEST_F(RecordAutoStopOnAlsa, StopsWhereTheFrameRulesSayWithExactSamples) {
  struct Case {
    const char* what;
    int nbits;
    std::vector<int> file;
    int capacity;
    int32_t expected;
  };
  const Case cases[] = {
      // 3 quiet frames, 4 of speech: the 5th silent frame after them (the 12th) stops
      {"speech then silence", 16, framesThenSilence({100, 100, 100, 2000, 2000, 2000, 2000}, 40), 100000,
       12 * FRAME},
      // a second of silence before any speech
      {"no speech", 16, framesThenSilence(std::vector<int>(60, 100), 70), 100000, 50 * FRAME},
      // 6 loud frames around the unsigned midpoint, then quiet: stops at the 11th
      {"eight bits", 8, eightBitSpeech(6, 40), 100000, 11 * FRAME},
      {"full buffer inside a frame", 16, framesThenSilence(std::vector<int>(20, 2000), 30), 3 * FRAME + 40,
       3 * FRAME + 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    alsaFileConfig alsa(c.file, c.nbits);
    recordParam p = steadyParams();
    p.nbits = c.nbits;
    const int32_t n = record(p, c.capacity);
    EXPECT_EQ(n, c.expected);
    EXPECT_EQ(recorded(n), std::vector<int>(c.file.begin(), c.file.begin() + c.expected));
    EXPECT_TRUE(untouchedFrom(n)) << "audio from after the stop was appended";
    EXPECT_EQ(m_out, "");
  }
}

TEST_F(RecordAutoStopOnAlsa, StopFlagAlreadySetStopsAfterTheFirstFrame) {
  alsaFileConfig alsa(framesThenSilence(std::vector<int>(20, 2000), 30), 16);
  const char stop = 1;
  EXPECT_EQ(record(steadyParams(), 100000, &stop), FRAME);
  EXPECT_TRUE(untouchedFrom(FRAME));
}

TEST_F(RecordAutoStopOnAlsa, DeviceThatAlsaCannotOpenPrintsAlsasMessage) {
  alsaFileConfig noPcm;
  EXPECT_EQ(record(steadyParams(), 100), -1);
  EXPECT_EQ(m_out, strFormat("ERROR 0x%08X: Can't open WAVE In Device!\r\n%s\r\n", WAVE_ERR_SYSTEM + ENOENT,
                             strerror(ENOENT)));
  EXPECT_TRUE(untouchedFrom(0));
}

TEST(RecordAutoStopHost, CHostRecordsThroughTheSharedLibrary) {
  const std::vector<int> file = framesThenSilence({100, 100, 100, 2000, 2000, 2000, 2000}, 40);
  alsaFileConfig alsa(file, 16);
  scratchDir dir;
  const std::string params = dir.write("record.prm",
                                       "nbits = 16\nfs = 16000\nnAdjustFrame = 1\nupRateBSModify = 1\n"
                                       "silenceLimitBeforeSpeech = 1.0\nsilenceLimitInSpeech = 0.1\n");
  const std::string wav = dir.file("recorded.wav");
  const programResult run = programRun(TULIM_HOST_PROGRAM, {"--record", params, "100000", wav});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, strFormat("recorded=%d\nwritten=1\n", 12 * FRAME));
  int fs = 0, nbits = 0, count = 0;
  int* samples = readAudioFile(wav.c_str(), &fs, &nbits, &count);
  ASSERT_EQ(count, 12 * FRAME);
  EXPECT_EQ(std::vector<int>(samples, samples + count), std::vector<int>(file.begin(), file.begin() + count));
  free(samples);
}

// ---- Parameter file and printing ------------------------------------------------------------

TEST(RecordParamRead, OnlyNbitsLeavesEveryOtherFieldZero) {
  scratchDir dir;
  recordParam p;
  memset(&p, 0x55, sizeof p);
  recordParamRead(dir.write("r.prm", "nbits = 16\n").c_str(), &p);
  recordParam zero{};
  zero.nbits = 16;
  EXPECT_EQ(memcmp(&p, &zero, sizeof p), 0);
}

TEST(RecordParamRead, ReadsEveryKeyWithCommentsAndOverrides) {
  scratchDir dir;
  const std::string file = dir.write("r.prm",
                                     "% recording parameters\n"
                                     "\n"
                                     "totalDuration = 5.5\r\n"
                                     "nbits=8 % comment\n"
                                     "  fs =  16000  \n"
                                     "nAdjustFrame = -3\n"
                                     "upRateBSInit = 0.01\n"
                                     "upRateBSNew = 0.02\n"
                                     "upRateBSModify = 1.5\n"
                                     "downRateBSInit = 0.03\n"
                                     "downRateBSNew = 0.04\n"
                                     "downRateBSModifyUsingVol = 0.9\n"
                                     "upRateFrame = 0.05\n"
                                     "downRateFrame = 0.06\n"
                                     "silenceLimitBeforeSpeech = 3\n"
                                     "silenceLimitInSpeech = 0.75\n"
                                     "a line without an equals sign\n"
                                     "nbits = 16\n");
  recordParam p;
  recordParamRead(file.c_str(), &p);
  EXPECT_DOUBLE_EQ(p.totalDuration, 5.5);
  EXPECT_EQ(p.nbits, 16);
  EXPECT_EQ(p.fs, 16000);
  EXPECT_EQ(p.nAdjustFrame, -3);
  EXPECT_DOUBLE_EQ(p.upRateBSInit, 0.01);
  EXPECT_DOUBLE_EQ(p.upRateBSNew, 0.02);
  EXPECT_DOUBLE_EQ(p.upRateBSModify, 1.5);
  EXPECT_DOUBLE_EQ(p.downRateBSInit, 0.03);
  EXPECT_DOUBLE_EQ(p.downRateBSNew, 0.04);
  EXPECT_DOUBLE_EQ(p.downRateBSModifyUsingVol, 0.9);
  EXPECT_DOUBLE_EQ(p.upRateFrame, 0.05);
  EXPECT_DOUBLE_EQ(p.downRateFrame, 0.06);
  EXPECT_DOUBLE_EQ(p.silenceLimitBeforeSpeech, 3);
  EXPECT_DOUBLE_EQ(p.silenceLimitInSpeech, 0.75);
}

TEST(RecordParamRead, UnknownKeyIsFatalWithFixedPlace) {
  scratchDir dir;
  const std::string file = dir.write("r.prm", "nbits = 16\nNbits = 8\n");
  recordParam p;
  testing::internal::CaptureStdout();
  const std::string message = fatalMessage([&] { recordParamRead(file.c_str(), &p); });
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, testing::StartsWith("Unknown key = Nbits\n"));
  EXPECT_EQ(message, "Error in parsing " + file + " (line 434 of file recording)");
}

TEST(RecordParamRead, RefusesAValueThatIsNotWhollyAFiniteNumber) {
  struct Case {
    const char* key;
    const char* value;
    const char* allowed;
  } cases[] = {
      {"fs", "16000abc", "a whole number"},
      {"nbits", "abc", "a whole number"},
      {"nAdjustFrame", "1.5", "a whole number"},
      {"totalDuration", "5s", "a finite number"},
      {"silenceLimitInSpeech", "nan", "a finite number"},
      {"upRateFrame", "1e999", "a finite number"},
      {"downRateFrame", "", "a finite number"},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    const std::string file = dir.write("r.prm", std::string("nbits = 16\n") + c.key + " = " + c.value + "\n");
    recordParam p;
    EXPECT_THAT(fatalMessage([&] { recordParamRead(file.c_str(), &p); }),
                testing::StartsWith(std::string("Error: ") + c.key + " = " + c.value + " in " + file +
                                    " is not allowed; it must be " + c.allowed))
        << c.key;
  }
}

TEST(RecordParamRead, MissingFileIsFatal) {
  scratchDir dir;
  recordParam p;
  EXPECT_THAT(fatalMessage([&] { recordParamRead(dir.file("none.prm").c_str(), &p); }),
              testing::MatchesRegex("Cannot open file .*none.prm: No such file or directory \\(line [0-9]+ of .*\\)"));

  for (int which = 0; which < 2; ++which) {
    const std::string message =
        fatalMessage([&] { recordParamRead(which ? dir.file("none.prm").c_str() : nullptr, which ? nullptr : &p); });
    EXPECT_THAT(message, testing::MatchesRegex("Error: recordParamRead needs a .* \\(line [0-9]+ of recording\\)"));
  }
}

TEST(RecordParamPrint, PrintsEveryFieldInOrder) {
  recordParam p{};
  p.totalDuration = 5.5;
  p.nbits = 16;
  p.fs = 16000;
  p.nAdjustFrame = -2;
  p.upRateBSInit = 0.01;
  p.upRateBSNew = 0.02;
  p.upRateBSModify = 1.5;
  p.downRateBSInit = 0.03;
  p.downRateBSNew = 0.04;
  p.downRateBSModifyUsingVol = 0.9;
  p.upRateFrame = 0.05;
  p.downRateFrame = 0.06;
  p.silenceLimitBeforeSpeech = 3;
  p.silenceLimitInSpeech = 0.75;
  testing::internal::CaptureStdout();
  recordParamPrint(&p);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "totalDuration = 5.500000\n"
            "nbits = 16\n"
            "fs = 16000\n"
            "nAdjustFrame = -2\n"
            "upRateBSInit = 0.010000\n"
            "upRateBSNew = 0.020000\n"
            "upRateBSModify = 1.500000\n"
            "downRateBSInit = 0.030000\n"
            "downRateBSNew = 0.040000\n"
            "downRateBSModifyUsingVol = 0.900000\n"
            "upRateFrame = 0.050000\n"
            "downRateFrame = 0.060000\n"
            "silenceLimitBeforeSpeech = 3.000000\n"
            "silenceLimitInSpeech = 0.750000\n");
}

TEST(WaveErrorPrint, PrintsCodeTextAndDeviceText) {
  testing::internal::CaptureStdout();
  waveErrorPrint(WAVE_ERR_STILLPLAYING, "Can't close WAVE In Device!");
  waveErrorPrint(0xABCD, "Can't open WAVE In Device!");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR 0x00000005: Can't close WAVE In Device!\r\n"
            "Buffers are still queued on the wave-input device.\r\n"
            "ERROR 0x0000ABCD: Can't open WAVE In Device!\r\n"
            "0x0000ABCD returned!\r\n");
}
