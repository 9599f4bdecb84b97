#include "netTextFixture.h"

#include <string>

namespace tulim {
namespace test {

strVec netLines(const strVec& nodes, const std::vector<std::pair<int, int>>& links) {
  strVec lines{"VERSION=1.0", "N=" + std::to_string(nodes.size()) + "\tL=" + std::to_string(links.size())};
  for (size_t i = 0; i < nodes.size(); ++i) lines.push_back("I=" + std::to_string(i) + "\tW=" + nodes[i]);
  for (size_t k = 0; k < links.size(); ++k)
    lines.push_back("J=" + std::to_string(k) + "\tS=" + std::to_string(links[k].first) + "\tE=" +
                    std::to_string(links[k].second));
  return lines;
}

}  // namespace test
}  // namespace tulim
