// The recognition parameter record: every input file, the output directory, the language,
// the task and the integer switches of one run. Filled by recogTask::recogParamRead from a
// key = value file, then possibly overridden by the caller; read by every later stage. It
// lives here, beside the other records of subsystem 1, because the models-and-search
// subsystem reads it too and must not reach up into the task subsystem.
#pragma once

#include <string>

namespace tulim {

// Longest value of a text field (the record's fields were 1000- and 10000-character
// buffers with their terminating NUL).
constexpr size_t RECOG_PARAM_TEXT_MAX = 999;
constexpr size_t RECOG_PARAM_TXTFILE_MAX = 9999;

struct recogParam {
  std::string language;        // "chinese", "taiwanese", "english" or "japanese"
  std::string macFile;         // HMM set, "mac" or "macb" by extension
  std::string modelCountFile;
  std::string pinyinType;      // "krv" or "hanyu"
  std::string dicFile;
  std::string wpaFile;         // "wpa" text or "wpab" binary
  std::string wpaAddendaFile;
  std::string pyTableFile;
  std::string qiYinFile;
  std::string tnmFile;
  std::string featureConfigFile;
  std::string wavFile;
  std::string wavFileList;
  std::string txtFile;         // a file of texts, or the texts joined by '#' (up to 9,999 characters)
  std::string sylFile;
  std::string netFile;         // "net" or "netb"
  std::string outputDir;       // empty: no files are written
  std::string outWavDir;
  std::string function;        // "recog" or "assess"
  std::string outputXmlFile;   // inside outputDir; empty means "output.xml"
  std::string phoneRank2scoreParamFile;
  std::string scoreDiscountParamFile;
  std::string cmParamFile;
  std::string epsFile;
  std::string inputLabFile;
  int useAllModelAsCompetingModel = 0;
  int usePaddedHardSp = 1;
  int usePaddedSoftSil = 1;
  int useLeadingTrailingSil = 1;
  std::string ptParamFile;
  std::string volCheckPrmFile;
  std::string fillerType;
  int getUvScore = 0;
  int getPitch = 0;
  int useEpd = 0;
  int netType = 0;             // 0 tree net from the texts, 1 sausage net from one text
  int maxCandidateNum = 0;
  int probTh = 0;              // becomes a float where it is used
  int comparisonMode = 0;
  int wordPenalty = 0;
  int nodePenalty = 0;         // becomes a float where it is used
  int useWaveReject = 0;
  int useDescCandidateNum = 1;
  int useSpecSubtraction = 0;
  int addLink4stopAnywhere = 0;
  int addLink4startAnywhere = 0;
  int addLink4forwardJump = 0;
  int addLink4skippableTrailingSil = 0;
  int addLink4skippableLeadingSil = 0;
};

// Stores value into the text field named key of param after checking its length against
// the field's limit (fatal, naming the key and the limit, when it is longer). Also used by
// the callers that override fields from their own arguments.
void recogParamSetText(recogParam& param, const char* key, std::string& field, const std::string& value);

}  // namespace tulim
