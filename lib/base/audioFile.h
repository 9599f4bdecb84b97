// Audio files to the engine's sample buffer (RIFF wave, FLV with Nellymoser audio, raw
// 16-bit data, chosen by the file name's extension) and a sample buffer back to a mono PCM
// wave file. Used by the task pipeline, the batch program and the library's exports.
#pragma once

#include <cstdint>

namespace tulim {

// The sample buffers returned below are malloc'ed arrays of one int per sample, mono (a wave
// of several channels is mixed down); the caller releases them with free. 16-bit data are
// signed, 8-bit wave data keep their unsigned values 0..255. Null outputs are not stored.

// By the last three characters of name: "wav", "WAV", "wa1", "WA1", "wa2", "WA2" read a wave
// file, "flv", "FLV" an FLV file, "raw", "RAW" raw data (16000 Hz, 16 bits); anything else
// is a fatal error.
int* readAudioFile(const char* name, int* fs, int* nbits, int* count);

// A RIFF wave file of 8- or 16-bit PCM (also in the extensible layout) or mu-law data
// (mu-law comes back as 16 bits). Several channels are mixed down to their rounded mean,
// so count is the number of frames. A file that cannot be opened is the fatal error "Can't
// open wave file %s (line 24 in audioFile)"; one that opens but cannot be read, or holds
// another width or coding, is a fatal error that says what is wrong.
int* readWaveInt(const char* name, int* fs, int* nbits, int* count);

// The audio of an FLV file, always reported as 16 bits: the samples are decoded to 16-bit
// values whatever the stream's flags say. A file without samples is a fatal error.
int* readFlvInt(const char* name, int* fs, int* nbits, int* count);

// Headerless little-endian 16-bit samples; an odd last byte is ignored.
int* readRawInt(const char* name, int* count);

// Samples of nbits (1 to 16) bits brought to the 16-bit range in place: multiplied by
// 2^(16 - nbits), 8-bit data first moved from unsigned (silence at 128) to signed; values
// beyond the int range are clamped. Every road from an audio file to the front end takes
// them through here, so an 8-bit file sounds the same whichever road it takes.
void samplesTo16Bits(int* samples, int count, int nbits);

// Writes samples as a mono PCM wave file of nbits (8 or 16) bits, fitting values that do not
// fit the width. False when the arguments are unusable or the file cannot be written.
bool wavFileWrite(const int* samples, int count, int fs, int nbits, const char* fileName);

// A wave file read at the fixed offsets of its canonical header (one format chunk, then the
// data chunk) into 16-bit samples, 8-bit data centred by subtracting 128; malloc'ed, the
// caller frees it. Null (after a message) when the file cannot be opened; a file shorter
// than its header and data say, or not PCM coded, is a fatal error.
int16_t* readWaveShort(const char* name, int* count, int* fs, int* nbits, int* channels);

}  // namespace tulim
