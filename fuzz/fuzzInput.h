// What every fuzz harness shares: the readers take file names, so each input is written to a
// file in a scratch directory of the process; a fatal error (errorThrow's char*) is one of
// the normal outcomes of a hostile file, anything else is a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tulim {
namespace fuzz {

// The scratch directory of this process, made on first use. It becomes the "temp" folder
// of the error logs, standard output (the readers' progress lines) goes to /dev/null unless
// TULIM_FUZZ_VERBOSE is set, and the directory is removed when the process exits.
const std::string& scratchPath();

// Writes the bytes to scratchPath()/name and returns that path.
std::string inputFile(const std::string& name, const uint8_t* data, size_t size);
std::string inputFile(const std::string& name, const std::string& bytes);

// Removes the error logs of the scratch directory every few thousand calls.
void errorLogsTrim();

// Runs f; a fatal error ends it and is dropped. Every so often the error logs are removed.
template <class F>
void fatalAllowed(F&& f) {
  try {
    f();
  } catch (char*) {
  }
  errorLogsTrim();
}

// Inputs that hold several files: the parts between lines of PART_SEPARATOR. Missing parts
// come back empty, so a harness can always take parts[0 .. n - 1].
constexpr const char* PART_SEPARATOR = "\n=====\n";
std::vector<std::string> inputParts(const uint8_t* data, size_t size, size_t n);
std::string partsJoin(const std::vector<std::string>& parts);

}  // namespace fuzz
}  // namespace tulim
