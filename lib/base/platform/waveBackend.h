// The driver of one open wave device: a backend moves the device's bytes (captures into a
// waveInDevice, renders from a waveOutDevice). Backends are made by the installed
// waveBackendFactory; this build has none for a sound card.
#pragma once

#include "waveIo.h"

namespace tulim {

// A backend with a thread of its own stops it in its destructor, which the device runs on
// close (not holding its lock); it calls no device function after that.
class waveBackend {
 public:
  virtual ~waveBackend();
  // The WAVE_TIME_* formats the device keeps its position in.
  virtual unsigned timeFormats() const { return WAVE_TIME_BYTES | WAVE_TIME_SAMPLES | WAVE_TIME_MS; }
};

}  // namespace tulim
