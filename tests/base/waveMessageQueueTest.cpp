#include "platform/waveMessageQueue.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tulim;

TEST(WaveMessageQueue, DeliversInOrderAcrossThreadsThenEndsAfterQuit) {
  waveMessageQueue queue;
  waveHeader header;
  std::thread poster([&] {
    queue.post(waveMessage{WAVE_IN_OPEN, nullptr});
    queue.post(waveMessage{WAVE_IN_DATA, &header});
    queue.quit();
    queue.post(waveMessage{WAVE_IN_CLOSE, nullptr});
  });
  waveMessage message;
  ASSERT_TRUE(queue.get(message));
  EXPECT_EQ(message.type, WAVE_IN_OPEN);
  ASSERT_TRUE(queue.get(message));
  EXPECT_EQ(message.type, WAVE_IN_DATA);
  EXPECT_EQ(message.header, &header);
  EXPECT_FALSE(queue.get(message));
  poster.join();
  EXPECT_FALSE(queue.get(message));
}
