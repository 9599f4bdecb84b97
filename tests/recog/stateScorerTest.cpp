#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "exactSearch.h"
#include "fatalCatch.h"
#include "macroClass.h"
#include "modelSetFixture.h"
#include "stateScorer.h"
#include "threadCount.h"
#include "workerPool.h"

using namespace tulim;
using ::testing::HasSubstr;

namespace {

std::vector<float> randomFrames(int frameNum, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<float> normal(0.0f, 1.5f);
  std::vector<float> x(static_cast<size_t>(test::FIXTURE_VECTOR_SIZE) * static_cast<size_t>(frameNum));
  for (float& value : x) value = normal(gen);
  return x;
}

}  // namespace

// The kernel in the widest vectors the processor has must give the plain kernel's numbers.
TEST(StateScorer, PlainAndFastestKernelsGiveTheSameScores) {
  macroClass set;
  test::randomModelSet(set, 6, 23);
  const int frameNum = 40;
  const std::vector<float> x = randomFrames(frameNum, 29);
  stateScorer plain(set, 6, stateScorer::PLAIN_KERNEL), fastest(set, 6);
  plain.streamsCheck(test::FIXTURE_VECTOR_SIZE);
  fastest.streamsCheck(test::FIXTURE_VECTOR_SIZE);
  for (int t = 0; t < frameNum; t++)
    for (int model = 0; model < 6; model++)
      for (int state = 0; state < MAX_STATE_NUM; state++) {
        const float* frame = x.data() + static_cast<size_t>(t) * test::FIXTURE_VECTOR_SIZE;
        const float a = plain.stateProb(frame, model, state, t), b = fastest.stateProb(frame, model, state, t);
        ASSERT_EQ(a, b) << t << " " << model << " " << state;
        ASSERT_TRUE(std::isfinite(a));
      }
  for (int model = 0; model < 6; model++)
    EXPECT_EQ(plain.modelProb(x.data(), test::FIXTURE_VECTOR_SIZE, 3, 30, model),
              fastest.modelProb(x.data(), test::FIXTURE_VECTOR_SIZE, 3, 30, model))
        << model;
}

// Every mixture count, so that each row layout of the widest kernels (one to four rows, paired
// or alone) is scored, on frames near and far from the means, so that the sums spread from
// ties to far beyond the cut-off: the plain kernel's numbers every time.
TEST(StateScorer, FastestKernelGivesThePlainNumbersForEveryMixtureCount) {
  macroClass set;
  test::randomModelSet(set, 11, 41);
  hmmSet& models = set.MMFEdit();
  int count = 1;
  for (hmmModel& model : models.model)
    for (int q = 0; q < model.stateNum - 2; q++)
      for (int s = 0; s < models.streamNum; s++) {
        model.state[q].stream[s].mixtureNum = count;
        count = count % MAX_MIXTURE_NUM + 1;
      }
  set.layoutPrepare();
  std::mt19937 gen(47);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::uniform_real_distribution<float> scale(0.01f, 30.0f);
  const int frameNum = 60;
  std::vector<float> x(static_cast<size_t>(test::FIXTURE_VECTOR_SIZE) * frameNum);
  for (int t = 0; t < frameNum; t++) {
    const float s = scale(gen);
    for (int k = 0; k < test::FIXTURE_VECTOR_SIZE; k++) x[static_cast<size_t>(t * test::FIXTURE_VECTOR_SIZE + k)] = s * normal(gen);
  }
  stateScorer plain(set, 11, stateScorer::PLAIN_KERNEL), fastest(set, 11);
  plain.streamsCheck(test::FIXTURE_VECTOR_SIZE);
  fastest.streamsCheck(test::FIXTURE_VECTOR_SIZE);
  for (int t = 0; t < frameNum; t++)
    for (int model = 0; model < 11; model++)
      for (int state = 0; state < MAX_STATE_NUM; state++) {
        const float* frame = x.data() + static_cast<size_t>(t) * test::FIXTURE_VECTOR_SIZE;
        ASSERT_EQ(plain.stateProb(frame, model, state, t), fastest.stateProb(frame, model, state, t))
            << t << " " << model << " " << state;
      }
}

// A state asked for again on the same frame comes from the cache; cacheClear forgets it.
TEST(StateScorer, CacheKeepsTheLastFrameOfEachStateUntilCleared) {
  macroClass set;
  test::randomModelSet(set, 2, 31);
  const std::vector<float> x = randomFrames(2, 37);
  stateScorer scorer(set, 2);
  scorer.streamsCheck(test::FIXTURE_VECTOR_SIZE);
  const float first = scorer.stateProb(x.data(), 1, 2, 0);
  EXPECT_EQ(scorer.m_stateProbCache[1].frameId[2], 0);
  EXPECT_EQ(scorer.m_stateProbCache[1].logProb[2], first);
  // Another frame under the same frame index: the cache answers.
  EXPECT_EQ(scorer.stateProb(x.data() + test::FIXTURE_VECTOR_SIZE, 1, 2, 0), first);
  scorer.cacheClear();
  EXPECT_EQ(scorer.m_stateProbCache[1].frameId[2], -1);
  EXPECT_NE(scorer.stateProb(x.data() + test::FIXTURE_VECTOR_SIZE, 1, 2, 0), first);
}

// A set changed after it was laid out is refused, by a scorer made before the change and by one
// made after it, until it is laid out again: it is never scored with the layout of its old
// numbers.
TEST(StateScorer, RefusesASetChangedAfterItWasLaidOut) {
  const int dim = test::FIXTURE_VECTOR_SIZE;
  macroClass set;
  test::randomModelSet(set, 2, 41);
  const std::vector<float> x = randomFrames(4, 43);
  stateScorer before(set, 2);
  const float old = before.modelProb(x.data(), dim, 0, 3, 1);

  // Every mean of one state's first stream moves: its score must move with them.
  for (hmmMixture* mix = &set.MMFEdit().model[1].state[0].stream[0].mixture[0], *end = mix + 32; mix < end; ++mix)
    for (float& mean : mix->mean) mean += 2.0f;
  const char* const scorerTook = "changed after this scorer took its scoring layout";
  EXPECT_THAT(test::expectFatal([&] { before.modelProb(x.data(), dim, 0, 3, 1); }), HasSubstr(scorerTook));
  std::vector<float> out;
  EXPECT_THAT(test::expectFatal([&] { before.modelProbs(x.data(), dim, {{0, 3, 1}}, out); }), HasSubstr(scorerTook));
  // streamsCheck opens every search.
  EXPECT_THAT(test::expectFatal([&] { before.streamsCheck(dim); }), HasSubstr(scorerTook));
  EXPECT_THAT(test::expectFatal([&] { stateScorer after(set, 2); }),
              HasSubstr("changed after it was laid out for scoring"));

  set.layoutPrepare();
  stateScorer again(set, 2);
  EXPECT_NE(again.modelProb(x.data(), dim, 0, 3, 1), old);
  again.cacheClear();
  again.streamsCheck(dim);
  for (int t = 0; t < 4; t++) {
    const float* frame = x.data() + static_cast<size_t>(t) * dim;
    EXPECT_EQ(again.stateProb(frame, 1, 0, t), test::plainStateScore(frame, set, 1, 0)) << t;
  }

  // Another set put in its place is a change too, however alike its history.
  macroClass other;
  test::randomModelSet(other, 2, 47);
  set = other;
  EXPECT_THAT(test::expectFatal([&] { again.modelProb(x.data(), dim, 0, 3, 1); }), HasSubstr(scorerTook));
}

// The threads a caller starts ahead of a search are those that the search starts for the
// ranking after it, no more: none for a set not laid out or too little work. Each count is
// read in a child process of its own, whose pool starts empty.
TEST(StateScorer, ThreadsStartedAheadOfASearchAreThoseItStarts) {
  macroClass set;
  test::randomModelSet(set, 6, 29);
  const std::vector<float> x = randomFrames(2000, 31);
  const auto preparedIn = test::poolThreadsPreparedBy;
  int most = 0;
  for (int frames : {1, 40, 400, 2000}) {
    SCOPED_TRACE(frames);
    const int ahead = preparedIn([&] { stateScorer::threadsPrepare(set, 6, frames); });
    const int searched = preparedIn([&] {
      stateScorer scorer(set, 6);
      scorer.searchRun(x.data(), test::FIXTURE_VECTOR_SIZE, frames, [] {}, [] {});
    });
    EXPECT_EQ(ahead, searched);
    most = std::max(most, ahead);
  }
  if (workerPool::shared().threadNum() > 1) {
    EXPECT_GT(most, 0);
  }
  EXPECT_EQ(preparedIn([&] { stateScorer::threadsPrepare(set, 6, 1); }), 0);
  set.MMFEdit();
  EXPECT_EQ(preparedIn([&] { stateScorer::threadsPrepare(set, 6, 2000); }), 0);
}

// Scorers made on several threads at once over one laid-out set, which nobody changes, share
// its layout without a lock and give the numbers of a scorer alone.
TEST(StateScorer, ScorersOnSeveralThreadsShareOneLaidOutSet) {
  const int dim = test::FIXTURE_VECTOR_SIZE;
  macroClass models;
  test::randomModelSet(models, 4, 53);
  const macroClass& set = models;
  const int frameNum = 30;
  const std::vector<float> x = randomFrames(frameNum, 59);
  const std::vector<stateScorer::modelSpan> spans = {{0, 29, 0}, {2, 20, 1}, {5, 29, 2}, {0, 9, 3}, {10, 29, 0}};
  std::vector<float> alone;
  {
    stateScorer scorer(set, 4);
    scorer.modelProbs(x.data(), dim, spans, alone);
  }
  constexpr int THREADS = 4;
  std::vector<std::vector<float>> got(THREADS);
  std::vector<std::thread> threads;
  for (int k = 0; k < THREADS; k++)
    threads.emplace_back([&, k] {
      for (int round = 0; round < 5; round++) {
        stateScorer scorer(set, 4);
        scorer.modelProbs(x.data(), dim, spans, got[static_cast<size_t>(k)]);
      }
    });
  for (std::thread& thread : threads) thread.join();
  for (int k = 0; k < THREADS; k++) EXPECT_EQ(got[static_cast<size_t>(k)], alone) << k;
}

// The scores computed beside the caller's steps are stateProb's, and each row is whole by the
// time its wait returns, whether the pool's threads share the work or the caller scores alone,
// over spans long and short (their chunks are shorter), however fast the caller steps, and when
// the caller scores again at once every task a thread holds (so that the two race to write it).
TEST(StateScorer, ScoresBesideTheCallerAreWholeWhenTheirRowIsWaitedFor) {
  const int dim = test::FIXTURE_VECTOR_SIZE, modelNum = 6, frameNum = 70, t0 = 5;
  macroClass set;
  test::randomModelSet(set, modelNum, 61);
  const std::vector<float> x = randomFrames(frameNum, 67);
  std::vector<int> keys;
  for (int model = modelNum; model-- > 0;)
    for (int state = 0; state < set.MMF().model[static_cast<size_t>(model)].stateNum - 2; state++)
      keys.push_back(model * MAX_STATE_NUM + state);
  stateScorer alone(set, modelNum);
  alone.streamsCheck(dim);
  for (const double takeOver : {stateScorer::TAKE_OVER_SECONDS, 0.0})
    for (const double minWork : {0.0, workerPool::MIN_SHARED_WORK})
      for (const int t1 : {frameNum - 1, t0 + 15, t0 + 2, t0})
        for (const double leadWork : {0.0, 1.0, 1e9}) {
          SCOPED_TRACE(testing::Message() << takeOver << " " << minWork << " " << t1 << " " << leadWork);
          stateScorer::takeOverAfterSet(takeOver);
          workerPool::minSharedWorkSet(minWork);
          stateScorer scorer(set, modelNum);
          scorer.streamsCheck(dim);
          std::vector<float> out(keys.size() * static_cast<size_t>(t1 - t0 + 1), NAN);
          int rows = 0;
          scorer.statesScoreBeside(
              x.data(), dim, t0, t1, keys.data(), keys.size(), out.data(), leadWork,
              [&](const std::function<void(int)>& rowWait) {
                for (int t = t0; t <= t1; t++, rows++) {
                  rowWait(t);
                  const float* frame = x.data() + static_cast<size_t>(t) * static_cast<size_t>(dim);
                  for (size_t i = 0; i < keys.size(); i++)
                    ASSERT_EQ(out[static_cast<size_t>(t - t0) * keys.size() + i],
                              alone.stateProb(frame, keys[i] / MAX_STATE_NUM, keys[i] % MAX_STATE_NUM, t))
                        << t << " " << i;
                }
              });
          EXPECT_EQ(rows, t1 - t0 + 1);
          // What the caller's steps throw comes out, and the threads stop.
          EXPECT_THROW(scorer.statesScoreBeside(x.data(), dim, t0, t1, keys.data(), keys.size(), out.data(), leadWork,
                                                [&](const std::function<void(int)>& rowWait) {
                                                  rowWait(t0);
                                                  throw 7;
                                                }),
                       int);
        }
  stateScorer::takeOverAfterSet(stateScorer::TAKE_OVER_SECONDS);
  // Scores for the kept rows alone are refused where no search keeps them.
  stateScorer outside(set, modelNum);
  outside.streamsCheck(dim);
  EXPECT_THAT(test::fatalMessage([&] {
                outside.statesScoreBeside(x.data(), dim, t0, frameNum - 1, keys.data(), keys.size(), nullptr, 0.0,
                                          [](const std::function<void(int)>&) {});
              }),
              ::testing::MatchesRegex("Error: scores of frames 5\\.\\.69 asked for where the running search keeps none "
                                      "\\(line [0-9]+ of file viterbi\\)"));
  workerPool::minSharedWorkSet(workerPool::MIN_SHARED_WORK);
}
