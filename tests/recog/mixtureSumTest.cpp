#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "mixtureSum.h"

using namespace tulim;

TEST(LogAdd, FollowsItsCutOffAndDeadLimit) {
  struct Case {
    double a, b, expected;
  } cases[] = {
      {0.0, -30.0, 0.0},
      {-30.0, 0.0, 0.0},
      {-1e10, -50.0, -50.0},
      {0.0, 0.0, std::log(2.0)},
      {-6e9, -6e9 - 30.0, LZERO},
      {-1.0, -2.0, -1.0 + std::log(1.0 + std::exp(-1.0))},
      {-10.0, -10.0 - 23.0, -10.0 + std::log(1.0 + std::exp(-23.0))},
      {-10.0, -10.0 - 23.1, -10.0},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(logAdd(c.a, c.b), c.expected) << c.a << " " << c.b;
}

TEST(ExpKernel, StaysWithinItsErrorOverTheWholeRange) {
  double worst = 0.0;
  for (int i = 0; i <= 700000; i++) {
    for (double d : {-i / 1000.0, -i / 1000.0 - 0.0003141592653589793}) {
      if (d < -700.0) continue;
      double exact = std::exp(d);
      worst = std::max(worst, std::fabs(expKernel(d) - exact) / exact);
    }
  }
  EXPECT_LT(worst, EXP_KERNEL_ERROR);
  EXPECT_EQ(expKernel(0.0), 1.0);
}

TEST(ExpKernel, SinglePrecisionStaysWithinItsErrorOverTheWholeRange) {
  // Every 1009th float of [-87, 0] (all of them were checked once: the worst is 1.03e-7).
  const float first = -0.0f, last = -87.0f;
  uint32_t from, to;
  std::memcpy(&from, &first, sizeof from);
  std::memcpy(&to, &last, sizeof to);
  double worst = 0.0;
  for (uint32_t u = from; u <= to; u += 1009) {
    float d;
    std::memcpy(&d, &u, sizeof d);
    const double exact = std::exp(static_cast<double>(d));
    worst = std::max(worst, std::fabs(expKernelFloat(d) - exact) / exact);
  }
  EXPECT_LT(worst, EXPF_KERNEL_ERROR);
  EXPECT_EQ(expKernelFloat(0.0f), 1.0f);
}

// The fast mixture sum must give the float of the logAdd chain for every input: scores in
// every range, spreads around the cut-off, ties, dead and non-finite scores.
TEST(MixtureLogSum, GivesTheFloatOfTheLogAddChain) {
  auto chain = [](const std::vector<float>& v) {
    double sum = LZERO;
    for (float x : v) sum = logAdd(sum, x);
    return static_cast<float>(sum);
  };
  std::mt19937 gen(17);
  std::uniform_int_distribution<int> count(1, 32), kind(0, 7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  int trials = 0;
  for (int trial = 0; trial < 200000; trial++) {
    const int n = count(gen);
    const float centre = -std::pow(10.0f, 4.0f * unit(gen)) + 5.0f;
    const float spread = std::pow(10.0f, 3.0f * unit(gen) - 1.0f);
    std::vector<float> v(static_cast<size_t>(n));
    for (float& x : v) {
      switch (kind(gen)) {
        case 0:
          x = centre;  // ties
          break;
        case 1:
          x = centre - 23.0259f + (unit(gen) - 0.5f) * 8.0f;  // about the cut-off
          break;
        default:
          x = centre - spread * unit(gen);
      }
    }
    ASSERT_EQ(mixtureLogSum(v.data(), n), chain(v)) << trial;
    trials++;
  }
  struct Case {
    std::vector<float> scores;
  } cases[] = {{{}},
               {{-1e10f}},
               {{-6e9f, -6e9f}},
               {{-6e9f, -30.0f, -6e9f}},
               {{-2e9f, -2e9f + 1000.0f}},
               {{-30.0f, -HUGE_VALF, -31.0f}},
               {{-30.0f, std::nanf(""), -31.0f}},
               {{HUGE_VALF, -3.0f}},
               {{0.0f, 0.0f}},
               {{1e-39f, -1e-39f}},
               {{-0.6931472f, -0.6931472f}}};
  for (const Case& c : cases) {
    const float got = mixtureLogSum(c.scores.data(), static_cast<int>(c.scores.size()));
    const float expected = chain(c.scores);
    if (std::isnan(expected))
      EXPECT_TRUE(std::isnan(got));
    else
      EXPECT_EQ(got, expected) << c.scores.size();
  }
  EXPECT_EQ(trials, 200000);
}
