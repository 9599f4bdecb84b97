#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "mlfClass.h"
#include "numericUtil.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr int DISCOUNT_REASON_NUM = 7;
constexpr int64_t SHORT_PHONE_MAX_FRAMES = 3;
constexpr int64_t LONG_PHONE_MAX_FRAMES = 69;  // 70 frames (0.7 s) or more is overlong
constexpr int64_t LONG_PAUSE_MAX_FRAMES = 50;
constexpr double LENGTH_RATIO_MAX = 4.0;
constexpr double LOUD_SILENCE_LINE = 0.1;  // share of the utterance's volume range
constexpr int LOUD_FRAMES_ONE = 4;         // more loud frames than this count once
constexpr int LOUD_FRAMES_TWO = 30;        // and more than this once more

bool isPauseNode(const std::string& name) { return name == "sp" || name == "sil"; }

bool startsWith(const std::string& str, const char* prefix) { return str.compare(0, strlen(prefix), prefix) == 0; }

// Inclusive spans; in 64 bits, since label files may carry any frame numbers.
int64_t frameCount(const int frameId[2]) { return static_cast<int64_t>(frameId[1]) - frameId[0] + 1; }

// Stops and closures are short by nature and the context phones are not pronounced.
bool isShortExempt(const std::string& name) {
  return startsWith(name, "sil+") || startsWith(name, "b+") || startsWith(name, "d+") || startsWith(name, "g+") ||
         startsWith(name, "h+");
}

// Truncation toward zero, saturating, NaN as 0.
int64_t truncateVolume(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 9.2e18f) return INT64_MAX;
  if (v <= -9.2e18f) return INT64_MIN;
  return static_cast<int64_t>(v);
}

int overShortCount(const std::vector<sylInfo>& syl, int first, int last) {
  int count = 0;
  for (int i = first; i <= last; ++i) {
    const sylInfo& node = syl[i];
    if (mlfClass::skippedNode(node.name)) continue;
    const int phoneNum = static_cast<int>(node.phone.size());
    int shortNum = 0;
    for (const phoneInfo& phone : node.phone)
      if (phone.frameId[0] >= 0 && !isShortExempt(phone.name) && frameCount(phone.frameId) <= SHORT_PHONE_MAX_FRAMES)
        ++shortNum;
    if (shortNum == phoneNum || (shortNum > phoneNum / 2 && phoneNum >= 3)) ++count;
  }
  return count;
}

int overlongCount(const std::vector<sylInfo>& syl, int first, int last) {
  int count = 0;
  for (int i = first; i <= last; ++i) {
    const sylInfo& node = syl[i];
    if (mlfClass::skippedNode(node.name)) continue;
    for (const phoneInfo& phone : node.phone) {
      if (phone.frameId[0] >= 0 && !startsWith(phone.name, "sil+") && frameCount(phone.frameId) > LONG_PHONE_MAX_FRAMES) {
        ++count;
        break;
      }
    }
  }
  return count;
}

// The first and last node of the range are the leading and trailing silence: only pauses
// between them count.
int longPauseCount(const std::vector<sylInfo>& syl, int first, int last) {
  int count = 0;
  for (int i = first + 1; i < last; ++i)
    if (isPauseNode(syl[i].name) && frameCount(syl[i].frameId) > LONG_PAUSE_MAX_FRAMES) ++count;
  return count;
}

int sylNumDifference(int textSylNum, int scoredSylNum) {
  if (textSylNum < 0) return 0;
  const int64_t diff = static_cast<int64_t>(textSylNum) - scoredSylNum;
  return saturateToInt(diff < 0 ? -diff : diff);
}

int lengthRatioCount(const std::vector<sylInfo>& syl, int first, int last) {
  int64_t shortest = INT_MAX;
  int64_t longest = -1;
  for (int i = first; i <= last; ++i) {
    if (mlfClass::skippedNode(syl[i].name)) continue;
    const int64_t n = frameCount(syl[i].frameId);
    if (n < shortest) shortest = n;
    if (n > longest) longest = n;
  }
  if (longest < 0) return 0;
  // A node of no frames makes any longer node infinitely longer.
  if (shortest == 0) return longest > 0 ? 1 : 0;
  const float ratio = static_cast<float>(longest) / static_cast<float>(shortest);
  return static_cast<double>(ratio) > LENGTH_RATIO_MAX ? 1 : 0;
}

// Pauses whose volume stands above a tenth of the utterance's volume range in many frames
// hide speech or noise.
int loudSilenceCount(const std::vector<sylInfo>& syl, int first, int last) {
  int64_t lowest = INT_MAX;
  int64_t highest = -1;
  for (int i = first; i <= last; ++i) {
    const std::vector<float>& volume = syl[i].volume;
    if (volume.empty()) continue;  // a node without volumes has no extremes to give
    float lo = volume[0], hi = volume[0];
    for (float v : volume) {
      if (v < lo) lo = v;
      if (v > hi) hi = v;
    }
    lowest = std::min(lowest, truncateVolume(lo));
    highest = std::max(highest, truncateVolume(hi));
  }
  // Without a range of volumes no frame stands out from the others.
  if (highest <= lowest) return 0;
  const float range = static_cast<float>(highest - lowest);
  const float base = static_cast<float>(lowest);
  int count = 0;
  for (int i = first; i <= last; ++i) {
    if (!isPauseNode(syl[i].name)) continue;
    int loud = 0;
    for (float v : syl[i].volume)
      if (static_cast<double>((v - base) / range) > LOUD_SILENCE_LINE) ++loud;
    if (loud > LOUD_FRAMES_ONE) ++count;
    if (loud > LOUD_FRAMES_TWO) ++count;
  }
  return count;
}

}  // namespace

void mlfClass::discountFactorCompute(int first, int last, bool pathComplete) {
  if (first <= last && (first < 0 || static_cast<size_t>(last) >= m_syl.size()))
    errorThrowf("discountFactorCompute: node range %d..%d outside the %zu nodes (line %d of %s)", first, last,
                m_syl.size(), TULIM_HERE);
  m_discountFactor.clear();
  m_discountFactor.reserve(DISCOUNT_REASON_NUM);
  m_discountFactor.push_back(pathComplete ? 0 : 1);
  m_discountFactor.push_back(overShortCount(m_syl, first, last));
  m_discountFactor.push_back(overlongCount(m_syl, first, last));
  m_discountFactor.push_back(longPauseCount(m_syl, first, last));
  m_discountFactor.push_back(sylNumDifference(m_textSylNum, m_scoredSylNum));
  m_discountFactor.push_back(lengthRatioCount(m_syl, first, last));
  m_discountFactor.push_back(loudSilenceCount(m_syl, first, last));
  for (int i = first; i <= last; ++i) m_syl[i].discount = 1.0f;
}

}  // namespace tulim
