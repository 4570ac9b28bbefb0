// Transparent decompression: OpenExpFile opens any data file through
// OpenFastFile and, when it starts with the compressed magic ("zlt\0" and a
// big-endian size), decompresses it into memory at once.
#pragma once

#include <cstdint>
#include <string_view>

#include "files/fast_file.h"

namespace zelt::files {

struct ExpFile;

// path is a script path (code page 932). Null after a reported failure.
ExpFile* OpenExpFile(std::string_view path);
// 1, or 0 for null.
int exp_close(ExpFile* e);
// Reads up to count bytes; got receives the number read. 1 on success, 0 for
// a null record or buffer or a failed read.
int exp_read(ExpFile* e, void* buffer, uint32_t count, uint32_t* got);
// The new position, or -1.
int32_t exp_seek(ExpFile* e, int32_t distance, int origin);
// Uncompressed size; -1 for null.
int32_t exp_size(ExpFile* e);

// Writes size bytes of data as a compressed file at path (script path).
// 1 on success, 0 after a reported failure.
int write_compressed(std::string_view path, const void* data, uint32_t size);

}  // namespace zelt::files
