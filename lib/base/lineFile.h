// Line files and key = value parameter files: configuration and lists are read whole into
// string vectors. Every reader opens through openFile, so a missing file is fatal.
#pragma once

#include <string>

#include "stringUtil.h"

namespace tulim {

// The file's lines, without their line ends; empty lines and lines that begin with
// comment (when not 0) are dropped. vec is cleared first.
void file2strVec(const std::string& fileName, strVec& vec, char comment = 0);
// The same, with the 1-based number in the file of every kept line, for messages.
void file2strVec(const std::string& fileName, strVec& vec, char comment, std::vector<int>& lineNumbers);

// Appends the key and value of every line that holds a '=' after its '%' comment is cut,
// both trimmed; keys and values stay parallel, in file order, duplicates included.
void keyValueFileRead(const std::string& fileName, strVec& keys, strVec& values);

// The value of key, read from fileName, as a whole finite number within the range of its
// field; anything else ("12abc", "abc", "nan", "1e999") is fatal, naming the file, the key
// and the value: read the way atof reads it, it would be a number nobody wrote.
double keyValueDouble(const std::string& fileName, const std::string& key, const std::string& value);
float keyValueFloat(const std::string& fileName, const std::string& key, const std::string& value);
// The same for a whole number within the int range.
int keyValueInt(const std::string& fileName, const std::string& key, const std::string& value);

// The file's lines, each split at TAB.
strTable file2strTable(const std::string& fileName);

void strVec2file(const std::string& fileName, const strVec& vec);
void float2file(const std::string& fileName, float value);
void double2file(const std::string& fileName, double value);

// One line of at most 255 characters from standard input, its line end kept when read;
// end of input is fatal.
void stdinLineRead(std::string& line);
// Prints "Hit RETURN to continue ..." and reads one character.
int pressReturn();

}  // namespace tulim
