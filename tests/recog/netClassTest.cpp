#include "netClass.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "dictClass.h"
#include "fatalCatch.h"
#include "netTextFixture.h"
#include "platform/byteOrder.h"
#include "testFiles.h"
#include "watchdog.h"

using namespace tulim;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::MatchesRegex;
using tulim::test::scratchDir;
using tulim::test::fatalMessage;
using tulim::test::netLines;

namespace {

// A sorted pronunciation dictionary: ba (models 0 1), bi (2 -1: one model unresolved),
// filler, sil, sp.
dictClass smallDict() {
  dictClass dict;
  dict.m_pronDict = {{"ba", {0, 1}}, {"bi", {2, -1}}, {"filler", {3}}, {"sil", {4}}, {"sp", {5}}};
  return dict;
}

// 0 start, 1 end, 2 sil, 3 sil, 4 ba, 5 ba (tag x@y), 6 null, 7 given index, 8 null chain.
const strVec kNodes{"!NULL", "!NULL", "sil", "sil", "ba", "ba@-1@x@y", "!null@5", "bi@1@tag \r", "!Null"};
const std::vector<std::pair<int, int>> kLinks{{0, 2}, {2, 4}, {2, 6}, {4, 5}, {4, 5}, {5, 3},
                                              {6, 8}, {8, 7}, {8, 4}, {7, 3}, {3, 1}};

void expectSameNet(const netClass& a, const netClass& b) {
  ASSERT_EQ(a.m_node.size(), b.m_node.size());
  EXPECT_EQ(a.m_nodeNum, b.m_nodeNum);
  EXPECT_EQ(a.m_linkNum, b.m_linkNum);
  for (size_t i = 0; i < a.m_node.size(); ++i) {
    EXPECT_EQ(a.m_node[i].dicIndex, b.m_node[i].dicIndex) << i;
    EXPECT_EQ(a.m_node[i].fanOutDirect, b.m_node[i].fanOutDirect) << i;
    EXPECT_EQ(a.m_node[i].fanOutIndirect, b.m_node[i].fanOutIndirect) << i;
  }
}

}  // namespace

TEST(NetVs2net, ReadsEveryNodeFormAndCollectsFanOutThroughNullNodes) {
  dictClass dict = smallDict();
  netClass net;
  net.netCreate(netLines(kNodes, kLinks), dict);

  EXPECT_EQ(net.m_nodeNum, 9);
  EXPECT_EQ(net.m_linkNum, 11);
  struct Expected {
    int dicIndex;
    const char* sylStr;
    const char* sylTag;
  } expected[] = {{-1, "!NULL", ""}, {-1, "!NULL", ""}, {3, "sil", ""}, {3, "sil", ""}, {0, "ba", ""},
                  {0, "ba", "x@y"},  {-1, "!null", ""}, {1, "bi", "tag"}, {-1, "!Null", ""}};
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(net.m_node[i].dicIndex, expected[i].dicIndex) << i;
    EXPECT_EQ(net.m_node[i].sylStr, expected[i].sylStr) << i;
    EXPECT_EQ(net.m_node[i].sylTag, expected[i].sylTag) << i;
  }
  EXPECT_THAT(net.m_node[4].fanOutDirect, ElementsAre(5, 5));
  EXPECT_THAT(net.m_node[4].fanOutIndirect, ElementsAre(5, 5));     // the duplicate link counts twice
  EXPECT_THAT(net.m_node[2].fanOutIndirect, ElementsAre(4, 7, 4));  // through 6 and 8
  EXPECT_THAT(net.m_node[3].fanOutIndirect, ElementsAre());         // only the null end follows
  EXPECT_THAT(net.m_node[0].fanOutIndirect, ElementsAre(2));
  EXPECT_EQ(net.maxFanOutNum(), 3);
  // The used syllable bi had an unresolved model: model 0 stands in, in the dictionary.
  EXPECT_THAT(dict.m_pronDict[1].modelIndex, ElementsAre(2, 0));
}

TEST(NetVs2net, PrintedNetReadsBackIdentical) {
  dictClass dict = smallDict();
  netClass net;
  net.netCreate(netLines(kNodes, kLinks), dict);
  scratchDir dir;
  net.netPrint(dir.file("a.net"));
  std::string text = tulim::test::readFile(dir.file("a.net"));
  EXPECT_THAT(text, testing::StartsWith("VERSION=1.0 (by netClass::netPrint())\nN=9\tL=11\nI=0\tW=!NULL@-1@\n"));
  EXPECT_THAT(text, HasSubstr("\nI=5\tW=ba@0@x@y\n"));
  EXPECT_THAT(text, HasSubstr("\nJ=3\tS=3\tE=1\nJ=4\tS=4\tE=5\nJ=5\tS=4\tE=5\n"));

  netClass back;
  back.netLoad(dir.file("a.net"), dict);
  expectSameNet(net, back);
  for (size_t i = 0; i < net.m_node.size(); ++i) {
    EXPECT_EQ(back.m_node[i].sylStr, net.m_node[i].sylStr);
    EXPECT_EQ(back.m_node[i].sylTag, net.m_node[i].sylTag);
  }
}

TEST(NetVs2net, LinkLinesSkipTheirFirstTokenAfterLeadingBlanks) {
  dictClass dict = smallDict();
  strVec lines{"VERSION=1.0", "N=3 L=2", "I=0\tW=!NULL", "I=1\tW=!NULL", "I=2\tW=ba", "  J=0\tS=0\tE=2",
               "\tJ=1 S=2 E=1"};
  netClass net;
  net.netCreate(lines, dict);
  EXPECT_THAT(net.m_node[0].fanOutDirect, ElementsAre(2));
  EXPECT_THAT(net.m_node[2].fanOutDirect, ElementsAre(1));
}

TEST(NetReadBin, RoundTripKeepsNullNodesAnywhere) {
  dictClass dict = smallDict();
  netClass net;
  net.netCreate(netLines(kNodes, kLinks), dict);
  scratchDir dir;
  net.netWriteBin(dir.file("a.netb"));
  std::string bytes = tulim::test::readFile(dir.file("a.netb"));
  ASSERT_EQ(bytes.size(), 8u + 4 * 7 + 8 * 11);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
  EXPECT_EQ(readLittleEndian32(p), 9u);
  EXPECT_EQ(readLittleEndian32(p + 4), 11u);
  EXPECT_EQ(readLittleEndian32(p + 8 + 4 * 4), 0xffffffffu);  // node 6 is null

  netClass back;
  back.netRead(dir.file("a.netb"), dict);
  expectSameNet(net, back);
  EXPECT_EQ(back.m_node[6].sylStr, "!NULL");
  EXPECT_EQ(back.m_node[4].sylStr, "");
}

TEST(NetWriters, AFullDiskIsFatalNamingTheFile) {
  dictClass dict = smallDict();
  netClass net;
  net.netCreate(netLines(kNodes, kLinks), dict);
  const std::function<void()> writes[] = {[&] { net.netPrint("/dev/full"); }, [&] { net.netWriteBin("/dev/full"); }};
  for (const std::function<void()>& write : writes)
    EXPECT_THAT(fatalMessage(write), MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}

TEST(NetReadBin, RejectsCorruptImages) {
  dictClass dict = smallDict();
  scratchDir dir;
  auto image = [](std::vector<uint32_t> words) {
    std::string bytes;
    for (uint32_t w : words) appendLittleEndian32(bytes, w);
    return bytes;
  };
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"short header", image({3}), "too short"},
      {"one node", image({1, 0}), "declares 1 nodes"},
      {"negative links", image({2, 0xffffffffu}), "declares 2 nodes and -1 links"},
      {"truncated", image({3, 1, 0, 0}), "need 20"},
      {"trailing bytes", image({3, 1, 0, 0, 2, 7}), "need 20"},
      {"index past the dictionary", image({3, 0, 5}), "sylIndex (5) out of the range of [0, 5]"},
      {"index below -1", image({3, 0, 0xfffffffeu}), "sylIndex (-2)"},
      {"link outside", image({3, 1, 0, 0, 3}), "link 0 from 0 to 3 leaves the net of 3 nodes"},
      {"null cycle", image({4, 3, 0, 0xffffffffu, 0, 3, 3, 1, 1, 3}), "cycle of null nodes"},
  };
  for (const Case& c : cases) {
    std::string path = dir.write("bad.netb", c.bytes);
    netClass net;
    EXPECT_THAT(fatalMessage([&] { net.netRead(path, dict); }), HasSubstr(c.message)) << c.what;
  }
}

TEST(NetVs2net, RejectsBadNetsWithAMessage) {
  dictClass dict = smallDict();
  dictClass empty;
  struct Case {
    const char* what;
    strVec lines;
    const char* message;
  } cases[] = {
      {"no lines", {}, "Error: netVs.size\\(\\)==0! \\(line [0-9]+ of file net\\)"},
      {"no counts", {"VERSION=1.0"}, ".*no \"N=.*"},
      {"bad counts", {"VERSION=1.0", "N=x"}, ".*cannot parse the counts.*"},
      {"negative", {"VERSION=1.0", "N=-1\tL=0"}, ".*negative counts N=-1 L=0.*"},
      {"too few lines", {"VERSION=1.0", "N=2\tL=1", "I=0\tW=!NULL", "I=1\tW=!NULL"},
       ".*declares 2 nodes and 1 links but has 2 lines.*"},
      {"unknown syllable", netLines({"zz"}, {}),
       "Error: \"zz\" \\(nodeIndex=0\\) not found in the pronunciation dictionary. \\(line [0-9]+ of file net\\)\n"},
      {"index out of range", netLines({"ba@7"}, {}),
       "Error: sylIndex \\(7\\) out of the range of \\[0, 5\\]! \\(line [0-9]+ of file net\\)\n"},
      {"link outside", netLines({"!NULL", "!NULL"}, {{0, 2}}), ".*link 0 from 0 to 2 leaves the net of 2 nodes.*"},
      {"null cycle", netLines({"!NULL", "!NULL", "!NULL", "ba"}, {{0, 2}, {2, 1}, {1, 2}, {2, 3}}),
       ".*null node [12] lies on a cycle of null nodes.*"},
      {"bad node line", {"V", "N=1\tL=0", "X=0"}, ".*cannot parse the node in net line 2.*"},
  };
  for (const Case& c : cases) {
    netClass net;
    EXPECT_THAT(fatalMessage([&] { net.netCreate(c.lines, dict); }), MatchesRegex(c.message)) << c.what;
  }
  netClass net;
  EXPECT_THAT(fatalMessage([&] { net.netCreate(netLines({"ba"}, {}), empty); }),
              MatchesRegex("Error: myDict.m_pronDict.size\\(\\)==0! \\(line [0-9]+ of file net\\)"));
  EXPECT_THAT(fatalMessage([&] { net.netRead("x.txt", dict); }),
              MatchesRegex("Error in reading x.txt: The only allowed extension are \"net\" and \"netb\".  "
                           "\\(line [0-9]+ of file net\\)\n"));
}

TEST(NetLinks, AdditionsFollowTheirRulesAndReachTheSearch) {
  // 0 start, 1 end, 2 sil, 3 sil, 4 ba, 5 sp, 6 bi: sil ba sp bi sil.
  const strVec nodes{"!NULL", "!NULL", "sil", "sil", "ba", "sp", "bi"};
  const std::vector<std::pair<int, int>> links{{0, 2}, {2, 4}, {4, 5}, {5, 6}, {6, 3}, {3, 1}};
  dictClass dict = smallDict();
  struct Case {
    const char* what;
    void (netClass::*add)();
    int node;
    std::vector<int> direct;
    std::vector<int> indirect;
  } cases[] = {
      {"stop anywhere", &netClass::linkStopAnywhere, 4, {5, 3}, {5, 3}},
      {"start anywhere", &netClass::linkStartAnywhere, 2, {4, 6}, {4, 6}},
      {"skippable trailing sil", &netClass::linkSkippableTrailingSil, 6, {3, 1}, {3}},
      {"skippable leading sil", &netClass::linkSkippableLeadingSil, 0, {2, 4}, {2, 4}},
  };
  for (const Case& c : cases) {
    netClass net;
    net.netCreate(netLines(nodes, links), dict);
    (net.*c.add)();
    EXPECT_EQ(net.m_node[static_cast<size_t>(c.node)].fanOutDirect, c.direct) << c.what;
    EXPECT_EQ(net.m_node[static_cast<size_t>(c.node)].fanOutIndirect, c.indirect) << c.what;
    EXPECT_EQ(net.m_linkNum, 7) << c.what;
  }
  netClass net;
  net.netCreate(netLines(nodes, links), dict);
  net.linkStopAnywhere();
  net.linkStopAnywhere();  // the presence test keeps it from adding twice
  EXPECT_THAT(net.m_node[6].fanOutDirect, ElementsAre(3));
  EXPECT_EQ(net.sylCountOnFirstPath(), 2);  // ba and bi; sp is not counted
}

TEST(NetClass, MaxFanOutThroughANullNodeAndPenalties) {
  strVec nodes{"!NULL", "!NULL", "!NULL"};
  std::vector<std::pair<int, int>> links{{0, 2}};
  for (int i = 0; i < 40; ++i) {
    nodes.push_back(i % 2 ? "filler" : "ba");
    links.push_back({2, 3 + i});
    links.push_back({3 + i, 1});
  }
  dictClass dict = smallDict();
  netClass net;
  net.netCreate(netLines(nodes, links), dict);
  EXPECT_EQ(net.maxFanOutNum(), 40);
  EXPECT_EQ(net.m_node[0].fanOutIndirect.size(), 40u);
  net.m_node[3].penalty = 7.0f;
  net.nodePenaltySet(-2.5f);
  EXPECT_EQ(net.m_node[3].penalty, 0.0f);
  EXPECT_EQ(net.m_node[4].penalty, -2.5f);
  EXPECT_EQ(netClass().maxFanOutNum(), 0);
}

TEST(NetClass, NullDiamondsLeadingNowhereAreWalkedOnce) {
  // 0 start, 1 end, 2 ba, then 40 layers of two null nodes joined by a null node: 2^40
  // paths through null nodes, none of them to a real node.
  strVec nodes{"!NULL", "!NULL", "ba"};
  std::vector<std::pair<int, int>> links{{0, 2}};
  int join = 2;
  for (int layer = 0; layer < 40; ++layer) {
    const int a = static_cast<int>(nodes.size());
    nodes.insert(nodes.end(), {"!NULL", "!NULL", "!NULL"});
    links.insert(links.end(), {{join, a}, {join, a + 1}, {a, a + 2}, {a + 1, a + 2}});
    join = a + 2;
  }
  links.push_back({join, 1});
  dictClass dict = smallDict();
  netClass net;
  test::watchdog guard("fan-out through null diamonds", 60);
  net.netCreate(netLines(nodes, links), dict);
  EXPECT_TRUE(net.m_node[2].fanOutIndirect.empty());
  EXPECT_THAT(net.m_node[0].fanOutIndirect, ElementsAre(2));
}

namespace {

struct netShape {
  strVec nodes;
  std::vector<std::pair<int, int>> links;
};

// 0 start, 1 end, 2 the real node ba, nodes 3 .. 3+chain-1 a chain of null nodes, then
// `entries` bi nodes that the start links to and that each link into the chain's head.
// Every chain link (and the last one, to ba) is doubled, so each bi node reaches ba
// 2^chain times. Duplicate links are legal.
netShape sharedNullChain(int entries, int chain) {
  netShape net{{"!NULL", "!NULL", "ba"}, {{2, 1}}};
  const int head = 3;
  for (int k = 0; k < chain; ++k) {
    net.nodes.push_back("!NULL");
    const int next = k + 1 < chain ? head + k + 1 : 2;
    net.links.insert(net.links.end(), {{head + k, next}, {head + k, next}});
  }
  for (int r = 0; r < entries; ++r) {
    const int node = static_cast<int>(net.nodes.size());
    net.nodes.push_back("bi");
    net.links.insert(net.links.end(), {{0, node}, {node, head}});
  }
  return net;
}

// The "netb" image of a net whose nodes are "!NULL", "ba" (index 0) or "bi" (index 1).
std::string netbImage(const netShape& net) {
  std::string bytes;
  appendLittleEndian32(bytes, static_cast<uint32_t>(net.nodes.size()));
  appendLittleEndian32(bytes, static_cast<uint32_t>(net.links.size()));
  for (size_t i = 2; i < net.nodes.size(); ++i)
    appendLittleEndian32(bytes, net.nodes[i] == "!NULL" ? 0xffffffffu : net.nodes[i] == "ba" ? 0u : 1u);
  for (const auto& link : net.links) {
    appendLittleEndian32(bytes, static_cast<uint32_t>(link.first));
    appendLittleEndian32(bytes, static_cast<uint32_t>(link.second));
  }
  return bytes;
}

}  // namespace

TEST(NetClass, SharedNullSubNetsAreCollectedOnceAndBoundedNetWide) {
  dictClass dict = smallDict();
  const netShape small = sharedNullChain(3, 4);
  netClass net;
  net.netCreate(netLines(small.nodes, small.links), dict);
  EXPECT_THAT(net.m_node[0].fanOutIndirect, ElementsAre(7, 8, 9));
  for (size_t r = 7; r < 10; ++r) EXPECT_EQ(net.m_node[r].fanOutIndirect, std::vector<int>(16, 2)) << r;
  EXPECT_EQ(net.m_node[6].fanOutIndirect, std::vector<int>(2, 2));

  // 60 nodes of 2^18 entries each: 15.7 million in all, each node well inside its own
  // limit. The same net as text and as image, each named in the message.
  const netShape big = sharedNullChain(60, 18);
  scratchDir dir;
  const std::string text = dir.write("chain.net", stringJoin(netLines(big.nodes, big.links), "\n") + "\n");
  const std::string image = dir.write("chain.netb", netbImage(big));
  for (const std::string& path : {text, image}) {
    netClass wide;
    EXPECT_THAT(fatalMessage([&] { wide.netRead(path, dict); }),
                MatchesRegex("Error: the nodes of " + path + " reach more than MAX_NET_INDIRECT_FAN_OUT = 10000000 "
                             "nodes through null nodes in all \\(line [0-9]+ of file net\\)"));
  }
}

TEST(NetVs2net, RefusesAnUnreadableIndexAndANetWithoutAPathNamingFileAndLine) {
  dictClass dict = smallDict();
  scratchDir dir;
  // The empty line counts in the file: node 1 stands on line 5.
  const std::string badIndex =
      dir.write("i.net", "VERSION=1.0\nN=3\tL=2\n\nI=0\tW=!NULL\nI=1\tW=ba@abc\nI=2\tW=!NULL\nJ=0\tS=0\tE=1\nJ=1\tS=1\tE=2\n");
  netClass net;
  EXPECT_THAT(fatalMessage([&] { net.netRead(badIndex, dict); }),
              MatchesRegex("Error: node 1 has the dictionary index \"abc\", not a decimal integer, at line 5 of " +
                           badIndex + " \\(line [0-9]+ of file net\\)"));
  EXPECT_THAT(fatalMessage([&] { net.netCreate(netLines({"!NULL", "ba@", "!NULL"}, {{0, 1}, {1, 2}}), dict); }),
              HasSubstr("node 1 has the dictionary index \"\", not a decimal integer, at line 4 of the given net lines"));

  // One start (0) and one end (1), as the search finds them, but 0 leads only into the
  // loop 2-3, and the loop 4-5 that feeds the end is entered from nowhere else.
  const netShape cut{{"!NULL", "!NULL", "ba", "bi", "ba", "bi"}, {{0, 2}, {2, 3}, {3, 2}, {4, 1}, {4, 5}, {5, 4}}};
  EXPECT_THAT(fatalMessage([&] { net.netCreate(netLines(cut.nodes, cut.links), dict); }),
              HasSubstr("Error: the given net lines has no path from its start node 0 to its end node 1"));
  const std::string image = dir.write("cut.netb", netbImage(cut));
  EXPECT_THAT(fatalMessage([&] { net.netRead(image, dict); }),
              MatchesRegex("Error: " + image +
                           " has no path from its start node 0 to its end node 1 \\(line [0-9]+ of file net\\)"));
}

// A node line that gives an index names the entry whose models the search scores; a name
// that differs says the net was made with another dictionary.
TEST(NetVs2net, ANodeNameMustBeTheNameOfItsDictionaryEntry) {
  struct Case {
    const char* w;
    const char* refused;  // the name and entry of the message, or nullptr when read
  } cases[] = {
      {"ba@0", nullptr},
      {"ba@0@tag", nullptr},
      {"@1", nullptr},  // a net read from "netb" and written again has no names
      {"ba", nullptr},
      {"re@0", "names \"re\", but dictionary entry 0 is \"ba\""},
      {"bi@0@x", "names \"bi\", but dictionary entry 0 is \"ba\""},
      {"Ba@0", "names \"Ba\", but dictionary entry 0 is \"ba\""},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    dictClass dict = smallDict();
    const std::string line = std::string("I=1\tW=") + c.w;
    const std::string path =
        dir.write("n.net", "VERSION=1.0\nN=3\tL=2\nI=0\tW=!NULL\n" + line + "\nI=2\tW=!NULL\nJ=0\tS=0\tE=1\nJ=1\tS=1\tE=2\n");
    netClass net;
    if (!c.refused) {
      net.netRead(path, dict);
      EXPECT_EQ(net.m_nodeNum, 3) << c.w;
      continue;
    }
    EXPECT_THAT(fatalMessage([&] { net.netRead(path, dict); }),
                testing::StartsWith("Error: net line 4 \"" + line + "\" of " + path + " " + c.refused + " (line "))
        << c.w;
  }
}

TEST(NetClass, BrowserAndVectorPrinter) {
  dictClass dict = smallDict();
  netClass net;
  net.netCreate(netLines(kNodes, kLinks), dict);
  scratchDir dir;
  FILE* in = freopen(dir.write("in.txt", "4\n99\n").c_str(), "r", stdin);
  ASSERT_NE(in, nullptr);
  testing::internal::CaptureStdout();
  net.treeNetBrowse();
  intVecPrint({1, 2}, "v");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "m_nodeNum = 9\n"
            "Please input a tree net index within [0 8]: \tNode index = 4\n"
            "\tm_node[4].dicIndex = 0\n"
            "\tm_node[4].sylStr = \"ba\"\n"
            "\t2 direct fanout node = 5(ba) 5(ba) \n"
            "\t2 indirect fanout node = 5(ba) 5(ba) \n"
            "Please input a tree net index within [0 8]: Index out of bound! Exiting...\n"
            "v = 1 2 \n");
}

// ---- Shared line ends ------------------------------------------------------------------------

namespace {

// The syllable sequences of every path from the start node to the end node (a net without
// cycles), sorted.
strVec pathsOf(const netClass& net) {
  strVec out;
  std::function<void(int, std::string)> walk = [&](int node, std::string path) {
    const netNode& n = net.m_node[static_cast<size_t>(node)];
    if (n.dicIndex >= 0) path += "-" + n.sylStr;
    if (n.fanOutDirect.empty()) out.push_back(path);
    for (int e : n.fanOutDirect) walk(e, path);
  };
  walk(0, "");
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(LineEndsShare, MergesEqualEndsAndKeepsEveryPath) {
  dictClass dict = smallDict();
  // 0 start, 1 end, 2 and 3 sil; the lines ba-bi-ba, bi-bi-ba and ba-ba end alike.
  const strVec nodes{"!NULL", "!NULL", "sil", "sil", "ba", "bi", "ba", "bi", "bi", "ba", "ba", "ba"};
  const std::vector<std::pair<int, int>> links{{0, 2}, {3, 1}, {2, 4},  {4, 5}, {5, 6},  {6, 3},
                                               {2, 7}, {7, 8}, {8, 9},  {9, 3}, {2, 10}, {10, 11}, {11, 3}};
  netClass net;
  net.netCreate(netLines(nodes, links), dict);
  const strVec before = pathsOf(net);
  net.lineEndsShare(4);
  EXPECT_EQ(pathsOf(net), before);
  // The last "ba" of all three lines is one node, and so is the "bi" before it of the first
  // two: 4 ba, 5 bi, 6 ba, 7 bi, 8 ba remain (node 4 still the first word).
  EXPECT_EQ(net.m_nodeNum, 9);
  EXPECT_EQ(net.m_node[4].sylStr, "ba");
  EXPECT_EQ(net.m_node[2].fanOutDirect, (std::vector<int>{4, 7, 8}));
  EXPECT_EQ(net.m_node[7].fanOutDirect, (std::vector<int>{5}));
  EXPECT_EQ(net.m_node[8].fanOutDirect, (std::vector<int>{6}));
  EXPECT_EQ(net.m_linkNum, 10);
  EXPECT_EQ(net.maxFanOutNum(), 3);

  // Sharing again changes nothing.
  netClass again = net;
  again.lineEndsShare(4);
  expectSameNet(again, net);
}

TEST(LineEndsShare, LeavesNodesOnCyclesAndBeforeTheFirstAlone) {
  dictClass dict = smallDict();
  // Fillers looping on the junctions 2 and 3, as comparison mode 3 adds them; two "ba" words.
  const strVec nodes{"!NULL", "!NULL", "!NULL", "!NULL", "ba", "ba", "filler", "filler"};
  const std::vector<std::pair<int, int>> links{{0, 2}, {3, 1}, {2, 4}, {2, 5}, {4, 3},
                                               {5, 3}, {2, 6}, {6, 2}, {3, 7}, {7, 3}};
  netClass net;
  net.netCreate(netLines(nodes, links), dict);
  net.lineEndsShare(4);
  // The two words merge; the fillers, on cycles, stay.
  EXPECT_EQ(net.m_nodeNum, 7);
  EXPECT_EQ(net.m_node[2].fanOutDirect, (std::vector<int>{4, 5}));
  EXPECT_EQ(net.m_node[5].sylStr, "filler");
  EXPECT_EQ(net.m_node[6].sylStr, "filler");
}
