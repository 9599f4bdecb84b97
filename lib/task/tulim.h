/* The functions the shared library tulim exports, with C linkage, for host applications
 * written in C or C++: recognition and assessment of one utterance from an audio file or a
 * sample buffer, microphone recording with automatic stop, and a few file helpers. A fatal
 * error leaves every one of them as a thrown char* (the message text). */
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

/* Recognition ("recog": which text of txtFile was said) and assessment ("assess": how well
 * it was said) with the settings of recogParamFile. They return the index of the first
 * identified text (-1 when none was identified) and store the overall score through score.
 * vc01 and sa01 read and prepare the audio file wavFile; vc02 and sa02 take sampleCount
 * samples at fs Hz of nbits bits as they are, and only read them. */
int vc01(const char* recogParamFile, const char* wavFile, const char* txtFile, float* score);
int sa01(const char* recogParamFile, const char* wavFile, const char* txtFile, float* score);
int vc02(const char* recogParamFile, const int* samples, int sampleCount, int fs, int nbits, const char* txtFile,
         float* score);
int sa02(const char* recogParamFile, const int* samples, int sampleCount, int fs, int nbits, const char* txtFile,
         float* score);

/* Records mono PCM from the default capture device (ALSA's "default" PCM) into samples until
 * a silence limit, the capacity or a non-zero *stopFlag (stopFlag may be null) stops it;
 * returns the number of samples stored, or -1. */
int32_t recordAutoStop(const recordParam* param, int32_t* samples, int32_t capacity, const char* stopFlag);
void recordParamRead(const char* fileName, recordParam* param);
void recordParamPrint(const recordParam* param);

/* fopen that raises a fatal error instead of returning null. */
FILE* openFile(const char* name, const char* mode);
/* Lines of a text file, a line of more than 999 characters counting once per piece. */
int getFileLineCount(const char* name);
/* A mono PCM wave file of nbits (8 or 16) bits; false when it could not be written. */
bool wavFileWrite(const int* samples, int count, int fs, int nbits, const char* fileName);

#ifdef __cplusplus
}
#endif

#endif
