#include "core/messages.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "core/cp932.h"

namespace zelt {
namespace {

constexpr const char* kUtf8Texts[] = {
#define MSG(id, text) text,
#include "core/messages.def"
#undef MSG
};
static_assert(std::size(kUtf8Texts) == static_cast<size_t>(Msg::Count));

const std::array<std::string, static_cast<size_t>(Msg::Count)>& cp932_texts() {
  static const auto texts = [] {
    std::array<std::string, static_cast<size_t>(Msg::Count)> t;
    for (size_t i = 0; i < t.size(); ++i) t[i] = cp932::from_utf8(kUtf8Texts[i]);
    return t;
  }();
  return texts;
}

std::atomic<MessageSink> g_sink{print_message};

// Appends one converted field with wsprintf's padding rules.
void put_field(std::string& out, std::string_view body, std::string_view prefix, bool left,
               bool zero, int width) {
  const int len = static_cast<int>(body.size() + prefix.size());
  const int pad = width > len ? width - len : 0;
  if (!left && !zero) out.append(pad, ' ');
  out += prefix;
  if (!left && zero) out.append(pad, '0');
  out += body;
  if (left) out.append(pad, ' ');
}

}  // namespace

int print_message(std::string_view cp932_text, std::string_view) {
  std::fprintf(stderr, "%s\n", cp932::to_utf8(cp932_text).c_str());
  std::fflush(stderr);
  return kIdOk;
}

const char* msg_text(Msg id) { return cp932_texts()[static_cast<size_t>(id)].c_str(); }
const char* msg_text_utf8(Msg id) { return kUtf8Texts[static_cast<size_t>(id)]; }

std::string format_wsprintf(size_t size, const char* format, va_list args) {
  std::string out;
  if (size == 0) return out;
  const char* p = format ? format : "";
  // Formatting stops once the buffer is full; the cut happens at the end.
  while (*p && out.size() < size) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    ++p;
    bool left = false, zero = false, alt = false;
    for (;; ++p) {
      if (*p == '-') left = true;
      else if (*p == '0') zero = true;
      else if (*p == '#') alt = true;
      else break;
    }
    int width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    int precision = -1;
    if (*p == '.') {
      ++p;
      precision = 0;
      while (*p >= '0' && *p <= '9') precision = precision * 10 + (*p++ - '0');
    }
    if (*p == 'h' || *p == 'l') ++p;  // all integers are 32-bit; strings are always narrow
    const char conv = *p;
    if (conv == '\0') break;
    ++p;
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'p': {
        const uint32_t raw = va_arg(args, uint32_t);
        const bool is_signed = (conv == 'd' || conv == 'i') && static_cast<int32_t>(raw) < 0;
        const uint32_t magnitude = is_signed ? 0u - raw : raw;
        char digits[16];
        const char* fmt = conv == 'x' ? "%x" : conv == 'X' || conv == 'p' ? "%X" : "%u";
        std::snprintf(digits, sizeof digits, fmt, magnitude);
        std::string body = digits;
        if (conv == 'p') precision = 8;
        if (precision >= 0) {
          if (precision == 0 && magnitude == 0) body.clear();
          if (static_cast<int>(body.size()) < precision)
            body.insert(0, precision - body.size(), '0');
          zero = false;
        }
        std::string prefix = is_signed ? "-" : "";
        if (alt && magnitude != 0 && (conv == 'x' || conv == 'X')) prefix += conv == 'x' ? "0x" : "0X";
        put_field(out, body, prefix, left, zero, width);
        break;
      }
      case 'c':
      case 'C': {
        const char c = static_cast<char>(va_arg(args, int));
        put_field(out, std::string_view(&c, 1), "", left, zero, width);
        break;
      }
      case 's':
      case 'S': {
        const char* s = va_arg(args, const char*);
        std::string_view body = s ? std::string_view(s) : std::string_view("(null)");
        if (precision >= 0 && body.size() > static_cast<size_t>(precision))
          body = body.substr(0, cp932::cut_length(body, precision));
        put_field(out, body, "", left, zero, width);
        break;
      }
      default:  // "%%" and unknown conversions print the character itself
        out += conv;
        break;
    }
  }
  if (out.size() > size - 1) out.resize(cp932::cut_length(out, size - 1));
  return out;
}

int report_message_v(uint32_t level, const char* format, va_list args) {
  if (static_cast<uint32_t>(config().Error) < level) return config().Error;
  const std::string text = format_wsprintf(256, format, args);
  return g_sink.load()(text, msg_text(Msg::ReportCaption));
}

int report_text(uint32_t level, std::string_view cp932_text) {
  if (static_cast<uint32_t>(config().Error) < level) return config().Error;
  return g_sink.load()(cp932_text, msg_text(Msg::ReportCaption));
}

int report_message(uint32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int result = report_message_v(level, format, args);
  va_end(args);
  return result;
}

void set_message_sink(MessageSink sink) { g_sink.store(sink ? sink : print_message); }

}  // namespace zelt
