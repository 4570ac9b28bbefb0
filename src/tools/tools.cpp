#include "tools/tools.h"

#include <cstdio>
#include <iterator>
#include <string>

namespace zelt::tools {
namespace {

constexpr Tool kTools[] = {
    {"check", "SCRIPT.c", check_main},
    {"disasm", "SCRIPT.c", disasm_main},
    {"header", "", header_main},
    {"pack", "[--seed N] DIR OUT.bin", pack_main},
    {"unpack", "IN.bin DIR", unpack_main},
    {"compress", "IN OUT", compress_main},
    {"decompress", "IN OUT", decompress_main},
};

}  // namespace

std::span<const Tool> all_tools() { return kTools; }

const Tool* find_tool(std::string_view name) {
  for (const Tool& t : kTools)
    if (name == t.name) return &t;
  return nullptr;
}

int usage(std::string_view tool) {
  const Tool* t = find_tool(tool);
  std::fprintf(stderr, "usage: zelt %s %s\n", std::string(tool).c_str(), t ? t->usage : "");
  return 2;
}

}  // namespace zelt::tools
