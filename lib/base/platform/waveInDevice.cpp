#include "waveInDevice.h"

#include <algorithm>
#include <cstring>

#include "waveDeviceOpen.h"

namespace tulim {

unsigned waveInDevice::open(std::unique_ptr<waveInDevice>& device, const waveFormat& format,
                            waveMessageQueue* notify) {
  return waveDeviceOpen(device, format, notify, &waveBackendFactory::openInput, WAVE_IN_OPEN);
}

waveInDevice::waveInDevice(const waveFormat& format, waveMessageQueue* notify)
    : m_format(format), m_notify(notify) {}

waveInDevice::~waveInDevice() {
  std::unique_ptr<waveBackend> backend;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_closed = true;
    m_started = false;
    m_queue.clear();
    waitQueuedHooks(lock);
    backend = std::move(m_backend);
  }
}

unsigned waveInDevice::refused(waveInCall call) {
  return m_backend ? m_backend->inputCallResult(call) : WAVE_OK;
}

waveBackend* waveInDevice::queuedHookEnter() {
  if (m_closed || !m_started || !m_backend) return nullptr;
  ++m_hookCalls;
  return m_backend.get();
}

void waveInDevice::queuedHookLeave(waveBackend* backend) {
  if (!backend) return;
  backend->inputQueued(*this);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_hookCalls;
  }
  m_hooksDone.notify_all();
}

// Called with m_closed set, so no new hook starts; the running ones may still capture.
void waveInDevice::waitQueuedHooks(std::unique_lock<std::mutex>& lock) {
  m_hooksDone.wait(lock, [this] { return m_hookCalls == 0; });
}

void waveInDevice::post(waveMessageType type, waveHeader* header) {
  if (m_notify) m_notify->post(waveMessage{type, header});
}

void waveInDevice::returnBuffer(waveHeader* header) {
  header->flags = (header->flags & ~WAVE_HDR_INQUEUE) | WAVE_HDR_DONE;
  post(WAVE_IN_DATA, header);
}

void waveInDevice::returnFilled() {
  while (m_started && !m_queue.empty() &&
         m_queue.front()->bytesRecorded >= m_queue.front()->bufferLength) {
    waveHeader* header = m_queue.front();
    m_queue.pop_front();
    returnBuffer(header);
  }
}

unsigned waveInDevice::prepareHeader(waveHeader& header) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  if (unsigned code = refused(WAVE_IN_CALL_PREPARE)) return code;
  if (!header.data && header.bufferLength > 0) return WAVE_ERR_INVALPARAM;
  header.flags |= WAVE_HDR_PREPARED;
  return WAVE_OK;
}

unsigned waveInDevice::unprepareHeader(waveHeader& header) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  if (unsigned code = refused(WAVE_IN_CALL_UNPREPARE)) return code;
  if (header.flags & WAVE_HDR_INQUEUE) return WAVE_ERR_STILLPLAYING;
  header.flags &= ~WAVE_HDR_PREPARED;
  return WAVE_OK;
}

unsigned waveInDevice::addBuffer(waveHeader& header) {
  waveBackend* hook;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return WAVE_ERR_INVALHANDLE;
    if (unsigned code = refused(WAVE_IN_CALL_ADD)) return code;
    if (!(header.flags & WAVE_HDR_PREPARED)) return WAVE_ERR_UNPREPARED;
    if (header.flags & WAVE_HDR_INQUEUE) return WAVE_ERR_STILLPLAYING;
    header.flags = (header.flags & ~WAVE_HDR_DONE) | WAVE_HDR_INQUEUE;
    header.bytesRecorded = 0;
    m_queue.push_back(&header);
    returnFilled();
    hook = queuedHookEnter();
  }
  queuedHookLeave(hook);
  return WAVE_OK;
}

unsigned waveInDevice::start() {
  waveBackend* hook;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return WAVE_ERR_INVALHANDLE;
    if (unsigned code = refused(WAVE_IN_CALL_START)) return code;
    m_started = true;
    returnFilled();
    hook = queuedHookEnter();
  }
  queuedHookLeave(hook);
  return WAVE_OK;
}

unsigned waveInDevice::reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  if (unsigned code = refused(WAVE_IN_CALL_RESET)) return code;
  m_started = false;
  if (m_backend) m_backend->inputReset();
  while (!m_queue.empty()) {
    waveHeader* header = m_queue.front();
    m_queue.pop_front();
    returnBuffer(header);
  }
  m_position = 0;
  return WAVE_OK;
}

unsigned waveInDevice::getPosition(waveTime& time) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return WAVE_ERR_INVALHANDLE;
  waveTimeFromBytes(time, m_position, m_format, m_timeFormats);
  return WAVE_OK;
}

unsigned waveInDevice::close() {
  std::unique_ptr<waveBackend> backend;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed) return WAVE_ERR_INVALHANDLE;
    if (unsigned code = refused(WAVE_IN_CALL_CLOSE)) return code;
    if (!m_queue.empty()) return WAVE_ERR_STILLPLAYING;
    m_closed = true;
    m_started = false;
    waitQueuedHooks(lock);
    backend = std::move(m_backend);
  }
  // A backend thread may be waiting for the lock inside capture: let it go before joining it.
  backend.reset();
  post(WAVE_IN_CLOSE, nullptr);
  return WAVE_OK;
}

size_t waveInDevice::capture(const void* bytes, size_t n) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed || !m_started) return 0;
  const char* source = static_cast<const char*>(bytes);
  size_t taken = 0;
  while (taken < n && !m_queue.empty()) {
    waveHeader* header = m_queue.front();
    size_t room = header->bufferLength - header->bytesRecorded;
    size_t count = std::min(room, n - taken);
    if (count) memcpy(header->data + header->bytesRecorded, source + taken, count);
    header->bytesRecorded += static_cast<uint32_t>(count);
    taken += count;
    returnFilled();
  }
  m_position += taken;
  return taken;
}

size_t waveInDevice::queuedRoom() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed || !m_started) return 0;
  size_t room = 0;
  for (const waveHeader* header : m_queue) room += header->bufferLength - header->bytesRecorded;
  return room;
}

}  // namespace tulim
