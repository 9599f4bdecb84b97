// Nodes and phones of a result record built by hand, as the segmentation and the phone
// ranking leave them, for the tests of the discount factors and the confidence measure.
#pragma once

#include <string>
#include <vector>

#include "mlfClass.h"

namespace tulim {
namespace test {

// A phone over frames first..last (inclusive), not ranked.
phoneInfo phoneOf(const std::string& name, int first, int last);

// A node over frames first..last holding the phones given.
sylInfo nodeOf(const std::string& name, int first, int last, const std::vector<phoneInfo>& phones = {});

// A phone as the ranking leaves it: the competitors and their log-likelihoods best first,
// its own log-likelihood that of its own model among them (0 when absent), the rank and
// the time ratio as given and the rank ratio computed from them.
phoneInfo rankedPhone(const std::string& name, int modelIndex, int first, int last, const std::vector<int>& competitors,
                      const std::vector<float>& logLikes, int rank, float timeRatio);

}  // namespace test
}  // namespace tulim
