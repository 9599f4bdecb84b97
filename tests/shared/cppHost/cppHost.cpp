// A host application in C++, built against the installed library only: it recognises an
// utterance and shows how a fatal error reaches the host. Run by installTest.sh with:
// paramFile wavFile txtFile.
#include <cstdio>

#include <tulim.h>

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: cppHost paramFile wavFile txtFile\n");
    return 2;
  }
  float score = 0.0f;
  try {
    const int index = vc01(argv[1], argv[2], argv[3], &score);
    printf("vc01=%d score=%.1f\n", index, score);
  } catch (const char* message) {
    printf("failed: %s\n", message);
    return 1;
  }
  try {
    vc01("missing.prm", argv[2], argv[3], &score);
    printf("no fatal error\n");
  } catch (const char* message) {
    printf("caught: %s\n", message);
  }
  return 0;
}
