// The hook behind the default wave devices: the installed factory makes the backend of each
// device opened. Without one installed, devices open on ALSA's "default" PCM
// (alsaWaveFactory.h); tests install a software device here.
#pragma once

#include <memory>

#include "waveBackend.h"

namespace tulim {

class waveInDevice;
class waveOutDevice;

class waveBackendFactory {
 public:
  virtual ~waveBackendFactory();
  // Makes the backend of a device being opened, or returns the code that fails the open.
  virtual unsigned openInput(waveInDevice& device, std::unique_ptr<waveBackend>& backend) = 0;
  virtual unsigned openOutput(waveOutDevice& device, std::unique_ptr<waveBackend>& backend) = 0;
};

// Installs factory for later opens (null: the default, ALSA). The factory must outlive the
// devices it opened.
void setWaveBackendFactory(waveBackendFactory* factory);
// The installed factory, else the default one; never null.
waveBackendFactory* waveBackendFactoryGet();

}  // namespace tulim
