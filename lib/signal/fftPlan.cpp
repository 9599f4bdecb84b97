#include "fftPlan.h"

#include <cmath>
#include <cstring>

#include "utility.h"

namespace tulim {

namespace {

const double PI = 3.14159265358979323846;

// Two butterflies at once in vectors of the compiler's vector extension. Every lane takes
// exactly the operations of the scalar butterfly below, so the results are the same bits.
typedef float floatQuad __attribute__((vector_size(4 * sizeof(float))));
typedef double doublePair __attribute__((vector_size(2 * sizeof(double))));
typedef double doubleQuad __attribute__((vector_size(4 * sizeof(double))));

// The butterfly of the complex values at top and bottom with the factor (wr, wi): the product
// in double precision, rounded to float, then the float sum and difference.
inline void butterfly(float* top, float* bottom, double wr, double wi) {
  const float xre = static_cast<float>(wr * bottom[0] - wi * bottom[1]);
  const float xri = static_cast<float>(wr * bottom[1] + wi * bottom[0]);
  bottom[0] = top[0] - xre;
  bottom[1] = top[1] - xri;
  top[0] += xre;
  top[1] += xri;
}

[[gnu::always_inline]] inline floatQuad loadQuad(const float* p) {
  floatQuad v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void storeQuad(float* p, floatQuad v) { std::memcpy(p, &v, sizeof v); }

// The products of butterfly for two complex values (re, im, re, im) and two factors.
[[gnu::always_inline]] inline floatQuad twiddled(floatQuad bottom, doublePair wr, doublePair wi) {
  const doubleQuad d = __builtin_convertvector(bottom, doubleQuad);
  const doublePair re = __builtin_shufflevector(d, d, 0, 2);
  const doublePair im = __builtin_shufflevector(d, d, 1, 3);
  const doublePair xre = wr * re - wi * im;
  const doublePair xri = wr * im + wi * re;
  return __builtin_convertvector(__builtin_shufflevector(xre, xri, 0, 2, 1, 3), floatQuad);
}

// Steps (r, i) from (1, 0) by the rotation through theta, as the recurrences of the transforms
// do (the step's cosine less 1 from sin(theta / 2), which keeps small angles accurate), and
// appends the values of steps first to last - 1.
void appendRotations(double theta, int first, int last, std::vector<double>& re, std::vector<double>& im) {
  const double x = std::sin(theta / 2);
  const double cosStep = -2 * x * x;
  const double sinStep = std::sin(theta);
  double r = 1;
  double i = 0;
  for (int step = 0; step < last; ++step) {
    if (step >= first) {
      re.push_back(r);
      im.push_back(i);
    }
    const double r0 = r;
    r = r * cosStep - i * sinStep + r;
    i = i * cosStep + r0 * sinStep + i;
  }
}

}  // namespace

fftPlan::fftPlan(int n, bool invert) : m_n(n), m_invert(invert) {
  if (n < 2 || (n & (n - 1)) != 0)
    errorThrowf("fftPlan: n = %d is not a power of two of at least 2 (line %d of %s)", n, TULIM_HERE);

  int j = 1;
  for (int ii = 1; ii <= n / 2; ++ii) {
    const int i = 2 * ii - 1;
    if (j > i) {
      m_swapFrom.push_back(i);
      m_swapTo.push_back(j);
    }
    int m = n / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }

  m_wr.reserve(static_cast<size_t>(n / 2));
  m_wi.reserve(static_cast<size_t>(n / 2));
  for (int limit = 2; limit < n; limit *= 2)
    appendRotations((invert ? -2 * PI : 2 * PI) / limit, 0, limit / 2, m_wr, m_wi);
  // The real-FFT untangling needs the steps from bin 1 on.
  if (!invert) appendRotations(PI / (n / 2), 1, n / 4, m_yr, m_yi);
}

void fftPlan::transform(float* s) const {
  const int n = m_n;
  if (n == 0) errorThrowf("fftPlan: the plan is empty (line %d of %s)", TULIM_HERE);
  for (size_t p = 0; p < m_swapFrom.size(); ++p) {
    float* a = s + m_swapFrom[p];
    float* b = s + m_swapTo[p];
    const float re = a[0], im = a[1];
    a[0] = b[0];
    a[1] = b[1];
    b[0] = re;
    b[1] = im;
  }

  // Within a stage every butterfly has values of its own, so they may run in any order: here
  // block by block, the factors running along each block.
  for (int limit = 2; limit < n; limit *= 2) {
    const int half = limit / 2;
    const double* wr = m_wr.data() + (half - 1);
    const double* wi = m_wi.data() + (half - 1);
    if (half == 1) {
      // One butterfly a block of two complex values, all with the first factor: two
      // neighbouring blocks at once.
      const doublePair r = {wr[0], wr[0]}, i = {wi[0], wi[0]};
      int b = 1;
      for (; b + 7 <= n; b += 8) {
        const floatQuad first = loadQuad(s + b), second = loadQuad(s + b + 4);
        const floatQuad top = __builtin_shufflevector(first, second, 0, 1, 4, 5);
        const floatQuad x = twiddled(__builtin_shufflevector(first, second, 2, 3, 6, 7), r, i);
        const floatQuad sum = top + x, difference = top - x;
        storeQuad(s + b, __builtin_shufflevector(sum, difference, 0, 1, 4, 5));
        storeQuad(s + b + 4, __builtin_shufflevector(sum, difference, 2, 3, 6, 7));
      }
      if (b < n) butterfly(s + b, s + b + 2, wr[0], wi[0]);
      continue;
    }
    for (int b = 1; b <= n; b += 2 * limit) {
      float* top = s + b;
      float* bottom = top + limit;
      for (int t = 0; t < half; t += 2) {
        doublePair r, i;
        std::memcpy(&r, wr + t, sizeof r);
        std::memcpy(&i, wi + t, sizeof i);
        const floatQuad x = twiddled(loadQuad(bottom + 2 * t), r, i);
        const floatQuad y = loadQuad(top + 2 * t);
        storeQuad(bottom + 2 * t, y - x);
        storeQuad(top + 2 * t, y + x);
      }
    }
  }

  if (m_invert) {
    const float half = static_cast<float>(n / 2);
    for (int i = 1; i <= n; ++i) s[i] /= half;
  }
}

void fftPlan::realTransform(float* s) const {
  if (m_invert) errorThrowf("fftPlan: a real transform needs a forward plan (line %d of %s)", TULIM_HERE);
  transform(s);
  const int h = m_n / 2;
  for (int i = 2; i <= h / 2; ++i) {
    const double yr = m_yr[static_cast<size_t>(i - 2)];
    const double yi = m_yi[static_cast<size_t>(i - 2)];
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
  }
  s[1] = s[1] + s[2];
  s[2] = 0;
}

}  // namespace tulim
