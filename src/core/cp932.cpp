#include "core/cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace zelt::cp932 {

size_t char_length(std::string_view s, size_t i) {
  if (i >= s.size()) return 0;
  return is_lead_byte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

size_t cut_length(std::string_view s, size_t limit) {
  if (limit >= s.size()) return s.size();
  size_t i = 0;
  for (;;) {
    size_t len = char_length(s, i);
    if (i + len > limit) return i;
    i += len;
  }
}

size_t find_char(std::string_view s, char c) {
  for (size_t i = 0; i < s.size(); i += char_length(s, i)) {
    if (s[i] == c && char_length(s, i) == 1) return i;
  }
  return std::string_view::npos;
}

// Double-byte text can only be scanned forwards: whether a byte is a trail
// byte depends on everything before it.
size_t rfind_char(std::string_view s, char c) {
  size_t found = std::string_view::npos;
  for (size_t i = 0; i < s.size(); i += char_length(s, i)) {
    if (s[i] == c && char_length(s, i) == 1) found = i;
  }
  return found;
}

namespace {

constexpr unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// The character at s[i] as one comparable unit; advances i.
unsigned unit_at(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (char_length(s, i) == 2) {
    unsigned u = c * 256u + static_cast<unsigned char>(s[i + 1]);
    i += 2;
    return u;
  }
  i += 1;
  return fold(c);
}

}  // namespace

int compare_nocase(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    unsigned ua = unit_at(a, i), ub = unit_at(b, j);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::string fold_case(std::string_view s) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); i += char_length(out, i)) {
    out[i] = static_cast<char>(fold(static_cast<unsigned char>(out[i])));
  }
  return out;
}

// Greedy matching: a "*" first takes nothing; when what follows it fails,
// the last "*" takes one character more and matching resumes after it. Only
// the last "*" needs revisiting, as whatever an earlier one could take more
// of, the later one can take as well; so no position pair is tried twice.
bool wildcard_match(std::string_view pattern, std::string_view name) {
  constexpr size_t none = std::string_view::npos;
  size_t p = 0, n = 0;
  size_t star_p = none, star_n = 0;  // pattern after the last "*", name where it stopped taking
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star_p = ++p;
      star_n = n;
      continue;
    }
    if (p < pattern.size()) {
      size_t next_p = p, next_n = n;
      const bool any = pattern[p] == '?';
      if (unit_at(pattern, next_p) == unit_at(name, next_n) || any) {
        p = next_p;
        n = next_n;
        continue;
      }
    }
    if (star_p == none) return false;
    star_n += char_length(name, star_n);
    p = star_p;
    n = star_n;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

// One iconv descriptor per direction and thread: iconv_open loads tables and
// is far too slow to call per conversion, and a descriptor keeps shift state,
// so threads must not share one.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

constexpr bool is_trail_byte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// Bytes to skip over an unconvertible character at p (n bytes left) of the
// source encoding; at least 1.
using SkipFn = size_t (*)(const unsigned char* p, size_t n);

size_t skip_cp932(const unsigned char* p, size_t n) {
  // An unassigned but well-formed pair is one character: skipping only its
  // lead byte would turn the trail byte into a spurious ASCII character.
  return n >= 2 && is_lead_byte(p[0]) && is_trail_byte(p[1]) ? 2 : 1;
}

size_t skip_utf8(const unsigned char* p, size_t n) {
  size_t len = p[0] >= 0xC2 && p[0] <= 0xDF ? 2 : p[0] >= 0xE0 && p[0] <= 0xEF ? 3 : p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : 1;
  if (len > n) return 1;
  for (size_t k = 1; k < len; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 1;
  }
  return len;
}

// Converts in, replacing what cannot be converted; exact tells whether
// nothing was replaced.
std::string convert(const Converter& conv, std::string_view in, std::string_view replacement, SkipFn skip,
                    size_t initial_size, bool& exact) {
  std::string out;
  exact = true;
  if (!conv.ok()) {
    // No converter on this system: keep ASCII, replace everything else.
    for (unsigned char c : in) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        out += replacement;
        exact = false;
      }
    }
    return out;
  }
  iconv_t cd = conv.get();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
  out.resize(initial_size);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  size_t used = 0;
  auto grow = [&](size_t need) {
    if (out.size() - used < need) out.resize(std::max(out.size() * 2, used + need));
  };
  for (bool flushed = false; !flushed;) {
    char* dst = out.data() + used;
    size_t dst_left = out.size() - used;
    // Once the input is used up, one call with no input writes any pending
    // shift sequence.
    bool flushing = src_left == 0;
    size_t r = flushing ? iconv(cd, nullptr, nullptr, &dst, &dst_left) : iconv(cd, &src, &src_left, &dst, &dst_left);
    int err = errno;
    used = out.size() - dst_left;
    if (r != static_cast<size_t>(-1)) {
      flushed = flushing;
      continue;
    }
    if (err == E2BIG) {
      grow(out.size() - used + 16);
      continue;
    }
    if (flushing) break;
    // EILSEQ, or EINVAL (a character cut off by the end of the input).
    exact = false;
    grow(replacement.size());
    out.replace(used, replacement.size(), replacement);
    used += replacement.size();
    size_t n = err == EINVAL ? src_left : skip(reinterpret_cast<const unsigned char*>(src), src_left);
    src += n;
    src_left -= n;
  }
  out.resize(used);
  return out;
}

std::string to_utf8(std::string_view cp932_text, bool& exact) {
  thread_local Converter conv("UTF-8", "CP932");
  // Enough for double-byte text (two bytes become three); text of half-width
  // katakana (one byte becomes three) grows the buffer.
  return convert(conv, cp932_text, "\xEF\xBF\xBD", skip_cp932, cp932_text.size() * 3 / 2 + 16, exact);
}

}  // namespace

std::string to_utf8(std::string_view cp932_text) {
  bool exact;
  return to_utf8(cp932_text, exact);
}

std::optional<std::string> to_utf8_strict(std::string_view cp932_text) {
  bool exact;
  std::string utf8 = to_utf8(cp932_text, exact);
  if (!exact) return std::nullopt;
  return utf8;
}

std::string from_utf8(std::string_view utf8_text) {
  thread_local Converter conv("CP932", "UTF-8");
  bool exact;
  return convert(conv, utf8_text, "?", skip_utf8, utf8_text.size() + 16, exact);
}

}  // namespace zelt::cp932
