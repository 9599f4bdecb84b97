#include "platform/alsaWaveFactory.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "alsaFileConfig.h"
#include "platform/waveBackendFactory.h"
#include "platform/waveIo.h"
#include "platform/waveInDevice.h"
#include "platform/waveOutDevice.h"
#include "threadCount.h"
#include "watchdog.h"
#include "waveFixtures.h"

using namespace tulim;
using tulim::test::alsaFileConfig;
using tulim::test::pcmBytes;
using tulim::test::settledThreadCount;
using tulim::test::watchdog;
using tulim::test::waveBuffer;

namespace {

waveFormat monoFormat(uint32_t rate, uint16_t bits) {
  const uint16_t align = bits / 8;
  return waveFormat{WAVE_FORMAT_PCM, 1, rate, rate * align, align, bits, 0};
}

std::vector<int> pattern(int n, int bits) {
  std::vector<int> samples;
  for (int i = 0; i < n; ++i) samples.push_back(bits == 8 ? (i * 11 + 5) % 256 : (i * 53) % 60000 - 30000);
  return samples;
}

// Every device closes its ALSA stream's thread with it.
class AlsaWaveFactory : public testing::Test {
 protected:
  // The main thread and the watchdog's, once the threads of earlier tests are gone.
  void SetUp() override { m_threads = settledThreadCount(2); }
  void TearDown() override {
    EXPECT_LE(settledThreadCount(m_threads), m_threads) << "a thread was left running";
  }

  watchdog m_watchdog{"a device on ALSA"};
  int m_threads = 0;
};

// Takes the device's messages until count of the given type have come.
std::vector<waveMessage> messagesUntil(waveMessageQueue& queue, waveMessageType type, int count) {
  std::vector<waveMessage> seen;
  waveMessage message;
  while (count > 0 && queue.get(message)) {
    seen.push_back(message);
    if (message.type == type) --count;
  }
  return seen;
}

}  // namespace

// The recorder's way: each waveBuffer that comes back is queued again until enough has come.
// ALSA's file plugin hands over the file's bytes, then (past its end) silence.
TEST_F(AlsaWaveFactory, CapturesIntoQueuedBuffersInOrderThenSilence) {
  for (uint16_t bits : {16, 8}) {
    SCOPED_TRACE(bits);
    const std::vector<int> samples = pattern(2500, bits);
    alsaFileConfig alsa(samples, bits);
    waveMessageQueue queue;
    std::unique_ptr<waveInDevice> device;
    ASSERT_EQ(waveInDevice::open(device, monoFormat(16000, bits), &queue), WAVE_OK);
    const size_t length = 700 * bits / 8;
    waveBuffer buffers[2] = {waveBuffer(std::string(length, 'x')), waveBuffer(std::string(length, 'x'))};
    for (waveBuffer& b : buffers) {
      ASSERT_EQ(device->prepareHeader(b.header), WAVE_OK);
      ASSERT_EQ(device->addBuffer(b.header), WAVE_OK);
    }
    ASSERT_EQ(device->start(), WAVE_OK);

    std::string recorded;
    waveMessage message;
    ASSERT_TRUE(queue.get(message));
    EXPECT_EQ(message.type, WAVE_IN_OPEN);
    for (int k = 0; k < 5; ++k) {
      ASSERT_TRUE(queue.get(message));
      ASSERT_EQ(message.type, WAVE_IN_DATA);
      EXPECT_EQ(message.header, &buffers[k % 2].header) << "returned in the order queued";
      EXPECT_EQ(message.header->bytesRecorded, length);
      recorded.append(message.header->data, message.header->bytesRecorded);
      if (k < 3) {
        ASSERT_EQ(device->addBuffer(*message.header), WAVE_OK);
      }
    }
    waveTime time;
    ASSERT_EQ(device->getPosition(time), WAVE_OK);
    EXPECT_EQ(time.value, 5 * length);
    const std::string silence(5 * length - pcmBytes(samples, bits).size(), bits == 8 ? '\x80' : '\0');
    EXPECT_EQ(recorded, pcmBytes(samples, bits) + silence);

    ASSERT_EQ(device->reset(), WAVE_OK);
    for (waveBuffer& b : buffers) ASSERT_EQ(device->unprepareHeader(b.header), WAVE_OK);
    ASSERT_EQ(device->close(), WAVE_OK);
    const std::vector<waveMessage> rest = messagesUntil(queue, WAVE_IN_CLOSE, 1);
    EXPECT_EQ(rest.back().type, WAVE_IN_CLOSE);
  }
}

TEST_F(AlsaWaveFactory, NothingIsCapturedBeforeTheStart) {
  const std::vector<int> samples = pattern(400, 16);
  alsaFileConfig alsa(samples, 16);
  waveMessageQueue queue;
  std::unique_ptr<waveInDevice> device;
  ASSERT_EQ(waveInDevice::open(device, monoFormat(8000, 16), &queue), WAVE_OK);
  waveBuffer a(std::string(100, 'x')), b(std::string(100, 'x'));
  device->prepareHeader(a.header);
  device->prepareHeader(b.header);
  ASSERT_EQ(device->addBuffer(a.header), WAVE_OK);
  ASSERT_EQ(device->reset(), WAVE_OK);
  EXPECT_EQ(a.header.bytesRecorded, 0u);

  ASSERT_EQ(device->addBuffer(b.header), WAVE_OK);
  ASSERT_EQ(device->start(), WAVE_OK);
  messagesUntil(queue, WAVE_IN_DATA, 2);
  EXPECT_EQ(b.recorded(), pcmBytes(samples, 16).substr(0, 100)) << "the file from its start";
  device->unprepareHeader(a.header);
  device->unprepareHeader(b.header);
  EXPECT_EQ(device->close(), WAVE_OK);
}

TEST_F(AlsaWaveFactory, PlaysBuffersInOrderAndReturnsEach) {
  alsaFileConfig alsa({}, 16);
  waveMessageQueue queue;
  std::unique_ptr<waveOutDevice> device;
  ASSERT_EQ(waveOutDevice::open(device, monoFormat(16000, 16), &queue), WAVE_OK);
  const std::string sound = pcmBytes(pattern(3000, 16), 16);
  // Buffer lengths that split samples between buffers.
  waveBuffer buffers[3] = {waveBuffer(sound.substr(0, 1001)), waveBuffer(sound.substr(1001, 3999)),
                       waveBuffer(sound.substr(5000))};
  for (waveBuffer& b : buffers) {
    ASSERT_EQ(device->prepareHeader(b.header), WAVE_OK);
    ASSERT_EQ(device->write(b.header), WAVE_OK);
  }
  std::vector<waveHeader*> done;
  for (const waveMessage& m : messagesUntil(queue, WAVE_OUT_DONE, 3))
    if (m.type == WAVE_OUT_DONE) done.push_back(m.header);
  EXPECT_EQ(done, (std::vector<waveHeader*>{&buffers[0].header, &buffers[1].header, &buffers[2].header}));
  waveTime time;
  do {
    ASSERT_EQ(device->getPosition(time), WAVE_OK);
  } while (time.value < sound.size());
  EXPECT_EQ(time.value, sound.size());
  for (waveBuffer& b : buffers) ASSERT_EQ(device->unprepareHeader(b.header), WAVE_OK);
  ASSERT_EQ(device->close(), WAVE_OK);
  EXPECT_EQ(alsa.played(), sound);
}

// ALSA is loaded when the first device opens; a system without its library has no device.
TEST_F(AlsaWaveFactory, WithoutItsLibraryThereIsNoDevice) {
  alsaWaveFactory missing("default", "libtulim-none.so.0");
  setWaveBackendFactory(&missing);
  std::unique_ptr<waveInDevice> input;
  std::unique_ptr<waveOutDevice> output;
  EXPECT_EQ(waveInDevice::open(input, monoFormat(16000, 16)), WAVE_ERR_NODEVICE);
  EXPECT_EQ(waveOutDevice::open(output, monoFormat(16000, 16)), WAVE_ERR_NODEVICE);
  setWaveBackendFactory(nullptr);
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(output, nullptr);
  EXPECT_EQ(waveInErrorText(WAVE_ERR_NODEVICE), "No wave-input device is available on this system.");
}
