#include "platform/waveOutDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "alsaFileConfig.h"
#include "softWaveDevice.h"
#include "waveFixtures.h"

using namespace tulim;
using tulim::test::alsaFileConfig;
using tulim::test::softWaveDevice;
using tulim::test::waveBuffer;

namespace {

const waveFormat MONO8{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};

}  // namespace

TEST(WaveOutDevice, WithoutInstalledBackendOpensOnAlsaAndGivesItsError) {
  alsaFileConfig noPcm;
  std::unique_ptr<waveOutDevice> device;
  EXPECT_EQ(waveOutDevice::open(device, MONO8), WAVE_ERR_SYSTEM + ENOENT);
  EXPECT_EQ(device, nullptr);
}

TEST(WaveOutDevice, PlaysBuffersInOrderAndHoldsWhilePaused) {
  softWaveDevice soft;
  waveMessageQueue queue;
  std::unique_ptr<waveOutDevice> device;
  ASSERT_EQ(waveOutDevice::open(device, MONO8, &queue), WAVE_OK);
  EXPECT_EQ(soft.outputFormat().samplesPerSec, 8000u);
  waveBuffer a("hello "), b("world");
  device->prepareHeader(a.header);
  device->prepareHeader(b.header);
  ASSERT_EQ(device->write(a.header), WAVE_OK);
  ASSERT_EQ(device->write(b.header), WAVE_OK);

  EXPECT_EQ(soft.render(4), 4u);
  ASSERT_EQ(device->pause(), WAVE_OK);
  EXPECT_EQ(soft.render(4), 0u);
  ASSERT_EQ(device->restart(), WAVE_OK);
  EXPECT_EQ(soft.render(100), 7u);
  EXPECT_EQ(soft.played(), "hello world");
  EXPECT_TRUE(a.header.flags & WAVE_HDR_DONE);
  EXPECT_TRUE(b.header.flags & WAVE_HDR_DONE);
  waveTime time;
  ASSERT_EQ(device->getPosition(time), WAVE_OK);
  EXPECT_EQ(time.value, 11u);

  device->unprepareHeader(a.header);
  device->unprepareHeader(b.header);
  ASSERT_EQ(device->close(), WAVE_OK);
  waveMessage message;
  std::vector<waveMessageType> types;
  std::vector<waveHeader*> done;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(queue.get(message));
    types.push_back(message.type);
    if (message.type == WAVE_OUT_DONE) done.push_back(message.header);
  }
  EXPECT_EQ(types, (std::vector<waveMessageType>{WAVE_OUT_OPEN, WAVE_OUT_DONE, WAVE_OUT_DONE, WAVE_OUT_CLOSE}));
  EXPECT_EQ(done, (std::vector<waveHeader*>{&a.header, &b.header}));
}

TEST(WaveOutDevice, ResetReturnsQueuedBuffersAndRestartsPosition) {
  softWaveDevice soft;
  std::unique_ptr<waveOutDevice> device;
  ASSERT_EQ(waveOutDevice::open(device, MONO8), WAVE_OK);
  waveBuffer a("abcdef");
  device->prepareHeader(a.header);
  device->write(a.header);
  soft.render(2);
  EXPECT_EQ(device->close(), WAVE_ERR_STILLPLAYING);
  ASSERT_EQ(device->reset(), WAVE_OK);
  EXPECT_TRUE(a.header.flags & WAVE_HDR_DONE);
  waveTime time;
  device->getPosition(time);
  EXPECT_EQ(time.value, 0u);
  EXPECT_EQ(soft.render(4), 0u);
  EXPECT_EQ(soft.played(), "ab");
  device->unprepareHeader(a.header);
  EXPECT_EQ(device->close(), WAVE_OK);
  EXPECT_FALSE(soft.outputOpen());
}
