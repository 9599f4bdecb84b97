#include "linearScaling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

#include "arrayTemplate.h"
#include "numericUtil.h"
#include "utility.h"

namespace tulim {

namespace {

bool knownType(int type) { return type == DIST_ABS || type == DIST_SQUARE; }

// The distances have no caller to tell: a wrong type is a programming error.
[[noreturn]] void unknownMethod() {
  printf("Unknown method!\n");
  fflush(stdout);
  exit(1);
}

void checkType(int type) {
  if (!knownType(type)) errorThrowf("Unknown distance type (line %d of %s)", TULIM_HERE);
}

// Stretching interpolates between neighbours, and the scale step divides by S - 1.
void checkShape(int n, int S) {
  if (n < 2 || S < 2)
    errorThrowf(
        "Linear scaling needs a query of at least 2 values and at least 2 scales (n = %d, S = %d) (line %d of %s)", n,
        S, TULIM_HERE);
}

int truncateToInt(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return 2147483647;
  if (x <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(x);
}

int stretchedLength(int n, double rMin, double rMax, int S, int i, bool rounded) {
  const double length = n * (rMin + i * (rMax - rMin) / (S - 1));
  return rounded ? doubleRound(length) : truncateToInt(length);
}

void checkLength(int i, int len) {
  if (len < 2)
    errorThrowf("Scale %d stretches the query to %d values, fewer than 2 (line %d of %s)", i, len, TULIM_HERE);
}

// The number of scales tried against a target of m values: those before the first longer
// one. Each of them is checked before anything is computed.
int triedScales(int n, int m, double rMin, double rMax, int S, bool rounded) {
  int tried = 0;
  for (; tried < S; tried++) {
    const int len = stretchedLength(n, rMin, rMax, S, tried, rounded);
    if (len > m) break;
    checkLength(tried, len);
  }
  return tried;
}

double termOf(double a, double b, int type) {
  const double d = a - b;
  return type == DIST_ABS ? std::fabs(d) : d * d;
}

// False as soon as the running sum exceeds bound.
bool boundedSum(const double* a, const double* b, int n, int type, double bound, double* sum) {
  double total = 0;
  for (int i = 0; i < n; i++) {
    total += termOf(a[i], b[i], type);
    if (total > bound) return false;
  }
  *sum = total;
  return true;
}

double offsetOf(const double* diff, int n, int type) { return type == DIST_ABS ? median(diff, n) : vecMean(diff, n); }

// A scale that passes the bound is no match at all, whatever its length: dividing the
// no-match value by the length would make it look like a (huge) real mean distance and let
// the longest rejected scale win over the others.
double boundedMeanDist(const double* shifted, const double* target, int len, int type, double maxMeanDist) {
  double sum = 0;
  if (!boundedSum(shifted, target, len, type, len * maxMeanDist, &sum)) return NO_MATCH_DIST;
  return sum / len;
}

}  // namespace

// ---- Distances and small vector routines -------------------------------------------------

double vecDist(const double* a, const double* b, int n, int type) {
  if (!knownType(type)) unknownMethod();
  double sum = 0;
  for (int i = 0; i < n; i++) sum += termOf(a[i], b[i], type);
  return sum;
}

double vecDistBounded(const double* a, const double* b, int n, int type, double bound) {
  if (!knownType(type)) unknownMethod();
  double sum = 0;
  return boundedSum(a, b, n, type, bound, &sum) ? sum : NO_MATCH_DIST;
}

double vecMean(const double* a, int n) {
  if (n <= 0) return 0;
  double sum = 0;
  for (int i = 0; i < n; i++) sum += a[i];
  return sum / n;
}

void vecSub(const double* a, const double* b, int n, double* out) {
  for (int i = 0; i < n; i++) out[i] = a[i] - b[i];
}

void vecSubScalar(const double* a, double c, int n, double* out) {
  for (int i = 0; i < n; i++) out[i] = a[i] - c;
}

// ---- Linear scaling -----------------------------------------------------------------------

double linScalingMatch(const double* query, int n, const double* target, int m, double rMin, double rMax, int S,
                       int type, double* distance, double* offset, double* scratch, double* diff, int* bestIndex,
                       double maxMeanDist) {
  checkShape(n, S);
  checkType(type);
  const int tried = triedScales(n, m, rMin, rMax, S, true);
  std::fill(distance, distance + S, NO_MATCH_DIST);
  for (int i = 0; i < tried; i++) {
    const int len = stretchedLength(n, rMin, rMax, S, i, true);
    vecLinearScale(query, n, scratch, len);
    vecSub(scratch, target, len, diff);
    offset[i] = offsetOf(diff, len, type);
    vecSubScalar(scratch, offset[i], len, scratch);
    distance[i] = boundedMeanDist(scratch, target, len, type, maxMeanDist);
  }
  return minValueIndex(distance, S, bestIndex);
}

double linScalingPlain(const double* query, int n, const double* target, int m, double rMin, double rMax, int S,
                       int type, double* distance, double* scratch, int* bestIndex) {
  checkShape(n, S);
  checkType(type);
  const int tried = triedScales(n, m, rMin, rMax, S, false);
  std::fill(distance, distance + S, NO_MATCH_DIST);
  for (int i = 0; i < tried; i++) {
    const int len = stretchedLength(n, rMin, rMax, S, i, false);
    vecLinearScale(query, n, scratch, len);
    distance[i] = vecDist(scratch, target, len, type) / len;
  }
  return minValueIndex(distance, S, bestIndex);
}

void linScalingPrepare(const double* query, int n, double rMin, double rMax, int S, linScalingPrepared& record) {
  checkShape(n, S);
  linScalingPrepared made;
  made.rMin = rMin;
  made.rMax = rMax;
  made.S = S;
  made.L = truncateToInt(n * rMax);
  made.len.resize(S);
  for (int i = 0; i < S; i++) {
    made.len[i] = stretchedLength(n, rMin, rMax, S, i, false);
    checkLength(i, made.len[i]);
    made.L = std::max(made.L, made.len[i]);
  }
  try {
    made.copies.assign(S, std::vector<double>(made.L));
  } catch (const std::bad_alloc&) {
    errorThrowf("Out of memory for %d stretched copies of %d values (line %d of %s)", S, made.L, TULIM_HERE);
  }
  for (int i = 0; i < S; i++) vecLinearScale(query, n, made.copies[i].data(), made.len[i]);
  record = std::move(made);
}

double linScalingMatchPrepared(const linScalingPrepared& record, const double* target, int m, int type,
                               double* distance, double* offset, double* diff, int* bestIndex, double maxMeanDist) {
  const int S = record.S;
  bool prepared =
      S >= 2 && record.len.size() == static_cast<size_t>(S) && record.copies.size() == static_cast<size_t>(S);
  for (int i = 0; prepared && i < S; i++)
    prepared = record.len[i] >= 2 && static_cast<size_t>(record.len[i]) <= record.copies[i].size();
  if (!prepared) errorThrowf("Linear scaling record is not prepared (S = %d) (line %d of %s)", S, TULIM_HERE);
  checkType(type);
  std::fill(distance, distance + S, NO_MATCH_DIST);
  for (int i = 0; i < S; i++) {
    const int len = record.len[i];
    if (len > m) break;
    const double* copy = record.copies[i].data();
    vecSub(copy, target, len, diff);
    offset[i] = offsetOf(diff, len, type);
    vecSubScalar(copy, offset[i], len, diff);
    distance[i] = boundedMeanDist(diff, target, len, type, maxMeanDist);
  }
  return minValueIndex(distance, S, bestIndex);
}

void linScalingFree(linScalingPrepared& record) {
  std::vector<std::vector<double>>().swap(record.copies);
  std::vector<int>().swap(record.len);
}

// ---- Shift-invariant slide ------------------------------------------------------------------

double shiftInvariantSlide(const double* a, int na, const double* b, int nb, int type, double* offset, int* position) {
  checkType(type);
  if (na <= 0 || nb <= 0) {
    *offset = NO_MATCH_DIST;
    *position = -1;
    return NO_MATCH_DIST;
  }
  if (na > nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  std::vector<double> diff(na);
  std::vector<double> shifted(na);
  double best = NO_MATCH_DIST;
  *offset = NO_MATCH_DIST;
  *position = -1;
  for (int p = 0; p <= nb - na; p++) {
    vecSub(a, b + p, na, diff.data());
    const double o = offsetOf(diff.data(), na, type);
    vecSubScalar(a, o, na, shifted.data());
    const double d = vecDist(shifted.data(), b + p, na, type);
    if (p == 0 || d < best) {
      best = d;
      *offset = o;
      *position = p;
    }
  }
  return best;
}

}  // namespace tulim
