// The title author's tools: `zelt <tool> args...`.
#pragma once

#include <span>
#include <string_view>

namespace zelt::tools {

// Each tool takes its own arguments (after the tool name) and returns the
// exit code: 0 success, 1 failure (reported on stderr in plain words),
// 2 usage error.
using ToolMain = int (*)(std::span<char*> args);

struct Tool {
  const char* name;
  const char* usage;  // argument synopsis for the help text
  ToolMain main;
};

std::span<const Tool> all_tools();
const Tool* find_tool(std::string_view name);

int pack_main(std::span<char*> args);        // pack.cpp
int unpack_main(std::span<char*> args);      // pack.cpp
int compress_main(std::span<char*> args);    // compress.cpp
int decompress_main(std::span<char*> args);  // compress.cpp
int check_main(std::span<char*> args);       // check.cpp
int disasm_main(std::span<char*> args);      // check.cpp
int header_main(std::span<char*> args);      // header.cpp

// Prints "usage: zelt <tool> <usage>" to stderr and returns 2.
int usage(std::string_view tool);

}  // namespace zelt::tools
