#include "waveOutDevice.h"

#include <algorithm>
#include <cstring>

#include "waveDeviceOpen.h"

namespace tulim {

unsigned waveOutDevice::open(std::unique_ptr<waveOutDevice>& device, const waveFormat& format,
                             waveMessageQueue* notify) {
  return waveDeviceOpen(device, format, notify, &waveBackendFactory::openOutput, WAVE_OUT_OPEN);
}

waveOutDevice::waveOutDevice(const waveFormat& format, waveMessageQueue* notify)
    : m_format(format), m_notify(notify) {}

waveOutDevice::~waveOutDevice() {
  std::unique_ptr<waveBackend> backend;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_queue.clear();
    backend = std::move(m_backend);
  }
}

void waveOutDevice::post(waveMessageType type, waveHeader* header) {
  if (m_notify) m_notify->post(waveMessage{type, header});
}

void waveOutDevice::returnBuffer(waveHeader* header) {
  header->flags = (header->flags & ~WAVE_HDR_INQUEUE) | WAVE_HDR_DONE;
  post(WAVE_OUT_DONE, header);
}

void waveOutDevice::returnPlayed() {
  while (!m_queue.empty() && m_frontPlayed >= m_queue.front()->bufferLength) {
    waveHeader* header = m_queue.front();
    m_queue.pop_front();
    m_frontPlayed = 0;
    returnBuffer(header);
  }
}

unsigned waveOutDevice::prepareHeader(waveHeader& header) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  if (!header.data && header.bufferLength > 0) return WAVE_ERR_INVALPARAM;
  header.flags |= WAVE_HDR_PREPARED;
  return WAVE_OK;
}

unsigned waveOutDevice::unprepareHeader(waveHeader& header) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  if (header.flags & WAVE_HDR_INQUEUE) return WAVE_ERR_STILLPLAYING;
  header.flags &= ~WAVE_HDR_PREPARED;
  return WAVE_OK;
}

unsigned waveOutDevice::write(waveHeader& header) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  if (!(header.flags & WAVE_HDR_PREPARED)) return WAVE_ERR_UNPREPARED;
  if (header.flags & WAVE_HDR_INQUEUE) return WAVE_ERR_STILLPLAYING;
  header.flags = (header.flags & ~WAVE_HDR_DONE) | WAVE_HDR_INQUEUE;
  m_queue.push_back(&header);
  // An empty buffer is played through at once, unless a pause holds the queue.
  if (!m_paused) returnPlayed();
  if (m_backend) m_backend->outputQueued();
  return WAVE_OK;
}

unsigned waveOutDevice::pause() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  m_paused = true;
  if (m_backend) m_backend->outputPaused(true);
  return WAVE_OK;
}

unsigned waveOutDevice::restart() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  m_paused = false;
  returnPlayed();
  if (m_backend) m_backend->outputPaused(false);
  return WAVE_OK;
}

unsigned waveOutDevice::reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  while (!m_queue.empty()) {
    waveHeader* header = m_queue.front();
    m_queue.pop_front();
    returnBuffer(header);
  }
  m_frontPlayed = 0;
  m_position = 0;
  if (m_backend) m_backend->outputReset();
  return WAVE_OK;
}

unsigned waveOutDevice::getPosition(waveTime& time) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  const uint64_t unplayed = m_backend ? m_backend->outputUnplayed() : 0;
  waveTimeFromBytes(time, m_position - std::min(m_position, unplayed), m_format, m_timeFormats);
  return WAVE_OK;
}

unsigned waveOutDevice::close() {
  std::unique_ptr<waveBackend> backend;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return WAVE_ERR_INVALHANDLE;
    if (!m_queue.empty()) return WAVE_ERR_STILLPLAYING;
    m_closed = true;
    backend = std::move(m_backend);
  }
  // A backend thread may be waiting for the lock inside render: let it go before joining it.
  backend.reset();
  post(WAVE_OUT_CLOSE, nullptr);
  return WAVE_OK;
}

size_t waveOutDevice::render(void* out, size_t n) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed || m_paused) return 0;
  char* target = static_cast<char*>(out);
  size_t played = 0;
  while (played < n && !m_queue.empty()) {
    waveHeader* header = m_queue.front();
    size_t count = std::min<size_t>(header->bufferLength - m_frontPlayed, n - played);
    if (count) memcpy(target + played, header->data + m_frontPlayed, count);
    m_frontPlayed += static_cast<uint32_t>(count);
    played += count;
    returnPlayed();
  }
  m_position += played;
  return played;
}

}  // namespace tulim
