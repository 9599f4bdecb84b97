#include "linearScaling.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <unistd.h>

#include "fatalCatch.h"
#include "numericUtil.h"

using namespace tulim;
using testing::Each;
using testing::ElementsAre;
using testing::MatchesRegex;
using tulim::test::expectFatal;

namespace {

// A smooth contour like a pitch track: a rise and a fall around 60 semitones.
std::vector<double> contour(int n) {
  std::vector<double> c(n);
  for (int i = 0; i < n; i++) c[i] = 60 + 4 * std::sin(3.0 * i / (n - 1)) + 0.5 * i / n;
  return c;
}

// The query stretched to len values, shifted by offset and followed by tail unrelated values:
// the target a matcher should find at the scale of length len.
std::vector<double> stretchedTarget(const std::vector<double>& query, int len, double offset, int tail) {
  std::vector<double> target(len);
  vecLinearScale(query.data(), static_cast<int>(query.size()), target.data(), len);
  for (double& v : target) v += offset;
  for (int i = 0; i < tail; i++) target.push_back(40 + 7 * (i % 3));
  return target;
}

// The outputs of one linear-scaling run, with arrays sized for S scales and targets of m.
struct scalingRun {
  explicit scalingRun(int S, int m) : distance(S, -1), offset(S, -1), scratch(m), diff(m) {}
  std::vector<double> distance, offset, scratch, diff;
  int best = -1;
  double result = 0;
};

scalingRun match(const std::vector<double>& q, const std::vector<double>& t, double rMin, double rMax, int S, int type,
                 double maxMeanDist = 1e9) {
  scalingRun run(S, static_cast<int>(t.size()));
  run.result = linScalingMatch(q.data(), static_cast<int>(q.size()), t.data(), static_cast<int>(t.size()), rMin, rMax,
                               S, type, run.distance.data(), run.offset.data(), run.scratch.data(), run.diff.data(),
                               &run.best, maxMeanDist);
  return run;
}

scalingRun plain(const std::vector<double>& q, const std::vector<double>& t, double rMin, double rMax, int S,
                 int type) {
  scalingRun run(S, static_cast<int>(t.size()));
  run.result = linScalingPlain(q.data(), static_cast<int>(q.size()), t.data(), static_cast<int>(t.size()), rMin, rMax,
                               S, type, run.distance.data(), run.scratch.data(), &run.best);
  return run;
}

scalingRun matchPrepared(const linScalingPrepared& record, const std::vector<double>& t, int type,
                         double maxMeanDist = 1e9) {
  scalingRun run(record.S, static_cast<int>(t.size()));
  run.result = linScalingMatchPrepared(record, t.data(), static_cast<int>(t.size()), type, run.distance.data(),
                                       run.offset.data(), run.diff.data(), &run.best, maxMeanDist);
  return run;
}

const char* const unknownTypeMessage = "^Unknown distance type \\(line [0-9]+ of linearScaling\\)$";

}  // namespace

// ---- Distances and small vector routines -------------------------------------------------

TEST(LinearScaling, VecDistSumsAbsoluteOrSquaredDifferences) {
  const double a[] = {1, -2, 3.5};
  const double b[] = {4, 2, 3.5};
  EXPECT_DOUBLE_EQ(vecDist(a, b, 3, DIST_ABS), 7);
  EXPECT_DOUBLE_EQ(vecDist(a, b, 3, DIST_SQUARE), 25);
  EXPECT_DOUBLE_EQ(vecDist(a, b, 0, DIST_SQUARE), 0);
}

TEST(LinearScaling, VecDistBoundedGivesNoMatchOnceTheRunningSumExceedsTheBound) {
  const double a[] = {0, 3, 4, 0};
  const double b[] = {0, 0, 0, 1};
  struct Case {
    int type;
    double bound;
    double expected;
  };
  const Case cases[] = {
      {DIST_ABS, 8, 8},                // equal to the bound is not past it
      {DIST_ABS, 7.5, NO_MATCH_DIST},  // passed only by the last term
      {DIST_SQUARE, 26, 26},
      {DIST_SQUARE, 25.5, NO_MATCH_DIST},
      {DIST_SQUARE, 0, NO_MATCH_DIST},  // the first non-zero difference ends it
      {DIST_ABS, -1, NO_MATCH_DIST},    // a zero difference already exceeds a negative bound
  };
  for (const Case& c : cases)
    EXPECT_EQ(vecDistBounded(a, b, 4, c.type, c.bound), c.expected) << c.type << " " << c.bound;
  EXPECT_EQ(vecDistBounded(a, b, 1, DIST_ABS, 0), 0);
}

TEST(LinearScalingDeathTest, UnknownMethodInTheDistancesEndsTheProcess) {
  const double a[] = {1};
  // The message goes to standard output, sent to standard error here so the test sees it.
  EXPECT_EXIT(
      {
        dup2(2, 1);
        vecDist(a, a, 1, 3);
      },
      testing::ExitedWithCode(1), "^Unknown method!\n$");
  EXPECT_EXIT(
      {
        dup2(2, 1);
        vecDistBounded(a, a, 0, 0, 10);
      },
      testing::ExitedWithCode(1), "^Unknown method!\n$");
}

TEST(LinearScaling, MeanAndSubtraction) {
  const double a[] = {1, 2, 6};
  const double b[] = {0.5, 4, -1};
  EXPECT_DOUBLE_EQ(vecMean(a, 3), 3);
  EXPECT_EQ(vecMean(a, 0), 0);
  double out[3];
  vecSub(a, b, 3, out);
  EXPECT_THAT(out, ElementsAre(0.5, -2, 7));
  vecSubScalar(out, 0.5, 3, out);
  EXPECT_THAT(out, ElementsAre(0, -2.5, 6.5));
}

// ---- Linear scaling -----------------------------------------------------------------------

TEST(LinearScaling, MatchRemovesTheOffsetAndKeepsTheFirstOfEqualScales) {
  for (int type : {DIST_ABS, DIST_SQUARE}) {
    scalingRun run = match({1, 2, 3}, {11, 12, 13, 14}, 1.0, 1.0, 2, type);
    EXPECT_THAT(run.offset, ElementsAre(-10, -10)) << type;
    EXPECT_THAT(run.distance, ElementsAre(0, 0)) << type;
    EXPECT_EQ(run.best, 0);
    EXPECT_EQ(run.result, 0);
  }
}

TEST(LinearScaling, MatchFindsTheSpeedAndOffsetOfAStretchedContour) {
  const std::vector<double> query = contour(20);
  // Scales 0.5, 0.75, ..., 2.0 give lengths 10, 15, ..., 40; the target is the 30-value one.
  const std::vector<double> target = stretchedTarget(query, 30, -7.25, 15);
  for (int type : {DIST_ABS, DIST_SQUARE}) {
    scalingRun run = match(query, target, 0.5, 2.0, 7, type);
    EXPECT_EQ(run.best, 4) << type;
    EXPECT_NEAR(run.result, 0, 1e-12);
    EXPECT_NEAR(run.offset[4], 7.25, 1e-12);
    for (int i = 0; i < 7; i++) {
      if (i != 4) {
        EXPECT_GT(run.distance[i], 0.01) << type << " scale " << i;
      }
    }
  }
}

TEST(LinearScaling, ScalesLongerThanTheTargetKeepTheNoMatchDistance) {
  const std::vector<double> query = contour(10);
  const std::vector<double> target = stretchedTarget(query, 15, 0, 0);
  // Lengths 10, 15, 20: the last one is not tried, and its offset is left alone.
  scalingRun run = match(query, target, 1.0, 2.0, 3, DIST_ABS);
  EXPECT_EQ(run.best, 1);
  EXPECT_EQ(run.distance[2], NO_MATCH_DIST);
  EXPECT_EQ(run.offset[2], -1);

  // Already the shortest scale is too long: nothing is computed.
  run = match({1, 2, 3}, {1, 2}, 1.0, 2.0, 3, DIST_SQUARE);
  EXPECT_EQ(run.result, NO_MATCH_DIST);
  EXPECT_EQ(run.best, 0);
  EXPECT_THAT(run.distance, Each(NO_MATCH_DIST));
  EXPECT_THAT(run.offset, Each(-1.0));
}

TEST(LinearScaling, ScalesPastTheBoundAreNoMatch) {
  const std::vector<double> query = contour(10);
  const std::vector<double> target = stretchedTarget(query, 10, 3, 10);
  // Lengths 10 and 20: only the first fits within a mean distance of 0.01.
  scalingRun run = match(query, target, 1.0, 2.0, 2, DIST_ABS, 0.01);
  EXPECT_EQ(run.best, 0);
  EXPECT_NEAR(run.distance[0], 0, 1e-12);
  EXPECT_EQ(run.distance[1], NO_MATCH_DIST);

  // When every scale passes the bound the result is no match at the first scale, not the
  // longest scale's share of the no-match value.
  const std::vector<double> noise = {0, 9, 1, 8, 2, 7, 3, 6, 4, 5, 0, 9, 1, 8, 2, 7, 3, 6, 4, 5};
  run = match(query, noise, 1.0, 2.0, 2, DIST_SQUARE, 0.01);
  EXPECT_EQ(run.result, NO_MATCH_DIST);
  EXPECT_EQ(run.best, 0);
  EXPECT_THAT(run.distance, Each(NO_MATCH_DIST));
}

TEST(LinearScaling, MatchRoundsLengthsAndPlainTruncatesThem) {
  // 3 values at ratio 1.5 are 4.5: 5 values for the matcher, 4 for the plain variant.
  const std::vector<double> target = {1, 2, 3, 4};
  EXPECT_EQ(match({1, 2.5, 4}, target, 1.5, 1.5, 2, DIST_ABS).result, NO_MATCH_DIST);
  scalingRun run = plain({1, 2.5, 4}, target, 1.5, 1.5, 2, DIST_ABS);
  EXPECT_EQ(run.best, 0);
  EXPECT_NEAR(run.result, 0, 1e-12);
}

TEST(LinearScaling, PlainComparesWithoutOffsetOrBound) {
  struct Case {
    int type;
    double expected;  // mean distance of {1, 2, 3} to {11, 12, 13}
  };
  for (const Case& c : {Case{DIST_ABS, 10}, Case{DIST_SQUARE, 100}}) {
    scalingRun run = plain({1, 2, 3}, {11, 12, 13, 99}, 1.0, 1.5, 2, c.type);
    EXPECT_DOUBLE_EQ(run.distance[0], c.expected);
    EXPECT_EQ(run.best, 0);
    EXPECT_GT(run.distance[1], c.expected);
  }
}

TEST(LinearScaling, HugeOrNegativeRatiosStayDefined) {
  // A ratio whose length is beyond the int range saturates and is simply too long.
  EXPECT_EQ(match({1, 2, 3}, {1, 2, 3}, 1e300, 2e300, 2, DIST_ABS).result, NO_MATCH_DIST);
  EXPECT_EQ(plain({1, 2, 3}, {1, 2, 3}, 1e300, 2e300, 2, DIST_ABS).result, NO_MATCH_DIST);
  // Decreasing scales: the first is the longest, and too long ends the trial.
  EXPECT_EQ(match({1, 2, 3}, {1, 2, 3, 4}, 2.0, 1.0, 2, DIST_ABS).result, NO_MATCH_DIST);
  EXPECT_THAT(
      expectFatal([] {
        match({1, 2, 3}, {1, 2, 3, 4}, -1.0, 1.0, 2, DIST_ABS);
      }),
      MatchesRegex("^Scale 0 stretches the query to -3 values, fewer than 2 \\(line [0-9]+ of linearScaling\\)$"));
}

TEST(LinearScaling, MatchersRejectBadShapesAndTypes) {
  const std::vector<double> q = {1, 2, 3};
  const std::vector<double> t = {1, 2, 3, 4};
  const std::string shape =
      "^Linear scaling needs a query of at least 2 values and at least 2 scales \\(n = %d, S = %d\\) \\(line [0-9]+ of "
      "linearScaling\\)$";
  EXPECT_THAT(expectFatal([&] { match(q, t, 1.0, 1.0, 1, DIST_ABS); }), MatchesRegex(strFormat(shape.c_str(), 3, 1)));
  EXPECT_THAT(expectFatal([&] { plain({1}, t, 1.0, 2.0, 2, DIST_ABS); }),
              MatchesRegex(strFormat(shape.c_str(), 1, 2)));
  // An unknown type is refused even when no scale would have been tried.
  EXPECT_THAT(expectFatal([&] { match(q, {1}, 1.0, 1.0, 2, 0); }), MatchesRegex(unknownTypeMessage));
  EXPECT_THAT(expectFatal([&] { plain(q, t, 1.0, 1.0, 2, 3); }), MatchesRegex(unknownTypeMessage));
  // 3 values at ratio 0.5 round to 2 but truncate to 1.
  EXPECT_EQ(match(q, t, 0.5, 0.5, 2, DIST_ABS).best, 0);
  EXPECT_THAT(
      expectFatal([&] { plain(q, t, 0.5, 0.5, 2, DIST_ABS); }),
      MatchesRegex("^Scale 0 stretches the query to 1 values, fewer than 2 \\(line [0-9]+ of linearScaling\\)$"));
}

TEST(LinearScaling, PrepareStretchesEveryScaleToItsTruncatedLength) {
  const std::vector<double> query = {0, 10, 20, 30};
  linScalingPrepared record;
  linScalingPrepare(query.data(), 4, 1.0, 1.6, 3, record);
  EXPECT_EQ(record.rMin, 1.0);
  EXPECT_EQ(record.rMax, 1.6);
  EXPECT_EQ(record.S, 3);
  EXPECT_EQ(record.L, 6);                         // 6.4 truncated
  EXPECT_THAT(record.len, ElementsAre(4, 5, 6));  // 4, 5.2, 6.4 truncated
  ASSERT_EQ(record.copies.size(), 3u);
  for (const std::vector<double>& row : record.copies) EXPECT_EQ(row.size(), 6u);
  EXPECT_THAT(std::vector<double>(record.copies[1].begin(), record.copies[1].begin() + 5),
              ElementsAre(0, 7.5, 15, 22.5, 30));
  linScalingFree(record);
  EXPECT_TRUE(record.copies.empty());
  EXPECT_TRUE(record.len.empty());
}

TEST(LinearScaling, PrepareMakesRoomForTheLongestScaleWhenRatiosDecrease) {
  const std::vector<double> query = contour(10);
  linScalingPrepared record;
  linScalingPrepare(query.data(), 10, 2.0, 1.0, 3, record);
  EXPECT_THAT(record.len, ElementsAre(20, 15, 10));
  EXPECT_EQ(record.L, 20);
  for (const std::vector<double>& row : record.copies) EXPECT_EQ(row.size(), 20u);
  const std::vector<double> target = stretchedTarget(query, 20, 1.5, 0);
  scalingRun run = matchPrepared(record, target, DIST_SQUARE);
  EXPECT_EQ(run.best, 0);
  EXPECT_NEAR(run.offset[0], -1.5, 1e-12);
}

TEST(LinearScaling, PreparedMatchEqualsTheMatcherAndRepeats) {
  const std::vector<double> query = contour(16);
  // Ratios 0.75, 1.0, ..., 2.0: integral lengths 12, 16, ..., 32, the same rounded or truncated.
  const std::vector<double> target = stretchedTarget(query, 24, 2.5, 4);
  linScalingPrepared record;
  linScalingPrepare(query.data(), 16, 0.75, 2.0, 6, record);
  const linScalingPrepared before = record;
  for (int type : {DIST_ABS, DIST_SQUARE}) {
    const scalingRun fresh = match(query, target, 0.75, 2.0, 6, type, 0.5);
    ASSERT_EQ(fresh.best, 3);
    // A second call gives the same offsets, not ones relative to a copy moved by the first.
    for (int call = 0; call < 2; call++) {
      scalingRun run = matchPrepared(record, target, type, 0.5);
      EXPECT_EQ(run.distance, fresh.distance) << type << " call " << call;
      EXPECT_EQ(run.offset, fresh.offset) << type << " call " << call;
      EXPECT_EQ(run.best, fresh.best);
      EXPECT_EQ(run.result, fresh.result);
    }
  }
  EXPECT_EQ(record.copies, before.copies);
  linScalingFree(record);
}

TEST(LinearScaling, PrepareAndPreparedMatchRejectBadInput) {
  const double q[] = {1, 2, 3};
  const std::vector<double> t = {1, 2, 3};
  linScalingPrepared record;
  EXPECT_THAT(expectFatal([&] { linScalingPrepare(q, 3, 1.0, 2.0, 1, record); }),
              MatchesRegex("^Linear scaling needs .* \\(n = 3, S = 1\\) .*"));
  // A scale too short to stretch to is refused even when it ends the range.
  EXPECT_THAT(expectFatal([&] { linScalingPrepare(q, 3, 1.0, 0.3, 2, record); }),
              MatchesRegex("^Scale 1 stretches the query to 0 values, fewer than 2 .*"));
  EXPECT_TRUE(record.len.empty());
  const std::string notPrepared =
      "^Linear scaling record is not prepared \\(S = 0\\) \\(line [0-9]+ of linearScaling\\)$";
  EXPECT_THAT(expectFatal([&] { matchPrepared(record, t, DIST_ABS); }), MatchesRegex(notPrepared));

  linScalingPrepare(q, 3, 1.0, 1.0, 2, record);
  EXPECT_THAT(expectFatal([&] { matchPrepared(record, t, 7); }), MatchesRegex(unknownTypeMessage));
  EXPECT_EQ(matchPrepared(record, t, DIST_ABS).result, 0);
  linScalingFree(record);
  EXPECT_THAT(expectFatal([&] { matchPrepared(record, t, DIST_ABS); }),
              MatchesRegex("^Linear scaling record is not prepared \\(S = 2\\) .*"));
}

// ---- Shift-invariant slide ------------------------------------------------------------------

TEST(LinearScaling, SlideFindsThePositionAndOffsetOfTheShorterSequence) {
  struct Case {
    std::vector<double> a, b;
    int type;
    double distance, offset;
    int position;
  };
  const Case cases[] = {
      // Every position fits equally: the first wins.
      {{5, 6}, {0, 1, 2, 3}, DIST_SQUARE, 0, 5, 0},
      // The longer one first: the shorter slides all the same, its offset to the longer one.
      {{0, 1, 2, 3}, {5, 6}, DIST_SQUARE, 0, 5, 0},
      {{0, 5, 0}, {1, 1, 1, 3, 8, 3, 1}, DIST_ABS, 0, -3, 3},
      {{0, 5, 0}, {1, 1, 1, 3, 8, 3, 1}, DIST_SQUARE, 0, -3, 3},
      // The median ignores the one outlier that the mean spreads over all values.
      {{0, 0, 0, 9}, {2, 2, 2, 2, 2}, DIST_ABS, 9, -2, 0},
      {{0, 0, 0, 9}, {2, 2, 2, 2, 2}, DIST_SQUARE, 60.75, 0.25, 0},
      // Equal lengths: one position.
      {{1, 2}, {2, 4}, DIST_ABS, 1, -1.5, 0},
  };
  for (const Case& c : cases) {
    double offset = 0;
    int position = 0;
    const double d = shiftInvariantSlide(c.a.data(), static_cast<int>(c.a.size()), c.b.data(),
                                         static_cast<int>(c.b.size()), c.type, &offset, &position);
    EXPECT_DOUBLE_EQ(d, c.distance) << c.a.size() << " in " << c.b.size() << " type " << c.type;
    EXPECT_DOUBLE_EQ(offset, c.offset) << c.a.size() << " in " << c.b.size() << " type " << c.type;
    EXPECT_EQ(position, c.position) << c.a.size() << " in " << c.b.size() << " type " << c.type;
  }
}

TEST(LinearScaling, SlideReportsLargeDistancesWithTheirPosition) {
  // Every position is farther than the no-match value; the best one is still found.
  const std::vector<double> a = {0, 1e5, 0};
  const std::vector<double> b = {0, -1e5, 0, 0};
  double offset = 0;
  int position = -1;
  const double d = shiftInvariantSlide(a.data(), 3, b.data(), 4, DIST_SQUARE, &offset, &position);
  ASSERT_EQ(position, 1);
  EXPECT_GT(d, NO_MATCH_DIST);
  std::vector<double> shifted(3);
  vecSubScalar(a.data(), offset, 3, shifted.data());
  EXPECT_DOUBLE_EQ(d, vecDist(shifted.data(), b.data() + 1, 3, DIST_SQUARE));
}

TEST(LinearScaling, SlideOfAnEmptySequenceIsNoMatch) {
  const double a[] = {1, 2};
  for (int na : {0, -3}) {
    double offset = 0;
    int position = 0;
    EXPECT_EQ(shiftInvariantSlide(a, na, a, 2, DIST_ABS, &offset, &position), NO_MATCH_DIST);
    EXPECT_EQ(offset, NO_MATCH_DIST);
    EXPECT_EQ(position, -1);
    EXPECT_EQ(shiftInvariantSlide(a, 2, nullptr, na, DIST_ABS, &offset, &position), NO_MATCH_DIST);
    EXPECT_EQ(position, -1);
  }
  double offset = 0;
  int position = 0;
  EXPECT_THAT(expectFatal([&] { shiftInvariantSlide(a, 2, a, 2, 4, &offset, &position); }),
              MatchesRegex(unknownTypeMessage));
}
