#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "dictClass.h"
#include "fatalCatch.h"
#include "netClass.h"
#include "testFiles.h"
#include "textClass.h"

using namespace tulim;
using testing::ElementsAreArray;
using testing::HasSubstr;
using tulim::test::quietFatalMessage;

namespace {

struct nodeSpec {
  const char* sylStr;
  const char* sylTag;
};

// The expected m_netVs of the nodes and links.
strVec expectedNet(const std::vector<nodeSpec>& nodes, const std::vector<std::pair<int, int>>& links) {
  strVec lines{"VERSION=1.0", "N=" + std::to_string(nodes.size()) + "\tL=" + std::to_string(links.size())};
  for (size_t i = 0; i < nodes.size(); ++i)
    lines.push_back("I=" + std::to_string(i) + "\tW=" + nodes[i].sylStr + "@-1@" + nodes[i].sylTag);
  for (size_t k = 0; k < links.size(); ++k)
    lines.push_back("J=" + std::to_string(k) + "\tS=" + std::to_string(links[k].first) + "\tE=" +
                    std::to_string(links[k].second));
  return lines;
}

strVec treeNet(const strVec& sylVs, int filler, int softSil, int edgeSil, const recogParam& param = recogParam()) {
  textClass text;
  text.m_sylVs = sylVs;
  testing::internal::CaptureStdout();
  text.treeNetCreate(param, filler, softSil, edgeSil);
  testing::internal::GetCapturedStdout();
  return text.m_netVs;
}

const nodeSpec N{"!NULL", ""};
const nodeSpec SIL{"sil", ""};

}  // namespace

TEST(TreeNetCreate, SharesPrefixesOfSortedSequences) {
  const strVec sylVs{"a-c\t1", "a-b\t0", "a\t2", "a-b\t3"};  // a-b twice: its nodes once
  EXPECT_THAT(treeNet(sylVs, 0, 0, 0),
              ElementsAreArray(expectedNet({N, N, {"a", ""}, {"b", ""}, {"c", ""}},
                                           {{0, 2}, {2, 1}, {2, 3}, {3, 1}, {2, 4}, {4, 1}})));
  EXPECT_THAT(treeNet(sylVs, 0, 0, 1),
              ElementsAreArray(expectedNet({N, N, SIL, SIL, {"a", ""}, {"b", ""}, {"c", ""}},
                                           {{0, 2}, {3, 1}, {2, 4}, {4, 3}, {4, 5}, {5, 3}, {4, 6}, {6, 3}})));
}

TEST(TreeNetCreate, DeeperLevelsForgetTheirSyllablesAfterAnEnd) {
  // After a-x ends, the c of a-x-c is a new node, not the c of a-b-c.
  EXPECT_THAT(treeNet({"a-b-c\t0", "a-x\t1", "a-x-c\t2"}, 0, 0, 0),
              ElementsAreArray(expectedNet({N, N, {"a", ""}, {"b", ""}, {"c", ""}, {"x", ""}, {"c", ""}},
                                           {{0, 2}, {2, 3}, {3, 4}, {4, 1}, {2, 5}, {5, 1}, {5, 6}, {6, 1}})));
}

TEST(TreeNetCreate, EmptyPiecesDoNotHideALaterSequence) {
  // Sorted as written, "a--b-c" came before "a-b" and every syllable of a-b looked shared.
  EXPECT_THAT(treeNet({"a--b-c\t0", "a-b\t1"}, 0, 0, 0),
              ElementsAreArray(expectedNet({N, N, {"a", ""}, {"b", ""}, {"c", ""}},
                                           {{0, 2}, {2, 3}, {3, 1}, {3, 4}, {4, 1}})));
}

TEST(TreeNetCreate, SoftSilencesStandBetweenTheWords) {
  EXPECT_THAT(treeNet({"a-b-c\t0"}, 0, 1, 1),
              ElementsAreArray(expectedNet({N, N, SIL, SIL, {"a", ""}, {"b", ""}, {"c", ""}, SIL, SIL},
                                           {{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 6}, {6, 3}, {4, 7}, {7, 5}, {5, 8},
                                            {8, 6}})));
  // Empty pieces are no words: one silence between the two words, not two.
  strVec net = treeNet({"a--b\t0"}, 0, 1, 0);
  EXPECT_THAT(net, ElementsAreArray(expectedNet({N, N, {"a", ""}, {"b", ""}, SIL},
                                                {{0, 2}, {2, 3}, {3, 1}, {2, 4}, {4, 3}})));
  // More than one line: no soft silences.
  EXPECT_EQ(treeNet({"a-b\t0", "c\t1"}, 0, 1, 0).size(), treeNet({"a-b\t0", "c\t1"}, 0, 0, 0).size());
}

TEST(TreeNetCreate, FillersHangOnNullJunctions) {
  const std::vector<nodeSpec> nodes{N, N, N, N, {"a", ""}, {"fillerC", ""}, {"fillerC", ""}, {"fillerV", ""},
                                    {"fillerV", ""}, SIL, SIL};
  const std::vector<std::pair<int, int>> links{{0, 2}, {3, 1}, {2, 4}, {4, 3}, {2, 5}, {5, 2}, {3, 6}, {6, 3},
                                               {2, 7}, {7, 2}, {3, 8}, {8, 3}, {2, 9}, {9, 2}, {3, 10}, {10, 3}};
  EXPECT_THAT(treeNet({"a\t0"}, 1, 0, 1), ElementsAreArray(expectedNet(nodes, links)));
  // Without edge silences the junctions are made all the same.
  EXPECT_THAT(treeNet({"a\t0"}, 1, 0, 0), ElementsAreArray(expectedNet(nodes, links)));

  // The net reads into a search net whose start fans out through the junction.
  dictClass dict;
  dict.m_pronDict = {{"a", {0}}, {"fillerC", {1}}, {"fillerV", {2}}, {"sil", {3}}};
  netClass net;
  net.netCreate(treeNet({"a\t0"}, 1, 0, 1), dict);
  EXPECT_THAT(net.m_node[0].fanOutIndirect, ElementsAreArray({4, 5, 7, 9}));
}

TEST(TreeNetCreate, ExtraLinkRules) {
  const strVec sylVs{"a-sp-b\t0"};  // word nodes 4 a, 5 sp, 6 b with edge silences
  struct Case {
    const char* what;
    int recogParam::*flag;
    std::vector<std::pair<int, int>> added;
    const char* message;
  } cases[] = {
      {"stop anywhere", &recogParam::addLink4stopAnywhere, {{4, 3}}, "\tAdd links for stop anywhere...   (line "},
      {"start anywhere", &recogParam::addLink4startAnywhere, {{2, 6}}, "\tAdd links for start anywhere...  (line "},
      {"forward jump", &recogParam::addLink4forwardJump, {{4, 6}}, "\tAdd links for forward jump...    (line "},
      {"skippable trailing sil", &recogParam::addLink4skippableTrailingSil, {{6, 1}},
       "\tAdd links for skippable trailing sil...    (line "},
      {"skippable leading sil", &recogParam::addLink4skippableLeadingSil, {{0, 4}},
       "\tAdd links for skippable leading sil...     (line "},
  };
  const std::vector<std::pair<int, int>> base{{0, 2}, {3, 1}, {2, 4}, {4, 5}, {5, 6}, {6, 3}};
  const std::vector<nodeSpec> nodes{N, N, SIL, SIL, {"a", ""}, {"sp", ""}, {"b", ""}};
  for (const Case& c : cases) {
    recogParam param;
    param.*(c.flag) = 1;
    textClass text;
    text.m_sylVs = sylVs;
    testing::internal::CaptureStdout();
    text.treeNetCreate(param, 0, 0, 1);
    std::string printed = testing::internal::GetCapturedStdout();
    std::vector<std::pair<int, int>> links = base;
    links.insert(links.end(), c.added.begin(), c.added.end());
    EXPECT_THAT(text.m_netVs, ElementsAreArray(expectedNet(nodes, links))) << c.what;
    EXPECT_THAT(printed, testing::StartsWith(c.message)) << c.what;
    EXPECT_THAT(printed, testing::EndsWith(" in text)\n")) << c.what;
  }
  // Rule 1 finds b's link to 3 and adds nothing for it; rule 4 then links b to the end.
  recogParam both;
  both.addLink4stopAnywhere = 1;
  both.addLink4skippableTrailingSil = 1;
  std::vector<std::pair<int, int>> links = base;
  links.insert(links.end(), {{4, 3}, {4, 1}, {6, 1}});
  EXPECT_THAT(treeNet(sylVs, 0, 0, 1, both), ElementsAreArray(expectedNet(nodes, links)));
}

TEST(TreeNetCreate, ExtraLinkRulesNeedTheEdgeNodes) {
  // Without edge silences nodes 2 and 3 are the words a and b: the rules would link c and d
  // back to b and the start node past a and b.
  recogParam all;
  all.addLink4stopAnywhere = all.addLink4startAnywhere = all.addLink4forwardJump = 1;
  all.addLink4skippableTrailingSil = all.addLink4skippableLeadingSil = 1;
  textClass text;
  text.m_sylVs = {"a-b-c-d\t0"};
  testing::internal::CaptureStdout();
  text.treeNetCreate(all, 0, 0, 0);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_THAT(text.m_netVs, ElementsAreArray(expectedNet({N, N, {"a", ""}, {"b", ""}, {"c", ""}, {"d", ""}},
                                                         {{0, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 1}})));
  EXPECT_THAT(printed, testing::MatchesRegex("Warning: the net has no leading and trailing silence [^\n]*"
                                             "no extra links are added \\(line [0-9]+ in text\\)\n"));

  // Fillers alone hang on null junctions 2 and 3, which are no edge silences: the rules are
  // skipped with the same warning, and the net is the one built without them.
  textClass fillers;
  fillers.m_sylVs = {"a-b\t0"};
  testing::internal::CaptureStdout();
  fillers.treeNetCreate(all, 1, 0, 0);
  EXPECT_THAT(testing::internal::GetCapturedStdout(),
              testing::MatchesRegex("Warning: the net has no leading and trailing silence [^\n]*\n"));
  EXPECT_THAT(fillers.m_netVs, ElementsAreArray(treeNet({"a-b\t0"}, 1, 0, 0)));

  // With the edge silences as well, the junctions are the edges and the rules apply.
  const strVec withEdges = treeNet({"a-b\t0"}, 1, 0, 1, all);
  EXPECT_THAT(withEdges, testing::Contains(testing::MatchesRegex("J=[0-9]+\tS=4\tE=3"))) << "stop anywhere from a";
}

TEST(SausageNetCreate, SlotsOfAlternativesFromTheLexicon) {
  // Two Big5 characters: the first with alternatives x2 and x1 (and x2 again), the second with y.
  const std::string first = "\xa4\x40", second = "\xa4\x41";
  std::vector<wpaEntry> wpa{{first, {"x2", "x1", "x2"}, {}}, {second, {"y"}, {}}};
  recogParam param;
  param.language = "chinese";
  param.usePaddedSoftSil = 0;
  textClass text;
  text.m_txtVs = {first + second};
  text.m_txtVsNormalized = text.m_txtVs;
  text.sausageNetCreate(wpa, param);
  EXPECT_THAT(text.m_netVs, ElementsAreArray(expectedNet(
                                {N, N, SIL, SIL, {"x1", first.c_str()}, {"x2", first.c_str()}, {"y", second.c_str()}},
                                {{0, 2}, {3, 1}, {2, 4}, {2, 5}, {4, 6}, {5, 6}, {6, 3}})));

  param.usePaddedSoftSil = 1;
  text.sausageNetCreate(wpa, param);
  EXPECT_THAT(text.m_netVs,
              ElementsAreArray(expectedNet(
                  {N, N, SIL, SIL, {"x1", first.c_str()}, {"x2", first.c_str()}, SIL, {"y", second.c_str()}},
                  {{0, 2}, {3, 1}, {2, 4}, {2, 5}, {4, 6}, {5, 6}, {6, 7}, {4, 7}, {5, 7}, {7, 3}})));
}

TEST(SausageNetCreate, MissingWordsAndBadTexts) {
  recogParam param;
  param.language = "chinese";
  param.usePaddedSoftSil = 0;
  textClass text;
  text.m_txtVs = {"\xa4\x40"};
  text.m_txtVsNormalized = text.m_txtVs;
  testing::internal::CaptureStdout();
  text.sausageNetCreate({}, param);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: Found no pinyin for \"\xa4\x40\" in \"\xa4\x40\". Use \"a\" instead.\n");
  EXPECT_EQ(text.m_netVs[6], "I=4\tW=a@-1@\xa4\x40");

  recogParam english;
  english.language = "english";
  textClass words;
  words.m_txtVs = {"hello"};
  words.m_txtVsNormalized = words.m_txtVs;
  EXPECT_THAT(quietFatalMessage([&] { words.sausageNetCreate({}, english); }),
              testing::MatchesRegex("Error: Found no pronunciation entry for hello. Please add the pronunciation to "
                                    "wpaAddendaFile. \\(line [0-9]+ of file text\\)"));

  textClass two;
  two.m_txtVs = {"a", "b"};
  EXPECT_THAT(quietFatalMessage([&] { two.sausageNetCreate({}, param); }),
              testing::MatchesRegex("Error: m_txtVs.size\\(\\)=!1, which cannot be transformed into sausage net at "
                                    "line [0-9]+ of file text!"));
  textClass empty;
  empty.m_txtVs = {""};
  empty.m_txtVsNormalized = {""};
  EXPECT_THAT(quietFatalMessage([&] { empty.sausageNetCreate({}, param); }), HasSubstr("holds no unit"));
  textClass none;
  EXPECT_THAT(quietFatalMessage([&] { none.treeNetCreate(param, 0, 0, 0); }),
              testing::MatchesRegex("Error: m_sylVs.size\\(\\)=0 at line [0-9]+ of file text!"));
}

TEST(AddLinkRules, ForwardJumpLinksEveryLaterNodeOnce) {
  textClass text;
  std::vector<wordNetNode> nodes{{"!NULL", ""}, {"!NULL", ""}, {"sil", ""}, {"sil", ""},
                                 {"a", ""},     {"!NULL", ""}, {"b", ""}};
  std::vector<netLink> links{{4, 6}};
  text.addLink4forwardJump(nodes, links);
  ASSERT_EQ(links.size(), 2u);  // 4->5 added; 4->6 was there; 5 is null and jumps nowhere
  EXPECT_EQ(links[1].start, 4);
  EXPECT_EQ(links[1].end, 5);
}
