// One hypothesis of the Viterbi search, with its whole syllable and phone history, so that
// the best path is read straight from the best surviving candidate by the segmentation,
// the label writers and the best-path-to-text mapping. Scores are in the log domain of the
// HMM set (LZERO in macroClass.h marks a dead candidate).
#pragma once

namespace tulim {

constexpr int MAX_SYL_NUM = 1000;    // closed syllables per candidate
constexpr int MAX_PHONE_NUM = 3000;  // closed phones per candidate

struct arenaCandidate {
  int stateIdx;                      // emitting state of the current model, 0 to 2
  int modelPos;                      // position of the current model in the node's syllable
  int node;                          // current net node
  int sylNum;                        // closed syllables
  int sylId[MAX_SYL_NUM];            // dictionary index of each closed syllable
  int sylNode[MAX_SYL_NUM];          // net node of each closed syllable
  int sylEndFrame[MAX_SYL_NUM];      // last frame of each closed syllable
  float sylEndScore[MAX_SYL_NUM];    // score when the syllable was closed
  float score;                       // log score; LZERO: dead
  int phoneNum;                      // closed phones
  int phonePos[MAX_PHONE_NUM];       // position of each closed phone within its syllable
  int phoneEndFrame[MAX_PHONE_NUM];
  float phoneEndScore[MAX_PHONE_NUM];
};

}  // namespace tulim
