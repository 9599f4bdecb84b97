#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "audioClass.h"
#include "lineFile.h"
#include "numericUtil.h"
#include "platform/cLocaleScope.h"
#include "stringUtil.h"
#include "utility.h"

namespace tulim {

namespace {

constexpr float MIN_FRAME_DURATION_MS = 32;

// Truncation toward zero that stays defined for any float (a file may hold anything).
int truncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

void tunedRow(ptParam& p, float pfWeight, float indexDiffWeight, int dpMethod, int dpPosDiffOrder,
              int dpUseLocalOptim) {
  p.pfWeight = pfWeight;
  p.indexDiffWeight = indexDiffWeight;
  p.dpMethod = dpMethod;
  p.dpPosDiffOrder = dpPosDiffOrder;
  p.dpUseLocalOptim = dpUseLocalOptim;
}

}  // namespace

void audioClass::ptParamSet(ptParam& p, int fs, int nbits, int pfType, const char* fileName) {
  p = ptParam();
  if (fs == 8000) {
    p.frameSize = 256;
    p.overlap = 0;
  } else if (fs == 16000) {
    p.frameSize = 640;
    p.overlap = 480;
  } else {
    p.frameSize = truncToInt(std::ceil(static_cast<float>(fs) * 256.0f / 8000.0f));
    if (p.frameSize % 2 != 0) p.frameSize += 1;
    p.overlap = 0;
  }
  p.pfLen = p.frameSize / 2;
  p.fs = fs;
  p.nbits = nbits;
  p.pfType = pfType;
  p.ppcNum = 10;
  p.pitchRangeMax = 24;
  p.pitchDiffMax = 5;
  tunedRow(p, 1, 1, 1, 1, 1);

  if (pfType == 0) {
    p.weightPfByClarity = 0;
    if (fs == 16000) tunedRow(p, 12800, 700, 2, 2, 1);
  } else if (pfType == 1) {
    p.weightPfByClarity = 1;
    if (fs == 8000) tunedRow(p, 4, 388, 2, 1, 1);
    if (fs == 16000) tunedRow(p, 1, 6, 1, 2, 0);
  } else {
    errorThrowf("Unknown pfType=%d (line %d in %s)!\n", pfType, __LINE__, "audio");
  }

  p.minPitch = 30;
  p.maxPitch = 84;
  p.maxMedianPitchDiff = 20;
  p.maxAmdfLocalMinCount = static_cast<float>(fs) * 20 / 8000;
  p.minAmdfRange = std::pow(2.0f, static_cast<float>(nbits)) / std::pow(2.0f, 8.0f) * 5;
  p.halfOfFs = false;
  p.halfOfNbits = false;
  p.useVolThreshold = 1;
  p.useClarityThreshold = 1;
  p.clarityRatio = 0.6f;
  p.medianFilterOrder = 5;
  p.cutLeadingTrailingZero = 0;
  p.minLag = 0;
  p.maxLag = 0;

  if (fileExist(fileName)) ptParamRead(fileName, p);

  // Every frame routine steps by frameSize - overlap; a step below one sample never ends. A
  // negative overlap (frames with gaps, as ptParamSetByFrameRate makes for low rates) steps on.
  if (p.frameSize <= p.overlap || p.frameSize < 1)
    errorThrowf("ptParam.frameSize=%d must be larger than ptParam.overlap=%d (line %d of %s)", p.frameSize, p.overlap,
                TULIM_HERE);

  const float frameDuration = static_cast<float>(p.frameSize) * 1000 / static_cast<float>(p.fs);
  if (MIN_FRAME_DURATION_MS > frameDuration)
    printf("Warning: frameSize too small! (frameSize=%d, frameDuration=%g ms < minFrameDuration=%g ms)\n", p.frameSize,
           frameDuration, MIN_FRAME_DURATION_MS);
  p.frameRate = truncToInt(static_cast<float>(p.fs) / static_cast<float>(p.frameSize - p.overlap));
}

void audioClass::ptParamRead(const char* fileName, ptParam& p) {
  // The 22 keys of the file; dpUseLocalOptim is read as a real number and truncated.
  struct intKey {
    const char* name;
    int ptParam::*field;
  };
  struct floatKey {
    const char* name;
    float ptParam::*field;
  };
  static const intKey intKeys[] = {{"fs", &ptParam::fs},
                                   {"nbits", &ptParam::nbits},
                                   {"pfType", &ptParam::pfType},
                                   {"frameSize", &ptParam::frameSize},
                                   {"overlap", &ptParam::overlap},
                                   {"pfLen", &ptParam::pfLen},
                                   {"ppcNum", &ptParam::ppcNum},
                                   {"dpMethod", &ptParam::dpMethod},
                                   {"dpPosDiffOrder", &ptParam::dpPosDiffOrder},
                                   {"useVolThreshold", &ptParam::useVolThreshold},
                                   {"useClarityThreshold", &ptParam::useClarityThreshold},
                                   {"medianFilterOrder", &ptParam::medianFilterOrder},
                                   {"cutLeadingTrailingZero", &ptParam::cutLeadingTrailingZero}};
  static const floatKey floatKeys[] = {{"minPitch", &ptParam::minPitch},
                                       {"maxPitch", &ptParam::maxPitch},
                                       {"pitchRangeMax", &ptParam::pitchRangeMax},
                                       {"pitchDiffMax", &ptParam::pitchDiffMax},
                                       {"maxMedianPitchDiff", &ptParam::maxMedianPitchDiff},
                                       {"pfWeight", &ptParam::pfWeight},
                                       {"indexDiffWeight", &ptParam::indexDiffWeight},
                                       {"clarityRatio", &ptParam::clarityRatio}};
  cLocaleScope cLocale;
  strVec keys, values;
  keyValueFileRead(fileName, keys, values);
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string& key = keys[i];
    const std::string& value = values[i];
    bool known = false;
    for (const intKey& k : intKeys)
      if (key == k.name) {
        p.*k.field = keyValueInt(fileName, key, value);
        known = true;
      }
    for (const floatKey& k : floatKeys)
      if (key == k.name) {
        p.*k.field = keyValueFloat(fileName, key, value);
        known = true;
      }
    if (key == "dpUseLocalOptim") {
      p.dpUseLocalOptim = truncToInt(keyValueDouble(fileName, key, value));
      known = true;
    }
    if (!known)
      errorThrowf("Error in parsing %s, unknown key = %s (line %d in %s)", fileName, key.c_str(), __LINE__, "audio");
  }
}

int audioClass::ptParamSetByFrameRate(ptParam& p, float frameRate, int fs, int nbits, int pfType) {
  ptParamSet(p, fs, nbits, pfType, nullptr);
  p.frameSize = floatRound(static_cast<float>(fs) * 32 / 1000);
  const int hop = floatRound(static_cast<float>(fs) / frameRate);
  p.overlap = p.frameSize - hop;
  return hop;
}

// The four carried-only fields (maxAmdfLocalMinCount, minAmdfRange, halfOfFs, halfOfNbits)
// are left out: the reader rejects them, and a printed file must read back.
void audioClass::ptParamPrint(const ptParam& p, const char* fileName) {
  cLocaleScope cLocale;
  filePtr fp = openFilePtr(fileName, "w");
  FILE* f = fp.get();
  fprintf(f, "fs=%d\n", p.fs);
  fprintf(f, "nbits=%d\n", p.nbits);
  fprintf(f, "frameSize=%d\n", p.frameSize);
  fprintf(f, "overlap=%d\n", p.overlap);
  fprintf(f, "minPitch=%f\n", p.minPitch);
  fprintf(f, "maxPitch=%f\n", p.maxPitch);
  fprintf(f, "pitchRangeMax=%f\n", p.pitchRangeMax);
  fprintf(f, "ppcNum=%d\n", p.ppcNum);
  fprintf(f, "pfWeight=%f\n", p.pfWeight);
  fprintf(f, "indexDiffWeight=%f\n", p.indexDiffWeight);
  fprintf(f, "dpMethod=%d\n", p.dpMethod);
  fprintf(f, "dpPosDiffOrder=%d\n", p.dpPosDiffOrder);
  fprintf(f, "dpUseLocalOptim=%d\n", p.dpUseLocalOptim);
  fprintf(f, "maxMedianPitchDiff=%f\n", p.maxMedianPitchDiff);
  fprintf(f, "useVolThreshold=%d\n", p.useVolThreshold);
  fprintf(f, "cutLeadingTrailingZero=%d\n", p.cutLeadingTrailingZero);
  closeWrittenFile(fp, fileName);
}

void audioClass::ptParamDump(const ptParam& p) {
  cLocaleScope cLocale;
  printf("ptParam->fs=%d (line=%d, file=audio)\n", p.fs, __LINE__);
  printf("ptParam->nbits=%d (line=%d, file=audio)\n", p.nbits, __LINE__);
  printf("ptParam->pfType=%d (line=%d, file=audio)\n", p.pfType, __LINE__);
  printf("ptParam->frameSize=%d (line=%d, file=audio)\n", p.frameSize, __LINE__);
  printf("ptParam->overlap=%d (line=%d, file=audio)\n", p.overlap, __LINE__);
  printf("ptParam->pfLen=%d (line=%d, file=audio)\n", p.pfLen, __LINE__);
  printf("ptParam->ppcNum=%d (line=%d, file=audio)\n", p.ppcNum, __LINE__);
  printf("ptParam->pitchRangeMax=%g (line=%d, file=audio)\n", p.pitchRangeMax, __LINE__);
  printf("ptParam->pitchDiffMax=%g (line=%d, file=audio)\n", p.pitchDiffMax, __LINE__);
  printf("ptParam->minPitch=%g (line=%d, file=audio)\n", p.minPitch, __LINE__);
  printf("ptParam->maxPitch=%g (line=%d, file=audio)\n", p.maxPitch, __LINE__);
  printf("ptParam->maxMedianPitchDiff=%g (line=%d, file=audio)\n", p.maxMedianPitchDiff, __LINE__);
  printf("ptParam->dpMethod=%d (line=%d, file=audio)\n", p.dpMethod, __LINE__);
  printf("ptParam->dpPosDiffOrder=%d (line=%d, file=audio)\n", p.dpPosDiffOrder, __LINE__);
  printf("ptParam->dpUseLocalOptim=%d (line=%d, file=audio)\n", p.dpUseLocalOptim, __LINE__);
  printf("ptParam->pfWeight=%g (line=%d, file=audio)\n", p.pfWeight, __LINE__);
  printf("ptParam->indexDiffWeight=%g (line=%d, file=audio)\n", p.indexDiffWeight, __LINE__);
  printf("ptParam->useVolThreshold=%d (line=%d, file=audio)\n", p.useVolThreshold, __LINE__);
  printf("ptParam->useClarityThreshold=%d (line=%d, file=audio)\n", p.useClarityThreshold, __LINE__);
  printf("ptParam->clarityRatio=%g (line=%d, file=audio)\n", p.clarityRatio, __LINE__);
  printf("ptParam->medianFilterOrder=%d (line=%d, file=audio)\n", p.medianFilterOrder, __LINE__);
  printf("ptParam->cutLeadingTrailingZero=%d (line=%d, file=audio)\n", p.cutLeadingTrailingZero, __LINE__);
}

void audioClass::ppcFramePrint(const ppcFrame* frames, int n) {
  for (int i = 0; i < n; ++i) {
    printf("A[%d].ppcLen=%d\n", i, frames[i].ppcLen);
    for (int j = 0; j < frames[i].ppcLen; ++j)
      printf("\tppc[%d]: pfValue=%d, totalDist=%d\n", j, truncToInt(frames[i].ppc[j].pfValue),
             truncToInt(frames[i].ppc[j].totalDist));
  }
}

}  // namespace tulim
