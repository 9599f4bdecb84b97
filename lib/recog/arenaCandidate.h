// One hypothesis of the Viterbi search, with its whole syllable and phone history, so that
// the best path is read straight from the best surviving candidate by the segmentation,
// the label writers and the best-path-to-text mapping. Scores are in the log domain of the
// HMM set (LZERO in macroClass.h marks a dead candidate).
#pragma once

#include <vector>

namespace tulim {

constexpr int MAX_SYL_NUM = 1000;    // closed syllables per candidate
constexpr int MAX_PHONE_NUM = 3000;  // closed phones per candidate

// The search keeps the histories of its candidates itself and only the counts here; when it
// returns, the lists of the candidates it returns hold sylNum and phoneNum entries.
struct arenaCandidate {
  int stateIdx;                    // emitting state of the current model, 0 to 2
  int modelPos;                    // position of the current model in the node's syllable
  int node;                        // current net node
  int sylNum;                      // closed syllables
  std::vector<int> sylId;          // dictionary index of each closed syllable
  std::vector<int> sylNode;        // net node of each closed syllable
  std::vector<int> sylEndFrame;    // last frame of each closed syllable
  std::vector<float> sylEndScore;  // score when the syllable was closed
  float score;                     // log score; LZERO: dead
  int phoneNum;                    // closed phones
  std::vector<int> phonePos;       // position of each closed phone within its syllable
  std::vector<int> phoneEndFrame;
  std::vector<float> phoneEndScore;
};

}  // namespace tulim
