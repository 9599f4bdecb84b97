#include "resultFileSet.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "utility.h"

namespace tulim {

namespace {

// The run would only fail at its first file, after the earlier results are gone, and with the
// name of that file instead of the folder's.
void outputDirCheck(const std::string& dir) {
  struct stat info;
  if (stat(dir.c_str(), &info) != 0)
    errorThrowf("Error: outputDir = %s cannot be used: %s (line %d of %s)", dir.c_str(), strerror(errno),
                TULIM_HERE);
  if (!S_ISDIR(info.st_mode))
    errorThrowf("Error: outputDir = %s is not a folder (line %d of %s)", dir.c_str(), TULIM_HERE);
  if (access(dir.c_str(), W_OK | X_OK) != 0)
    errorThrowf("Error: outputDir = %s is not writable: %s (line %d of %s)", dir.c_str(), strerror(errno),
                TULIM_HERE);
}

}  // namespace

resultFileSet::~resultFileSet() { namesRemove(m_names, false); }

strVec resultFileSet::namesOf(const recogParam& param) {
  strVec names = {param.outputXmlFile.empty() ? "output.xml" : param.outputXmlFile, "score.txt", "recogResult.txt"};
  if (param.function == "assess" && !param.sylFile.empty()) names.push_back("confusingPath.txt");
  return names;
}

void resultFileSet::claim(const recogParam& param) {
  keep();
  if (param.outputDir.empty()) return;
  outputDirCheck(param.outputDir);
  if (!m_lock.acquire(param.outputDir))
    errorThrowf("Error: cannot lock outputDir = %s with %s: %s (line %d of %s)", param.outputDir.c_str(),
                m_lock.lockFileName().c_str(), strerror(errno), TULIM_HERE);
  m_dir = param.outputDir;
  m_names = namesOf(param);
  namesRemove(m_names, true);
}

void resultFileSet::remove(const strVec& names) const { namesRemove(names, true); }

void resultFileSet::runStart(const recogParam& param) {
  if (m_dir.empty()) return;
  m_names = namesOf(param);
  namesRemove(m_names, true);
}

void resultFileSet::keep() {
  m_names.clear();
  m_dir.clear();
  m_lock.release();
}

void resultFileSet::namesRemove(const strVec& names, bool fatal) const {
  if (m_dir.empty()) return;
  for (const std::string& name : names) {
    const std::string path = m_dir + "/" + name;
    if (!fileRemoveIfPresent(path.c_str()) && fatal)
      errorThrowf("Error: cannot remove the earlier result file %s: %s (line %d of %s)", path.c_str(),
                  strerror(errno), TULIM_HERE);
  }
}

}  // namespace tulim
