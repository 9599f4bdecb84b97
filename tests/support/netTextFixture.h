// Net files for tests, as the lines netCreate reads: used by the tests of the net and of the
// search, which build their nets from node names and links.
#pragma once

#include <utility>
#include <vector>

#include "stringUtil.h"

namespace tulim {
namespace test {

// "VERSION=1.0", "N=<nodes>\tL=<links>", then "I=<i>\tW=<name>" per node and
// "J=<k>\tS=<from>\tE=<to>" per link.
strVec netLines(const strVec& nodes, const std::vector<std::pair<int, int>>& links);

}  // namespace test
}  // namespace tulim
