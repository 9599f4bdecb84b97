// A linked list that owns copies of NUL-terminated strings and serves as a small table of
// name=value entries. An offered container of the toolkit; the pipeline uses string vectors.
#pragma once

#include <string>

#include "linkedList.h"

namespace tulim {

// Entries may be of any length. A null string is stored as an empty one. The name of an entry
// is its text before the first '=', so a name that itself holds '=' never matches a stored
// entry: setValue with it appends every time and getValue finds nothing.
class stringList : private linkedList {
 public:
  stringList() : linkedList(true) {}

  // Appends a copy; returns its index.
  int add(const char* str);
  // Inserts a copy at index, clamped to 0..count.
  void insertString(int index, const char* str);

  // The stored string, or null outside 0..count - 1.
  const char* getString(int index);

  // The text before the first '=' (all of it without one), in the list's name buffer: valid
  // until the next getName. Null outside 0..count - 1.
  const char* getName(int index);

  // Stores "name=value" in place of the first entry with that name (byte comparison), or at
  // the end when there is none; returns its index.
  int setValue(const char* name, const char* value);

  // The text after the first '=' of the first entry with that name, inside the stored entry
  // (valid while the entry stays); empty when no entry has the name or it holds no '='.
  const char* getValue(const char* name);

  using linkedList::clear;
  using linkedList::count;
  using linkedList::remove;

 private:
  // The index of the first entry named name, or -1.
  int findName(const char* name);

  std::string m_name;
};

}  // namespace tulim
