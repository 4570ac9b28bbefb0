#include <cstdio>

#include "tools/tools.h"

namespace zelt::tools {

int compress_main(std::span<char*>) {
  std::fprintf(stderr, "zelt compress: not available yet\n");
  return 1;
}

int decompress_main(std::span<char*>) {
  std::fprintf(stderr, "zelt decompress: not available yet\n");
  return 1;
}

}  // namespace zelt::tools
