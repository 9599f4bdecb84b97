#include "featuresAhead.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

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
      m_overlap(overlap) {
  try {
    m_thread = std::thread([this] { compute(); });
  } catch (const std::system_error&) {
    // No thread: take computes them in line.
  }
}

void featuresAhead::compute() {
  // A fault is reported by take, which computes them again in line for its message; its
  // output, like that of features made here, is printed there.
  errorTrial trial;
  outputDeferral deferral;
  try {
    m_features = recogTask::epdAndMfcc(m_param, m_samples, m_sampleCount, m_fs, m_nbits, m_frameSize, m_overlap,
                                       m_frameNum, m_vecSize, m_firstFrame);
    m_printed = deferral.text();
  } catch (...) {
    m_features = nullptr;
  }
}

void featuresAhead::join() {
  if (m_thread.joinable()) m_thread.join();
}

float* featuresAhead::take(const recogParam& param, int& frameNum, int& vecSize, int& firstFrame) {
  join();
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
  join();
  free(m_features);
}

}  // namespace tulim
