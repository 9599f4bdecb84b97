#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "dictClass.h"
#include "exactSearch.h"
#include "fatalCatch.h"
#include "modelSetFixture.h"
#include "netClass.h"
#include "netTextFixture.h"
#include "testFiles.h"
#include "stateScorer.h"
#include "viterbiClass.h"

using namespace tulim;
using testing::HasSubstr;
using testing::MatchesRegex;
using tulim::test::FIXTURE_VECTOR_SIZE;
using tulim::test::fixtureFrame;
using tulim::test::fatalMessage;
using tulim::test::netLines;

namespace {

// ---- The straightforward emission the search must reproduce bit for bit -----------------

// The frame index is the search's; the emission does not depend on it.
float refState(const float* x, const macroClass& set, int model, int state, int = 0) {
  return tulim::test::plainStateScore(x, set, model, state);
}

float trans(const macroClass& set, int model, int from, int to) {
  return set.MMF().model[static_cast<size_t>(model)].transProb[from + 1][to + 1];
}

// ---- Nets and searches over the shared well-separated model set ---------------------------

// Models in list order (fixtureMean index k); each syllable is the model of its own name.
struct searchFixture {
  strVec names;
  macroClass set;
  dictClass dict;
  netClass net;
  std::vector<float> features;

  explicit searchFixture(const strVec& modelNames) : names(modelNames) {
    test::modelSetPrepare(set, names);
    strVec sorted = names;
    std::sort(sorted.begin(), sorted.end());
    for (const std::string& name : sorted) dict.m_pronDict.push_back({name, {set.findModelIndex(name)}});
  }
  // Every emitting transition ln 0.5, so that a path's transitions cost (T-1) ln 0.5.
  void halfTransitions() {
    for (hmmModel& model : set.MMFEdit().model)
      for (int i = 1; i <= 3; i++) model.transProb[i][i] = model.transProb[i][i + 1] = std::log(0.5f);
    set.layoutPrepare();
  }
  int listIndex(const std::string& name) const {
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
  }
  void build(const strVec& nodes, const std::vector<std::pair<int, int>>& links) {
    net.netVs2net(netLines(nodes, links), dict);
  }
  // Frames at the means of (model name, state, frame count) runs.
  void speak(const std::vector<std::tuple<std::string, int, int>>& runs) {
    features.clear();
    for (const auto& run : runs)
      for (int f = 0; f < std::get<2>(run); f++) {
        std::vector<float> frame = fixtureFrame(listIndex(std::get<0>(run)), std::get<1>(run));
        features.insert(features.end(), frame.begin(), frame.end());
      }
  }
  int frames() const { return static_cast<int>(features.size()) / FIXTURE_VECTOR_SIZE; }
  int run(viterbiClass& v, stateScorer& scorer, int candidates, float beam, int desc = 0) {
    return v.search(net.m_node, dict, features.data(), FIXTURE_VECTOR_SIZE, frames(), candidates, scorer, beam, desc);
  }
  std::string sylPath(const arenaCandidate& c) const {
    std::string path;
    for (int k = 0; k < c.sylNum; k++) path += (k ? "-" : "") + dict.m_pronDict[static_cast<size_t>(c.sylId[k])].syl;
    return path;
  }
};

// Emission of a frame at the very means of its state: each stream -gconst / 2.
float atMeanEmission(const macroClass& set) {
  float p = 0.0f;
  for (int s = 0; s < 3; s++) p += -set.MMF().model[0].state[0].stream[s].mixture[0].gconst / 2.0f;
  return p;
}

// The search as plainly written: whole-record copies, slots refilled per node, a stable sort
// of every position and a scan of all N positions, with the emission computed above. The
// fast search must leave exactly the same candidates in the same order.
struct refSearch {
  const macroClass& set;
  const dictClass& dict;
  std::vector<netNode> nodes;
  std::vector<arenaCandidate> arena;
  std::vector<arenaCandidate*> order;
  std::vector<char> held;

  refSearch(const macroClass& s, const dictClass& d, const std::vector<netNode>& n, int arenaLen)
      : set(s),
        dict(d),
        nodes(n),
        arena(static_cast<size_t>(arenaLen)),
        order(static_cast<size_t>(arenaLen)),
        held(static_cast<size_t>(arenaLen), 0) {}

  const std::vector<int>& models(int node) const {
    return dict.m_pronDict[static_cast<size_t>(nodes[static_cast<size_t>(node)].dicIndex)].modelIndex;
  }
  static float floor(float v) { return v <= -5e9 ? LZERO : v; }
  static void add(arenaCandidate& c, bool syl, int dicIndex, int node, int pos, int end) {
    if (syl) {
      c.sylId.push_back(dicIndex);
      c.sylNode.push_back(node);
      c.sylEndFrame.push_back(end);
      c.sylEndScore.push_back(c.score);
      c.sylNum++;
    } else {
      c.phonePos.push_back(pos);
      c.phoneEndFrame.push_back(end);
      c.phoneEndScore.push_back(c.score);
      c.phoneNum++;
    }
  }

  int run(const float* features, int T, int candidates, float beam, int desc) {
    viterbiClass finder(0);
    int start = finder.startNodeFind(nodes), end = finder.endNodeFind(nodes);
    int len = static_cast<int>(arena.size());
    for (int i = 0; i < len; i++) {
      arena[static_cast<size_t>(i)].stateIdx = arena[static_cast<size_t>(i)].modelPos = 0;
      arena[static_cast<size_t>(i)].node = arena[static_cast<size_t>(i)].sylNum = 0;
      arena[static_cast<size_t>(i)].phoneNum = 0;
      arena[static_cast<size_t>(i)].score = LZERO;
      order[static_cast<size_t>(i)] = &arena[static_cast<size_t>(i)];
    }
    // A null start node hands the first frame to its successors; a real one takes it itself.
    const netNode& startNode = nodes[static_cast<size_t>(start)];
    const std::vector<int> first = startNode.dicIndex < 0 ? startNode.fanOutIndirect : std::vector<int>{start};
    for (size_t j = 0; j < first.size(); j++) {
      arena[j].node = first[j];
      arena[j].score = floor(refState(features, set, models(first[j])[0], 0));
      held[j] = 1;
    }
    int N = candidates;
    for (int t = 1; t < T; t++) {
      const float* x = features + 39 * t;
      int lastPos = N;
      bool full = false;
      for (int i = 0; i < N; i++) {
        arenaCandidate& c = *order[static_cast<size_t>(i)];
        if (!(c.score > -5e9)) continue;
        const std::vector<int>& ms = models(c.node);
        int m = ms[static_cast<size_t>(c.modelPos)], s = c.stateIdx;
        int kind = s + 3 < set.MMF().model[static_cast<size_t>(m)].stateNum ? 2
                   : c.modelPos + 1 < static_cast<int>(ms.size())         ? 1
                                                                          : 0;
        auto copy = [&]() -> arenaCandidate* {
          if (full || lastPos >= len) {
            full = true;
            return nullptr;
          }
          held[static_cast<size_t>(order[static_cast<size_t>(lastPos)] - arena.data())] = 1;
          *order[static_cast<size_t>(lastPos)] = c;
          return order[static_cast<size_t>(lastPos++)];
        };
        if (kind == 0) {
          for (int e : nodes[static_cast<size_t>(c.node)].fanOutIndirect) {
            arenaCandidate* n = copy();
            if (!n) break;
            n->stateIdx = n->modelPos = 0;
            n->node = e;
            n->score = e == end ? LZERO
                                : floor(c.score + trans(set, m, s, s + 1) + refState(x, set, models(e)[0], 0, t) +
                                        nodes[static_cast<size_t>(e)].penalty);
            add(*n, true, nodes[static_cast<size_t>(c.node)].dicIndex, c.node, 0, t - 1);
            add(*n, false, 0, 0, c.modelPos, t - 1);
          }
        } else if (arenaCandidate* n = copy()) {
          if (kind == 1) {
            n->stateIdx = 0;
            n->modelPos++;
            n->score = floor(n->score +
                             (trans(set, m, s, s + 1) + refState(x, set, ms[static_cast<size_t>(n->modelPos)], 0, t)));
            add(*n, false, 0, 0, c.modelPos, t - 1);
          } else {
            n->stateIdx++;
            n->score = floor(n->score + (trans(set, m, s, s + 1) + refState(x, set, m, s + 1, t)));
          }
        }
        c.score = floor(c.score + (trans(set, m, s, s) + refState(x, set, m, s, t)));
      }
      std::vector<std::vector<int>> slots(nodes.size());
      for (int p = 0; p < lastPos; p++) slots[static_cast<size_t>(order[static_cast<size_t>(p)]->node)].assign(150, -1);
      for (int p = 0; p < lastPos; p++) {
        arenaCandidate& c = *order[static_cast<size_t>(p)];
        int& h = slots[static_cast<size_t>(c.node)][static_cast<size_t>(c.modelPos * 3 + c.stateIdx)];
        if (h < 0) {
          h = p;
        } else if (c.score > order[static_cast<size_t>(h)]->score) {
          order[static_cast<size_t>(h)]->score = LZERO;
          h = p;
        } else {
          c.score = LZERO;
        }
      }
      std::stable_sort(order.begin(), order.begin() + lastPos,
                       [](const arenaCandidate* a, const arenaCandidate* b) { return a->score > b->score; });
      if (desc && (t == 60 || t == 75 || t == 100 || t == 120))
        N = std::max(1, N * (t == 100 ? 7 : t == 120 ? 6 : 8) / 10);
      for (int i = 0; i < N; i++)
        if (order[static_cast<size_t>(i)]->score < static_cast<double>(order[0]->score) - beam)
          for (int k = i; k < N; k++) order[static_cast<size_t>(k)]->score = LZERO;
    }
    if (T == 1)
      std::stable_sort(order.begin(), order.begin() + N,
                       [](const arenaCandidate* a, const arenaCandidate* b) { return a->score > b->score; });
    for (int i = 0; i < N; i++) {
      arenaCandidate& c = *order[static_cast<size_t>(i)];
      if (!held[static_cast<size_t>(&c - arena.data())] || c.node == end) continue;
      add(c, true, nodes[static_cast<size_t>(c.node)].dicIndex, c.node, 0, T - 1);
      add(c, false, 0, 0, c.modelPos, T - 1);
    }
    return N;
  }
};

template <typename T>
std::vector<T> history(const std::vector<T>& values, int n) {
  return std::vector<T>(values.begin(), values.begin() + n);
}

}  // namespace

// ---- Scores --------------------------------------------------------------------------------

TEST(ModelProb, MatchesTheStraightforwardEmissionBitForBit) {
  macroClass set;
  test::randomModelSet(set, 6, 7);
  std::mt19937 gen(11);
  std::normal_distribution<float> normal(0.0f, 1.5f);
  std::vector<float> x(39 * 3);
  stateScorer v(set, 6);
  for (int trial = 0; trial < 20; trial++) {
    for (float& value : x) value = normal(gen);
    int model = trial % 6;
    float expected =
        trans(set, model, 1, 2) +
        (trans(set, model, 0, 1) + refState(x.data(), set, model, 0) + refState(x.data() + 39, set, model, 1)) +
        refState(x.data() + 78, set, model, 2);
    EXPECT_EQ(v.modelProb(x.data(), 39, 0, 2, model), expected) << trial;
  }
}

TEST(ModelProb, SkipsMixturesAtTheWeightCut) {
  searchFixture f({"a"});
  // Each write through its own MMFEdit, and each change laid out again before it is scored.
  auto stream = [&]() -> hmmStream& { return f.set.MMFEdit().model[0].state[0].stream[0]; };
  stream().mixtureNum = 2;
  stream().mixture[0].mixtureWeight = -11.0f;  // so that a second mixture at -11.4 shows
  stream().mixture[1] = stream().mixture[0];
  std::vector<float> x;
  for (int q = 0; q < 3; q++) {
    std::vector<float> frame = fixtureFrame(0, q);
    x.insert(x.end(), frame.begin(), frame.end());
  }
  struct Case {
    float weight;
    bool used;
  } cases[] = {{-11.5f, false}, {-11.4f, true}};
  for (const Case& c : cases) {
    stream().mixture[1].mixtureWeight = c.weight;
    f.set.layoutPrepare();
    stateScorer v(f.set, 1);
    float got = v.modelProb(x.data(), 39, 0, 2, 0);
    float expected = trans(f.set, 0, 1, 2) +
                     (trans(f.set, 0, 0, 1) + refState(x.data(), f.set, 0, 0) + refState(x.data() + 39, f.set, 0, 1)) +
                     refState(x.data() + 78, f.set, 0, 2);
    EXPECT_EQ(got, expected) << c.weight;
    stream().mixture[1].mixtureWeight = LZERO;
    f.set.layoutPrepare();
    stateScorer cut(f.set, 1);
    float alone = cut.modelProb(x.data(), 39, 0, 2, 0);
    EXPECT_EQ(got == alone, !c.used) << c.weight;
  }
}

TEST(ModelProb, WarnsBelowThreeFramesAndForcesOneFramePerStateAtThree) {
  searchFixture f({"a", "b"});
  f.speak({{"b", 0, 2}, {"b", 1, 1}, {"b", 2, 1}});
  stateScorer v(f.set, 2);
  int b = f.set.findModelIndex("b");
  EXPECT_THAT(fatalMessage([&] { v.modelProb(f.features.data(), 39, 0, 3, 2); }),
              MatchesRegex("Error: model index 2 out of \\[0, 2\\) \\(line [0-9]+ of file viterbi\\)"));
  testing::internal::CaptureStdout();
  EXPECT_EQ(v.modelProb(f.features.data(), 39, 1, 2, b), LZERO);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning in viterbiClass::modelProb: modelIdx=1, frameId1=1, frameId2=2, frameNum=2<MAX_STATE_NUM=3\n");
  // Spans wider than an int: reversed ones warn, and a negative first frame is refused.
  testing::internal::CaptureStdout();
  EXPECT_EQ(v.modelProb(f.features.data(), 39, INT_MAX, INT_MIN, b), LZERO);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning in viterbiClass::modelProb: modelIdx=1, frameId1=2147483647, frameId2=-2147483648, "
            "frameNum=-4294967294<MAX_STATE_NUM=3\n");
  EXPECT_THAT(fatalMessage([&] { v.modelProb(f.features.data(), 39, -1, INT_MAX, b); }),
              MatchesRegex("Error: frameId1=-1 < 0 \\(line [0-9]+ of file viterbi\\)"));
  const float* x = f.features.data();
  float e = atMeanEmission(f.set);
  float three = v.modelProb(x, 39, 1, 3, b);
  EXPECT_EQ(three, trans(f.set, b, 1, 2) +
                       (trans(f.set, b, 0, 1) + refState(x + 39, f.set, b, 0) + refState(x + 78, f.set, b, 1)) +
                       refState(x + 117, f.set, b, 2));
  EXPECT_NEAR(three, 3 * e + 2 * std::log(0.4f), 1e-3);
  float four = v.modelProb(x, 39, 0, 3, b);
  EXPECT_NEAR(four, 4 * e + 2 * std::log(0.4f) + std::log(0.6f), 1e-3);
}

TEST(ModelProb, ManySpansAtOnceGiveTheOneByOneScoresAndWarningsInOrder) {
  macroClass set;
  test::randomModelSet(set, 6, 7);
  std::mt19937 gen(5);
  std::normal_distribution<float> normal(0.0f, 1.5f);
  const int frameNum = 60;
  std::vector<float> x(39 * frameNum);
  for (float& value : x) value = normal(gen);
  // Every model over several spans, some of them too short to score, in a mixed order, so
  // that the threads share out models whose spans interleave.
  std::vector<stateScorer::modelSpan> spans;
  std::uniform_int_distribution<int> start(0, frameNum - 3), length(1, 12), model(0, 5);
  for (int k = 0; k < 200; k++) {
    const int f1 = start(gen);
    spans.push_back({f1, std::min(frameNum - 1, f1 + length(gen) - 1), model(gen)});
  }
  stateScorer one(set, 6), many(set, 6);
  testing::internal::CaptureStdout();
  std::vector<float> expected;
  for (const stateScorer::modelSpan& span : spans)
    expected.push_back(one.modelProb(x.data(), 39, span.frameId1, span.frameId2, span.modelIdx));
  const std::string expectedWarnings = testing::internal::GetCapturedStdout();
  ASSERT_NE(expectedWarnings, "");

  testing::internal::CaptureStdout();
  std::vector<float> got;
  many.modelProbs(x.data(), 39, spans, got);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expectedWarnings);
  EXPECT_EQ(got, expected);
  // Each model's cache ends as after its last span one by one.
  for (int m = 0; m < 6; m++) {
    for (int q = 0; q < MAX_STATE_NUM; q++) {
      EXPECT_EQ(many.m_stateProbCache[m].frameId[q], one.m_stateProbCache[m].frameId[q]) << m << " " << q;
      if (one.m_stateProbCache[m].frameId[q] >= 0) {
        EXPECT_EQ(many.m_stateProbCache[m].logProb[q], one.m_stateProbCache[m].logProb[q]) << m << " " << q;
      }
    }
  }

  // A bad model index is refused before anything is scored, after the warnings of the spans
  // before it.
  std::vector<stateScorer::modelSpan> bad = {{0, 1, 0}, {0, 9, 6}};
  testing::internal::CaptureStdout();
  EXPECT_THAT(fatalMessage([&] { many.modelProbs(x.data(), 39, bad, got); }),
              MatchesRegex("Error: model index 6 out of \\[0, 6\\) \\(line [0-9]+ of file viterbi\\)"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning in viterbiClass::modelProb: modelIdx=0, frameId1=0, frameId2=1, frameNum=2<MAX_STATE_NUM=3\n");
}

TEST(ModelProb, IgnoresWhatTheSearchLeftInTheCache) {
  searchFixture f({"sil", "a"});
  f.build({"!NULL", "!NULL", "a", "sil"}, {{0, 2}, {2, 3}, {3, 1}});
  f.speak({{"a", 0, 1}, {"a", 1, 1}, {"a", 2, 1}, {"sil", 0, 1}, {"sil", 1, 1}, {"sil", 2, 1}});
  int a = f.set.findModelIndex("a");
  stateScorer fresh(f.set, 2);
  float expected = fresh.modelProb(f.features.data() + 3 * 39, 39, 0, 2, a);
  // One frame leaves a's state 0 cached for frame index 0, the span's first index.
  viterbiClass used(10);
  stateScorer usedScorer(f.set, 2);
  used.search(f.net.m_node, f.dict, f.features.data(), FIXTURE_VECTOR_SIZE, 1, 2, usedScorer, 1e6f, 0);
  EXPECT_EQ(usedScorer.modelProb(f.features.data() + 3 * 39, 39, 0, 2, a), expected);
}

// The spans after a search take the scores it kept, on frames equal to the search's only: the
// same numbers as a fresh scorer's, before and after frames change under the same pointer.
TEST(ModelProb, SpansAfterASearchGiveAFreshScorersNumbers) {
  searchFixture f({"sil", "a", "b", "c"});
  f.build({"!NULL", "!NULL", "sil", "a", "b", "sil"}, {{0, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 1}});
  f.speak({{"sil", 0, 3}, {"a", 0, 2}, {"a", 1, 2}, {"a", 2, 2}, {"b", 0, 3}, {"b", 2, 3}, {"sil", 1, 4}});
  std::mt19937 gen(43);
  std::normal_distribution<float> noise(0.0f, 0.7f);
  for (float& value : f.features) value += noise(gen);
  const int frameNum = f.frames();
  // Every model, "c" too, which the net does not hold, over spans across the utterance.
  std::vector<stateScorer::modelSpan> spans;
  for (int m = 0; m < 4; m++)
    for (int f1 = 0; f1 + 3 <= frameNum; f1 += 2) spans.push_back({f1, std::min(frameNum - 1, f1 + 2 + f1 % 5), m});
  viterbiClass v(1000);
  stateScorer scorer(f.set, 4);
  f.run(v, scorer, 200, 1e6f);
  for (int round = 0; round < 2; round++) {
    std::vector<float> got, expected;
    stateScorer fresh(f.set, 4);
    testing::internal::CaptureStdout();
    scorer.modelProbs(f.features.data(), FIXTURE_VECTOR_SIZE, spans, got);
    fresh.modelProbs(f.features.data(), FIXTURE_VECTOR_SIZE, spans, expected);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(got, expected) << round;
    for (size_t i = 0; i < spans.size(); i++)
      EXPECT_EQ(scorer.modelProb(f.features.data(), FIXTURE_VECTOR_SIZE, spans[i].frameId1, spans[i].frameId2,
                                 spans[i].modelIdx),
                expected[i])
          << round << " " << i;
    // Frames changed in place: their kept scores are no longer theirs.
    for (size_t k = 5 * FIXTURE_VECTOR_SIZE; k < 9 * FIXTURE_VECTOR_SIZE; k++) f.features[k] += 1.0f;
  }
}

TEST(ModelProb, DeadTransitionStaysDeadDespitePositiveEmissions) {
  searchFixture f({"a"});
  hmmModel& model = f.set.MMFEdit().model[0];
  model.transProb[1][2] = LZERO;  // state 0 can never move on
  for (hmmState& state : model.state)
    for (hmmStream& stream : state.stream) stream.mixture[0].gconst = -4000.0f;
  f.set.layoutPrepare();
  std::vector<float> x;
  for (int q = 0; q < 3; q++) {
    std::vector<float> frame = fixtureFrame(0, q);
    x.insert(x.end(), frame.begin(), frame.end());
  }
  stateScorer v(f.set, 1);
  EXPECT_EQ(v.modelProb(x.data(), 39, 0, 2, 0), LZERO);
}

// ---- The search -----------------------------------------------------------------------------

TEST(ViterbiSearch, FollowsTheSpokenPathWithItsEndFramesAndScore) {
  searchFixture f({"sil", "x", "y"});
  f.halfTransitions();
  // 0 start, 1 end, 2 sil, 3 sil, 4 x, 5 y
  f.build({"!NULL", "!NULL", "sil", "sil", "x", "y"}, {{0, 2}, {2, 4}, {4, 5}, {5, 3}, {3, 1}});
  f.speak({{"sil", 0, 2},
           {"sil", 1, 1},
           {"sil", 2, 1},
           {"x", 0, 1},
           {"x", 1, 2},
           {"x", 2, 1},
           {"y", 0, 1},
           {"y", 1, 1},
           {"y", 2, 3},
           {"sil", 0, 1},
           {"sil", 1, 1},
           {"sil", 2, 2}});
  int T = f.frames();
  ASSERT_EQ(T, 17);
  viterbiClass v(500);
  stateScorer vScorer(f.set, 3);
  int n = f.run(v, vScorer, 100, 1e6f);
  EXPECT_EQ(n, 100);
  const arenaCandidate& best = *v.m_order[0];
  EXPECT_EQ(f.sylPath(best), "sil-x-y-sil");
  EXPECT_EQ(history(best.sylNode, best.sylNum), (std::vector<int>{2, 4, 5, 3}));
  EXPECT_EQ(history(best.sylEndFrame, 4), (std::vector<int>{3, 7, 12, 16}));
  EXPECT_EQ(history(best.phoneEndFrame, best.phoneNum), (std::vector<int>{3, 7, 12, 16}));
  EXPECT_EQ(history(best.phonePos, 4), (std::vector<int>{0, 0, 0, 0}));
  float expected = (T - 1) * std::log(0.5f) + T * atMeanEmission(f.set);
  EXPECT_NEAR(best.score, expected, 1e-4 * std::fabs(expected));
  EXPECT_EQ(best.sylEndScore[3], best.score);
  EXPECT_EQ(best.stateIdx, 2);
  for (int i = 1; i < n; i++) EXPECT_GE(v.m_order[i - 1]->score, v.m_order[i]->score) << i;
}

TEST(ViterbiSearch, SyllableOfTwoModelsRecordsPhonePositions) {
  searchFixture f({"sil", "x", "y"});
  f.dict.m_pronDict.push_back({"xy", {f.set.findModelIndex("x"), f.set.findModelIndex("y")}});
  f.build({"!NULL", "!NULL", "sil", "xy@3"}, {{0, 2}, {2, 3}, {3, 1}});
  f.speak({{"sil", 0, 1},
           {"sil", 1, 1},
           {"sil", 2, 1},
           {"x", 0, 2},
           {"x", 1, 1},
           {"x", 2, 1},
           {"y", 0, 1},
           {"y", 1, 1},
           {"y", 2, 2}});
  viterbiClass v(200);
  stateScorer vScorer(f.set, 3);
  f.run(v, vScorer, 40, 1e6f);
  const arenaCandidate& best = *v.m_order[0];
  EXPECT_EQ(f.sylPath(best), "sil-xy");
  EXPECT_EQ(history(best.phonePos, best.phoneNum), (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(history(best.phoneEndFrame, 3), (std::vector<int>{2, 6, 10}));
  EXPECT_EQ(best.modelPos, 1);
}

TEST(ViterbiSearch, TreeNetPicksTheSpokenTextAndSwappedFeaturesSwapIt) {
  searchFixture f({"sil", "x", "y"});
  // 0 start, 1 end, 2 sil, 3 sil, 4 x-, 5 -y, 6 y-, 7 -x
  f.build({"!NULL", "!NULL", "sil", "sil", "x", "y", "y", "x"},
          {{0, 2}, {2, 4}, {2, 6}, {4, 5}, {6, 7}, {5, 3}, {7, 3}, {3, 1}});
  struct Case {
    const char* first;
    const char* second;
    std::vector<int> nodes;
  } cases[] = {{"x", "y", {2, 4, 5, 3}}, {"y", "x", {2, 6, 7, 3}}};
  for (const Case& c : cases) {
    f.speak({{"sil", 0, 1},
             {"sil", 1, 1},
             {"sil", 2, 1},
             {c.first, 0, 2},
             {c.first, 1, 2},
             {c.first, 2, 2},
             {c.second, 0, 1},
             {c.second, 1, 3},
             {c.second, 2, 1},
             {"sil", 0, 1},
             {"sil", 1, 1},
             {"sil", 2, 1}});
    viterbiClass v(500);
    stateScorer vScorer(f.set, 3);
    f.run(v, vScorer, 100, 300.0f);
    const arenaCandidate& best = *v.m_order[0];
    EXPECT_EQ(f.sylPath(best), std::string("sil-") + c.first + "-" + c.second + "-sil");
    EXPECT_EQ(history(best.sylNode, best.sylNum), c.nodes);
  }
}

TEST(ViterbiSearch, NarrowBeamFollowsTheGreedyChoiceAndWideBeamTheBetterPath) {
  searchFixture f({"x", "y", "z", "w"});
  // 0 start, 1 end, 2 x, 3 y, 4 z, 5 w: x-y against z-w
  f.build({"!NULL", "!NULL", "x", "y", "z", "w"}, {{0, 2}, {2, 3}, {3, 1}, {0, 4}, {4, 5}, {5, 1}});
  // Three frames a little off x (far off z), then three at w, far from y.
  f.features.clear();
  for (int t = 0; t < 6; t++) {
    std::vector<float> frame = fixtureFrame(t < 3 ? 0 : 3, t % 3);
    if (t < 3)
      for (float& value : frame) value += 8.0f;
    f.features.insert(f.features.end(), frame.begin(), frame.end());
  }
  struct Case {
    float beam;
    const char* path;
  } cases[] = {{0.0f, "x-y"}, {1e6f, "z-w"}};
  for (const Case& c : cases) {
    viterbiClass v(100);
    stateScorer vScorer(f.set, 4);
    f.run(v, vScorer, 20, c.beam);
    EXPECT_EQ(f.sylPath(*v.m_order[0]), c.path) << c.beam;
    if (c.beam == 0.0f) {
      for (int i = 1; i < 20; i++) EXPECT_EQ(v.m_order[i]->score, LZERO) << i;
    }
  }
}

TEST(ViterbiSearch, LeavesTheCandidatesOfTheStraightforwardSearch) {
  // Two-state-per-model sets would also do; a random set of 32 mixtures exercises the cut.
  macroClass set;
  test::randomModelSet(set, 8, 3);
  std::mt19937 gen(5);
  dictClass dict;
  for (int k = 0; k < 6; k++) {
    std::vector<int> models;
    for (int j = 0; j <= k % 3; j++) models.push_back(static_cast<int>(gen() % 8));
    dict.m_pronDict.push_back({"s" + std::to_string(k), models});
  }
  // A tree of texts of 2 to 4 syllables between a null start and a null end.
  strVec nodes{"!NULL", "!NULL"};
  std::vector<std::pair<int, int>> links;
  std::map<std::pair<int, int>, int> child;
  for (int text = 0; text < 5; text++) {
    int parent = 0, len = 2 + text % 3;
    for (int k = 0; k < len; k++) {
      int syl = static_cast<int>(gen() % 6);
      auto it = child.find({parent, syl});
      if (it == child.end()) {
        nodes.push_back("s" + std::to_string(syl) + "@" + std::to_string(syl));
        links.push_back({parent, static_cast<int>(nodes.size()) - 1});
        it = child.insert({{parent, syl}, static_cast<int>(nodes.size()) - 1}).first;
      }
      parent = it->second;
    }
    links.push_back({parent, 1});
  }
  // The same tree under a null start node and under a real one.
  netClass nets[2];
  nets[0].netVs2net(netLines(nodes, links), dict);
  nodes[0] = "s0@0";
  nets[1].netVs2net(netLines(nodes, links), dict);
  std::normal_distribution<float> normal(0.0f, 1.5f);
  std::vector<float> features(39 * 400);
  for (float& value : features) value = normal(gen);

  struct Case {
    int arenaLen, candidates, frames;
    float beam;
    int desc;
    int net;
  } cases[] = {{150, 30, 130, 1e6f, 0, 0}, {150, 30, 130, 40.0f, 1, 0}, {40, 8, 130, 15.0f, 1, 0},
               {300, 60, 90, 60.0f, 0, 0}, {300, 60, 90, 8.0f, 0, 0},   {25, 20, 50, 1e6f, 0, 0},
               {60, 12, 1, 1e6f, 0, 0},    {20, 20, 30, 0.0f, 0, 0},    {150, 30, 130, 1e6f, 0, 1},
               {40, 8, 130, 15.0f, 1, 1},  {60, 12, 1, 1e6f, 0, 1},
               // Long enough for the shared histories to be compacted several times.
               {500, 100, 400, 1e6f, 0, 0}, {500, 100, 400, 1e6f, 0, 1},
               // Counts above every state: the pass over the states, with and without a beam.
               {1500, 300, 130, 40.0f, 0, 0}, {1500, 300, 130, 8.0f, 0, 1}, {1500, 300, 400, 1e6f, 0, 1},
               {1500, 300, 1, 1e6f, 0, 0},    {2000, 400, 130, 40.0f, 1, 0}};
  // The candidates' pass must leave the reference's records position for position; the pass
  // over the states, taken where the count holds every state, the same live candidates (the
  // dead ones it leaves carry no history).
  for (const Case& c : cases)
    for (bool statePass : {false, true}) {
      netClass& net = nets[c.net];
      viterbiClass v(c.arenaLen);
      v.m_statePass = statePass;
      stateScorer vScorer(set, 8);
      testing::internal::CaptureStdout();
      int n = v.search(net.m_node, dict, features.data(), 39, c.frames, c.candidates, vScorer, c.beam, c.desc);
      refSearch ref(set, dict, net.m_node, c.arenaLen);
      int refN = ref.run(features.data(), c.frames, c.candidates, c.beam, c.desc);
      testing::internal::GetCapturedStdout();
      ASSERT_EQ(n, refN);
      // The search fills the first lists only; a later search leaves none of an earlier one's.
      auto restEmpty = [&] {
        for (int i = viterbiClass::FILLED_HISTORIES; i < n; i++)
          if (!v.m_order[i]->sylId.empty() || !v.m_order[i]->phoneEndScore.empty()) return false;
        return true;
      };
      ASSERT_TRUE(restEmpty());
      if (n > viterbiClass::FILLED_HISTORIES) {
        v.historiesFill(n);
        testing::internal::CaptureStdout();
        ASSERT_EQ(v.search(net.m_node, dict, features.data(), 39, c.frames, c.candidates, vScorer, c.beam, c.desc), n);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(restEmpty());
      }
      v.historiesFill(n);
      int live = 0;
      for (int i = 0; i < n; i++) {
        const arenaCandidate& a = *v.m_order[i];
        const arenaCandidate& b = *ref.order[static_cast<size_t>(i)];
        SCOPED_TRACE(testing::Message() << "net " << c.net << " arena " << c.arenaLen << " beam " << c.beam
                                        << " position " << i << " state pass " << statePass);
        live += a.score > -5e9;
        ASSERT_EQ(a.score, b.score);
        if (statePass && !(b.score > -5e9)) continue;
        ASSERT_EQ(a.node, b.node);
        ASSERT_EQ(a.modelPos, b.modelPos);
        ASSERT_EQ(a.stateIdx, b.stateIdx);
        ASSERT_EQ(history(a.sylId, a.sylNum), history(b.sylId, b.sylNum));
        ASSERT_EQ(history(a.sylNode, a.sylNum), history(b.sylNode, b.sylNum));
        ASSERT_EQ(history(a.sylEndFrame, a.sylNum), history(b.sylEndFrame, b.sylNum));
        ASSERT_EQ(history(a.sylEndScore, a.sylNum), history(b.sylEndScore, b.sylNum));
        ASSERT_EQ(history(a.phonePos, a.phoneNum), history(b.phonePos, b.phoneNum));
        ASSERT_EQ(history(a.phoneEndFrame, a.phoneNum), history(b.phoneEndFrame, b.phoneNum));
        ASSERT_EQ(history(a.phoneEndScore, a.phoneNum), history(b.phoneEndScore, b.phoneNum));
      }
      EXPECT_GT(live, 0);
    }
}

TEST(ViterbiSearch, OneFrameRunsNoExpansionAndClosesAtFrameZero) {
  searchFixture f({"sil", "x"});
  f.build({"!NULL", "!NULL", "sil", "x"}, {{0, 2}, {0, 3}, {2, 1}, {3, 1}});
  f.speak({{"x", 0, 1}});
  viterbiClass v(10);
  stateScorer vScorer(f.set, 2);
  EXPECT_EQ(f.run(v, vScorer, 4, 100.0f), 4);
  const arenaCandidate& best = *v.m_order[0];
  EXPECT_EQ(f.sylPath(best), "x");
  EXPECT_EQ(best.sylEndFrame[0], 0);
  EXPECT_EQ(best.phoneNum, 1);
  EXPECT_EQ(best.phoneEndFrame[0], 0);
  EXPECT_EQ(best.score, refState(f.features.data(), f.set, f.set.findModelIndex("x"), 0));
  // The other first-frame candidate is closed too; the two records that never held one are not.
  EXPECT_EQ(f.sylPath(*v.m_order[1]), "sil");
  EXPECT_EQ(v.m_order[2]->sylNum, 0);
  EXPECT_EQ(v.m_order[3]->sylNum, 0);
}

TEST(ViterbiSearch, RealEndNodeIsNeverEntered) {
  searchFixture f({"x", "y"});
  f.build({"!NULL", "x", "y"}, {{0, 1}, {1, 2}});
  f.speak({{"x", 0, 1}, {"x", 1, 1}, {"x", 2, 1}, {"y", 0, 1}, {"y", 1, 1}, {"y", 2, 1}});
  // The pass over the states has no record in y to show.
  viterbiClass v(50);
  v.m_statePass = false;
  stateScorer vScorer(f.set, 2);
  const int n = f.run(v, vScorer, 10, 1e6f);
  const arenaCandidate& best = *v.m_order[0];
  EXPECT_EQ(best.node, 1);
  EXPECT_EQ(f.sylPath(best), "x");
  EXPECT_EQ(best.sylEndFrame[0], 5);
  // Every record that ever moved into y, in or out of the final count, died there; those in
  // the count have their histories filled in.
  bool sawEnd = false;
  for (int i = 0; i < v.m_arenaLen; i++)
    if (v.m_order[i]->node == 2 && v.m_order[i]->sylNum > 0) {
      sawEnd = true;
      EXPECT_EQ(v.m_order[i]->score, LZERO);
      if (i < n) {
        EXPECT_EQ(f.sylPath(*v.m_order[i]), "x");  // closed on leaving x, not at the end
      }
    }
  EXPECT_TRUE(sawEnd);
}

TEST(ViterbiSearch, ArenaFullStillAdvancesEveryCandidateByEachFrame) {
  searchFixture f({"a", "b", "c"});
  f.build({"!NULL", "!NULL", "a", "b", "c"}, {{0, 2}, {0, 3}, {0, 4}, {2, 1}, {3, 1}, {4, 1}});
  f.speak({{"a", 0, 2}, {"b", 0, 2}, {"c", 0, 2}});
  viterbiClass v(3);
  stateScorer vScorer(f.set, 3);
  testing::internal::CaptureStdout();
  int n = f.run(v, vScorer, 3, 1e9f);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, HasSubstr("Warning: Arena is full! frameId=1, candidateId=0, lastPos (3) > m_arenaLen-1 (2)!\n"));
  ASSERT_EQ(n, 3);
  const float* x = f.features.data();
  for (int i = 0; i < n; i++) {
    const arenaCandidate& cand = *v.m_order[i];
    int model = f.set.findModelIndex(f.dict.m_pronDict[static_cast<size_t>(f.net.m_node[cand.node].dicIndex)].syl);
    float score = refState(x, f.set, model, 0);
    for (int t = 1; t < f.frames(); t++)
      score = score + (trans(f.set, model, 0, 0) + refState(x + 39 * t, f.set, model, 0));
    EXPECT_EQ(cand.score, score) << i;
    EXPECT_EQ(cand.stateIdx, 0);
    EXPECT_EQ(cand.sylEndFrame[0], f.frames() - 1);
  }
}

TEST(ViterbiSearch, ArenaFullWhileLeavingANodeNamesTheRefusedSuccessor) {
  searchFixture f({"sil", "a", "b", "c"});
  // 0 start, 1 end, 2 sil fanning out to 3 a, 4 b and 5 c.
  f.build({"!NULL", "!NULL", "sil", "a", "b", "c"}, {{0, 2}, {2, 3}, {2, 4}, {2, 5}, {3, 1}, {4, 1}, {5, 1}});
  f.speak({{"sil", 0, 1}, {"sil", 1, 1}, {"sil", 2, 1}, {"a", 0, 2}});
  // At frame 3 the best candidate is sil's last state; two records are left for its three
  // successors.
  viterbiClass v(5);
  stateScorer vScorer(f.set, 4);
  testing::internal::CaptureStdout();
  f.run(v, vScorer, 3, 1e9f);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, HasSubstr("Warning: Arena is full! frameId=3/5, candidateId=0/3, branchId=2/3, lastPos (5) > "
                             "m_arenaLen-1 (4)!\n"));
}

TEST(ViterbiSearch, DescendingCountShrinksTheResult) {
  searchFixture f({"sil", "x"});
  f.build({"!NULL", "!NULL", "sil", "x"}, {{0, 2}, {2, 3}, {3, 2}, {3, 1}});
  f.features.clear();
  for (int t = 0; t < 130; t++) {
    std::vector<float> frame = fixtureFrame(t / 3 % 2, t % 3);
    f.features.insert(f.features.end(), frame.begin(), frame.end());
  }
  viterbiClass v(600);
  stateScorer vScorer(f.set, 2);
  EXPECT_EQ(f.run(v, vScorer, 100, 1e6f, 1), 26);
  EXPECT_EQ(f.run(v, vScorer, 100, 1e6f, 0), 100);
}

TEST(ViterbiSearch, RejectsBadSizesAndNetsBeforeTouchingTheArena) {
  searchFixture f({"sil", "x"});
  f.build({"!NULL", "!NULL", "sil", "x"}, {{0, 2}, {0, 3}, {2, 1}, {3, 1}});
  f.speak({{"x", 0, 3}});
  struct Case {
    int arenaLen, modelNum, candidates, dim, frames;
    const char* pattern;
  } cases[] = {
      {0, 2, 2, 39, 3, "Error: m_arenaLen=0, candidateNum=2 \\(line [0-9]+ of file viterbi\\)"},
      {5, 2, 6, 39, 3, "Error: m_arenaLen=5, candidateNum=6 \\(line [0-9]+ of file viterbi\\)"},
      {5, 2, 1, 39, 3, "Error: nodeNumForFirstFrame=2, candidateNum=1 \\(line [0-9]+ of file viterbi\\)"},
      {5, 2, 2, 38, 3, "Error: feature dimension 38 differs from the sum 39 of the stream widths .*"},
      {5, 2, 2, 39, 0, "Error: frameNum=0 < 1 \\(line [0-9]+ of file viterbi\\)"},
      {5, 1, 2, 39, 3, "Error: model index 1 of node 3 out of \\[0, 1\\) \\(line [0-9]+ of file viterbi\\)"},
  };
  for (const Case& c : cases) {
    viterbiClass v(c.arenaLen);
    stateScorer vScorer(f.set, c.modelNum);
    EXPECT_THAT(fatalMessage([&] {
                  v.search(f.net.m_node, f.dict, f.features.data(), c.dim, c.frames, c.candidates, vScorer, 10.0f, 0);
                }),
                MatchesRegex(c.pattern));
  }
  dictClass noModel = f.dict;
  noModel.m_pronDict[1].modelIndex.clear();
  viterbiClass w(5);
  stateScorer wScorer(f.set, 2);
  EXPECT_THAT(fatalMessage([&] { w.search(f.net.m_node, noModel, f.features.data(), 39, 3, 2, wScorer, 10.0f, 0); }),
              MatchesRegex("Error: syllable \"x\" of node 3 has no model \\(line [0-9]+ of file viterbi\\)"));
  // Hand-made successor lists: a null node has no model to enter, except the end node,
  // which a candidate enters dead, and which cannot take the first frame.
  struct NullCase {
    int node, successor;
    const char* pattern;
  } nullCases[] = {
      {0, 1, "Error: node 0 lists the null node 1 among its indirect successors \\(line [0-9]+ of file viterbi\\)"},
      {2, 0, "Error: node 2 lists the null node 0 among its indirect successors \\(line [0-9]+ of file viterbi\\)"},
      {2, 1, ""},
  };
  for (const NullCase& c : nullCases) {
    std::vector<netNode> nodes = f.net.m_node;
    nodes[static_cast<size_t>(c.node)].fanOutIndirect.push_back(c.successor);
    viterbiClass u(10);
    stateScorer uScorer(f.set, 2);
    EXPECT_THAT(fatalMessage([&] { u.search(nodes, f.dict, f.features.data(), 39, 3, 4, uScorer, 10.0f, 0); }),
                MatchesRegex(c.pattern));
  }
  viterbiClass v(10);
  std::vector<netNode> twoStarts = f.net.m_node;
  twoStarts[2].fanOutDirect.clear();
  twoStarts[2].fanOutDirect.push_back(3);
  twoStarts[0].fanOutDirect = {3};
  EXPECT_THAT(fatalMessage([&] { v.startNodeFind(twoStarts); }),
              MatchesRegex("Error: more than one starting nodes! \\(line [0-9]+ of file viterbi\\)"));
  std::vector<netNode> twoEnds = f.net.m_node;
  twoEnds[3].fanOutDirect.clear();
  EXPECT_THAT(fatalMessage([&] { v.endNodeFind(twoEnds); }),
              MatchesRegex("Error: more than one ending nodes! \\(line [0-9]+ of file viterbi\\)"));
  EXPECT_EQ(v.startNodeFind(f.net.m_node), 0);
  EXPECT_EQ(v.endNodeFind(f.net.m_node), 1);
}

// ---- Steps on hand-made arenas ---------------------------------------------------------------

TEST(ViterbiSteps, PruneLowersTheCountAtItsFramesAndCutsBelowTheBeam) {
  struct Case {
    int t, n, desc, expected;
  } cases[] = {{60, 100, 1, 80},  {75, 80, 1, 64}, {100, 64, 1, 44}, {120, 44, 1, 26}, {61, 80, 1, 80},
               {60, 100, 0, 100}, {120, 1, 1, 1},  {75, 2, 1, 1},    {60, 0, 1, 0},    {100, 90, 1, 63},
               {100, 170, 1, 119}};
  viterbiClass v(170);
  for (int i = 0; i < 170; i++) v.m_order[i]->score = 0.0f;
  for (const Case& c : cases) EXPECT_EQ(v.prune(c.t, c.n, 1.0f, c.desc), c.expected) << c.t << " " << c.n;

  struct BeamCase {
    float beam;
    std::vector<float> kept;
  } beams[] = {{0.0f, {-1, -1, LZERO, LZERO, LZERO}}, {2.0f, {-1, -1, -2, -3, LZERO}}, {1e6f, {-1, -1, -2, -3, -9}}};
  for (const BeamCase& c : beams) {
    viterbiClass w(6);
    float scores[] = {-1, -1, -2, -3, -9, -20};
    for (int i = 0; i < 6; i++) w.m_order[i]->score = scores[i];
    EXPECT_EQ(w.prune(5, 5, c.beam, 0), 5);
    for (int i = 0; i < 5; i++) EXPECT_EQ(w.m_order[i]->score, c.kept[static_cast<size_t>(i)]) << c.beam << " " << i;
    EXPECT_EQ(w.m_order[5]->score, -20.0f);
  }
}

TEST(ViterbiSteps, RecombinationKeepsTheBetterAndOnTiesTheEarlierPosition) {
  std::vector<netNode> nodes(3);
  viterbiClass v(8);
  struct Rec {
    int node, modelPos, stateIdx;
    float score, after;
  } recs[] = {
      {1, 0, 0, -5.0f, LZERO},                           // beaten by position 1
      {1, 0, 0, -3.0f, -3.0f}, {1, 0, 1, -4.0f, -4.0f},  // another state
      {2, 0, 0, -7.0f, -7.0f},                           // another node
      {2, 0, 0, -7.0f, LZERO},                           // tie: the later dies
      {1, 1, 0, -1.0f, -1.0f},                           // another model position
      {1, 0, 0, LZERO, LZERO}, {2, 1, 2, -2.0f, -2.0f},
  };
  for (int i = 0; i < 8; i++) {
    v.m_order[i]->node = recs[i].node;
    v.m_order[i]->modelPos = recs[i].modelPos;
    v.m_order[i]->stateIdx = recs[i].stateIdx;
    v.m_order[i]->score = recs[i].score;
  }
  for (int round = 0; round < 2; round++) {  // stale slots of a former frame must not count
    v.recombine(nodes, 8);
    for (int i = 0; i < 8; i++) EXPECT_EQ(v.m_order[i]->score, recs[i].after) << round << " " << i;
  }
  v.m_order[0]->modelPos = 50;
  EXPECT_THAT(fatalMessage([&] { v.recombine(nodes, 1); }),
              MatchesRegex("MAX_STATE_NUM_IN_SYL exceeded: index=150, MAX_STATE_NUM_IN_SYL=150 \\(line [0-9]+ of "
                           "file viterbi\\)"));
}

TEST(ViterbiSteps, SortIsByScoreWithTiesInPositionOrder) {
  viterbiClass v(7);
  float scores[] = {-3, LZERO, -1, -3, -1, LZERO, -2};
  for (int i = 0; i < 7; i++) {
    v.m_order[i]->score = scores[i];
    v.m_order[i]->node = i;
  }
  v.sortCandidates(6);
  std::vector<int> order;
  for (int i = 0; i < 7; i++) order.push_back(v.m_order[i]->node);
  EXPECT_EQ(order, (std::vector<int>{2, 4, 0, 3, 1, 5, 6}));
}

TEST(ViterbiSteps, LargeSortsGiveTheStableOrderByScore) {
  // Counts on both sides of where the search changes its way of sorting, with ties, the two
  // zeros, dead candidates and scores of every magnitude and sign.
  std::mt19937 gen(11);
  for (int n : {5, 127, 128, 129, 1000, 3000}) {
    viterbiClass v(n);
    std::vector<float> scores(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) {
      const unsigned kind = gen() % 8;
      float score = kind == 0   ? LZERO
                    : kind == 1 ? static_cast<float>(static_cast<int>(gen() % 5) - 2)
                    : kind == 2 ? (gen() % 2 ? 0.0f : -0.0f)
                    : kind == 3 ? std::ldexp(static_cast<float>(gen() % 1000) - 500.0f, static_cast<int>(gen() % 60) - 30)
                                : -static_cast<float>(gen() % 100000) / 7.0f;
      scores[static_cast<size_t>(i)] = score;
      v.m_order[i]->score = score;
      v.m_order[i]->node = i;
    }
    std::vector<int> expected(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) expected[static_cast<size_t>(i)] = i;
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
      const float x = scores[static_cast<size_t>(a)], y = scores[static_cast<size_t>(b)];
      const bool liveA = x > LZERO, liveB = y > LZERO;
      return liveA && (!liveB || x > y);
    });
    v.sortCandidates(n);
    std::vector<int> order;
    for (int i = 0; i < n; i++) order.push_back(v.m_order[i]->node);
    EXPECT_EQ(order, expected) << n;
  }
}

TEST(ViterbiSteps, HistoryLimitsAreFatal) {
  viterbiClass v(1);
  arenaCandidate& cand = *v.m_order[0];
  cand.sylNum = 0;
  cand.phoneNum = 0;
  cand.score = -4.0f;
  // The last entries a history can take are kept, in order; one more is fatal.
  for (int k = 0; k < MAX_SYL_NUM; k++) v.sylAdd(cand, k == MAX_SYL_NUM - 1 ? 7 : 1, 3, 9);
  for (int k = 0; k < MAX_PHONE_NUM; k++) v.phoneAdd(cand, k == MAX_PHONE_NUM - 1 ? 2 : 0, 9);
  v.historiesFill(1);
  EXPECT_EQ(cand.sylId.size(), static_cast<size_t>(MAX_SYL_NUM));
  EXPECT_EQ(cand.sylId[MAX_SYL_NUM - 2], 1);
  EXPECT_EQ(cand.sylId[MAX_SYL_NUM - 1], 7);
  EXPECT_EQ(cand.sylEndScore[MAX_SYL_NUM - 1], -4.0f);
  EXPECT_EQ(cand.phonePos[MAX_PHONE_NUM - 1], 2);
  EXPECT_THAT(fatalMessage([&] { v.sylAdd(cand, 7, 3, 9); }),
              MatchesRegex("MAX_SYL_NUM exceeded! \\(line [0-9]+ of file viterbi\\)"));
  EXPECT_THAT(fatalMessage([&] { v.phoneAdd(cand, 2, 9); }),
              MatchesRegex("MAX_PHONE_NUM \\(3000\\) exceeded! \\(line [0-9]+ of file viterbi\\)"));
}
