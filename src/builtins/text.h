// Code page 932 string operations of the string built-ins: a lead byte and
// the byte after it form one character, which these functions compare,
// search and case-convert as a unit (lead * 256 + trail).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelt::text {

inline constexpr size_t npos = std::string_view::npos;

// Characters in s; a lead byte as the last byte is not counted.
size_t char_count(std::string_view s);
// Sign (-1, 0, 1) of the first differing character; case_blind folds every
// letter with a case (ASCII and the full-width Latin, Greek and Cyrillic
// letters) to lower case first.
int compare(std::string_view a, std::string_view b, bool case_blind);
// Lower or upper case in place, double-byte characters as units.
void change_case(std::span<uint8_t> s, bool upper);
uint32_t to_lower(uint32_t c);
uint32_t to_upper(uint32_t c);

// Offset of the last character equal to c (one byte, or lead * 256 + trail);
// c == 0 finds the terminator at s.size(). npos when absent.
size_t rfind_char(std::string_view s, uint32_t c);
// Bytes of the leading part of s made only of (in_set) or free of (!in_set)
// characters of set.
size_t span_of(std::string_view s, std::string_view set, bool in_set);
// Offset of the first character of s that occurs in set, or npos.
size_t find_any(std::string_view s, std::string_view set);
// Offset of the first occurrence of sub starting on a character of s, or npos.
size_t find(std::string_view s, std::string_view sub);

// The parts of a path: drive ("X:" or ""), folder (up to and including the
// last separator), name and extension (from the last dot).
struct PathParts {
  std::string_view drive, folder, name, ext;
};
PathParts split_path(std::string_view path);
std::string make_path(std::string_view drive, std::string_view folder, std::string_view name,
                      std::string_view ext);

}  // namespace zelt::text
