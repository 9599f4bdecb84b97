#include "alsaWaveFactory.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "sharedLibrary.h"

#include "waveInDevice.h"
#include "waveOutDevice.h"

namespace tulim {

namespace {

// ALSA's buffer for each device: long enough to ride out a busy machine, short enough that a
// stop or a pause is heard at once.
constexpr unsigned ALSA_LATENCY_US = 100000;
// The longest a device's thread waits on ALSA before it looks at the device's requests again;
// it bounds how long closing a device waits for the thread.
constexpr int ALSA_WAIT_MS = 10;

// ALSA's functions, from its library loaded when the first device opens: a program that
// never opens one does not pay for loading and binding ALSA at every start.
struct alsaApi {
  std::unique_ptr<sharedLibrary> library;
  decltype(&::snd_pcm_avail_update) pcm_avail_update;
  decltype(&::snd_pcm_close) pcm_close;
  decltype(&::snd_pcm_delay) pcm_delay;
  decltype(&::snd_pcm_drain) pcm_drain;
  decltype(&::snd_pcm_drop) pcm_drop;
  decltype(&::snd_pcm_format_set_silence) pcm_format_set_silence;
  decltype(&::snd_pcm_get_params) pcm_get_params;
  decltype(&::snd_pcm_nonblock) pcm_nonblock;
  decltype(&::snd_pcm_open) pcm_open;
  decltype(&::snd_pcm_pause) pcm_pause;
  decltype(&::snd_pcm_prepare) pcm_prepare;
  decltype(&::snd_pcm_readi) pcm_readi;
  decltype(&::snd_pcm_recover) pcm_recover;
  decltype(&::snd_pcm_set_params) pcm_set_params;
  decltype(&::snd_pcm_start) pcm_start;
  decltype(&::snd_pcm_state) pcm_state;
  decltype(&::snd_pcm_wait) pcm_wait;
  decltype(&::snd_pcm_writei) pcm_writei;
  decltype(&::snd_strerror) strerror;
};

// The functions of that library; nullptr when it cannot be loaded, as on a system without
// ALSA, which has no device to offer. A library that lacks one of them is fatal.
std::unique_ptr<const alsaApi> alsaLoad(const std::string& libraryName) {
  auto library = std::make_unique<sharedLibrary>(libraryName, "Opening a wave device", std::nothrow);
  if (!library->loaded()) return nullptr;
  auto api = std::make_unique<alsaApi>();
  library->bind(api->pcm_avail_update, "snd_pcm_avail_update");
  library->bind(api->pcm_close, "snd_pcm_close");
  library->bind(api->pcm_delay, "snd_pcm_delay");
  library->bind(api->pcm_drain, "snd_pcm_drain");
  library->bind(api->pcm_drop, "snd_pcm_drop");
  library->bind(api->pcm_format_set_silence, "snd_pcm_format_set_silence");
  library->bind(api->pcm_get_params, "snd_pcm_get_params");
  library->bind(api->pcm_nonblock, "snd_pcm_nonblock");
  library->bind(api->pcm_open, "snd_pcm_open");
  library->bind(api->pcm_pause, "snd_pcm_pause");
  library->bind(api->pcm_prepare, "snd_pcm_prepare");
  library->bind(api->pcm_readi, "snd_pcm_readi");
  library->bind(api->pcm_recover, "snd_pcm_recover");
  library->bind(api->pcm_set_params, "snd_pcm_set_params");
  library->bind(api->pcm_start, "snd_pcm_start");
  library->bind(api->pcm_state, "snd_pcm_state");
  library->bind(api->pcm_wait, "snd_pcm_wait");
  library->bind(api->pcm_writei, "snd_pcm_writei");
  library->bind(api->strerror, "snd_strerror");
  api->library = std::move(library);
  return api;
}

// Each library is loaded once and stays loaded, with what it handed out.
const alsaApi* alsaApiFor(const std::string& libraryName) {
  static std::mutex lock;
  static auto* loaded = new std::map<std::string, std::unique_ptr<const alsaApi>>;
  std::lock_guard<std::mutex> guard(lock);
  auto it = loaded->find(libraryName);
  if (it == loaded->end()) it = loaded->emplace(libraryName, alsaLoad(libraryName)).first;
  return it->second.get();
}

// One open PCM and the thread that moves its sound. The device's hooks (under the device's
// lock) and the destructor only post requests: reset, stop, "look again"; the thread takes
// them under its own lock and never holds that lock while it calls the device.
class alsaStream : public waveBackend {
 public:
  ~alsaStream() override { m_alsa.pcm_close(m_pcm); }

  // Starts the stream's thread: WAVE_OK, or the code of the system's refusal.
  unsigned startThread() {
    try {
      m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
      return alsaWaveCode(-e.code().value());
    }
    return WAVE_OK;
  }

 protected:
  alsaStream(const alsaApi& alsa, snd_pcm_t* pcm, const waveFormat& format)
      : m_alsa(alsa),
        m_pcm(pcm),
        m_pcmFormat(format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE),
        m_channels(format.channels),
        m_frameBytes(format.blockAlign),
        m_rate(format.samplesPerSec) {
    snd_pcm_uframes_t buffer = 0, period = 0;
    if (m_alsa.pcm_get_params(m_pcm, &buffer, &period) < 0 || period == 0) period = m_rate / 100 + 1;
    m_periodFrames = period;
  }

  // Every derived destructor stops the thread first: it runs the derived class's code.
  void stopThread() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
  }

  // Posted by the device's hooks.
  void request(bool reset) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requested = true;
      if (reset) m_reset = true;
    }
    m_wake.notify_all();
  }
  // Takes the requests posted since the last look; false once the stream is to stop.
  bool takeRequests(bool& reset) {
    std::lock_guard<std::mutex> lock(m_mutex);
    reset = m_reset;
    m_reset = false;
    m_requested = false;
    return !m_stop;
  }
  bool resetPending() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reset;
  }
  // A reset or a stop is waiting for the thread.
  bool interrupted() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reset || m_stop;
  }
  // Waits for the next request, or at most ms milliseconds when ms >= 0.
  void waitForRequest(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto posted = [this] { return m_stop || m_requested; };
    if (ms < 0)
      m_wake.wait(lock, posted);
    else
      m_wake.wait_for(lock, std::chrono::milliseconds(ms), posted);
  }

  // Brings the PCM back after an overrun, an underrun or a suspend. When ALSA cannot (the
  // card has gone), the stream goes on without it, so that the device's buffers still come
  // back: silence for input, nothing heard for output, at the sound's own pace.
  void recover(int error) {
    if (m_alsa.pcm_recover(m_pcm, error, 1) < 0) m_lost = true;
  }
  int msOf(snd_pcm_uframes_t frames) const {
    return static_cast<int>(std::min<unsigned long long>(frames * 1000ULL / m_rate + 1, INT_MAX));
  }

  virtual void run() = 0;

  const alsaApi& m_alsa;
  snd_pcm_t* const m_pcm;
  const snd_pcm_format_t m_pcmFormat;
  const unsigned m_channels;
  const size_t m_frameBytes;
  const unsigned m_rate;
  snd_pcm_uframes_t m_periodFrames = 0;
  bool m_lost = false;  // the thread's own

 private:
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_stop = false;
  bool m_reset = false;
  bool m_requested = false;
  std::thread m_thread;
};

// Captures into the device's queued buffers, never more than they can take, so that nothing
// read from ALSA is thrown away while the device is started (but for the rest of a frame
// that the last queued buffer ends inside of).
class alsaInput : public alsaStream {
 public:
  alsaInput(const alsaApi& alsa, waveInDevice& device, snd_pcm_t* pcm)
      : alsaStream(alsa, pcm, device.format()), m_device(device) {}
  ~alsaInput() override { stopThread(); }

  void inputQueued(waveInDevice&) override { request(false); }
  void inputReset() override { request(true); }

 private:
  void run() override {
    std::vector<char> chunk(m_periodFrames * m_frameBytes);
    bool reset = false;
    while (takeRequests(reset)) {
      if (reset && !m_lost) {
        m_alsa.pcm_drop(m_pcm);
        m_alsa.pcm_prepare(m_pcm);
      }
      const size_t roomBytes = m_device.queuedRoom();
      if (roomBytes == 0) {
        waitForRequest(-1);
        continue;
      }
      // A last buffer that ends inside a frame takes the frame's first bytes.
      const snd_pcm_uframes_t room = std::max<snd_pcm_uframes_t>(roomBytes / m_frameBytes, 1);
      const snd_pcm_uframes_t frames = std::min(room, m_periodFrames);
      // A plugin may deliver fewer bytes than it says (the file plugin at the end of its
      // file): what it leaves is silence, not old bytes.
      m_alsa.pcm_format_set_silence(m_pcmFormat, chunk.data(), static_cast<unsigned>(frames * m_channels));
      snd_pcm_sframes_t got;
      if (m_lost) {
        waitForRequest(msOf(frames));
        got = static_cast<snd_pcm_sframes_t>(frames);
      } else {
        got = read(chunk.data(), frames);
      }
      if (got > 0) m_device.capture(chunk.data(), static_cast<size_t>(got) * m_frameBytes);
    }
  }

  // Frames read, 0 when none are ready yet (after a wait of at most ALSA_WAIT_MS).
  snd_pcm_sframes_t read(char* data, snd_pcm_uframes_t frames) {
    if (m_alsa.pcm_state(m_pcm) == SND_PCM_STATE_PREPARED) {
      const int err = m_alsa.pcm_start(m_pcm);
      if (err < 0) {
        recover(err);
        return 0;
      }
    }
    const int ready = m_alsa.pcm_wait(m_pcm, ALSA_WAIT_MS);
    if (ready <= 0) {
      if (ready < 0) recover(ready);
      return 0;
    }
    const snd_pcm_sframes_t n = m_alsa.pcm_readi(m_pcm, data, frames);
    if (n == -EAGAIN) return 0;
    if (n < 0) {
      recover(static_cast<int>(n));
      return 0;
    }
    return n;
  }

  waveInDevice& m_device;
};

// Plays what the device renders, no more than ALSA has room for; the sound ALSA still holds
// is the device's unplayed part, so the device's position follows what has been heard.
class alsaOutput : public alsaStream {
 public:
  alsaOutput(const alsaApi& alsa, waveOutDevice& device, snd_pcm_t* pcm)
      : alsaStream(alsa, pcm, device.format()), m_device(device) {}
  ~alsaOutput() override {
    stopThread();
    // A close without a reset (nor a pause) lets ALSA play out what it was given.
    if (!m_lost && m_holding && !m_hardwarePaused && !resetPending()) {
      m_alsa.pcm_nonblock(m_pcm, 0);
      m_alsa.pcm_drain(m_pcm);
    }
  }

  void outputQueued() override { request(false); }
  void outputPaused(bool paused) override {
    m_pauseWanted = paused;
    request(false);
  }
  void outputReset() override { request(true); }
  uint64_t outputUnplayed() const override { return m_unplayed.load(); }

 private:
  void run() override {
    std::vector<char> chunk(m_periodFrames * m_frameBytes);
    size_t carried = 0;  // bytes of an incomplete frame at the start of chunk
    bool reset = false;
    while (takeRequests(reset)) {
      if (reset) {
        carried = 0;
        if (!m_lost) {
          m_alsa.pcm_drop(m_pcm);
          m_alsa.pcm_prepare(m_pcm);
        }
        m_holding = false;
        m_hardwarePaused = false;
        m_unplayed = 0;
      }
      if (!m_lost) followPause();
      snd_pcm_sframes_t room = static_cast<snd_pcm_sframes_t>(m_periodFrames);
      if (!m_lost) room = m_alsa.pcm_avail_update(m_pcm);
      if (room < 0) {
        recover(static_cast<int>(room));
        continue;
      }
      room = std::min(room, static_cast<snd_pcm_sframes_t>(m_periodFrames));
      size_t rendered = 0;
      if (room > 0) {
        const size_t wanted = static_cast<size_t>(room) * m_frameBytes - carried;
        // Counted as unplayed before the device counts it as rendered, so that the position
        // never runs ahead of what ALSA has been given.
        m_unplayed += wanted;
        rendered = m_device.render(chunk.data() + carried, wanted);
        const size_t bytes = carried + rendered;
        const snd_pcm_uframes_t frames = bytes / m_frameBytes;
        if (m_lost) {
          if (rendered > 0) waitForRequest(msOf(frames));
        } else {
          write(chunk.data(), frames);
        }
        carried = bytes - frames * m_frameBytes;
        memmove(chunk.data(), chunk.data() + frames * m_frameBytes, carried);
      }
      updateUnplayed();
      if (rendered > 0) continue;
      // Nothing to hand over: a short sound may not have filled ALSA's buffer far enough to
      // start it, so it is started here; then wait for the device, or for ALSA to play.
      if (m_unplayed > 0 && !m_pauseWanted && m_alsa.pcm_state(m_pcm) == SND_PCM_STATE_PREPARED)
        m_alsa.pcm_start(m_pcm);
      waitForRequest(m_unplayed > 0 || room == 0 ? ALSA_WAIT_MS : -1);
    }
  }

  void write(const char* data, snd_pcm_uframes_t frames) {
    while (frames > 0 && !m_lost) {
      const snd_pcm_sframes_t n = m_alsa.pcm_writei(m_pcm, data, frames);
      if (n == -EAGAIN) {
        // Not expected, as no more than the room is written; waits for room unless a reset or
        // a close wants the thread.
        if (interrupted()) return;
        m_alsa.pcm_wait(m_pcm, ALSA_WAIT_MS);
        continue;
      }
      if (n < 0) {
        recover(static_cast<int>(n));
        continue;
      }
      m_holding = true;
      data += static_cast<size_t>(n) * m_frameBytes;
      frames -= static_cast<snd_pcm_uframes_t>(n);
    }
  }
  // Pauses the card with the device where it can pause; one that cannot plays out what it
  // holds (at most ALSA's buffer) and then waits.
  void followPause() {
    if (m_pauseWanted == m_hardwarePaused) return;
    if (!m_pauseWanted) {
      m_alsa.pcm_pause(m_pcm, 0);
      m_hardwarePaused = false;
    } else if (m_alsa.pcm_state(m_pcm) == SND_PCM_STATE_RUNNING && m_alsa.pcm_pause(m_pcm, 1) == 0) {
      m_hardwarePaused = true;
    }
  }

  void updateUnplayed() {
    snd_pcm_sframes_t delay = 0;
    if (m_lost || m_alsa.pcm_delay(m_pcm, &delay) < 0 || delay < 0) delay = 0;
    m_unplayed = static_cast<uint64_t>(delay) * m_frameBytes;
  }

  waveOutDevice& m_device;
  std::atomic<uint64_t> m_unplayed{0};
  std::atomic<bool> m_pauseWanted{false};
  bool m_hardwarePaused = false;
  bool m_holding = false;  // sound has been written since the open or the last reset
};

// Opens the PCM in the device's format: interleaved, 8-bit unsigned or 16-bit little-endian,
// the device's channels and exactly its rate (ALSA may resample behind it).
int alsaOpen(const alsaApi& alsa, snd_pcm_t*& pcm, const std::string& name, snd_pcm_stream_t stream,
             const waveFormat& format) {
  // Non-blocking, so that a card in use gives "busy" at once instead of waiting for it.
  int err = alsa.pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
  if (err < 0) return err;
  err = alsa.pcm_set_params(pcm, format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE,
                           SND_PCM_ACCESS_RW_INTERLEAVED, format.channels, format.samplesPerSec, 1, ALSA_LATENCY_US);
  if (err < 0) {
    alsa.pcm_close(pcm);
    pcm = nullptr;
  }
  return err;
}

template <class Stream, class Device>
unsigned openStream(const std::string& libraryName, const std::string& name, snd_pcm_stream_t direction,
                    Device& device, std::unique_ptr<waveBackend>& backend) {
  const alsaApi* alsa = alsaApiFor(libraryName);
  if (!alsa) return WAVE_ERR_NODEVICE;
  snd_pcm_t* pcm = nullptr;
  const int err = alsaOpen(*alsa, pcm, name, direction, device.format());
  if (err < 0) return alsaWaveCode(err);
  std::unique_ptr<Stream> stream(new Stream(*alsa, device, pcm));
  const unsigned code = stream->startThread();
  if (code != WAVE_OK) return code;
  backend = std::move(stream);
  return WAVE_OK;
}

}  // namespace

alsaWaveFactory::alsaWaveFactory(const std::string& pcmName, const std::string& libraryName)
    : m_pcmName(pcmName), m_libraryName(libraryName) {}

unsigned alsaWaveFactory::openInput(waveInDevice& device, std::unique_ptr<waveBackend>& backend) {
  return openStream<alsaInput>(m_libraryName, m_pcmName, SND_PCM_STREAM_CAPTURE, device, backend);
}

unsigned alsaWaveFactory::openOutput(waveOutDevice& device, std::unique_ptr<waveBackend>& backend) {
  return openStream<alsaOutput>(m_libraryName, m_pcmName, SND_PCM_STREAM_PLAYBACK, device, backend);
}

unsigned alsaWaveCode(int error) {
  // ALSA's errors are negative; anything else is still an error of the sound system.
  const unsigned number = error < 0 ? 0u - static_cast<unsigned>(error) : static_cast<unsigned>(EIO);
  return WAVE_ERR_SYSTEM + std::min(number, UINT_MAX - WAVE_ERR_SYSTEM);
}

std::string alsaErrorText(unsigned number) {
  if (number > static_cast<unsigned>(INT_MAX)) number = static_cast<unsigned>(INT_MAX);
  // Such a code comes from ALSA, so its library is loaded by now; without it, the number is a
  // system error number, as ALSA's texts for them are the system's.
  const alsaApi* alsa = alsaApiFor(ALSA_LIBRARY);
  const char* text = alsa ? alsa->strerror(-static_cast<int>(number)) : strerror(static_cast<int>(number));
  return text ? text : "";
}

}  // namespace tulim
