// User-facing texts and the message reporter: the one way a failure reaches
// the user. Texts are code page 932; they are converted to UTF-8 only where
// they are shown.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelt {

enum class Msg : uint16_t {
#define MSG(id, text) id,
#include "core/messages.def"
#undef MSG
  Count
};

// The code page 932 text of a message (zero-terminated, valid for the whole run).
const char* msg_text(Msg id);
// The UTF-8 text as written in the table.
const char* msg_text_utf8(Msg id);

// Message levels.
inline constexpr uint32_t kLevelDevice = 1;  // devices, compile and run-time errors
inline constexpr uint32_t kLevelFile = 2;    // file input and output

// Message box results.
inline constexpr int kIdOk = 1;

// Formats like wvsprintfA (flags "-", "0", "#", width, precision, "h"/"l"
// prefixes; conversions c, C, d, i, u, x, X, s, S, p, %; no floating point)
// into a buffer of `size` bytes. The text is cut to size - 1 bytes without
// splitting a double-byte character. Returns the text.
std::string format_wsprintf(size_t size, const char* format, va_list args);

// Shows the message when level <= [General] Error (unsigned compare) and
// returns the message box result; otherwise returns Error and shows nothing.
// The text is formatted into 256 bytes (cut at 255). Callable from any thread.
int report_message(uint32_t level, const char* format, ...);
int report_message_v(uint32_t level, const char* format, va_list args);
// Shows a finished text (no formatting, no 255-byte cut) with the same
// filtering: the compiler's report, which may hold many lines.
int report_text(uint32_t level, std::string_view cp932_text);
// Convenience for a table text without arguments.
inline int report(uint32_t level, Msg id) { return report_message(level, "%s", msg_text(id)); }

// Where shown messages go. The default prints the text to stderr; a
// windowed run installs a message box, tests install their own sink.
using MessageSink = int (*)(std::string_view cp932_text, std::string_view cp932_caption);
void set_message_sink(MessageSink sink);
// The default sink: the text as UTF-8 on stderr; answers OK.
int print_message(std::string_view cp932_text, std::string_view cp932_caption);

}  // namespace zelt
