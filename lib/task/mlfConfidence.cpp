#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "lineFile.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "numericUtil.h"
#include "platform/cLocaleScope.h"
#include "recogParam.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr int METHOD_NUM = 4;
constexpr int GBELL_PARAM_NUM = 3;
constexpr int CM_PARAM_FIELD_NUM = 6;      // fields of a line of the confidence parameter file
constexpr int SYL_NUM_DISCOUNT_REASON = 4;  // applied as a ratio, not as a power
constexpr float SCORE_MAX = 100.0f;
// Without a confidence parameter file method 2 is 100 / (1 + 20 x).
const float DEFAULT_CM_PARAM[GBELL_PARAM_NUM] = {0.05f, 0.5f, 0.0f};

bool isContextPhone(const phoneInfo& phone) { return phone.name.compare(0, 4, "sil+") == 0; }

// A token that a "%f" scan would take for (the start of) a number: a sign, a digit or a point
// first, or the words of NaN and infinity.
bool numberLike(const std::string& token) {
  size_t i = (token[0] == '+' || token[0] == '-') ? 1 : 0;
  if (i < token.size() && ((token[i] >= '0' && token[i] <= '9') || token[i] == '.')) return true;
  std::string word = token.substr(i, 3);
  strToLower(word);
  return word == "nan" || word == "inf";
}

// The numbers of a rank-to-score or score-discount file, separated by white space over any
// number of lines, up to the first word that is no number: what follows the numbers (a
// remark, say) is not read, as a scan of numbers stops there. A number that is not wholly
// one ("12abc"), NaN, infinity or a value beyond a float is fatal: it would pass into every
// score. The callers check that enough numbers came before the end.
void paramNumbersRead(const std::string& fileName, std::vector<float>& out) {
  out.clear();
  strVec lines;
  std::vector<int> lineNumbers;
  file2strVec(fileName, lines, 0, lineNumbers);
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    for (size_t i = 0; i < line.size();) {
      if (isWhiteSpace(line[i])) {
        ++i;
        continue;
      }
      size_t end = i;
      while (end < line.size() && !isWhiteSpace(line[end])) ++end;
      const std::string token = line.substr(i, end - i);
      float value = 0.0f;
      if (!strToFloatExact(token, value)) {
        if (!numberLike(token)) return;
        errorThrowf("Error: %s, line %d: \"%s\" is not a number (line %d of %s)", fileName.c_str(), lineNumbers[k],
                    token.c_str(), TULIM_HERE);
      }
      out.push_back(value);
      i = end;
    }
  }
}

// A node of nothing but its context phone was not pronounced: it scores 0, not -1.
bool isSingleContextNode(const sylInfo& node) { return node.phone.size() == 1 && isContextPhone(node.phone[0]); }

float rankRatioOf(const phoneInfo& phone) {
  return static_cast<float>(phone.rank) / static_cast<float>(phone.competingModelIndex.size());
}

// Every scored phone must have been ranked against models of this set: the methods index
// the competitor lists and the set with them.
void rankedPhoneCheck(const phoneInfo& phone, size_t node, const macroClass& set) {
  const size_t modelNum = set.MMF().model.size();
  if (phone.modelIndex < 0 || static_cast<size_t>(phone.modelIndex) >= modelNum)
    errorThrowf("confidenceMeasure: phone %s of node %zu has model index %d outside the %zu models (line %d of %s)",
                phone.name.c_str(), node, phone.modelIndex, modelNum, TULIM_HERE);
  if (phone.competingModelIndex.empty())
    errorThrowf("confidenceMeasure: phone %s of node %zu has no competing models (line %d of %s)", phone.name.c_str(),
                node, TULIM_HERE);
  if (phone.competingModelLogLike.size() != phone.competingModelIndex.size())
    errorThrowf("confidenceMeasure: phone %s of node %zu has %zu competing models but %zu log-likelihoods (line %d of %s)",
                phone.name.c_str(), node, phone.competingModelIndex.size(), phone.competingModelLogLike.size(),
                TULIM_HERE);
  for (int m : phone.competingModelIndex)
    if (m < 0 || static_cast<size_t>(m) >= modelNum)
      errorThrowf("confidenceMeasure: phone %s of node %zu has competing model %d outside the %zu models (line %d of %s)",
                  phone.name.c_str(), node, m, modelNum, TULIM_HERE);
}

// The weights are the phones' shares of the scored frames. A node whose phones are all
// context phones has no weight and, like a node of a single context phone, scores 0.
float weightedNodeMean(const sylInfo& node, int method) {
  float sum = 0.0f, weight = 0.0f;
  for (const phoneInfo& phone : node.phone) {
    if (isContextPhone(phone)) continue;
    sum += phone.timberScores[method] * phone.timeRatio;
    weight += phone.timeRatio;
  }
  return weight == 0.0f ? 0.0f : sum / weight;
}

float normalisedLogLikeScore(const phoneInfo& phone) {
  const std::vector<float>& l = phone.competingModelLogLike;
  float lo = l[0], hi = l[0];
  for (float v : l) {
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  const float s = hi > lo ? 100.0f * (phone.logLike - lo) / (hi - lo) : 0.0f;
  return static_cast<float>(static_cast<double>(std::pow(s, 2.0f)) / 100.0);
}

// The model counts act as priors: the phone's share of the summed competitor likelihoods.
float posteriorScore(const phoneInfo& phone, const macroClass& set) {
  const std::vector<float>& l = phone.competingModelLogLike;
  const std::vector<int>& m = phone.competingModelIndex;
  float total = l[0] + set.MMF().model[m[0]].logCount;
  for (size_t k = 1; k < l.size(); ++k) {
    float v = l[k] + set.MMF().model[m[k]].logCount;
    if (v > total) std::swap(total, v);
    total = total + std::log(1.0f + std::exp(v - total));
  }
  return std::exp(phone.logLike + set.MMF().model[phone.modelIndex].logCount - total) * 100.0f;
}

// The triple (a, b, c) of the model's line: six TAB-separated fields, the last "[a b c]".
void cmParamParse(const strVec& lines, const std::string& fileName, const phoneInfo& phone, std::vector<float>& triple) {
  const size_t index = static_cast<size_t>(phone.modelIndex);
  if (index >= lines.size())
    errorThrowf("Error: %s has %zu lines, none for model %d (%s) (line %d of %s)", fileName.c_str(), lines.size(),
                phone.modelIndex, phone.name.c_str(), TULIM_HERE);
  const std::string& line = lines[index];
  strVec fields;
  strSplit(line, '\t', fields);
  if (fields.size() != CM_PARAM_FIELD_NUM) {
    printf("modelName=%s\n", phone.name.c_str());
    printf("modelIndex=%d\n", phone.modelIndex);
    printf("contents[%d]=%s\n", phone.modelIndex, line.c_str());
    errorThrowf("Error: Cannot parse %s (line %d of file %s)", fileName.c_str(), 727, "mlf");
  }
  float a, b, c;
  if (sscanf(fields[CM_PARAM_FIELD_NUM - 1].c_str(), "[%g %g %g]", &a, &b, &c) != GBELL_PARAM_NUM)
    errorThrowf("Error: Cannot parse %s: model %d (%s) has no \"[a b c]\" triple (line %d of %s)", fileName.c_str(),
                phone.modelIndex, phone.name.c_str(), TULIM_HERE);
  triple.push_back(a);
  triple.push_back(b);
  triple.push_back(c);
}

}  // namespace

void mlfClass::confidenceMeasure(int first, int last, const recogParam& param, const macroClass& set) {
  if (first <= last && (first < 0 || static_cast<size_t>(last) >= m_syl.size()))
    errorThrowf("confidenceMeasure: node range %d..%d outside the %zu nodes (line %d of %s)", first, last,
                m_syl.size(), TULIM_HERE);
  for (size_t i = 0; i < m_syl.size(); ++i) {
    if (skippedNode(m_syl[i].name) || isSingleContextNode(m_syl[i])) continue;
    for (const phoneInfo& phone : m_syl[i].phone)
      if (!isContextPhone(phone)) rankedPhoneCheck(phone, i, set);
  }
  cLocaleScope cLocale;

  for (sylInfo& node : m_syl) {
    for (int k = 0; k < METHOD_NUM; ++k) node.timberScores[k] = -1.0f;
    for (phoneInfo& phone : node.phone)
      for (int k = 0; k < METHOD_NUM; ++k) phone.timberScores[k] = -1.0f;
  }

  if (m_rank2scoreParam.empty()) {
    paramNumbersRead(param.phoneRank2scoreParamFile, m_rank2scoreParam);
    if (m_rank2scoreParam.size() < GBELL_PARAM_NUM) {
      const size_t got = m_rank2scoreParam.size();
      m_rank2scoreParam.clear();
      errorThrowf("Error: %s holds %zu numbers, the bell curve needs %d (line %d of %s)",
                  param.phoneRank2scoreParamFile.c_str(), got, GBELL_PARAM_NUM, TULIM_HERE);
    }
  }
  const bool cmFileExists = fileExist(param.cmParamFile.c_str());
  strVec cmLines;
  if (cmFileExists) file2strVec(param.cmParamFile, cmLines, '%');

  for (sylInfo& node : m_syl) {
    if (skippedNode(node.name)) continue;
    if (isSingleContextNode(node)) {
      for (int k = 0; k < METHOD_NUM; ++k) node.timberScores[k] = node.phone[0].timberScores[k] = 0.0f;
      continue;
    }
    for (phoneInfo& phone : node.phone) {
      if (isContextPhone(phone)) continue;
      const float x = rankRatioOf(phone);
      phone.timberScores[0] = gbellScore(x, m_rank2scoreParam);
      phone.cmParam.clear();
      if (cmFileExists)
        cmParamParse(cmLines, param.cmParamFile, phone, phone.cmParam);
      else
        phone.cmParam.assign(DEFAULT_CM_PARAM, DEFAULT_CM_PARAM + GBELL_PARAM_NUM);
      phone.timberScores[1] = gbellScore(x, phone.cmParam);
      phone.timberScores[2] = normalisedLogLikeScore(phone);
      phone.timberScores[3] = posteriorScore(phone, set);
    }
    // Method 4 can pass 100; the others only by rounding in the mean.
    for (int k = 0; k < METHOD_NUM; ++k) node.timberScores[k] = std::min(weightedNodeMean(node, k), SCORE_MAX);
  }

  for (int i = first; i <= last; ++i)
    for (int k = 0; k < METHOD_NUM; ++k) m_syl[i].timberScores[k] *= m_syl[i].discount;

  // Utterance scores: the node scores weighted by the nodes' lengths.
  for (timberScorePair& pair : m_timberScorePair) pair.orig = 0.0f;
  int64_t frameSum = 0;
  float weighted[METHOD_NUM - 1] = {0.0f, 0.0f, 0.0f};
  for (int i = first; i <= last; ++i) {
    const sylInfo& node = m_syl[i];
    if (skippedNode(node.name)) continue;
    const int64_t length = static_cast<int64_t>(node.frameId[1]) - node.frameId[0] + 1;
    frameSum += length;
    for (int k = 0; k < METHOD_NUM - 1; ++k) weighted[k] += node.timberScores[k] * static_cast<float>(length);
  }
  if (frameSum != 0)
    for (int k = 0; k < METHOD_NUM - 1; ++k) m_timberScorePair[k].orig = weighted[k] / static_cast<float>(frameSum);

  if (m_discountRatio.empty()) {
    printf("\tRead %s...\n", param.scoreDiscountParamFile.c_str());
    paramNumbersRead(param.scoreDiscountParamFile, m_discountRatio);
  }
  if (m_discountRatio.size() < m_discountFactor.size())
    errorThrowf("Error: %s holds %zu discount ratios for %zu discount reasons (line %d of %s)",
                param.scoreDiscountParamFile.c_str(), m_discountRatio.size(), m_discountFactor.size(), TULIM_HERE);

  for (int k = 0; k < METHOD_NUM - 1; ++k) m_timberScorePair[k].final = m_timberScorePair[k].orig;
  for (size_t r = 0; r < m_discountFactor.size(); ++r) {
    if (r == SYL_NUM_DISCOUNT_REASON) {
      // Without a syllable count of the text (comparison mode, an empty text) there is no
      // ratio to apply, as the discount count itself then records no difference.
      if (m_textSylNum <= 0) continue;
      const float ratio = static_cast<float>(m_pathSylNum) / static_cast<float>(m_textSylNum);
      for (int k = 0; k < METHOD_NUM - 1; ++k) m_timberScorePair[k].final *= ratio;
      continue;
    }
    const double f = std::pow(static_cast<double>(m_discountRatio[r]), static_cast<double>(m_discountFactor[r]));
    for (int k = 0; k < METHOD_NUM - 1; ++k)
      m_timberScorePair[k].final = static_cast<float>(static_cast<double>(m_timberScorePair[k].final) * f);
  }
  // A path of more syllables than its text raises the scores through the ratio above;
  // they stay on the scale.
  for (int k = 0; k < METHOD_NUM - 1; ++k)
    m_timberScorePair[k].final = std::min(std::max(m_timberScorePair[k].final, 0.0f), SCORE_MAX);

  for (sylInfo& node : m_syl) {
    node.timberScore = node.timberScores[1];
    for (phoneInfo& phone : node.phone) phone.timberScore = phone.timberScores[1];
  }
  m_origTimberScore = m_timberScorePair[1].orig;
  m_timberScore = m_timberScorePair[1].final;
  m_score = m_timberScore;
}

}  // namespace tulim
