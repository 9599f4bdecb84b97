// The scoring parameter files (bell curve of the rank ratio, per-model confidence triples,
// discount ratios) through the confidence measure of a small ranked record; the input holds
// the three files between separator lines, an empty confidence part meaning no such file.
#include <cstdio>

#include "fuzzInput.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "modelSetFixture.h"
#include "recogParam.h"
#include "scoringFixture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tulim::macroClass* set = [] {
    auto* s = new tulim::macroClass;
    tulim::test::modelSetFill(*s, {"m00+b", "m01+b", "sil"});
    return s;
  }();
  const std::vector<std::string> parts = tulim::fuzz::inputParts(data, size, 3);
  tulim::recogParam param;
  param.phoneRank2scoreParamFile = tulim::fuzz::inputFile("rank2score.prm", parts[0]);
  param.cmParamFile = tulim::fuzz::scratchPath() + "/cm.prm";
  if (parts[1].empty())
    remove(param.cmParamFile.c_str());
  else
    tulim::fuzz::inputFile("cm.prm", parts[1]);
  param.scoreDiscountParamFile = tulim::fuzz::inputFile("discount.prm", parts[2]);
  tulim::fuzz::fatalAllowed([&] {
    tulim::mlfClass mlf;
    mlf.m_syl.push_back(tulim::test::nodeOf("sil", 0, 4, {tulim::test::phoneOf("sil", 0, 4)}));
    mlf.m_syl.push_back(tulim::test::nodeOf(
        "ba1", 5, 14, {tulim::test::rankedPhone("m00+b", 0, 5, 9, {0, 1}, {-1.0f, -2.0f}, 1, 1.0f),
                       tulim::test::rankedPhone("m01+b", 1, 10, 14, {0, 1}, {-1.0f, -2.0f}, 2, 0.5f)}));
    mlf.m_discountFactor = {0, 1, 0, 0, 1, 0, 1};
    mlf.m_textSylNum = 2;
    mlf.m_pathSylNum = 1;
    mlf.confidenceMeasure(0, 1, param, *set);
  });
  return 0;
}
