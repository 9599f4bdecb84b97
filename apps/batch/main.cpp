// tulim-batch: recognises or assesses every utterance of a list with one parameter file. The
// models and lexicons are loaded once; each list line brings its own result file name, wave,
// texts and, optionally, syllable file, and prints a header and its score.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "dictClass.h"
#include "lineFile.h"
#include "macroClass.h"
#include "mlfClass.h"
#include "netClass.h"
#include "platform/platformClock.h"
#include "platform/programHeap.h"
#include "programArgs.h"
#include "recogParam.h"
#include "recogTask.h"
#include "resultFileSet.h"
#include "stringUtil.h"
#include "textClass.h"
#include "utility.h"

using namespace tulim;

namespace {

constexpr int MIN_ARG_NUM = 2;
constexpr int MAX_ARG_NUM = 7;
// A list line needs the result file, the wave and the texts; the syllable file is optional.
constexpr size_t LIST_MIN_FIELD_NUM = 3;
constexpr size_t LIST_FIELD_NUM_WITH_SYL = 4;

void usagePrint(int argNum, const char* self) {
  printf("No. of command-line arguments: %d\n", argNum);
  printf("Usage: %s recogParamFile wavFileList\n", self);
  printf("       %s recogParamFile wavFileList txtFile\n", self);
  printf("       %s recogParamFile wavFileList txtFile useEpd \n", self);
  printf("       %s recogParamFile wavFileList txtFile useEpd outputDir\n", self);
  printf("       %s recogParamFile wavFileList txtFile useEpd outputDir wpa\n", self);
  printf("       %s recogParamFile wavFileList txtFile useEpd outputDir wpa getPitch\n", self);
}

// Returns the integer keys set from the arguments, whose file values the run then ignores.
strVec overridesApply(int argc, char** argv, recogTask& task, recogParam& param) {
  if (const char* value = argAt(argc, argv, 2)) recogParamSetText(param, "wavFileList", param.wavFileList, value);
  if (const char* value = argAt(argc, argv, 3)) recogParamSetText(param, "txtFile", param.txtFile, value);
  if (const char* value = argAt(argc, argv, 5)) recogParamSetText(param, "outputDir", param.outputDir, value);
  if (const char* value = argAt(argc, argv, 6)) recogParamSetText(param, "wpaFile", param.wpaFile, value);
  return intArgumentsApply(argc, argv, task, {{4, "useEpd", param.useEpd}, {7, "getPitch", param.getPitch}});
}

// Sets the fields of one list line, line lineNo of the list file; a line of three fields, or
// of five or more, keeps the syllable file of the line before.
void listLineApply(const std::string& line, int lineNo, recogParam& param) {
  strVec fields;
  strSplit(line, '\t', fields);
  if (fields.size() < LIST_MIN_FIELD_NUM)
    errorThrowf("Error: line %d of %s has %zu TAB-separated fields, fewer than %zu: \"%s\" (line %d of %s)", lineNo,
                param.wavFileList.c_str(), fields.size(), LIST_MIN_FIELD_NUM, line.c_str(), TULIM_HERE);
  const char* const names[] = {"result file name", "wave file", "texts"};
  for (size_t i = 0; i < LIST_MIN_FIELD_NUM; i++)
    if (fields[i].empty())
      errorThrowf("Error: line %d of %s has an empty field %zu (the %s): \"%s\" (line %d of %s)", lineNo,
                  param.wavFileList.c_str(), i + 1, names[i], line.c_str(), TULIM_HERE);
  std::string wavFile = fields[1];
  strReplaceAll(wavFile, "\\", "/");
  std::string txtFile = fields[2];
  // The underscores stand for blanks in texts written into the field, never in the name of
  // a texts file: "my_texts.txt" is read as that file.
  if (param.language == "english" && !fileExist(txtFile.c_str())) strReplaceAll(txtFile, "_", " ");

  recogParamSetText(param, "outputXmlFile", param.outputXmlFile, fields[0]);
  recogParamSetText(param, "wavFile", param.wavFile, wavFile);
  recogParamSetText(param, "txtFile", param.txtFile, txtFile);
  if (fields.size() == LIST_FIELD_NUM_WITH_SYL) recogParamSetText(param, "sylFile", param.sylFile, fields[3]);
}

// The XML result files that the list's lines name, and whether a line brings a syllable file
// (an assessment against one also writes confusingPath.txt). A line the loop will refuse
// names what it can: the refusal comes when the loop reaches it.
strVec listResultNames(const strVec& lines, const recogParam& param) {
  strVec names;
  std::string sylFile = param.sylFile;
  for (const std::string& line : lines) {
    strVec fields;
    strSplit(line, '\t', fields);
    if (!fields.empty() && !fields[0].empty()) names.push_back(fields[0]);
    if (fields.size() == LIST_FIELD_NUM_WITH_SYL && !fields[3].empty()) sylFile = fields[3];
  }
  if (param.function == "assess" && !sylFile.empty()) names.push_back("confusingPath.txt");
  return names;
}

void utteranceRun(recogTask& task, recogParam& param, const macroClass& mac, dictClass& dict, textClass& text,
                  netClass& net, std::vector<int>& textIndex, mlfClass& mlf) {
  textIndex = task.recogUtterance(param, mac, dict, text, net, mlf);
  // The volume check's finding on this line's wave, which its score should be read with.
  for (const std::string& warning : mlf.m_warning) std::cout << "Warning: " << warning << std::endl;
  std::cout << "Score = " << mlf.m_score << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  programHeapSet();
  const int argNum = argc - 1;
  if (argNum < MIN_ARG_NUM || argNum > MAX_ARG_NUM) {
    usagePrint(argNum, argv[0]);
    return 1;
  }

  recogTask task;
  recogParam param;
  macroClass mac;
  dictClass dict;
  textClass text;
  netClass net;
  std::vector<int> textIndex;
  mlfClass mlf;  // of the line being run
  try {
    recogTask::paramFileText written;
    task.recogParamRead(argv[1], param, &written);
    const strVec overridden = overridesApply(argc, argv, task, param);
    task.runParamCheck(written, param, recogTask::runInput::list, overridden);

    resultFileSet results;
    results.claim(param);

    const double start = monotonicSeconds();
    // No model count file: every model keeps the count weight it has without one.
    mac.macroRead(param.macFile, true);
    mac.layoutPrepare();
    printf("%4.3f sec: Read macro \"%s\" (modelNum=%d)\n", monotonicSeconds() - start, param.macFile.c_str(),
           mac.MMF().modelNum);
    task.dictPrepare(param, mac, dict, text, net);

    strVec lines;
    std::vector<int> lineNumbers;
    file2strVec(param.wavFileList, lines, '%', lineNumbers);
    // An interrupted batch run again into the same folder must leave no line of the one before.
    results.remove(listResultNames(lines, param));
    const int n = static_cast<int>(lines.size());
    if (n == 0)
      errorThrowf("Error: the list %s holds no utterance: every line is empty or a comment (line %d of %s)",
                  param.wavFileList.c_str(), TULIM_HERE);
    for (int k = 1; k <= n; k++) {
      listLineApply(lines[static_cast<size_t>(k - 1)], lineNumbers[static_cast<size_t>(k - 1)], param);
      printf("\n======> %d/%d: xmlFile=%s, wavFile=%s, txtFile=%s, sylFile=%s\n", k, n, param.outputXmlFile.c_str(),
             param.wavFile.c_str(), param.txtFile.c_str(), param.sylFile.c_str());
      results.runStart(param);
      mlf = mlfClass();
      utteranceRun(task, param, mac, dict, text, net, textIndex, mlf);
    }
    results.keep();
  } catch (char* message) {
    failurePrint(mlf, message);
    mac.macroFree();
    return 1;
  }
  mac.macroFree();
  return 0;
}
