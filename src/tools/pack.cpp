#include <cstdio>

#include "tools/tools.h"

namespace zelt::tools {

int pack_main(std::span<char*>) {
  std::fprintf(stderr, "zelt pack: not available yet\n");
  return 1;
}

int unpack_main(std::span<char*>) {
  std::fprintf(stderr, "zelt unpack: not available yet\n");
  return 1;
}

}  // namespace zelt::tools
