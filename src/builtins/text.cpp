#include "builtins/text.h"

#include "core/cp932.h"

namespace zelt::text {

namespace {

// The character at s[i] as a unit and its length.
uint32_t unit_at(std::string_view s, size_t i, size_t& len) {
  len = cp932::char_length(s, i);
  const auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  return len == 2 ? (uint32_t{b(i)} << 8) | b(i + 1) : b(i);
}

bool set_has(std::string_view set, uint32_t c) {
  for (size_t i = 0, n; i < set.size(); i += n) {
    if (unit_at(set, i, n) == c) return true;
  }
  return false;
}

}  // namespace

size_t char_count(std::string_view s) {
  size_t count = 0;
  for (size_t i = 0, n; i < s.size(); i += n) {
    n = cp932::char_length(s, i);
    if (n == 2 || !cp932::is_lead_byte(static_cast<uint8_t>(s[i]))) ++count;
  }
  return count;
}

uint32_t to_lower(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c >= 0x8260 && c <= 0x8279) return c + 0x21;  // full-width Latin
  if (c >= 0x839F && c <= 0x83B6) return c + 0x20;  // Greek
  if (c >= 0x8440 && c <= 0x8460) {                 // Cyrillic; 0x847F is not a trail
    const uint32_t i = c - 0x8440;
    return i < 15 ? 0x8470 + i : 0x8480 + (i - 15);
  }
  return c;
}

uint32_t to_upper(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0x8281 && c <= 0x829A) return c - 0x21;
  if (c >= 0x83BF && c <= 0x83D6) return c - 0x20;
  if (c >= 0x8470 && c <= 0x847E) return 0x8440 + (c - 0x8470);
  if (c >= 0x8480 && c <= 0x8491) return 0x8440 + 15 + (c - 0x8480);
  return c;
}

int compare(std::string_view a, std::string_view b, bool case_blind) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    size_t na = 0, nb = 0;
    uint32_t ca = i < a.size() ? unit_at(a, i, na) : 0;
    uint32_t cb = j < b.size() ? unit_at(b, j, nb) : 0;
    if (case_blind) {
      ca = to_lower(ca);
      cb = to_lower(cb);
    }
    if (ca != cb) return ca < cb ? -1 : 1;
    i += na;
    j += nb;
  }
  return 0;
}

void change_case(std::span<uint8_t> s, bool upper) {
  const std::string_view v(reinterpret_cast<const char*>(s.data()), s.size());
  for (size_t i = 0, n; i < v.size(); i += n) {
    const uint32_t c = unit_at(v, i, n);
    const uint32_t d = upper ? to_upper(c) : to_lower(c);
    if (n == 2) s[i] = static_cast<uint8_t>(d >> 8);
    s[i + n - 1] = static_cast<uint8_t>(d);
  }
}

size_t rfind_char(std::string_view s, uint32_t c) {
  if (c == 0) return s.size();
  size_t found = npos;
  for (size_t i = 0, n; i < s.size(); i += n) {
    if (unit_at(s, i, n) == c) found = i;
  }
  return found;
}

size_t span_of(std::string_view s, std::string_view set, bool in_set) {
  size_t i = 0;
  for (size_t n; i < s.size(); i += n) {
    if (set_has(set, unit_at(s, i, n)) != in_set) break;
  }
  return i;
}

size_t find_any(std::string_view s, std::string_view set) {
  const size_t i = span_of(s, set, false);
  return i < s.size() ? i : npos;
}

size_t find(std::string_view s, std::string_view sub) {
  for (size_t i = 0;; i += cp932::char_length(s, i)) {
    if (s.substr(i, sub.size()) == sub) return i;
    if (i >= s.size()) return npos;
  }
}

PathParts split_path(std::string_view path) {
  PathParts p;
  if (path.size() >= 2 && path[1] == ':') {
    p.drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  size_t folder_end = 0;
  for (size_t i = 0, n; i < path.size(); i += n) {
    n = cp932::char_length(path, i);
    if (n == 1 && (path[i] == '\\' || path[i] == '/')) folder_end = i + 1;
  }
  p.folder = path.substr(0, folder_end);
  path.remove_prefix(folder_end);
  const size_t dot = cp932::rfind_char(path, '.');
  p.name = path.substr(0, dot);
  if (dot != npos) p.ext = path.substr(dot);
  return p;
}

std::string make_path(std::string_view drive, std::string_view folder, std::string_view name,
                      std::string_view ext) {
  std::string out;
  if (!drive.empty()) {
    out += drive[0];
    out += ':';
  }
  if (!folder.empty()) {
    out += folder;
    // The last character, so that a trail byte 0x5C is not taken for "\".
    size_t last = 0;
    for (size_t i = 0, n; i < folder.size(); i += n) {
      n = cp932::char_length(folder, i);
      last = i;
    }
    const bool ends_in_separator =
        cp932::char_length(folder, last) == 1 && (folder[last] == '\\' || folder[last] == '/');
    if (!ends_in_separator) out += '\\';
  }
  out += name;
  if (!ext.empty()) {
    if (ext[0] != '.') out += '.';
    out += ext;
  }
  return out;
}

}  // namespace zelt::text
