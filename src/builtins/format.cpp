#include "builtins/format.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace zelt {

namespace {

enum class Size { Int, Short, Char, Long64 };

// One conversion of the C library into out; false when it would pass limit.
template <typename T>
bool append_printf(std::string& out, size_t limit, const std::string& spec, T value) {
  const int n = std::snprintf(nullptr, 0, spec.c_str(), value);
  if (n < 0 || static_cast<size_t>(n) > limit - out.size()) return false;
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(n) + 1);
  std::snprintf(out.data() + at, static_cast<size_t>(n) + 1, spec.c_str(), value);
  out.resize(at + static_cast<size_t>(n));
  return true;
}

// The string argument of %s: at most `precision` bytes (all when negative),
// or "(null)" when the address does not hold a terminated string.
std::string string_argument(ScriptAddr a, int64_t precision) {
  const ScriptMemory& m = script_memory();
  if (precision < 0) {
    std::string_view s;
    return m.string(a, s) ? std::string(s) : std::string("(null)");
  }
  if (!m.valid(a, 1)) return "(null)";
  const uint64_t avail = m.end() - a;
  const uint8_t* p = m.host(a);
  size_t n = 0;
  while (n < static_cast<uint64_t>(precision) && n < avail && p[n] != 0) ++n;
  if (n == avail && n < static_cast<uint64_t>(precision)) return "(null)";  // runs off usable memory
  return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

bool format_cells(std::string_view format, const BuiltinArgs& args, uint32_t first, size_t limit,
                  std::string& out) {
  if (out.size() > limit) return false;
  uint32_t cell = first;
  const auto next_cell = [&] { return args.u32(cell++); };
  const auto next_64 = [&] {
    const uint64_t lo = next_cell();
    return lo | (uint64_t{next_cell()} << 32);
  };
  // Width and precision above this cannot fit, whatever the conversion.
  const auto too_big = [&](int64_t v) { return v > 0 && static_cast<uint64_t>(v) > limit - out.size(); };

  size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '%') {
      if (out.size() >= limit) return false;
      out += format[i++];
      continue;
    }
    const size_t start = i++;
    std::string flags;
    while (i < format.size() && std::strchr("-+ 0#", format[i]) != nullptr && format[i] != '\0') flags += format[i++];
    int64_t width = -1, precision = -1;
    if (i < format.size() && format[i] == '*') {
      ++i;
      width = static_cast<int32_t>(next_cell());
      if (width < 0) {
        flags += '-';
        width = -width;
      }
    } else {
      while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        width = std::max<int64_t>(width, 0) * 10 + (format[i++] - '0');
        if (width > std::numeric_limits<int32_t>::max()) return false;
      }
    }
    if (i < format.size() && format[i] == '.') {
      ++i;
      precision = 0;
      if (i < format.size() && format[i] == '*') {
        ++i;
        precision = static_cast<int32_t>(next_cell());  // negative: as if omitted
      } else {
        while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
          precision = precision * 10 + (format[i++] - '0');
          if (precision > std::numeric_limits<int32_t>::max()) return false;
        }
      }
    }
    if (too_big(width) || too_big(precision)) return false;

    Size size = Size::Int;
    const std::string_view rest = format.substr(i);
    if (rest.starts_with("I64") || rest.starts_with("ll")) {
      size = Size::Long64;
      i += rest[0] == 'I' ? 3 : 2;
    } else if (rest.starts_with("I32")) {
      i += 3;
    } else if (rest.starts_with("hh")) {
      size = Size::Char;
      i += 2;
    } else if (!rest.empty() && rest[0] == 'h') {
      size = Size::Short;
      ++i;
    } else if (!rest.empty() && std::strchr("lLwjzt", rest[0]) != nullptr) {
      ++i;  // 32-bit on the script's machine, or no effect
    }
    if (i >= format.size()) {  // an incomplete conversion prints as it stands
      if (format.size() - start > limit - out.size()) return false;
      out.append(format.substr(start));
      break;
    }
    const char conv = format[i++];

    std::string spec = "%";
    spec += flags;
    if (width >= 0) spec += std::to_string(width);
    const std::string with_width = spec;
    if (precision >= 0) {
      spec += '.';
      spec += std::to_string(precision);
    }

    bool ok = true;
    switch (conv) {
      case 'd':
      case 'i':
        if (size == Size::Long64) {
          ok = append_printf(out, limit, spec + "lld", static_cast<long long>(next_64()));
        } else {
          const int32_t v = static_cast<int32_t>(next_cell());
          const int value = size == Size::Short ? static_cast<int16_t>(v) : size == Size::Char ? static_cast<int8_t>(v) : v;
          ok = append_printf(out, limit, spec + "d", value);
        }
        break;
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        if (size == Size::Long64) {
          ok = append_printf(out, limit, spec + "ll" + conv, static_cast<unsigned long long>(next_64()));
        } else {
          const uint32_t v = next_cell();
          const unsigned value = size == Size::Short ? static_cast<uint16_t>(v) : size == Size::Char ? static_cast<uint8_t>(v) : v;
          ok = append_printf(out, limit, spec + conv, value);
        }
        break;
      case 'c':
        ok = append_printf(out, limit, spec + "c", static_cast<int>(static_cast<uint8_t>(next_cell())));
        break;
      case 's': {
        const std::string s = string_argument(next_cell(), precision);
        ok = s.size() <= limit - out.size() && append_printf(out, limit, spec + "s", s.c_str());
        break;
      }
      case 'p':  // eight upper-case hex digits, as the script's machine prints a pointer
        ok = append_printf(out, limit, with_width + ".8X", static_cast<unsigned>(next_cell()));
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        ok = append_printf(out, limit, spec + conv, std::bit_cast<double>(next_64()));
        break;
      case 'n':  // refused: consumes its argument, stores nothing
        if (size == Size::Long64) next_cell();
        next_cell();
        break;
      case '%':
        if (out.size() >= limit) return false;
        out += '%';
        break;
      default:  // not a conversion: printed as it stands
        if (i - start > limit - out.size()) return false;
        out.append(format.substr(start, i - start));
        break;
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace zelt
