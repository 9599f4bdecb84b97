#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audioFile.h"
#include "dictClass.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "netClass.h"
#include "platform/platformClock.h"
#include "recogTask.h"
#include "textClass.h"
#include "workerPool.h"

namespace tulim {

namespace {

// The pipeline's framing: 320 samples with a hop of 160 (20 ms and 10 ms at 16000 Hz).
constexpr int PIPELINE_FRAME_SIZE = 320;
constexpr int PIPELINE_OVERLAP = 160;

struct mallocFree {
  void operator()(void* p) const { free(p); }
};

}  // namespace

int recogTask::recogFromWavFile(recogParam& param, mlfClass& mlf) {
  int fs = 0, nbits = 0, sampleCount = 0;
  int* read = readAudioFile(param.wavFile.c_str(), &fs, &nbits, &sampleCount);

  const double start = monotonicSeconds();
  // wavePrepare frees the buffer it is given when it replaces it or fails.
  std::unique_ptr<int, mallocFree> samples(wavePrepare(read, sampleCount, fs, nbits, param, mlf));
  printf("%4.3f sec: Read wave file \"%s\"\n", monotonicSeconds() - start, param.wavFile.c_str());

  return recogFromSamples(param, mlf, samples.get(), sampleCount, fs, nbits);
}

int recogTask::recogFromSamples(recogParam& param, mlfClass& mlf, const int* samples, int sampleCount, int fs,
                                int nbits) {
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;

  // The search and the phone ranking share their work with these threads: they start while
  // the models are read.
  workerPool::shared().prepare();
  const double start = monotonicSeconds();
  mac.macroRead(param.macFile, true);
  mac.modelCountRead(param.modelCountFile);
  const int modelNum = mac.MMF.modelNum;
  printf("%4.3f sec: Read \"%s\" (modelNum=%d) and \"%s\"\n", monotonicSeconds() - start, param.macFile.c_str(),
         modelNum, param.modelCountFile.c_str());

  dictPrepare(param, mac, dict, text, net);
  int candidateNum = 0, arenaLen = 0;
  netPrepare(param, mac, dict, text, net, candidateNum, arenaLen);

  int frameNum = 0, vecSize = 0, firstFrame = 0;
  std::unique_ptr<float, mallocFree> features(epdAndMfcc(param, samples, sampleCount, fs, nbits, PIPELINE_FRAME_SIZE,
                                                         PIPELINE_OVERLAP, frameNum, vecSize, firstFrame));

  const std::vector<int> textIndex =
      recogCore(param, samples, sampleCount, fs, nbits, PIPELINE_FRAME_SIZE, PIPELINE_OVERLAP, firstFrame,
                features.get(), vecSize, frameNum, modelNum, arenaLen, candidateNum, mac, dict, text, net, mlf);
  features.reset();
  mac.macroFree();
  return textIndex.empty() ? -1 : textIndex[0];
}

}  // namespace tulim
