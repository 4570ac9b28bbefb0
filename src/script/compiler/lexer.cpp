#include "script/compiler/lexer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "core/cp932.h"
#include "files/exp_file.h"
#include "script/compiler/symbols.h"

namespace zelt::compiler {
namespace {

// ---- character classes ----

enum : uint8_t {
  CC_SPACE = 1, CC_DIGIT = 2, CC_HEX = 4, CC_LOWER = 8, CC_UPPER = 16, CC_IDSTART = 32,
  CC_LEAD = 64, CC_OPERATOR = 128,
  CC_IDCHAR = CC_IDSTART | CC_DIGIT,
};

struct CharClasses {
  uint8_t c[256] = {};
  constexpr CharClasses() {
    for (int ch : {' ', '\t', '\r', '\n'}) c[ch] = CC_SPACE;
    for (int i = '0'; i <= '9'; ++i) c[i] = CC_DIGIT | CC_HEX;
    for (int i = 'a'; i <= 'z'; ++i) c[i] = CC_LOWER | CC_IDSTART;
    for (int i = 'A'; i <= 'Z'; ++i) c[i] = CC_UPPER | CC_IDSTART;
    for (int i = 'a'; i <= 'f'; ++i) c[i] |= CC_HEX;
    for (int i = 'A'; i <= 'F'; ++i) c[i] |= CC_HEX;
    c[static_cast<int>('_')] = CC_IDSTART;
    for (const char* p = "()[]{},;:?.~!%*^=&|+-<>/"; *p; ++p) c[static_cast<uint8_t>(*p)] = CC_OPERATOR;
    for (int i = 0x81; i <= 0x9F; ++i) c[i] = CC_LEAD | CC_IDSTART;
    for (int i = 0xE0; i <= 0xFC; ++i) c[i] = CC_LEAD | CC_IDSTART;
  }
};
constexpr CharClasses kClasses;

inline bool is(int ch, uint8_t cls) { return ch >= 0 && (kClasses.c[ch] & cls) != 0; }

struct Keyword {
  const char* spelling;
  Tok token;
};
constexpr Keyword kKeywords[] = {
#define KEYWORD(token, spelling) {spelling, token},
#include "script/compiler/keywords.def"
#undef KEYWORD
};

// ---- source files ----

SourceStatus read_with_exp_file(std::string_view path, std::vector<uint8_t>& text) {
  files::ExpFile* e = files::OpenExpFile(path);
  if (!e) return kSourceCannotOpen;
  const int32_t size = files::exp_size(e);
  SourceStatus status = kSourceRead;
  if (size < 0) {
    status = kSourceCannotRead;
  } else {
    try {
      text.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
      status = kSourceNoMemory;
    }
    uint32_t got = 0;
    if (status == kSourceRead && size > 0 &&
        (!files::exp_read(e, text.data(), static_cast<uint32_t>(size), &got) ||
         got != static_cast<uint32_t>(size)))
      status = kSourceCannotRead;
  }
  files::exp_close(e);
  return status;
}

SourceReader g_reader = read_with_exp_file;

void pop_file(Compiler& cs) {
  SourceFile& f = cs.files[--cs.nfiles];
  f.text.clear();
  f.text.shrink_to_fit();
}

// Reads the next physical line of the top file into the line buffer (carriage
// returns dropped, the line feed kept, a lead byte kept with the byte after
// it). Finished include files are closed on the way. False at the end of the
// main file.
bool read_raw_line(Compiler& cs) {
  while (cs.files[cs.nfiles - 1].pos >= cs.files[cs.nfiles - 1].text.size()) {
    if (cs.nfiles == 1) {
      cs.cur_line = cs.line_buffer;
      cs.line_len = 0;
      return false;
    }
    pop_file(cs);
  }
  SourceFile& f = cs.files[cs.nfiles - 1];
  ++f.line;
  const uint8_t* t = f.text.data();
  const size_t len = f.text.size();
  size_t pos = f.pos;
  // Fast path: a line of plain bytes (no carriage return, no lead byte)
  // that fits is read where it is.
  const auto* nl = static_cast<const uint8_t*>(std::memchr(t + pos, '\n', len - pos));
  if (nl) {
    const size_t n = static_cast<size_t>(nl - (t + pos));
    if (n <= static_cast<size_t>(kMaxLine)) {
      uint8_t special = 0;
      for (size_t i = 0; i < n; ++i) special |= static_cast<uint8_t>((t[pos + i] & 0x80) | (t[pos + i] == '\r'));
      if (!special) {
        cs.cur_line = t + pos;  // read in place
        cs.line_len = static_cast<int>(n + 1);
        f.pos = static_cast<uint32_t>(pos + n + 1);
        return true;
      }
    }
  }
  int n = 0;
  cs.cur_line = cs.line_buffer;
  cs.line_len = 0;
  while (pos < len) {
    const uint8_t ch = t[pos++];
    if (ch == '\r') continue;
    if (ch == '\n') {
      cs.line_buffer[n++] = '\n';
      break;
    }
    const bool pair = is(ch, CC_LEAD) && pos < len;
    if (n + (pair ? 2 : 1) > kMaxLine) {
      cs.line_len = n;
      cs.in_pos = cs.in_end = cs.line_buffer + n;
      fatal(cs, Msg::CompileLineLength);
    }
    cs.line_buffer[n++] = ch;
    if (pair) cs.line_buffer[n++] = t[pos++];
  }
  if (n == 0 || cs.line_buffer[n - 1] != '\n') cs.line_buffer[n++] = '\n';
  f.pos = static_cast<uint32_t>(pos);
  cs.line_len = n;
  return true;
}

// ---- directives ----

inline void skip_blanks(const uint8_t*& p) {
  while (*p == ' ' || *p == '\t') ++p;
}

// Reads an identifier at p (which must start one) into out (at most
// kMaxLine bytes kept); returns its length.
int read_name_at(uint8_t* out, const uint8_t*& p, const uint8_t* end) {
  int len = 0;
  while (p < end && is(*p, CC_IDCHAR)) {
    const int n = is(*p, CC_LEAD) && p + 1 < end ? 2 : 1;
    if (len + n <= kMaxLine) {
      std::memcpy(out + len, p, n);
      len += n;
    }
    p += n;
  }
  return len;
}

void put_text(Compiler& cs, const void* bytes, uint32_t n) { text_store(cs, bytes, n); }

// #define NAME(p0, p1, ...) text: parameter i is stored as the macro NAME_i.
void define_function_macro(Compiler& cs, int g, const uint8_t* p) {
  const std::string macro(reinterpret_cast<const char*>(cs.name), cs.name_len);
  std::vector<std::string> params;
  ++p;  // '('
  skip_blanks(p);
  if (*p == ')') {
    ++p;
  } else {
    for (;;) {
      skip_blanks(p);
      cs.in_pos = p;
      if (!is(*p, CC_IDSTART) || params.size() == kMaxMacroParams) fatal(cs, Msg::CompileSyntax);
      cs.name_len = read_name_at(cs.name, p, cs.cur_line + cs.line_len);
      params.emplace_back(reinterpret_cast<const char*>(cs.name), cs.name_len);
      skip_blanks(p);
      cs.in_pos = p;
      if (*p == ',') {
        ++p;
        continue;
      }
      if (*p == ')') {
        ++p;
        break;
      }
      fatal(cs, Msg::CompileSyntax);
    }
  }
  cs.in_pos = p;
  // The parameter macros, created empty; calls give them their text.
  std::vector<uint32_t> param_syms;
  for (size_t i = 0; i < params.size(); ++i) {
    const std::string pname = macro + "_" + std::to_string(i);
    if (pname.size() > kMaxLine) fatal(cs, Msg::CompileSyntax);
    const int ps = sym_global(cs, pname, true);
    if (cs.globals[ps].kind != SK_UNDEF) fatal(cs, Msg::CompileSyntax);
    Symbol& s = cs.globals[ps];
    s.kind = SK_MACRO;
    s.type = 0;
    s.value = 0;
    s.aux = 0;
    param_syms.push_back(static_cast<uint32_t>(ps));
  }
  const uint32_t list = params.empty() ? 0
                                       : text_store(cs, param_syms.data(),
                                                    static_cast<uint32_t>(param_syms.size() * 4));
  // The body: identifiers equal to a parameter (ignoring case) become NAME_i;
  // everything else is copied, string literals included. A backslash before
  // the line feed continues the body on the next line.
  const uint32_t start = cs.text_top;
  for (;;) {
    const uint8_t* end = cs.cur_line + cs.line_len;
    while (p < end && *p != '\n') {
      if (*p == '\\' && p + 1 < end && p[1] == '\n') break;
      if (is(*p, CC_IDSTART)) {
        const uint8_t* q = p;
        read_name_at(cs.name, p, end);
        const std::string_view word(reinterpret_cast<const char*>(q), p - q);
        size_t i = 0;
        while (i < params.size() && !cp932::equal_nocase(word, params[i])) ++i;
        if (i < params.size()) {
          const std::string pname = macro + "_" + std::to_string(i);
          put_text(cs, pname.data(), static_cast<uint32_t>(pname.size()));
        } else {
          put_text(cs, q, static_cast<uint32_t>(p - q));
        }
      } else if (is(*p, CC_DIGIT)) {
        // A number with letters in it (0x1f) is not an identifier.
        const uint8_t* q = p;
        while (p < end && is(*p, CC_IDCHAR) && !is(*p, CC_LEAD)) ++p;
        put_text(cs, q, static_cast<uint32_t>(p - q));
      } else {
        put_text(cs, p, 1);
        ++p;
      }
    }
    if (p < end && *p == '\\') {
      if (!read_raw_line(cs)) break;
      p = cs.cur_line;
      continue;
    }
    break;
  }
  put_text(cs, "\n", 1);
  Symbol& s = cs.globals[g];
  s.kind = SK_MACRO;
  s.type = static_cast<int32_t>(params.size());
  s.value = static_cast<int32_t>(start);
  s.aux = static_cast<int32_t>(cs.text_top - start);
  s.aux2 = list;
}

void directive_define(Compiler& cs, const uint8_t* p) {
  skip_blanks(p);
  cs.in_pos = p;
  const uint8_t* end = cs.cur_line + cs.line_len;
  if (!is(*p, CC_IDSTART)) fatal(cs, Msg::CompileDirective);
  cs.name_len = read_name_at(cs.name, p, end);
  cs.in_pos = p;
  const int g = sym_global(cs, cs.name, cs.name_len, name_hash(cs.name, cs.name_len), true);
  if (cs.globals[g].kind != SK_UNDEF) fatal(cs, Msg::CompileDirective);
  if (*p == '(') {
    define_function_macro(cs, g, p);
    return;
  }
  // Object-like: the text after the one character that follows NAME, up to
  // and including the line feed.
  if (p < end) ++p;
  const uint32_t at = text_store(cs, p, static_cast<uint32_t>(end - p));
  Symbol& s = cs.globals[g];
  s.kind = SK_MACRO;
  s.type = 0;
  s.value = static_cast<int32_t>(at);
  s.aux = static_cast<int32_t>(end - p);
}

void directive_include(Compiler& cs, const uint8_t* p) {
  while (*p == ' ' || *p == '\t') ++p;
  cs.in_pos = p;
  if (*p != '"') fatal(cs, Msg::CompileIncludeName);
  const uint8_t* start = ++p;
  const uint8_t* end = cs.cur_line + cs.line_len;
  while (p < end && *p != '"' && *p != '\n') p += is(*p, CC_LEAD) && p + 1 < end ? 2 : 1;
  cs.in_pos = p;
  if (p >= end || *p != '"') fatal(cs, Msg::CompileIncludeName);
  cs.in_pos = p + 1;
  const std::string_view name(reinterpret_cast<const char*>(start), p - start);
  for (const std::string& done : cs.included)
    if (cp932::equal_nocase(done, name)) return;
  lex_open_source(cs, name);
}

bool starts_with(const uint8_t* p, const char* word) {
  return std::strncmp(reinterpret_cast<const char*>(p), word, std::strlen(word)) == 0;
}

// Executes the directive in the line buffer. Returns true when the rest of
// the line is lexer input (#trap).
bool directive(Compiler& cs) {
  const uint8_t* p = cs.cur_line + 1;
  cs.in_pos = p;
  if (starts_with(p, "define")) {
    directive_define(cs, p + 6);
  } else if (starts_with(p, "include")) {
    directive_include(cs, p + 7);
  } else if (starts_with(p, "trap")) {
    if (cs.trap_counter > 0xFFFF) fatal(cs, Msg::CompileDirective);
    cs.trap_pending = cs.trap_counter++;
    cs.in_pos = p + 4;
    return !cs.in_asm;
  } else if (starts_with(p, "asm")) {
    if (cs.in_asm) fatal(cs, Msg::CompileDirective);
    cs.in_asm = true;
  } else if (starts_with(p, "endasm")) {
    if (!cs.in_asm) fatal(cs, Msg::CompileDirective);
    cs.in_asm = false;
  } else if (*p != ' ') {
    fatal(cs, Msg::CompileDirective);
  }
  return false;
}

// Reads the next line that is lexer input, executing directives and skipping
// #asm blocks on the way.
void read_line(Compiler& cs) {
  for (;;) {
    if (!read_raw_line(cs)) {
      cs.in_pos = cs.in_end = cs.cur_line;
      fatal(cs, Msg::CompileEof);
    }
    cs.in_pos = cs.cur_line;
    cs.in_end = cs.cur_line + cs.line_len;
    if (cs.cur_line[0] == '#' && cs.comment_depth == 0) {
      if (directive(cs)) {
        cs.in_end = cs.cur_line + cs.line_len;
        return;
      }
      continue;
    }
    if (!cs.in_asm) return;
  }
}

// ---- characters ----

void paste(Compiler& cs);
void refill(Compiler& cs);

inline void next_char(Compiler& cs) {
  if (cs.in_pos < cs.in_end) {
    cs.cur_char = *cs.in_pos++;
    if (cs.cur_char == '#' && cs.nmacro_levels > 0) paste(cs);
    return;
  }
  refill(cs);
}

void push_level(Compiler& cs, const uint8_t* text, uint32_t len, int lookahead, uint32_t restore) {
  // Nesting is limited, and so is the total text expansions produce: macros
  // that use themselves several times would otherwise grow exponentially.
  cs.expanded += len;
  if (cs.nmacro_levels == kMaxMacroDepth || cs.expanded > kMaxExpansion) fatal(cs, Msg::CompileMacroDepth);
  cs.macro_levels[cs.nmacro_levels++] = MacroLevel{cs.in_pos, cs.in_end, lookahead, restore};
  cs.in_pos = text;
  cs.in_end = text + len;
  next_char(cs);
}

void pop_level(Compiler& cs) {
  const MacroLevel& l = cs.macro_levels[--cs.nmacro_levels];
  cs.in_pos = l.resume;
  cs.in_end = l.end;
  if (cs.capturing)
    cs.capture_restore = std::min(cs.capture_restore, l.arg_restore);
  else
    cs.arg_top = l.arg_restore;
  if (l.lookahead >= 0)
    cs.cur_char = l.lookahead;
  else
    next_char(cs);
}

const uint8_t* macro_text(const Compiler& cs, const Symbol& s) {
  // Parameter macros hold argument text; everything else lives in the symbol text.
  return (s.aux2 & 0x80000000u) ? cs.arg_text + s.value : cs.text + s.value;
}

// Inside macro text, '##' directly followed by the name of a parameterless
// macro is replaced by that macro's text (a second '##' right after the name
// is dropped), so the text continues the token being read.
void paste(Compiler& cs) {
  const uint8_t* p = cs.in_pos;
  const uint8_t* end = cs.in_end;
  if (end - p < 2 || p[0] != '#' || !is(p[1], CC_IDSTART)) return;
  // The identifier being scanned is in cs.name; the pasted name goes elsewhere.
  uint8_t* name = reinterpret_cast<uint8_t*>(cs.scratch);
  const uint8_t* q = p + 1;
  const int len = read_name_at(name, q, end);
  const int g = sym_global(cs, name, len, name_hash(name, len), false);
  if (g < 0 || cs.globals[g].kind != SK_MACRO) return;
  const Symbol& s = cs.globals[g];
  if (s.type != 0) fatal(cs, Msg::CompileDirective);
  if (end - q >= 2 && q[0] == '#' && q[1] == '#') q += 2;
  cs.in_pos = q;
  push_level(cs, macro_text(cs, s), static_cast<uint32_t>(s.aux), -1, cs.arg_top);
}

void refill(Compiler& cs) {
  if (cs.nmacro_levels > 0) {
    pop_level(cs);
    return;
  }
  read_line(cs);
  cs.cur_char = *cs.in_pos++;
}

// ---- macro calls ----

void arg_put(Compiler& cs, int ch) {
  if (cs.arg_top >= kArgTextSize) fatal(cs, Msg::CompileSymbolBuffer);
  cs.arg_text[cs.arg_top++] = static_cast<uint8_t>(ch);
}

// Copies a quoted literal of an argument whole, so commas and parentheses in
// it do not split arguments. Stops at an unescaped line feed.
void capture_literal(Compiler& cs, bool keep) {
  const int quote = cs.cur_char;
  auto take = [&] {
    if (keep) arg_put(cs, cs.cur_char);
    next_char(cs);
  };
  take();
  while (cs.cur_char != quote && cs.cur_char != '\n') {
    const bool two = cs.cur_char == '\\' || is(cs.cur_char, CC_LEAD);
    take();
    if (two) take();
  }
  if (cs.cur_char == quote) take();
}

// Expands a macro with parameters: captures the arguments, in parentheses or
// up to the next ';' (not consumed), into the argument area, gives them to the
// parameter macros (missing ones empty, extra ones ignored) and scans the text.
void expand_call(Compiler& cs, const Symbol& m) {
  while (is(cs.cur_char, CC_SPACE)) next_char(cs);
  const bool paren = cs.cur_char == '(';
  if (paren) next_char(cs);
  const int nparams = m.type;
  uint32_t starts[kMaxMacroParams + 1];
  uint32_t ends[kMaxMacroParams + 1];
  const uint32_t start = cs.arg_top;
  cs.capturing = true;
  cs.capture_restore = start;
  int n = 0;
  starts[0] = start;
  int depth = 0;
  for (;;) {
    const int ch = cs.cur_char;
    if (depth == 0 && (paren ? ch == ')' : ch == ';')) break;
    if (depth == 0 && ch == ',') {
      if (n < nparams) ends[n] = cs.arg_top;
      ++n;
      if (n < nparams) starts[n] = cs.arg_top;
      next_char(cs);
      continue;
    }
    if (ch == '"' || ch == '\'') {
      capture_literal(cs, n < nparams);
      continue;
    }
    if (ch == '(') ++depth;
    if (ch == ')' && depth > 0) --depth;
    if (n < nparams) arg_put(cs, ch);
    next_char(cs);
  }
  if (n < nparams) ends[n] = cs.arg_top;
  ++n;
  cs.capturing = false;
  if (paren) next_char(cs);
  const uint32_t restore = std::min(start, cs.capture_restore);
  for (int i = 0; i < nparams; ++i) {
    uint32_t psym;
    std::memcpy(&psym, cs.text + m.aux2 + 4 * i, 4);
    Symbol& ps = cs.globals[psym];
    if (i < n) {
      ps.value = static_cast<int32_t>(starts[i]);
      ps.aux = static_cast<int32_t>(ends[i] - starts[i]);
    } else {
      ps.value = 0;
      ps.aux = 0;
    }
    ps.aux2 = 0x80000000u;  // text in the argument area
  }
  push_level(cs, cs.text + m.value, static_cast<uint32_t>(m.aux), cs.cur_char, restore);
}

// ---- tokens ----

// What an escape stands for.
struct Escape {
  enum Kind : uint8_t {
    kLineJoin,  // an escaped line feed: nothing
    kByte,      // value: the byte (numeric escapes may exceed 255)
    kPair,      // value: a double-byte character, lead * 256 + trail
  } kind;
  int value;
};

// The escape whose first character (after the backslash) is current.
Escape escape(Compiler& cs) {
  int v = cs.cur_char;
  switch (cs.cur_char) {
    case 'n': v = 10; break;
    case 'r': v = 13; break;
    case 't': v = 9; break;
    case 'b': v = 8; break;
    case 'f': v = 12; break;
    case '\n':
      next_char(cs);
      return {Escape::kLineJoin, 0};
    case 'x': {
      next_char(cs);
      v = 0;
      for (int k = 0; k < 2 && is(cs.cur_char, CC_HEX); ++k) {
        v = v * 16 + (is(cs.cur_char, CC_DIGIT) ? cs.cur_char - '0' : (cs.cur_char | 0x20) - 'a' + 10);
        next_char(cs);
      }
      return {Escape::kByte, v};
    }
    case '0': {
      next_char(cs);
      v = 0;
      for (int k = 0; k < 3 && cs.cur_char >= '0' && cs.cur_char <= '7'; ++k) {
        v = v * 8 + cs.cur_char - '0';
        next_char(cs);
      }
      return {Escape::kByte, v};
    }
    default:
      if (cs.cur_char >= '1' && cs.cur_char <= '9') {
        v = cs.cur_char - '0';
        next_char(cs);
        for (int k = 0; k < 2 && is(cs.cur_char, CC_DIGIT); ++k) {
          v = v * 10 + cs.cur_char - '0';
          next_char(cs);
        }
        return {Escape::kByte, v};
      }
      if (is(cs.cur_char, CC_LEAD)) {
        v = cs.cur_char << 8;
        next_char(cs);
        v |= cs.cur_char;
        next_char(cs);
        return {Escape::kPair, v};
      }
      break;
  }
  next_char(cs);
  return {Escape::kByte, v};
}

void scan_char_literal(Compiler& cs, Token& t) {
  next_char(cs);
  int v;
  for (;;) {
    if (cs.cur_char == '\n') fatal(cs, Msg::CompileStringLine);
    if (cs.cur_char == '\\') {
      next_char(cs);
      const Escape e = escape(cs);
      if (e.kind == Escape::kLineJoin) continue;
      v = e.value;
    } else if (is(cs.cur_char, CC_LEAD)) {
      v = cs.cur_char << 8;
      next_char(cs);
      v |= cs.cur_char;
      next_char(cs);
    } else {
      v = cs.cur_char;
      next_char(cs);
    }
    break;
  }
  if (cs.cur_char != '\'') fatal(cs, Msg::CompileNoQuote);
  next_char(cs);
  t.kind = T_NUMBER;
  t.value = v;
}

inline void str_put(Compiler& cs, int ch) {
  if (cs.text_top >= kSymbolTextSize) fatal(cs, Msg::CompileSymbolBuffer);
  cs.text[cs.text_top++] = static_cast<uint8_t>(ch);
}

void scan_string(Compiler& cs, Token& t) {
  const uint32_t start = cs.text_top;
  next_char(cs);
  for (;;) {
    const int ch = cs.cur_char;
    if (ch == '"') {
      next_char(cs);
      break;
    }
    if (ch == '\n') fatal(cs, Msg::CompileStringLine);
    if (ch == '\\') {
      next_char(cs);
      const Escape e = escape(cs);
      if (e.kind == Escape::kPair) str_put(cs, e.value >> 8);
      if (e.kind != Escape::kLineJoin) str_put(cs, e.value);
      continue;
    }
    str_put(cs, ch);
    next_char(cs);
    if (is(ch, CC_LEAD)) {
      str_put(cs, cs.cur_char);
      next_char(cs);
    }
  }
  str_put(cs, 0);
  t.kind = T_STRING;
  t.str = start;
  t.len = cs.text_top - start;
}

float digits_to_float(const char* s, size_t n, bool nonzero_int) {
  float f = 0;
  const auto r = std::from_chars(s, s + n, f, std::chars_format::fixed);
  if (r.ec == std::errc::result_out_of_range)
    return nonzero_int ? std::numeric_limits<float>::infinity() : 0.0f;
  return f;
}

void set_float(Token& t, float f) {
  t.kind = T_NUMBER;
  t.is_float = true;
  std::memcpy(&t.value, &f, 4);
}

void scan_number(Compiler& cs, Token& t) {
  t.kind = T_NUMBER;
  uint32_t v = 0;
  if (cs.cur_char == '0') {
    next_char(cs);
    if (cs.cur_char == 'x' || cs.cur_char == 'X') {
      next_char(cs);
      while (is(cs.cur_char, CC_HEX)) {
        v = v * 16 + (is(cs.cur_char, CC_DIGIT) ? cs.cur_char - '0' : (cs.cur_char | 0x20) - 'a' + 10);
        next_char(cs);
      }
      t.value = static_cast<int32_t>(v);
      return;
    }
    if (cs.cur_char == 'b' || cs.cur_char == 'B') {
      next_char(cs);
      while (cs.cur_char == '0' || cs.cur_char == '1') {
        v = v * 2 + (cs.cur_char - '0');
        next_char(cs);
      }
      t.value = static_cast<int32_t>(v);
      return;
    }
  }
  // Decimal (a leading 0 is not octal). The digits are kept so a float gets
  // the value written, not the wrapped 32-bit integer.
  char* digits = reinterpret_cast<char*>(cs.name);
  size_t n = 0;
  bool nonzero = false;
  digits[n++] = '0';
  while (is(cs.cur_char, CC_DIGIT)) {
    v = v * 10 + (cs.cur_char - '0');
    nonzero |= cs.cur_char != '0';
    if (n < kMaxLine) digits[n++] = static_cast<char>(cs.cur_char);
    next_char(cs);
  }
  if (cs.cur_char == '.') {
    next_char(cs);
    digits[n++] = '.';
    while (is(cs.cur_char, CC_DIGIT)) {
      if (n < kMaxLine) digits[n++] = static_cast<char>(cs.cur_char);
      next_char(cs);
    }
    if (cs.cur_char == 'f' || cs.cur_char == 'F') next_char(cs);
    set_float(t, digits_to_float(digits, n, nonzero));
    return;
  }
  if (cs.cur_char == 'f' || cs.cur_char == 'F') {
    next_char(cs);
    set_float(t, digits_to_float(digits, n, nonzero));
    return;
  }
  t.value = static_cast<int32_t>(v);
}

// Reads one token (string literals not yet joined).
void scan(Compiler& cs, Token& t) {
  if (cs.have_leftover) {
    t = cs.leftover;
    cs.have_leftover = false;
    return;
  }
  t = Token{};
  for (;;) {
    while (is(cs.cur_char, CC_SPACE)) next_char(cs);
    const int ch = cs.cur_char;
    if (is(ch, CC_IDSTART)) {
      int n = 0;
      uint32_t h = 0;
      if (cs.nmacro_levels == 0) {
        // Fast path in a source line: the name lies in the line buffer,
        // which always ends with a line feed.
        const uint8_t* q = cs.in_pos - 1;
        while (q < cs.in_end && is(*q, CC_IDCHAR)) {
          const int k = is(*q, CC_LEAD) && q + 1 < cs.in_end ? 2 : 1;
          for (int i = 0; i < k; ++i) {
            cs.name[n++] = q[i];
            h = h * 7 ^ static_cast<uint32_t>(static_cast<int8_t>(q[i]));
          }
          q += k;
        }
        cs.in_pos = q;
        next_char(cs);
      } else {
      do {
        const int pair = is(cs.cur_char, CC_LEAD);
        for (int k = 0; k <= pair; ++k) {
          if (n < kMaxLine) {
            cs.name[n++] = static_cast<uint8_t>(cs.cur_char);
            h = h * 7 ^ static_cast<uint32_t>(static_cast<int8_t>(cs.cur_char));
          }
          next_char(cs);
        }
      } while (is(cs.cur_char, CC_IDCHAR));
      }
      const int g = sym_global(cs, cs.name, n, h, true);
      const Symbol& s = cs.globals[g];
      if (s.kind == SK_MACRO) {
        if (s.type == 0)
          push_level(cs, macro_text(cs, s), static_cast<uint32_t>(s.aux), cs.cur_char, cs.arg_top);
        else
          expand_call(cs, s);
        continue;
      }
      t.kind = s.kind == SK_KEYWORD ? static_cast<uint8_t>(s.value) : static_cast<uint8_t>(T_IDENT);
      t.sym = g;
      return;
    }
    if (is(ch, CC_DIGIT)) {
      scan_number(cs, t);
      return;
    }
    if (ch == '\'') {
      scan_char_literal(cs, t);
      return;
    }
    if (ch == '"') {
      scan_string(cs, t);
      return;
    }
    if (!(kClasses.c[ch] & CC_OPERATOR)) fatal(cs, Msg::CompileSyntax);
    next_char(cs);
    const int nx = cs.cur_char;
    // The current character completes a two-character operator or not.
    auto two = [&](int second, uint8_t both, uint8_t one) {
      if (cs.cur_char == second) {
        next_char(cs);
        t.kind = both;
      } else {
        t.kind = one;
      }
    };
    switch (ch) {
      case '/':
        if (nx == '*') {
          int depth = 1;
          cs.comment_depth = 1;
          next_char(cs);
          while (depth > 0) {
            if (cs.cur_char == '*') {
              next_char(cs);
              if (cs.cur_char == '/') {
                --depth;
                next_char(cs);
              }
            } else if (cs.cur_char == '/') {
              next_char(cs);
              if (cs.cur_char == '*') {
                ++depth;
                next_char(cs);
              }
            } else {
              next_char(cs);
            }
            cs.comment_depth = depth;
          }
          continue;
        }
        if (nx == '/') {
          while (cs.cur_char != '\n') next_char(cs);
          continue;
        }
        two('=', P_DIV_ASSIGN, P_SLASH);
        return;
      case '(': t.kind = P_LPAREN; return;
      case ')': t.kind = P_RPAREN; return;
      case '[': t.kind = P_LBRACKET; return;
      case ']': t.kind = P_RBRACKET; return;
      case '{': t.kind = P_LBRACE; return;
      case '}': t.kind = P_RBRACE; return;
      case ',': t.kind = P_COMMA; return;
      case ';': t.kind = P_SEMI; return;
      case ':': t.kind = P_COLON; return;
      case '?': t.kind = P_QUESTION; return;
      case '.': t.kind = P_DOT; return;
      case '~': t.kind = P_TILDE; return;
      case '!': two('=', P_NE, P_NOT); return;
      case '%': two('=', P_MOD_ASSIGN, P_MOD); return;
      case '*': two('=', P_MUL_ASSIGN, P_STAR); return;
      case '^': two('=', P_XOR_ASSIGN, P_XOR); return;
      case '=': two('=', P_EQ, P_ASSIGN); return;
      case '&':
        if (nx == '&') {
          next_char(cs);
          t.kind = P_ANDAND;
        } else {
          two('=', P_AND_ASSIGN, P_AND);
        }
        return;
      case '|':
        if (nx == '|') {
          next_char(cs);
          t.kind = P_OROR;
        } else {
          two('=', P_OR_ASSIGN, P_OR);
        }
        return;
      case '+':
        if (nx == '+') {
          next_char(cs);
          t.kind = P_INC;
        } else {
          two('=', P_ADD_ASSIGN, P_PLUS);
        }
        return;
      case '-':
        if (nx == '-') {
          next_char(cs);
          t.kind = P_DEC;
        } else if (nx == '>') {
          next_char(cs);
          t.kind = P_ARROW;
        } else {
          two('=', P_SUB_ASSIGN, P_MINUS);
        }
        return;
      case '<':
        if (nx == '<') {
          next_char(cs);
          two('=', P_SHL_ASSIGN, P_SHL);
        } else {
          two('=', P_LE, P_LT);
        }
        return;
      case '>':
        if (nx == '>') {
          next_char(cs);
          two('=', P_SHR_ASSIGN, P_SHR);
        } else {
          two('=', P_GE, P_GT);
        }
        return;
      default:
        fatal(cs, Msg::CompileSyntax);
    }
  }
}

// Reads one token, joining adjacent string literals into one.
void scan_joined(Compiler& cs, Token& t) {
  scan(cs, t);
  if (t.kind != T_STRING) return;
  for (;;) {
    Token u;
    scan(cs, u);
    if (u.kind != T_STRING) {
      cs.leftover = u;
      cs.have_leftover = true;
      return;
    }
    // Drop the first terminator; the second text normally follows it directly.
    if (u.str == t.str + t.len) {
      std::memmove(cs.text + u.str - 1, cs.text + u.str, u.len);
      cs.text_top -= 1;
    } else {
      const uint32_t at = text_store(cs, cs.text + t.str, t.len - 1);
      text_store(cs, cs.text + u.str, u.len);
      t.str = at;
    }
    t.len += u.len - 1;
  }
}

}  // namespace

void lex_init(Compiler& cs) {
  for (const Keyword& k : kKeywords) {
    const int g = sym_global(cs, k.spelling, true);
    cs.globals[g].kind = SK_KEYWORD;
    cs.globals[g].value = k.token;
  }
  const int g = sym_global(cs, "void", true);
  cs.globals[g].kind = SK_KEYWORD;
  cs.globals[g].value = K_INT;
  cs.void_sym = g;
}

void lex_open_source(Compiler& cs, std::string_view name) {
  const std::string_view folder = cs.script_folder;
  const size_t n = folder.size() + name.size();
  if (cs.nfiles == 0) {
    const size_t keep = std::min(folder.size(), static_cast<size_t>(kPathSize - 1));
    std::memcpy(cs.open_path, folder.data(), keep);
    const size_t rest = std::min(name.size(), static_cast<size_t>(kPathSize - 1) - keep);
    std::memcpy(cs.open_path + keep, name.data(), rest);
    cs.open_path[keep + rest] = 0;
  }
  if (n >= static_cast<size_t>(kPathSize)) fatal(cs, Msg::CompileIncludeName);
  if (cs.nfiles == kMaxFiles) fatal(cs, Msg::CompileIncludeDepth);
  char path[kPathSize];
  std::memcpy(path, folder.data(), folder.size());
  std::memcpy(path + folder.size(), name.data(), name.size());
  path[n] = 0;
  SourceFile& f = cs.files[cs.nfiles];
  f.text.clear();
  const int status = g_reader(std::string_view(path, n), f.text);
  if (status != kSourceRead) {
    f.text.clear();
    fatal(cs, status == kSourceNoMemory   ? Msg::CompileNoMemory
              : status == kSourceCannotRead ? Msg::CompileReadFailed
                                            : Msg::CompileOpenFailed);
  }
  try {
    f.text.push_back('\n');
    cs.included.emplace_back(name);
  } catch (const std::bad_alloc&) {
    fatal(cs, Msg::CompileNoMemory);
  }
  std::memcpy(f.path, path, n + 1);
  f.pos = 0;
  f.line = 0;
  ++cs.nfiles;
}

void lex_close_all(Compiler& cs) {
  while (cs.nfiles > 0) pop_file(cs);
}

const Token& tok(Compiler& cs) {
  if (!cs.have_tok) {
    if (cs.have_ahead) {
      cs.tok = cs.ahead;
      cs.have_ahead = false;
    } else {
      scan_joined(cs, cs.tok);
    }
    cs.have_tok = true;
  }
  return cs.tok;
}

const Token& peek(Compiler& cs) {
  tok(cs);
  if (!cs.have_ahead) {
    scan_joined(cs, cs.ahead);
    cs.have_ahead = true;
  }
  return cs.ahead;
}

bool lex_expect(Compiler& cs, int kind) {
  if (tk(cs) == kind) {
    advance(cs);
    return true;
  }
  const char* what;
  switch (kind) {
    case P_LPAREN: what = "'('"; break;
    case P_RPAREN: what = "')'"; break;
    case P_RBRACKET: what = "']'"; break;
    case P_COLON: what = "':'"; break;
    case P_SEMI: what = "';'"; break;
    case K_WHILE: what = "'while'"; break;
    default: what = msg_text(Msg::CompileIdentifier); break;
  }
  report_printf(cs, msg_text(Msg::CompileMissingToken), lex_path(cs), lex_line(cs), what);
  return false;
}

const char* lex_path(const Compiler& cs) {
  return cs.nfiles > 0 ? cs.files[cs.nfiles - 1].path : cs.open_path;
}

int lex_line(const Compiler& cs) { return cs.nfiles > 0 ? cs.files[cs.nfiles - 1].line : 0; }

int lex_error_column(const Compiler& cs) {
  // During an expansion: just after the outermost macro call, where its
  // lookahead character was.
  const uint8_t* p = cs.nmacro_levels > 0 ? cs.macro_levels[0].resume - 1 : cs.in_pos;
  if (p < cs.cur_line || p > cs.cur_line + cs.line_len) return cs.line_len;
  return static_cast<int>(p - cs.cur_line);
}

}  // namespace zelt::compiler

namespace zelt {
void set_source_reader(SourceReader reader) {
  compiler::g_reader = reader ? reader : compiler::read_with_exp_file;
}
}  // namespace zelt
