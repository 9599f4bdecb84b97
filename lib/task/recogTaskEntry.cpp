#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audioFile.h"
#include "dictClass.h"
#include "featuresAhead.h"
#include "layoutAhead.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "netClass.h"
#include "platform/platformClock.h"
#include "recogTask.h"
#include "stateScorer.h"
#include "textClass.h"

namespace tulim {

namespace {

// The pipeline's framing: 320 samples with a hop of 160 (20 ms and 10 ms at 16000 Hz).
constexpr int PIPELINE_FRAME_SIZE = 320;
constexpr int PIPELINE_OVERLAP = 160;

struct mallocFree {
  void operator()(void* p) const { free(p); }
};

// A wave read from its audio file and prepared for the pipeline, malloc'ed and owned here.
struct preparedWave {
  std::unique_ptr<int, mallocFree> samples;
  int sampleCount = 0;
  int fs = 0;
  int nbits = 0;
  std::vector<int> volumes;  // of its frames, where wavePrepare kept them

  sampleBuffer buffer() const { return {samples.get(), sampleCount, fs, nbits, &volumes}; }
};

// The audio file wavFile read and prepared; prepareSeconds, when given, receives the time the
// preparation took.
preparedWave wavFilePrepare(recogTask& task, recogParam& param, mlfClass& mlf, double* prepareSeconds = nullptr) {
  preparedWave wave;
  int* read = readAudioFile(param.wavFile.c_str(), &wave.fs, &wave.nbits, &wave.sampleCount);
  const double start = monotonicSeconds();
  // wavePrepare frees the buffer it is given when it replaces it or fails.
  wave.samples.reset(task.wavePrepare(read, wave.sampleCount, wave.fs, wave.nbits, param, mlf, &wave.volumes));
  if (prepareSeconds) *prepareSeconds = monotonicSeconds() - start;
  return wave;
}

// The threads of the search and of the ranking after it start while the net and the features
// are made, for as many frames as the wave holds at the usual 10 ms a frame (the features
// themselves, fewer where the end-point detection cuts the wave, come later).
int waveFrames(const sampleBuffer& wave) {
  if (wave.fs <= 0 || wave.sampleCount <= 0) return 0;
  const long long frames = static_cast<long long>(wave.sampleCount) * 100 / wave.fs;
  return static_cast<int>(std::min<long long>(frames, MAX_FRAME_NUM));
}

void threadsStart(const macroClass& mac, const sampleBuffer& wave) {
  stateScorer::threadsPrepare(mac, mac.MMF().modelNum, waveFrames(wave));
}

}  // namespace

std::vector<int> recogTask::recogUtterance(recogParam& param, const macroClass& mac, dictClass& dict,
                                           textClass& text, netClass& net, mlfClass& mlf, const sampleBuffer* wave,
                                           utteranceAhead ahead) {
  if (wave && !ahead.layout) threadsStart(mac, *wave);
  int candidateNum = 0, arenaLen = 0;
  netPrepare(param, mac, dict, text, net, candidateNum, arenaLen);

  preparedWave read;
  if (!wave) {
    read = wavFilePrepare(*this, param, mlf);
    threadsStart(mac, read.buffer());
  }
  const sampleBuffer samples = wave ? *wave : read.buffer();

  int frameNum = 0, vecSize = 0, firstFrame = 0;
  std::unique_ptr<float, mallocFree> features(
      ahead.features ? ahead.features->take(param, frameNum, vecSize, firstFrame)
                     : epdAndMfcc(param, samples.samples, samples.sampleCount, samples.fs, samples.nbits,
                                  PIPELINE_FRAME_SIZE, PIPELINE_OVERLAP, frameNum, vecSize, firstFrame));
  if (ahead.layout) ahead.layout->wait();
  return recogCore(param, samples.samples, samples.sampleCount, samples.fs, samples.nbits, PIPELINE_FRAME_SIZE,
                   PIPELINE_OVERLAP, firstFrame, features.get(), vecSize, frameNum, mac.MMF().modelNum, arenaLen,
                   candidateNum, mac, dict, text, net, mlf, samples.frameVolumes);
}

int recogTask::recogFromWavFile(recogParam& param, mlfClass& mlf) {
  double prepareSeconds = 0.0;
  const preparedWave wave = wavFilePrepare(*this, param, mlf, &prepareSeconds);
  printf("%4.3f sec: Read wave file \"%s\"\n", prepareSeconds, param.wavFile.c_str());

  return recogFromSamples(param, mlf, wave.samples.get(), wave.sampleCount, wave.fs, wave.nbits, &wave.volumes);
}

int recogTask::recogFromSamples(recogParam& param, mlfClass& mlf, const int* samples, int sampleCount, int fs,
                                int nbits, const std::vector<int>* frameVolumes) {
  // The features, and then the models' layout, are made on other threads while this one
  // reads the models, the lexicons and the texts and makes the net, which need neither.
  featuresAhead features(param, samples, sampleCount, fs, nbits, PIPELINE_FRAME_SIZE, PIPELINE_OVERLAP);
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;

  const double start = monotonicSeconds();
  mac.macroRead(param.macFile, true);
  mac.modelCountRead(param.modelCountFile);
  const sampleBuffer wave{samples, sampleCount, fs, nbits, frameVolumes};
  layoutAhead ahead(mac, waveFrames(wave));
  const int modelNum = mac.MMF().modelNum;
  printf("%4.3f sec: Read \"%s\" (modelNum=%d) and \"%s\"\n", monotonicSeconds() - start, param.macFile.c_str(),
         modelNum, param.modelCountFile.c_str());

  dictPrepare(param, mac, dict, text, net);
  const std::vector<int> textIndex = recogUtterance(param, mac, dict, text, net, mlf, &wave, {&ahead, &features});
  mac.macroFree();
  return textIndex.empty() ? -1 : textIndex[0];
}

}  // namespace tulim
