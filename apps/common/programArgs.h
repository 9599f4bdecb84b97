// The command-line arguments that both programs share the rules of: an argument replaces its
// field of the recognition parameters only when it is given and not empty, so "" keeps the
// file's value and still lets the arguments after it be given. Also how both report a fatal
// error.
#pragma once

#include <initializer_list>

#include "mlfClass.h"
#include "recogTask.h"
#include "stringUtil.h"

namespace tulim {

// argv[position] when it is given and not empty, else null.
const char* argAt(int argc, char** argv, int position);

// An integer argument: its position in argv and the key and field it replaces.
struct intArgument {
  int position;
  const char* key;
  int& field;
};

// Sets each integer field whose argument is given, checked as the run checks the file's
// values (fatal, naming the argument, when it is not allowed). Returns the keys set, whose
// file values the run then ignores.
strVec intArgumentsApply(int argc, char** argv, recogTask& task, std::initializer_list<intArgument> arguments);

// Prints the fatal error's message on standard output, after the run's warnings that are not
// that message: the volume check's finding often explains the failure (a silent wave finds
// no text).
void failurePrint(const mlfClass& mlf, const char* message);

}  // namespace tulim
