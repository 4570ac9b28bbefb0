#include <cstdio>

#include "tools/tools.h"

namespace zelt::tools {

int check_main(std::span<char*>) {
  std::fprintf(stderr, "zelt check: not available yet\n");
  return 1;
}

int disasm_main(std::span<char*>) {
  std::fprintf(stderr, "zelt disasm: not available yet\n");
  return 1;
}

}  // namespace zelt::tools
