// The driver of one open wave device: a backend moves the device's bytes (captures into a
// waveInDevice, renders from a waveOutDevice). Backends are made by the installed
// waveBackendFactory, by default the ALSA one (alsaWaveFactory.h).
#pragma once

#include <cstdint>

#include "waveIo.h"

namespace tulim {

class waveInDevice;

// The calls of an input device that its driver may refuse.
enum waveInCall {
  WAVE_IN_CALL_PREPARE,
  WAVE_IN_CALL_UNPREPARE,
  WAVE_IN_CALL_ADD,
  WAVE_IN_CALL_START,
  WAVE_IN_CALL_RESET,
  WAVE_IN_CALL_CLOSE,
};

// A backend with a thread of its own stops it in its destructor, which the device runs on
// close (not holding its lock); it calls no device function after that.
class waveBackend {
 public:
  virtual ~waveBackend();
  // The WAVE_TIME_* formats the device keeps its position in.
  virtual unsigned timeFormats() const { return WAVE_TIME_BYTES | WAVE_TIME_SAMPLES | WAVE_TIME_MS; }

  // Asked by an input device, holding its lock (so it must not call the device), before it
  // carries out a call: any code but WAVE_OK fails the call with that code, as a driver that
  // refuses a buffer, a start or a close does.
  virtual unsigned inputCallResult(waveInCall call) {
    (void)call;
    return WAVE_OK;
  }
  // Told by a started input device, outside its lock, when a buffer has been queued or the
  // device has started: a backend that captures on demand fills the queued room now. The
  // device is not closed before this returns.
  virtual void inputQueued(waveInDevice& device) { (void)device; }
  // Told by an input device, holding its lock, when a reset has stopped it: a backend that
  // keeps captured sound of its own drops it, so a later start does not hand it over.
  virtual void inputReset() {}

  // Told by an output device, holding its lock (so they must not call the device), when a
  // buffer has been written, when playback is paused or restarted, and when a reset has
  // emptied its queue: a backend that plays on a thread of its own wakes it; it holds the
  // sound it was given while paused, and drops it after a reset.
  virtual void outputQueued() {}
  virtual void outputPaused(bool paused) { (void)paused; }
  virtual void outputReset() {}
  // Asked by an output device, holding its lock: bytes already rendered that have not been
  // heard yet, which the device's position does not count as played.
  virtual uint64_t outputUnplayed() const { return 0; }
};

}  // namespace tulim
