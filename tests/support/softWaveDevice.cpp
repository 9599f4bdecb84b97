#include "softWaveDevice.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "waveFixtures.h"

namespace tulim {
namespace test {

class softInput : public waveBackend {
 public:
  softInput(softWaveDevice& hub, size_t autoChunk) : m_hub(hub) {
    if (autoChunk > 0) m_feeder = std::thread([this, autoChunk] { feed(autoChunk); });
  }
  ~softInput() override {
    m_stop = true;
    if (m_feeder.joinable()) m_feeder.join();
    std::lock_guard<std::mutex> lock(m_hub.m_mutex);
    m_hub.m_in = nullptr;
  }
  unsigned timeFormats() const override {
    std::lock_guard<std::mutex> lock(m_hub.m_mutex);
    return m_hub.m_timeFormats;
  }
  unsigned inputCallResult(waveInCall call) override { return m_hub.inputCallResult(call); }
  void inputQueued(waveInDevice& device) override {
    if (!m_hub.m_fillOnQueue) return;
    std::lock_guard<std::mutex> lock(m_hub.m_mutex);
    if (m_hub.m_in != &device) return;
    m_hub.captureLocked(device.queuedRoom());
  }

 private:
  void feed(size_t chunk) {
    while (!m_stop) {
      size_t taken;
      {
        std::lock_guard<std::mutex> lock(m_hub.m_mutex);
        taken = m_hub.captureLocked(chunk);
      }
      if (taken == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  softWaveDevice& m_hub;
  std::atomic<bool> m_stop{false};
  std::thread m_feeder;
};

class softOutput : public waveBackend {
 public:
  explicit softOutput(softWaveDevice& hub) : m_hub(hub) {}
  ~softOutput() override {
    std::lock_guard<std::mutex> lock(m_hub.m_mutex);
    m_hub.m_out = nullptr;
  }
  unsigned timeFormats() const override {
    std::lock_guard<std::mutex> lock(m_hub.m_mutex);
    return m_hub.m_timeFormats;
  }

 private:
  softWaveDevice& m_hub;
};

softWaveDevice::softWaveDevice() { setWaveBackendFactory(this); }

softWaveDevice::~softWaveDevice() { setWaveBackendFactory(nullptr); }

void softWaveDevice::setInputSamples(const std::vector<int>& samples) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_samples = samples;
}

void softWaveDevice::setOpenResults(unsigned input, unsigned output) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_inputResult = input;
  m_outputResult = output;
}

void softWaveDevice::setTimeFormats(unsigned formats) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_timeFormats = formats;
}

void softWaveDevice::setAutoCapture(size_t chunkBytes) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_autoChunk = chunkBytes;
}

void softWaveDevice::setFillOnQueue(bool on) { m_fillOnQueue = on; }

void softWaveDevice::failInputCall(waveInCall call, unsigned code, int after, int count) {
  std::lock_guard<std::mutex> lock(m_callMutex);
  m_failures[call] = callFailure{code, after, code == WAVE_OK ? 0 : count};
}

unsigned softWaveDevice::inputCallResult(waveInCall call) {
  std::lock_guard<std::mutex> lock(m_callMutex);
  ++m_calls[call];
  callFailure& failure = m_failures[call];
  if (failure.code == WAVE_OK || failure.count == 0) return WAVE_OK;
  if (failure.after > 0) {
    --failure.after;
    return WAVE_OK;
  }
  if (failure.count > 0) --failure.count;
  return failure.code;
}

int softWaveDevice::inputCalls(waveInCall call) const {
  std::lock_guard<std::mutex> lock(m_callMutex);
  return m_calls[call];
}

unsigned softWaveDevice::openInput(waveInDevice& device, std::unique_ptr<waveBackend>& backend) {
  size_t autoChunk;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_inputResult != WAVE_OK) return m_inputResult;
    if (m_in) return WAVE_ERR_NODEVICE;
    const waveFormat& format = device.format();
    m_script = pcmBytes(m_samples, format.bitsPerSample);
    m_silence = format.bitsPerSample == 8 ? static_cast<char>(0x80) : 0;
    m_taken = 0;
    m_in = &device;
    m_inputFormat = format;
    ++m_inputOpens;
    autoChunk = m_autoChunk;
  }
  backend.reset(new softInput(*this, autoChunk));
  return WAVE_OK;
}

unsigned softWaveDevice::openOutput(waveOutDevice& device, std::unique_ptr<waveBackend>& backend) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_outputResult != WAVE_OK) return m_outputResult;
  if (m_out) return WAVE_ERR_NODEVICE;
  m_out = &device;
  m_outputFormat = device.format();
  ++m_outputOpens;
  backend.reset(new softOutput(*this));
  return WAVE_OK;
}

size_t softWaveDevice::captureLocked(size_t n) {
  if (!m_in || n == 0) return 0;
  std::string chunk;
  for (size_t i = 0; i < n; ++i) {
    size_t at = m_taken + i;
    chunk += at < m_script.size() ? m_script[at] : m_silence;
  }
  size_t taken = m_in->capture(chunk.data(), chunk.size());
  m_taken += taken;
  return taken;
}

size_t softWaveDevice::capture(size_t n) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return captureLocked(n);
}

size_t softWaveDevice::render(size_t n) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out || n == 0) return 0;
  std::string bytes(n, '\0');
  size_t played = m_out->render(&bytes[0], n);
  m_played.append(bytes, 0, played);
  return played;
}

bool softWaveDevice::inputOpen() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_in != nullptr;
}

bool softWaveDevice::outputOpen() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_out != nullptr;
}

int softWaveDevice::inputOpens() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_inputOpens;
}

int softWaveDevice::outputOpens() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_outputOpens;
}

waveFormat softWaveDevice::inputFormat() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_inputFormat;
}

waveFormat softWaveDevice::outputFormat() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_outputFormat;
}

std::string softWaveDevice::played() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_played;
}

size_t softWaveDevice::scriptTaken() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_taken;
}

}  // namespace test
}  // namespace tulim
