// Matching of numeric contours (pitch tracks in semitones, for instance) that may differ in
// speed and by a constant offset: linear scaling of a query against the start of a target,
// and a shift-invariant slide of a short sequence along a longer one, with the distances
// they use. Offered utilities of the numeric toolkit; nothing in the pipeline calls them.
#pragma once

#include <vector>

namespace tulim {

// Distance types: the offset between two contours is estimated by the median of their
// differences for the absolute distance and by their mean for the squared one.
const int DIST_ABS = 1;     // sum of |a[i] - b[i]|
const int DIST_SQUARE = 2;  // sum of (a[i] - b[i])^2

// What a distance is when nothing was matched or a bound was passed.
const double NO_MATCH_DIST = 2147483647.0;

// ---- Distances and small vector routines -------------------------------------------------

// Sum of absolute (type 1) or squared (type 2) differences; 0 for n <= 0. Any other type
// prints "Unknown method!\n" and ends the process (status 1).
double vecDist(const double* a, const double* b, int n, int type);

// The same sum accumulated in order, giving NO_MATCH_DIST as soon as the running sum
// exceeds bound; the same ending for an unknown type.
double vecDistBounded(const double* a, const double* b, int n, int type, double bound);

// Mean of n values; 0 for an empty vector (n <= 0).
double vecMean(const double* a, int n);

// out[i] = a[i] - b[i].
void vecSub(const double* a, const double* b, int n, double* out);
// out[i] = a[i] - c; out may be a.
void vecSubScalar(const double* a, double c, int n, double* out);

// ---- Linear scaling -----------------------------------------------------------------------
//
// Scale i of S (S >= 2) stretches a query of n values (n >= 2) to n*(rMin + i*(rMax -
// rMin)/(S - 1)) values, rounded half away from zero by linScalingMatch and truncated by
// linScalingPlain and linScalingPrepare. Scales are tried in order and the first one longer
// than the target ends the trial, so with rMin <= rMax every shorter scale is tried. Each
// tried scale gets distance[i] = (distance of the stretched copy to target[0..len)) / len;
// the others keep NO_MATCH_DIST, and their offsets are left as they were. The result is
// the smallest distance, ties to the first, its scale through *bestIndex: NO_MATCH_DIST at
// index 0 when no scale fits the target.
//
// S < 2, n < 2, an unknown type ("Unknown distance type (line %d of %s)") and a tried scale
// shorter than 2 values are fatal errors, raised before any distance is written.
// Arrays: distance and offset hold S values; each scratch array holds the longest stretched
// copy that is tried, which m values always are enough for.

// With offset removal: offset[i] is the median (type 1) or the mean (type 2) of stretched
// copy - target, and is subtracted from the copy before the distance. The distance is
// bounded by len*maxMeanDist: a scale that passes the bound keeps NO_MATCH_DIST.
double linScalingMatch(const double* query, int n, const double* target, int m, double rMin, double rMax, int S,
                       int type, double* distance, double* offset, double* scratch, double* diff, int* bestIndex,
                       double maxMeanDist);

// Without offset removal and without a bound.
double linScalingPlain(const double* query, int n, const double* target, int m, double rMin, double rMax, int S,
                       int type, double* distance, double* scratch, int* bestIndex);

// The stretched copies of one query, made once for matching against many targets.
struct linScalingPrepared {
  double rMin = 0;
  double rMax = 0;
  int S = 0;  // scale count
  // Row length: n*rMax truncated, or the longest of len when rounding or rMin > rMax makes
  // one longer.
  int L = 0;
  std::vector<std::vector<double>> copies;  // S rows of L values; row i holds len[i] of them
  std::vector<int> len;                     // the S truncated stretched lengths
};

// Fills record for the query (the same fatal errors as the matchers, but no target bounds
// the lengths).
void linScalingPrepare(const double* query, int n, double rMin, double rMax, int S, linScalingPrepared& record);

// linScalingMatch on the prepared copies, which it leaves as they are: the shifted copy is
// made in diff (at least min(L, m) values), so every call gives what the first would.
double linScalingMatchPrepared(const linScalingPrepared& record, const double* target, int m, int type,
                               double* distance, double* offset, double* diff, int* bestIndex, double maxMeanDist);

// Releases the copies and lengths; the record can be prepared again.
void linScalingFree(linScalingPrepared& record);

// ---- Shift-invariant slide ------------------------------------------------------------------

// Slides the shorter of a and b (a when both are as long) along the longer one. At each
// start p, offset = median (type 1) or mean (type 2) of shorter - longer[p..p+shorter), and
// d = distance of (shorter - offset) to longer[p..] (not divided by the length). The first
// position is taken and a later one only when its d is strictly smaller; *offset and
// *position (in the longer sequence) describe the best, which is returned. An empty (or
// negative-length) sequence gives NO_MATCH_DIST for the result and *offset, -1 for
// *position. An unknown type raises "Unknown distance type (line %d of %s)".
double shiftInvariantSlide(const double* a, int na, const double* b, int nb, int type, double* offset, int* position);

}  // namespace tulim
