#include "stringList.h"

#include <cstdlib>
#include <cstring>

#include "utility.h"

namespace tulim {

namespace {

// malloc'ed, as the list frees its data with free.
char* copyOf(const char* str) {
  if (!str) str = "";
  const size_t size = strlen(str) + 1;
  char* copy = static_cast<char*>(malloc(size));
  if (!copy) errorThrowf("Out of memory for a string of %zu bytes (line %d of %s)", size, TULIM_HERE);
  memcpy(copy, str, size);
  return copy;
}

// The length of the name part of an entry.
size_t nameLength(const char* entry) {
  const char* equals = strchr(entry, '=');
  return equals ? static_cast<size_t>(equals - entry) : strlen(entry);
}

}  // namespace

int stringList::add(const char* str) {
  char* copy = copyOf(str);
  try {
    return append(copy);
  } catch (...) {
    free(copy);
    throw;
  }
}

void stringList::insertString(int index, const char* str) {
  char* copy = copyOf(str);
  try {
    insert(index, copy);
  } catch (...) {
    free(copy);
    throw;
  }
}

const char* stringList::getString(int index) { return static_cast<const char*>(get(index)); }

const char* stringList::getName(int index) {
  const char* entry = getString(index);
  if (!entry) return nullptr;
  m_name.assign(entry, nameLength(entry));
  return m_name.c_str();
}

int stringList::findName(const char* name) {
  if (!name) name = "";
  const size_t length = strlen(name);
  for (int i = 0; i < count(); i++) {
    const char* entry = getString(i);
    if (nameLength(entry) == length && memcmp(entry, name, length) == 0) return i;
  }
  return -1;
}

int stringList::setValue(const char* name, const char* value) {
  const std::string entry = strFormat("%s=%s", name ? name : "", value ? value : "");
  const int index = findName(name);
  if (index < 0) return add(entry.c_str());
  // Copied before the old entry goes, so a failed allocation leaves the list as it was.
  char* copy = copyOf(entry.c_str());
  remove(index);
  insert(index, copy);
  return index;
}

const char* stringList::getValue(const char* name) {
  const int index = findName(name);
  if (index < 0) return "";
  const char* equals = strchr(getString(index), '=');
  return equals ? equals + 1 : "";
}

}  // namespace tulim
