#include <algorithm>

#include "audioClass.h"
#include "dictClass.h"
#include "lineFile.h"
#include "mlfClass.h"
#include "recogParam.h"
#include "stringUtil.h"
#include "textClass.h"
#include "utility.h"

namespace tulim {

void mlfClass::sylTextSet(const std::string& text, const recogParam& param) {
  strVec units;
  textClass::txt2units(text, param.language, units);
  size_t k = 0;
  for (sylInfo& syl : m_syl) {
    if (skippedNode(syl.name)) {
      syl.text.clear();
      continue;
    }
    if (param.addLink4startAnywhere != 0) continue;
    if (k < units.size())
      syl.text = units[k++];
    else
      syl.text.clear();
  }
}

void mlfClass::qiYinApply(dictClass& dict, const recogParam& param) {
  file2strVec(param.qiYinFile, dict.m_qiYinList, 0);
  std::vector<int> found;
  for (sylInfo& syl : m_syl)
    for (phoneInfo& phone : syl.phone) {
      phone.pitched = 1;
      const std::string& name = phone.name;
      if (name.compare(0, 4, "sil+") == 0 || name == "sil" || name == "sp") {
        phone.pitched = 0;
        continue;
      }
      strVecLinSearch(dict.m_qiYinList, name.substr(0, name.find('+')), found, 3);
      if (!found.empty()) phone.pitched = 0;
    }
}

void mlfClass::phoneVolumeSet(const int* volume, int frameNum) {
  for (sylInfo& syl : m_syl) {
    syl.volume.clear();
    for (int f = std::max(syl.frameId[0], 0); f <= syl.frameId[1] && f < frameNum; ++f)
      syl.volume.push_back(static_cast<float>(volume[f]));
  }
}

void mlfClass::frameShift(int offset) {
  for (sylInfo& syl : m_syl) {
    syl.frameId[0] += offset;
    syl.frameId[1] += offset;
    for (phoneInfo& phone : syl.phone) {
      phone.frameId[0] += offset;
      phone.frameId[1] += offset;
    }
  }
}

float mlfClass::durationSimilarity(const mlfClass& a, const mlfClass& b) {
  const int n = static_cast<int>(std::min(a.m_syl.size(), b.m_syl.size()));
  int last = n - 1;  // last compared position
  if (n > 0 && a.m_syl[static_cast<size_t>(n - 1)].name == "sil") --last;
  auto length = [](const sylInfo& syl) {
    return static_cast<float>(static_cast<long long>(syl.frameId[1]) - syl.frameId[0] + 1);
  };
  float total = 0.0f;
  for (int i = 1; i <= last; ++i) total += length(b.m_syl[static_cast<size_t>(i)]);
  // Nothing compared gives no similarity rather than the 0/0 of the weights.
  if (last < 1) return 0.0f;
  float similarity = 0.0f;
  for (int i = 1; i <= last; ++i) {
    const float lenA = length(a.m_syl[static_cast<size_t>(i)]), lenB = length(b.m_syl[static_cast<size_t>(i)]);
    similarity += lenB / total * std::min(lenA / lenB, lenB / lenA);
  }
  return similarity;
}

void mlfClass::spectrogramBoundarySet(const int* wave, int waveLen, int frameSize, int overlap) {
  audioClass audio;
  const long long step = frameSize - overlap;
  if (step < 1)
    errorThrowf("Error: frameSize=%d is not larger than overlap=%d (line %d of %s)", frameSize, overlap, TULIM_HERE);
  for (size_t s = 0; s < m_syl.size(); ++s) {
    sylInfo& syl = m_syl[s];
    if (syl.phone.size() < 3 || syl.phone[1].pitched == 1) continue;
    phoneInfo& first = syl.phone[1];
    phoneInfo& second = syl.phone[2];
    const long long s0 = step * first.frameId[0];
    const long long s1 = step * syl.phone.back().frameId[1] + frameSize - 1;
    if (s0 < 0 || s1 < s0 || s1 >= waveLen)
      errorThrowf("Error: node %d (%s) spans samples %lld to %lld outside the wave of %d samples (line %d of %s)",
                  static_cast<int>(s), syl.name.c_str(), s0, s1, waveLen, TULIM_HERE);
    int n = audio.wave2spectrogram(wave + s0, static_cast<int>(s1 - s0 + 1), frameSize, overlap);
    if (n < 2) n = 2;
    // The change can lie past phone 2 when the phones after it are long; phone 2 then keeps
    // its last frame instead of ending before it begins.
    const long long longest = static_cast<long long>(second.frameId[1]) - first.frameId[0] - 1;
    if (n > longest && longest >= 0) n = static_cast<int>(longest);
    first.frameId[1] = first.frameId[0] + n;
    second.frameId[0] = first.frameId[1] + 1;
  }
}

}  // namespace tulim
