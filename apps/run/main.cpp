// tulim-run: recognises or assesses one utterance. The arguments after the parameter file
// replace fields of the recognition parameters; the result and the confidence details of
// every syllable and phone are printed on standard output.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "mlfClass.h"
#include "platform/programHeap.h"
#include "programArgs.h"
#include "recogParam.h"
#include "recogTask.h"
#include "resultFileSet.h"
#include "stringUtil.h"

using namespace tulim;

namespace {

constexpr int MIN_ARG_NUM = 1;
constexpr int MAX_ARG_NUM = 10;

void usageLinesPrint(const char* self) {
  printf("Usage: %s recogParamFile\n", self);
  printf("       %s recogParamFile wavFile\n", self);
  printf("       %s recogParamFile wavFile txtFile\n", self);
  printf("       %s recogParamFile wavFile txtFile useEpd \n", self);
  printf("       %s recogParamFile wavFile txtFile useEpd outputDir\n", self);
  printf("       %s recogParamFile wavFile txtFile useEpd outputDir syl\n", self);
  printf("       %s recogParamFile wavFile txtFile useEpd outputDir syl net\n", self);
  printf("       %s recogParamFile wavFile txtFile useEpd outputDir syl net wpa\n", self);
  printf("       %s recogParamFile wavFile txtFile useEpd outputDir syl net wpa getPitch\n", self);
  printf("       %s recogParamFile wavFile txtFile useEpd outputDir syl net wpa getPitch inputLabFile\n", self);
}

void usagePrint(int argNum, const char* self) {
  printf("No. of command-line arguments: %d\n", argNum);
  printf("No. of command-line arguments should within [%d, %d].\n", MIN_ARG_NUM, MAX_ARG_NUM);
  usageLinesPrint(self);
}

bool helpAsked(int argc, char** argv) {
  return argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0);
}

// Returns the integer keys set from the arguments, whose file values the run then ignores.
strVec overridesApply(int argc, char** argv, recogTask& task, recogParam& param) {
  struct textArg {
    int position;
    const char* key;
    std::string& field;
  };
  const textArg texts[] = {
      {2, "wavFile", param.wavFile},
      {3, "txtFile", param.txtFile},
      {5, "outputDir", param.outputDir},
      {6, "sylFile", param.sylFile},
      {7, "netFile", param.netFile},
      {8, "wpaFile", param.wpaFile},
      {10, "inputLabFile", param.inputLabFile},
  };
  for (const textArg& t : texts)
    if (const char* value = argAt(argc, argv, t.position)) recogParamSetText(param, t.key, t.field, value);
  return intArgumentsApply(argc, argv, task, {{4, "useEpd", param.useEpd}, {9, "getPitch", param.getPitch}});
}

// Line ends without flushes: the report goes out in one piece when the program ends (cout and
// printf share the C stream, so their order holds).
void resultPrint(const recogParam& param, const mlfClass& mlf) {
  std::cout << "\n====== Recognition result ======\n";
  for (const std::string& text : mlf.m_text) std::cout << "Text = " << text << "\n";
  std::cout << "Phonetic alphabets = " << mlf.m_PA << "\n";
  if (param.language == "chinese") {
    std::cout << "\xb0\xea\xbb\x79\xab\xf7\xad\xb5 = " << mlf.m_MPA << "\n";
    std::cout << "\xba\x7e\xbb\x79\xab\xf7\xad\xb5 = " << mlf.m_HanYu << "\n";
    std::cout << "\xad\xb5\xbd\xd5=" << mlf.m_Tone << "\n";
  }
  std::cout << "Log probability = " << mlf.m_logProb << "\n";
  std::cout << "Score = " << mlf.m_score << "\n";
  // A wave too quiet, too loud or clipped still gets a score; the warning says how far to
  // trust it.
  for (const std::string& warning : mlf.m_warning) std::cout << "Warning: " << warning << "\n";
  std::cout << "\n====== Confidence measure details ======\n";

  for (size_t i = 0; i < mlf.m_syl.size(); i++) {
    const sylInfo& syl = mlf.m_syl[i];
    std::cout << i << ": " << syl.name << " (" << syl.timberScore << ")\n";
    for (size_t m = 0; m < syl.phone.size(); m++) {
      const phoneInfo& phone = syl.phone[m];
      const int begin = phone.frameId[0];
      const int end = phone.frameId[1];
      std::cout << "\t" << m << ": " << phone.name << "\n";
      std::cout << "\t\tRank ratio: " << phone.rank << "/" << phone.competingModelIndex.size() << "=" << phone.rankRatio
                << "\n";
      std::cout << "\t\tTime span: " << begin / 100.0 << "~" << (end + 1) / 100.0 << " sec\n";
      std::cout << "\t\tFrame indices: " << begin << "~" << end << "\n";
      std::cout << "\t\tTime weight: " << (end - begin + 1) << "/" << mlf.m_phoneFrameNum << "="
                << phone.timeRatio * 100 << "%\n";
      std::cout << "\t\tTimber score: " << phone.timberScore << "\n";
      std::cout << "\t\tPitch: ";
      for (size_t p = 0; p < phone.pitch.size(); p++) printf(p == 0 ? "%g" : " %g", phone.pitch[p]);
      printf("\n");
    }
  }
  std::cout << "\nm_score = " << mlf.m_score << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  programHeapSet();
  const int argNum = argc - 1;
  if (helpAsked(argc, argv)) {
    usageLinesPrint(argv[0]);
    return 0;
  }
  if (argNum < MIN_ARG_NUM || argNum > MAX_ARG_NUM) {
    usagePrint(argNum, argv[0]);
    return 1;
  }

  recogTask task;
  recogParam param;
  mlfClass mlf;
  try {
    recogTask::paramFileText written;
    task.recogParamRead(argv[1], param, &written);
    const strVec overridden = overridesApply(argc, argv, task, param);
    resultFileSet results;
    results.claim(param);
    task.runParamCheck(written, param, recogTask::runInput::wavFile, overridden);

    task.recogFromWavFile(param, mlf);
    results.keep();
    resultPrint(param, mlf);
  } catch (char* message) {
    failurePrint(mlf, message);
    return 1;
  }
  return 0;
}
