// TWaveFile: a mono wave file in memory (8- or 16-bit PCM or 8-bit mu-law RIFF WAVE with an
// optional "user" text chunk) as integer samples, with rate and size conversion, cropping and
// saving as PCM. Offered to users of the library; the engine reads its waves elsewhere.
#pragma once

#include <string>
#include <vector>

namespace tulim {

class TWaveFile {
 public:
  // Empty, 11025 Hz, 8 bits.
  TWaveFile() = default;
  // Virtual, so that a derived wave file deleted through this class is destroyed whole.
  virtual ~TWaveFile();

  // Reads a RIFF WAVE file of one channel: format 1 (PCM) with 1 or 2 bytes per sample, or
  // format 7 (mu-law) with 1. 16-bit samples are signed, 8-bit PCM samples the byte minus
  // 128, mu-law samples decoded at the 8-bit scale. The contents of a "user" chunk after the
  // data become the user text. False for any other format, a rate of 0 or above INT_MAX, a
  // missing "fmt " or "data" chunk, or a file shorter than its data or user chunk says; the
  // object is then empty and keeps its former rate and size.
  virtual bool load(const char* name);
  // Writes a canonical mono PCM file (a 46-byte header, the samples, then the user text as a
  // "user" chunk when there is one); 16-bit samples as their low 16 bits, 8-bit ones as the
  // low byte of value + 128. False when the file cannot be written completely or would not
  // fit RIFF's 32-bit sizes.
  virtual bool save(const char* name);
  virtual int sampleRate();
  virtual int bitsPerSample();
  // Changes the sample size between 8 and 16 bits (values times 256 up, arithmetic shift by
  // 8 down, kept within int) and resamples by linear interpolation in tenths. Sizes other
  // than 8 and 16 bits, a rate below 1, or a result of more than INT_MAX samples leave the
  // object unchanged.
  virtual void convert(int newRate, int newBits);
  // Seconds: sample count / sample rate.
  virtual float duration();
  // Clears (dropping the user text too), then keeps a copy of the first count samples; rate
  // and size stay. A null array or a count below 1 leaves the object empty.
  virtual void setSamples(const int* samples, int count);
  // Frees the samples and the user text.
  virtual void clear();
  // Keeps samples begin..end inclusive, end cut to the last sample and begin raised to 0;
  // when begin is then beyond end nothing is kept.
  virtual void crop(int begin, int end);

  // Copies up to count samples from start on as file bytes (16-bit: two bytes, low first;
  // 8-bit: the low byte of value + 128) into buffer, which holds count * bytes per sample
  // bytes. The number of samples copied: cut at the end, 0 when start is outside the samples.
  int samples2bytes(int start, int count, void* buffer) const;
  // Expands byteCount file bytes (whole samples of the current size: 16-bit signed
  // little-endian pairs, 8-bit byte - 128) into the samples from index offset on, cut at the
  // end of the samples. The number of samples stored.
  int bytes2samples(const void* bytes, int byteCount, int offset);

  // Null when empty.
  const int* samples() const { return m_samples.empty() ? nullptr : m_samples.data(); }
  int sampleCount() const { return static_cast<int>(m_samples.size()); }
  // Null when there is none.
  const char* userText() const { return m_hasUserText ? m_userText.c_str() : nullptr; }
  int userTextLength() const { return static_cast<int>(m_userText.size()); }
  int bytesPerSample() const { return m_bytesPerSample; }

 private:
  int m_sampleRate = 11025;  // Hz
  int m_bitsPerSample = 8;
  int m_bytesPerSample = 1;
  std::vector<int> m_samples;  // one per sample; its size is the sample count
  std::string m_userText;      // the "user" chunk's bytes
  bool m_hasUserText = false;
};

}  // namespace tulim
