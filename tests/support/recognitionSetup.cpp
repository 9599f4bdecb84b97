#include "recognitionSetup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "modelSetFixture.h"
#include "utility.h"

namespace tulim {
namespace test {

namespace {

std::string linesOf(const strVec& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

std::string modelSetTextWithMeans(const strVec& names, const std::vector<std::vector<float>>& means) {
  if (means.size() != names.size()) errorThrowf("%zu mean vectors for %zu models", means.size(), names.size());
  const double gconst = FIXTURE_STREAM_WIDTH * std::log(2.0 * M_PI);
  std::string text = "~o\n<STREAMINFO> 3 13 13 13\n<VECSIZE> 39<NULLD><MFCC_E_D_A><DIAGC>\n";
  for (size_t k = 0; k < names.size(); k++) {
    if (means[k].size() != static_cast<size_t>(FIXTURE_VECTOR_SIZE))
      errorThrowf("mean vector of %s has %zu values", names[k].c_str(), means[k].size());
    text += strFormat("~h \"%s\"\n<BEGINHMM>\n<NUMSTATES> 5\n", names[k].c_str());
    for (int state = 0; state < 3; state++) {
      text += strFormat("<STATE> %d\n<SWEIGHTS> 3\n 1.0 1.0 1.0\n", state + 2);
      for (int s = 0; s < FIXTURE_STREAM_NUM; s++) {
        text += strFormat("<STREAM> %d\n<MEAN> 13\n", s + 1);
        for (int d = 0; d < FIXTURE_STREAM_WIDTH; d++)
          text += strFormat(" %.9g", means[k][static_cast<size_t>(s * FIXTURE_STREAM_WIDTH + d)]);
        text += "\n<VARIANCE> 13\n";
        for (int d = 0; d < FIXTURE_STREAM_WIDTH; d++) text += " 1.0";
        text += strFormat("\n<GCONST> %.9g\n", gconst);
      }
    }
    text +=
        strFormat("<TRANSP> 5\n 0 1 0 0 0\n 0 %g %g 0 0\n 0 0 %g %g 0\n 0 0 0 %g %g\n 0 0 0 0 0\n<ENDHMM>\n",
                  FIXTURE_SELF_LOOP, FIXTURE_NEXT, FIXTURE_SELF_LOOP, FIXTURE_NEXT, FIXTURE_SELF_LOOP, FIXTURE_NEXT);
  }
  return text;
}

recognitionFiles recognitionFilesWrite(const scratchDir& dir, const std::string& macText, const strVec& syllables,
                                       const strVec& sylLines, const strVec& texts, const std::string& function,
                                       const strVec& unvoiced, const std::string& sylFileName,
                                       const strVec& extraParams) {
  recognitionFiles f;
  f.macFile = dir.write("models.mac", macText);
  strVec dicLines;
  for (const std::string& syl : syllables) dicLines.push_back(syl + " " + syl);
  std::sort(dicLines.begin(), dicLines.end());
  f.dicFile = dir.write("syllables.dic", linesOf(dicLines));
  f.tnmFile = dir.write("map.tnm", "% nothing to normalise\n");
  f.qiYinFile = dir.write("qiYin.txt", linesOf(unvoiced));
  f.sylFile = dir.write(sylFileName, linesOf(sylLines));
  f.txtFile = dir.write("texts.txt", linesOf(texts));
  f.featureConfigFile = dir.write("mfcc.cfg",
                                  "SOURCEKIND = WAVEFORM\nTARGETKIND = MFCC_E_D_A\nTARGETRATE = 100000\n"
                                  "WINDOWSIZE = 200000\nUSEHAMMING = T\nNUMCHANS = 26\nNUMCEPS = 12\n");
  const std::string rank2score = dir.write("rank2score.prm", "0.5\n2\n0\n");
  const std::string discount = dir.write("discount.prm", "0.9\n0.9\n0.9\n0.9\n0.9\n0.9\n0.9\n");
  f.outputDir = dir.file("out");
  mkdir(f.outputDir.c_str(), 0755);
  strVec params = {"function=" + function,
                   "language=taiwanese",
                   "macFile=" + f.macFile,
                   "modelCountFile=" + dir.file("none.cnt"),
                   "dicFile=" + f.dicFile,
                   "tnmFile=" + f.tnmFile,
                   "qiYinFile=" + f.qiYinFile,
                   "featureConfigFile=" + f.featureConfigFile,
                   "sylFile=" + f.sylFile,
                   "txtFile=" + f.txtFile,
                   "outputDir=" + f.outputDir,
                   "useEpd=0",
                   "netType=0",
                   "maxCandidateNum=1000",
                   "probTh=1000000",
                   "comparisonMode=1",
                   "useDescCandidateNum=0",
                   "usePaddedHardSp=0",
                   "usePaddedSoftSil=0",
                   "phoneRank2scoreParamFile=" + rank2score,
                   "scoreDiscountParamFile=" + discount};
  params.insert(params.end(), extraParams.begin(), extraParams.end());
  f.paramFile = dir.write("recog.prm", linesOf(params));
  return f;
}

}  // namespace test
}  // namespace tulim
