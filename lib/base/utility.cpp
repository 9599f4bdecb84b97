#include "utility.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platformClock.h"
#include "platform/platformDir.h"
#include "platform/platformEnv.h"
#include "platform/platformFile.h"
#include "stringUtil.h"

namespace tulim {

std::string strFormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  vsnprintf(&text[0], text.size() + 1, format, args);
  return text;
}

std::string strFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = strFormatV(format, args);
  va_end(args);
  return text;
}

std::string sourceName(const char* path) {
  std::string name = path ? path : "";
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

namespace {
thread_local int t_errorTrials = 0;
}  // namespace

errorTrial::errorTrial() { t_errorTrials++; }
errorTrial::~errorTrial() { t_errorTrials--; }

void errorThrow(const char* message) {
  // The raiser's buffer may be gone when the catcher reads the text: keep our own copy.
  static thread_local std::string s_text;
  std::string text = message ? message : "";

  std::string dir;
  if (t_errorTrials == 0) getTempDir(dir);
  if (!dir.empty()) {
    localTime t = localTimeNow();
    std::string path = strFormat("%s/error_%04d%02d%02d_%02d%02d%02d.log", dir.c_str(), t.year,
                                 t.month, t.day, t.hour, t.minute, t.second);
    fileReplace log;
    if (fileReplaceOpen(path.c_str(), false, log)) {
      printf("\nSaved error log at %s...\n", path.c_str());
      fflush(stdout);
      fprintf(log.fp, "Error: %s\n", text.c_str());
      fileReplaceCommit(log);
    }
  }
  s_text = std::move(text);
  throw const_cast<char*>(s_text.c_str());
}

void errorThrowf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = strFormatV(format, args);
  va_end(args);
  errorThrow(text.c_str());
}

FILE* openFile(const char* name, const char* mode) {
  FILE* fp = nullptr;
  int err = EINVAL;
  // fopen of a directory succeeds here and reads as empty; it is not a file.
  if (name && isDirectory(name))
    err = EISDIR;
  else if (name && !(fp = fopen(name, mode)))
    err = errno;
  if (!fp)
    errorThrowf("Cannot open file %s: %s (line %d of %s)", name ? name : "(null)", strerror(err), TULIM_HERE);
  return fp;
}

void fileCloser::operator()(FILE* fp) const {
  if (!fp) return;
  fileReplace file{fp, tempName, std::string()};
  fileReplaceAbandon(file);
}

filePtr openFilePtr(const std::string& name, const char* mode) {
  const bool write = strcmp(mode, "w") == 0 || strcmp(mode, "wb") == 0;
  const bool append = strcmp(mode, "a") == 0 || strcmp(mode, "ab") == 0;
  if (!write && !append) return filePtr(openFile(name.c_str(), mode));
  fileReplace file;
  if (!fileReplaceOpen(name.c_str(), append, file))
    errorThrowf("Cannot open file %s: %s (line %d of %s)", name.c_str(), strerror(errno), TULIM_HERE);
  return filePtr(file.fp, fileCloser{file.tempName, file.finalName});
}

bool closeWrittenFileChecked(filePtr& fp) {
  fileReplace file{fp.get(), fp.get_deleter().tempName, fp.get_deleter().finalName};
  fp.release();
  if (!file.fp) return true;
  if (file.finalName.empty()) {
    // Opened for reading, or handed over already open: closed, with nothing to rename.
    const bool failed = ferror(file.fp) != 0;
    return fclose(file.fp) == 0 && !failed;
  }
  return fileReplaceCommit(file);
}

void closeWrittenFile(filePtr& fp, const std::string& name) {
  if (!closeWrittenFileChecked(fp))
    errorThrowf("Cannot write file %s: %s (line %d of %s)", name.c_str(), strerror(errno), TULIM_HERE);
}

size_t byteOrderMarkLength(const char* text, size_t size) {
  return size >= 3 && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
                 static_cast<unsigned char>(text[2]) == 0xBF
             ? 3
             : 0;
}

bool fileReadLine(FILE* fp, std::string& line) {
  line.clear();
  bool any = false;
  long taken = 0;
  int c;
  while ((c = getc_unlocked(fp)) != EOF) {
    any = true;
    ++taken;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  // Only a line that began at the very start of the file can carry the mark; the position
  // is asked for only when the line begins with its bytes.
  const size_t mark = byteOrderMarkLength(line.data(), line.size());
  if (mark > 0 && ftell(fp) == taken) line.erase(0, mark);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

int getFileLineCount(const char* name) {
  filePtr fp(openFile(name, "r"));
  // Counts what reads into a 1000-character buffer would: pieces of at most 999
  // characters, the line end included.
  int count = 0;
  long pieceLength = 0;
  int c;
  bool pendingCr = false;
  while ((c = getc(fp.get())) != EOF) {
    if (pendingCr && c != '\n') {
      // A lone '\r' inside a line is an ordinary character.
      if (++pieceLength == 999) {
        ++count;
        pieceLength = 0;
      }
    }
    pendingCr = false;
    if (c == '\r') {
      pendingCr = true;
      continue;
    }
    ++pieceLength;
    if (c == '\n' || pieceLength == 999) {
      ++count;
      pieceLength = 0;
    }
  }
  // A '\r' right before the end of the file is no line end but the line's last character.
  if (pendingCr) ++pieceLength;
  if (pieceLength > 0) ++count;
  return count;
}

bool fileExist(const char* name) {
  if (!name || isDirectory(name)) return false;
  FILE* fp = fopen(name, "r");
  if (!fp) return false;
  fclose(fp);
  return true;
}

const char* getFileExt(const char* path) {
  const char* dot = strrchr(path, '.');
  return dot ? dot + 1 : path + strlen(path);
}

std::string getFileExt(const std::string& path) {
  size_t dot = path.rfind('.');
  return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

void getTempDir(std::string& dir) { dir = envGet("temp"); }

long getFileSize(const char* name) {
  filePtr fp(openFile(name, "r"));
  fseek(fp.get(), 0, SEEK_END);
  return ftell(fp.get());
}

long getOpenFileSize(FILE* fp) {
  long position = ftell(fp);
  fseek(fp, 0, SEEK_END);
  long size = ftell(fp);
  fseek(fp, position, SEEK_SET);
  return size;
}

char* file2buffer(const char* name, long* size) {
  filePtr fp(openFile(name, "rb"));
  long n = getOpenFileSize(fp.get());
  if (n < 0) n = 0;
  char* buffer = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
  if (!buffer) errorThrowf("Cannot allocate %ld bytes for file %s (line %d of %s)", n, name, TULIM_HERE);
  size_t got = fread(buffer, 1, static_cast<size_t>(n), fp.get());
  if (got != static_cast<size_t>(n)) {
    free(buffer);
    errorThrowf("Cannot read file %s (line %d of %s)", name, TULIM_HERE);
  }
  buffer[n] = '\0';
  if (size) *size = n;
  return buffer;
}

void file2string(const char* name, std::string& content) {
  long size = 0;
  char* buffer = file2buffer(name, &size);
  content.assign(buffer, static_cast<size_t>(size));
  free(buffer);
}

void textFile2string(const char* name, std::string& content) {
  file2string(name, content);
  content.erase(0, byteOrderMarkLength(content.data(), content.size()));
}

void buffer2file(const char* name, const void* buffer, long size) {
  filePtr fp = openFilePtr(name ? name : "", "wb");
  if (size > 0) fwrite(buffer, 1, static_cast<size_t>(size), fp.get());
  closeWrittenFile(fp, name ? name : "");
}

void fileLineRead(const char* name, int n, std::string& line) {
  filePtr fp(openFile(name, "r"));
  std::string next;
  for (int i = 0; i < n && fileReadLine(fp.get(), next); ++i) line = next;
}

void dirFileList(std::vector<std::string>& list, const std::string& dir, const std::string& ext) {
  std::vector<dirEntry> entries;
  if (!dirRead(dir, entries)) {
    printf("No *.%s files in current directory!\n", ext.c_str());
    return;
  }
  const std::string suffix = (!ext.empty() && ext[0] == '*') ? std::string(".") : "." + ext;
  std::string prefix = dir;
  if (prefix.empty() || prefix.back() != PATH_SEPARATOR) prefix += PATH_SEPARATOR;
  for (const dirEntry& entry : entries) {
    std::string lower = entry.name;
    strToLower(lower);
    if (entry.isDir && lower[0] != '.') {
      dirFileList(list, prefix + entry.name, ext);
    } else if (lower.find(suffix) != std::string::npos || suffix == ".") {
      list.push_back(prefix + entry.name);
    }
  }
}

}  // namespace tulim
