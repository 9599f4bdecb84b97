#include "CFeaBuf.h"

#include <climits>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "bifstream.h"
#include "bofstream.h"
#include "platform/byteOrder.h"
#include "utility.h"

namespace tulim {

void CFeaBuf::resize(int nFrames, int nColumns) {
  if (nFrames < 0 || nColumns < 0 || int64_t(nFrames) * nColumns > INT_MAX)
    errorThrowf("CFeaBuf::resize: bad size %d x %d (line %d of %s)", nFrames, nColumns, TULIM_HERE);
  rows.resize(nFrames * nColumns, 0);
  nSamples = nFrames;
  nRows = nFrames;
  nCols = nColumns;
}

bool CFeaBuf::write2bin(const char* file) {
  bofstream out(file);
  if (!out.is_open()) throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  // A header that disagrees with the rows would make a file its reader misreads.
  if (nSamples < 1 || nSamples != nRows)
    throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Write frame number error! ");
  if (sampPeriod < 1) throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Write frame period error! ");
  if (sampSize < 1 || int64_t(sampSize) != int64_t(nCols) * 4)
    throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Write bytes_per_frame error! ");
  out.write4(nSamples);
  out.write4(sampPeriod);
  out.write2(sampSize);
  out.write2(parmKind);
  for (int i = 0; i < nRows * nCols; ++i) out.write4(rows[i]);
  // A full disk takes the open and fails the writes, or only the flush at close.
  out.close();
  if (out.fail()) throw std::runtime_error("[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  return true;
}

namespace {

// The next 4 (or 2) bytes of the file as a little-endian value, reversed first for a file
// of the other byte order.
bool readField(bifstream& in, bool nativeOrder, uint8_t* bytes, int n) {
  if (!in.readBytes(bytes, n)) return false;
  if (!nativeOrder) byteReverse(bytes, n);
  return true;
}

}  // namespace

bool CFeaBuf::read(const char* file, bool nativeOrder) {
  if (!file) return false;
  bifstream in(file);
  if (!in.is_open()) return false;
  in.seekg(0, std::ios::end);
  const int64_t fileSize = int64_t(in.tellg());
  in.seekg(0, std::ios::beg);
  if (!in) return false;
  uint8_t bytes[4];
  int32_t frames, period;
  int16_t size, kind;
  if (!readField(in, nativeOrder, bytes, 4)) return false;
  frames = int32_t(readLittleEndian32(bytes));
  if (!readField(in, nativeOrder, bytes, 4)) return false;
  period = int32_t(readLittleEndian32(bytes));
  if (!readField(in, nativeOrder, bytes, 2)) return false;
  size = int16_t(readLittleEndian16(bytes));
  if (!readField(in, nativeOrder, bytes, 2)) return false;
  kind = int16_t(readLittleEndian16(bytes));

  if (frames < 0 || size < 1 || size % 4 != 0) return false;
  const int64_t dataBytes = int64_t(frames) * size;
  if (dataBytes > fileSize - 12 || dataBytes > INT_MAX) return false;
  const int cols = size / 4;

  CFloatVec values;
  values.resize(frames * cols, 0);
  std::vector<uint8_t> raw(static_cast<size_t>(dataBytes));
  if (dataBytes > 0 && !in.readBytes(raw.data(), int(dataBytes))) return false;
  for (int i = 0; i < frames * cols; ++i) {
    uint8_t* p = &raw[size_t(i) * 4];
    if (!nativeOrder) byteReverse(p, 4);
    values[i] = readLittleEndianFloat(p);
  }

  rows = std::move(values);
  nRows = nSamples = frames;
  nCols = cols;
  sampPeriod = period;
  sampSize = size;
  parmKind = kind;
  return true;
}

}  // namespace tulim
