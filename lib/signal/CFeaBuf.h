// The feature matrix (one row of floats per frame, stored back to back) with the four
// header fields of an HTK-style parameter file, and its binary feature file: 12-byte
// header, then the frames as float32. The MFCC front end fills one while it computes.
#pragma once

#include <cstdint>

#include "CFloatVec.h"

namespace tulim {

class CFeaBuf {
 public:
  CFeaBuf() = default;

  // nSamples := nRows := nFrames, nCols := nColumns; the old rows go, the new ones are zero.
  void resize(int nFrames, int nColumns);

  float* row(int i) { return &rows[i * nCols]; }
  const float* row(int i) const { return &rows[i * nCols]; }
  int rowCount() const { return nRows; }
  int colCount() const { return nCols; }

  // Little-endian: nSamples, sampPeriod (4 bytes each), sampSize, parmKind (2 each), then
  // every row. Throws std::runtime_error "[ERRMSG] CFeaBuf::write2bin => ..." when the
  // file cannot be made or a header field is below 1 or disagrees with the rows.
  bool write2bin(const char* file);

  // Reads such a file (nativeOrder) or one with every field and value byte-reversed (the
  // big-endian order of HTK files). False, the buffer unchanged, when the file is missing,
  // shorter than its header says, or its header is impossible (negative frame count,
  // frame size not a positive multiple of 4). Bytes after the frames are ignored.
  bool read(const char* file, bool nativeOrder);

  CFloatVec rows;      // nRows x nCols, row-major
  int32_t nRows = 0;
  int32_t nCols = 0;
  int32_t nSamples = 0;   // frame count of the header
  int32_t sampPeriod = 0; // frame period, 100 ns units
  int16_t sampSize = 0;   // bytes a frame
  int16_t parmKind = 0;   // parameter kind code
};

}  // namespace tulim
