// The default wave-input device: buffers are prepared and queued, filled in order once the
// device is started, and returned full (or partly filled by a reset). Used by the wave device
// class, which polls the byte position, and by the recorder, whose thread is notified through
// a waveMessageQueue:
//   waveMessageQueue queue;                    // read by the recording thread with get()
//   waveInDevice::open(in, format, &queue);    // posts WAVE_IN_OPEN
//   in->prepareHeader(h[k]); in->addBuffer(h[k]); in->start();
//   ... the thread takes WAVE_IN_DATA (message.header: h[k], bytesRecorded filled) and
//   queues the buffer again with addBuffer, or calls reset() to have every queued buffer
//   returned at once (a WAVE_IN_DATA each) ...
//   in->unprepareHeader(h[k]); in->close();    // posts WAVE_IN_CLOSE
// Every call may come from any thread. The bytes come from the backend of the installed
// factory (waveBackendFactory.h), by default ALSA's "default" PCM. The backend may refuse any
// call with a code of its own, as a driver does (waveBackend::inputCallResult).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "waveBackendFactory.h"
#include "waveIo.h"
#include "waveMessageQueue.h"

namespace tulim {

class waveInDevice {
 public:
  // Opens the default device for a PCM format (waveFormatPlayable). notify, when given, gets
  // the device's messages and must outlive it; without it the caller polls getPosition and
  // the headers' WAVE_HDR_DONE flags.
  static unsigned open(std::unique_ptr<waveInDevice>& device, const waveFormat& format,
                       waveMessageQueue* notify = nullptr);

  // A device still open is closed without returning its buffers: close it first when the
  // owner still needs them back.
  ~waveInDevice();
  waveInDevice(const waveInDevice&) = delete;
  waveInDevice& operator=(const waveInDevice&) = delete;

  unsigned prepareHeader(waveHeader& header);
  // WAVE_ERR_STILLPLAYING while the buffer is queued.
  unsigned unprepareHeader(waveHeader& header);
  // Queues a prepared buffer; its bytesRecorded restarts at 0.
  unsigned addBuffer(waveHeader& header);
  unsigned start();
  // Stops the input, returns every queued buffer (done, with what it holds) and sets the
  // position back to 0.
  unsigned reset();
  // Bytes captured into buffers since the open or the last reset.
  unsigned getPosition(waveTime& time);
  // WAVE_ERR_STILLPLAYING while buffers are queued; afterwards every call answers
  // WAVE_ERR_INVALHANDLE.
  unsigned close();

  // ---- For backends -----------------------------------------------------------------------

  const waveFormat& format() const { return m_format; }
  // Copies up to n bytes into the queued buffers, returning each one that fills; answers how
  // many it took (0 while the device is not started or nothing is queued).
  size_t capture(const void* bytes, size_t n);
  // Bytes that the queued buffers can still take (0 while the device is not started).
  size_t queuedRoom();

 private:
  template <class Device>
  friend unsigned waveDeviceOpen(std::unique_ptr<Device>&, const waveFormat&, waveMessageQueue*,
                                 unsigned (waveBackendFactory::*)(Device&, std::unique_ptr<waveBackend>&),
                                 waveMessageType);
  waveInDevice(const waveFormat& format, waveMessageQueue* notify);
  void returnBuffer(waveHeader* header);
  void returnFilled();
  void post(waveMessageType type, waveHeader* header);
  unsigned refused(waveInCall call);
  waveBackend* queuedHookEnter();
  void queuedHookLeave(waveBackend* backend);
  void waitQueuedHooks(std::unique_lock<std::mutex>& lock);

  const waveFormat m_format;
  waveMessageQueue* const m_notify;
  std::mutex m_mutex;
  std::condition_variable m_hooksDone;
  int m_hookCalls = 0;  // inputQueued calls running outside the lock
  std::unique_ptr<waveBackend> m_backend;
  unsigned m_timeFormats = WAVE_TIME_BYTES;
  std::deque<waveHeader*> m_queue;
  uint64_t m_position = 0;
  bool m_started = false;
  bool m_closed = false;
};

}  // namespace tulim
