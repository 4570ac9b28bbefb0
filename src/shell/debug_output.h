// The debug output window's list of lines, as the log built-ins reach it.
// Both return false while no debug output window exists.
#pragma once

#include <string_view>

namespace zelt {

bool debug_output_append(std::string_view cp932_line);  // appends one line
bool debug_output_clear();                              // removes every line

}  // namespace zelt
