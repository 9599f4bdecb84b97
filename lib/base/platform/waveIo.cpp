#include "waveIo.h"

#include <cstring>

#include "alsaWaveFactory.h"
#include "byteOrder.h"

namespace tulim {

void waveFormatEncode(const waveFormat& format, unsigned char bytes[WAVE_FORMAT_SIZE]) {
  writeLittleEndian16(bytes, format.formatTag);
  writeLittleEndian16(bytes + 2, format.channels);
  writeLittleEndian32(bytes + 4, format.samplesPerSec);
  writeLittleEndian32(bytes + 8, format.avgBytesPerSec);
  writeLittleEndian16(bytes + 12, format.blockAlign);
  writeLittleEndian16(bytes + 14, format.bitsPerSample);
  writeLittleEndian16(bytes + 16, format.extraSize);
}

void waveFormatDecode(waveFormat& format, const unsigned char* bytes, size_t n) {
  unsigned char record[WAVE_FORMAT_SIZE];
  waveFormatEncode(format, record);
  if (n > WAVE_FORMAT_SIZE) n = WAVE_FORMAT_SIZE;
  if (n > 0) memcpy(record, bytes, n);
  format.formatTag = readLittleEndian16(record);
  format.channels = readLittleEndian16(record + 2);
  format.samplesPerSec = readLittleEndian32(record + 4);
  format.avgBytesPerSec = readLittleEndian32(record + 8);
  format.blockAlign = readLittleEndian16(record + 12);
  format.bitsPerSample = readLittleEndian16(record + 14);
  format.extraSize = readLittleEndian16(record + 16);
}

bool waveFormatPlayable(const waveFormat& format) {
  if (format.formatTag != WAVE_FORMAT_PCM || format.channels == 0 || format.samplesPerSec == 0)
    return false;
  if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
  uint64_t align = uint64_t{format.channels} * format.bitsPerSample / 8;
  return format.blockAlign == align && format.avgBytesPerSec == align * format.samplesPerSec;
}

void waveTimeFromBytes(waveTime& time, uint64_t bytes, const waveFormat& format, unsigned formats) {
  unsigned type = time.type;
  if (!(formats & type)) {
    if (formats & WAVE_TIME_BYTES) type = WAVE_TIME_BYTES;
    else if (formats & WAVE_TIME_SAMPLES) type = WAVE_TIME_SAMPLES;
    else if (formats & WAVE_TIME_MS) type = WAVE_TIME_MS;
    else type = WAVE_TIME_BYTES;
  }
  if (type == WAVE_TIME_SAMPLES && format.blockAlign) {
    time.value = static_cast<uint32_t>(bytes / format.blockAlign);
  } else if (type == WAVE_TIME_MS && format.avgBytesPerSec) {
    time.value = static_cast<uint32_t>(bytes * 1000 / format.avgBytesPerSec);
  } else {
    type = WAVE_TIME_BYTES;
    time.value = static_cast<uint32_t>(bytes);
  }
  time.type = type;
}

bool waveErrorKnown(unsigned code) { return code <= WAVE_ERR_INVALHANDLE || code >= WAVE_ERR_SYSTEM; }

namespace {

std::string errorText(unsigned code, const char* kind) {
  if (code >= WAVE_ERR_SYSTEM) return alsaErrorText(code - WAVE_ERR_SYSTEM);
  switch (code) {
    case WAVE_OK:
      return "The operation completed successfully.";
    case WAVE_ERR_NODEVICE:
      return std::string("No ") + kind + " device is available on this system.";
    case WAVE_ERR_BADFORMAT:
      return std::string("The ") + kind + " device cannot take this wave format.";
    case WAVE_ERR_INVALPARAM:
      return "The buffer header has no memory for its length.";
    case WAVE_ERR_UNPREPARED:
      return "The buffer header has not been prepared.";
    case WAVE_ERR_STILLPLAYING:
      return std::string("Buffers are still queued on the ") + kind + " device.";
    case WAVE_ERR_INVALHANDLE:
      return std::string("The ") + kind + " device has been closed.";
    default:
      return std::string("Unknown ") + kind + " error code " + std::to_string(code) + ".";
  }
}

}  // namespace

std::string waveInErrorText(unsigned code) { return errorText(code, "wave-input"); }
std::string waveOutErrorText(unsigned code) { return errorText(code, "wave-output"); }

}  // namespace tulim
