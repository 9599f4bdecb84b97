#include "CWaveDevice.h"

#include <sys/types.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/byteOrder.h"
#include "platform/platformDir.h"
#include "platform/riffFile.h"
#include "utility.h"

namespace tulim {

namespace {

const uint32_t ID_WAVE = riffFourCC("WAVE");
const uint32_t ID_FMT = riffFourCC("fmt ");
const uint32_t ID_DATA = riffFourCC("data");
const uint32_t POSITION_FAILED = 0xFFFFFFFFu;
// Device error texts are kept to what a 512-character buffer with its NUL holds.
const size_t MAX_ERROR_TEXT = 511;

// A fresh header over the whole buffer, which must stay as it is while the header is in use.
void headerOver(waveHeader& header, std::vector<char>& buffer) {
  header = waveHeader{};
  header.data = buffer.data();
  header.bufferLength = static_cast<uint32_t>(buffer.size());
}

const int MU_LAW_BIAS[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};

int muLawExpand(unsigned char code) {
  unsigned u = ~code & 0xFFu;
  unsigned exponent = (u >> 4) & 7;
  int magnitude = static_cast<int>((u & 15) << (exponent + 3)) + MU_LAW_BIAS[exponent];
  return (u & 0x80) ? -magnitude : magnitude;
}

unsigned char muLawCompress(int sample) {
  unsigned sign = (static_cast<unsigned>(sample) >> 8) & 0x80;
  if (sign) sample = -sample;
  if (sample > 32635) sample = 32635;
  int x = sample + 132;
  int top = (x >> 7) & 0xFF;
  unsigned exponent = 0;
  while (top > 1) {
    top >>= 1;
    ++exponent;
  }
  unsigned mantissa = (static_cast<unsigned>(x) >> (exponent + 3)) & 15;
  return static_cast<unsigned char>(~(sign | (exponent << 4) | mantissa) & 0xFF);
}

// Truncation toward zero that saturates instead of overflowing.
int truncToInt(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return INT_MAX;
  if (x <= -2147483648.0) return INT_MIN;
  return static_cast<int>(x);
}

int64_t clampTo(int64_t v, int64_t low, int64_t high) { return std::min(std::max(v, low), high); }

}  // namespace

int roundToInt(double x) { return x > 0 ? truncToInt(x + 0.5) : truncToInt(x - 0.5); }

void muLawDecodeFloat(float* values, int last, int base) {
  if (!values) return;
  int first = base == 0 ? 0 : base;
  int end = base == 0 ? last - 1 : last;
  for (int i = first; i <= end; ++i) {
    unsigned char code = static_cast<unsigned char>(static_cast<unsigned>(truncToInt(values[i])) & 0xFF);
    values[i] = static_cast<float>(muLawExpand(code));
  }
}

// ---- Construction and format ----------------------------------------------------------------

CWaveDevice::CWaveDevice(uint16_t channels, uint32_t rate, uint16_t bits) {
  setFormat(channels, rate, bits);
}

CWaveDevice::~CWaveDevice() { reset(); }

bool CWaveDevice::setFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  if (!reset()) return false;
  m_format.formatTag = WAVE_FORMAT_PCM;
  m_format.channels = channels;
  m_format.samplesPerSec = rate;
  m_format.bitsPerSample = bits;
  m_format.blockAlign = static_cast<uint16_t>(uint32_t{channels} * bits / 8);
  m_format.avgBytesPerSec = static_cast<uint32_t>(uint64_t{m_format.blockAlign} * rate);
  m_format.extraSize = 0;
  return true;
}

bool CWaveDevice::checkFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  if (m_format.formatTag == WAVE_FORMAT_PCM && m_format.channels == channels &&
      m_format.samplesPerSec == rate && m_format.bitsPerSample == bits)
    return true;
  setError(ERR_FORMAT_MISMATCH, OWN_ERROR);
  return false;
}

bool CWaveDevice::reset() {
  if (m_recording && !stopRecording()) return false;
  if (m_playing && !stopPlaying()) return false;
  if (m_inputOpen && !closeInput()) return false;
  if (m_outputOpen && !closeOutput()) return false;
  std::vector<unsigned char>().swap(m_data);
  m_dataSize = 0;
  std::vector<char>().swap(m_inBuffer);
  std::vector<char>().swap(m_outBuffer);
  for (waveHeader* header : {&m_inHeader, &m_outHeader}) {
    header->data = nullptr;
    header->bufferLength = 0;
    header->bytesRecorded = 0;
    header->flags = 0;
    header->loops = 0;
  }
  return true;
}

int CWaveDevice::sampleCount() const {
  int bytesPerSample = m_format.bitsPerSample / 8;
  return bytesPerSample > 0 ? m_dataSize / bytesPerSample : 0;
}

// ---- Data -----------------------------------------------------------------------------------

int CWaveDevice::getSamples(int* out, int n) const {
  int m = std::min(sampleCount(), n);
  if (m <= 0 || !out) return 0;
  if (m_format.bitsPerSample == 8) {
    for (int i = 0; i < m; ++i) out[i] = m_data[i];
  } else if (m_format.bitsPerSample == 16) {
    for (int i = 0; i < m; ++i) out[i] = static_cast<int16_t>(readLittleEndian16(&m_data[2 * static_cast<size_t>(i)]));
  } else {
    return 0;
  }
  return m;
}

void CWaveDevice::setSamples(const int* samples, int n) {
  std::vector<unsigned char>().swap(m_data);
  m_dataSize = 0;
  if (n <= 0 || !samples) return;
  int64_t size = int64_t{m_format.bitsPerSample} * n / 8;
  if (size > INT32_MAX) {
    setError(ERR_UNSPECIFIED, OWN_ERROR);
    return;
  }
  m_data.assign(static_cast<size_t>(size), 0);
  m_dataSize = static_cast<int32_t>(size);
  const int bits = m_format.bitsPerSample;
  if (bits != 8 && bits != 16) return;

  int64_t max = samples[0], min = samples[0], sum = 0;
  for (int i = 0; i < n; ++i) {
    max = std::max<int64_t>(max, samples[i]);
    min = std::min<int64_t>(min, samples[i]);
    sum += samples[i];
  }
  const int64_t mean = roundToInt(static_cast<double>(sum) / n);
  const int64_t range = max - min, up = max - mean, down = mean - min;
  const int64_t dev = std::max(up, down);

  if (bits == 8) {
    if (range < 256) {
      int64_t offset;
      if (max < 256 && min >= 0) offset = 0;
      else if (up >= 128) offset = max - 255;
      else if (down <= 128) offset = mean - 128;
      else offset = min;
      for (int i = 0; i < n; ++i) m_data[i] = static_cast<unsigned char>(samples[i] - offset);
    } else {
      const double scale = 127.0 / static_cast<double>(dev);
      for (int i = 0; i < n; ++i) {
        int64_t v = int64_t{roundToInt(static_cast<double>(samples[i] - mean) * scale)} + 128;
        m_data[i] = static_cast<unsigned char>(clampTo(v, 0, 255));
      }
    }
    return;
  }

  auto store = [this](int i, int64_t v) {
    writeLittleEndian16(&m_data[2 * static_cast<size_t>(i)], static_cast<uint16_t>(static_cast<int16_t>(v)));
  };
  if (range < 65536) {
    int64_t offset;
    if (max < 32768 && min >= -32768) offset = 0;
    else if (up >= 32768) offset = max - 32767;
    else if (down <= 32768) offset = mean;
    else offset = min + 32768;
    for (int i = 0; i < n; ++i) store(i, samples[i] - offset);
  } else {
    const double scale = 32767.0 / static_cast<double>(dev);
    for (int i = 0; i < n; ++i)
      store(i, clampTo(roundToInt(static_cast<double>(samples[i] - mean) * scale), -32768, 32767));
  }
}

int CWaveDevice::getBytes(void* out, int n) const {
  int m = std::min(m_dataSize, n);
  if (m <= 0 || !out) return 0;
  memcpy(out, m_data.data(), static_cast<size_t>(m));
  return m;
}

void CWaveDevice::setBytes(const void* bytes, int n) {
  if (n <= 0 || !bytes) {
    std::vector<unsigned char>().swap(m_data);
    m_dataSize = 0;
    return;
  }
  const unsigned char* begin = static_cast<const unsigned char*>(bytes);
  m_data.assign(begin, begin + n);
  m_dataSize = n;
}

// ---- Files ----------------------------------------------------------------------------------

bool CWaveDevice::readWave(const char* name) {
  riffFile file;
  if (!file.open(name, riffFile::READ)) {
    setError(ERR_FILE_OPEN, OWN_ERROR);
    return false;
  }
  auto fail = [&](unsigned code) {
    file.abandon();
    setError(code, OWN_ERROR);
    return false;
  };

  riffChunk riff;
  riff.fccType = ID_WAVE;
  if (file.descend(riff, nullptr, RIFF_FIND_RIFF) != RIFF_OK) return fail(ERR_FILE_CHUNK_READ);
  riffChunk fmt;
  fmt.ckid = ID_FMT;
  if (file.descend(fmt, &riff, RIFF_FIND_CHUNK) != RIFF_OK) return fail(ERR_FILE_CHUNK_READ);
  unsigned char record[WAVE_FORMAT_SIZE];
  const int64_t formatBytes = std::min<int64_t>(fmt.cksize, WAVE_FORMAT_SIZE);
  if (file.read(record, formatBytes) != formatBytes) return fail(ERR_FILE_CHUNK_READ);
  waveFormatDecode(m_format, record, static_cast<size_t>(formatBytes));
  if (file.ascend(fmt) != RIFF_OK) return fail(ERR_FILE_CHUNK_READ);

  riffChunk data;
  data.ckid = ID_DATA;
  if (file.descend(data, &riff, RIFF_FIND_CHUNK) != RIFF_OK) return fail(ERR_FILE_CHUNK_READ);
  // A streamed or cut file declares more data than it holds: refuse before allocating.
  if (data.cksize == 0 || data.cksize > INT32_MAX || data.cksize > file.bytesLeft())
    return fail(ERR_FILE_DATA_READ);
  std::vector<unsigned char> bytes(data.cksize);
  if (file.read(bytes.data(), data.cksize) != data.cksize) return fail(ERR_FILE_DATA_READ);
  file.close();
  m_data.swap(bytes);
  m_dataSize = static_cast<int32_t>(data.cksize);

  if (m_format.formatTag == WAVE_FORMAT_MULAW && !muLawToPcm()) {
    setError(ERR_FILE_DATA_READ, OWN_ERROR);
    return false;
  }
  return true;
}

bool CWaveDevice::writeWave(const char* name, bool muLaw) {
  if (muLaw && m_format.bitsPerSample != 16) {
    setError(ERR_FORMAT_MISMATCH, OWN_ERROR);
    return false;
  }
  riffFile file;
  if (!file.open(name, riffFile::CREATE)) {
    setError(ERR_FILE_OPEN, OWN_ERROR);
    return false;
  }
  auto fail = [&](unsigned code) {
    file.abandon();
    setError(code, OWN_ERROR);
    return false;
  };

  riffChunk riff;
  riff.fccType = ID_WAVE;
  if (file.createChunk(riff, RIFF_CREATE_RIFF) != RIFF_OK) return fail(ERR_FILE_CHUNK_WRITE);
  riffChunk fmt;
  fmt.ckid = ID_FMT;
  fmt.cksize = WAVE_FORMAT_SIZE;
  if (file.createChunk(fmt, 0) != RIFF_OK) return fail(ERR_FILE_CHUNK_WRITE);
  waveFormat format = m_format;
  if (muLaw) {
    format.formatTag = WAVE_FORMAT_MULAW;
    format.bitsPerSample = 8;
    format.blockAlign = m_format.channels;
    format.avgBytesPerSec = static_cast<uint32_t>(uint64_t{m_format.channels} * m_format.samplesPerSec);
    format.extraSize = 0;
  }
  unsigned char record[WAVE_FORMAT_SIZE];
  waveFormatEncode(format, record);
  if (file.write(record, WAVE_FORMAT_SIZE) != static_cast<int64_t>(WAVE_FORMAT_SIZE))
    return fail(ERR_FILE_CHUNK_WRITE);
  if (file.ascend(fmt) != RIFF_OK) return fail(ERR_FILE_CHUNK_WRITE);

  riffChunk data;
  data.ckid = ID_DATA;
  if (file.createChunk(data, 0) != RIFF_OK) return fail(ERR_FILE_CHUNK_WRITE);
  if (muLaw) {
    int count = m_dataSize / 2;
    std::vector<unsigned char> codes(static_cast<size_t>(count));
    pcmToMuLaw(codes.data(), m_data.data(), count);
    if (file.write(codes.data(), count) != count) return fail(ERR_FILE_DATA_WRITE);
  } else if (file.write(m_data.data(), m_dataSize) != m_dataSize) {
    return fail(ERR_FILE_DATA_WRITE);
  }
  if (file.ascend(data) != RIFF_OK || file.ascend(riff) != RIFF_OK)
    return fail(ERR_FILE_CHUNK_WRITE);
  if (file.close() != RIFF_OK) {
    setError(ERR_FILE_CLOSE, OWN_ERROR);
    return false;
  }
  return true;
}

bool CWaveDevice::readRaw(const char* name) {
  if (!name || isDirectory(name)) {
    setError(ERR_FILE_OPEN, OWN_ERROR);
    return false;
  }
  filePtr fp(fopen(name, "rb"));
  if (!fp) {
    setError(ERR_FILE_OPEN, OWN_ERROR);
    return false;
  }
  off_t size = -1;
  if (fseeko(fp.get(), 0, SEEK_END) == 0) size = ftello(fp.get());
  if (size < 0 || size > INT32_MAX || fseeko(fp.get(), 0, SEEK_SET) != 0) {
    setError(ERR_FILE_DATA_READ, OWN_ERROR);
    return false;
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  if (size > 0 && fread(bytes.data(), 1, bytes.size(), fp.get()) != bytes.size()) {
    setError(ERR_FILE_DATA_READ, OWN_ERROR);
    return false;
  }
  m_data.swap(bytes);
  m_dataSize = static_cast<int32_t>(size);
  return true;
}

bool CWaveDevice::writeRaw(const char* name) {
  fileReplace file;
  if (!name || isDirectory(name) || !fileReplaceOpen(name, false, file)) {
    setError(ERR_FILE_OPEN, OWN_ERROR);
    return false;
  }
  size_t size = static_cast<size_t>(m_dataSize);
  if (size > 0 && fwrite(m_data.data(), 1, size, file.fp) != size) {
    fileReplaceAbandon(file);
    setError(ERR_FILE_DATA_WRITE, OWN_ERROR);
    return false;
  }
  if (!fileReplaceCommit(file)) {
    setError(ERR_FILE_CLOSE, OWN_ERROR);
    return false;
  }
  return true;
}

bool CWaveDevice::muLawToPcm() {
  if (m_dataSize > INT32_MAX / 2) return false;
  std::vector<unsigned char> pcm(2 * static_cast<size_t>(m_dataSize));
  for (int32_t i = 0; i < m_dataSize; ++i)
    writeLittleEndian16(&pcm[2 * static_cast<size_t>(i)],
            static_cast<uint16_t>(static_cast<int16_t>(muLawExpand(m_data[i]))));
  m_data.swap(pcm);
  m_dataSize *= 2;
  m_format.formatTag = WAVE_FORMAT_PCM;
  m_format.bitsPerSample = 16;
  m_format.blockAlign = static_cast<uint16_t>(m_format.channels * 2);
  m_format.avgBytesPerSec = static_cast<uint32_t>(uint64_t{m_format.blockAlign} * m_format.samplesPerSec);
  return true;
}

void CWaveDevice::pcmToMuLaw(unsigned char* out, const unsigned char* samples, int n) {
  for (int i = 0; i < n; ++i)
    out[i] = muLawCompress(static_cast<int16_t>(readLittleEndian16(samples + 2 * static_cast<size_t>(i))));
}

// ---- Devices --------------------------------------------------------------------------------

template <class Device>
bool CWaveDevice::openDevice(std::unique_ptr<Device>& device, bool& open, int source) {
  if (open) return true;
  unsigned code = Device::open(device, m_format, nullptr);
  if (code != WAVE_OK) {
    setError(code, source);
    return false;
  }
  open = true;
  return true;
}

// Also takes back a buffer still queued, so that the device can always be closed.
template <class Device>
bool CWaveDevice::closeDevice(std::unique_ptr<Device>& device, waveHeader& header, bool& open, int source) {
  if (!open) return true;
  unsigned code = device->reset();
  if (code == WAVE_OK && (header.flags & WAVE_HDR_PREPARED)) code = device->unprepareHeader(header);
  if (code == WAVE_OK) code = device->close();
  if (code != WAVE_OK) {
    setError(code, source);
    return false;
  }
  device.reset();
  open = false;
  return true;
}

bool CWaveDevice::openInput() { return openDevice(m_waveIn, m_inputOpen, WAVE_IN_ERROR); }

bool CWaveDevice::closeInput() { return closeDevice(m_waveIn, m_inHeader, m_inputOpen, WAVE_IN_ERROR); }

bool CWaveDevice::openOutput() { return openDevice(m_waveOut, m_outputOpen, WAVE_OUT_ERROR); }

bool CWaveDevice::closeOutput() { return closeDevice(m_waveOut, m_outHeader, m_outputOpen, WAVE_OUT_ERROR); }

// The first error is the one told, not one of the close.
bool CWaveDevice::closeAfterError(bool (CWaveDevice::*close)()) {
  const std::string error = m_lastError;
  (this->*close)();
  m_lastError = error;
  return false;
}

template <class Device>
uint32_t CWaveDevice::bytePosition(Device& device, int source) {
  waveTime time;
  time.type = WAVE_TIME_BYTES;
  unsigned code = device.getPosition(time);
  if (code != WAVE_OK) {
    setError(code, source);
    return POSITION_FAILED;
  }
  if (time.type != WAVE_TIME_BYTES) {
    setError(ERR_TIME_FORMAT, OWN_ERROR);
    return POSITION_FAILED;
  }
  return time.value;
}

bool CWaveDevice::record(double seconds) {
  if (!updateRecording()) return false;
  if (m_recording) {
    setError(ERR_DEVICE_IN_USE, OWN_ERROR);
    return false;
  }
  if (!openInput()) return false;
  // The recording becomes the data, whose size is an int32.
  const double bytes = static_cast<double>(m_format.avgBytesPerSec) * seconds;
  const uint32_t length = static_cast<uint32_t>(clampTo(truncToInt(bytes), 0, INT32_MAX));
  try {
    m_inBuffer.assign(length, 0);
  } catch (const std::bad_alloc&) {
    setError(ERR_UNSPECIFIED, OWN_ERROR);
    return false;
  }
  headerOver(m_inHeader, m_inBuffer);
  unsigned code = m_waveIn->prepareHeader(m_inHeader);
  if (code == WAVE_OK) code = m_waveIn->addBuffer(m_inHeader);
  if (code == WAVE_OK) code = m_waveIn->start();
  if (code != WAVE_OK) {
    // Close again so that no device keeps the buffer queued.
    setError(code, WAVE_IN_ERROR);
    return closeAfterError(&CWaveDevice::closeInput);
  }
  m_recording = true;
  return true;
}

uint32_t CWaveDevice::recordPosition() {
  if (!m_recording) return 0;
  return bytePosition(*m_waveIn, WAVE_IN_ERROR);
}

bool CWaveDevice::updateRecording() {
  if (!m_recording) return true;
  uint32_t position = recordPosition();
  if (position == POSITION_FAILED) return false;
  if (position >= m_inHeader.bufferLength) return stopRecording();
  return true;
}

bool CWaveDevice::stopRecording() {
  if (!m_recording) return true;
  uint32_t position = recordPosition();
  m_recording = false;
  if (position == POSITION_FAILED) {
    // Without a position nothing is known to be recorded, but the device still has to stop,
    // or neither reset nor a new recording could ever end this one.
    return closeAfterError(&CWaveDevice::closeInput);
  }
  const uint32_t kept = std::min(position, m_inHeader.bufferLength);
  m_data.assign(m_inBuffer.begin(), m_inBuffer.begin() + kept);
  m_dataSize = static_cast<int32_t>(kept);
  unsigned code = m_waveIn->reset();
  if (code == WAVE_OK) code = m_waveIn->unprepareHeader(m_inHeader);
  if (code != WAVE_OK) {
    setError(code, WAVE_IN_ERROR);
    return false;
  }
  return closeInput();
}

bool CWaveDevice::isRecording() {
  updateRecording();
  return m_recording;
}

bool CWaveDevice::play() {
  if (!updatePlaying()) return false;
  if (m_playing) {
    setError(ERR_DEVICE_IN_USE, OWN_ERROR);
    return false;
  }
  if (!openOutput()) return false;
  try {
    m_outBuffer.assign(m_data.begin(), m_data.end());
  } catch (const std::bad_alloc&) {
    setError(ERR_UNSPECIFIED, OWN_ERROR);
    return false;
  }
  headerOver(m_outHeader, m_outBuffer);
  unsigned code = m_waveOut->prepareHeader(m_outHeader);
  if (code == WAVE_OK) code = m_waveOut->write(m_outHeader);
  if (code != WAVE_OK) {
    setError(code, WAVE_OUT_ERROR);
    return closeAfterError(&CWaveDevice::closeOutput);
  }
  m_playing = true;
  m_paused = false;
  return true;
}

bool CWaveDevice::pause() {
  if (!m_playing || m_paused) return true;
  unsigned code = m_waveOut->pause();
  if (code != WAVE_OK) {
    setError(code, WAVE_OUT_ERROR);
    return false;
  }
  m_paused = true;
  return true;
}

bool CWaveDevice::resume() {
  if (!m_playing || !m_paused) return true;
  unsigned code = m_waveOut->restart();
  if (code != WAVE_OK) {
    setError(code, WAVE_OUT_ERROR);
    return false;
  }
  m_paused = false;
  return true;
}

uint32_t CWaveDevice::playPosition() {
  if (!m_playing) return 0;
  return bytePosition(*m_waveOut, WAVE_OUT_ERROR);
}

bool CWaveDevice::updatePlaying() {
  if (!m_playing) return true;
  uint32_t position = playPosition();
  if (position == POSITION_FAILED) return false;
  if (position >= m_outHeader.bufferLength) return stopPlaying();
  return true;
}

bool CWaveDevice::stopPlaying() {
  if (!m_playing) return true;
  unsigned code = m_waveOut->reset();
  if (code == WAVE_OK) code = m_waveOut->unprepareHeader(m_outHeader);
  if (code != WAVE_OK) {
    setError(code, WAVE_OUT_ERROR);
    return false;
  }
  m_playing = false;
  m_paused = false;
  return closeOutput();
}

bool CWaveDevice::isPlaying() {
  updatePlaying();
  return m_playing;
}

// ---- Errors ---------------------------------------------------------------------------------

void CWaveDevice::setError(unsigned code, int source) {
  static const char* const OWN_TEXT[] = {
      "No error.",
      "Wave format mismatch.",
      "Device required in use.",
      "MMTIME required time format not supported.",
      "File open error.",
      "File close error.",
      "File chunk read error.",
      "File data read error.",
      "File chunk write error.",
      "File data write error.",
  };
  if (source == WAVE_IN_ERROR) {
    m_lastError = waveInErrorText(code).substr(0, MAX_ERROR_TEXT);
  } else if (source == WAVE_OUT_ERROR) {
    m_lastError = waveOutErrorText(code).substr(0, MAX_ERROR_TEXT);
  } else {
    m_lastError = code < sizeof OWN_TEXT / sizeof OWN_TEXT[0] ? OWN_TEXT[code] : "Unspecified error.";
  }
}

}  // namespace tulim
