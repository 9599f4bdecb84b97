// The recognition task: the data-less class through which the library exports and both
// programs run the pipeline (parameters, wave preparation, features, lexicon and net,
// recognition core).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ptParam.h"
#include "recogParam.h"
#include "stringUtil.h"

namespace tulim {

class dictClass;
class featuresAhead;
class layoutAhead;
class macroClass;
class mlfClass;
class netClass;
class textClass;

// The most feature frames one utterance may have (400 s at a 10 ms hop).
constexpr int MAX_FRAME_NUM = 40000;
// A result path (output directory, '/', file name) holds fewer characters than this.
constexpr int MAX_RESULT_PATH_LEN = 1000;

// Samples that a caller hands to a run: sampleCount samples of nbits bits at fs per second.
struct sampleBuffer {
  const int* samples;
  int sampleCount;
  int fs;
  int nbits;
  // The volumes of its frames of the volume check, where wavePrepare measured them.
  const std::vector<int>* frameVolumes = nullptr;
};

// Work on one utterance that a caller of recogTask::recogUtterance began on other threads.
struct utteranceAhead {
  layoutAhead* layout = nullptr;      // the models' layout
  featuresAhead* features = nullptr;  // the wave's features
};

class recogTask {
 public:
  // What the parameter file wrote beyond what the record holds, kept by recogParamRead for
  // the checks of runParamCheck: the file's name and the text of every integer key it sets
  // (of a key given twice, its last line). The record holds only what atoi made of the text,
  // so a typo such as "12abc" or "nan" would pass as a number unnoticed.
  struct paramFileText {
    std::string fileName;
    std::map<std::string, std::string> intTexts;
  };

  // Defaults first, then every key of the file in order; an unknown key is fatal. written,
  // when given, receives the file's name and its integer texts.
  void recogParamRead(const std::string& fileName, recogParam& param, paramFileText* written = nullptr);
  // Prints 41 of the fields, one "recogParam.<key>=<value> (line=N, file=recogTask)" line each.
  void recogParamPrint(const recogParam& param);

  // ---- Checks before a run (recogTaskCheck.cpp) --------------------------------------------

  // Where a run takes its utterance and texts from besides the record: a file-based run
  // needs wavFile and txtFile, a run on samples txtFile only, and a batch needs its list
  // (wavFileList), whose lines bring both (and the syllable file).
  enum class runInput { wavFile, samples, list };

  // Refuses, before a run reads or writes anything, a value it would use that cannot work:
  // function, language (and pinyinType for Chinese) outside their words, an integer whose
  // text in the parameter file is not a whole number within its range, an integer left at a
  // default no run can use (maxCandidateNum, probTh, comparisonMode), and an input file the
  // run needs left empty. Fatal with the key, the value, the parameter file's name and what is
  // allowed. The integers are checked in the texts that written kept of the file; the integer
  // keys in overridden were set by the caller afterwards (and checked then with intValueRead).
  void runParamCheck(const paramFileText& written, const recogParam& param, runInput input,
                     const strVec& overridden = {});

  // The integer key's value from its text, checked as runParamCheck checks the file's;
  // origin says where the text came from ("from argument 4"). Fatal when it is not allowed.
  int intValueRead(const char* key, const std::string& text, const std::string& origin);

  // ---- Wave preparation, end points and features (recogTaskPrepare.cpp) ------------------

  // Brings a malloc'ed wave to 16 bits and 16000 Hz, runs the volume check (findings go to
  // mlf.m_warning, and are fatal with useWaveReject), subtracts the background spectrum of a
  // wave of low dynamic range when useSpecSubtraction allows it (then useDescCandidateNum
  // becomes 0) and removes the mean. Returns the wave to go on with, malloc'ed and owned by
  // the caller: samples itself or a replacement, samples then being freed. On a fatal error
  // the wave has been freed. Depths outside 1..16 bits are fatal. frameVolumes, when given, gets
  // the volumes of the returned wave's frames of the volume check (volumeCheckFrames), which
  // the check measured before the mean was removed (a shift leaves the sum of distances to
  // the median as it is); empty when the wave changed otherwise since (a spectrum subtracted,
  // samples so far apart that removing the mean would clip them).
  int* wavePrepare(int* samples, int& sampleCount, int& fs, int& nbits, recogParam& param, mlfClass& mlf,
                   std::vector<int>* frameVolumes = nullptr);

  // Features of the speech of one utterance: the span found by end-point detection when
  // useEpd is set (no speech found is fatal), aligned to frames of frameSize samples with a
  // hop of frameSize - overlap, through the front end configured by featureConfigFile.
  // Returns frameNum x vecSize floats, frame after frame, malloc'ed (the caller frees them);
  // firstFrame is the frame of the pipeline's framing where the kept span begins. More than
  // MAX_FRAME_NUM frames are fatal. Static: it may run on another thread (featuresAhead).
  static float* epdAndMfcc(const recogParam& param, const int* samples, int sampleCount, int fs, int nbits,
                           int frameSize, int overlap, int& frameNum, int& vecSize, int& firstFrame);

  // ---- Lexicon and net preparation (recogTaskNet.cpp) --------------------------------------

  // Loads the lexicons the language needs and the text normalisation map (required). The
  // net is not touched.
  void dictPrepare(const recogParam& param, const macroClass& mac, dictClass& dict, textClass& text, netClass& net);

  // Reads and normalises the texts, derives their syllable sequences, builds or reads the
  // net, writes the diagnostic files into outputDir (when set) and sizes the search: the
  // candidate number and the arena length. Sets param.netType to 0 when sylFile is set.
  void netPrepare(recogParam& param, const macroClass& mac, dictClass& dict, textClass& text, netClass& net,
                  int& candidateNum, int& arenaLen);

  // ---- Syllable pitch and volume, and the net-file variants (recogTaskVariants.cpp) ------

  // Volume (method 1) and pitch of every frame of the whole utterance, handed out to the nodes
  // and phones of result by the frames each spans (counted from frame 0 of the samples);
  // frames past the wave repeat its last frame. The tracker runs on a copy of param. A span
  // of more frames than an int counts is fatal.
  void sylPitchVolume(const int* samples, int sampleNum, const ptParam& param, mlfClass& result);
  // The per-frame volume (integers) and pitch (semitones) of a whole wave, each written as
  // one line by vec2file (an unopenable file ends the process).
  void wavePitchVolume(const int* samples, int sampleNum, const ptParam& param, const std::string& pitchFile,
                       const std::string& volumeFile);
  // wavePitchVolume of a wave file of 8000 or 16000 Hz and 8 or 16 bits. The wave files of
  // these variants are read as the pipeline reads them (readWaveInt: channels mixed down, the
  // reason a file cannot be read named) and 8-bit data brought to 16 bits as wavePrepare does.
  void wavFilePitchVolume(const std::string& wavFile, const ptParam& param, const std::string& pitchFile,
                          const std::string& volumeFile);

  // The features (frameNum x dim floats, frame after frame) of a wave file, cut to its
  // detected speech when useEpd is set; "endPoint.txt" in outputDir when that is set.
  std::vector<float> wavFile2mfcc(const std::string& wavFile, const recogParam& param, int& frameNum, int& dim);
  // Recognition of one wave file over the net of netFile with the models of macFile and the
  // syllables of dicFile: result becomes the best candidate's syllables joined by '-'.
  void recogWithNetFile(strVec& result, const std::string& wavFile, const recogParam& param);
  // recogWithNetFile with the parameters of paramFile and at most 1200 candidates.
  void recogWithNetFileTask(strVec& result, const std::string& wavFile, const std::string& paramFile);
  // recogWithNetFile with the audio-event models under "nolva/" and outputs into "output".
  void audioEventDetect(strVec& result, const std::string& wavFile, const std::string& netFile);
  // The candidate count of recogWithNetFile for a net's largest fan-out: 4 times it, 100 when
  // that is below 10, raised to the net's emitting states, then at most maxCandidateNum. The
  // arena holds 20 times the count, and more when the net's links need it.
  static int netFileCandidateNum(int maxFanOut, int maxCandidateNum, long long stateNum = 0);

  // ---- Recognition core and entry points (recogTaskCore.cpp, recogTaskEntry.cpp) ----------

  // Searches the prepared net over the features (frameNum frames of vecSize values, the
  // first of them frame firstFrame of the wave's framing), segments and scores the best
  // path into mlf, writes output.xml, score.txt and recogResult.txt (and, for an assessment
  // against a syllable file, confusingPath.txt) into outputDir when it is set, and returns
  // the indices of the identified texts. The samples' frame volumes are frameVolumes when they
  // are given in the volume check's framing (wavePrepare), which is also the pipeline's.
  std::vector<int> recogCore(const recogParam& param, const int* samples, int sampleCount, int fs, int nbits,
                             int frameSize, int overlap, int firstFrame, const float* features, int vecSize,
                             int frameNum, int modelNum, int arenaLen, int candidateNum, const macroClass& mac,
                             dictClass& dict, textClass& text, const netClass& net, mlfClass& mlf,
                             const std::vector<int>* frameVolumes = nullptr);

  // The steps of one utterance once the models are read and dictPrepare has run: the texts
  // and net of param (netPrepare), the wave, its features in the pipeline's framing
  // (epdAndMfcc) and the recognition core, which fills mlf and writes the result files. The
  // wave is the caller's when given, used as it is; without one the audio file wavFile is
  // read and prepared (wavePrepare) once the net is built. Returns the identified texts'
  // indices. Every utterance of tulim-run, of tulim-batch and of the exports runs through here.
  // The set is laid out for scoring, or is being laid out by ahead.layout, which is waited for
  // before the search; the wave's features are ahead.features' when given (the wave's own).
  std::vector<int> recogUtterance(recogParam& param, const macroClass& mac, dictClass& dict, textClass& text,
                                  netClass& net, mlfClass& mlf, const sampleBuffer* wave = nullptr,
                                  utteranceAhead ahead = {});

  // Reads the audio file wavFile, prepares it and runs recogFromSamples on it. Returns the
  // first identified text index, -1 when no text was identified.
  int recogFromWavFile(recogParam& param, mlfClass& mlf);

  // Loads the models, lexicons, texts and net, extracts the features of the samples (used as
  // they are) and runs recogCore. Returns the first identified text index, -1 when no text
  // was identified. frameVolumes: as wavePrepare gives them, when it prepared the samples.
  int recogFromSamples(recogParam& param, mlfClass& mlf, const int* samples, int sampleCount, int fs, int nbits,
                       const std::vector<int>* frameVolumes = nullptr);
};

}  // namespace tulim
