// The debug output window's list of lines, as the log built-ins reach it.
// The shell's debug output installs the two operations when it starts; both
// return false while none is installed (no debug output).
#pragma once

#include <string_view>

namespace zelt {

bool debug_output_append(std::string_view cp932_line);  // appends one line
bool debug_output_clear();                              // removes every line

struct DebugOutputOps {
  bool (*append)(std::string_view cp932_line);
  bool (*clear)();
};
// Installs (or with nullptr removes) the operations. The object must outlive
// every use.
void debug_output_install(const DebugOutputOps* ops);

}  // namespace zelt
