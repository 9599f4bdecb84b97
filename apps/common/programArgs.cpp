#include "programArgs.h"

#include <iostream>

#include "utility.h"

namespace tulim {

const char* argAt(int argc, char** argv, int position) {
  if (position >= argc || argv[position][0] == '\0') return nullptr;
  return argv[position];
}

strVec intArgumentsApply(int argc, char** argv, recogTask& task, std::initializer_list<intArgument> arguments) {
  strVec overridden;
  for (const intArgument& a : arguments) {
    if (const char* value = argAt(argc, argv, a.position)) {
      a.field = task.intValueRead(a.key, value, strFormat("from argument %d", a.position));
      overridden.push_back(a.key);
    }
  }
  return overridden;
}

void failurePrint(const mlfClass& mlf, const char* message) {
  for (const std::string& warning : mlf.m_warning)
    if (warning != message) std::cout << "Warning: " << warning << std::endl;
  std::cout << message << std::endl;
}

}  // namespace tulim
