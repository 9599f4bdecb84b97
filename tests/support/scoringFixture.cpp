#include "scoringFixture.h"

namespace tulim {
namespace test {

phoneInfo phoneOf(const std::string& name, int first, int last) {
  phoneInfo phone;
  phone.name = name;
  phone.frameId[0] = first;
  phone.frameId[1] = last;
  return phone;
}

sylInfo nodeOf(const std::string& name, int first, int last, const std::vector<phoneInfo>& phones) {
  sylInfo node;
  node.name = name;
  node.frameId[0] = first;
  node.frameId[1] = last;
  node.phone = phones;
  return node;
}

phoneInfo rankedPhone(const std::string& name, int modelIndex, int first, int last, const std::vector<int>& competitors,
                      const std::vector<float>& logLikes, int rank, float timeRatio) {
  phoneInfo phone = phoneOf(name, first, last);
  phone.modelIndex = modelIndex;
  phone.competingModelIndex = competitors;
  phone.competingModelLogLike = logLikes;
  phone.logLike = 0.0f;
  for (size_t k = 0; k < competitors.size() && k < logLikes.size(); ++k)
    if (competitors[k] == modelIndex) {
      phone.logLike = logLikes[k];
      break;
    }
  phone.rank = rank;
  phone.rankRatio = competitors.empty() ? -1.0f : static_cast<float>(rank) / static_cast<float>(competitors.size());
  phone.timeRatio = timeRatio;
  return phone;
}

}  // namespace test
}  // namespace tulim
