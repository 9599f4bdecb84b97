#include "platform/waveInDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "alsaFileConfig.h"
#include "softWaveDevice.h"
#include "waveFixtures.h"

using namespace tulim;
using tulim::test::alsaFileConfig;
using tulim::test::pcmBytes;
using tulim::test::softWaveDevice;
using tulim::test::waveBuffer;

namespace {

const waveFormat MONO16{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};

std::vector<int> ramp(int n) {
  std::vector<int> samples;
  for (int i = 0; i < n; ++i) samples.push_back(i * 7 - 300);
  return samples;
}

std::string ramp16Bytes(int n) { return pcmBytes(ramp(n), 16); }

}  // namespace

TEST(WaveInDevice, WithoutInstalledBackendOpensOnAlsaAndGivesItsError) {
  alsaFileConfig noPcm;
  std::unique_ptr<waveInDevice> device;
  EXPECT_EQ(waveInDevice::open(device, MONO16), WAVE_ERR_SYSTEM + ENOENT);
  EXPECT_EQ(device, nullptr);
}

TEST(WaveInDevice, RejectsFormatItCannotTake) {
  softWaveDevice soft;
  std::unique_ptr<waveInDevice> device;
  waveFormat muLaw{WAVE_FORMAT_MULAW, 1, 8000, 8000, 1, 8, 0};
  EXPECT_EQ(waveInDevice::open(device, muLaw), WAVE_ERR_BADFORMAT);
  soft.setOpenResults(WAVE_ERR_NODEVICE, WAVE_OK);
  EXPECT_EQ(waveInDevice::open(device, MONO16), WAVE_ERR_NODEVICE);
  EXPECT_EQ(soft.inputOpens(), 0);
}

TEST(WaveInDevice, FillsQueuedBuffersInOrderOnceStarted) {
  softWaveDevice soft;
  soft.setInputSamples(ramp(20));
  std::unique_ptr<waveInDevice> device;
  ASSERT_EQ(waveInDevice::open(device, MONO16), WAVE_OK);
  waveBuffer a(16), b(16);
  ASSERT_EQ(device->prepareHeader(a.header), WAVE_OK);
  ASSERT_EQ(device->prepareHeader(b.header), WAVE_OK);
  ASSERT_EQ(device->addBuffer(a.header), WAVE_OK);
  ASSERT_EQ(device->addBuffer(b.header), WAVE_OK);

  EXPECT_EQ(soft.capture(10), 0u) << "nothing is taken before start";
  ASSERT_EQ(device->start(), WAVE_OK);
  EXPECT_EQ(soft.capture(20), 20u);
  EXPECT_TRUE(a.header.flags & WAVE_HDR_DONE);
  EXPECT_FALSE(a.header.flags & WAVE_HDR_INQUEUE);
  EXPECT_FALSE(b.header.flags & WAVE_HDR_DONE);
  EXPECT_EQ(soft.capture(100), 12u) << "only the queued room is taken";

  waveTime time;
  ASSERT_EQ(device->getPosition(time), WAVE_OK);
  EXPECT_EQ(time.type, WAVE_TIME_BYTES);
  EXPECT_EQ(time.value, 32u);
  time.type = WAVE_TIME_SAMPLES;
  ASSERT_EQ(device->getPosition(time), WAVE_OK);
  EXPECT_EQ(time.value, 16u);

  EXPECT_EQ(a.recorded() + b.recorded(), ramp16Bytes(16));
  ASSERT_EQ(device->unprepareHeader(a.header), WAVE_OK);
  ASSERT_EQ(device->unprepareHeader(b.header), WAVE_OK);
  ASSERT_EQ(device->close(), WAVE_OK);
  EXPECT_FALSE(soft.inputOpen());
}

TEST(WaveInDevice, ResetReturnsPartBuffersAndRestartsPosition) {
  softWaveDevice soft;
  std::unique_ptr<waveInDevice> device;
  ASSERT_EQ(waveInDevice::open(device, MONO16), WAVE_OK);
  waveBuffer a(16), b(16);
  device->prepareHeader(a.header);
  device->prepareHeader(b.header);
  device->addBuffer(a.header);
  device->addBuffer(b.header);
  device->start();
  ASSERT_EQ(soft.capture(6), 6u);

  EXPECT_EQ(device->close(), WAVE_ERR_STILLPLAYING);
  EXPECT_EQ(device->unprepareHeader(a.header), WAVE_ERR_STILLPLAYING);
  ASSERT_EQ(device->reset(), WAVE_OK);
  EXPECT_EQ(a.header.bytesRecorded, 6u);
  EXPECT_EQ(b.header.bytesRecorded, 0u);
  EXPECT_TRUE(a.header.flags & WAVE_HDR_DONE);
  EXPECT_TRUE(b.header.flags & WAVE_HDR_DONE);
  waveTime time;
  device->getPosition(time);
  EXPECT_EQ(time.value, 0u);
  EXPECT_EQ(soft.capture(6), 0u) << "a reset stops the input";

  ASSERT_EQ(device->close(), WAVE_OK);
  EXPECT_EQ(device->close(), WAVE_ERR_INVALHANDLE);
  EXPECT_EQ(device->start(), WAVE_ERR_INVALHANDLE);
}

TEST(WaveInDevice, RefusesUnpreparedOrTwiceQueuedBuffers) {
  softWaveDevice soft;
  std::unique_ptr<waveInDevice> device;
  ASSERT_EQ(waveInDevice::open(device, MONO16), WAVE_OK);
  waveBuffer a(8);
  EXPECT_EQ(device->addBuffer(a.header), WAVE_ERR_UNPREPARED);
  waveHeader empty;
  empty.bufferLength = 8;
  EXPECT_EQ(device->prepareHeader(empty), WAVE_ERR_INVALPARAM);
  device->prepareHeader(a.header);
  ASSERT_EQ(device->addBuffer(a.header), WAVE_OK);
  EXPECT_EQ(device->addBuffer(a.header), WAVE_ERR_STILLPLAYING);
  device->reset();
  device->unprepareHeader(a.header);
  EXPECT_EQ(device->close(), WAVE_OK);
}

// The recorder's way: a thread takes the device's messages from its queue and queues each
// returned buffer again until it has enough, then resets and waits for every buffer.
TEST(WaveInDevice, NotifiesThreadThroughMessageQueue) {
  softWaveDevice soft;
  soft.setInputSamples(ramp(200));
  soft.setAutoCapture(7);
  waveMessageQueue queue;
  std::unique_ptr<waveInDevice> device;
  ASSERT_EQ(waveInDevice::open(device, MONO16, &queue), WAVE_OK);
  waveBuffer buffers[2] = {waveBuffer(40), waveBuffer(40)};

  std::string recorded;
  std::vector<waveMessageType> seen;
  std::thread recorder([&] {
    bool recording = true;
    int returned = 0;
    waveMessage message;
    while (queue.get(message)) {
      seen.push_back(message.type);
      if (message.type != WAVE_IN_DATA) continue;
      recorded.append(message.header->data, message.header->bytesRecorded);
      if (recording && recorded.size() >= 400) {
        recording = false;
        device->reset();
      }
      if (recording) {
        device->addBuffer(*message.header);
      } else if (++returned == 2) {
        break;
      }
    }
  });
  for (waveBuffer& b : buffers) {
    ASSERT_EQ(device->prepareHeader(b.header), WAVE_OK);
    ASSERT_EQ(device->addBuffer(b.header), WAVE_OK);
  }
  ASSERT_EQ(device->start(), WAVE_OK);
  recorder.join();
  for (waveBuffer& b : buffers) ASSERT_EQ(device->unprepareHeader(b.header), WAVE_OK);
  ASSERT_EQ(device->close(), WAVE_OK);

  ASSERT_GE(recorded.size(), 400u);
  EXPECT_EQ(recorded.substr(0, 400), ramp16Bytes(200));
  EXPECT_EQ(recorded.substr(400), std::string(recorded.size() - 400, '\0')) << "then silence";
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), WAVE_IN_OPEN);
  waveMessage last;
  ASSERT_TRUE(queue.get(last));
  EXPECT_EQ(last.type, WAVE_IN_CLOSE);
}

TEST(WaveInDevice, BackendMayRefuseCallsWithItsCode) {
  struct Case {
    waveInCall call;
    unsigned (*run)(waveInDevice& device, waveHeader& header);
  };
  const Case cases[] = {
      {WAVE_IN_CALL_PREPARE, [](waveInDevice& d, waveHeader& h) { return d.prepareHeader(h); }},
      {WAVE_IN_CALL_ADD, [](waveInDevice& d, waveHeader& h) { return d.addBuffer(h); }},
      {WAVE_IN_CALL_START, [](waveInDevice& d, waveHeader&) { return d.start(); }},
      {WAVE_IN_CALL_RESET, [](waveInDevice& d, waveHeader&) { return d.reset(); }},
      {WAVE_IN_CALL_UNPREPARE, [](waveInDevice& d, waveHeader& h) { return d.unprepareHeader(h); }},
      {WAVE_IN_CALL_CLOSE, [](waveInDevice& d, waveHeader&) { return d.close(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    softWaveDevice soft;
    std::unique_ptr<waveInDevice> device;
    ASSERT_EQ(waveInDevice::open(device, MONO16), WAVE_OK);
    waveBuffer a(8);
    if (c.call != WAVE_IN_CALL_PREPARE) {
      ASSERT_EQ(device->prepareHeader(a.header), WAVE_OK);
    }
    soft.failInputCall(c.call, 42, 1, 1);
    EXPECT_EQ(c.run(*device, a.header), WAVE_OK) << "the first call passes";
    if (c.call == WAVE_IN_CALL_ADD) device->reset();
    if (c.call == WAVE_IN_CALL_CLOSE) continue;
    EXPECT_EQ(c.run(*device, a.header), 42u);
    EXPECT_EQ(c.run(*device, a.header), WAVE_OK) << "then the count is spent";
    device->reset();
    device->unprepareHeader(a.header);
    EXPECT_EQ(device->close(), WAVE_OK);
  }
  softWaveDevice soft;
  std::unique_ptr<waveInDevice> device;
  ASSERT_EQ(waveInDevice::open(device, MONO16), WAVE_OK);
  soft.failInputCall(WAVE_IN_CALL_CLOSE, 42);
  EXPECT_EQ(device->close(), 42u);
  EXPECT_TRUE(soft.inputOpen());
  soft.failInputCall(WAVE_IN_CALL_CLOSE, WAVE_OK);
  EXPECT_EQ(device->close(), WAVE_OK);
  EXPECT_EQ(soft.inputCalls(WAVE_IN_CALL_CLOSE), 2);
}

TEST(WaveInDevice, FillOnQueueFillsBuffersAsTheyAreQueued) {
  softWaveDevice soft;
  soft.setInputSamples(ramp(20));
  soft.setFillOnQueue(true);
  waveMessageQueue queue;
  std::unique_ptr<waveInDevice> device;
  ASSERT_EQ(waveInDevice::open(device, MONO16, &queue), WAVE_OK);
  waveBuffer a(16), b(16);
  device->prepareHeader(a.header);
  device->prepareHeader(b.header);
  ASSERT_EQ(device->addBuffer(a.header), WAVE_OK);
  EXPECT_EQ(a.header.bytesRecorded, 0u) << "nothing before the start";
  ASSERT_EQ(device->start(), WAVE_OK);
  EXPECT_TRUE(a.header.flags & WAVE_HDR_DONE);
  EXPECT_EQ(a.recorded(), ramp16Bytes(8));
  ASSERT_EQ(device->addBuffer(b.header), WAVE_OK);
  EXPECT_EQ(b.recorded(), ramp16Bytes(16).substr(16));
  ASSERT_EQ(device->addBuffer(a.header), WAVE_OK);
  EXPECT_EQ(a.recorded(), ramp16Bytes(20).substr(32) + std::string(8, '\0')) << "then silence";
  EXPECT_EQ(soft.scriptTaken(), 48u);

  waveMessage message;
  std::vector<waveHeader*> returned;
  ASSERT_TRUE(queue.get(message));
  EXPECT_EQ(message.type, WAVE_IN_OPEN);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(queue.get(message));
    EXPECT_EQ(message.type, WAVE_IN_DATA);
    returned.push_back(message.header);
  }
  EXPECT_EQ(returned, (std::vector<waveHeader*>{&a.header, &b.header, &a.header}));
  device->unprepareHeader(a.header);
  device->unprepareHeader(b.header);
  EXPECT_EQ(device->close(), WAVE_OK);
}
