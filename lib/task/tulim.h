/* tulim: recognition and pronunciation assessment of short utterances, for host
 * applications in C or C++. Link with -ltulim (pkg-config: tulim; CMake: find_package(tulim),
 * target tulim::tulim).
 *
 * Fatal errors. Every function below may fail with a fatal error (a file that cannot be
 * opened or parsed, a parameter value that cannot work, ...). A fatal error is thrown as a
 * C++ exception of type char*, pointing to the message text (owned by the library, valid
 * until the same thread's next fatal error); nothing is returned and no out argument is
 * written. When the environment variable "temp" names a writable directory, the message is
 * also written there to error_YYYYMMDD_hhmmss.log and the log's path is printed on standard
 * output first. A host that must survive a fatal error therefore calls these functions from
 * C++ and catches const char* (or char*):
 *
 *     #include <tulim.h>
 *     float score = 0.0f;
 *     try {
 *       int index = vc01("task.prm", "utterance.wav", "texts.txt", &score);
 *       printf("text %d, score %.1f\n", index, score);
 *     } catch (const char* message) {
 *       printf("failed: %s\n", message);
 *     }
 *
 * A host written in C cannot catch it: a fatal error then ends the process (std::terminate).
 *
 * The functions print their progress (elapsed times, files read and saved) on standard output.
 * File names are taken as given, relative names from the working directory.
 *
 * Threads. A recognise or assess call runs on the caller's thread. Where the search or the
 * phone ranking is large enough to gain from it, threads of the library's own help, with the
 * numbers of the caller's thread alone: up to seven, never more than the CPUs the process may
 * use (its CPU set, and a cgroup CPU quota where one is set) less one, none when that is one,
 * and only as many as the work keeps busy. They start with the first call that needs them and
 * then sleep, using no CPU, until the process ends. dlclose leaves the library loaded (a later
 * dlopen finds the same threads). A child forked at any time, also while other threads of the
 * parent are inside calls, may call the library: it starts threads of its own when needed.
 *
 * Concurrent calls. vc01, sa01, vc02 and sa02 may be called from several host threads at once;
 * each call gives what it would give alone. Calls that run at the same time must name
 * different outputDir folders in their parameter files (or none), since each writes its
 * result files there. missingWord.txt goes to the working directory for every call that meets
 * words missing from the lexicon: calls at the same time share that one file. Their progress
 * lines on standard output interleave. recordAutoStop records one recording at a time (a
 * second call while one runs returns -1); recordParamRead, recordParamPrint, openFile,
 * getFileLineCount and wavFileWrite may be called from any thread at any time. */
#ifndef TULIM_H
#define TULIM_H

#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The recording parameters of recordParamRead, recordParamPrint and recordAutoStop. */
typedef struct recordParam {
  double totalDuration; /* seconds; read and printed only */
  int32_t nbits;        /* 8 or 16 */
  int32_t fs;           /* Hz */
  int32_t nAdjustFrame;
  double upRateBSInit;
  double upRateBSNew;
  double upRateBSModify;
  double downRateBSInit;
  double downRateBSNew;
  double downRateBSModifyUsingVol;
  double upRateFrame;
  double downRateFrame;
  double silenceLimitBeforeSpeech; /* seconds */
  double silenceLimitInSpeech;     /* seconds */
} recordParam;

/* ---- Recognition and assessment ------------------------------------------------------
 *
 * recogParamFile: the recognition parameter file (key = value lines: models, lexicons,
 *   front-end configuration, scoring parameters, outputDir, language, search settings).
 *   Its function and netType are ignored: vc01/vc02 recognise ("recog": which of the texts
 *   was said), sa01/sa02 assess ("assess": how well the text was said), both over a tree net.
 * txtFile: a file of candidate texts, one a line, or the texts themselves joined by '#'.
 *   For an assessment the texts are joined by blanks into one. A value that ends in ".txt"
 *   or holds a '/' but names no file is warned about and taken as the text itself.
 * score: receives the utterance's confidence score (0 to 100); may be null.
 * Returns the index, from 0 in the order of the texts, of the first identified text, or -1
 *   when no text was identified.
 * Files: when the parameter file sets outputDir, the run checks it (a missing folder, a file
 *   or a folder it cannot write into is fatal), waits for the folder's lock (flock on
 *   outputDir/.tulim.lock, so runs sharing the folder take turns; held until the call
 *   returns), removes the result files of an earlier run there (a removal that fails but for
 *   a missing file is fatal), then writes its diagnostics (output.nt, output.syl, output.net,
 *   output.netb, output.wpa, for English output.dic) and, when it succeeds, its result:
 *   output.xml (or the name outputXmlFile gives), score.txt and recogResult.txt (and, for an
 *   assessment against a syllable file, confusingPath.txt). A call that fails removes the
 *   result files it wrote. Every file is written under a temporary name in its folder and
 *   renamed into place, so it is whole or absent. Words missing from the lexicon
 *   are listed in missingWord.txt in the working directory.
 * Fatal errors (see above): a parameter value that cannot work is refused before anything is
 *   read, naming its key, the value, the file and what is allowed; so are a null or empty
 *   wavFile or txtFile. Nothing is kept between calls.
 *
 * vc01, sa01: read the audio file wavFile (RIFF WAVE, FLV with Nellymoser audio, or raw
 *   16-bit samples at 16000 Hz, chosen by its extension), bring it to 16 bits and 16000 Hz,
 *   check its volume and remove its mean before the run. */
int vc01(const char* recogParamFile, const char* wavFile, const char* txtFile, float* score);
int sa01(const char* recogParamFile, const char* wavFile, const char* txtFile, float* score);
/* vc02, sa02: take sampleCount samples at fs Hz of nbits bits (mono) as they are: no
 *   conversion, volume check or mean removal. The samples are only read and stay the host's. */
int vc02(const char* recogParamFile, const int* samples, int sampleCount, int fs, int nbits, const char* txtFile,
         float* score);
int sa02(const char* recogParamFile, const int* samples, int sampleCount, int fs, int nbits, const char* txtFile,
         float* score);

/* ---- Microphone recording ----------------------------------------------------------------
 *
 * recordAutoStop: records mono PCM from the default capture device (ALSA's "default" PCM)
 *   into samples (capacity values; 8-bit samples as 0..255, 16-bit as signed values) until a
 *   silence limit of param, the capacity or a non-zero *stopFlag (stopFlag may be null;
 *   another thread sets it) stops it. Returns the number of samples stored, or -1 when the parameters or the device
 *   fail before recording (a message is printed) or another recording is running.
 * recordParamRead: fills *param from a key = value file with the field names as keys (every
 *   field first 0, a later line wins); an unknown key is fatal.
 * recordParamPrint: prints one "<field> = <value>" line per field on standard output. */
int32_t recordAutoStop(const recordParam* param, int32_t* samples, int32_t capacity, const char* stopFlag);
void recordParamRead(const char* fileName, recordParam* param);
void recordParamPrint(const recordParam* param);

/* ---- Files ---------------------------------------------------------------------------------
 *
 * openFile: fopen(name, mode); a failure is fatal ("Cannot open file <name>: <reason> ..."), so
 *   the result is never null. The host closes it with fclose, so a file opened for writing is
 *   written in place, unlike the engine's own files.
 * getFileLineCount: the number of lines of a text file, a line longer than 999 characters
 *   counting once for each piece of up to 999; a missing file is fatal.
 * wavFileWrite: writes count samples as a mono PCM RIFF WAVE file of fs Hz and nbits (8 or 16)
 *   bits, whole or not at all; false when it could not be written (never fatal). */
FILE* openFile(const char* name, const char* mode);
int getFileLineCount(const char* name);
bool wavFileWrite(const int* samples, int count, int fs, int nbits, const char* fileName);

#ifdef __cplusplus
}
#endif

#endif
