/* A host application in C, linked against the shared library: it calls the exports through
 * tulim.h and reports what they gave, and which of a few names the library lets it see.
 * Run by recogExportsTest, and by installTest.sh against the installed library, with:
 * paramFile wavFile txtFile outWavFile; and by recordingTest with: --record recordParamFile
 * capacity outWavFile, which records from the default capture device and writes what it got
 * to outWavFile. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tulim.h"

static const char* const kVisible[] = {"vc01", "sa01", "vc02", "sa02", "recordAutoStop", "recordParamRead",
                                       "recordParamPrint", "openFile", "getFileLineCount", "wavFileWrite"};
/* Engine functions that stay inside the library. */
static const char* const kHidden[] = {"_ZN5tulim8openFileEPKcS1_", "_ZN5tulim10errorThrowEPKc"};

static int record(const char* paramFile, int capacity, const char* outWavFile) {
  recordParam param;
  recordParamRead(paramFile, &param);
  int32_t* samples = malloc(sizeof *samples * (size_t)(capacity > 0 ? capacity : 1));
  if (!samples) return 1;
  const int32_t count = recordAutoStop(&param, samples, capacity, NULL);
  printf("recorded=%d\n", (int)count);
  int ok = count >= 0;
  if (count > 0) {
    ok = wavFileWrite(samples, count, param.fs, param.nbits, outWavFile);
    printf("written=%d\n", ok);
  }
  free(samples);
  return ok ? 0 : 1;
}

int main(int argc, char** argv) {
  setvbuf(stdout, NULL, _IONBF, 0);
  if (argc == 5 && strcmp(argv[1], "--record") == 0) return record(argv[2], atoi(argv[3]), argv[4]);
  if (argc != 5) {
    fprintf(stderr, "usage: tulimHost paramFile wavFile txtFile outWavFile\n"
                    "       tulimHost --record recordParamFile capacity outWavFile\n");
    return 2;
  }
  size_t i;
  for (i = 0; i < sizeof kVisible / sizeof kVisible[0]; i++)
    printf("%s %s\n", kVisible[i], dlsym(RTLD_DEFAULT, kVisible[i]) ? "visible" : "missing");
  for (i = 0; i < sizeof kHidden / sizeof kHidden[0]; i++)
    printf("%s %s\n", kHidden[i], dlsym(RTLD_DEFAULT, kHidden[i]) ? "visible" : "hidden");

  printf("lines=%d\n", getFileLineCount(argv[3]));
  FILE* fp = openFile(argv[3], "r");
  printf("opened=%d\n", fp != NULL);
  fclose(fp);

  float score = 1.0f;
  const int index = vc01(argv[1], argv[2], argv[3], &score);
  printf("vc01=%d score=%.1f\n", index, score);

  const int samples[4] = {0, 1000, -1000, 0};
  printf("written=%d\n", wavFileWrite(samples, 4, 16000, 16, argv[4]) ? 1 : 0);
  return 0;
}
