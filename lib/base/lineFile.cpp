#include "lineFile.h"

#include <cstdio>

#include "utility.h"

namespace tulim {

void file2strVec(const std::string& fileName, strVec& vec, char comment) {
  std::vector<int> lineNumbers;
  file2strVec(fileName, vec, comment, lineNumbers);
}

void file2strVec(const std::string& fileName, strVec& vec, char comment, std::vector<int>& lineNumbers) {
  vec.clear();
  lineNumbers.clear();
  filePtr fp = openFilePtr(fileName, "r");
  std::string line;
  int number = 0;
  while (fileReadLine(fp.get(), line)) {
    ++number;
    if (line.empty()) continue;
    if (comment != 0 && line[0] == comment) continue;
    vec.push_back(line);
    lineNumbers.push_back(number);
  }
}

void keyValueFileRead(const std::string& fileName, strVec& keys, strVec& values) {
  strVec lines;
  file2strVec(fileName, lines);
  for (std::string& line : lines) {
    size_t percent = line.find('%');
    if (percent != std::string::npos) line.erase(percent);
    strTrim(line);
    size_t equal = line.find('=');
    if (equal == std::string::npos) continue;
    std::string key = line.substr(0, equal);
    std::string value = line.substr(equal + 1);
    strTrim(key);
    strTrim(value);
    keys.push_back(key);
    values.push_back(value);
  }
}

namespace {

[[noreturn]] void keyValueRefuse(const std::string& fileName, const std::string& key, const std::string& value,
                                 const char* allowed, int sourceLine) {
  errorThrowf("Error: %s = %s in %s is not allowed; it must be %s (line %d of %s)", key.c_str(), value.c_str(),
              fileName.c_str(), allowed, sourceLine, "lineFile");
}

}  // namespace

double keyValueDouble(const std::string& fileName, const std::string& key, const std::string& value) {
  double number = 0;
  if (!strToDoubleExact(value, number)) keyValueRefuse(fileName, key, value, "a finite number", __LINE__);
  return number;
}

float keyValueFloat(const std::string& fileName, const std::string& key, const std::string& value) {
  float number = 0;
  if (!strToFloatExact(value, number)) keyValueRefuse(fileName, key, value, "a finite number", __LINE__);
  return number;
}

int keyValueInt(const std::string& fileName, const std::string& key, const std::string& value) {
  int number = 0;
  if (!strToIntExact(value, number)) keyValueRefuse(fileName, key, value, "a whole number", __LINE__);
  return number;
}

strTable file2strTable(const std::string& fileName) {
  strVec lines;
  file2strVec(fileName, lines);
  strTable table(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) strSplit(lines[i], '\t', table[i]);
  return table;
}

void strVec2file(const std::string& fileName, const strVec& vec) {
  filePtr fp = openFilePtr(fileName, "w");
  for (const std::string& s : vec) fprintf(fp.get(), "%s\n", s.c_str());
  closeWrittenFile(fp, fileName);
}

void float2file(const std::string& fileName, float value) {
  filePtr fp = openFilePtr(fileName, "w");
  fprintf(fp.get(), "%g\n", static_cast<double>(value));
  closeWrittenFile(fp, fileName);
}

void double2file(const std::string& fileName, double value) {
  filePtr fp = openFilePtr(fileName, "w");
  fprintf(fp.get(), "%g\n", value);
  closeWrittenFile(fp, fileName);
}

void stdinLineRead(std::string& line) {
  char buffer[256];
  if (!fgets(buffer, sizeof buffer, stdin)) errorThrowf("Error reading string (line %d of %s)", TULIM_HERE);
  line = buffer;
}

int pressReturn() {
  printf("Hit RETURN to continue ...\n");
  fflush(stdout);
  return getchar();
}

}  // namespace tulim
