// The best path a net holds, found without any pruning: the frame-synchronous Viterbi search
// with room for every state of the net, no beam and no histogram, on emission scores computed
// straight from the mixtures. Every path is scored with the same float operations in the same
// order as the engine's search, so the engine's best ending candidate must score exactly the
// same whenever it kept that path. Used by the tests and by the benchmark's search-error count.
#pragma once

#include <string>
#include <vector>

#include "macroClass.h"
#include "netClass.h"

namespace tulim {

class dictClass;

namespace test {

// The emission of one state straight from its mixtures: the value the search must reproduce
// bit for bit.
float plainStateScore(const float* x, const macroClass& set, int model, int state);

struct exactPath {
  bool found = false;  // a path reaches the last state of a node linked to the end node
  float score = 0.0f;  // the best such path's score at the last frame
  int node = -1;       // the node it ends in
  int states = 0;      // emitting states of the net (the search's room)
};

// The best path that ends, at the last frame, in the last state of the last model of a node
// linked directly to the end node (the path the task's best-path choice takes).
exactPath exactSearch(const std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                      int frameNum, const macroClass& models);

// The engine's search against the exact one on the same net and features.
struct searchComparison {
  bool engineComplete = false;  // the engine's best-path choice ends where the exact path may
  float engine = 0.0f;          // its score (LZERO when it has no candidate to choose)
  exactPath exact;
  int candidateNum = 0;
  double seconds = 0.0;  // of the engine's search
  // The exact search ends in a complete path and the engine has none or a lower one.
  bool error() const { return exact.found && (!engineComplete || engine < exact.score); }
};

searchComparison searchCompare(std::vector<netNode>& nodes, const dictClass& dict, const float* features, int dim,
                               int frameNum, const macroClass& models, int candidateNum, int arenaLen, float beam,
                               int descCandidateNum);

// The same for one utterance as a run prepares it: the parameters of paramFile with wavFile
// and txtFile, the wave prepared, the lexicon and net prepared, the features extracted; models
// already read (from the parameters' macFile). The search's own lines go to standard output.
searchComparison searchCompare(const std::string& paramFile, const std::string& wavFile, const std::string& txtFile,
                               const macroClass& models);

}  // namespace test
}  // namespace tulim
