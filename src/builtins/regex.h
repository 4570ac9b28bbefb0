// Regular expressions over Oniguruma: patterns compiled for Shift_JIS (so
// code page 932 double-byte characters are single characters), Ruby syntax,
// no options. Compiled patterns live in host memory and are known by
// non-zero 32-bit handles; an unknown handle fails with kBadArgument.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zelt::regex {

inline constexpr int32_t kNoMatch = -1;
inline constexpr int32_t kBadArgument = -30;  // the library's invalid-argument code

// The registers of the last search or match: byte offsets of the whole match
// (register 0) and of each group, -1 for groups that did not take part.
struct Registers {
  std::vector<int32_t> begin, end;
};

uint32_t compile(std::string_view pattern);  // 0 when it does not compile
bool free(uint32_t handle);

// Search from start towards range (both clamped to the subject's length as
// unsigned values, so negative ones count as the length); the offset of the
// match, kNoMatch or a negative library error code.
int32_t search(uint32_t handle, std::string_view subject, uint32_t start, uint32_t range, Registers& regs);
// Match anchored at `at` (clamped alike); the match length, kNoMatch or an error.
int32_t match(uint32_t handle, std::string_view subject, uint32_t at, Registers& regs);

// Frees every compiled pattern and the library's global state (runtime reset).
void release_all();

}  // namespace zelt::regex
