#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dictClass.h"
#include "exactSearch.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "netClass.h"
#include "recogTask.h"
#include "testFiles.h"
#include "textClass.h"

using namespace tulim;
using tulim::test::FIXTURE_VECTOR_SIZE;
using tulim::test::scratchDir;

namespace {

// Well-separated models; every syllable is one model but "ab", "cd" and "ef", which are two.
const strVec MODELS = {"a", "b", "c", "d", "e", "f", "g", "h", "sil", "sp"};
const char* const DICTIONARY =
    "a a\nab a b\nb b\nc c\ncd c d\nd d\ne e\nef e f\nf f\ng g\nh h\nsil sil\nsp sp\n";

int modelOf(const std::string& name) {
  return static_cast<int>(std::find(MODELS.begin(), MODELS.end(), name) - MODELS.begin());
}

// A Taiwanese recognition over the syllables of DICTIONARY, without end points (the net is
// framed by "sil" nodes) and without a beam: only the candidate count prunes.
struct noisyTask {
  scratchDir dir;
  recogParam param;
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;
  int candidateNum = 0, arenaLen = 0;

  noisyTask() {
    param.language = "taiwanese";
    param.function = "recog";
    param.maxCandidateNum = 1000;
    param.probTh = 1000000;
    param.useDescCandidateNum = 0;
    param.useEpd = 0;
    param.dicFile = dir.write("syl.dic", DICTIONARY);
    param.tnmFile = dir.write("map.tnm", "");
    param.txtFile = dir.write("texts.txt", "t\n");
    test::modelSetPrepare(mac, MODELS);
    testing::internal::CaptureStdout();
    recogTask().dictPrepare(param, mac, dict, text, net);
    testing::internal::GetCapturedStdout();
  }
  void prepare() {
    testing::internal::CaptureStdout();
    try {
      recogTask().netPrepare(param, mac, dict, text, net, candidateNum, arenaLen);
    } catch (char* message) {
      testing::internal::GetCapturedStdout();
      FAIL() << message;
    }
    testing::internal::GetCapturedStdout();
  }
};

// Frames of the models of the syllables spoken (each state 3 frames, "sil" around them when
// the net has edge silences) with white noise of the given deviation (the states' deviation
// is 1, their means 5 apart).
std::vector<float> noisySpeech(const strVec& syllables, bool edges, float deviation, unsigned seed) {
  strVec models;
  if (edges) models.push_back("sil");
  for (const std::string& s : syllables)
    for (char c : s) models.push_back(std::string(1, c));
  if (edges) models.push_back("sil");
  std::mt19937 gen(seed);
  std::normal_distribution<float> noise(0.0f, deviation);
  std::vector<float> features;
  for (const std::string& m : models) {
    const int k = m == "sil" ? modelOf("sil") : modelOf(m);
    for (int state = 0; state < 3; state++)
      for (int f = 0; f < 3; f++)
        for (float v : test::fixtureFrame(k, state)) features.push_back(v + noise(gen));
  }
  return features;
}

// The chains of syllables of a net with a null start, fanOut parallel chains of three
// syllables each, and a null end.
std::string fanOutNet(int fanOut) {
  const char* const syllables[] = {"a", "b", "c", "d", "e", "f", "g", "h", "ab", "cd", "ef"};
  std::string nodes, links;
  int linkNum = 0;
  auto link = [&](int from, int to) {
    links += "J=" + std::to_string(linkNum++) + "\tS=" + std::to_string(from) + "\tE=" + std::to_string(to) + "\n";
  };
  nodes = "I=0\tW=!NULL\nI=1\tW=!NULL\n";
  int node = 2;
  for (int b = 0; b < fanOut; b++) {
    for (int k = 0; k < 3; k++) {
      nodes += "I=" + std::to_string(node) + "\tW=" + syllables[(b * 3 + k * 5 + b / 11) % 11] + "\n";
      link(k == 0 ? 0 : node - 1, node);
      node++;
    }
    link(node - 1, 1);
  }
  return "VERSION=1.0\nN=" + std::to_string(node) + "\tL=" + std::to_string(linkNum) + "\n" + nodes + links;
}

}  // namespace

// Each net is searched on speech of one of its paths buried in noise, where partial paths of
// every kind score alike for long stretches: the engine's best complete path must be the
// exact search's, score for score.
TEST(SearchOnNoisySpeech, EngineEndsInTheExactBestPathOfEveryNet) {
  struct Case {
    const char* name;
    std::string sylLines;  // a tree net from these lines, or
    int fanOut;            // a net file of this many parallel chains
    strVec spoken;
  } cases[] = {
      // One text whose second, fourth and sixth words have two pronunciations each: eight
      // full lines, which share their beginnings in the tree and their ends once shared.
      {"alternative pronunciations",
       "a-b-d-e-g-h\t0\na-b-d-e-g-a\t0\na-b-d-f-g-h\t0\na-b-d-f-g-a\t0\n"
       "a-c-d-e-g-h\t0\na-c-d-e-g-a\t0\na-c-d-f-g-h\t0\na-c-d-f-g-a\t0\n",
       0,
       {"a", "c", "d", "f", "g", "h"}},
      {"several texts",
       "ab-cd-ef-g\t0\nab-cd-h-g\t1\nef-cd-ab-g-h\t2\ng-h-a-b-c\t3\nab-ef-cd-g-h-a\t4\n", 0,
       {"ab", "cd", "h", "g"}},
      {"fan-out 2", "", 2, {"a", "f", "c"}},
      {"fan-out 5", "", 5, {"d", "ab", "f"}},
      {"fan-out 20", "", 20, {"a", "f", "c"}},
      {"fan-out 30", "", 30, {"a", "f", "c"}},
  };
  for (const Case& c : cases)
    for (float deviation : {2.0f, 4.0f, 6.0f})
      for (unsigned seed : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << c.name << ", noise " << deviation << ", seed " << seed);
        noisyTask task;
        if (c.fanOut > 0)
          task.param.netFile = task.dir.write("fan.net", fanOutNet(c.fanOut));
        else
          task.param.sylFile = task.dir.write("syl.txt", c.sylLines);
        task.prepare();
        const std::vector<float> features = noisySpeech(c.spoken, c.fanOut == 0, deviation, seed);
        const int frames = static_cast<int>(features.size()) / FIXTURE_VECTOR_SIZE;
        test::searchComparison r;
        testing::internal::CaptureStdout();
        try {
          r = test::searchCompare(task.net.m_node, task.dict, features.data(), FIXTURE_VECTOR_SIZE, frames, task.mac,
                                  task.candidateNum, task.arenaLen, static_cast<float>(task.param.probTh), 0);
        } catch (char* message) {
          testing::internal::GetCapturedStdout();
          FAIL() << message;
        }
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(r.exact.found);
        EXPECT_TRUE(r.engineComplete);
        EXPECT_EQ(r.engine, r.exact.score);
        EXPECT_FALSE(r.error());
      }
}

// The nets of texts are searched with fewer states when lines end alike, and keep a candidate
// for every state (the fan-out count the least, maxCandidateNum the cap).
TEST(SearchOnNoisySpeech, CandidatesCoverTheStatesOfTheSharedNet) {
  noisyTask task;
  task.param.sylFile = task.dir.write("syl.txt", "a-b-d-e\t0\na-c-d-e\t0\n");
  task.prepare();
  // sil, a, b, c, d, e, sil and the null start and end: "d-e" is shared by both lines.
  EXPECT_EQ(task.net.m_nodeNum, 9);
  EXPECT_EQ(task.net.emittingStateNum(task.dict, task.mac), 21);
  EXPECT_EQ(task.candidateNum, 100);

  noisyTask wide;
  wide.param.netFile = wide.dir.write("fan.net", fanOutNet(30));
  wide.prepare();
  // Three states a model; "ab", "cd" and "ef" have two models.
  long long states = 0;
  for (const netNode& n : wide.net.m_node)
    if (n.dicIndex >= 0) states += n.sylStr.size() == 2 ? 6 : 3;
  EXPECT_EQ(wide.net.emittingStateNum(wide.dict, wide.mac), states);
  EXPECT_GT(states, 4 * 30);
  EXPECT_EQ(wide.candidateNum, wide.net.emittingStateNum(wide.dict, wide.mac));
  wide.param.maxCandidateNum = 200;
  wide.prepare();
  EXPECT_EQ(wide.candidateNum, 200);
}

// ---- Three utterances with real models on which the search lost the best path ----------------

TEST(SearchOnRealModels, FindsThePathTheNetHolds) {
  struct Case {
    const char* param;
    const char* wave;
    const char* texts;
    int text;       // the text recognised (-1: an assessment)
    bool beamCuts;  // the parameters' beam (probTh) drops the exact path on the way
  } cases[] = {
      // Alternative pronunciations of a clean 7-word sentence: the path used to stop after 4.
      // The candidates now hold every state; the beam of 500 still drops the exact best path
      // on the way (by 57.7), but the path found is complete.
      {"assess.prm", "audio/lights.wav", "texts/lights.txt", -1, true},
      // Four texts in 10 dB noise: a text 77 worse used to be returned.
      {"recog.prm", "audio/meet-noisy10.wav", "texts/meet.txt", 0, false},
      // The same in 0 dB noise: no path at all used to be found.
      {"recog.prm", "audio/meet-noisy0.wav", "texts/meet.txt", 0, false},
  };
  test::cwdScope here(TULIM_SEARCH_FIXTURES);
  macroClass mac;
  mac.macroRead("models/enus.macb", true);
  mac.layoutPrepare();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wave);
    testing::internal::CaptureStdout();
    const test::searchComparison r = test::searchCompare(c.param, c.wave, c.texts, mac);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(r.exact.found);
    EXPECT_TRUE(r.engineComplete);
    EXPECT_EQ(r.candidateNum, r.exact.states);
    if (!c.beamCuts) {
      EXPECT_EQ(r.engine, r.exact.score);
    }

    recogTask task;
    recogParam param;
    task.recogParamRead(c.param, param);
    param.wavFile = c.wave;
    param.txtFile = c.texts;
    mlfClass mlf;
    testing::internal::CaptureStdout();
    const int text = task.recogFromWavFile(param, mlf);
    testing::internal::GetCapturedStdout();
    if (c.text >= 0) {
      EXPECT_EQ(text, c.text);
    } else {
      // Every word of the text is on the path, so no incomplete-path discount.
      int words = 0;
      for (const sylInfo& syl : mlf.m_syl) words += syl.name != "sil" && syl.name != "sp";
      EXPECT_EQ(words, 7);
    }
  }
}
