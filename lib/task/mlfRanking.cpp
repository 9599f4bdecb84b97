#include <algorithm>

#include "macroClass.h"
#include "mlfClass.h"
#include "recogParam.h"
#include "stringUtil.h"
#include "textClass.h"
#include "utility.h"
#include "stateScorer.h"

namespace tulim {

namespace {

bool contextPhone(const std::string& name) { return name.compare(0, 4, "sil+") == 0; }

int frameCount(const phoneInfo& phone) { return phone.frameId[1] - phone.frameId[0] + 1; }

// The competitors of a phone that has a right context are the models sharing it; a phone
// without one (a set of context-free models) competes with the models that have none either,
// which keeps its own model among them.
void rightContextCompetitors(const strVec& names, const std::string& phoneName, std::vector<int>& out) {
  const size_t plus = phoneName.find('+');
  if (plus != std::string::npos) {
    strVecLinSearch(names, phoneName.substr(plus), out, 2);
    return;
  }
  out.clear();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i].find('+') == std::string::npos) out.push_back(static_cast<int>(i));
}

}  // namespace

bool mlfClass::skippedNode(const std::string& name) { return textClass::nonSpeechUnit(name); }

void mlfClass::phoneRanking(const float* features, int vecSize, int frameNum, stateScorer& scorer,
                            const recogParam& param) {
  const macroClass& models = scorer.models();
  m_phoneNum = 0;
  m_phoneFrameNum = 0;
  // The spans are checked before they are counted: a corrupt one (from a label file) could
  // overflow its frame count.
  for (size_t s = 0; s < m_syl.size(); ++s) {
    const sylInfo& syl = m_syl[s];
    if (skippedNode(syl.name)) continue;
    m_phoneNum += static_cast<int>(syl.phone.size());
    for (const phoneInfo& phone : syl.phone) {
      if (contextPhone(phone.name)) continue;
      const int f1 = phone.frameId[0], f2 = phone.frameId[1];
      if (f1 < 0 || f2 < f1 || f2 >= frameNum)
        errorThrowf("Error: phone %s of node %d (%s) at frames %d to %d is no span of the %d feature frames (line %d of %s)",
                    phone.name.c_str(), static_cast<int>(s), syl.name.c_str(), f1, f2, frameNum, TULIM_HERE);
      m_phoneFrameNum += frameCount(phone);
    }
  }

  strVec names;
  models.getModelNames(names);
  std::vector<int> candidates;
  for (size_t i = 0; i < names.size(); ++i)
    if (!skippedNode(names[i])) candidates.push_back(static_cast<int>(i));

  const bool useEps = !param.epsFile.empty();
  if (useEps && m_epsVec.empty()) epsRead(param.epsFile, m_epsVec);

  m_rankScoreSum = 0.0f;
  m_scoredSylNum = 0;

  // First the competitors of every ranked phone and the spans to score, then all the scores
  // at once (the models on several threads), then the ranks. A phone that is no model stops
  // the first pass; the spans before it are still scored, so their warnings come out as they
  // would phone by phone, before the error.
  std::vector<phoneInfo*> ranked;
  std::vector<stateScorer::modelSpan> spans;
  std::string fault;
  std::vector<int> own;
  for (size_t s = 0; s < m_syl.size() && fault.empty(); ++s) {
    sylInfo& syl = m_syl[s];
    if (skippedNode(syl.name)) continue;
    ++m_scoredSylNum;
    for (phoneInfo& phone : syl.phone) {
      if (contextPhone(phone.name)) continue;
      const int f1 = phone.frameId[0], f2 = phone.frameId[1];
      strVecLinSearch(names, phone.name, own, 3);
      if (own.empty()) {
        fault = strFormat("Error: phone %s of node %d (%s) is not a model of the HMM set (line %d of %s)",
                          phone.name.c_str(), static_cast<int>(s), syl.name.c_str(), TULIM_HERE);
        break;
      }
      phone.modelIndex = own[0];

      if (useEps) {
        phone.equivName.clear();
        for (const equivPhoneSet& set : m_epsVec)
          if (set.name == phone.name) {
            phone.equivName = set.member;
            break;
          }
      }

      if (param.useAllModelAsCompetingModel != 0)
        phone.competingModelIndex = candidates;
      else
        rightContextCompetitors(names, phone.name, phone.competingModelIndex);

      ranked.push_back(&phone);
      bool ownCompetes = false;
      for (int model : phone.competingModelIndex) {
        spans.push_back({f1, f2, model});
        if (names[static_cast<size_t>(model)] == phone.name) ownCompetes = true;
      }
      // Only a silence or filler phone inside a scored node, with all models competing,
      // misses its own model; it is then measured against all of them.
      if (!ownCompetes) spans.push_back({f1, f2, phone.modelIndex});
    }
  }
  std::vector<float> logLikeOf;
  scorer.modelProbs(features, vecSize, spans, logLikeOf);
  if (!fault.empty()) errorThrow(fault.c_str());

  float logLikeSum = 0.0f;
  size_t next = 0;
  for (phoneInfo* rankedPhone : ranked) {
    phoneInfo& phone = *rankedPhone;
    phone.competingModelLogLike.clear();
    bool ownCompetes = false;
    float ownLogLike = 0.0f;
    for (int model : phone.competingModelIndex) {
      const float l = logLikeOf[next++];
      phone.competingModelLogLike.push_back(l);
      if (names[static_cast<size_t>(model)] == phone.name) {
        ownLogLike = l;
        ownCompetes = true;
      }
    }
    if (!ownCompetes) ownLogLike = logLikeOf[next++];
    phone.logLike = ownLogLike;
    logLikeSum += phone.logLike;

    std::vector<float>& logLikes = phone.competingModelLogLike;
    std::vector<int>& indices = phone.competingModelIndex;
    const int competitorNum = static_cast<int>(logLikes.size());
    if (competitorNum > 0) vecQuickSortWithIndex(logLikes, 0, competitorNum - 1, indices);
    std::reverse(logLikes.begin(), logLikes.end());
    std::reverse(indices.begin(), indices.end());

    int k = 0;
    while (k < competitorNum && !(logLikes[static_cast<size_t>(k)] < phone.logLike)) ++k;
    phone.rank = ownCompetes ? k - 1 : k;

    if (useEps) {
      int forgiven = 0;
      for (int pos = phone.rank - 1; pos >= 0; --pos) {
        const std::string& name = names[static_cast<size_t>(indices[static_cast<size_t>(pos)])];
        if (std::find(phone.equivName.begin(), phone.equivName.end(), name) == phone.equivName.end()) break;
        ++forgiven;
      }
      phone.rank -= forgiven;
    }

    phone.timeRatio = static_cast<float>(frameCount(phone)) / static_cast<float>(m_phoneFrameNum);
    phone.rankRatio =
        competitorNum > 0 ? static_cast<float>(phone.rank) / static_cast<float>(competitorNum) : 0.0f;
    m_rankScoreSum += phone.rankRatio * phone.timeRatio;
  }
  m_logLikePerFrame = m_phoneFrameNum > 0 ? logLikeSum / static_cast<float>(m_phoneFrameNum) : 0.0f;
}

}  // namespace tulim
