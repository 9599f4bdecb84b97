// A thread's message queue for wave-device notifications: devices opened with one post
// WAVE_IN_* / WAVE_OUT_* messages to it from any thread, and the owning thread takes them in
// order, blocking while it is empty. The recorder's thread runs its loop on one.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "waveIo.h"

namespace tulim {

class waveMessageQueue {
 public:
  waveMessageQueue() = default;
  waveMessageQueue(const waveMessageQueue&) = delete;
  waveMessageQueue& operator=(const waveMessageQueue&) = delete;

  void post(const waveMessage& message);

  // Takes the oldest message, waiting for one; false once quit() has been called and every
  // message posted before it has been taken (the end of the thread's loop).
  bool get(waveMessage& message);

  // Ends the loop of the thread that reads the queue; messages posted later are dropped.
  void quit();

 private:
  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<waveMessage> m_messages;
  bool m_quit = false;
};

}  // namespace tulim
