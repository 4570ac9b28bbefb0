// Opening data files: a plain file, the same path on the title's CD, or a
// member of an archive ("KEP-ARC2") named after a prefix of the path. Every
// loader reads through these records (usually via exp_file.h).
#pragma once

#include <cstdint>
#include <string_view>

namespace zelt::files {

struct FastFile;

// Seek origins.
inline constexpr int kFileBegin = 0;
inline constexpr int kFileCurrent = 1;
inline constexpr int kFileEnd = 2;

// path is a script path (code page 932). Returns null after reporting the
// failure at level 2.
FastFile* OpenFastFile(std::string_view path);
// 1, or 0 for null.
int fast_close(FastFile* f);
// Reads up to count bytes at the current position (never past the end of an
// archive member); got receives the number read. Non-zero on success.
int fast_read(FastFile* f, void* buffer, uint32_t count, uint32_t* got);
// The new position relative to the start of the file or member, or -1.
int32_t fast_seek(FastFile* f, int32_t distance, int origin);
// Size of the member or file; -1 for null.
int32_t fast_size(FastFile* f);
// One unsigned byte, one little-endian 16-bit word, one little-endian float.
uint8_t fast_read_u8(FastFile* f);
uint16_t fast_read_u16(FastFile* f);
float fast_read_f32(FastFile* f);

}  // namespace zelt::files
