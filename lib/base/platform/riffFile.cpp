#include "riffFile.h"

#include <sys/types.h>

#include "byteOrder.h"
#include "platformDir.h"

namespace tulim {

namespace {
const uint32_t ID_RIFF = riffFourCC("RIFF");
const uint32_t ID_LIST = riffFourCC("LIST");
const int64_t HEADER_SIZE = 8;
}  // namespace

// A created file not closed by its writer is incomplete.
riffFile::~riffFile() { abandon(); }

bool riffFile::open(const char* name, openMode mode) {
  close();
  if (!name || isDirectory(name)) return false;
  if (mode == READ) {
    m_fp = fopen(name, "rb");
    return m_fp != nullptr;
  }
  if (!fileReplaceOpen(name, false, m_created)) return false;
  m_fp = m_created.fp;
  return true;
}

int64_t riffFile::position() { return static_cast<int64_t>(ftello(m_fp)); }

bool riffFile::seek(int64_t offset) {
  return offset >= 0 && fseeko(m_fp, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool riffFile::readHeader(uint32_t& id, uint32_t& size) {
  unsigned char bytes[HEADER_SIZE];
  if (fread(bytes, 1, sizeof bytes, m_fp) != sizeof bytes) return false;
  id = readLittleEndian32(bytes);
  size = readLittleEndian32(bytes + 4);
  return true;
}

int riffFile::descend(riffChunk& ck, const riffChunk* parent, unsigned flags) {
  if (!m_fp) return RIFF_NOT_OPEN;
  // Sizes are unsigned 32-bit and offsets 64-bit, so no chunk size can wrap the search.
  const int64_t end = parent ? parent->dataOffset + parent->cksize : INT64_MAX;
  int64_t start = position();
  if (start < 0) return RIFF_CANNOT_SEEK;
  for (;;) {
    if (start + HEADER_SIZE > end) return RIFF_CHUNK_NOT_FOUND;
    uint32_t id = 0, size = 0;
    if (!readHeader(id, size)) return RIFF_CHUNK_NOT_FOUND;
    bool found = false;
    uint32_t type = 0;
    if (flags & (RIFF_FIND_RIFF | RIFF_FIND_LIST)) {
      uint32_t wanted = (flags & RIFF_FIND_RIFF) ? ID_RIFF : ID_LIST;
      if (id == wanted && size >= 4) {
        unsigned char bytes[4];
        if (fread(bytes, 1, 4, m_fp) != 4) return RIFF_CHUNK_NOT_FOUND;
        type = readLittleEndian32(bytes);
        found = type == ck.fccType;
      }
    } else if (flags & RIFF_FIND_CHUNK) {
      found = id == ck.ckid;
    } else {
      found = true;
      if ((id == ID_RIFF || id == ID_LIST) && size >= 4) {
        unsigned char bytes[4];
        if (fread(bytes, 1, 4, m_fp) != 4) return RIFF_CHUNK_NOT_FOUND;
        type = readLittleEndian32(bytes);
      }
    }
    if (found) {
      ck.ckid = id;
      ck.cksize = size;
      ck.fccType = type;
      ck.dataOffset = start + HEADER_SIZE;
      ck.dirty = false;
      return RIFF_OK;
    }
    start += HEADER_SIZE + size + (size & 1);
    if (!seek(start)) return RIFF_CANNOT_SEEK;
  }
}

int riffFile::ascend(riffChunk& ck) {
  if (!m_fp) return RIFF_NOT_OPEN;
  if (ck.dirty) {
    int64_t end = position();
    if (end < ck.dataOffset) return RIFF_CANNOT_WRITE;
    int64_t size = end - ck.dataOffset;
    if (size > UINT32_MAX) return RIFF_CANNOT_WRITE;
    if (size & 1) {
      if (fputc(0, m_fp) == EOF) return RIFF_CANNOT_WRITE;
    }
    if (static_cast<uint32_t>(size) != ck.cksize) {
      unsigned char bytes[4];
      writeLittleEndian32(bytes, static_cast<uint32_t>(size));
      if (!seek(ck.dataOffset - 4) || fwrite(bytes, 1, 4, m_fp) != 4) return RIFF_CANNOT_WRITE;
      ck.cksize = static_cast<uint32_t>(size);
    }
    ck.dirty = false;
    return seek(ck.dataOffset + size + (size & 1)) ? RIFF_OK : RIFF_CANNOT_WRITE;
  }
  return seek(ck.dataOffset + ck.cksize + (ck.cksize & 1)) ? RIFF_OK : RIFF_CANNOT_SEEK;
}

int riffFile::createChunk(riffChunk& ck, unsigned flags) {
  if (!m_fp) return RIFF_NOT_OPEN;
  int64_t start = position();
  if (start < 0) return RIFF_CANNOT_SEEK;
  if (flags & RIFF_CREATE_RIFF) ck.ckid = ID_RIFF;
  if (flags & RIFF_CREATE_LIST) ck.ckid = ID_LIST;
  bool typed = (flags & (RIFF_CREATE_RIFF | RIFF_CREATE_LIST)) != 0;
  unsigned char bytes[12];
  writeLittleEndian32(bytes, ck.ckid);
  writeLittleEndian32(bytes + 4, ck.cksize);
  writeLittleEndian32(bytes + 8, ck.fccType);
  size_t length = typed ? 12 : 8;
  if (fwrite(bytes, 1, length, m_fp) != length) return RIFF_CANNOT_WRITE;
  ck.dataOffset = start + HEADER_SIZE;
  ck.dirty = true;
  return RIFF_OK;
}

int64_t riffFile::read(void* buffer, int64_t n) {
  if (!m_fp || n <= 0) return 0;
  return static_cast<int64_t>(fread(buffer, 1, static_cast<size_t>(n), m_fp));
}

int64_t riffFile::write(const void* buffer, int64_t n) {
  if (!m_fp || n <= 0) return 0;
  return static_cast<int64_t>(fwrite(buffer, 1, static_cast<size_t>(n), m_fp));
}

int64_t riffFile::bytesLeft() {
  if (!m_fp) return 0;
  int64_t here = position();
  if (here < 0 || fseeko(m_fp, 0, SEEK_END) != 0) return 0;
  int64_t end = position();
  seek(here);
  return end > here ? end - here : 0;
}

int riffFile::close() {
  if (!m_fp) return RIFF_OK;
  FILE* fp = m_fp;
  m_fp = nullptr;
  // A created file is cut where its writer stands: ascending out of the outermost chunk
  // leaves it at the end of the chunk's data.
  if (m_created.fp) return fileReplaceCommit(m_created) ? RIFF_OK : RIFF_CANNOT_WRITE;
  return fclose(fp) == 0 ? RIFF_OK : RIFF_CANNOT_WRITE;
}

void riffFile::abandon() {
  if (m_created.fp) fileReplaceAbandon(m_created);
  else if (m_fp) fclose(m_fp);
  m_fp = nullptr;
}

}  // namespace tulim
