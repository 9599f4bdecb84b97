// The keys of the recognition parameter file: each names its field of recogParam and, for an
// integer that a run uses, the values that work there. One table for the reader and printer
// (recogTask.cpp) and the checks before a run (recogTaskCheck.cpp).
#pragma once

#include <climits>
#include <string>

#include "recogParam.h"

namespace tulim {

// The values of an integer key that a run can use, and how to say them.
struct intRange {
  long min;
  long max;
  const char* allowed;
};

inline constexpr intRange FLAG_RANGE{0, 1, "0 or 1"};
inline constexpr intRange COUNT_RANGE{1, INT_MAX, "a whole number from 1 to 2147483647"};
inline constexpr intRange COMPARISON_MODE_RANGE{1, 3, "1, 2 or 3"};
inline constexpr intRange WHOLE_NUMBER_RANGE{INT_MIN, INT_MAX, "a whole number"};

// One key of the parameter file: a text field or an integer field of the record.
struct paramKey {
  const char* name;
  std::string recogParam::*text;
  int recogParam::*number;
  // An integer that a run uses: the values that work. Null for the text keys and for the
  // integers that are only stored or printed.
  const intRange* range;
};

#define TEXT_KEY(field) paramKey{#field, &recogParam::field, nullptr, nullptr}
#define INT_KEY(field, range) paramKey{#field, nullptr, &recogParam::field, range}

// In the order the reader compares them. maxCandidateNum, probTh and comparisonMode default to
// 0, which no search can use: a file has to set them.
inline constexpr paramKey kParamKeys[] = {
    TEXT_KEY(function), TEXT_KEY(language), TEXT_KEY(macFile), TEXT_KEY(modelCountFile),
    TEXT_KEY(pinyinType), TEXT_KEY(dicFile), TEXT_KEY(wpaFile), TEXT_KEY(wpaAddendaFile),
    TEXT_KEY(pyTableFile), TEXT_KEY(qiYinFile), TEXT_KEY(tnmFile), TEXT_KEY(featureConfigFile),
    TEXT_KEY(wavFile), TEXT_KEY(wavFileList), TEXT_KEY(txtFile), TEXT_KEY(sylFile),
    TEXT_KEY(netFile), TEXT_KEY(outputDir), TEXT_KEY(outWavDir), TEXT_KEY(outputXmlFile),
    TEXT_KEY(phoneRank2scoreParamFile), TEXT_KEY(scoreDiscountParamFile), TEXT_KEY(cmParamFile),
    TEXT_KEY(epsFile), TEXT_KEY(inputLabFile), INT_KEY(useAllModelAsCompetingModel, &FLAG_RANGE),
    INT_KEY(usePaddedHardSp, &FLAG_RANGE), INT_KEY(usePaddedSoftSil, &FLAG_RANGE),
    INT_KEY(useLeadingTrailingSil, nullptr), TEXT_KEY(ptParamFile), TEXT_KEY(volCheckPrmFile),
    TEXT_KEY(fillerType), INT_KEY(getUvScore, nullptr), INT_KEY(getPitch, &FLAG_RANGE),
    INT_KEY(useEpd, &FLAG_RANGE), INT_KEY(netType, &FLAG_RANGE), INT_KEY(maxCandidateNum, &COUNT_RANGE),
    INT_KEY(probTh, &COUNT_RANGE), INT_KEY(comparisonMode, &COMPARISON_MODE_RANGE),
    INT_KEY(wordPenalty, nullptr), INT_KEY(nodePenalty, &WHOLE_NUMBER_RANGE),
    INT_KEY(useWaveReject, &FLAG_RANGE), INT_KEY(useDescCandidateNum, &FLAG_RANGE),
    INT_KEY(useSpecSubtraction, &FLAG_RANGE), INT_KEY(addLink4stopAnywhere, &FLAG_RANGE),
    INT_KEY(addLink4startAnywhere, &FLAG_RANGE), INT_KEY(addLink4forwardJump, &FLAG_RANGE),
    INT_KEY(addLink4skippableTrailingSil, &FLAG_RANGE), INT_KEY(addLink4skippableLeadingSil, &FLAG_RANGE),
};

#undef TEXT_KEY
#undef INT_KEY

// The key called name, null when the file has no such key.
inline const paramKey* paramKeyFind(const std::string& name) {
  for (const paramKey& key : kParamKeys)
    if (name == key.name) return &key;
  return nullptr;
}

}  // namespace tulim
