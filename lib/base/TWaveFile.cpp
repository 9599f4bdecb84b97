#include "TWaveFile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/byteOrder.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr int FORMAT_PCM = 1;
constexpr int FORMAT_MU_LAW = 7;
constexpr int HEADER_BYTES = 46;
constexpr int64_t MAX_RIFF_SIZE = 0xffffffffLL;

// One 8-bit mu-law sample (the stored byte minus 128) decoded at the 8-bit scale.
int muLawDecode8(int sample) {
  static const int bias[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};
  unsigned u = ~static_cast<unsigned>(sample + 128) & 0xffu;
  unsigned exponent = (u >> 4) & 7u;
  unsigned mantissa = u & 0x0fu;
  int magnitude = (bias[exponent] + static_cast<int>(mantissa << (exponent + 3))) >> 8;
  return (u & 0x80u) ? -magnitude : magnitude;
}

bool readExactly(FILE* fp, void* buffer, int64_t n) {
  return n == 0 || fread(buffer, 1, static_cast<size_t>(n), fp) == static_cast<size_t>(n);
}

// Reads n bytes counted against left; fails, reading nothing, when that would take left
// below zero.
bool readCounted(FILE* fp, uint8_t* buffer, int64_t n, int64_t& left) {
  if (left < n) return false;
  left -= n;
  return readExactly(fp, buffer, n);
}

// Drops n bytes by reading them, so that the end of the file stops it as it would a read.
bool skipBytes(FILE* fp, int64_t n) {
  uint8_t piece[256];
  while (n > 0) {
    int64_t step = std::min<int64_t>(n, sizeof piece);
    if (!readExactly(fp, piece, step)) return false;
    n -= step;
  }
  return true;
}

// From the current position, the chunk id: true with its size, the position at its data;
// false when the end of the file comes first.
bool findChunk(FILE* fp, const char* id, int64_t& size) {
  for (;;) {
    uint8_t header[8];
    if (!readExactly(fp, header, 8)) return false;
    size = readLittleEndian32(header + 4);
    if (memcmp(header, id, 4) == 0) return true;
    if (!skipBytes(fp, size)) return false;
  }
}

int64_t bytesLeft(FILE* fp) {
  long size = getOpenFileSize(fp);
  long at = ftell(fp);
  return (size < 0 || at < 0 || at > size) ? 0 : size - at;
}

}  // namespace

TWaveFile::~TWaveFile() { clear(); }

bool TWaveFile::load(const char* name) {
  clear();
  if (!name) return false;
  filePtr file(fopen(name, "rb"));
  if (!file) return false;
  FILE* fp = file.get();

  uint8_t field[4];
  if (!readExactly(fp, field, 4) || memcmp(field, "RIFF", 4) != 0) return false;
  if (!readExactly(fp, field, 4)) return false;
  int64_t riffLeft = readLittleEndian32(field);
  if (!readCounted(fp, field, 4, riffLeft) || memcmp(field, "WAVE", 4) != 0) return false;

  int64_t fmtLeft = 0;
  if (!findChunk(fp, "fmt ", fmtLeft)) return false;
  if (!readCounted(fp, field, 4, fmtLeft)) return false;
  int format = readLittleEndian16(field);
  int channels = readLittleEndian16(field + 2);
  if ((format != FORMAT_PCM && format != FORMAT_MU_LAW) || channels != 1) return false;
  if (!readCounted(fp, field, 4, fmtLeft)) return false;
  uint32_t rate = readLittleEndian32(field);
  if (rate < 1 || rate > INT_MAX) return false;
  if (!readCounted(fp, field, 4, fmtLeft)) return false;
  // The block alignment gives the sample size; the file's bits-per-sample field is not used.
  if (!readCounted(fp, field, 4, fmtLeft)) return false;
  int bytesPerSample = readLittleEndian16(field) / channels;
  if (bytesPerSample != 1 && !(bytesPerSample == 2 && format == FORMAT_PCM)) return false;
  if (!skipBytes(fp, fmtLeft)) return false;

  int64_t dataBytes = 0;
  if (!findChunk(fp, "data", dataBytes)) return false;
  if (dataBytes > bytesLeft(fp) || dataBytes / bytesPerSample > INT_MAX) return false;
  std::vector<uint8_t> data(static_cast<size_t>(dataBytes));
  if (!readExactly(fp, data.data(), dataBytes)) return false;

  // The chunk search does not step over pad bytes: "user" is looked for right after the data,
  // where save puts it.
  std::string userText;
  int64_t userBytes = 0;
  bool hasUserText = findChunk(fp, "user", userBytes) && userBytes > 0;
  if (hasUserText) {
    if (userBytes > bytesLeft(fp)) return false;
    userText.resize(static_cast<size_t>(userBytes));
    if (!readExactly(fp, &userText[0], userBytes)) return false;
  }
  file.reset();

  m_sampleRate = static_cast<int>(rate);
  m_bytesPerSample = bytesPerSample;
  m_bitsPerSample = bytesPerSample * 8;
  m_samples.assign(static_cast<size_t>(dataBytes / bytesPerSample), 0);
  bytes2samples(data.data(), static_cast<int>(m_samples.size()) * bytesPerSample, 0);
  if (format == FORMAT_MU_LAW)
    for (int& s : m_samples) s = muLawDecode8(s);
  m_userText = std::move(userText);
  m_hasUserText = hasUserText;
  return true;
}

bool TWaveFile::save(const char* name) {
  if (!name) return false;
  int64_t dataBytes = static_cast<int64_t>(m_samples.size()) * m_bytesPerSample;
  int64_t userChunkBytes = m_hasUserText ? 8 + static_cast<int64_t>(m_userText.size()) : 0;
  int64_t riffSize = HEADER_BYTES - 8 + dataBytes + userChunkBytes;
  if (riffSize > MAX_RIFF_SIZE) return false;
  filePtr file(fopen(name, "wb"));
  if (!file) return false;
  FILE* fp = file.get();

  std::string header = "RIFF";
  appendLittleEndian32(header, static_cast<uint32_t>(riffSize));
  header += "WAVEfmt ";
  appendLittleEndian32(header, 18);
  appendLittleEndian16(header, FORMAT_PCM);
  appendLittleEndian16(header, 1);
  appendLittleEndian32(header, static_cast<uint32_t>(m_sampleRate));
  appendLittleEndian32(header, static_cast<uint32_t>(m_sampleRate) * static_cast<uint32_t>(m_bytesPerSample));
  appendLittleEndian16(header, static_cast<uint16_t>(m_bytesPerSample));
  appendLittleEndian16(header, static_cast<uint16_t>(m_bitsPerSample));
  appendLittleEndian16(header, 0);
  header += "data";
  appendLittleEndian32(header, static_cast<uint32_t>(dataBytes));
  bool written = fwrite(header.data(), 1, header.size(), fp) == header.size();

  const int blockSamples = 4096;
  std::vector<uint8_t> block(static_cast<size_t>(blockSamples) * 2);
  for (int start = 0; written && start < sampleCount(); start += blockSamples) {
    int copied = samples2bytes(start, blockSamples, block.data());
    size_t bytes = static_cast<size_t>(copied) * static_cast<size_t>(m_bytesPerSample);
    written = fwrite(block.data(), 1, bytes, fp) == bytes;
  }

  if (written && m_hasUserText) {
    std::string chunk = "user";
    appendLittleEndian32(chunk, static_cast<uint32_t>(m_userText.size()));
    chunk += m_userText;
    written = fwrite(chunk.data(), 1, chunk.size(), fp) == chunk.size();
  }
  if (fclose(file.release()) != 0) written = false;
  return written;
}

int TWaveFile::sampleRate() { return m_sampleRate; }

int TWaveFile::bitsPerSample() { return m_bitsPerSample; }

void TWaveFile::convert(int newRate, int newBits) {
  if ((newBits != 8 && newBits != 16) || newRate < 1) return;
  const int64_t count = static_cast<int64_t>(m_samples.size());
  const int64_t r = m_sampleRate, R = newRate;
  const bool resample = R != r && count > 0;
  const int64_t newCount = resample ? (count - 1) * R / r : count;
  if (newCount > INT_MAX) return;

  if (newBits != m_bitsPerSample) {
    for (int& s : m_samples) {
      if (newBits != 8)
        s = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(s) * 256, INT_MIN, INT_MAX));
      else
        s >>= 8;
    }
  }

  if (resample) {
    std::vector<int> resampled(static_cast<size_t>(newCount));
    for (int64_t i = 0; i < newCount; ++i) {
      int64_t k = i * r / R;
      float tenths = static_cast<float>(i) * 10.0f * static_cast<float>(r) / static_cast<float>(R) -
                     10.0f * static_cast<float>(k);
      // Single precision can stray past the whole tenths for long waves.
      int64_t f = tenths >= 9.0f ? 9 : tenths > 0.0f ? static_cast<int64_t>(tenths) : 0;
      int64_t next = std::min(k + 1, count - 1);
      resampled[static_cast<size_t>(i)] =
          static_cast<int>(((10 - f) * m_samples[static_cast<size_t>(k)] + f * m_samples[static_cast<size_t>(next)]) / 10);
    }
    m_samples.swap(resampled);
  }

  m_sampleRate = newRate;
  m_bitsPerSample = newBits;
  m_bytesPerSample = newBits / 8;
}

float TWaveFile::duration() { return static_cast<float>(m_samples.size()) / static_cast<float>(m_sampleRate); }

void TWaveFile::setSamples(const int* samples, int count) {
  // Copied before clearing: samples may point into this object's own array.
  std::vector<int> kept;
  if (samples && count > 0) kept.assign(samples, samples + count);
  clear();
  m_samples.swap(kept);
}

void TWaveFile::clear() {
  std::vector<int>().swap(m_samples);
  std::string().swap(m_userText);
  m_hasUserText = false;
}

void TWaveFile::crop(int begin, int end) {
  int last = sampleCount() - 1;
  if (end > last) end = last;
  if (begin < 0) begin = 0;
  if (begin > end) {
    std::vector<int>().swap(m_samples);
    return;
  }
  std::vector<int> kept(m_samples.begin() + begin, m_samples.begin() + end + 1);
  m_samples.swap(kept);
}

int TWaveFile::samples2bytes(int start, int count, void* buffer) const {
  if (!buffer || start < 0 || start >= sampleCount() || count < 1) return 0;
  int copied = std::min(count, sampleCount() - start);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (int i = 0; i < copied; ++i) {
    uint32_t value = static_cast<uint32_t>(m_samples[static_cast<size_t>(start + i)]);
    if (m_bytesPerSample == 2) {
      writeLittleEndian16(out, static_cast<uint16_t>(value & 0xffffu));
      out += 2;
    } else {
      *out++ = static_cast<uint8_t>((value + 128u) & 0xffu);
    }
  }
  return copied;
}

int TWaveFile::bytes2samples(const void* bytes, int byteCount, int offset) {
  if (!bytes || byteCount < 1 || offset < 0 || offset >= sampleCount()) return 0;
  int stored = std::min(byteCount / m_bytesPerSample, sampleCount() - offset);
  const uint8_t* in = static_cast<const uint8_t*>(bytes);
  for (int i = 0; i < stored; ++i) {
    int& s = m_samples[static_cast<size_t>(offset + i)];
    if (m_bytesPerSample == 2) {
      s = static_cast<int16_t>(readLittleEndian16(in));
      in += 2;
    } else {
      s = *in++ - 128;
    }
  }
  return stored;
}

}  // namespace tulim
