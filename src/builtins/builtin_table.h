// The built-in table: names, argument counts, result types and the parameter
// lists of the script header, all generated from builtins.def.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelt {

// Built-in numbers, as scripts' #trap lines count them.
enum class BuiltinId : uint16_t {
#define BUILTIN(number, name, args, result, params) name = number,
#include "builtins/builtins.def"
#undef BUILTIN
};
inline constexpr int kBuiltinCount = 317;

struct BuiltinInfo {
  const char* name;
  int8_t arg_count;   // -1: variable, never checked
  bool returns_float;
  const char* params;  // C-like parameter list for the header, "..." last when variable
};

// All rows, indexed by built-in number.
std::span<const BuiltinInfo> builtin_infos();

// The row of a built-in number, or nullptr when there is none.
const BuiltinInfo* builtin_info(uint32_t number);

// The number of the built-in called `name` (case-sensitive), or -1.
int find_builtin(std::string_view name);

// The script header: a comment, then a #trap line and a declaration for
// every built-in in table order. ASCII only.
std::string builtin_header();

}  // namespace zelt
