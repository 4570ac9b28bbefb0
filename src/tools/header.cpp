#include <cstdio>
#include <string>

#include "builtins/builtin_table.h"
#include "tools/tools.h"

namespace zelt::tools {

// Prints the script header; its bytes are include/zelt.h.
int header_main(std::span<char*> args) {
  if (!args.empty()) return usage("header");
  const std::string text = builtin_header();
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "zelt header: cannot write the header to standard output\n");
    return 1;
  }
  return 0;
}

}  // namespace zelt::tools
