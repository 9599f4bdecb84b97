// The recognition task: the data-less class through which the library exports and both
// programs run the pipeline (parameters, wave preparation, features, lexicon and net,
// recognition core).
#pragma once

#include <string>

#include "recogParam.h"

namespace tulim {

class recogTask {
 public:
  // Defaults first, then every key of the file in order; an unknown key is fatal.
  void recogParamRead(const std::string& fileName, recogParam& param);
  // Prints 41 of the fields, one "recogParam.<key>=<value> (line=N, file=recogTask)" line each.
  void recogParamPrint(const recogParam& param);

  // ---- Syllable pitch and volume, and the net-file variants ----------------------------------
};

}  // namespace tulim
