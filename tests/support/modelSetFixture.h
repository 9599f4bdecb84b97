// Small, well-separated HMM sets for tests of the model set, the lexicon, the nets and the
// search: five-state left-to-right models with one Gaussian per stream over 3 streams of 13.
#pragma once

#include <string>
#include <vector>

#include "macroClass.h"
#include "stringUtil.h"
#include "testFiles.h"

namespace tulim {
namespace test {

constexpr int FIXTURE_STREAM_NUM = 3;
constexpr int FIXTURE_STREAM_WIDTH = 13;
constexpr int FIXTURE_VECTOR_SIZE = FIXTURE_STREAM_NUM * FIXTURE_STREAM_WIDTH;
constexpr float FIXTURE_SELF_LOOP = 0.6f;  // each emitting state to itself
constexpr float FIXTURE_NEXT = 0.4f;       // and to the next state

// Every mean value of emitting state (0..2) of the k-th model of the name list given to the
// helpers below (list order, not sorted order): 20 k + 5 state. Variances are 1, so states
// and models lie at least 5 standard deviations apart in every dimension.
float fixtureMean(int k, int state);

// A feature vector (FIXTURE_VECTOR_SIZE values) at the means of that model and state.
std::vector<float> fixtureFrame(int k, int state);

// "mac" text of the models named, in list order.
std::string modelSetText(const strVec& names);

// Writes modelSetText(names) as dir/fileName and returns the path.
std::string writeModelSet(const scratchDir& dir, const std::string& fileName, const strVec& names);

// The same models held raw in set (list order, probabilities and variances as in the text).
void modelSetFill(macroClass& set, const strVec& names);

// Raw fill, then sorted and prepared as macroRead leaves a set read from a file, and laid out
// for scoring as a loader leaves it; a test that changes the set after lays it out again.
void modelSetPrepare(macroClass& set, const strVec& names);

// A prepared set, laid out for scoring, of models "m0".."m<models-1>" of 32 random mixtures a stream (one in seven
// below the weight cut), the same for the same seed.
void randomModelSet(macroClass& set, int models, unsigned seed);

}  // namespace test
}  // namespace tulim
