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
#include "numericUtil.h"
#include "platform/byteOrder.h"
#include "platform/platformDir.h"
#include "platform/waveIo.h"
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

constexpr int WAVE_TAG_EXTENSIBLE = 0xFFFE;
constexpr size_t EXTENSIBLE_FORMAT_SIZE = 40;
// Format tag, channels, rate, byte rate, block align and bits per sample.
constexpr size_t PCM_FORMAT_SIZE = 16;

// The coding a format chunk names: its format tag, or for the extensible layout the tag its
// sub-format carries in the first two bytes of its GUID (the other fourteen are fixed); -1
// when the chunk is too short to say or the sub-format is not one of those GUIDs.
int waveCoding(const uint8_t* format, size_t n) {
  static const uint8_t GUID_TAIL[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  if (n < 2) return -1;
  const int tag = readLittleEndian16(format);
  if (tag != WAVE_TAG_EXTENSIBLE) return tag;
  if (n < EXTENSIBLE_FORMAT_SIZE || memcmp(format + 26, GUID_TAIL, sizeof GUID_TAIL) != 0) return -1;
  return readLittleEndian16(format + 24);
}

// The coding of a format chunk for a message: "format tag 7 (mu-law)", "format tag 0xFFFE
// with sub-format 3 (IEEE float)".
std::string waveCodingText(const uint8_t* format, size_t n) {
  auto named = [](int tag) {
    switch (tag) {
      case 1: return std::string(" (PCM)");
      case 2: case 0x11: return std::string(" (ADPCM)");
      case 3: return std::string(" (IEEE float)");
      case 6: return std::string(" (A-law)");
      case 7: return std::string(" (mu-law)");
      default: return std::string();
    }
  };
  if (n < 2) return "no format tag";
  const int tag = readLittleEndian16(format);
  if (tag != WAVE_TAG_EXTENSIBLE) return strFormat("format tag %d", tag) + named(tag);
  const int coding = waveCoding(format, n);
  if (coding < 0) return "format tag 0xFFFE with an unknown sub-format";
  return strFormat("format tag 0xFFFE with sub-format %d", coding) + named(coding);
}

// What the chunks of a wave file say, walked one by one up to the data chunk: why a file
// that opens cannot be read, and the format bytes the device does not keep (the sub-format
// of the extensible layout).
struct waveLayout {
  std::string fault;            // e.g. "has no data chunk"; empty when the chunks are sound
  std::vector<uint8_t> format;  // the first bytes of the "fmt " chunk, at most 40
};

waveLayout waveLayoutScan(FILE* fp) {
  waveLayout layout;
  const long long size = std::max(getOpenFileSize(fp), 0L);
  auto fail = [&layout](std::string fault) {
    layout.fault = std::move(fault);
    return layout;
  };
  auto cutAtEnd = [&] { return fail(strFormat("has its header cut at byte %lld", size)); };

  uint8_t head[12];
  const size_t got = fread(head, 1, sizeof head, fp);
  if (size == 0) return fail("is empty (0 bytes), not a RIFF WAVE file");
  const bool riff = memcmp(head, "RIFF", std::min<size_t>(got, 4)) == 0;
  const bool wave = got <= 8 || memcmp(head + 8, "WAVE", got - 8) == 0;
  if (!riff || !wave) return fail("is not a RIFF WAVE file");
  if (got < sizeof head) return cutAtEnd();

  bool haveFormat = false;
  long long at = 12;
  for (;;) {
    if (at == size) return fail(haveFormat ? "has no data chunk" : "has no format chunk");
    if (at + 8 > size) return cutAtEnd();
    uint8_t chunk[8];
    if (fseek(fp, at, SEEK_SET) != 0 || fread(chunk, 1, 8, fp) != 8) return cutAtEnd();
    const long long chunkSize = readLittleEndian32(chunk + 4);
    const long long body = at + 8;
    if (memcmp(chunk, "fmt ", 4) == 0 && !haveFormat) {
      if (body + chunkSize > size) return cutAtEnd();
      layout.format.resize(static_cast<size_t>(std::min<long long>(chunkSize, EXTENSIBLE_FORMAT_SIZE)));
      if (fread(layout.format.data(), 1, layout.format.size(), fp) != layout.format.size()) return cutAtEnd();
      haveFormat = true;
    } else if (memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return fail("has no format chunk before its data chunk");
      if (chunkSize == 0) return fail("has an empty data chunk");
      if (chunkSize > size - body)
        return fail(strFormat("has a data size of %lld bytes beyond the end of the file (%lld bytes left)",
                              chunkSize, size - body));
      return layout;
    }
    at = body + chunkSize + (chunkSize & 1);
    if (at > size) return cutAtEnd();
  }
}

// Why the wave device could not read the file, as a fatal error: "Can't open wave file" for
// a file that does not open (callers and users know that text), else what is wrong with it.
[[noreturn]] void waveReadFailure(const std::string& fileName, const CWaveDevice& wave) {
  filePtr fp(!fileName.empty() && !isDirectory(fileName.c_str()) ? fopen(fileName.c_str(), "rb") : nullptr);
  if (!fp) errorThrowf("Can't open wave file %s (line %d in %s)", fileName.c_str(), 24, "audioFile");
  const waveLayout layout = waveLayoutScan(fp.get());
  if (!layout.fault.empty())
    errorThrowf("Wave file %s %s (line %d of %s)", fileName.c_str(), layout.fault.c_str(), TULIM_HERE);
  errorThrowf("Wave file %s cannot be read: %s (line %d of %s)", fileName.c_str(), wave.getLastError().c_str(),
              TULIM_HERE);
}

// The format chunk of a file the wave device has read.
std::vector<uint8_t> waveFormatBytes(const std::string& fileName) {
  filePtr fp(fopen(fileName.c_str(), "rb"));
  return fp ? waveLayoutScan(fp.get()).format : std::vector<uint8_t>();
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
  errorThrowf("Cannot read audio file \"%s\" based on its extension name: the names read end in wav, wa1 or wa2 "
              "(RIFF wave), flv (FLV) or raw (16-bit samples at 16000 Hz), in small or capital letters",
              fileName.c_str());
}

int* readWaveInt(const char* name, int* fs, int* nbits, int* count) {
  const std::string fileName = name ? name : "";
  CWaveDevice wave(1, 8000, 8);
  if (!name || !wave.readWave(name)) waveReadFailure(fileName, wave);
  const std::vector<uint8_t> format = waveFormatBytes(fileName);
  // The device keeps its start-up format (mono, 8000 Hz, 8 bits) in the fields a short format
  // chunk lacks: the data would be read in a format the file never named.
  if (format.size() < PCM_FORMAT_SIZE)
    errorThrowf("Wave file %s has a format chunk of %zu bytes, fewer than the %zu of a PCM format (line %d of %s)",
                fileName.c_str(), format.size(), PCM_FORMAT_SIZE, TULIM_HERE);
  // Mu-law has become PCM by now; any other coding would be taken for PCM bytes. The
  // extensible layout keeps its coding in a sub-format that the device does not look at.
  if (!wave.checkFormat(wave.channels(), wave.sampleRate(), wave.bitsPerSample())) {
    if (waveCoding(format.data(), format.size()) != WAVE_FORMAT_PCM)
      errorThrowf("Wave file %s is neither PCM nor mu-law coded: %s (line %d of %s)", fileName.c_str(),
                  waveCodingText(format.data(), format.size()).c_str(), TULIM_HERE);
  }
  const int channels = wave.channels();
  if (channels < 1) errorThrowf("Wave file %s has 0 channels (line %d of %s)", fileName.c_str(), TULIM_HERE);
  const int bits = wave.bitsPerSample();
  // The sample buffer knows 8 and 16 bits only; other widths would have no samples to give.
  if (bits != 8 && bits != 16)
    errorThrowf("Wave file %s has %d bits per sample; only 8 and 16 bits can be read (line %d of %s)",
                fileName.c_str(), bits, TULIM_HERE);

  const int n = wave.dataSize() / (bits / 8);
  const int frames = n / channels;
  // An empty buffer would only fail much later, in the search, without the file's name.
  if (frames < 1)
    errorThrowf("Wave file %s holds no samples: its %d data bytes are fewer than the %d of one sample (%d channel(s) "
                "of %d bits) (line %d of %s)",
                fileName.c_str(), wave.dataSize(), channels * (bits / 8), channels, bits, TULIM_HERE);
  int* samples = intBuffer(frames, fileName.c_str());
  if (channels == 1) {
    wave.getSamples(samples, n);
  } else {
    // The pipeline is mono: interleaved channels read as one would be a wave of another
    // length and pitch. Each frame becomes the rounded mean of its channels; a last frame
    // short of a channel is dropped.
    std::vector<int> interleaved(static_cast<size_t>(n));
    wave.getSamples(interleaved.data(), n);
    for (int f = 0; f < frames; ++f) {
      int sum = 0;  // at most 65535 channels of 16 bits: within int
      for (int c = 0; c < channels; ++c) sum += interleaved[static_cast<size_t>(f) * channels + c];
      samples[f] = intDivRound(sum, channels);
    }
  }
  store(fs, static_cast<int>(std::min<uint32_t>(wave.sampleRate(), INT_MAX)));
  store(nbits, bits);
  store(count, frames);
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
  if (n < 1)
    errorThrowf("Raw file %s holds no samples: its %ld bytes are fewer than the 2 of one sample (line %d of %s)", name,
                size, TULIM_HERE);
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

void samplesTo16Bits(int* samples, int count, int nbits) {
  if (nbits < 1 || nbits > 16 || !samples) return;
  const long long factor = 1LL << (16 - nbits);
  const long long zero = nbits == 8 ? 128 : 0;
  for (int i = 0; i < count; ++i) {
    const long long v = (samples[i] - zero) * factor;
    samples[i] = saturateToInt(v);
  }
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
  // The fixed offsets would take any coding for PCM: mu-law or ADPCM bytes read as samples
  // are noise.
  const size_t formatSize = std::min<size_t>(readLittleEndian32(&bytes[16]), fileSize - 20);
  if (waveCoding(&bytes[20], formatSize) != WAVE_FORMAT_PCM)
    errorThrowf("Wave file %s is not PCM coded: %s (line %d of %s)", name,
                waveCodingText(&bytes[20], formatSize).c_str(), TULIM_HERE);
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
