// tulim-make-example: writes the demo's recognition task into a folder (examples/ of the
// source tree by default): run it again after a change of the front end or the model format.
#include <cstdio>

#include "exampleTask.h"

int main(int argc, char** argv) {
  if (argc > 2) {
    printf("Usage: %s [outputDir]\n", argv[0]);
    return 1;
  }
  const char* dir = argc == 2 ? argv[1] : TULIM_EXAMPLES_DIR;
  try {
    tulim::example::exampleTaskWrite(dir);
  } catch (char* message) {
    printf("%s\n", message);
    return 1;
  }
  printf("Wrote the example task into %s\n", dir);
  return 0;
}
