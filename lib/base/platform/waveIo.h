// Records, codes and messages shared by the wave-input and wave-output devices: the 18-byte
// wave format, the buffer header, the position record, result codes with their texts and the
// notifications a device posts. Used by the wave device class, the recorder and wave files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tulim {

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_MULAW = 7;
constexpr size_t WAVE_FORMAT_SIZE = 18;  // bytes of the format record in a file

struct waveFormat {
  uint16_t formatTag = WAVE_FORMAT_PCM;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;      // bytes of one sample of every channel
  uint16_t bitsPerSample = 0;
  uint16_t extraSize = 0;       // bytes of format data after these fields
};

// The record as its 18 little-endian bytes.
void waveFormatEncode(const waveFormat& format, unsigned char bytes[WAVE_FORMAT_SIZE]);
// Overwrites the first n (at most 18) bytes of the record's file form with bytes, so a
// shorter record (16 bytes, without the extra size) leaves the later fields as they were.
void waveFormatDecode(waveFormat& format, const unsigned char* bytes, size_t n);

// Header flags.
constexpr uint32_t WAVE_HDR_DONE = 0x01;      // the device has returned the buffer
constexpr uint32_t WAVE_HDR_PREPARED = 0x02;
constexpr uint32_t WAVE_HDR_INQUEUE = 0x10;   // queued on a device

// A buffer handed to a device; the memory belongs to the caller, who keeps it (and the
// header) in place until the device has returned it.
struct waveHeader {
  char* data = nullptr;
  uint32_t bufferLength = 0;
  uint32_t bytesRecorded = 0;  // input: bytes filled when the buffer came back
  uint32_t flags = 0;
  uint32_t loops = 0;          // kept for the owner; devices play every buffer once
};

// Time formats of a position query.
constexpr unsigned WAVE_TIME_MS = 0x01;
constexpr unsigned WAVE_TIME_SAMPLES = 0x02;
constexpr unsigned WAVE_TIME_BYTES = 0x04;

// The caller sets type to the format it asks for; a device that does not keep that format
// answers in another one and says which in type.
struct waveTime {
  unsigned type = WAVE_TIME_BYTES;
  uint32_t value = 0;
};

// True for a PCM format a device can take: at least one channel, a rate, 8 or 16 bits, and a
// block align and byte rate that agree with them.
bool waveFormatPlayable(const waveFormat& format);

// Sets time from a position in bytes: in the format asked for when it is among formats (a
// WAVE_TIME_* mask), else in the first of bytes, samples and milliseconds that is, saying
// which in time.type. Values wrap at 32 bits.
void waveTimeFromBytes(waveTime& time, uint64_t bytes, const waveFormat& format, unsigned formats);

// Result codes of the device calls.
enum waveResult : unsigned {
  WAVE_OK = 0,
  WAVE_ERR_NODEVICE = 1,     // no device of that kind on this system
  WAVE_ERR_BADFORMAT = 2,    // not a PCM format the device can take
  WAVE_ERR_INVALPARAM = 3,   // a header without memory for its length
  WAVE_ERR_UNPREPARED = 4,   // a header queued before being prepared
  WAVE_ERR_STILLPLAYING = 5, // buffers are still queued
  WAVE_ERR_INVALHANDLE = 6,  // the device has been closed
};

// Codes from WAVE_ERR_SYSTEM on carry an error of the sound system (ALSA): the code is
// WAVE_ERR_SYSTEM plus the error's number, and its text is the sound system's own.
constexpr unsigned WAVE_ERR_SYSTEM = 0x10000000;

// True when the device has a text of its own for code (a result code above or a sound-system
// error), false for a code it does not know.
bool waveErrorKnown(unsigned code);

// The system's text for a result code of the input or output device (texts of at most 512
// characters, as callers keep them).
std::string waveInErrorText(unsigned code);
std::string waveOutErrorText(unsigned code);

// What a device opened with a message queue posts there.
enum waveMessageType {
  WAVE_IN_OPEN,    // the input device is open
  WAVE_IN_DATA,    // header: an input buffer came back (full, or partly filled after a reset)
  WAVE_IN_CLOSE,   // the input device is closed
  WAVE_OUT_OPEN,
  WAVE_OUT_DONE,   // header: an output buffer has been played (or returned by a reset)
  WAVE_OUT_CLOSE,
};

struct waveMessage {
  waveMessageType type = WAVE_IN_OPEN;
  waveHeader* header = nullptr;  // for WAVE_IN_DATA and WAVE_OUT_DONE
};

}  // namespace tulim
