#include "fft.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace tulim;

namespace {

const double PI = 3.14159265358979323846;

struct dft {
  std::vector<double> re, im;
};

// The textbook DFT in double precision: X[k] = sum x[j] exp(sign * 2 pi i j k / n).
dft naiveDft(const std::vector<double>& re, const std::vector<double>& im, int sign) {
  const size_t n = re.size();
  dft out{std::vector<double>(n), std::vector<double>(n)};
  for (size_t k = 0; k < n; ++k) {
    for (size_t j = 0; j < n; ++j) {
      const double angle = sign * 2 * PI * static_cast<double>(j * k % n) / n;
      out.re[k] += re[j] * std::cos(angle) - im[j] * std::sin(angle);
      out.im[k] += re[j] * std::sin(angle) + im[j] * std::cos(angle);
    }
  }
  return out;
}

// A reproducible signal without symmetry, so a wrong sign or permutation shows.
std::vector<complex> testSignal(int n) {
  std::vector<complex> x(n);
  unsigned state = 12345;
  for (int i = 0; i < n; ++i) {
    state = state * 1103515245u + 12345u;
    const float a = static_cast<float>((state >> 8) % 2001) / 1000.0f - 1.0f;
    state = state * 1103515245u + 12345u;
    const float b = static_cast<float>((state >> 8) % 2001) / 1000.0f - 1.0f;
    x[i] = complex(a, b);
  }
  return x;
}

void expectMatchesDft(const std::vector<complex>& got, const std::vector<complex>& in, int sign,
                      double scale) {
  std::vector<double> re, im;
  for (const complex& c : in) {
    re.push_back(c.re);
    im.push_back(c.im);
  }
  const dft want = naiveDft(re, im, sign);
  const double tolerance = 1e-4 * in.size();
  for (size_t k = 0; k < in.size(); ++k) {
    EXPECT_NEAR(got[k].re, want.re[k] * scale, tolerance) << "bin " << k;
    EXPECT_NEAR(got[k].im, want.im[k] * scale, tolerance) << "bin " << k;
  }
}

}  // namespace

TEST(ComplexFft, MatchesNaiveDftWithNegativeSignForwardAndPositiveInverse) {
  for (int n : {1, 2, 4, 8, 64, 512}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    const std::vector<complex> x = testSignal(n);

    std::vector<complex> forward = x;
    ASSERT_TRUE(fftForward(forward.data(), n));
    expectMatchesDft(forward, x, -1, 1.0);

    std::vector<complex> inverse = x;
    ASSERT_TRUE(fftInverse(inverse.data(), n, false));
    expectMatchesDft(inverse, x, +1, 1.0);

    std::vector<complex> scaled = x;
    ASSERT_TRUE(fftInverse(scaled.data(), n, true));
    expectMatchesDft(scaled, x, +1, 1.0 / n);
  }
}

TEST(ComplexFft, CopyVariantsGiveTheInPlaceResultAndKeepTheInput) {
  const int n = 128;
  const std::vector<complex> x = testSignal(n);
  std::vector<complex> in = x, out(n), inPlace = x;

  ASSERT_TRUE(fftForwardCopy(in.data(), out.data(), n));
  ASSERT_TRUE(fftForward(inPlace.data(), n));
  for (int k = 0; k < n; ++k) {
    EXPECT_EQ(out[k].re, inPlace[k].re);
    EXPECT_EQ(out[k].im, inPlace[k].im);
    EXPECT_EQ(in[k].re, x[k].re);
    EXPECT_EQ(in[k].im, x[k].im);
  }

  ASSERT_TRUE(fftInverseCopy(in.data(), out.data(), n, true));
  inPlace = x;
  ASSERT_TRUE(fftInverse(inPlace.data(), n, true));
  for (int k = 0; k < n; ++k) {
    EXPECT_EQ(out[k].re, inPlace[k].re);
    EXPECT_EQ(out[k].im, inPlace[k].im);
  }
}

TEST(ComplexFft, ForwardThenInverseRestoresInputOrNTimesItWithoutScaling) {
  const int n = 256;
  const std::vector<complex> x = testSignal(n);
  std::vector<complex> scaled = x, unscaled = x;
  ASSERT_TRUE(fftForward(scaled.data(), n));
  ASSERT_TRUE(fftInverse(scaled.data(), n, true));
  ASSERT_TRUE(fftForward(unscaled.data(), n));
  ASSERT_TRUE(fftInverse(unscaled.data(), n, false));
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(scaled[i].re, x[i].re, 1e-5);
    EXPECT_NEAR(scaled[i].im, x[i].im, 1e-5);
    EXPECT_NEAR(unscaled[i].re, n * x[i].re, 1e-3);
    EXPECT_NEAR(unscaled[i].im, n * x[i].im, 1e-3);
  }
}

TEST(ComplexFft, UnitImpulseGivesOneInEveryBin) {
  std::vector<complex> x(16);
  x[0] = complex(1, 0);
  ASSERT_TRUE(fftForward(x.data(), 16));
  for (const complex& c : x) {
    EXPECT_FLOAT_EQ(c.re, 1.0f);
    EXPECT_FLOAT_EQ(c.im, 0.0f);
  }
}

TEST(ComplexFft, RefusesNullArraysAndLengthsThatAreNotPowersOfTwo) {
  const std::vector<complex> x = testSignal(8);
  for (int n : {0, 3, 6, 12, -4}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    std::vector<complex> data = x, out = x;
    EXPECT_FALSE(fftForward(data.data(), n));
    EXPECT_FALSE(fftInverse(data.data(), n, true));
    EXPECT_FALSE(fftForwardCopy(x.data(), out.data(), n));
    EXPECT_FALSE(fftInverseCopy(x.data(), out.data(), n, false));
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(data[i].re, x[i].re);
      EXPECT_EQ(data[i].im, x[i].im);
      EXPECT_EQ(out[i].re, x[i].re);
    }
  }
  std::vector<complex> out(8);
  EXPECT_FALSE(fftForward(nullptr, 8));
  EXPECT_FALSE(fftInverse(nullptr, 8, true));
  EXPECT_FALSE(fftForwardCopy(nullptr, out.data(), 8));
  EXPECT_FALSE(fftInverseCopy(x.data(), nullptr, 8, true));
}

TEST(ComplexFft, SingleValueIsLeftUnchanged) {
  complex one(2.5f, -1.0f);
  ASSERT_TRUE(fftForward(&one, 1));
  EXPECT_EQ(one.re, 2.5f);
  EXPECT_EQ(one.im, -1.0f);
}

TEST(InterleavedFft, MatchesNaiveDftWithPositiveSignAndInverseDividesByPairCount) {
  for (int points : {1, 2, 4, 32, 256}) {
    SCOPED_TRACE("complex points = " + std::to_string(points));
    const std::vector<complex> x = testSignal(points);
    std::vector<float> s(2 * points + 1);
    for (int i = 0; i < points; ++i) {
      s[2 * i + 1] = x[i].re;
      s[2 * i + 2] = x[i].im;
    }
    std::vector<float> forward = s;
    fftInPlace(forward.data(), 2 * points, false);
    std::vector<complex> got(points);
    for (int i = 0; i < points; ++i) got[i] = complex(forward[2 * i + 1], forward[2 * i + 2]);
    expectMatchesDft(got, x, +1, 1.0);

    std::vector<float> inverse = s;
    fftInPlace(inverse.data(), 2 * points, true);
    for (int i = 0; i < points; ++i) got[i] = complex(inverse[2 * i + 1], inverse[2 * i + 2]);
    expectMatchesDft(got, x, -1, 1.0 / points);

    fftInPlace(forward.data(), 2 * points, true);
    for (int i = 1; i <= 2 * points; ++i) EXPECT_NEAR(forward[i], s[i], 1e-5);
  }
}

TEST(InterleavedFft, RealFftGivesBinsOfPositiveSignDftWithSumInFirstSlot) {
  for (int n : {2, 4, 8, 64, 512}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    const std::vector<complex> noise = testSignal(n);
    std::vector<double> re(n), im(n);
    std::vector<float> s(n + 1);
    for (int i = 0; i < n; ++i) {
      s[i + 1] = noise[i].re;
      re[i] = noise[i].re;
    }
    const dft want = naiveDft(re, im, +1);
    realFft(s.data(), n);
    const double tolerance = 1e-4 * n;
    EXPECT_NEAR(s[1], want.re[0], tolerance);
    EXPECT_EQ(s[2], 0.0f);
    for (int k = 2; k <= n / 2; ++k) {
      EXPECT_NEAR(s[2 * k - 1], want.re[k - 1], tolerance) << "bin " << k - 1;
      EXPECT_NEAR(s[2 * k], want.im[k - 1], tolerance) << "bin " << k - 1;
    }
  }
}

TEST(InterleavedFft, RefusesLengthsThatAreNotPowersOfTwo) {
  for (int n : {0, 1, 6, 12, -8}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    std::vector<float> s(16, 1.0f);
    for (bool realInput : {false, true}) {
      try {
        if (realInput)
          realFft(s.data(), n);
        else
          fftInPlace(s.data(), n, false);
        ADD_FAILURE() << "nothing thrown";
      } catch (char* message) {
        EXPECT_THAT(message,
                    testing::MatchesRegex(".*: n = -?[0-9]+ is not a power of two of at least 2 "
                                          "\\(line [0-9]+ of fft\\)"));
      }
      for (float v : s) EXPECT_EQ(v, 1.0f);
    }
  }
}
