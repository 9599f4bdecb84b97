// Binary search of a lexicon sorted by one of its string fields (unsigned byte order); used by
// the pronunciation dictionary (dictClass, by syllable) and the word table (textClass, by word).
#pragma once

#include <string>
#include <vector>

namespace tulim {

// Index of an entry whose field equals key, or -1.
template <class Entry>
int lexiconFind(const std::vector<Entry>& entries, std::string Entry::*field, const std::string& key) {
  int lo = 0;
  int hi = static_cast<int>(entries.size()) - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = key.compare(entries[mid].*field);
    if (c == 0) return mid;
    if (c > 0)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  return -1;
}

}  // namespace tulim
