// The exact mixture sum of the state scorer: logAdd, the log of the sum of a stream's
// mixture scores as the chain of logAdd calls gives it (computed about the largest score, in
// passes that prove their float), and the kernels that score one state's streams against a
// frame through the scoring layout. Only the state scorer and this unit's test include it.
#pragma once

#include <cmath>

#include "gaussLayout.h"
#include "macroClass.h"

namespace tulim {

constexpr double LOG_ADD_CUTOFF = -23.0259;  // below this difference the smaller term is lost

// log(e^a + e^b) in double; a difference below LOG_ADD_CUTOFF gives the larger term (LZERO
// when that is at or below LOG_SMALL).
inline double logAdd(double a, double b) {
  double x = a > b ? a : b;
  double y = a > b ? b : a;
  if (y - x < LOG_ADD_CUTOFF) return x < LOG_SMALL ? LZERO : x;
  return x + std::log(1.0 + std::exp(y - x));
}

// The mixture sum of one stream: logAdd of the n scores in order, starting from LZERO, as a
// float. Computed about the largest score with a single log; when the bound on how far that
// can lie from the chain of logAdd calls leaves the float in doubt, the chain decides.
float mixtureLogSum(const float* score, int n);

// exp(d) for d in [-700, 0] within a relative EXP_KERNEL_ERROR, in plain arithmetic on the
// value and its bits (the double pass of the mixture sum runs it on every lane). d = n ln 2 +
// r with |r| <= ln 2 / 2 and e^r by its series to degree 8: the remainder is below |r|^9 / 9!
// * e^|r| = 2.8e-10, relative to e^r >= 0.707 below 4e-10; the roundings add about 1e-15.
constexpr double EXP_KERNEL_ERROR = 5e-10;
double expKernel(double d);
// exp(d) for d in [-87, 0] in single precision within a relative EXPF_KERNEL_ERROR of the
// exact value, and exactly 1 at 0 (the first pass's kernel). The series to degree 7 leaves
// 5e-9; the float roundings of the reduction and the series make the rest: over every float
// of the range the worst is 1.03e-7.
constexpr double EXPF_KERNEL_ERROR = 1.2e-7;
float expKernelFloat(float d);

// The scores of the streams of one state: block[s] of the values of x from offset[s] on,
// width[s] of them, into sum[s] (the state's stream blocks lie side by side in the layout).
using stateKernel = void (*)(const float* x, const gaussBlock* block, const int* offset, const int* width,
                             int streamNum, float* sum);
// The kernel in the vectors every processor of the build has, and the fastest one this
// processor runs; the two give the same numbers.
void stateScorePlain(const float* x, const gaussBlock* block, const int* offset, const int* width, int streamNum,
                     float* sum);
stateKernel stateKernelFastest();

}  // namespace tulim
