// The features of an utterance (end-point detection and MFCC) computed on a thread of their
// own while the caller reads the models, the lexicons and the net, which they do not need:
// they are about a tenth of a one-utterance run, on its main thread.
#pragma once

#include <string>

#include "recogParam.h"
#include "workAhead.h"

namespace tulim {

class featuresAhead {
 public:
  // Starts recogTask::epdAndMfcc of the samples with param as it is now, on another thread,
  // where it prints nothing and its fatal errors are silent. The samples must stay as they are
  // until take.
  featuresAhead(const recogParam& param, const int* samples, int sampleCount, int fs, int nbits, int frameSize,
                int overlap);
  // What epdAndMfcc gives for param (as it is now) and the samples, and what it would have
  // printed, printed now. Where the thread failed, or param has changed the settings the
  // features depend on since, they are computed here, with epdAndMfcc's own output and errors.
  float* take(const recogParam& param, int& frameNum, int& vecSize, int& firstFrame);
  // Waits for the thread; features not taken are freed.
  ~featuresAhead();
  featuresAhead(const featuresAhead&) = delete;
  featuresAhead& operator=(const featuresAhead&) = delete;

 private:
  void compute();

  recogParam m_param;
  const int* m_samples;
  int m_sampleCount, m_fs, m_nbits, m_frameSize, m_overlap;
  // What the thread made: features (null when it failed), their counts and its output.
  float* m_features = nullptr;
  int m_frameNum = 0, m_vecSize = 0, m_firstFrame = 0;
  std::string m_printed;
  workAhead m_work;  // last: it starts once the rest is made
};

}  // namespace tulim
