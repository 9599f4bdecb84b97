#include "candidateFixture.h"

#include <filesystem>

#include "modelSetFixture.h"

namespace tulim {
namespace test {

std::unique_ptr<arenaCandidate> pathCandidate(const std::vector<pathSyl>& syls, int endNode) {
  std::unique_ptr<arenaCandidate> c(new arenaCandidate());
  c->node = endNode;
  for (const pathSyl& syl : syls) {
    for (size_t pos = 0; pos < syl.phoneEnds.size(); ++pos) {
      c->phonePos.push_back(static_cast<int>(pos));
      c->phoneEndFrame.push_back(syl.phoneEnds[pos]);
      c->phoneEndScore.push_back(PATH_SCORE_PER_FRAME * static_cast<float>(syl.phoneEnds[pos] + 1));
      ++c->phoneNum;
    }
    const int end = syl.phoneEnds.back();
    c->sylId.push_back(syl.dicIndex);
    c->sylNode.push_back(syl.node);
    c->sylEndFrame.push_back(end);
    c->sylEndScore.push_back(PATH_SCORE_PER_FRAME * static_cast<float>(end + 1));
    c->score = c->sylEndScore.back();
    ++c->sylNum;
  }
  return c;
}

std::unique_ptr<arenaCandidate> candidateAt(int node, int modelPos, int stateIdx, float score) {
  std::unique_ptr<arenaCandidate> c(new arenaCandidate());
  c->node = node;
  c->modelPos = modelPos;
  c->stateIdx = stateIdx;
  c->score = score;
  return c;
}

void pathModelsMake(macroClass& mac, dictClass& dict) {
  modelSetPrepare(mac, {"a", "b", "c", "sil"});
  dict.m_pronDict = {{"ba", {1, 0}}, {"bac", {1, 0, 2}}, {"ca", {2, 0}}, {"sil", {3}}};
}

netClass pathNetMake() {
  netClass net;
  struct nodeDef {
    int dicIndex;
    const char* sylStr;
    const char* sylTag;
    std::vector<int> fanOut;
  };
  const std::vector<nodeDef> defs = {
      {-1, "!NULL", "", {2}},       {-1, "!NULL", "", {}},        {3, "sil", "", {3, 4, 6}},
      {0, "ba", "\xa4\x4b", {5}},   {2, "ca", "\xa5\x64", {1}},   {3, "sil", "", {1}},
      {1, "bac", "\xa4\x54", {1}},
  };
  for (const nodeDef& d : defs) {
    netNode node;
    node.dicIndex = d.dicIndex;
    node.sylStr = d.sylStr;
    node.sylTag = d.sylTag;
    node.fanOutDirect = d.fanOut;
    net.m_node.push_back(node);
    net.m_linkNum += static_cast<int>(d.fanOut.size());
  }
  net.m_nodeNum = static_cast<int>(net.m_node.size());
  return net;
}

workingDirScope::workingDirScope(const std::string& dir) : m_old(std::filesystem::current_path().string()) {
  std::filesystem::current_path(dir);
}

workingDirScope::~workingDirScope() { std::filesystem::current_path(m_old); }

}  // namespace test
}  // namespace tulim
