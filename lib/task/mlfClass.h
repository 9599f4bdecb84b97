// The result of one utterance: the best path segmented into syllable (or word) nodes and
// their phones, the scores the assessment attaches to them, the identified texts and the
// warnings. Created by the caller of a run, filled by the pipeline, read by the writers,
// the exports and the programs.
#pragma once

#include <string>
#include <vector>

#include "macroClass.h"

namespace tulim {

struct arenaCandidate;
class macroClass;
class netClass;
struct pronEntry;

// One phone: one model of the HMM set.
struct phoneInfo {
  std::string name;                         // model name
  int modelIndex = -1;                      // first model of that name in the HMM set
  int frameId[2] = {0, 0};                  // first and last frame, inclusive
  float cumLogLike = 0.0f;                  // path log probability at the last frame
  float logLike = 0.0f;                     // own log-likelihood, from the phone ranking
  std::vector<int> competingModelIndex;     // by descending log-likelihood
  std::vector<float> competingModelLogLike;
  std::vector<float> cmParam;               // bell-curve triple of the confidence measure
  std::vector<std::string> equivName;       // members of the equivalent phone set
  int rank = -1;                            // -1: not ranked
  float rankRatio = -1.0f;
  float timeRatio = -1.0f;
  float timberScore = -1.0f;                // -1: not scored
  float timberScores[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
  unsigned char pitched = 0;                // voiced
  std::vector<float> volume;
  std::vector<float> pitch;
};

// One node of the path: a syllable, or a word for English.
struct sylInfo {
  std::string name;                         // the dictionary entry's syllable string
  std::string text;                         // empty for "sil" and "sp"
  int frameId[2] = {0, 0};                  // first and last frame, inclusive
  float timberScore = -1.0f;                // -1: not scored
  float timberScores[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
  std::vector<phoneInfo> phone;
  float logProb = 0.0f;                     // path log probability at the last frame
  std::vector<float> volume;
  std::vector<float> pitch;
  float discount = 1.0f;                    // 1: not discounted
};

// One line of the equivalent-phone-set file.
struct equivPhoneSet {
  std::string name;
  std::vector<std::string> member;
};

// Scores of the confidence measure before and after the discounts.
struct timberScorePair {
  float orig = 0.0f;
  float final = 0.0f;
};

class mlfClass {
 public:
  std::vector<sylInfo> m_syl;               // nodes of the best path in time order
  int m_phoneNum = 0;
  int m_phoneFrameNum = 0;
  float m_rankScoreSum = 0.0f;
  float m_logLikePerFrame = 0.0f;
  float m_logProb = 0.0f;
  int m_scoredSylNum = 0;
  std::vector<int> m_discountFactor;        // occurrences per discount reason
  std::vector<float> m_discountRatio;       // ratio per occurrence of each reason
  timberScorePair m_timberScorePair[4];
  float m_origTimberScore = 0.0f;
  float m_timberScore = -100000.0f;         // until the confidence measure has run
  std::string m_PA;
  std::string m_Tone;
  std::string m_MPA;
  std::string m_HanYu;
  std::string m_KRV;
  std::vector<int> m_textIndex;             // identified texts
  std::vector<std::string> m_text;
  int m_textSylNum = -1;                    // -1: not available
  int m_pathSylNum = 0;
  float m_score = 0.0f;
  std::vector<std::string> m_sylStr;
  std::vector<std::string> m_textStr;
  std::vector<equivPhoneSet> m_epsVec;
  std::vector<float> m_rank2scoreParam;
  std::vector<std::string> m_warning;

  // ---- Diagnostics and parameter files -------------------------------------------------

  // "Output of mlfClass::print():" and one line per node and phone.
  void print() const;
  // Lines of fileName ('%' comments), each "name TAB member TAB member ..."; eps is
  // emptied first.
  void epsRead(const std::string& fileName, std::vector<equivPhoneSet>& eps);

  // ---- Segmentation and label input ------------------------------------------------------

  // path2sylLevel, then path2phoneLevel, on the winning candidate of the search.
  void path2mlf(const arenaCandidate& candidate, const netClass& net, const std::vector<pronEntry>& pronDict,
                const macroClass& mac);
  // m_syl := one unscored node per syllable entry of the candidate, its text from the net node.
  void path2sylLevel(const arenaCandidate& candidate, const netClass& net, const std::vector<pronEntry>& pronDict,
                     const macroClass& mac);
  // Appends the candidate's phones to the nodes of path2sylLevel and resets every score.
  // Phones outside the syllable entries are dropped with a warning.
  void path2phoneLevel(const arenaCandidate& candidate, const netClass& net, const std::vector<pronEntry>& pronDict,
                       const macroClass& mac);
  // m_syl := the nodes and phones of a label file, lines "start end phone cumLogLike [node]"
  // ('%' comments, times in 100 ns units); a line with a fifth field starts a node.
  void labFileRead(const std::string& fileName);
  // m_timberScore and m_syl from a file of writePhoneLevel(fileName, true, true, ...).
  void phoneLevelRead(const std::string& fileName);

  // ---- Label writers -----------------------------------------------------------------------

  // MLF of the nodes other than "sil"; the file ends in "." without a line end.
  void writeSylLevel(const std::string& fileName) const;
  // Phone labels, with the MLF frame ("#!MLF!#", a title line and a closing "."), with the
  // scores (header comments, tab-separated "phone#score" fields, node names and texts) and
  // with the node volumes appended to each node's first phone.
  void writePhoneLevel(const std::string& fileName, bool mlfFrame, bool withScore, bool withVolume) const;
  // Neither frame, scores nor volumes: the form labFileRead reads.
  void writePhoneLevel(const std::string& fileName) const;
  // Scores and volumes without the frame when set, else the plain form.
  void writePhoneLevel(const std::string& fileName, bool withScoreAndVolume) const;
  // Per scored phone three lines: "name modelIndex frameNum", its competing model indices
  // and their log-likelihoods.
  void competingModelWrite(const macroClass& mac, const std::string& fileName) const;
  // Readable report of the node and phone scores, the competing models, the scores before
  // and after the discounts and the discount counts.
  void scoreReportWrite(const macroClass& mac, const std::string& fileName) const;

  // ---- Phone ranking and node operations ---------------------------------------------------

  // The model set, the search, the lexicon and the parameter record are named by elaborated
  // types, so that this header needs none of their headers.

  // True for the nodes that are never scored: "sp", "sil", "filler", "fillerC", "fillerV".
  static bool skippedNode(const std::string& name);

  // Ranks every phone of the scored nodes, "sil+..." phones excepted, among its competing
  // models by their log scores over its frames: the models that share its right context
  // (the name from its first '+'; without a '+', the models without one), or with
  // useAllModelAsCompetingModel every model but the silences and fillers. Ties count against
  // the phone; with epsFile (loaded into m_epsVec while that is empty) an unbroken run of
  // equivalent models right above it is forgiven. features holds frameNum frames of vecSize
  // values that the phones' frame numbers index, so this comes before frameShift; a phone
  // outside them, or one that names no model, is a fatal error.
  void phoneRanking(const float* features, int vecSize, int frameNum, class stateScorer& scorer,
                    const struct recogParam& param);

  // Gives the scored nodes the units of text (txt2units for the language) in turn, the
  // empty text once they run out; skipped nodes get the empty text. With
  // addLink4startAnywhere the scored nodes keep the texts of the segmentation.
  void sylTextSet(const std::string& text, const struct recogParam& param);
  // Reads qiYinFile (required) into dict.m_qiYinList, then marks every phone voiced except
  // "sil", "sp", "sil+..." and those whose base name (before the first '+') is listed.
  void qiYinApply(class dictClass& dict, const struct recogParam& param);
  // Each node's volume list: the values of volume (frameNum of them) at the node's frames,
  // as floats; frames outside 0 .. frameNum - 1 are left out.
  void phoneVolumeSet(const int* volume, int frameNum);
  // Adds offset to both frame numbers of every node and phone.
  void frameShift(int offset);
  // How alike the node durations of a and b are, 1.0 for equal ones: over the positions 1 to
  // n - 1 of the shorter record (n - 1 left out when a's node there is "sil"), the mean of
  // min(len_a / len_b, len_b / len_a) weighted by b's durations. 0 with no position to compare.
  static float durationSimilarity(const mlfClass& a, const mlfClass& b);
  // Moves the boundary between phones 1 and 2 of every node of 3 or more phones whose phone
  // 1 is unvoiced to the frame of largest spectral change in the first half of the span from
  // phone 1 to the node's end: phone 1 ends 2 or more frames after its start, as long as
  // phone 2 keeps at least one frame. wave holds waveLen samples framed by frameSize and overlap as the frame
  // numbers count them; a span beyond the wave is a fatal error.
  void spectrogramBoundarySet(const int* wave, int waveLen, int frameSize, int overlap);

  // ---- Discount factors and confidence measure ----------------------------------------------

  // m_discountFactor := the occurrence counts of the seven discount reasons over the nodes
  // first..last (inclusive; an empty range when last < first): incomplete path, over-short
  // and overlong syllables, inner pauses over 50 frames, syllable-count difference, a
  // longest/shortest length ratio over 4 and loud silence. Resets the discount of those
  // nodes to 1. Needs m_scoredSylNum and the node volumes.
  void discountFactorCompute(int first, int last, bool pathComplete);
  // The four scores of every phone and node from the ranked path (bell curve of the rank
  // ratio with the shared and with the per-model triple, normalised log-likelihood,
  // posterior among the competitors), the node discounts and the utterance scores of the
  // nodes first..last before and after the discount reasons; sets m_timberScore and
  // m_score. Loads m_rank2scoreParam and m_discountRatio when they are empty; reads the
  // confidence parameter file, when there is one, at every call.
  void confidenceMeasure(int first, int last, const struct recogParam& param, const macroClass& set);

  // ---- XML result file ---------------------------------------------------------------------

  // The whole result as an XML document ("output.xml"), declared "big5" for "chinese" and
  // "taiwanese" and "UTF-8" otherwise; the strings are written as they are. The competing
  // models are named from set. The document is composed first, so a fatal error (a
  // competing model outside set, discount lists that do not match) leaves no file behind.
  void writeXml(const macroClass& set, const std::string& fileName, const std::string& language) const;
};

// Bell curve 100 / (1 + ((x - c) / a)^(2b)) with the triple (a, b, c); exactly 100 at the centre.
float gbellScore(float x, const std::vector<float>& triple);
// (1 - sqrt(x)) * 100.
float sqrtScore(float x);
// Characters of a double-byte-charset string: a byte with its top bit set and the byte
// after it are one character.
int dbcsCharCount(const std::string& str);

// Quicksort of a[lo..hi] with a[lo] as pivot, making every exchange in b too. Callers rank
// by the order it leaves equal values in, so this exact algorithm is kept (it is not
// stable); only the recursion is bounded by sorting the smaller part first.
template <typename T>
void vecQuickSortWithIndex(std::vector<T>& a, int lo, int hi, std::vector<int>& b) {
  while (lo < hi) {
    const T pivot = a[lo];
    int i = lo, j = hi + 1;
    while (true) {
      do ++i;
      while (a[i] < pivot && i < hi);
      do --j;
      while (a[j] > pivot && j > lo);
      if (i >= j) break;
      std::swap(a[i], a[j]);
      std::swap(b[i], b[j]);
    }
    std::swap(a[lo], a[j]);
    std::swap(b[lo], b[j]);
    // The two parts are independent: sorting them in either order gives the same result.
    if (j - lo < hi - j) {
      vecQuickSortWithIndex(a, lo, j - 1, b);
      lo = j + 1;
    } else {
      vecQuickSortWithIndex(a, j + 1, hi, b);
      hi = j - 1;
    }
  }
}

// Sorts a copy of values (unless sorted is given) ascending; index[k] is the position in
// values of sorted[k]. Given lists of another size than values are a fatal error.
void vecSortWithIndex(const std::vector<float>& values, std::vector<float>& sorted, std::vector<int>& index);

}  // namespace tulim
