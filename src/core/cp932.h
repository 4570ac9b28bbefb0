// Code page 932 (Shift_JIS as Windows uses it): the byte rules every text
// operation of the runtime follows, and conversion to and from UTF-8 for the
// platform edge (file names, captions, message boxes, stderr).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::cp932 {

// Lead bytes of double-byte characters: 0x81-0x9F and 0xE0-0xFC.
constexpr bool is_lead_byte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length in bytes of the character starting at s[i]: 2 for a lead byte that
// is followed by another byte inside s, else 1; 0 when i is past the end.
// Any byte after a lead byte is its trail byte (as the platform's byte
// scanning does), so a lead byte as the last byte of s is one character.
size_t char_length(std::string_view s, size_t i);

// Largest n <= limit such that s[0, n) does not end in the middle of a
// double-byte character. A lone lead byte at the very end of s has no trail
// to split from, so a cut after it is allowed (it is a one-byte character).
size_t cut_length(std::string_view s, size_t limit);

// Position of the first / last occurrence of the single-byte character c,
// never matching the second byte of a double-byte character; npos if absent.
size_t find_char(std::string_view s, char c);
size_t rfind_char(std::string_view s, char c);

// Compare ignoring the case of ASCII letters; double-byte characters compare
// as units (lead * 256 + trail). Returns <0, 0 or >0 like strcmp. This is the
// comparison of archive member lookup, ini sections and keys, path matching.
// Letters fold to lower case, as lstrcmpiA compares, so "_" (0x5F) sorts
// before every letter. Single bytes compare unsigned and always below a
// double-byte unit (so half-width katakana sort before kanji); a string that
// is a prefix of the other sorts first. Full-width letters are not folded.
int compare_nocase(std::string_view a, std::string_view b);
inline bool equal_nocase(std::string_view a, std::string_view b) { return compare_nocase(a, b) == 0; }

// s with the ASCII letters that are characters of their own (never a trail
// byte) lowered: equal_nocase(a, b) holds exactly when fold_case(a) ==
// fold_case(b), so the result can key a hash table.
std::string fold_case(std::string_view s);

// Whether name matches pattern, where "*" stands for any run of characters
// and "?" for exactly one (a double-byte character is one); other characters
// compare as compare_nocase does. Linear in name size times pattern size
// whatever the pattern.
bool wildcard_match(std::string_view pattern, std::string_view name);

// Conversions through iconv. Bytes that cannot be converted become '?' (to
// UTF-8: U+FFFD); the result is never truncated. A well-formed character
// without a mapping becomes one replacement; a malformed byte becomes one
// replacement and the conversion resumes at the next byte.
std::string to_utf8(std::string_view cp932_text);
std::string from_utf8(std::string_view utf8_text);

// The UTF-8 spelling of cp932_text, or nullopt when it holds a byte sequence
// that code page 932 does not define (a lone lead byte, a lead byte with an
// invalid trail byte, an unassigned code): such text has no spelling that
// converts back to it, so it cannot name a host file.
std::optional<std::string> to_utf8_strict(std::string_view cp932_text);

}  // namespace zelt::cp932
