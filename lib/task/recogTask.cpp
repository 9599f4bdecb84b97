#include "recogTask.h"

#include <cstdio>

#include "lineFile.h"
#include "recogParamKeys.h"
#include "utility.h"

namespace tulim {

namespace {

// The printed fields, with the fixed line numbers of their lines.
struct printedKey {
  const char* name;
  int line;
};

const printedKey kPrintedKeys[] = {
    {"wavFileList", 191}, {"macFile", 192}, {"modelCountFile", 193}, {"wpaFile", 194},
    {"wpaAddendaFile", 195}, {"pinyinType", 196}, {"dicFile", 197}, {"qiYinFile", 198},
    {"tnmFile", 199}, {"pyTableFile", 201}, {"featureConfigFile", 202}, {"txtFile", 203},
    {"sylFile", 204}, {"netFile", 205}, {"netType", 206}, {"maxCandidateNum", 207},
    {"comparisonMode", 208}, {"getUvScore", 209}, {"epsFile", 210}, {"inputLabFile", 211},
    {"useAllModelAsCompetingModel", 212}, {"outputDir", 213}, {"ptParamFile", 214},
    {"fillerType", 215}, {"phoneRank2scoreParamFile", 216}, {"cmParamFile", 217},
    {"scoreDiscountParamFile", 218}, {"useEpd", 219}, {"usePaddedHardSp", 220},
    {"usePaddedSoftSil", 221}, {"language", 222}, {"function", 223}, {"nodePenalty", 224},
    {"useWaveReject", 225}, {"useDescCandidateNum", 226}, {"useSpecSubtraction", 227},
    {"addLink4stopAnywhere", 228}, {"addLink4startAnywhere", 229}, {"addLink4forwardJump", 230},
    {"addLink4skippableTrailingSil", 231}, {"addLink4skippableLeadingSil", 232},
};

}  // namespace

void recogTask::recogParamRead(const std::string& fileName, recogParam& param, paramFileText* written) {
  strVec keys, values;
  keyValueFileRead(fileName, keys, values);
  param = recogParam();
  if (written) *written = paramFileText{fileName, {}};
  for (size_t i = 0; i < keys.size(); ++i) {
    const paramKey* found = paramKeyFind(keys[i]);
    if (!found)
      errorThrowf("Error in parsing %s, unknown key = %s (line %d in %s)", fileName.c_str(), keys[i].c_str(),
                  180, "recogTask");
    if (found->text) {
      recogParamSetText(param, found->name, param.*(found->text), values[i]);
    } else {
      param.*(found->number) = strToInt(values[i].c_str());
      if (written) written->intTexts[found->name] = values[i];
    }
  }
}

void recogTask::recogParamPrint(const recogParam& param) {
  for (const printedKey& printed : kPrintedKeys) {
    const paramKey& key = *paramKeyFind(printed.name);
    if (key.text)
      printf("recogParam.%s=%s (line=%d, file=recogTask)\n", key.name, (param.*(key.text)).c_str(), printed.line);
    else
      printf("recogParam.%s=%d (line=%d, file=recogTask)\n", key.name, param.*(key.number), printed.line);
  }
}

}  // namespace tulim
