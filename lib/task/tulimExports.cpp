#include <cstddef>
#include <cstring>
#include <type_traits>

#include "audioFile.h"
#include "mlfClass.h"
#include "platform/cLocaleScope.h"
#include "recogTask.h"
#include "recording.h"
#include "resultFileSet.h"
#include "tulim.h"
#include "utility.h"

// The host's record and the engine's are one layout under two names.
static_assert(std::is_trivially_copyable<tulim::recordParam>::value, "recordParam is copied as bytes");
static_assert(sizeof(::recordParam) == sizeof(tulim::recordParam), "recordParam layouts differ");
static_assert(offsetof(::recordParam, nbits) == offsetof(tulim::recordParam, nbits), "recordParam layouts differ");
static_assert(offsetof(::recordParam, nAdjustFrame) == offsetof(tulim::recordParam, nAdjustFrame),
              "recordParam layouts differ");
static_assert(offsetof(::recordParam, silenceLimitInSpeech) == offsetof(tulim::recordParam, silenceLimitInSpeech),
              "recordParam layouts differ");

namespace {

// A host that hands in no text gets a fatal error rather than a crash.
const char* textArgument(const char* value, const char* name) {
  if (!value) tulim::errorThrowf("Error: %s is null! (line %d of %s)", name, TULIM_HERE);
  if (!*value) tulim::errorThrowf("Error: %s is empty! (line %d of %s)", name, TULIM_HERE);
  return value;
}

// The exports force function and netType, whatever the file says.
void runStart(tulim::recogTask& task, const tulim::recogTask::paramFileText& written, tulim::recogParam& param,
              const char* function, tulim::recogTask::runInput input, tulim::resultFileSet& results) {
  param.netType = 0;
  param.function = function;
  results.claim(param);
  task.runParamCheck(written, param, input, {"netType"});
}

void scoreStore(float* score, float value) {
  if (score) *score = value;
}

// The records are copied byte for byte rather than cast, so no object is read through a
// pointer to another type.
tulim::recordParam engineRecord(const ::recordParam* param) {
  tulim::recordParam engine{};
  memcpy(&engine, param, sizeof engine);
  return engine;
}

int recogFromFile(const char* recogParamFile, const char* wavFile, const char* txtFile, float* score,
                  const char* function) {
  tulim::cLocaleScope locale;
  tulim::recogTask task;
  tulim::recogParam param;
  tulim::recogTask::paramFileText written;
  task.recogParamRead(textArgument(recogParamFile, "recogParamFile"), param, &written);
  param.wavFile = textArgument(wavFile, "wavFile");
  param.txtFile = textArgument(txtFile, "txtFile");
  tulim::resultFileSet results;
  runStart(task, written, param, function, tulim::recogTask::runInput::wavFile, results);
  tulim::mlfClass mlf;
  const int result = task.recogFromWavFile(param, mlf);
  results.keep();
  scoreStore(score, mlf.m_timberScore);
  return result;
}

int recogFromBuffer(const char* recogParamFile, const int* samples, int sampleCount, int fs, int nbits,
                    const char* txtFile, float* score, const char* function) {
  tulim::cLocaleScope locale;
  tulim::recogTask task;
  tulim::recogParam param;
  tulim::recogTask::paramFileText written;
  task.recogParamRead(textArgument(recogParamFile, "recogParamFile"), param, &written);
  param.txtFile = textArgument(txtFile, "txtFile");
  // The samples come from the caller: a wave file the parameters name is not theirs.
  param.wavFile.clear();
  tulim::resultFileSet results;
  runStart(task, written, param, function, tulim::recogTask::runInput::samples, results);
  tulim::mlfClass mlf;
  const int result = task.recogFromSamples(param, mlf, samples, sampleCount, fs, nbits);
  results.keep();
  scoreStore(score, mlf.m_timberScore);
  return result;
}

}  // namespace

extern "C" {

int vc01(const char* recogParamFile, const char* wavFile, const char* txtFile, float* score) {
  return recogFromFile(recogParamFile, wavFile, txtFile, score, "recog");
}

int sa01(const char* recogParamFile, const char* wavFile, const char* txtFile, float* score) {
  return recogFromFile(recogParamFile, wavFile, txtFile, score, "assess");
}

int vc02(const char* recogParamFile, const int* samples, int sampleCount, int fs, int nbits, const char* txtFile,
         float* score) {
  return recogFromBuffer(recogParamFile, samples, sampleCount, fs, nbits, txtFile, score, "recog");
}

int sa02(const char* recogParamFile, const int* samples, int sampleCount, int fs, int nbits, const char* txtFile,
         float* score) {
  return recogFromBuffer(recogParamFile, samples, sampleCount, fs, nbits, txtFile, score, "assess");
}

int32_t recordAutoStop(const ::recordParam* param, int32_t* samples, int32_t capacity, const char* stopFlag) {
  tulim::cLocaleScope locale;
  // The engine answers a missing record itself.
  if (!param) return tulim::recordAutoStop(nullptr, samples, capacity, stopFlag);
  const tulim::recordParam engine = engineRecord(param);
  return tulim::recordAutoStop(&engine, samples, capacity, stopFlag);
}

void recordParamRead(const char* fileName, ::recordParam* param) {
  tulim::cLocaleScope locale;
  tulim::recordParam engine{};
  tulim::recordParamRead(fileName, param ? &engine : nullptr);
  memcpy(param, &engine, sizeof engine);
}

void recordParamPrint(const ::recordParam* param) {
  tulim::cLocaleScope locale;
  if (!param) return tulim::recordParamPrint(nullptr);
  const tulim::recordParam engine = engineRecord(param);
  tulim::recordParamPrint(&engine);
}

FILE* openFile(const char* name, const char* mode) {
  tulim::cLocaleScope locale;
  return tulim::openFile(name, mode);
}

int getFileLineCount(const char* name) {
  tulim::cLocaleScope locale;
  return tulim::getFileLineCount(name);
}

bool wavFileWrite(const int* samples, int count, int fs, int nbits, const char* fileName) {
  tulim::cLocaleScope locale;
  return tulim::wavFileWrite(samples, count, fs, nbits, fileName);
}

}  // extern "C"
