#include "complex.h"

#include <gtest/gtest.h>

#include <string>

using tulim::complex;

TEST(Complex, ArithmeticFollowsTheComplexRules) {
  const complex a(1.5f, -2.0f);
  const complex b(0.5f, 3.0f);
  const complex sum = a + b;
  const complex difference = a - b;
  const complex product = a * b;
  EXPECT_FLOAT_EQ(sum.real(), 2.0f);
  EXPECT_FLOAT_EQ(sum.imag(), 1.0f);
  EXPECT_FLOAT_EQ(difference.real(), 1.0f);
  EXPECT_FLOAT_EQ(difference.imag(), -5.0f);
  EXPECT_FLOAT_EQ(product.real(), 1.5f * 0.5f + 2.0f * 3.0f);
  EXPECT_FLOAT_EQ(product.imag(), 1.5f * 3.0f - 2.0f * 0.5f);

  complex c = a;
  c += b;
  c *= 2.0f;
  EXPECT_FLOAT_EQ(c.re, 4.0f);
  EXPECT_FLOAT_EQ(c.im, 2.0f);
  EXPECT_FLOAT_EQ(a.norm(), 1.5f * 1.5f + 4.0f);

  const complex zero;
  const complex real(7.0f);
  EXPECT_EQ(zero.re, 0.0f);
  EXPECT_EQ(zero.im, 0.0f);
  EXPECT_EQ(real.re, 7.0f);
  EXPECT_EQ(real.im, 0.0f);
}

TEST(Complex, PrintsSignOfImaginaryPartOrRealPartAlone) {
  struct Case {
    complex value;
    const char* printed;
  };
  const Case cases[] = {
      {complex(1.5f, -2.0f), "1.500000-2.000000j"},
      {complex(-1.0f, 0.25f), "-1.000000+0.250000j"},
      {complex(3.0f, 0.0f), "3.000000"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    c.value.print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
  }
}
