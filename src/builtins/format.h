// The formatter of sprintf and log_out (and of formatted text drawing): the
// C library's conversions applied to argument cells as they lie in script
// memory. Integer, character, string and pointer conversions take one cell;
// the floating conversions and the 64-bit integers (ll, I64) take two cells
// read as one 64-bit value. %s reads a checked string and prints "(null)" for
// an address that is not usable; %n is refused (it consumes its cell and
// writes nothing, since it would store through a script-chosen address).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "script/host/builtin_call.h"

namespace zelt {

// Formats `format` with the cells of args from cell `first` on, appending to
// out. False when out would grow beyond `limit` bytes (out then holds the
// text before the conversion that did not fit; the caller discards or cuts it).
bool format_cells(std::string_view format, const BuiltinArgs& args, uint32_t first, size_t limit,
                  std::string& out);

}  // namespace zelt
