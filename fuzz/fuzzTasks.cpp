#include "fuzzTasks.h"

#include <sys/stat.h>

#include "candidateFixture.h"
#include "dictClass.h"
#include "fuzzInput.h"
#include "lexiconFixture.h"
#include "modelSetFixture.h"
#include "netClass.h"
#include "recogTask.h"
#include "recognitionSetup.h"
#include "testFiles.h"
#include "textClass.h"

namespace tulim {
namespace fuzz {

namespace {

// Two directories, as both tasks name their map and texts alike.
const test::scratchDir& taskDir(int which = 0) {
  scratchPath();  // the error logs and standard output are set up first
  static const test::scratchDir dirs[2];
  return dirs[which];
}

std::string linesOf(const strVec& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

const englishTask& englishTaskGet() {
  static const englishTask* task = [] {
    auto* t = new englishTask;
    test::englishTaskWrite(taskDir(), t->param);
    test::modelSetPrepare(t->mac, test::englishFixtureModels());
    t->param.outputDir = taskDir().file("english-out");
    mkdir(t->param.outputDir.c_str(), 0755);
    return t;
  }();
  return *task;
}

strVec syllableTaskLines() { return {"a-b\t0", "b-a\t1", "a-c\t2"}; }
strVec syllableTaskTexts() { return {"A B", "B A", "A C"}; }

const syllableTask& syllableTaskGet() {
  static const syllableTask* task = [] {
    auto* t = new syllableTask;
    const strVec models{"sil", "a", "b", "c"};
    const test::recognitionFiles files = test::recognitionFilesWrite(
        taskDir(1), test::modelSetText(models), models, syllableTaskLines(), syllableTaskTexts(), "recog", {"c"});
    t->paramFile = files.paramFile;
    recogTask().recogParamRead(files.paramFile, t->param);
    test::modelSetPrepare(t->mac, models);
    return t;
  }();
  return *task;
}

const std::string& englishRunParamFile() {
  static const std::string* file = [] {
    const recogParam& p = englishTaskGet().param;
    const test::scratchDir& dir = taskDir();
    const std::string macFile = test::writeModelSet(dir, "english.mac", test::englishFixtureModels());
    const std::string config = dir.write("mfcc.cfg",
                                         "SOURCEKIND = WAVEFORM\nTARGETKIND = MFCC_E_D_A\nTARGETRATE = 100000\n"
                                         "WINDOWSIZE = 200000\nUSEHAMMING = T\nNUMCHANS = 26\nNUMCEPS = 12\n");
    const std::string rank2score = dir.write("rank2score.prm", "0.5\n2\n0\n");
    const std::string discount = dir.write("discount.prm", "0.9\n0.9\n0.9\n0.9\n0.9\n0.9\n0.9\n");
    const std::string qiYin = dir.write("qiYin.txt", "s\n");
    const strVec params = {"language=english",
                           "macFile=" + macFile,
                           "wpaFile=" + p.wpaFile,
                           "wpaAddendaFile=" + p.wpaAddendaFile,
                           "tnmFile=" + p.tnmFile,
                           "qiYinFile=" + qiYin,
                           "featureConfigFile=" + config,
                           "outputDir=" + p.outputDir,
                           "useEpd=0",
                           "maxCandidateNum=1000",
                           "probTh=1000000",
                           "comparisonMode=1",
                           "phoneRank2scoreParamFile=" + rank2score,
                           "scoreDiscountParamFile=" + discount};
    return new std::string(dir.write("recog.prm", linesOf(params)));
  }();
  return *file;
}

void lexiconAndNetPrepare(recogParam& param, const macroClass& mac) {
  dictClass dict;
  textClass text;
  netClass net;
  int candidateNum = 0, arenaLen = 0;
  recogTask().dictPrepare(param, mac, dict, text, net);
  recogTask().netPrepare(param, mac, dict, text, net, candidateNum, arenaLen);
}

void netLoadOverSmallTask(const std::string& path) {
  macroClass mac;
  dictClass dict;
  test::pathModelsMake(mac, dict);
  netClass net;
  net.netLoad(path, dict);
  net.maxFanOutNum();
  net.sylCountOnFirstPath();
}

}  // namespace fuzz
}  // namespace tulim
