// CWaveDevice: one sound in memory with its format, moved between RIFF wave files, raw byte
// files, integer sample arrays (fitted to 8 or 16 bits) and the default wave-input and
// wave-output devices, which it drives by polling their position. Used by the audio readers,
// wavFileWrite and the wave-file task variants. It never raises: a failing operation returns
// false (a position -1) and keeps a text for getLastError.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/waveInDevice.h"
#include "platform/waveIo.h"
#include "platform/waveOutDevice.h"

namespace tulim {

class CWaveDevice {
 public:
  // The object's own error codes (source OWN_ERROR).
  enum errorCode : unsigned {
    ERR_NONE = 0,
    ERR_FORMAT_MISMATCH = 1,
    ERR_DEVICE_IN_USE = 2,
    ERR_TIME_FORMAT = 3,
    ERR_FILE_OPEN = 4,
    ERR_FILE_CLOSE = 5,
    ERR_FILE_CHUNK_READ = 6,
    ERR_FILE_DATA_READ = 7,
    ERR_FILE_CHUNK_WRITE = 8,
    ERR_FILE_DATA_WRITE = 9,
    ERR_UNSPECIFIED = 10,
  };
  // Whose code setError is given: the object's, or the wave-input or wave-output device's.
  enum errorSource : int { OWN_ERROR = 0, WAVE_IN_ERROR = 1, WAVE_OUT_ERROR = 2 };

  // ---- Construction and format --------------------------------------------------------------

  CWaveDevice(uint16_t channels, uint32_t rate, uint16_t bits);
  ~CWaveDevice();
  CWaveDevice(const CWaveDevice&) = delete;
  CWaveDevice& operator=(const CWaveDevice&) = delete;

  // reset, then PCM with these values (block align channels x bits / 8).
  bool setFormat(uint16_t channels, uint32_t rate, uint16_t bits);
  // True when the format is PCM with these values; else "Wave format mismatch.".
  bool checkFormat(uint16_t channels, uint32_t rate, uint16_t bits);
  // Ends recording and playing, closes the devices and frees the data and both buffers.
  bool reset();

  uint16_t channels() const { return m_format.channels; }
  uint32_t sampleRate() const { return m_format.samplesPerSec; }
  uint16_t bitsPerSample() const { return m_format.bitsPerSample; }
  int dataSize() const { return m_dataSize; }  // bytes
  // Samples of every channel; 0 below 8 bits per sample.
  int sampleCount() const;
  const unsigned char* data() const { return m_data.data(); }
  std::string getLastError() const { return m_lastError; }
  void clearError() { m_lastError.clear(); }

  // ---- Data ---------------------------------------------------------------------------------

  // At most n samples into out: 8 bits as unsigned bytes, 16 bits as signed little-endian
  // words; 0 for any other width. Returns the number copied.
  int getSamples(int* out, int n) const;
  // The data becomes n samples at the current bit depth, copied when they fit, else shifted
  // or scaled into range; other widths get zero bytes of that size.
  void setSamples(const int* samples, int n);
  int getBytes(void* out, int n) const;
  void setBytes(const void* bytes, int n);

  // ---- Files --------------------------------------------------------------------------------

  // Takes the format from the "fmt " chunk and the data from the "data" chunk; mu-law data
  // become 16-bit PCM.
  bool readWave(const char* name);
  // Writes "RIFF" size "WAVE", "fmt " 18 and the format record, "data" size and the bytes
  // (mu-law of 16-bit data when muLaw is set), padded to an even size.
  bool writeWave(const char* name, bool muLaw);
  // The data becomes the file's bytes; the format is kept.
  bool readRaw(const char* name);
  bool writeRaw(const char* name);

  // ---- Devices ------------------------------------------------------------------------------

  // Records seconds of sound in the object's format; the data is replaced when the recording
  // stops (buffer full, noticed by the next poll, or stopRecording).
  bool record(double seconds);
  bool stopRecording();
  bool isRecording();
  uint32_t recordPosition();  // bytes recorded; 0 when not recording, -1 on failure

  // Plays a copy of the data; playback ends when all of it has been played (noticed by the
  // next poll) or by stopPlaying.
  bool play();
  bool pause();
  bool resume();
  bool stopPlaying();
  bool isPlaying();
  bool isPaused() const { return m_paused; }
  uint32_t playPosition();  // bytes played; 0 when not playing, -1 on failure

 private:
  bool openInput();
  bool closeInput();
  bool openOutput();
  bool closeOutput();
  // The shared steps of the input and output devices; source names the device's error texts.
  template <class Device>
  bool openDevice(std::unique_ptr<Device>& device, bool& open, int source);
  template <class Device>
  bool closeDevice(std::unique_ptr<Device>& device, waveHeader& header, bool& open, int source);
  bool updateRecording();
  bool updatePlaying();
  // Closes the device with close after a failure, keeping the error already set; false.
  bool closeAfterError(bool (CWaveDevice::*close)());
  // The device's position in bytes, or -1 with the error set when it cannot tell one.
  template <class Device>
  uint32_t bytePosition(Device& device, int source);
  void setError(unsigned code, int source);
  bool muLawToPcm();
  static void pcmToMuLaw(unsigned char* out, const unsigned char* samples, int n);

  waveFormat m_format;
  waveHeader m_inHeader;
  waveHeader m_outHeader;
  std::vector<char> m_inBuffer;   // memory of m_inHeader
  std::vector<char> m_outBuffer;  // memory of m_outHeader
  // After the buffers, so that a device is gone before the memory it was handed.
  std::unique_ptr<waveInDevice> m_waveIn;
  std::unique_ptr<waveOutDevice> m_waveOut;
  bool m_recording = false;
  bool m_playing = false;
  bool m_paused = false;
  bool m_inputOpen = false;
  bool m_outputOpen = false;
  std::vector<unsigned char> m_data;
  int32_t m_dataSize = 0;
  std::string m_lastError;
};

// Half away from zero: x > 0 gives trunc(x + 0.5), otherwise trunc(x - 0.5); values beyond
// the int range saturate and NaN gives 0.
int roundToInt(double x);

// Expands mu-law codes held as float values in place: indices 0 to last-1 when base is 0,
// base to last inclusive otherwise (arrays indexed from 1). Each value is truncated to an
// integer whose low byte is the code.
void muLawDecodeFloat(float* values, int last, int base);

}  // namespace tulim
