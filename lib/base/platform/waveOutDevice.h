// The default wave-output device: prepared buffers are written to it and played in order,
// each returned once played; playback can be paused and restarted. Used by the wave device
// class, which polls the byte position; a device opened with a waveMessageQueue also posts
// WAVE_OUT_OPEN, WAVE_OUT_DONE (message.header: the buffer played) and WAVE_OUT_CLOSE there.
// Every call may come from any thread. The bytes go to the backend of the installed factory
// (waveBackendFactory.h), by default ALSA's "default" PCM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "waveBackendFactory.h"
#include "waveIo.h"
#include "waveMessageQueue.h"

namespace tulim {

class waveOutDevice {
 public:
  // Opens the default device for a PCM format (waveFormatPlayable); notify as for input.
  static unsigned open(std::unique_ptr<waveOutDevice>& device, const waveFormat& format,
                       waveMessageQueue* notify = nullptr);

  // A device still open is closed without returning its buffers.
  ~waveOutDevice();
  waveOutDevice(const waveOutDevice&) = delete;
  waveOutDevice& operator=(const waveOutDevice&) = delete;

  unsigned prepareHeader(waveHeader& header);
  // WAVE_ERR_STILLPLAYING while the buffer is queued.
  unsigned unprepareHeader(waveHeader& header);
  // Queues a prepared buffer for playing after those already queued.
  unsigned write(waveHeader& header);
  unsigned pause();
  unsigned restart();
  // Stops playing, returns every queued buffer and sets the position back to 0; a pause
  // stays in force.
  unsigned reset();
  // Bytes played since the open or the last reset.
  unsigned getPosition(waveTime& time);
  // WAVE_ERR_STILLPLAYING while buffers are queued; afterwards every call answers
  // WAVE_ERR_INVALHANDLE.
  unsigned close();

  // ---- For backends -----------------------------------------------------------------------

  const waveFormat& format() const { return m_format; }
  // Plays up to n bytes of the queued buffers into out, returning each one played through;
  // answers how many (0 while paused or nothing is queued).
  size_t render(void* out, size_t n);

 private:
  template <class Device>
  friend unsigned waveDeviceOpen(std::unique_ptr<Device>&, const waveFormat&, waveMessageQueue*,
                                 unsigned (waveBackendFactory::*)(Device&, std::unique_ptr<waveBackend>&),
                                 waveMessageType);
  waveOutDevice(const waveFormat& format, waveMessageQueue* notify);
  void returnPlayed();
  void returnBuffer(waveHeader* header);
  void post(waveMessageType type, waveHeader* header);

  const waveFormat m_format;
  waveMessageQueue* const m_notify;
  std::mutex m_mutex;
  std::unique_ptr<waveBackend> m_backend;
  unsigned m_timeFormats = WAVE_TIME_BYTES;
  std::deque<waveHeader*> m_queue;
  uint32_t m_frontPlayed = 0;  // bytes of the first queued buffer already played
  uint64_t m_position = 0;
  bool m_paused = false;
  bool m_closed = false;
};

}  // namespace tulim
