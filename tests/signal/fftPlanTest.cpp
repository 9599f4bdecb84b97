#include "fftPlan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "fatalCatch.h"
#include "fft.h"

using namespace tulim;

namespace {

const double PI = 3.14159265358979323846;

// The straightforward transforms the plan must match bit for bit: bit reversal as it goes,
// twiddle factors by their recurrence inside the butterfly loop.
void plainFft(float* s, int n, bool invert) {
  int j = 1;
  for (int ii = 1; ii <= n / 2; ++ii) {
    const int i = 2 * ii - 1;
    if (j > i) {
      std::swap(s[j], s[i]);
      std::swap(s[j + 1], s[i + 1]);
    }
    int m = n / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }
  for (int limit = 2; limit < n;) {
    const int inc = 2 * limit;
    const double theta = (invert ? -2 * PI : 2 * PI) / limit;
    const double x = std::sin(theta / 2);
    const double wpr = -2 * x * x;
    const double wpi = std::sin(theta);
    double wr = 1;
    double wi = 0;
    for (int ii = 1; ii <= limit / 2; ++ii) {
      const int m = 2 * ii - 1;
      for (int jj = 0; jj <= (n - m) / inc; ++jj) {
        const int i = m + jj * inc;
        const int k = i + limit;
        const float xre = static_cast<float>(wr * s[k] - wi * s[k + 1]);
        const float xri = static_cast<float>(wr * s[k + 1] + wi * s[k]);
        s[k] = s[i] - xre;
        s[k + 1] = s[i + 1] - xri;
        s[i] += xre;
        s[i + 1] += xri;
      }
      const double wx = wr;
      wr = wr * wpr - wi * wpi + wr;
      wi = wi * wpr + wx * wpi + wi;
    }
    limit = inc;
  }
  if (invert) {
    const float half = static_cast<float>(n / 2);
    for (int i = 1; i <= n; ++i) s[i] /= half;
  }
}

void plainRealFft(float* s, int n) {
  const int h = n / 2;
  const double theta = PI / h;
  plainFft(s, n, false);
  const double x = std::sin(theta / 2);
  const double yr2 = -2 * x * x;
  const double yi2 = std::sin(theta);
  double yr = 1 + yr2;
  double yi = yi2;
  for (int i = 2; i <= h / 2; ++i) {
    const int i1 = 2 * i - 1;
    const int i2 = i1 + 1;
    const int i3 = 2 * h + 3 - i2;
    const int i4 = i3 + 1;
    const float xr1 = (s[i1] + s[i3]) / 2;
    const float xi1 = (s[i2] - s[i4]) / 2;
    const float xr2 = (s[i2] + s[i4]) / 2;
    const float xi2 = (s[i3] - s[i1]) / 2;
    s[i1] = static_cast<float>(xr1 + yr * xr2 - yi * xi2);
    s[i2] = static_cast<float>(xi1 + yr * xi2 + yi * xr2);
    s[i3] = static_cast<float>(xr1 - yr * xr2 + yi * xi2);
    s[i4] = static_cast<float>(-xi1 + yr * xi2 + yi * xr2);
    const double yr0 = yr;
    yr = yr * yr2 - yi * yi2 + yr;
    yi = yi * yr2 + yr0 * yi2 + yi;
  }
  s[1] = s[1] + s[2];
  s[2] = 0;
}

uint32_t bitsOf(float v) {
  uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

void expectSameBits(const std::vector<float>& got, const std::vector<float>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 1; i < got.size(); ++i)
    ASSERT_EQ(bitsOf(got[i]), bitsOf(want[i])) << "s[" << i << "]: " << got[i] << " against " << want[i];
}

// Inputs of several kinds: windowed whole-number frames as the front end gives, uniform
// noise, values over many orders of magnitude with signed zeros and subnormals, and a constant.
std::vector<float> testInput(int n, int kind, unsigned seed) {
  std::vector<float> s(static_cast<size_t>(n) + 1, 0.0f);
  unsigned state = seed;
  auto next = [&state]() {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  for (int i = 1; i <= n; ++i) {
    switch (kind) {
      case 0:
        s[i] = static_cast<float>(static_cast<int>(next() % 65536) - 32768) *
               static_cast<float>(0.54 - 0.46 * std::cos(2 * PI * (i - 1) / n));
        break;
      case 1:
        s[i] = static_cast<float>(next() % 2000001) / 1e6f - 1.0f;
        break;
      case 2: {
        const unsigned r = next();
        if (r % 7 == 0)
          s[i] = (r & 8) ? -0.0f : 0.0f;
        else if (r % 7 == 1)
          s[i] = std::numeric_limits<float>::denorm_min() * static_cast<float>(r % 100);
        else
          s[i] = std::ldexp(static_cast<float>(r % 1000) - 500.0f, static_cast<int>(r % 60) - 30);
        break;
      }
      default:
        s[i] = 3.0f;
    }
  }
  return s;
}

TEST(FftPlan, MatchesStraightforwardTransformBitForBit) {
  for (int n = 2; n <= 8192; n *= 2) {
    const fftPlan forward(n, false), inverse(n, true);
    for (int kind = 0; kind < 4; ++kind) {
      SCOPED_TRACE("n = " + std::to_string(n) + ", input kind " + std::to_string(kind));
      const std::vector<float> in = testInput(n, kind, 977u * n + kind);
      for (const fftPlan* plan : {&forward, &inverse}) {
        std::vector<float> got = in, want = in;
        plan->transform(got.data());
        plainFft(want.data(), n, plan->inverse());
        expectSameBits(got, want);
        // The free function gives the same bits.
        std::vector<float> viaFunction = in;
        fftInPlace(viaFunction.data(), n, plan->inverse());
        expectSameBits(viaFunction, want);
      }
      std::vector<float> got = in, want = in, viaFunction = in;
      forward.realTransform(got.data());
      plainRealFft(want.data(), n);
      expectSameBits(got, want);
      realFft(viaFunction.data(), n);
      expectSameBits(viaFunction, want);
    }
  }
}

TEST(FftPlan, GivesTheSameBitsOnEveryUse) {
  const fftPlan plan(512, false);
  const std::vector<float> in = testInput(512, 0, 5u);
  std::vector<float> first = in;
  plan.realTransform(first.data());
  for (int round = 0; round < 3; ++round) {
    std::vector<float> again = in;
    plan.realTransform(again.data());
    expectSameBits(again, first);
  }
}

TEST(FftPlan, RefusesBadSizesAndMisuse) {
  for (int n : {0, 1, 6, -8}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    EXPECT_THAT(test::expectFatal([n] { fftPlan plan(n, false); }),
                testing::MatchesRegex("fftPlan: n = -?[0-9]+ is not a power of two of at least 2 .*"));
  }
  std::vector<float> s(9, 1.0f);
  EXPECT_THAT(test::expectFatal([&s] { fftPlan(8, true).realTransform(s.data()); }),
              testing::HasSubstr("a real transform needs a forward plan"));
  EXPECT_THAT(test::expectFatal([&s] { fftPlan().transform(s.data()); }), testing::HasSubstr("the plan is empty"));
}

}  // namespace
