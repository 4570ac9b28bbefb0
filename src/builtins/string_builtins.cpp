// Built-in adapters of the string, conversion and checksum families: decode
// the cells, check every script address through script memory, call the
// code page 932 text operations, return a cell. Strings that are not
// terminated inside usable memory, and destinations too small for the
// result, fail with 0 (sprintf: -1) without writing.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "builtins/checksum.h"
#include "builtins/format.h"
#include "builtins/handlers.h"
#include "builtins/text.h"
#include "core/cp932.h"

namespace zelt {

namespace {

// Writes bytes and a terminator at dst; false (nothing written) when they do
// not fit in usable memory. The source may overlap the destination.
bool put_string(ScriptAddr dst, std::string_view bytes) {
  const std::span<uint8_t> out = script_memory().span(dst, static_cast<uint32_t>(bytes.size()) + 1);
  if (out.data() == nullptr || bytes.size() >= UINT32_MAX) return false;
  std::memmove(out.data(), bytes.data(), bytes.size());
  out[bytes.size()] = 0;
  return true;
}

// The bytes at a up to the terminator or n bytes, whichever comes first;
// false when usable memory ends before either.
bool bounded_string(ScriptAddr a, uint64_t n, std::string_view& out) {
  const ScriptMemory& m = script_memory();
  if (!m.valid(a, 0)) return false;
  const uint64_t avail = m.end() - a;
  const char* p = reinterpret_cast<const char*>(m.host(a));
  const size_t len = strnlen(p, static_cast<size_t>(std::min(avail, n)));
  if (len == avail && len < n) return false;
  out = std::string_view(p, len);
  return true;
}

ScriptAddr address_in(ScriptAddr base, size_t offset) {
  return offset == text::npos ? 0 : base + static_cast<uint32_t>(offset);
}

// A copy of the string in a new block, or 0.
ScriptAddr duplicate(std::string_view s) {
  const ScriptAddr block = script_memory().allocate(static_cast<uint32_t>(s.size()) + 1);
  if (block != 0) put_string(block, s);
  return block;
}

// The character argument of strchr: a byte passed as a negative char is
// taken as that byte.
uint32_t char_argument(int32_t c) { return c < 0 && c >= -128 ? static_cast<uint32_t>(c) & 0xFF : static_cast<uint32_t>(c); }

// strtok continues where the previous call of the same script thread ended.
ScriptAddr g_token_next[32];

ScriptAddr& token_next() {
  const ScriptContext* c = builtin_current();
  const int32_t slot = c != nullptr ? c->thread_slot : 0;
  return g_token_next[slot >= 0 && slot < 32 ? slot : 0];
}

// Stores the address after a parsed number into *end when end is not 0.
void store_end(const BuiltinArgs& a, uint32_t k, ScriptAddr value) {
  const std::span<uint8_t> end = a.span(k, 4);
  if (end.data() != nullptr) std::memcpy(end.data(), &value, 4);
}

}  // namespace

// ---- strings ----

uint32_t bi_strlen(const BuiltinArgs& a) {
  std::string_view s;
  return a.str(0, s) ? static_cast<uint32_t>(s.size()) : 0;
}
uint32_t bi_strclen(const BuiltinArgs& a) {
  std::string_view s;
  return a.str(0, s) ? static_cast<uint32_t>(text::char_count(s)) : 0;
}
uint32_t bi_strcpy(const BuiltinArgs& a) {
  std::string_view s;
  return a.str(1, s) && put_string(a.addr(0), s) ? a.addr(0) : 0;
}
uint32_t bi_strncpy(const BuiltinArgs& a) {
  const uint32_t n = a.u32(2);
  std::string_view s;
  // One byte past n shows whether the character at n - 1 continues.
  if (n == 0) return a.addr(0);
  if (!bounded_string(a.addr(1), uint64_t{n} + 1, s)) {
    if (!bounded_string(a.addr(1), n, s)) return 0;
  }
  const size_t count = s.size() < n ? s.size() : cp932::cut_length(s, n);
  const std::span<uint8_t> dst = a.span(0, n);
  if (dst.data() == nullptr) return 0;
  std::memmove(dst.data(), s.data(), count);
  std::memset(dst.data() + count, 0, n - count);
  return a.addr(0);
}
uint32_t bi_strcat(const BuiltinArgs& a) {
  std::string_view d, s;
  if (!a.str(0, d) || !a.str(1, s)) return 0;
  return put_string(a.addr(0) + static_cast<uint32_t>(d.size()), s) ? a.addr(0) : 0;
}
uint32_t bi_strcmp(const BuiltinArgs& a) {
  std::string_view x, y;
  return a.str(0, x) && a.str(1, y) ? int_result(text::compare(x, y, false)) : 0;
}
uint32_t bi_strcmpi(const BuiltinArgs& a) {
  std::string_view x, y;
  return a.str(0, x) && a.str(1, y) ? int_result(text::compare(x, y, true)) : 0;
}
namespace {
uint32_t change_case(const BuiltinArgs& a, bool upper) {
  std::string_view s;
  if (!a.str(0, s)) return 0;
  text::change_case(a.span(0, static_cast<uint32_t>(s.size())), upper);
  return a.addr(0);
}
}  // namespace
uint32_t bi_strlwr(const BuiltinArgs& a) { return change_case(a, false); }
uint32_t bi_strupr(const BuiltinArgs& a) { return change_case(a, true); }
uint32_t bi_strchr(const BuiltinArgs& a) {
  std::string_view s;
  return a.str(0, s) ? address_in(a.addr(0), text::rfind_char(s, char_argument(a.i32(1)))) : 0;
}
uint32_t bi_strtok(const BuiltinArgs& a) {
  ScriptAddr& next = token_next();
  const ScriptAddr start = a.addr(0) != 0 ? a.addr(0) : next;
  std::string_view s, delims;
  if (start == 0 || !script_memory().string(start, s) || !a.str(1, delims)) {
    next = 0;
    return 0;
  }
  const size_t begin = text::span_of(s, delims, true);
  if (begin == s.size()) {
    next = 0;
    return 0;
  }
  const size_t end = begin + text::span_of(s.substr(begin), delims, false);
  if (end == s.size()) {
    next = start + static_cast<uint32_t>(end);
  } else {
    const size_t n = cp932::char_length(s, end);  // a double-byte delimiter is cleared whole
    std::memset(script_memory().host(start + static_cast<uint32_t>(end)), 0, n);
    next = start + static_cast<uint32_t>(end + n);
  }
  return start + static_cast<uint32_t>(begin);
}
uint32_t bi_strcspn(const BuiltinArgs& a) {
  std::string_view s, set;
  return a.str(0, s) && a.str(1, set) ? static_cast<uint32_t>(text::span_of(s, set, false)) : 0;
}
uint32_t bi_strspn(const BuiltinArgs& a) {
  std::string_view s, set;
  return a.str(0, s) && a.str(1, set) ? static_cast<uint32_t>(text::span_of(s, set, true)) : 0;
}
uint32_t bi_strstr(const BuiltinArgs& a) {
  std::string_view s, sub;
  return a.str(0, s) && a.str(1, sub) ? address_in(a.addr(0), text::find(s, sub)) : 0;
}
uint32_t bi_strpbrk(const BuiltinArgs& a) {
  std::string_view s, set;
  return a.str(0, s) && a.str(1, set) ? address_in(a.addr(0), text::find_any(s, set)) : 0;
}
uint32_t bi_strdup(const BuiltinArgs& a) {
  std::string_view s;
  return a.str(0, s) ? duplicate(s) : 0;
}
// n is unsigned, so a negative n duplicates the whole string.
uint32_t bi_strndup(const BuiltinArgs& a) {
  std::string_view s;
  return bounded_string(a.addr(0), a.u32(1), s) ? duplicate(s) : 0;
}

// ---- conversion and formatting ----

namespace {

// ISO C's strtol and strtoul with a 32-bit long: out-of-range values clamp
// to the limits; *end gets the address after the number (s when there is
// none).
template <bool is_signed>
uint32_t parse_integer(const BuiltinArgs& a) {
  std::string_view s;
  if (!a.str(0, s)) return 0;
  const std::string copy(s);
  const char* p = copy.c_str();
  const int base = a.i32(2);
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  char* e = nullptr;
  errno = 0;
  // The magnitude alone, so "- 5" and "--5" are not numbers.
  unsigned long long v = (*p == ' ' || *p == '+' || *p == '-' || (*p >= '\t' && *p <= '\r'))
                             ? 0
                             : std::strtoull(p, &e, base);
  if (e == nullptr || e == p) {
    if (a.addr(1) != 0) store_end(a, 1, a.addr(0));
    return 0;
  }
  if (a.addr(1) != 0) store_end(a, 1, a.addr(0) + static_cast<uint32_t>(e - copy.c_str()));
  const bool overflow = errno == ERANGE;
  if constexpr (is_signed) {
    if (negative) return overflow || v > 0x80000000ull ? 0x80000000u : static_cast<uint32_t>(0 - v);
    return overflow || v > 0x7FFFFFFFull ? 0x7FFFFFFFu : static_cast<uint32_t>(v);
  } else {
    if (overflow || v > 0xFFFFFFFFull) return 0xFFFFFFFFu;
    return negative ? static_cast<uint32_t>(0 - v) : static_cast<uint32_t>(v);
  }
}

}  // namespace

uint32_t bi_strtol(const BuiltinArgs& a) { return parse_integer<true>(a); }
uint32_t bi_strtoul(const BuiltinArgs& a) { return parse_integer<false>(a); }
uint32_t bi_strtof(const BuiltinArgs& a) {
  std::string_view s;
  if (!a.str(0, s)) return float_result(0.0f);
  const std::string copy(s);
  char* e = nullptr;
  const double v = std::strtod(copy.c_str(), &e);
  if (a.addr(1) != 0) store_end(a, 1, a.addr(0) + static_cast<uint32_t>(e - copy.c_str()));
  return float_result(static_cast<float>(v));
}

// The result must fit, with its terminator, in the usable memory from the
// destination on; otherwise nothing is written and the result is -1.
uint32_t bi_sprintf(const BuiltinArgs& a) {
  const ScriptMemory& m = script_memory();
  std::string_view format;
  if (!m.valid(a.addr(0), 1) || !a.str(1, format)) return int_result(-1);
  const size_t limit = std::min<uint64_t>(m.end() - a.addr(0) - 1, INT32_MAX);
  std::string out;
  if (!format_cells(format, a, 2, limit, out) || !put_string(a.addr(0), out)) return int_result(-1);
  return static_cast<uint32_t>(out.size());
}
uint32_t bi_ftoa(const BuiltinArgs& a) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%f", double{a.f32(1)});
  return n > 0 && n < static_cast<int>(sizeof buf) && put_string(a.addr(0), std::string_view(buf, n));
}

// Each part goes into its buffer (drive 3 bytes, the others 256), cut at a
// character boundary when it is longer; nothing is written unless every
// given buffer is usable.
uint32_t bi_splitpath(const BuiltinArgs& a) {
  std::string_view path;
  if (!a.str(0, path)) return 0;
  const text::PathParts p = text::split_path(path);
  const std::string_view parts[4] = {p.drive, p.folder, p.name, p.ext};
  const size_t sizes[4] = {3, 256, 256, 256};
  std::string_view cut[4];
  for (uint32_t k = 0; k < 4; ++k) {
    cut[k] = parts[k].substr(0, cp932::cut_length(parts[k], sizes[k] - 1));
    if (a.addr(k + 1) != 0 && a.span(k + 1, static_cast<uint32_t>(cut[k].size()) + 1).data() == nullptr) return 0;
  }
  for (uint32_t k = 0; k < 4; ++k) {
    if (a.addr(k + 1) != 0) put_string(a.addr(k + 1), cut[k]);
  }
  return 1;
}
uint32_t bi_makepath(const BuiltinArgs& a) {
  std::string_view parts[4];
  for (uint32_t k = 0; k < 4; ++k) {
    if (a.addr(k + 1) != 0 && !a.str(k + 1, parts[k])) return 0;
  }
  return put_string(a.addr(0), text::make_path(parts[0], parts[1], parts[2], parts[3]));
}

// ---- checksums ----

uint32_t bi_hash32(const BuiltinArgs& a) {
  std::string_view s;
  if (!a.str(0, s)) return 0;
  return checksum_hash32({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
}
namespace {
// The data of a checksum: empty for a length <= 0; false for bytes that are
// not all usable.
bool checksum_data(const BuiltinArgs& a, std::span<const uint8_t>& data) {
  if (a.i32(1) <= 0) return true;
  data = a.span(0, a.u32(1));
  return data.data() != nullptr;
}
}  // namespace
uint32_t bi_crc16(const BuiltinArgs& a) {
  std::span<const uint8_t> data;
  return checksum_data(a, data) ? checksum_crc16(data) : 0;
}
uint32_t bi_crc32(const BuiltinArgs& a) {
  std::span<const uint8_t> data;
  return checksum_data(a, data) ? checksum_crc32(data) : 0;
}

}  // namespace zelt
