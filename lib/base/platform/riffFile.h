// RIFF chunk reading and writing on a plain file: descend into a chunk by its id within its
// parent, ascend past it (skipping its pad byte), create chunks whose sizes are fixed on ascent.
// Used by the wave device's wave files and by the other readers of RIFF-based audio.
#pragma once

#include "platformFile.h"

#include <cstdint>
#include <cstdio>

namespace tulim {

// A chunk id or form type as the four bytes appear in the file, the first in the lowest byte.
constexpr uint32_t riffFourCC(const char (&id)[5]) {
  return static_cast<uint32_t>(static_cast<unsigned char>(id[0])) |
         (static_cast<uint32_t>(static_cast<unsigned char>(id[1])) << 8) |
         (static_cast<uint32_t>(static_cast<unsigned char>(id[2])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(id[3])) << 24);
}

// Results of the chunk operations.
enum riffResult : int {
  RIFF_OK = 0,
  RIFF_CHUNK_NOT_FOUND = 1,  // no such chunk before the end of the parent or of the file
  RIFF_CANNOT_READ = 2,
  RIFF_CANNOT_WRITE = 3,
  RIFF_CANNOT_SEEK = 4,
  RIFF_NOT_OPEN = 5,
};

// What descend looks for (none: the next chunk, whatever its id).
enum riffFindFlag : unsigned {
  RIFF_FIND_CHUNK = 1,  // a chunk with ck.ckid
  RIFF_FIND_RIFF = 2,   // a "RIFF" chunk of form type ck.fccType
  RIFF_FIND_LIST = 4,   // a "LIST" chunk of list type ck.fccType
};

// What createChunk makes (none: a plain chunk of id ck.ckid).
enum riffCreateFlag : unsigned {
  RIFF_CREATE_RIFF = 1,  // "RIFF" of form type ck.fccType
  RIFF_CREATE_LIST = 2,  // "LIST" of list type ck.fccType
};

struct riffChunk {
  uint32_t ckid = 0;
  uint32_t cksize = 0;      // bytes of the chunk's data as its header says, without the pad byte
  uint32_t fccType = 0;     // form or list type of a "RIFF" or "LIST" chunk
  int64_t dataOffset = 0;   // file offset of the data (for "RIFF" and "LIST": of the form type)
  bool dirty = false;       // created by this file: its size is fixed on ascent
};

class riffFile {
 public:
  enum openMode { READ, CREATE };

  riffFile() = default;
  ~riffFile();  // closes a file still open
  riffFile(const riffFile&) = delete;
  riffFile& operator=(const riffFile&) = delete;

  // READ opens an existing file, CREATE makes one in place of any file of the name, whole or
  // not at all (fileReplaceOpen); false when that fails or name is a directory.
  bool open(const char* name, openMode mode);
  bool isOpen() const { return m_fp != nullptr; }

  // Searches from the current position, within parent's data when parent is given, for the
  // chunk that flags ask for, skipping other chunks with their pad bytes. Found: ck is filled
  // and the position is at its data (after the form type of "RIFF" and "LIST"). The found
  // chunk's size is not checked against the file: a reader compares it with bytesLeft().
  int descend(riffChunk& ck, const riffChunk* parent, unsigned flags);

  // Moves past the end of ck and its pad byte. For a chunk made by createChunk, first writes
  // the pad byte when its data is odd-sized and the true size into its header.
  int ascend(riffChunk& ck);

  // Writes a chunk header at the current position with ck.ckid (or "RIFF"/"LIST" and
  // ck.fccType) and ck.cksize; the position is then at the chunk's data.
  int createChunk(riffChunk& ck, unsigned flags);

  // Bytes read or written (fewer at the end of the file or on an error).
  int64_t read(void* buffer, int64_t n);
  int64_t write(const void* buffer, int64_t n);

  // Bytes from the current position to the end of the file.
  int64_t bytesLeft();

  // RIFF_CANNOT_WRITE when the file's buffered data could not be flushed or a created file
  // could not be put in place. A created file ends where the position is (after the ascent
  // out of its outermost chunk).
  int close();
  // A created file given up (a write failed): it is removed, and so is its temporary file.
  void abandon();

 private:
  bool readHeader(uint32_t& id, uint32_t& size);
  int64_t position();
  bool seek(int64_t offset);

  FILE* m_fp = nullptr;
  fileReplace m_created;  // of a file opened with CREATE
};

}  // namespace tulim
