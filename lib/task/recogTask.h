// The recognition task: the data-less class through which the library exports and both
// programs run the pipeline (parameters, wave preparation, features, lexicon and net,
// recognition core).
#pragma once

#include <string>

#include "recogParam.h"

namespace tulim {

class dictClass;
class macroClass;
class mlfClass;
class netClass;
class textClass;

// The most feature frames one utterance may have (400 s at a 10 ms hop).
constexpr int MAX_FRAME_NUM = 40000;
// A result path (output directory, '/', file name) holds fewer characters than this.
constexpr int MAX_RESULT_PATH_LEN = 1000;

class recogTask {
 public:
  // Defaults first, then every key of the file in order; an unknown key is fatal.
  void recogParamRead(const std::string& fileName, recogParam& param);
  // Prints 41 of the fields, one "recogParam.<key>=<value> (line=N, file=recogTask)" line each.
  void recogParamPrint(const recogParam& param);

  // ---- Wave preparation, end points and features (recogTaskPrepare.cpp) ------------------

  // Brings a malloc'ed wave to 16 bits and 16000 Hz, runs the volume check (findings go to
  // mlf.m_warning, and are fatal with useWaveReject), subtracts the background spectrum of a
  // wave of low dynamic range when useSpecSubtraction allows it (then useDescCandidateNum
  // becomes 0) and removes the mean. Returns the wave to go on with, malloc'ed and owned by
  // the caller: samples itself or a replacement, samples then being freed. On a fatal error
  // the wave has been freed. Depths outside 1..16 bits are fatal.
  int* wavePrepare(int* samples, int& sampleCount, int& fs, int& nbits, recogParam& param, mlfClass& mlf);

  // Features of the speech of one utterance: the span found by end-point detection when
  // useEpd is set (no speech found is fatal), aligned to frames of frameSize samples with a
  // hop of frameSize - overlap, through the front end configured by featureConfigFile.
  // Returns frameNum x vecSize floats, frame after frame, malloc'ed (the caller frees them);
  // firstFrame is the frame of the pipeline's framing where the kept span begins. More than
  // MAX_FRAME_NUM frames are fatal.
  float* epdAndMfcc(const recogParam& param, const int* samples, int sampleCount, int fs, int nbits, int frameSize,
                    int overlap, int& frameNum, int& vecSize, int& firstFrame);

  // ---- Lexicon and net preparation (recogTaskNet.cpp) --------------------------------------

  // Loads the lexicons the language needs and the text normalisation map (required). The
  // net is not touched.
  void dictPrepare(const recogParam& param, const macroClass& mac, dictClass& dict, textClass& text, netClass& net);

  // Reads and normalises the texts, derives their syllable sequences, builds or reads the
  // net, writes the diagnostic files into outputDir (when set) and sizes the search: the
  // candidate number and the arena length. Sets param.netType to 0 when sylFile is set.
  void netPrepare(recogParam& param, const macroClass& mac, dictClass& dict, textClass& text, netClass& net,
                  int& candidateNum, int& arenaLen);

  // ---- Syllable pitch and volume, and the net-file variants ----------------------------------
};

}  // namespace tulim
