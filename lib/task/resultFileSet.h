// The result files of one run, kept together: a run holds its output folder's lock from the
// removal of the earlier results to its last rename, and a run that fails takes its own
// result files away again. Used by the exports and both programs.
#pragma once

#include <string>

#include "platform/platformFile.h"
#include "recogParam.h"
#include "stringUtil.h"

namespace tulim {

class resultFileSet {
 public:
  resultFileSet() = default;
  resultFileSet(const resultFileSet&) = delete;
  resultFileSet& operator=(const resultFileSet&) = delete;
  // A run that was not kept: the result files it may have written are removed.
  ~resultFileSet();

  // The result files that a run of param writes into outputDir: the XML result, score.txt,
  // recogResult.txt and, for an assessment against a syllable file, confusingPath.txt.
  static strVec namesOf(const recogParam& param);

  // With outputDir set: checks that it is a folder the run can write into (fatal, naming
  // outputDir and the folder, when not), waits for its lock and removes the result files of
  // param, so that nothing of an earlier run is left. A removal that fails for any reason but
  // a missing file is fatal, naming the file and the reason.
  void claim(const recogParam& param);
  // Removes more files of outputDir under the lock (a batch's XML files), as claim does.
  void remove(const strVec& names) const;
  // The next run under the same lock (a batch line): removes the result files of param, which
  // are then the ones a failure takes away.
  void runStart(const recogParam& param);
  // The run is complete: its files stay, and the lock is let go.
  void keep();

 private:
  void namesRemove(const strVec& names, bool fatal) const;

  dirLock m_lock;
  std::string m_dir;
  strVec m_names;
};

}  // namespace tulim
