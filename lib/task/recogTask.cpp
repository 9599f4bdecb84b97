#include "recogTask.h"

#include <cstdio>

#include "lineFile.h"
#include "utility.h"

namespace tulim {

namespace {

// One key of the parameter file: a text field or an integer field of the record.
struct paramKey {
  const char* name;
  std::string recogParam::*text;
  int recogParam::*number;
};

#define TEXT_KEY(field) paramKey{#field, &recogParam::field, nullptr}
#define INT_KEY(field) paramKey{#field, nullptr, &recogParam::field}

// In the order the reader compares them.
const paramKey kParamKeys[] = {
    TEXT_KEY(function), TEXT_KEY(language), TEXT_KEY(macFile), TEXT_KEY(modelCountFile),
    TEXT_KEY(pinyinType), TEXT_KEY(dicFile), TEXT_KEY(wpaFile), TEXT_KEY(wpaAddendaFile),
    TEXT_KEY(pyTableFile), TEXT_KEY(qiYinFile), TEXT_KEY(tnmFile), TEXT_KEY(featureConfigFile),
    TEXT_KEY(wavFile), TEXT_KEY(wavFileList), TEXT_KEY(txtFile), TEXT_KEY(sylFile),
    TEXT_KEY(netFile), TEXT_KEY(outputDir), TEXT_KEY(outWavDir), TEXT_KEY(outputXmlFile),
    TEXT_KEY(phoneRank2scoreParamFile), TEXT_KEY(scoreDiscountParamFile), TEXT_KEY(cmParamFile),
    TEXT_KEY(epsFile), TEXT_KEY(inputLabFile), INT_KEY(useAllModelAsCompetingModel),
    INT_KEY(usePaddedHardSp), INT_KEY(usePaddedSoftSil), INT_KEY(useLeadingTrailingSil),
    TEXT_KEY(ptParamFile), TEXT_KEY(volCheckPrmFile), TEXT_KEY(fillerType), INT_KEY(getUvScore),
    INT_KEY(getPitch), INT_KEY(useEpd), INT_KEY(netType), INT_KEY(maxCandidateNum),
    INT_KEY(probTh), INT_KEY(comparisonMode), INT_KEY(wordPenalty), INT_KEY(nodePenalty),
    INT_KEY(useWaveReject), INT_KEY(useDescCandidateNum), INT_KEY(useSpecSubtraction),
    INT_KEY(addLink4stopAnywhere), INT_KEY(addLink4startAnywhere), INT_KEY(addLink4forwardJump),
    INT_KEY(addLink4skippableTrailingSil), INT_KEY(addLink4skippableLeadingSil),
};

// The printed fields, with the fixed line numbers of their lines.
struct printedKey {
  paramKey key;
  int line;
};

const printedKey kPrintedKeys[] = {
    {TEXT_KEY(wavFileList), 191}, {TEXT_KEY(macFile), 192}, {TEXT_KEY(modelCountFile), 193},
    {TEXT_KEY(wpaFile), 194}, {TEXT_KEY(wpaAddendaFile), 195}, {TEXT_KEY(pinyinType), 196},
    {TEXT_KEY(dicFile), 197}, {TEXT_KEY(qiYinFile), 198}, {TEXT_KEY(tnmFile), 199},
    {TEXT_KEY(pyTableFile), 201}, {TEXT_KEY(featureConfigFile), 202}, {TEXT_KEY(txtFile), 203},
    {TEXT_KEY(sylFile), 204}, {TEXT_KEY(netFile), 205}, {INT_KEY(netType), 206},
    {INT_KEY(maxCandidateNum), 207}, {INT_KEY(comparisonMode), 208}, {INT_KEY(getUvScore), 209},
    {TEXT_KEY(epsFile), 210}, {TEXT_KEY(inputLabFile), 211}, {INT_KEY(useAllModelAsCompetingModel), 212},
    {TEXT_KEY(outputDir), 213}, {TEXT_KEY(ptParamFile), 214}, {TEXT_KEY(fillerType), 215},
    {TEXT_KEY(phoneRank2scoreParamFile), 216}, {TEXT_KEY(cmParamFile), 217},
    {TEXT_KEY(scoreDiscountParamFile), 218}, {INT_KEY(useEpd), 219}, {INT_KEY(usePaddedHardSp), 220},
    {INT_KEY(usePaddedSoftSil), 221}, {TEXT_KEY(language), 222}, {TEXT_KEY(function), 223},
    {INT_KEY(nodePenalty), 224}, {INT_KEY(useWaveReject), 225}, {INT_KEY(useDescCandidateNum), 226},
    {INT_KEY(useSpecSubtraction), 227}, {INT_KEY(addLink4stopAnywhere), 228},
    {INT_KEY(addLink4startAnywhere), 229}, {INT_KEY(addLink4forwardJump), 230},
    {INT_KEY(addLink4skippableTrailingSil), 231}, {INT_KEY(addLink4skippableLeadingSil), 232},
};

#undef TEXT_KEY
#undef INT_KEY

}  // namespace

void recogTask::recogParamRead(const std::string& fileName, recogParam& param) {
  strVec keys, values;
  keyValueFileRead(fileName, keys, values);
  param = recogParam();
  for (size_t i = 0; i < keys.size(); ++i) {
    const paramKey* found = nullptr;
    for (const paramKey& key : kParamKeys) {
      if (keys[i] == key.name) {
        found = &key;
        break;
      }
    }
    if (!found)
      errorThrowf("Error in parsing %s, unknown key = %s (line %d in %s)", fileName.c_str(), keys[i].c_str(),
                  180, "recogTask");
    if (found->text)
      recogParamSetText(param, found->name, param.*(found->text), values[i]);
    else
      param.*(found->number) = strToInt(values[i].c_str());
  }
}

void recogTask::recogParamPrint(const recogParam& param) {
  for (const printedKey& printed : kPrintedKeys) {
    const paramKey& key = printed.key;
    if (key.text)
      printf("recogParam.%s=%s (line=%d, file=recogTask)\n", key.name, (param.*(key.text)).c_str(), printed.line);
    else
      printf("recogParam.%s=%d (line=%d, file=recogTask)\n", key.name, param.*(key.number), printed.line);
  }
}

}  // namespace tulim
