// The wave devices on ALSA, the sound interface of Linux (PulseAudio and PipeWire serve it
// too, through their ALSA plugins): the factory that waveBackendFactoryGet falls back on. It
// opens one ALSA PCM per wave-input or wave-output device, in the device's format, and a
// thread per device moves the sound between ALSA and the device's buffers. ALSA's errors
// reach the device's caller as WAVE_ERR_SYSTEM codes with ALSA's own texts.
#pragma once

#include <memory>
#include <string>

#include "waveBackendFactory.h"

namespace tulim {

// The library ALSA's functions are taken from, when the first device opens.
constexpr const char* ALSA_LIBRARY = "libasound.so.2";

class alsaWaveFactory : public waveBackendFactory {
 public:
  // Every device opens the PCM of that name through ALSA's functions in that library; where
  // the library cannot be loaded there is no device (WAVE_ERR_NODEVICE).
  explicit alsaWaveFactory(const std::string& pcmName = "default", const std::string& libraryName = ALSA_LIBRARY);

  unsigned openInput(waveInDevice& device, std::unique_ptr<waveBackend>& backend) override;
  unsigned openOutput(waveOutDevice& device, std::unique_ptr<waveBackend>& backend) override;

 private:
  const std::string m_pcmName;
  const std::string m_libraryName;
};

// The device code of an ALSA error (a negative error number).
unsigned alsaWaveCode(int error);
// ALSA's text for the error of that number (the code less WAVE_ERR_SYSTEM).
std::string alsaErrorText(unsigned number);

}  // namespace tulim
