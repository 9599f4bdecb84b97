// The opening shared by the wave-input and wave-output devices (waveInDevice, waveOutDevice):
// the format check, the backend that the installed factory opens for the new device, the time
// formats it can tell and the open message. Only those two devices' open() use it.
#pragma once

#include <memory>
#include <mutex>

#include "waveBackendFactory.h"
#include "waveIo.h"
#include "waveMessageQueue.h"

namespace tulim {

// openBackend is the factory's opener for this kind of device; openedMessage is posted once the
// device is usable, and device is set only then.
template <class Device>
unsigned waveDeviceOpen(std::unique_ptr<Device>& device, const waveFormat& format, waveMessageQueue* notify,
                        unsigned (waveBackendFactory::*openBackend)(Device&, std::unique_ptr<waveBackend>&),
                        waveMessageType openedMessage) {
  if (!waveFormatPlayable(format)) return WAVE_ERR_BADFORMAT;
  waveBackendFactory* factory = waveBackendFactoryGet();
  std::unique_ptr<Device> opened(new Device(format, notify));
  std::unique_ptr<waveBackend> backend;
  unsigned code = (factory->*openBackend)(*opened, backend);
  if (code != WAVE_OK) return code;
  if (!backend) return WAVE_ERR_NODEVICE;
  // Asked before taking the lock: a backend may hold its own lock while it calls the device.
  const unsigned formats = backend->timeFormats();
  {
    std::lock_guard<std::mutex> lock(opened->m_mutex);
    opened->m_timeFormats = formats;
    opened->m_backend = std::move(backend);
  }
  opened->post(openedMessage, nullptr);
  device = std::move(opened);
  return WAVE_OK;
}

}  // namespace tulim
