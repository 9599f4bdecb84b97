#include "waveIo.h"

#include <cstring>

#include "littleEndian.h"

namespace tulim {

void waveFormatEncode(const waveFormat& format, unsigned char bytes[WAVE_FORMAT_SIZE]) {
  putLe16(bytes, format.formatTag);
  putLe16(bytes + 2, format.channels);
  putLe32(bytes + 4, format.samplesPerSec);
  putLe32(bytes + 8, format.avgBytesPerSec);
  putLe16(bytes + 12, format.blockAlign);
  putLe16(bytes + 14, format.bitsPerSample);
  putLe16(bytes + 16, format.extraSize);
}

void waveFormatDecode(waveFormat& format, const unsigned char* bytes, size_t n) {
  unsigned char record[WAVE_FORMAT_SIZE];
  waveFormatEncode(format, record);
  if (n > WAVE_FORMAT_SIZE) n = WAVE_FORMAT_SIZE;
  if (n > 0) memcpy(record, bytes, n);
  format.formatTag = getLe16(record);
  format.channels = getLe16(record + 2);
  format.samplesPerSec = getLe32(record + 4);
  format.avgBytesPerSec = getLe32(record + 8);
  format.blockAlign = getLe16(record + 12);
  format.bitsPerSample = getLe16(record + 14);
  format.extraSize = getLe16(record + 16);
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

namespace {

std::string errorText(unsigned code, const char* kind) {
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
