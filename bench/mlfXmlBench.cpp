// Writing the XML result file of one long utterance: 40 nodes of 4 phones, each phone with
// every model of a 150-model set as competitor, as useAllModelAsCompetingModel makes it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "macroClass.h"
#include "mlfClass.h"
#include "utility.h"

using namespace tulim;

namespace {

const int modelNum = 150;
const int nodeNum = 40;
const int phonesPerNode = 4;

void fillSet(macroClass& set) {
  hmmSet& mmf = set.MMFEdit();
  mmf.model.resize(modelNum);
  for (int m = 0; m < modelNum; ++m) mmf.model[m].str = strFormat("ph%03d+x", m);
  mmf.modelNum = modelNum;
}

mlfClass longResult() {
  mlfClass mlf;
  mlf.m_discountFactor.assign(7, 1);
  mlf.m_discountRatio.assign(7, 0.9f);
  int frame = 0;
  for (int i = 0; i < nodeNum; ++i) {
    sylInfo syl;
    syl.name = strFormat("syl%d", i);
    syl.text = "\xa4\x4b";
    syl.frameId[0] = frame;
    syl.pitch.assign(20, 61.5f);
    syl.volume.assign(20, 0.25f);
    for (int j = 0; j < phonesPerNode; ++j) {
      phoneInfo phone;
      phone.name = strFormat("ph%03d+x", (i * phonesPerNode + j) % modelNum);
      phone.frameId[0] = frame;
      phone.frameId[1] = frame + 4;
      frame += 5;
      for (int m = 0; m < modelNum; ++m) {
        phone.competingModelIndex.push_back(m);
        phone.competingModelLogLike.push_back(-100.0f - 0.37f * static_cast<float>(m));
      }
      syl.phone.push_back(phone);
    }
    syl.frameId[1] = frame - 1;
    mlf.m_syl.push_back(syl);
  }
  return mlf;
}

void BM_WriteXmlLongUtterance(benchmark::State& state) {
  macroClass set;
  fillSet(set);
  const mlfClass mlf = longResult();
  const char* dir = getenv("TMPDIR");
  const std::string path = std::string(dir ? dir : "/tmp") + "/tulim_mlfXmlBench_output.xml";
  for (auto _ : state) mlf.writeXml(set, path, "chinese");
  state.SetBytesProcessed(state.iterations() * getFileSize(path.c_str()));
  remove(path.c_str());
}
BENCHMARK(BM_WriteXmlLongUtterance)->Unit(benchmark::kMillisecond);

}  // namespace
