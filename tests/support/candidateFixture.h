// Search candidates, a small net and its lexicon built by hand, for the tests of the best-path
// choice, the segmentation and the label writers, which read candidates as the search leaves
// them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "arenaCandidate.h"
#include "dictClass.h"
#include "macroClass.h"
#include "netClass.h"

namespace tulim {
namespace test {

// One closed syllable of a path: its dictionary entry, its net node and the last frame of
// each of its phones (its own last frame is that of its last phone).
struct pathSyl {
  int dicIndex;
  int node;
  std::vector<int> phoneEnds;
};

// Score of a path at the end of frame f: PATH_SCORE_PER_FRAME * (f + 1).
constexpr float PATH_SCORE_PER_FRAME = -2.5f;

// A candidate that closed the syllables given, in order, each phone at position 0, 1, ...
// of its syllable; every entry's score is the path score at its last frame and the total
// score that at the last phone. It sits in the end node, model 0, state 0 unless changed.
std::unique_ptr<arenaCandidate> pathCandidate(const std::vector<pathSyl>& syls, int endNode = 1);

// A candidate without history at the given place of the search.
std::unique_ptr<arenaCandidate> candidateAt(int node, int modelPos, int stateIdx, float score = -10.0f);

// The models "a", "b", "c", "sil" (indices 0 to 3 once sorted) and the sorted dictionary
// ba = b a, bac = b a c, ca = c a, sil = sil (indices 0 to 3).
void pathModelsMake(macroClass& mac, dictClass& dict);

// Net nodes: 0 start (null) -> 2; 1 end (null); 2 sil -> 3, 4, 6; 3 ba (text "\xa4\x4b")
// -> 5; 4 ca (text "\xa5\x64") -> 1; 5 sil -> 1; 6 bac (text "\xa4\x54") -> 1.
netClass pathNetMake();

// A test with the models and dictionary of pathModelsMake and the net of pathNetMake.
class pathTest : public testing::Test {
 protected:
  void SetUp() override {
    pathModelsMake(mac, dict);
    net = pathNetMake();
  }
  macroClass mac;
  dictClass dict;
  netClass net;
};

// Runs a scope with the working directory set to dir.
class workingDirScope {
 public:
  explicit workingDirScope(const std::string& dir);
  ~workingDirScope();
  workingDirScope(const workingDirScope&) = delete;
  workingDirScope& operator=(const workingDirScope&) = delete;

 private:
  std::string m_old;
};

}  // namespace test
}  // namespace tulim
