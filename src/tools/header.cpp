#include <cstdio>

#include "tools/tools.h"

namespace zelt::tools {

int header_main(std::span<char*>) {
  std::fprintf(stderr, "zelt header: not available yet\n");
  return 1;
}

}  // namespace zelt::tools
