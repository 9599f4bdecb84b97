// Operations on the search candidates themselves: the choice of the best complete path, the
// count of non-silence labels, and the label and text writers of the candidate list. Used by
// the recognition core and the net-file recognition road.
#pragma once

#include <string>
#include <vector>

#include "arenaCandidate.h"
#include "stringUtil.h"

namespace tulim {

class macroClass;
struct netNode;
struct pronEntry;

// Candidates written by answer2file at most.
constexpr int ANSWER_NUM = 100;

// The candidate lists below are the search's pointer array in score order, best first;
// only the first candidateNum of them are read.
class utilClass {
 public:
  // The first live candidate whose node leads straight to the net's end node (by any of its
  // links), preferring one in the last state (2) of its syllable's last model, then one in
  // that model in any state, then any; -1 when none does.
  static int bestPathSelect(const arenaCandidate* const* candidates, int candidateNum, const std::vector<netNode>& nodes,
                            const std::vector<pronEntry>& pronDict);
  // Entries that are not exactly "sil".
  static int countNonSil(const strVec& labels);

  // ---- Writers ----------------------------------------------------------------------------

  // MLF of the candidate's syllables, times in 100 ns units.
  static void sylTime2file(const std::string& fileName, const arenaCandidate& candidate,
                           const std::vector<pronEntry>& pronDict);
  // MLF of the candidate's phones with their scores and syllables.
  static void phoneTime2file(const std::string& fileName, const arenaCandidate& candidate,
                             const std::vector<netNode>& nodes, const std::vector<pronEntry>& pronDict,
                             const macroClass& mac);
  // "syl-syl-...\tscore" per candidate, stopping at the first one-syllable candidate and
  // after ANSWER_NUM.
  static void answer2file(const std::string& fileName, const arenaCandidate* const* candidates, int candidateNum,
                          const std::vector<pronEntry>& pronDict);
  // The non-"sil" syllables of each of the first n candidates, joined by '-'.
  static strVec sylPathStrings(const arenaCandidate* const* candidates, int candidateNum,
                               const std::vector<pronEntry>& pronDict, int n);
  // The first five candidates with their syllables, to standard output.
  static void candidatePrint(const arenaCandidate* const* candidates, int candidateNum,
                             const std::vector<pronEntry>& pronDict);
  // "answer.txt", and for the best complete candidate "phoneTime.mlf" and "sylTime.mlf", in
  // the working directory.
  static void resultFilesWrite(const arenaCandidate* const* candidates, int candidateNum,
                               const std::vector<netNode>& nodes, const std::vector<pronEntry>& pronDict,
                               const macroClass& mac);
};

}  // namespace tulim
