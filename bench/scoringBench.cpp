// Scoring one utterance: the discount factors and the confidence measure on a ranked path
// of 40 syllables of two phones, each phone against 60 competitors of a 600-model set, with
// and without the confidence parameter file that is read again at every call.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "macroClass.h"
#include "mlfClass.h"
#include "recogParam.h"
#include "utility.h"

using namespace tulim;

namespace {

constexpr int MODELS = 600;
constexpr int SYLLABLES = 40;
constexpr int PHONES_PER_SYLLABLE = 2;
constexpr int COMPETITORS = 60;
constexpr int PHONE_FRAMES = 12;

struct benchScene {
  macroClass set;
  mlfClass path;
  recogParam param;
  std::string cmFile;
  std::string files[3];

  benchScene() {
    hmmSet& mmf = set.MMFEdit();
    mmf.model.resize(MODELS);
    mmf.modelNum = MODELS;
    for (int m = 0; m < MODELS; ++m) {
      mmf.model[static_cast<size_t>(m)].str = strFormat("p%03d+q", m);
      mmf.model[static_cast<size_t>(m)].logCount = static_cast<float>(m % 7);
    }

    const int phoneNum = SYLLABLES * PHONES_PER_SYLLABLE;
    int frame = 0;
    auto pause = [&](const char* name) {
      sylInfo node;
      node.name = name;
      node.frameId[0] = frame;
      node.frameId[1] = frame + 29;
      node.volume.assign(30, 20.0f);
      frame += 30;
      path.m_syl.push_back(node);
    };
    pause("sil");
    for (int s = 0; s < SYLLABLES; ++s) {
      sylInfo node;
      node.name = strFormat("syl%d", s);
      node.frameId[0] = frame;
      for (int p = 0; p < PHONES_PER_SYLLABLE; ++p) {
        phoneInfo phone;
        const int own = (s * PHONES_PER_SYLLABLE + p) * 7 % MODELS;
        phone.name = set.MMF().model[static_cast<size_t>(own)].str;
        phone.modelIndex = own;
        phone.frameId[0] = frame;
        phone.frameId[1] = frame + PHONE_FRAMES - 1;
        for (int c = 0; c < COMPETITORS; ++c) {
          phone.competingModelIndex.push_back(c == s % COMPETITORS ? own : (own + 1 + c) % MODELS);
          phone.competingModelLogLike.push_back(-100.0f - 3.0f * static_cast<float>(c));
        }
        phone.logLike = phone.competingModelLogLike[static_cast<size_t>(s % COMPETITORS)];
        phone.rank = s % COMPETITORS;
        phone.timeRatio = 1.0f / static_cast<float>(phoneNum);
        node.phone.push_back(phone);
        frame += PHONE_FRAMES;
      }
      node.frameId[1] = frame - 1;
      node.volume.assign(static_cast<size_t>(PHONES_PER_SYLLABLE * PHONE_FRAMES), 900.0f);
      path.m_syl.push_back(node);
      if (s % 10 == 9) pause("sp");
    }
    pause("sil");
    path.m_textSylNum = SYLLABLES;
    path.m_pathSylNum = SYLLABLES;
    path.m_scoredSylNum = SYLLABLES;

    const std::string base = strFormat("/tmp/tulim-scoringBench-%d", static_cast<int>(getpid()));
    files[0] = param.phoneRank2scoreParamFile = base + "-rank2score.txt";
    files[1] = param.scoreDiscountParamFile = base + "-discount.txt";
    files[2] = cmFile = base + "-cm.txt";
    filePtr rank = openFilePtr(files[0], "w");
    fprintf(rank.get(), "0.1 1 0\n");
    filePtr discount = openFilePtr(files[1], "w");
    fprintf(discount.get(), "0.9 0.8 0.8 0.9 1 0.9 0.9\n");
    filePtr cm = openFilePtr(cmFile, "w");
    for (int m = 0; m < MODELS; ++m) fprintf(cm.get(), "p%03d+q\t1\t2\t3\t4\t[0.05 0.5 0]\n", m);
    closeWrittenFile(rank, files[0]);
    closeWrittenFile(discount, files[1]);
    closeWrittenFile(cm, cmFile);
    // Loads the shared parameter files into the record that every run copies.
    const int last = static_cast<int>(path.m_syl.size()) - 1;
    path.discountFactorCompute(0, last, true);
    path.confidenceMeasure(0, last, param, set);
  }
  ~benchScene() {
    for (const std::string& f : files) remove(f.c_str());
  }
};

benchScene& scene() {
  static benchScene s;
  return s;
}

void BM_DiscountFactorCompute(benchmark::State& state) {
  benchScene& s = scene();
  const int last = static_cast<int>(s.path.m_syl.size()) - 1;
  for (auto _ : state) {
    s.path.discountFactorCompute(0, last, true);
    benchmark::DoNotOptimize(s.path.m_discountFactor.data());
  }
}
BENCHMARK(BM_DiscountFactorCompute)->Unit(benchmark::kMicrosecond);

void confidenceRun(benchmark::State& state, bool withCmFile) {
  benchScene& s = scene();
  recogParam param = s.param;
  param.cmParamFile = withCmFile ? s.cmFile : "";
  mlfClass path = s.path;
  const int last = static_cast<int>(path.m_syl.size()) - 1;
  for (auto _ : state) {
    path.confidenceMeasure(0, last, param, s.set);
    benchmark::DoNotOptimize(path.m_timberScore);
  }
}

void BM_ConfidenceMeasure(benchmark::State& state) { confidenceRun(state, false); }
BENCHMARK(BM_ConfidenceMeasure)->Unit(benchmark::kMicrosecond);

void BM_ConfidenceMeasureWithCmFile(benchmark::State& state) { confidenceRun(state, true); }
BENCHMARK(BM_ConfidenceMeasureWithCmFile)->Unit(benchmark::kMicrosecond);

}  // namespace
