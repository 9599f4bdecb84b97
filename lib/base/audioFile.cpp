#include "audioFile.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "CWaveDevice.h"
#include "flvReader.h"
#include "platform/byteOrder.h"
#include "platform/platformDir.h"
#include "utility.h"

namespace tulim {

namespace {

void store(int* out, int value) {
  if (out) *out = value;
}

// malloc'ed room for count ints; one at least, so that an empty buffer is still a buffer
// the caller can free.
int* intBuffer(int count, const char* name) {
  size_t n = std::max(count, 1);
  int* samples = static_cast<int*>(malloc(n * sizeof(int)));
  if (!samples) errorThrowf("Out of memory for %d samples of %s (line %d of %s)", count, name, TULIM_HERE);
  return samples;
}

bool isOneOf(const std::string& ext, std::initializer_list<const char*> list) {
  for (const char* e : list)
    if (ext == e) return true;
  return false;
}

}  // namespace

int* readAudioFile(const char* name, int* fs, int* nbits, int* count) {
  const std::string fileName = name ? name : "";
  const std::string ext = fileName.size() >= 3 ? fileName.substr(fileName.size() - 3) : std::string();
  if (isOneOf(ext, {"wav", "WAV", "wa1", "WA1", "wa2", "WA2"})) return readWaveInt(name, fs, nbits, count);
  if (isOneOf(ext, {"flv", "FLV"})) return readFlvInt(name, fs, nbits, count);
  if (isOneOf(ext, {"raw", "RAW"})) {
    int* samples = readRawInt(name, count);
    store(fs, 16000);
    store(nbits, 16);
    return samples;
  }
  errorThrowf("Cannot read audio file \"%s\" based on its extension name...", fileName.c_str());
}

int* readWaveInt(const char* name, int* fs, int* nbits, int* count) {
  const std::string fileName = name ? name : "";
  CWaveDevice wave(1, 8000, 8);
  if (!name || !wave.readWave(name))
    errorThrowf("Can't open wave file %s (line %d in %s)", fileName.c_str(), 24, "audioFile");
  const int bits = wave.bitsPerSample();
  // The sample buffer knows 8 and 16 bits only; other widths would have no samples to give.
  if (bits != 8 && bits != 16)
    errorThrowf("Wave file %s has %d bits per sample; only 8 and 16 bits can be read (line %d of %s)",
                fileName.c_str(), bits, TULIM_HERE);
  // Mu-law has become PCM by now; any other coding would be taken for PCM bytes.
  if (!wave.checkFormat(wave.channels(), wave.sampleRate(), wave.bitsPerSample()))
    errorThrowf("Wave file %s is neither PCM nor mu-law coded (line %d of %s)", fileName.c_str(), TULIM_HERE);

  const int n = wave.dataSize() / (bits / 8);
  int* samples = intBuffer(n, fileName.c_str());
  wave.getSamples(samples, n);
  store(fs, static_cast<int>(std::min<uint32_t>(wave.sampleRate(), INT_MAX)));
  store(nbits, bits);
  store(count, n);
  return samples;
}

int* readFlvInt(const char* name, int* fs, int* nbits, int* count) {
  int rate = 0, bits = 0, n = 0, channels = 0;
  int16_t* shorts = readFlvShort(name, &rate, &bits, &n, &channels);
  if (!shorts || n <= 0) {
    free(shorts);
    errorThrowf("No audio samples in FLV file %s (line %d of %s)", name ? name : "", TULIM_HERE);
  }
  int* samples = static_cast<int*>(malloc(static_cast<size_t>(n) * sizeof(int)));
  if (!samples) {
    free(shorts);
    errorThrowf("Out of memory for %d samples of %s (line %d of %s)", n, name, TULIM_HERE);
  }
  std::copy(shorts, shorts + n, samples);
  free(shorts);
  store(fs, rate);
  // The decoder gives 16-bit values even where the flags say 8 bits; reporting 8 would have
  // the wave preparation amplify them once more.
  store(nbits, 16);
  store(count, n);
  return samples;
}

int* readRawInt(const char* name, int* count) {
  if (!name) name = "";
  const long size = getFileSize(name);
  if (size / 2 > INT_MAX)
    errorThrowf("Raw file %s of %ld bytes holds more than %d samples (line %d of %s)", name, size, INT_MAX,
                TULIM_HERE);
  const int n = static_cast<int>(size / 2);
  std::vector<uint8_t> bytes(2 * static_cast<size_t>(n));
  {
    filePtr fp = openFilePtr(name, "rb");
    if (fread(bytes.data(), 1, bytes.size(), fp.get()) != bytes.size())
      errorThrowf("Cannot read the %d samples of raw file %s (line %d of %s)", n, name, TULIM_HERE);
  }
  int* samples = intBuffer(n, name);
  for (int i = 0; i < n; ++i)
    samples[i] = static_cast<int16_t>(readLittleEndian16(&bytes[2 * static_cast<size_t>(i)]));
  store(count, n);
  return samples;
}

bool wavFileWrite(const int* samples, int count, int fs, int nbits, const char* fileName) {
  if (!samples || count < 0 || fs <= 0 || (nbits != 8 && nbits != 16) || !fileName) return false;
  CWaveDevice wave(1, static_cast<uint32_t>(fs), static_cast<uint16_t>(nbits));
  wave.setSamples(samples, count);
  // setSamples leaves the data empty when it cannot hold the samples; writing that would
  // report an empty file as success.
  if (static_cast<int64_t>(wave.dataSize()) != int64_t{count} * nbits / 8) return false;
  return wave.writeWave(fileName, false);
}

int16_t* readWaveShort(const char* name, int* count, int* fs, int* nbits, int* channels) {
  std::vector<uint8_t> bytes;
  {
    // fopen of a directory succeeds here; it is a file that cannot be opened all the same.
    filePtr fp(name && !isDirectory(name) ? fopen(name, "rb") : nullptr);
    if (!fp) {
      printf("Cannot open wave file %s.\n", name ? name : "");
      return nullptr;
    }
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, fp.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  }
  const size_t fileSize = bytes.size();
  // The header up to the data size of a file without extra format bytes.
  if (fileSize < 44)
    errorThrowf("Wave file %s of %zu bytes is shorter than its header (line %d of %s)", name, fileSize,
                TULIM_HERE);
  const int numChannels = readLittleEndian16(&bytes[22]);
  const uint32_t rate = readLittleEndian32(&bytes[24]);
  const int bits = readLittleEndian16(&bytes[34]);
  const size_t shift = memcmp(&bytes[36], "data", 4) == 0 ? 0 : size_t{readLittleEndian16(&bytes[36])} + 2;
  if (44 + shift > fileSize)
    errorThrowf("Wave file %s of %zu bytes is shorter than its header of %zu bytes (line %d of %s)", name,
                fileSize, 44 + shift, TULIM_HERE);
  const uint32_t size = readLittleEndian32(&bytes[40 + shift]);
  if (size > fileSize - 44 - shift)
    errorThrowf("Wave file %s holds %zu data bytes, fewer than its data size %u (line %d of %s)", name,
                fileSize - 44 - shift, size, TULIM_HERE);
  const size_t n = bits == 8 ? size : size / 2;
  if (n > INT_MAX)
    errorThrowf("Wave file %s holds more than %d samples (line %d of %s)", name, INT_MAX, TULIM_HERE);

  int16_t* samples = static_cast<int16_t*>(calloc(std::max<size_t>(n, 1), sizeof(int16_t)));
  if (!samples) errorThrowf("Out of memory for %zu samples of %s (line %d of %s)", n, name, TULIM_HERE);
  const uint8_t* data = &bytes[44 + shift];
  if (bits == 8) {
    for (size_t i = 0; i < n; ++i) samples[i] = static_cast<int16_t>(data[i] - 128);
  } else if (bits == 16) {
    for (size_t i = 0; i < n; ++i) samples[i] = static_cast<int16_t>(readLittleEndian16(data + 2 * i));
  } else {
    // The samples stay zero: the file's bytes are not 16-bit values.
    printf("warning: Illegal bitsPerSample=%d!\n", bits);
  }
  store(count, static_cast<int>(n));
  store(fs, static_cast<int>(std::min<uint32_t>(rate, INT_MAX)));
  store(nbits, bits);
  store(channels, numChannels);
  return samples;
}

}  // namespace tulim
