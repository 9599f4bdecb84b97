// String and string-vector utilities. Strings are byte strings: Big5 and UTF-8 text passes
// through untouched, only ASCII letters are case-folded, and white space is the six ASCII
// characters space, TAB, LF, VT, FF and CR.
#pragma once

#include <string>
#include <vector>

namespace tulim {

using strVec = std::vector<std::string>;
using strTable = std::vector<strVec>;

// ---- One string ---------------------------------------------------------------------------

// True for the six white-space bytes (never for bytes >= 0x80).
bool isWhiteSpace(char c);

// Cuts str at every delim, empty pieces included ("a#b#" gives a, b, ""); an empty str adds
// nothing. out is cleared first unless append is set.
void strSplit(const std::string& str, char delim, strVec& out, bool append = false);

void strTrim(std::string& str);
// Cuts trailing spaces, TABs, CRs and LFs.
void strTrimRight(char* str);
void strTrimRight(std::string& str);

void strToLower(std::string& str);
void strToUpper(std::string& str);
// A malloc'ed lower-case copy in *out; the caller frees it.
void strLowerDup(const char* str, char** out);

// Replaces every occurrence of from, resuming after each inserted replacement; an empty
// from leaves str unchanged. Linear in the lengths of str and the result.
void strReplaceAll(std::string& str, const std::string& from, const std::string& to);
// Replaces every c by r in place; returns the string's length.
int strReplaceChar(char* str, char c, char r);

// 1 for NUL, TAB, LF, CR and space.
int isBlankChar(int c);
// Runs of non-white-space among the first length bytes, stopping after the first LF.
int wordCount(const char* buffer, int length);

// atoi's reading (leading white space, optional sign, digits up to the first other byte,
// 0 without digits) without its undefined overflow: out-of-range values saturate.
int strToInt(const char* str);

// The whole of text, white space around it allowed, as a decimal integer within the int
// range; false for anything else (no digits, trailing bytes, overflow). For readers that
// must refuse what strToInt would quietly read as 0.
bool strToIntExact(const std::string& text, int& value);
// The same for a finite decimal number (strtod syntax without "nan", "inf" or hex forms).
bool strToDoubleExact(const std::string& text, double& value);
// A finite decimal number within the float range.
bool strToFloatExact(const std::string& text, float& value);

// ---- String vectors -----------------------------------------------------------------------

void strVecJoin(const strVec& vec, const std::string& delim, std::string& out);
std::string stringJoin(const strVec& vec, const std::string& delim);
void intVecJoin(const std::vector<int>& vec, const std::string& delim, std::string& out);

// Every combination of one alternative per position, joined by '-'; position 0 varies
// fastest ({x,y},{p,q} gives x-p, y-p, x-q, y-q).
void strVecCombine(const strTable& alternatives, strVec& out);

// To fileName ("%s\n" each) when it is not empty, else to standard output as name[i] = ...
void strVecPrint(const strVec& vec, const std::string& name, const std::string& fileName = "");
void strVecRemoveEmpty(strVec& vec);

// Index of the first element containing key, or -1.
int strVecFind(const strVec& vec, const std::string& key);

// Indices of the elements whose first occurrence of key is: anywhere (matchPos 0), at the
// start (1), at the end (2), the whole element (3). Another matchPos is fatal.
void strVecLinSearch(const strVec& vec, const std::string& key, std::vector<int>& out, int matchPos);

// Binary search of a byte-sorted vector for key (prefix: an element that begins with key);
// out gets the one index found, if any.
void strVecBinSearch(const strVec& vec, const std::string& key, std::vector<int>& out, bool prefix);

// Sorts vec and removes duplicates; index[i] is the first position of vec[i] in the input.
void uniqueIndexGet(strVec& vec, std::vector<int>& index);

// qsort comparisons: 1, -1 or 0 (also for unordered floating-point values).
int intCompare(const void* a, const void* b);
int floatCompare(const void* a, const void* b);
int doubleCompare(const void* a, const void* b);

}  // namespace tulim
