// The FLV reader: the audio track of a Flash video file, Nellymoser-coded, decoded with
// libavcodec into one array of 16-bit samples. Used by readFlvInt of the audio-file readers.
// A corrupt file or a stream of another codec is a fatal error naming the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tulim {

struct flvHeader {
  uint8_t signature[3];  // 'F', 'L', 'V'
  uint8_t version;       // 1
  uint8_t flags;
  uint32_t offset;       // read but not used: the first tag always follows the 9 header bytes
};

struct flvTag {
  uint8_t type;          // 8 audio, 9 video, 18 script data
  uint32_t bodyLength;   // 24 bits
  uint32_t timestamp;    // 24 bits, milliseconds; the extension byte is dropped
  uint32_t streamId;     // 24 bits
};

// What an audio tag's flags byte says.
struct flvAudioInfo {
  int channelsFlag;      // 1 stereo
  int bits;              // 16 or 8, as the flags say (samples are decoded as 16-bit values)
  int rateCode;          // 5, 8, 11, 22 or 44
};

// Reads the whole file; returns its samples (malloc'ed, the caller frees them) or null
// when the name is null, the file cannot be read, is empty, is not FLV or holds no audio.
// Null outputs are not stored.
int16_t* readFlvShort(const char* name, int* fs, int* nbits, int* count, int* channels);

// The parsing steps; each checks the bytes left and reports a short file as corrupt. name,
// when given, is the file the bytes come from, for the message.
void flvHeaderRead(const uint8_t* data, size_t size, flvHeader& header, const char* name = nullptr);
void flvTagHeaderRead(const uint8_t* data, size_t size, flvTag& tag, const char* name = nullptr);
// Format 5 (Nellymoser 8 kHz mono) or 6 (Nellymoser); any other is the fatal error
// "stream is not Nellymoser (audio format %d) in %s".
flvAudioInfo flvAudioFormat(uint8_t flags, const char* name = nullptr);
// The sampling rate in Hz of a rate code.
int flvRateCodeToFs(int rateCode);

// 256 decoded values to 16 bits: clamped to the 16-bit range, else truncated; NaN gives 0.
void nellymoserClip(const float* in, int16_t* out);

// The fatal error "Corrupt file (what) in name" ("Corrupt file (what)" without a name), so
// that a host reading many files goes on after a bad one.
[[noreturn]] void flvCorrupt(const char* what, const char* name = nullptr);

void flvTagPrint(const flvTag& tag);
void flvAudioFormatPrint(uint8_t flags);
void flvVideoFormatPrint(uint8_t flags);
void flvFree(void* p);

}  // namespace tulim
