// Writing pictures as 24-bit BMP files (bottom-up rows padded to 4 bytes).
#pragma once

#include <cstdint>
#include <string>

namespace zelt::files {

// Writes w x h pixels of 0x00RRGGBB, rows top first, to host path `path`
// (atomically). False with errno set on failure.
bool write_bmp24(const std::string& path, const uint32_t* xrgb, int w, int h);

}  // namespace zelt::files
