// Microphone recording with automatic stop: the recording parameters and their file, the
// per-frame speech and silence decision, and recordAutoStop, which records the default wave
// input into the caller's buffer. The three record* functions are exports of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tulim {

// The recording parameters, in the layout the library's callers pass.
struct recordParam {
  double totalDuration;             // seconds; read and printed only
  int32_t nbits;                    // 8 or 16
  int32_t fs;                       // Hz
  int32_t nAdjustFrame;             // first frames in which the frame rates also move the threshold
  double upRateBSInit;              // "BS": before speech
  double upRateBSNew;
  double upRateBSModify;
  double downRateBSInit;
  double downRateBSNew;
  double downRateBSModifyUsingVol;
  double upRateFrame;
  double downRateFrame;
  double silenceLimitBeforeSpeech;  // seconds
  double silenceLimitInSpeech;      // seconds
};

constexpr double RECORD_FRAME_DURATION = 0.02;   // seconds
constexpr double RECORD_BUFFER_DURATION = 0.1;   // seconds
constexpr int RECORD_BUFFER_NUM = 2;
constexpr const char* RECORD_EVENT_NAME = "Notify Event";
// Sampling rates that give a frame at least one sample long and a byte rate that fits.
constexpr int32_t RECORD_MIN_FS = 50;
constexpr int32_t RECORD_MAX_FS = 0x3FFFFFFF;
// Attempts at closing the input device before it is torn down regardless.
constexpr int RECORD_CLOSE_TRIES = 10;

// ---- Exports ----------------------------------------------------------------------------

// Sets every field to 0, then each key of the file in order (a later line wins); an unknown
// key prints "Unknown key = <key>" and is fatal.
void recordParamRead(const char* fileName, recordParam* param);
// One "<field> = <value>" line per field, in the record's order.
void recordParamPrint(const recordParam* param);
// Records mono PCM (8-bit samples as 0..255, 16-bit as signed values) into samples until a
// silence limit, the capacity or a non-zero *stopFlag (stopFlag may be null) stops it;
// returns the number of samples stored, or -1 when the parameters or the device fail before
// recording, or another recording is running.
int32_t recordAutoStop(const recordParam* param, int32_t* samples, int32_t capacity,
                       const char* stopFlag);

// Prints "ERROR 0x<code>: <text>" and the device's own text for the code.
void waveErrorPrint(unsigned code, const char* text);

// ---- The per-frame decision ---------------------------------------------------------------

// What the decision carries from one frame to the next.
struct recordFrameState {
  double threshold;
  double upRate;                     // rise rate before speech
  double downRate;                   // fall rate before speech
  int32_t adjustFramesLeft;
  int32_t silenceCount;              // frames
  int32_t silenceLimitBeforeSpeech;  // frames
  int32_t silenceLimitInSpeech;      // frames
  bool speechStarted;
  bool adjusting;
};

// "" when recordAutoStop can record with param, else the message it prints.
std::string recordParamCheck(const recordParam& param);
// Samples of one frame at fs (0 below RECORD_MIN_FS).
int32_t recordFrameLength(int32_t fs);
// The state at the first frame, for checked parameters.
recordFrameState recordFrameStart(const recordParam& param);
// Mean absolute deviation of the samples from their mean; for 8 bits each deviation is
// truncated to an integer before its absolute value is taken.
double recordFrameVolume(const int32_t* samples, size_t count, int32_t nbits);
// Moves the threshold by one frame of that volume and counts speech and silence; true when
// the silence limit in force is reached.
bool recordFrameDecide(recordFrameState& state, const recordParam& param, double volume);

}  // namespace tulim
