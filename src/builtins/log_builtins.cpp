// Built-in adapters of the debug output: log_out formats exactly as sprintf
// does and hands the line to the debug output (which also prints it to
// stderr in headless runs); both return 0 while there is no debug output.
#include <algorithm>

#include "builtins/format.h"
#include "builtins/handlers.h"
#include "core/config.h"
#include "core/cp932.h"
#include "core/debug_output.h"

namespace zelt {

namespace {
// The window's line buffer holds 4096 bytes with the terminator; a longer
// line is cut there, never in the middle of a double-byte character.
constexpr size_t kLineLimit = 4095;
}  // namespace

uint32_t bi_log_out(const BuiltinArgs& a) {
  if (config().DebugMode == 0) return 0;
  std::string_view format;
  if (!a.str(0, format)) return 0;
  std::string line;
  // Formatted with room to spare (a failed conversion ends the line), then
  // cut to the line buffer.
  format_cells(format, a, 1, size_t{1} << 20, line);
  line.resize(cp932::cut_length(line, std::min(line.size(), kLineLimit)));
  return debug_output_append(line);
}

uint32_t bi_log_clear(const BuiltinArgs&) { return config().DebugMode != 0 && debug_output_clear(); }

}  // namespace zelt
