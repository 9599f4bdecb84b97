// Fatal errors and file access: the one error reporter of the engine (log file plus a
// thrown message) and the small file routines every subsystem uses.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace tulim {

// ---- Message composition --------------------------------------------------------------

// printf-style formatting into a std::string (C locale inside library calls).
std::string strFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string strFormatV(const char* format, va_list args);

// The source file's name without directory and extension ("utility" for .../utility.cpp),
// for the "(line %d of %s)" tail of fatal messages.
std::string sourceName(const char* path);

// Expands to the two arguments of a "(line %d of %s)" tail for the raising statement.
#define TULIM_HERE __LINE__, ::tulim::sourceName(__FILE__).c_str()

// ---- Fatal errors -----------------------------------------------------------------------

// Writes "Error: <message>\n" to <temp>/error_YYYYMMDD_hhmmss.log (when the "temp" variable
// is set and the file can be made, announcing the path on standard output) and throws the
// message as a char* to text owned by the library (per thread, valid until the thread's
// next fatal error).
[[noreturn]] void errorThrow(const char* message);

// errorThrow of a printf-style composed message.
[[noreturn]] void errorThrowf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// While one lives on a thread, the fatal errors thrown there write no log and announce
// nothing: the code inside tries a quicker way to a result that it makes again the plain way,
// with the plain way's messages, when the quick way fails.
class errorTrial {
 public:
  errorTrial();
  ~errorTrial();
  errorTrial(const errorTrial&) = delete;
  errorTrial& operator=(const errorTrial&) = delete;
};

// ---- Files ------------------------------------------------------------------------------

// Closes the file. A file that openFilePtr opened for writing and that closeWrittenFile did
// not finish (a fatal error on the way) is written under a temporary name: it is removed, so
// the writer leaves nothing cut behind.
struct fileCloser {
  std::string tempName;   // set by openFilePtr for a file written under a temporary name
  std::string finalName;  // set by openFilePtr for a file opened for writing
  void operator()(FILE* fp) const;
};
// An open file that closes itself, so a fatal error on the way does not leak the handle.
using filePtr = std::unique_ptr<FILE, fileCloser>;

// fopen with the given mode; a failure (or a directory) raises
// "Cannot open file %s: %s (line %d of %s)" with the name and the system's reason. Never
// returns null.
FILE* openFile(const char* name, const char* mode);
// openFile, except that the write modes "w", "wb", "a" and "ab" write the file whole or not at
// all: the bytes go to a temporary file in its folder (for "a" holding the old content first),
// which closeWrittenFile renames into place (fileReplaceOpen of the platform layer). Until
// then the name holds the old file or, while it is rewritten, nothing.
filePtr openFilePtr(const std::string& name, const char* mode);

// Closes a file written through stdio and, for one opened by openFilePtr, renames it into
// place. stdio keeps the error of any write that failed on the way, and a full disk often
// shows only when the close flushes the last buffer: either raises
// "Cannot write file %s: %s (line %d of %s)" with the system's reason, as does a failed cut or
// rename; the temporary file is then gone, so a cut file is never taken as written.
void closeWrittenFile(filePtr& fp, const std::string& name);
// The same without raising: false, with errno telling why, when a write, the cut, the close
// or the rename failed.
bool closeWrittenFileChecked(filePtr& fp);

// Reads one line into line without its line end; one '\r' right before the line end (or at
// the end of the file) is dropped, as Windows text mode did. A UTF-8 byte-order mark that
// begins the file is dropped from the first line. False at the end of the file.
bool fileReadLine(FILE* fp, std::string& line);

// The length of the UTF-8 byte-order mark (EF BB BF) that begins text: 3, or 0 without one.
// Editors on Windows put it at the start of text files; it is no part of their first line.
size_t byteOrderMarkLength(const char* text, size_t size);
// file2string for a text file: a byte-order mark at its start is dropped.
void textFile2string(const char* name, std::string& content);

// Number of lines, counted as reads of at most 999 characters (a longer line counts once
// for each piece); a last line without a line end counts.
int getFileLineCount(const char* name);

// True when name is not null and names a file (not a directory) that can be read.
bool fileExist(const char* name);

// The text after the last '.' of the whole path (the search does not stop at '/'), or
// the empty string when there is no '.'.
const char* getFileExt(const char* path);
std::string getFileExt(const std::string& path);

// The value of the "temp" variable; empty when unset.
void getTempDir(std::string& dir);

long getFileSize(const char* name);
// Size of an open file; its position is kept.
long getOpenFileSize(FILE* fp);

// The whole file in a malloc'ed buffer of *size bytes; the caller frees it.
char* file2buffer(const char* name, long* size);
void file2string(const char* name, std::string& content);
void buffer2file(const char* name, const void* buffer, long size);

// Reads the first n lines; afterwards line holds the last one read (without its line end).
void fileLineRead(const char* name, int n, std::string& line);

// Appends the paths of the files under dir (recursively) whose lower-cased name contains
// "." + ext ("*" matches every file).
void dirFileList(std::vector<std::string>& list, const std::string& dir, const std::string& ext);

}  // namespace tulim
