// Rewriting a file in place: opening it for writing without cutting it first, and cutting
// it to what was written when done. Used by openFilePtr and its closer.
#pragma once

#include <cstdio>

namespace tulim {

// Opens name for writing from its first byte, creating it (0666 before the umask) when
// missing, as fopen "w" does, but leaving its old bytes until fileCutAtPosition: on ext4 a
// truncating open frees the blocks and forces their allocation again at close, which costs
// far more than the write of a small file. Null when the file cannot be opened.
FILE* fileOpenRewrite(const char* name);

// Pushes out what stdio holds and cuts the file behind the bytes written so far, when it is
// a regular file (a device, a FIFO or a terminal has nothing to cut). False when the cut of
// a regular file failed; a failed write is left for ferror and fclose to tell.
bool fileCutAtPosition(FILE* fp);

}  // namespace tulim
