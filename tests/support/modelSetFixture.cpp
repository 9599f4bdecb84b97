#include "modelSetFixture.h"

#include <cmath>
#include <random>

#include "utility.h"

namespace tulim {
namespace test {

namespace {

// log((2 pi)^13) for unit variances.
float fixtureGconst() { return static_cast<float>(FIXTURE_STREAM_WIDTH * std::log(2.0 * M_PI)); }

float fixtureTrans(int from, int to) {
  if (from == 0) return to == 1 ? 1.0f : 0.0f;
  if (from == 4) return 0.0f;
  if (to == from) return FIXTURE_SELF_LOOP;
  if (to == from + 1) return FIXTURE_NEXT;
  return 0.0f;
}

}  // namespace

float fixtureMean(int k, int state) { return 20.0f * static_cast<float>(k) + 5.0f * static_cast<float>(state); }

std::vector<float> fixtureFrame(int k, int state) {
  return std::vector<float>(FIXTURE_VECTOR_SIZE, fixtureMean(k, state));
}

std::string modelSetText(const strVec& names) {
  std::string text = "~o\n<STREAMINFO> 3 13 13 13\n<VECSIZE> 39<NULLD><MFCC_E_D_A><DIAGC>\n";
  for (size_t k = 0; k < names.size(); k++) {
    text += strFormat("~h \"%s\"\n<BEGINHMM>\n<NUMSTATES> 5\n", names[k].c_str());
    for (int state = 0; state < 3; state++) {
      text += strFormat("<STATE> %d\n<SWEIGHTS> 3\n 1.0 1.0 1.0\n", state + 2);
      for (int s = 0; s < FIXTURE_STREAM_NUM; s++) {
        text += strFormat("<STREAM> %d\n<MEAN> 13\n", s + 1);
        for (int d = 0; d < FIXTURE_STREAM_WIDTH; d++)
          text += strFormat(" %g", fixtureMean(static_cast<int>(k), state));
        text += "\n<VARIANCE> 13\n";
        for (int d = 0; d < FIXTURE_STREAM_WIDTH; d++) text += " 1.0";
        text += strFormat("\n<GCONST> %.9g\n", fixtureGconst());
      }
    }
    text += "<TRANSP> 5\n";
    for (int i = 0; i < 5; i++) {
      for (int j = 0; j < 5; j++) text += strFormat(" %g", fixtureTrans(i, j));
      text += "\n";
    }
    text += "<ENDHMM>\n";
  }
  return text;
}

std::string writeModelSet(const scratchDir& dir, const std::string& fileName, const strVec& names) {
  return dir.write(fileName, modelSetText(names));
}

void modelSetFill(macroClass& set, const strVec& names) {
  set.macroFree();
  hmmSet& mmf = set.MMFEdit();
  mmf.streamNum = FIXTURE_STREAM_NUM;
  for (int s = 0; s < FIXTURE_STREAM_NUM; s++) mmf.streamWidth[s] = FIXTURE_STREAM_WIDTH;
  mmf.header = "<VECSIZE> 39<NULLD><MFCC_E_D_A><DIAGC>";
  mmf.model.resize(names.size());
  mmf.modelNum = static_cast<int32_t>(names.size());
  for (size_t k = 0; k < names.size(); k++) {
    hmmModel& model = mmf.model[k];
    model.str = names[k];
    model.stateNum = 5;
    for (int state = 0; state < 3; state++) {
      for (int s = 0; s < FIXTURE_STREAM_NUM; s++) {
        model.state[state].streamWeight[s] = 1.0f;
        hmmStream& stream = model.state[state].stream[s];
        stream.mixtureNum = 1;
        hmmMixture& mix = stream.mixture[0];
        mix.mixtureWeight = 1.0f;
        for (int d = 0; d < FIXTURE_STREAM_WIDTH; d++) {
          mix.mean[d] = fixtureMean(static_cast<int>(k), state);
          mix.variance[d] = 1.0f;
        }
        mix.gconst = fixtureGconst();
      }
    }
    for (int i = 0; i < 5; i++)
      for (int j = 0; j < 5; j++) model.transProb[i][j] = fixtureTrans(i, j);
  }
}

void modelSetPrepare(macroClass& set, const strVec& names) {
  modelSetFill(set, names);
  set.sortModels(0, set.MMF().modelNum - 1);
  set.prepareModels();
  set.layoutPrepare();
}

void randomModelSet(macroClass& set, int models, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::uniform_real_distribution<float> uniform(0.2f, 2.0f);
  modelSetFill(set, strVec(static_cast<size_t>(models), "m"));
  hmmSet& mmf = set.MMFEdit();
  for (int k = 0; k < models; k++) mmf.model[static_cast<size_t>(k)].str = "m" + std::to_string(k);
  for (hmmModel& model : mmf.model)
    for (hmmState& state : model.state)
      for (hmmStream& stream : state.stream) {
        stream.mixtureNum = 32;
        for (int m = 0; m < 32; m++) {
          hmmMixture& mix = stream.mixture[m];
          mix.mixtureWeight = m % 7 == 3 ? 1e-6f : uniform(gen);
          for (int d = 0; d < 13; d++) {
            mix.mean[d] = normal(gen);
            mix.variance[d] = uniform(gen);
          }
          mix.gconst = 13.0f * std::log(2.0f * static_cast<float>(M_PI)) + normal(gen);
        }
      }
  set.sortModels(0, models - 1);
  set.prepareModels();
  set.layoutPrepare();
}

}  // namespace test
}  // namespace tulim
