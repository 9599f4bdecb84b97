#include "featuresAhead.h"

#include <cstdio>
#include <cstdlib>

#include "outputDeferral.h"
#include "recogTask.h"
#include "utility.h"

namespace tulim {

featuresAhead::featuresAhead(const recogParam& param, const int* samples, int sampleCount, int fs, int nbits,
                             int frameSize, int overlap)
    : m_param(param),
      m_samples(samples),
      m_sampleCount(sampleCount),
      m_fs(fs),
      m_nbits(nbits),
      m_frameSize(frameSize),
      m_overlap(overlap),
      m_work([this] { compute(); }) {}

void featuresAhead::compute() {
  // A fault is reported by take, which computes them again in line for its message; its
  // output, like that of features made here, is printed there.
  errorTrial trial;
  outputDeferral deferral;
  float* features = nullptr;
  try {
    features = recogTask::epdAndMfcc(m_param, m_samples, m_sampleCount, m_fs, m_nbits, m_frameSize, m_overlap,
                                     m_frameNum, m_vecSize, m_firstFrame);
    m_printed = deferral.text();
  } catch (...) {
    free(features);
    features = nullptr;
  }
  m_features = features;
}

float* featuresAhead::take(const recogParam& param, int& frameNum, int& vecSize, int& firstFrame) {
  m_work.wait();
  const bool same = param.useEpd == m_param.useEpd && param.featureConfigFile == m_param.featureConfigFile &&
                    param.wavFile == m_param.wavFile;
  if (!m_features || !same) {
    free(m_features);
    m_features = nullptr;
    return recogTask::epdAndMfcc(param, m_samples, m_sampleCount, m_fs, m_nbits, m_frameSize, m_overlap, frameNum,
                                 vecSize, firstFrame);
  }
  fwrite(m_printed.data(), 1, m_printed.size(), stdout);
  frameNum = m_frameNum;
  vecSize = m_vecSize;
  firstFrame = m_firstFrame;
  float* features = m_features;
  m_features = nullptr;
  return features;
}

featuresAhead::~featuresAhead() {
  m_work.wait();  // compute throws nothing
  free(m_features);
}

}  // namespace tulim
