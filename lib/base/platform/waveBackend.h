// The hook behind the default wave devices: a backend moves the bytes of one open device
// (captures into a waveInDevice, renders from a waveOutDevice), and the installed factory
// makes one per open. This build has no sound-card backend, so without a factory every open
// reports WAVE_ERR_NODEVICE; tests install a software device here.
#pragma once

#include <memory>

#include "waveIo.h"

namespace tulim {

class waveInDevice;
class waveOutDevice;

// One open device's driver. A backend with a thread of its own stops it in its destructor,
// which the device runs on close (not holding its lock); it calls no device function after.
class waveBackend {
 public:
  virtual ~waveBackend();
  // The WAVE_TIME_* formats the device keeps its position in.
  virtual unsigned timeFormats() const { return WAVE_TIME_BYTES | WAVE_TIME_SAMPLES | WAVE_TIME_MS; }
};

class waveBackendFactory {
 public:
  virtual ~waveBackendFactory();
  // Makes the backend of a device being opened, or returns the code that fails the open.
  virtual unsigned openInput(waveInDevice& device, std::unique_ptr<waveBackend>& backend) = 0;
  virtual unsigned openOutput(waveOutDevice& device, std::unique_ptr<waveBackend>& backend) = 0;
};

// Installs factory for later opens (null: the default, which has no device). The factory
// must outlive the devices it opened.
void setWaveBackendFactory(waveBackendFactory* factory);
waveBackendFactory* waveBackendFactoryGet();

}  // namespace tulim
