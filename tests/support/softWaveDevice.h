// A software sound card for tests: while it lives it is the wave backend factory, so the
// default wave-input and wave-output devices open on it. Input buffers are filled from a
// scripted sample source (silence after its end), either when the test says so (capture), by
// a thread of its own (setAutoCapture), or at once whenever a buffer is queued on the started
// device (setFillOnQueue: deterministic, no timers); the input's calls can be made to fail
// (failInputCall); whatever the output plays is kept (render, played).
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "platform/waveBackendFactory.h"
#include "platform/waveInDevice.h"
#include "platform/waveOutDevice.h"

namespace tulim {
namespace test {

class softWaveDevice : public waveBackendFactory {
 public:
  softWaveDevice();   // installs itself as the factory
  ~softWaveDevice();  // restores the default; close the devices it opened first
  softWaveDevice(const softWaveDevice&) = delete;
  softWaveDevice& operator=(const softWaveDevice&) = delete;

  // ---- Set-up -------------------------------------------------------------------------------

  // The input's samples, stored at the width of the format the next input device opens with
  // (8 bits: the low byte; 16 bits: little-endian words).
  void setInputSamples(const std::vector<int>& samples);
  // Codes that the next opens fail with (WAVE_OK: they succeed).
  void setOpenResults(unsigned input, unsigned output);
  // The position formats the devices keep (WAVE_TIME_* mask; bytes are always answered).
  void setTimeFormats(unsigned formats);
  // With chunkBytes > 0, an open input device is fed by a thread, chunkBytes at a time.
  void setAutoCapture(size_t chunkBytes);
  // With on set, an open input device fills its queued buffers from the script as soon as a
  // buffer is queued on it while started, or it starts, in the thread that made the call.
  void setFillOnQueue(bool on);
  // The input's calls of that kind fail with code after the next `after` of them have
  // passed, count times (-1: for ever); WAVE_OK clears it.
  void failInputCall(waveInCall call, unsigned code, int after = 0, int count = -1);

  // ---- Driving ------------------------------------------------------------------------------

  // Hands up to n bytes of the script to the open input device; returns how many it took.
  size_t capture(size_t n);
  // Lets the open output device play up to n bytes into played(); returns how many.
  size_t render(size_t n);

  // ---- Observing ----------------------------------------------------------------------------

  bool inputOpen() const;
  bool outputOpen() const;
  int inputOpens() const;
  int outputOpens() const;
  waveFormat inputFormat() const;   // of the last input opened
  waveFormat outputFormat() const;  // of the last output opened
  std::string played() const;
  size_t scriptTaken() const;       // bytes of the script (and silence) captured so far
  int inputCalls(waveInCall call) const;  // calls of that kind made on input devices

  unsigned openInput(waveInDevice& device, std::unique_ptr<waveBackend>& backend) override;
  unsigned openOutput(waveOutDevice& device, std::unique_ptr<waveBackend>& backend) override;

 private:
  friend class softInput;
  friend class softOutput;
  size_t captureLocked(size_t n);
  unsigned inputCallResult(waveInCall call);

  static constexpr int INPUT_CALL_KINDS = WAVE_IN_CALL_CLOSE + 1;
  struct callFailure {
    unsigned code = WAVE_OK;
    int after = 0;
    int count = 0;
  };
  // Asked under a device's lock, so apart from m_mutex (taken before a device's lock).
  mutable std::mutex m_callMutex;
  callFailure m_failures[INPUT_CALL_KINDS];
  int m_calls[INPUT_CALL_KINDS] = {};
  std::atomic<bool> m_fillOnQueue{false};

  mutable std::mutex m_mutex;
  waveInDevice* m_in = nullptr;
  waveOutDevice* m_out = nullptr;
  std::vector<int> m_samples;
  std::string m_script;       // m_samples at the open input's width
  size_t m_taken = 0;
  char m_silence = 0;
  unsigned m_inputResult = WAVE_OK;
  unsigned m_outputResult = WAVE_OK;
  unsigned m_timeFormats = WAVE_TIME_BYTES | WAVE_TIME_SAMPLES | WAVE_TIME_MS;
  size_t m_autoChunk = 0;
  int m_inputOpens = 0;
  int m_outputOpens = 0;
  waveFormat m_inputFormat;
  waveFormat m_outputFormat;
  std::string m_played;
};

}  // namespace test
}  // namespace tulim
