#include "recording.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "lineFile.h"
#include "platform/autoResetEvent.h"
#include "platform/cLocaleScope.h"
#include "platform/waveInDevice.h"
#include "platform/waveMessageQueue.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

// ---- Parameters ---------------------------------------------------------------------------

namespace {

struct recordKey {
  const char* name;
  int32_t recordParam::*integer;
  double recordParam::*real;
};

#define INT_KEY(field) recordKey{#field, &recordParam::field, nullptr}
#define REAL_KEY(field) recordKey{#field, nullptr, &recordParam::field}

// In the record's order, which is also the order of comparison and of printing.
const recordKey kRecordKeys[] = {
    REAL_KEY(totalDuration),  INT_KEY(nbits),
    INT_KEY(fs),              INT_KEY(nAdjustFrame),
    REAL_KEY(upRateBSInit),   REAL_KEY(upRateBSNew),
    REAL_KEY(upRateBSModify), REAL_KEY(downRateBSInit),
    REAL_KEY(downRateBSNew),  REAL_KEY(downRateBSModifyUsingVol),
    REAL_KEY(upRateFrame),    REAL_KEY(downRateFrame),
    REAL_KEY(silenceLimitBeforeSpeech), REAL_KEY(silenceLimitInSpeech),
};

#undef INT_KEY
#undef REAL_KEY

}  // namespace

void recordParamRead(const char* fileName, recordParam* param) {
  cLocaleScope cLocale;
  // Host applications call this through the library: missing arguments are fatal errors
  // with a message, not crashes.
  if (!fileName) errorThrowf("Error: recordParamRead needs a file name (line %d of %s)", TULIM_HERE);
  if (!param) errorThrowf("Error: recordParamRead needs a record to fill (line %d of %s)", TULIM_HERE);
  strVec keys, values;
  keyValueFileRead(fileName, keys, values);
  *param = recordParam();
  for (size_t i = 0; i < keys.size(); ++i) {
    const recordKey* found = nullptr;
    for (const recordKey& key : kRecordKeys) {
      if (keys[i] == key.name) {
        found = &key;
        break;
      }
    }
    if (!found) {
      printf("Unknown key = %s\n", keys[i].c_str());
      errorThrowf("Error in parsing %s (line %d of file %s)", fileName, 434, "recording");
    }
    if (found->integer)
      param->*(found->integer) = keyValueInt(fileName, keys[i], values[i]);
    else
      param->*(found->real) = keyValueDouble(fileName, keys[i], values[i]);
  }
}

void recordParamPrint(const recordParam* param) {
  cLocaleScope cLocale;
  if (!param) return;
  for (const recordKey& key : kRecordKeys) {
    if (key.integer)
      printf("%s = %d\n", key.name, param->*(key.integer));
    else
      printf("%s = %f\n", key.name, param->*(key.real));
  }
}

// ---- The per-frame decision ---------------------------------------------------------------

std::string recordParamCheck(const recordParam& param) {
  if (param.nbits != 8 && param.nbits != 16) return "error: \"nbits\" can only be 8 or 16!";
  // Written so that a NaN is refused too.
  if (!(param.silenceLimitBeforeSpeech >= 0))
    return "error: \"silenceLimitBeforeSpeech\" must be greater or equal to 0!";
  if (!(param.silenceLimitInSpeech >= 0))
    return "error: \"silenceLimitInSpeech\" must be greater or equal to 0!";
  if (param.fs < RECORD_MIN_FS || param.fs > RECORD_MAX_FS)
    return strFormat("error: \"fs\" must be between %d and %d!", RECORD_MIN_FS, RECORD_MAX_FS);
  return std::string();
}

int32_t recordFrameLength(int32_t fs) {
  if (fs < RECORD_MIN_FS) return 0;
  return static_cast<int32_t>(fs * RECORD_FRAME_DURATION);
}

namespace {

// Seconds of silence as whole frames, truncated, kept inside int32.
int32_t silenceFrames(double seconds, double framesPerSecond) {
  const double frames = seconds * framesPerSecond;
  if (!(frames >= 0)) return 0;
  if (frames >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(frames);
}

}  // namespace

recordFrameState recordFrameStart(const recordParam& param) {
  recordFrameState state{};
  const int32_t frameLength = recordFrameLength(param.fs);
  const double framesPerSecond = frameLength > 0 ? static_cast<double>(param.fs) / frameLength : 0;
  state.threshold = std::ldexp(1.0, param.nbits - 1) * 0.025;
  state.upRate = param.upRateBSInit;
  state.downRate = param.downRateBSInit;
  state.adjustFramesLeft = param.nAdjustFrame;
  state.silenceCount = 0;
  state.silenceLimitBeforeSpeech = silenceFrames(param.silenceLimitBeforeSpeech, framesPerSecond);
  state.silenceLimitInSpeech = silenceFrames(param.silenceLimitInSpeech, framesPerSecond);
  state.speechStarted = false;
  state.adjusting = true;
  return state;
}

double recordFrameVolume(const int32_t* samples, size_t count, int32_t nbits) {
  if (count == 0) return 0;
  double sum = 0;
  for (size_t i = 0; i < count; ++i) sum += samples[i];
  const double mean = sum / static_cast<double>(count);
  double deviation = 0;
  for (size_t i = 0; i < count; ++i) {
    const double difference = samples[i] - mean;
    deviation += nbits == 8 ? std::fabs(std::trunc(difference)) : std::fabs(difference);
  }
  return deviation / static_cast<double>(count);
}

bool recordFrameDecide(recordFrameState& state, const recordParam& param, double volume) {
  if (state.adjusting) {
    if (volume > state.threshold)
      state.threshold += volume * param.upRateFrame;
    else
      state.threshold -= volume * param.downRateFrame;
    // A start value of 0 or less never reaches 1, so adjusting lasts the whole recording;
    // the count stops short of wrapping.
    if (state.adjustFramesLeft == 1) state.adjusting = false;
    if (state.adjustFramesLeft > INT32_MIN) --state.adjustFramesLeft;
  }
  if (!state.speechStarted) {
    if (volume > state.threshold) {
      state.downRate = param.downRateBSNew;
      state.threshold += volume * state.upRate;
      state.upRate *= param.upRateBSModify;
    } else {
      state.upRate = param.upRateBSNew;
      state.threshold = std::max(volume * param.downRateBSModifyUsingVol,
                                 state.threshold - volume * state.downRate);
    }
  }
  if (volume >= state.threshold) {
    state.speechStarted = true;
    state.silenceCount = 0;
  } else if (state.silenceCount < INT32_MAX) {
    ++state.silenceCount;
  }
  const int32_t limit =
      state.speechStarted ? state.silenceLimitInSpeech : state.silenceLimitBeforeSpeech;
  return state.silenceCount >= limit;
}

// ---- Device errors ------------------------------------------------------------------------

void waveErrorPrint(unsigned code, const char* text) {
  printf("ERROR 0x%08X: %s\r\n", code, text);
  // The device knows texts for its own result codes and the sound system's errors; the
  // system's buffer holds 128 characters with the NUL.
  if (waveErrorKnown(code))
    printf("%s\r\n", waveInErrorText(code).substr(0, 127).c_str());
  else
    printf("0x%08X returned!\r\n", code);
}

// ---- Recording ----------------------------------------------------------------------------

namespace {

// What recordAutoStop hands the recording thread.
struct recordSetup {
  const recordParam* param;
  int32_t* samples;
  int32_t capacity;
  int32_t* resultCount;
  int32_t frameLength;        // samples
  double threshold;
  int32_t silenceLimitBeforeSpeech;  // frames
  int32_t silenceLimitInSpeech;      // frames
  int32_t bytesPerSample;
  int32_t bufferNum;
  waveHeader* headers;        // bufferNum of them
  autoResetEvent* event;
  const char* stopFlag;
};

// The process-wide recording state. recordAutoStop fills it before the device is opened, so
// every write happens before the thread takes the device's first message; from then until
// the event the thread alone touches it (the device's handle excepted, set before start).
struct recordState {
  recordSetup setup;
  waveInDevice* device;
  int32_t frameBytes;
  int32_t written;
  int32_t buffersReturned;
  bool recording;
  recordFrameState frame;
  std::vector<int32_t> frameSamples;
};

recordState g_record;
// The recording thread's message queue, set before the thread starts and apart from the
// state, which is filled while the thread already waits on the queue.
waveMessageQueue* g_recordQueue = nullptr;
std::atomic<bool> g_recordBusy{false};

bool stopRequested(const char* stopFlag) {
  return stopFlag && __atomic_load_n(stopFlag, __ATOMIC_ACQUIRE) != 0;
}

int bufferIndex(const waveHeader* header) {
  return static_cast<int>(header - g_record.setup.headers);
}

// Ends the recording after the current frame: the caller's count is set and the device is
// told to give the other buffer back.
void recordStop() {
  g_record.recording = false;
  *g_record.setup.resultCount = g_record.written;
  const unsigned code = g_record.device->reset();
  if (code != WAVE_OK) {
    printf("Error resetting WAVE In Device! -- %08X\n", code);
    // The buffers still queued will not come back: count them so the caller is woken.
    g_record.buffersReturned = g_record.setup.bufferNum - 1;
  }
}

// Walks a buffer that came back during the recording frame by frame, until it ends or the
// recording stops.
void recordWalk(const waveHeader& header) {
  const recordSetup& setup = g_record.setup;
  const uint32_t bytes = header.bytesRecorded;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(header.data);
  for (uint32_t offset = 0; offset < bytes; offset += static_cast<uint32_t>(g_record.frameBytes)) {
    const uint32_t frameBytes = std::min<uint32_t>(static_cast<uint32_t>(g_record.frameBytes), bytes - offset);
    const size_t count = frameBytes / static_cast<uint32_t>(setup.bytesPerSample);
    if (count == 0) break;
    int32_t* frame = g_record.frameSamples.data();
    const unsigned char* at = data + offset;
    for (size_t i = 0; i < count; ++i) {
      if (setup.bytesPerSample == 1)
        frame[i] = at[i];
      else
        frame[i] = static_cast<int16_t>(static_cast<uint16_t>(at[2 * i] | (at[2 * i + 1] << 8)));
    }
    const double volume = recordFrameVolume(frame, count, setup.param->nbits);
    for (size_t i = 0; i < count && g_record.written < setup.capacity; ++i)
      setup.samples[g_record.written++] = frame[i];
    const bool silent = recordFrameDecide(g_record.frame, *setup.param, volume);
    if (silent || g_record.written == setup.capacity || stopRequested(setup.stopFlag)) {
      recordStop();
      return;
    }
  }
}

// With a setup block, copies it into the recording state and returns; without one, runs the
// recording thread until both buffers are back after the stop (or the queue is ended).
void recordThreadProc(const recordSetup* setup) {
  if (setup) {
    g_record.setup = *setup;
    g_record.device = nullptr;
    g_record.frameBytes = setup->frameLength * setup->bytesPerSample;
    g_record.written = 0;
    g_record.buffersReturned = 0;
    g_record.recording = true;
    g_record.frame = recordFrameStart(*setup->param);
    g_record.frame.threshold = setup->threshold;
    g_record.frame.silenceLimitBeforeSpeech = setup->silenceLimitBeforeSpeech;
    g_record.frame.silenceLimitInSpeech = setup->silenceLimitInSpeech;
    g_record.frameSamples.assign(static_cast<size_t>(setup->frameLength), 0);
    return;
  }
  waveMessage message;
  while (g_recordQueue->get(message)) {
    if (message.type == WAVE_IN_OPEN) {
      g_record.buffersReturned = 0;
    } else if (message.type == WAVE_IN_DATA && message.header) {
      waveHeader& header = *message.header;
      // Buffers that come back after the stop are only counted: walking them would append
      // audio from after the stop to the samples handed back.
      if (g_record.recording && header.bytesRecorded > 0) recordWalk(header);
      if (g_record.recording) {
        const unsigned code = g_record.device->addBuffer(header);
        if (code == WAVE_OK) continue;
        printf("Error queueing WAVEHDR %d! -- %08X\n", bufferIndex(&header), code);
        recordStop();
      }
      if (++g_record.buffersReturned >= g_record.setup.bufferNum) {
        g_record.setup.event->set();
        return;
      }
    }
  }
}

// Releases the single-recording claim on every way out of recordAutoStop.
struct busyRelease {
  ~busyRelease() { g_recordBusy = false; }
};

}  // namespace

int32_t recordAutoStop(const recordParam* param, int32_t* samples, int32_t capacity,
                       const char* stopFlag) {
  // Host applications call this through the library: a missing record or buffer is
  // refused like a bad parameter instead of crashing the host.
  if (!param) {
    printf("error: no recording parameters!\n");
    return -1;
  }
  if (!samples && capacity > 0) {
    printf("error: no sample buffer for %d samples!\n", capacity);
    return -1;
  }
  const std::string problem = recordParamCheck(*param);
  if (!problem.empty()) {
    printf("%s\n", problem.c_str());
    return -1;
  }
  bool expected = false;
  if (!g_recordBusy.compare_exchange_strong(expected, true)) {
    printf("error: a recording is already running!\n");
    return -1;
  }
  busyRelease release;

  const int32_t frameLength = recordFrameLength(param->fs);
  const recordFrameState start = recordFrameStart(*param);
  const int32_t bytesPerSample = param->nbits / 8;

  autoResetEvent event(RECORD_EVENT_NAME);
  waveMessageQueue queue;
  g_recordQueue = &queue;
  std::thread thread;
  try {
    thread = std::thread(recordThreadProc, nullptr);
  } catch (const std::system_error& e) {
    printf("Can't create WAVE recording thread! -- %08X\n", static_cast<unsigned>(e.code().value()));
    return -1;
  }
  // Every later way out ends the thread first: it may still be waiting for messages.
  auto endThread = [&] {
    queue.quit();
    if (thread.joinable()) thread.join();
  };

  waveFormat format;
  format.formatTag = WAVE_FORMAT_PCM;
  format.channels = 1;
  format.samplesPerSec = static_cast<uint32_t>(param->fs);
  format.blockAlign = static_cast<uint16_t>(bytesPerSample);
  format.avgBytesPerSec = format.blockAlign * format.samplesPerSec;
  format.bitsPerSample = static_cast<uint16_t>(param->nbits);
  format.extraSize = 0;
  // Whole samples only, so no sample is split between two buffers.
  uint32_t bufferLength = static_cast<uint32_t>(format.avgBytesPerSec * RECORD_BUFFER_DURATION);
  bufferLength -= bufferLength % format.blockAlign;
  std::unique_ptr<char[]> block(new (std::nothrow) char[static_cast<size_t>(bufferLength) * RECORD_BUFFER_NUM]);
  if (!block) {
    printf("ERROR: Can't allocate memory for WAVE buffer!\n");
    endThread();
    return -1;
  }
  waveHeader headers[RECORD_BUFFER_NUM];
  for (int k = 0; k < RECORD_BUFFER_NUM; ++k) {
    headers[k].data = block.get() + static_cast<size_t>(k) * bufferLength;
    headers[k].bufferLength = bufferLength;
  }

  int32_t count = 0;
  const recordSetup setup{param, samples, capacity, &count, frameLength, start.threshold,
                          start.silenceLimitBeforeSpeech, start.silenceLimitInSpeech,
                          bytesPerSample, RECORD_BUFFER_NUM, headers, &event, stopFlag};
  try {
    recordThreadProc(&setup);
  } catch (const std::bad_alloc&) {
    printf("ERROR: Can't allocate memory for WAVE buffer!\n");
    endThread();
    return -1;
  }

  std::unique_ptr<waveInDevice> device;
  unsigned code = waveInDevice::open(device, format, &queue);
  if (code != WAVE_OK) {
    waveErrorPrint(code, "Can't open WAVE In Device!");
    endThread();
    return -1;
  }
  g_record.device = device.get();

  int prepared = 0;
  auto closeDevice = [&] {
    for (int k = 0; k < prepared; ++k) {
      code = device->unprepareHeader(headers[k]);
      if (code != WAVE_OK) printf("Error unpreparing WAVEHDR %d! -- %08X\n", k, code);
    }
    for (int attempt = 0; attempt < RECORD_CLOSE_TRIES; ++attempt) {
      code = device->close();
      if (code == WAVE_OK) break;
      waveErrorPrint(code, "Can't close WAVE In Device!");
    }
    // Torn down even when it would not close, before the buffers' memory goes.
    device.reset();
  };
  // A failure before the recording: the thread is ended first, so the buffers that the
  // reset returns reach no one.
  auto abandon = [&] {
    endThread();
    device->reset();
    closeDevice();
    return -1;
  };

  for (; prepared < RECORD_BUFFER_NUM; ++prepared) {
    code = device->prepareHeader(headers[prepared]);
    if (code != WAVE_OK) {
      printf("Error preparing WAVEHDR %d! -- %08X\n", prepared, code);
      return abandon();
    }
  }
  for (int k = 0; k < RECORD_BUFFER_NUM; ++k) {
    code = device->addBuffer(headers[k]);
    if (code != WAVE_OK) {
      printf("Error queueing WAVEHDR %d! -- %08X\n", k, code);
      return abandon();
    }
  }
  code = device->start();
  if (code != WAVE_OK) {
    // No buffer would ever come back to end the wait.
    printf("Error starting record! -- %08X\n", code);
    return abandon();
  }

  event.wait();
  thread.join();
  closeDevice();
  return count;
}

}  // namespace tulim
