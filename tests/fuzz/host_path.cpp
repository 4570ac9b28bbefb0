// Arbitrary bytes as script paths (as given, and below a drive mapped to a
// small temporary title folder) and as code page 932 text for the byte rules
// and the conversions, checking the invariants the rest of the runtime
// relies on.
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/cp932.h"
#include "files/host_path.h"
#include "fuzz_check.h"

namespace {

using zelt::fuzz::check;

void make_file(const std::string& path) {
  if (FILE* f = fopen(path.c_str(), "w")) fclose(f);
}

std::string root;

void remove_root() { std::filesystem::remove_all(root); }

// Once per process: a folder with mixed-case and Japanese names, reached as
// drive Q: (the current directory stays where libFuzzer keeps its corpus).
void setup() {
  if (!root.empty()) return;
  char templ[] = "/tmp/zelt-fuzz-XXXXXX";
  if (!mkdtemp(templ)) abort();
  root = templ;
  atexit(remove_root);
  mkdir((root + "/Data").c_str(), 0755);
  mkdir((root + "/Data/img").c_str(), 0755);
  mkdir((root + "/表").c_str(), 0755);
  make_file(root + "/Data/img/A.bmp");
  make_file(root + "/Data/img/a.BMP");
  make_file(root + "/表/日本語.txt");
  zelt::files::set_drive_mapping("Q:", root);
}

bool is_boundary(std::string_view s, size_t n) {
  size_t i = 0;
  while (i < n) i += zelt::cp932::char_length(s, i);
  return i == n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setup();
  namespace cp932 = zelt::cp932;
  std::string_view s(reinterpret_cast<const char*>(data), size);

  std::string host = zelt::files::host_path(s);
  check(host.find('\0') == std::string::npos, "host path holds no NUL");
  std::string below = zelt::files::host_path("Q:\\" + std::string(s));
  // Separators and the drive are ASCII, so only the bytes of the names decide.
  const bool defined = cp932::to_utf8_strict(s.substr(0, s.find('\0'))).has_value();
  check(below.empty() == !defined, "exactly the paths that are not code page 932 are refused");
  check(!defined || host.empty() == (s.empty() || s[0] == '\0'), "only the empty path resolves to nothing");
  check(below.empty() || below.compare(0, root.size(), root) == 0, "a mapped drive resolves under its folder");
  if (size > 0 && data[0] == 0xFF) zelt::files::clear_path_cache();

  for (size_t limit : {size_t{0}, size / 2, size, size + 1}) {
    size_t n = cp932::cut_length(s, limit);
    check(n <= limit && n <= size, "cut within the limit");
    check(is_boundary(s, n), "cut on a character boundary");
    check(n + 1 >= std::min(limit, size), "cut loses at most one byte");
  }
  size_t first = cp932::find_char(s, '\\'), last = cp932::rfind_char(s, '\\');
  check((first == std::string_view::npos) == (last == std::string_view::npos), "find and rfind agree");
  if (first != std::string_view::npos) {
    check(first <= last && s[first] == '\\' && s[last] == '\\', "found the character");
    check(is_boundary(s, first) && is_boundary(s, last), "found a whole character");
  }

  std::string_view a = s.substr(0, size / 2), b = s.substr(size / 2);
  int ab = cp932::compare_nocase(a, b), ba = cp932::compare_nocase(b, a);
  check((ab > 0) == (ba < 0) && (ab == 0) == (ba == 0), "comparison is antisymmetric");
  check(cp932::equal_nocase(a, b) == (cp932::fold_case(a) == cp932::fold_case(b)), "fold_case keys equality");
  check(cp932::equal_nocase(s, cp932::fold_case(s)), "folding keeps equality");

  std::string utf8 = cp932::to_utf8(s);
  check(cp932::to_utf8(cp932::from_utf8(utf8)).size() > 0 || size == 0, "conversion keeps text");
  cp932::from_utf8(s);
  return 0;
}
