#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CMel.h"
#include "arrayTemplate.h"
#include "audioClass.h"
#include "audioFile.h"
#include "dictClass.h"
#include "lineFile.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "netClass.h"
#include "numericUtil.h"
#include "pitchTemplate.h"
#include "platform/platformClock.h"
#include "recogTask.h"
#include "signalTemplate.h"
#include "utilClass.h"
#include "utility.h"
#include "viterbiClass.h"

namespace tulim {

namespace {

// The mean-free copy of the samples brought to full scale for nbits, so that the pitch
// tracker sees the same level whatever the recording level was. A wave whose samples all
// equal their mean has no level to scale and stays mean-free (all zero).
std::vector<int> fullScaleCopy(const int* samples, int sampleNum, int nbits) {
  std::vector<int> copy(samples, samples + std::max(sampleNum, 0));
  if (copy.empty()) return copy;
  long long sum = 0;
  for (int x : copy) sum += x;
  const long long mean = sum / static_cast<long long>(copy.size());
  std::vector<long long> centred(copy.size());
  long long m = 0;
  for (size_t i = 0; i < copy.size(); ++i) {
    centred[i] = copy[i] - mean;
    m = std::max(m, std::llabs(centred[i]));
  }
  const double scale = m == 0 ? 1.0 : std::ldexp(1.0, nbits - 1) / static_cast<double>(m);
  for (size_t i = 0; i < copy.size(); ++i) copy[i] = doubleRound(static_cast<double>(centred[i]) * scale);
  return copy;
}

// The frames of an inclusive span, in 64 bits: a reversed span has none.
long long spanFrameCount(const int frameId[2]) { return static_cast<long long>(frameId[1]) - frameId[0] + 1; }

// A span of more frames than an int counts comes only from a corrupt label file; it is
// refused before any node is touched.
void spanCheck(const int frameId[2], const char* what, size_t node) {
  if (spanFrameCount(frameId) > INT_MAX)
    errorThrowf("sylPitchVolume: %s %zu spans frames %d..%d, more than %d frames (line %d of %s)", what, node,
                frameId[0], frameId[1], INT_MAX, TULIM_HERE);
}

// Appends to volume and pitch the values of the frames of the inclusive span frameId, the
// last frame standing in for those past the end and the first for those before the start
// (zeros when the wave has no frame).
void appendFrames(const int frameId[2], const std::vector<float>& vol, const std::vector<float>& pitch,
                  std::vector<float>& volume, std::vector<float>& pitchOut) {
  const long long frameNum = static_cast<long long>(vol.size());
  const long long frameCount = spanFrameCount(frameId);
  long long pos = frameId[0];
  for (long long k = 0; k < frameCount; ++k, ++pos) {
    if (frameNum == 0) {
      volume.push_back(0.0f);
      pitchOut.push_back(0.0f);
      continue;
    }
    const size_t q = static_cast<size_t>(std::max(0LL, std::min(pos, frameNum - 1)));
    volume.push_back(vol[q]);
    pitchOut.push_back(pitch[q]);
  }
}

// The samples of a wave file as the pipeline's reader gives them (mono, with the reason a
// file cannot be read), 8-bit data brought to 16 bits as the wave preparation brings them;
// fileBits is the width the file holds.
std::vector<int> waveFileSamples(const std::string& wavFile, int& fs, int& fileBits) {
  int count = 0;
  int* read = readWaveInt(wavFile.c_str(), &fs, &fileBits, &count);
  std::vector<int> samples(read, read + std::max(count, 0));
  free(read);
  if (fileBits != 16) samplesTo16Bits(samples.data(), static_cast<int>(samples.size()), fileBits);
  return samples;
}

void announceSaved(const std::string& fileName) { printf("\t===> Saved %s\n", fileName.c_str()); }

}  // namespace

void recogTask::sylPitchVolume(const int* samples, int sampleNum, const ptParam& param, mlfClass& result) {
  for (size_t i = 0; i < result.m_syl.size(); ++i) {
    spanCheck(result.m_syl[i].frameId, "node", i);
    for (const phoneInfo& phone : result.m_syl[i].phone) spanCheck(phone.frameId, "a phone of node", i);
  }
  audioClass audio;
  const int frameNum = std::max(audio.getFrameNum(sampleNum, param.frameSize, param.overlap), 0);
  std::vector<float> vol(frameNum), pitch(frameNum);
  if (frameNum > 0) {
    frame2volume(samples, sampleNum, param.frameSize, param.overlap, vol.data(), 1);
    std::vector<int> scaled = fullScaleCopy(samples, sampleNum, param.nbits);
    ptParam p = param;
    wave2pitch<float>(scaled.data(), sampleNum, p, pitch.data(), nullptr, nullptr, nullptr);
  }

  // Each record takes the frames it spans: after the frame shift these count from the start
  // of the wave, also when the speech detected begins later.
  for (sylInfo& syl : result.m_syl) {
    syl.volume.clear();
    syl.pitch.clear();
    appendFrames(syl.frameId, vol, pitch, syl.volume, syl.pitch);
  }
  for (sylInfo& syl : result.m_syl)
    for (phoneInfo& phone : syl.phone) {
      phone.volume.clear();
      phone.pitch.clear();
      appendFrames(phone.frameId, vol, pitch, phone.volume, phone.pitch);
    }
}

void recogTask::wavePitchVolume(const int* samples, int sampleNum, const ptParam& param, const std::string& pitchFile,
                                const std::string& volumeFile) {
  audioClass audio;
  const int frameNum = std::max(audio.getFrameNum(sampleNum, param.frameSize, param.overlap), 0);
  std::vector<int> vol(frameNum);
  if (frameNum > 0) frame2volume(samples, sampleNum, param.frameSize, param.overlap, vol.data(), 1);
  vec2file(volumeFile, vol.data(), frameNum);

  std::vector<double> pitch(frameNum);
  int pitchNum = 0;
  if (frameNum > 0) {
    std::vector<int> scaled = fullScaleCopy(samples, sampleNum, param.nbits);
    ptParam p = param;
    pitchNum = wave2pitch<double>(scaled.data(), sampleNum, p, pitch.data(), nullptr, nullptr, nullptr);
  }
  vec2file(pitchFile, pitch.data(), pitchNum);
}

void recogTask::wavFilePitchVolume(const std::string& wavFile, const ptParam& param, const std::string& pitchFile,
                                   const std::string& volumeFile) {
  int fs = 0;
  int nbits = 0;
  std::vector<int> samples = waveFileSamples(wavFile, fs, nbits);
  if (fs != 8000 && fs != 16000)
    errorThrowf("fs=%d and nbits=%d of \"%s\", but we require fs=8000 or 16000. (line %d of %s)", fs, nbits,
                wavFile.c_str(), TULIM_HERE);
  wavePitchVolume(samples.data(), static_cast<int>(samples.size()), param, pitchFile, volumeFile);
}

std::vector<float> recogTask::wavFile2mfcc(const std::string& wavFile, const recogParam& param, int& frameNum,
                                           int& dim) {
  int fs = 0;
  int fileBits = 0;
  std::vector<int> samples = waveFileSamples(wavFile, fs, fileBits);
  const int nbits = 16;  // whatever width the file holds
  const int count = static_cast<int>(samples.size());

  int begin = 0;
  int end = count - 1;
  if (param.useEpd) {
    audioClass audio;
    epdParam epd;
    audio.epdParamSet(fs, epd);
    int segmentNum = 0;
    segment* seg = audio.epdByVolHod(samples.data(), count, fs, epd, segmentNum);
    if (segmentNum > 0) {
      begin = audio.frameIndex2sampleIndex(seg[0].begin, epd.frameSize, epd.overlap);
      end = audio.frameIndex2sampleIndex(seg[segmentNum - 1].end, epd.frameSize, epd.overlap);
    }
    free(seg);
    // There is no first or last segment to take the ends from.
    if (segmentNum == 0)
      errorThrowf("Error: no speech segment found in wave file %s (line %d of %s)", wavFile.c_str(), TULIM_HERE);
  }
  printf("\tEPD: [%d, %d]\n", begin, end);

  if (!param.outputDir.empty()) {
    const std::string name = strFormat("%s/endPoint.txt", param.outputDir.c_str());
    filePtr fp = openFilePtr(name, "w");
    fprintf(fp.get(), "%d\t%d", begin, end);
    closeWrittenFile(fp, name);
    announceSaved(name);
  }

  CMel mel;
  const int kept = std::max(end - begin + 1, 0);
  mel.computeMfcc(samples.data() + std::min(begin, count), fs, nbits, kept, param.featureConfigFile.c_str(),
                  &frameNum, &dim);
  if (frameNum > MAX_FRAME_NUM)
    errorThrowf("Error: frameNum = %d > %d, frameNum too big! (line %d in %s)", frameNum, MAX_FRAME_NUM, 1236,
                "recogTask");
  const size_t values = static_cast<size_t>(std::max(frameNum, 0)) * static_cast<size_t>(std::max(dim, 0));
  return std::vector<float>(mel.features.begin(), mel.features.begin() + static_cast<std::ptrdiff_t>(values));
}

int recogTask::netFileCandidateNum(int maxFanOut, int maxCandidateNum, long long stateNum) {
  long long num = 4LL * maxFanOut;
  if (num < 10) num = 100;
  // One candidate per emitting state keeps every path the beam keeps.
  num = std::max(num, stateNum);
  if (num > maxCandidateNum) num = maxCandidateNum;
  return static_cast<int>(num);
}

void recogTask::recogWithNetFile(strVec& result, const std::string& wavFile, const recogParam& param) {
  double t = monotonicSeconds();
  macroClass mac;
  mac.macroRead(param.macFile, true);
  mac.modelCountRead(param.modelCountFile);
  printf("%4.3f sec: Read \"%s\" (modelNum=%d) and \"%s\"\n", monotonicSeconds() - t, param.macFile.c_str(),
         mac.MMF().modelNum, param.modelCountFile.c_str());

  t = monotonicSeconds();
  dictClass dict;
  dict.pronDictLoad(param.dicFile, mac);
  printf("%4.3f sec: Read dict \"%s\" (dictSize=%d)\n", monotonicSeconds() - t, param.dicFile.c_str(),
         static_cast<int>(dict.m_pronDict.size()));

  t = monotonicSeconds();
  netClass net;
  net.netRead(param.netFile, dict);
  printf("%4.3f sec: Read net \"%s\" (nodeNum=%d)\n", monotonicSeconds() - t, param.netFile.c_str(), net.m_nodeNum);

  // The penalty rides on the exit transition, so it is paid once per syllable model left.
  const float wordPenalty = static_cast<float>(param.wordPenalty);
  for (hmmModel& model : mac.MMFEdit().model) {
    const int n = model.stateNum;
    if (n >= 2 && n <= MAX_STATE_NUM + 2) model.transProb[n - 2][n - 1] += wordPenalty;
  }
  mac.layoutPrepare();

  t = monotonicSeconds();
  int frameNum = 0;
  int dim = 0;
  std::vector<float> features = wavFile2mfcc(wavFile, param, frameNum, dim);
  printf("%4.3f sec: Feature extraction\n", monotonicSeconds() - t);

  const long long states = net.emittingStateNum(dict, mac);
  int candidateNum = netFileCandidateNum(net.maxFanOutNum(), param.maxCandidateNum, states);
  // Each candidate adds one successor a frame, or one per link on leaving its node.
  const long long arenaLen =
      viterbiClass::arenaLenFor(candidateNum, states, param.useDescCandidateNum,
                                std::max(20LL * candidateNum, 2LL * candidateNum + net.linkFanOutNum()));
  if (arenaLen > INT_MAX)
    errorThrowf("Error: candidateNum=%d needs an arena of %lld candidates, more than %d (line %d of %s)", candidateNum,
                arenaLen, INT_MAX, TULIM_HERE);
  t = monotonicSeconds();
  stateScorer scorer(mac, mac.MMF().modelNum);
  viterbiClass search(static_cast<int>(arenaLen));
  candidateNum = search.search(net.m_node, dict, features.data(), dim, frameNum, candidateNum, scorer,
                               static_cast<float>(param.probTh), param.useDescCandidateNum);
  printf("%4.3f sec: Viterbi search\n", monotonicSeconds() - t);
  // Every result below is read from the first candidate.
  if (candidateNum < 1)
    errorThrowf("Error: the Viterbi search of %s left no candidate (maxCandidateNum=%d) (line %d of %s)",
                wavFile.c_str(), param.maxCandidateNum, TULIM_HERE);

  result = utilClass::sylPathStrings(search.m_order, candidateNum, dict.m_pronDict, 1);

  if (!param.outputDir.empty()) {
    t = monotonicSeconds();
    const char* dir = param.outputDir.c_str();
    const arenaCandidate& best = *search.m_order[0];
    std::string name = strFormat("%s/arenaSylPath.txt", dir);
    utilClass::answer2file(name, search.m_order, candidateNum, dict.m_pronDict);
    announceSaved(name);
    name = strFormat("%s/recogResult.txt", dir);
    strVec2file(name, strVec{result[0]});
    announceSaved(name);
    name = strFormat("%s/syl.mlf", dir);
    utilClass::sylTime2file(name, best, dict.m_pronDict);
    announceSaved(name);
    name = strFormat("%s/phoneTime.mlf", dir);
    utilClass::phoneTime2file(name, best, net.m_node, dict.m_pronDict, mac);
    printf("\t===> \xb2\xa3\xa5\xcd %s\n", name.c_str());
    printf("\t%4.3f sec: write various output files\n", monotonicSeconds() - t);
  }
}

void recogTask::recogWithNetFileTask(strVec& result, const std::string& wavFile, const std::string& paramFile) {
  recogParam param;
  recogParamRead(paramFile, param);
  param.maxCandidateNum = 1200;
  recogWithNetFile(result, wavFile, param);
}

void recogTask::audioEventDetect(strVec& result, const std::string& wavFile, const std::string& netFile) {
  recogParam param;
  param.language = "";
  param.macFile = "nolva/audioEvent.mac";
  param.dicFile = "nolva/audioEvent.dic";
  param.wpaFile = "nolva/audioEvent.wpa";
  param.pyTableFile = "";
  param.qiYinFile = "";
  param.featureConfigFile = "nolva/hcopy.cf";
  param.txtFile = "";
  param.sylFile = "";
  recogParamSetText(param, "netFile", param.netFile, netFile);
  param.outputDir = "output";
  param.maxCandidateNum = 1200;
  param.probTh = 300;
  param.comparisonMode = 1;
  param.getUvScore = 1;
  param.getPitch = 0;
  param.useEpd = 0;
  recogWithNetFile(result, wavFile, param);
}

}  // namespace tulim
