#include <cstdio>
#include <string>
#include <vector>

#include "audioClass.h"
#include "dictClass.h"
#include "lineFile.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "netClass.h"
#include "platform/platformClock.h"
#include "ptParam.h"
#include "recogTask.h"
#include "signalTemplate.h"
#include "stringUtil.h"
#include "textClass.h"
#include "utilClass.h"
#include "utility.h"
#include "viterbiClass.h"

namespace tulim {

namespace {

std::string resultPath(const recogParam& param, const char* name) {
  const std::string path = param.outputDir + "/" + name;
  if (path.size() >= static_cast<size_t>(MAX_RESULT_PATH_LEN))
    errorThrowf(
        "Error: recogParam.outputDir is too long: \"%s\" needs %d characters, MAX_RESULT_PATH_LEN=%d. "
        "(line %d of %s)",
        path.c_str(), static_cast<int>(path.size()) + 1, MAX_RESULT_PATH_LEN, TULIM_HERE);
  return path;
}

std::string cutAtTab(const std::string& line) { return line.substr(0, line.find('\t')); }

bool endsWith(const std::string& str, const std::string& tail) {
  return str.size() >= tail.size() && str.compare(str.size() - tail.size(), tail.size(), tail) == 0;
}

// Syllable count of the identified text, by language; -1 when it cannot be told.
int textSylNumOf(const recogParam& param, const textClass& text, int t0, int s0) {
  if (param.language == "english") {
    if (t0 < 0) return -1;
    strVec pieces;
    strSplit(text.m_txtVsNormalized[t0], ' ', pieces);
    return static_cast<int>(pieces.size());
  }
  if (param.language == "chinese") {
    if (t0 < 0) return -1;
    std::string mapped = text.m_txtVs[t0];
    text.txtMapApply(mapped, param.language);
    // Counted as the lexicon look-up pairs the characters, each blank-separated text alone.
    strVec units;
    textClass::txt2units(mapped, param.language, units);
    return static_cast<int>(units.size());
  }
  if (param.language == "japanese" || param.language == "taiwanese") {
    if (s0 < 0) return -1;
    // The syllable lines hold the "sp" that padding puts between syllables.
    return static_cast<int>(textClass::speechUnits(cutAtTab(text.m_sylVs[s0])).size());
  }
  return -1;
}

// The searches of one call share the search object and the running candidate number.
struct coreSearch {
  viterbiClass& viterbi;
  stateScorer& scorer;
  const dictClass& dict;
  int vecSize;
  float beam;
  int descCandidateNum;
  int candidateNum;

  // The best ending candidate's index after searching nodes over frameNum frames; -1 when no
  // candidate reaches the end node.
  int run(const std::vector<netNode>& nodes, const float* features, int frameNum) {
    candidateNum =
        viterbi.search(nodes, dict, features, vecSize, frameNum, candidateNum, scorer, beam, descCandidateNum);
    const int best = utilClass::bestPathSelect(viterbi.m_order, candidateNum, nodes, dict.m_pronDict);
    viterbi.historyFill(best);
    return best;
  }
};

// Re-aligns every path node that differs from its designated syllable against that syllable
// alone, over the node's own frames, and writes what it finds to fp.
void confusingPathRealign(FILE* fp, coreSearch& search, const float* features, int frameNum, const textClass& text,
                          int s0, dictClass& dict, const macroClass& mac, mlfClass& mlf) {
  const std::string designatedLine = cutAtTab(text.m_sylVs[0]);
  // The walk below passes over the nodes that are never scored, so the designated list
  // leaves out the same names (the padded "sp" above all), or every later pair is shifted.
  const strVec designated = textClass::speechUnits(designatedLine);
  fprintf(fp, "Designated: %s\n", designatedLine.c_str());
  fprintf(fp, "Identified: %s\n", cutAtTab(text.m_sylVs[s0]).c_str());

  size_t k = 0;
  for (sylInfo& syl : mlf.m_syl) {
    if (k >= designated.size()) break;
    if (mlfClass::skippedNode(syl.name)) continue;
    const std::string& d = designated[k++];
    if (syl.name == d) continue;
    fprintf(fp, "%s ===> %s\n", d.c_str(), syl.name.c_str());

    const strVec lines = {"VERSION=1.0 (by recogCore())",
                          "N=3\tL=2",
                          "I=0\tW=!NULL",
                          "I=1\tW=!NULL",
                          "I=2\tW=" + d,
                          "J=0\tS=0\tE=2",
                          "J=1\tS=2\tE=1"};
    netClass sylNet;
    sylNet.netCreate(lines, dict);
    const int first = syl.frameId[0];
    // Nodes of a label file need not lie within the features.
    if (first < 0 || syl.frameId[1] < first || syl.frameId[1] >= frameNum)
      errorThrowf("Error: node %s spans frames %d..%d outside the %d feature frames (line %d of %s)", syl.name.c_str(),
                  first, syl.frameId[1], frameNum, TULIM_HERE);
    const int frames = syl.frameId[1] - first + 1;
    int best = search.run(sylNet.m_node, features + static_cast<size_t>(first) * search.vecSize, frames);
    if (best < 0) best = 0;
    mlfClass aligned;
    aligned.path2mlf(*search.viterbi.m_order[best], sylNet, dict.m_pronDict, mac);
    if (aligned.m_syl.empty()) continue;
    sylInfo replacement = aligned.m_syl[0];
    replacement.frameId[0] += first;
    replacement.frameId[1] += first;
    for (phoneInfo& phone : replacement.phone) {
      phone.frameId[0] += first;
      phone.frameId[1] += first;
    }
    syl = replacement;
  }
}

}  // namespace

std::vector<int> recogTask::recogCore(const recogParam& param, const int* samples, int sampleCount, int fs, int nbits,
                                      int frameSize, int overlap, int firstFrame, const float* features, int vecSize,
                                      int frameNum, int modelNum, int arenaLen, int candidateNum, const macroClass& mac,
                                      dictClass& dict, textClass& text, const netClass& net, mlfClass& mlf,
                                      const std::vector<int>* frameVolumes) {
  stateScorer scorer(mac, modelNum);
  viterbiClass viterbi(arenaLen);
  const float beam = static_cast<float>(param.probTh);
  coreSearch search{viterbi, scorer, dict, vecSize, beam, param.useDescCandidateNum, candidateNum};

  double start = monotonicSeconds();
  int best = search.run(net.m_node, features, frameNum);
  printf("%4.3f sec: Viterbi search\n", monotonicSeconds() - start);
  bool pathComplete = true;
  if (best < 0) {
    best = 0;
    pathComplete = false;
  }

  std::vector<int> textIndex, sylIndex;
  const std::string path = text.pinyin2text(best, viterbi.m_order, dict, textIndex, sylIndex, param);

  // A syllable line may name a text that the text file does not have.
  for (int t : textIndex)
    if (t < 0 || static_cast<size_t>(t) >= text.m_txtVs.size() ||
        static_cast<size_t>(t) >= text.m_txtVsNormalized.size())
      errorThrowf("Error: the identified text index %d is outside the %d texts (line %d of %s)", t,
                  static_cast<int>(text.m_txtVs.size()), TULIM_HERE);

  mlf.m_textStr.clear();
  for (int t : textIndex) {
    printf("\ttextIndex=%d ===> %s\n", t, text.m_txtVs[t].c_str());
    mlf.m_textStr.push_back(text.m_txtVs[t]);
  }
  if (!text.m_sylVs.empty()) {
    mlf.m_sylStr.clear();
    for (size_t i = 0; i < sylIndex.size(); i++) {
      const int s = sylIndex[i];
      printf("\tsylIndex[%d]=%d ===> %s\n", static_cast<int>(i), s, text.m_sylVs[s].c_str());
      mlf.m_sylStr.push_back(text.m_sylVs[s]);
    }
  }

  // A path that matches no text (or no syllable line) leaves these at -1: the steps that
  // need the identified text or line then have none to work on.
  const int t0 = textIndex.empty() ? -1 : textIndex[0];
  const int s0 = sylIndex.empty() ? -1 : sylIndex[0];
  // Only an assessment whose path holds none of its text's lines comes back with a text and
  // no line: the text was not said, and is sized by its first line.
  const bool textMissed = sylIndex.empty() && !textIndex.empty();
  const int textSylNum = textSylNumOf(param, text, t0, textMissed && !text.m_sylVs.empty() ? 0 : s0);

  if (param.inputLabFile.empty())
    mlf.path2mlf(*viterbi.m_order[best], net, dict.m_pronDict, mac);
  else
    mlf.labFileRead(param.inputLabFile);
  mlf.m_textSylNum = textSylNum;
  mlf.m_pathSylNum = static_cast<int>(textClass::speechUnits(path).size());

  // The re-alignments below reuse the search object, so the main search's best score is
  // taken now.
  const float bestLogProb = viterbi.m_order[best]->score;

  if (!param.outputDir.empty() && param.function == "assess" && !param.sylFile.empty()) {
    const std::string confusingPath = resultPath(param, "confusingPath.txt");
    filePtr fp = openFilePtr(confusingPath, "w");
    if (endsWith(param.sylFile, "syl2")) {
      printf(
          "\xc0\xcb\xac\x64\xac\x4f\xa7\x5f\xa8\xab\xa8\xec\xb2\x56\xb2\x63\xb8\xf4\xae\x7c "
          "(Check if a confusing path is taken instead of the correct one)\n");
      if (s0 > 0) confusingPathRealign(fp.get(), search, features, frameNum, text, s0, dict, mac, mlf);
    }
    closeWrittenFile(fp, confusingPath);
    printf("\t===> Saved %s\n", confusingPath.c_str());
  }

  mlf.sylTextSet(t0 < 0 ? std::string() : text.m_txtVsNormalized[t0], param);
  mlf.m_PA = path;
  mlf.m_timberScore = -100000.0f;
  mlf.m_logProb = bestLogProb;
  mlf.m_textIndex = textIndex;
  for (int t : textIndex) mlf.m_text.push_back(text.m_txtVs[t]);

  if (param.language == "chinese") {
    const strTable& table = dict.m_pinyinTable;
    if (param.pinyinType == "krv") {
      mlf.m_KRV = mlf.m_PA;
      mlf.m_MPA = textClass::sylStrConvert(mlf.m_PA, table, 1, 2);
      mlf.m_HanYu = textClass::sylStrConvert(mlf.m_PA, table, 1, 3);
    } else if (param.pinyinType == "hanyu") {
      mlf.m_HanYu = mlf.m_PA;
      mlf.m_MPA = textClass::sylStrConvert(mlf.m_PA, table, 3, 2);
      mlf.m_KRV = textClass::sylStrConvert(mlf.m_PA, table, 3, 1);
    }
    if (!text.m_sylTagVs.empty() && s0 >= 0 && static_cast<size_t>(s0) < text.m_sylTagVs.size())
      mlf.m_Tone = text.m_sylTagVs[s0];
  }

  mlf.qiYinApply(dict, param);

  start = monotonicSeconds();
  audioClass audio;
  const int waveFrameNum = audio.getFrameNum(sampleCount, frameSize, overlap);
  std::vector<int> volume(static_cast<size_t>(waveFrameNum > 0 ? waveFrameNum : 0));
  if (frameVolumes && frameSize == audioClass::VOLUME_FRAME_SIZE && overlap == audioClass::VOLUME_OVERLAP &&
      frameVolumes->size() == volume.size())
    volume = *frameVolumes;
  else if (waveFrameNum > 0)
    frame2volume(samples, sampleCount, frameSize, overlap, volume.data(), 1);
  printf("%4.3f sec: Compute volume\n", monotonicSeconds() - start);
  // The nodes still count their frames from the first frame of speech, the volumes from the
  // start of the wave.
  const int volumeOffset = firstFrame < 0 ? 0 : (firstFrame < waveFrameNum ? firstFrame : waveFrameNum);
  mlf.phoneVolumeSet(volume.data() + volumeOffset, waveFrameNum - volumeOffset);

  printf("\tFind the phone ranking...\n");
  mlf.phoneRanking(features, vecSize, frameNum, scorer, param);

  printf("\tCompute possible score discount factors...\n");
  if (param.comparisonMode == 3) {
    mlf.m_textSylNum = -1;
    const int first = text.m_matchSylBegin;
    const int last = first + text.m_matchSylNum - 1;
    mlf.discountFactorCompute(first, last, true);
    mlf.confidenceMeasure(first, last, param, mac);
  } else {
    const int last = static_cast<int>(mlf.m_syl.size()) - 1;
    mlf.discountFactorCompute(0, last, pathComplete);
    mlf.confidenceMeasure(0, last, param, mac);
  }
  if (textMissed) {
    for (int k = 0; k < 3; ++k) mlf.m_timberScorePair[k].final = 0.0f;  // the pairs the discounts reach
    mlf.m_timberScore = mlf.m_score = 0.0f;
  }

  mlf.frameShift(firstFrame);

  if (param.getPitch) {
    start = monotonicSeconds();
    ptParam pt;
    audio.ptParamSet(pt, fs, nbits, 1, param.ptParamFile.c_str());
    pt.useVolThreshold = 0;
    pt.useClarityThreshold = 0;
    sylPitchVolume(samples, sampleCount, pt, mlf);
    printf("%4.3f sec: Volume and pitch computation (based on the whole utterance)\n", monotonicSeconds() - start);
  }

  if (!param.outputDir.empty()) {
    const std::string xmlPath =
        param.outputXmlFile.empty() ? resultPath(param, "output.xml") : resultPath(param, param.outputXmlFile.c_str());
    mlf.writeXml(mac, xmlPath, param.language);
    printf("\t===> Saved %s\n", xmlPath.c_str());
    const std::string scorePath = resultPath(param, "score.txt");
    float2file(scorePath, mlf.m_score);
    printf("\t===> Saved %s\n", scorePath.c_str());

    const std::string resultFile = resultPath(param, "recogResult.txt");
    filePtr fp = openFilePtr(resultFile, "w");
    std::string joined;
    intVecJoin(mlf.m_textIndex, "#", joined);
    fprintf(fp.get(), "Text index=%s\n", joined.c_str());
    fprintf(fp.get(), "Text=%s\n", stringJoin(mlf.m_text, "#").c_str());
    fprintf(fp.get(), "Score=%f\n", mlf.m_timberScore);
    fprintf(fp.get(), "KRV=%s\n", mlf.m_KRV.c_str());
    fprintf(fp.get(), "MPA=%s\n", mlf.m_MPA.c_str());
    fprintf(fp.get(), "HanYu=%s\n", mlf.m_HanYu.c_str());
    fprintf(fp.get(), "Tone=%s\n", mlf.m_Tone.c_str());
    fprintf(fp.get(), "LogProb=%f\n", mlf.m_logProb);
    closeWrittenFile(fp, resultFile);
    printf("\t===> Saved %s\n", resultFile.c_str());
  }

  return textIndex;
}

}  // namespace tulim
