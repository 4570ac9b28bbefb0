// The compile driver: one compilation of a script file into a program image,
// the error report, and the final link check.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "core/cp932.h"
#include "script/compiler/emit.h"
#include "script/compiler/extern_functions.h"
#include "script/compiler/lexer.h"
#include "script/compiler/parse.h"
#include "script/compiler/symbols.h"
#include "script/compiler/types.h"

namespace zelt::compiler {

void fatal(Compiler& cs, Msg m) {
  cs.fatal_msg = m;
  throw CompileAbort{};
}

void report_append(Compiler& cs, const char* s, size_t n) {
  if (!cs.reporting) return;
  const size_t room = kReportSize - 1 - cs.report_len;
  if (n > room) n = cp932::cut_length(std::string_view(s, n), room);
  std::memcpy(cs.report + cs.report_len, s, n);
  cs.report_len += static_cast<uint32_t>(n);
}

void report_printf(Compiler& cs, const char* format, ...) {
  if (!cs.reporting) return;
  char buf[kReportSize];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  if (n > 0) report_append(cs, buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

namespace {

// The current line, tabs expanded to 4-column stops, with "■" before the
// character at the error position (or after the text when it lies beyond).
void append_echo(Compiler& cs) {
  if (lex_line(cs) == 0) return;
  const int col = lex_error_column(cs);
  const char* mark = msg_text(Msg::CompileEchoMark);
  const size_t mark_len = std::strlen(mark);
  char out[kReportSize];
  size_t n = 0;
  bool marked = false;
  auto put = [&](const void* s, size_t len) {
    len = std::min(len, sizeof out - n);
    std::memcpy(out + n, s, len);
    n += len;
  };
  for (int i = 0; i < cs.line_len;) {
    const uint8_t ch = cs.cur_line[i];
    if (ch == '\r' || ch == '\n') break;
    const int len = cp932::is_lead_byte(ch) && i + 1 < cs.line_len ? 2 : 1;
    if (!marked && col < i + len) {
      put(mark, mark_len);
      marked = true;
    }
    if (ch == '\t') {
      do put(" ", 1);
      while (n % 4 != 0 && n < sizeof out);
    } else {
      put(cs.cur_line + i, static_cast<size_t>(len));
    }
    i += len;
  }
  if (!marked) put(mark, mark_len);
  report_append(cs, out, n);
}

void report_fatal(Compiler& cs) {
  report_printf(cs, msg_text(Msg::CompileErrorLine), lex_path(cs), lex_line(cs), msg_text(cs.fatal_msg));
  append_echo(cs);
}

// Resolves every function used but not defined here against the shared
// extern-function table, and reports undefined functions and goto labels.
bool link_check(Compiler& cs) {
  bool ok = true;
  for (const int g : cs.functions) {
    const Symbol& s = cs.globals[g];
    if (s.flags & SF_DEFINED) continue;
    const std::string_view name = sym_name(cs, s);
    ExternFunction ef;
    if (g != cs.main_sym && extern_functions_find(name, &ef)) {
      label_place_at(cs, s.value, ef.address);
      if (cs.out && cs.result) {
        auto& images = cs.result->linked_images;
        if (std::find(images.begin(), images.end(), ef.image) == images.end()) images.push_back(ef.image);
      }
      continue;
    }
    report_printf(cs, msg_text(Msg::LinkUndefinedFunction), std::string(name).c_str());
    ok = false;
  }
  for (const int g : cs.gotos) {
    const Symbol& s = cs.globals[g];
    if (s.kind != SK_LABEL_FWD) continue;
    report_printf(cs, msg_text(Msg::LinkUndefinedLabel), std::string(sym_name(cs, s)).c_str());
    ok = false;
  }
  return ok;
}

bool compile(Compiler& cs, std::string_view name) {
  try {
    lex_open_source(cs, name);
    lex_init(cs);
    types_init(cs);
    cs.labels.reserve(1024);
    cs.labels.push_back(Label{});  // label 0 is never given out
    cs.main_sym = sym_global(cs, "main", true);
    func_declare(cs, cs.main_sym, TY_INT);
    emit_jump(cs, Op::Jmp, cs.globals[cs.main_sym].value);
    for (;;) {
      sym_locals_clear(cs);
      cs.state = PS_BETWEEN;
      while (tk(cs) == P_SEMI) advance(cs);
      cs.state = PS_DECLARATION;
      decl_external(cs);
      cs.pool_high = cs.pool_pinned = kNodeCells;
    }
  } catch (const CompileAbort&) {
    // The end of the input between two declarations is the normal end.
    if (cs.fatal_msg == Msg::CompileEof && cs.state == PS_BETWEEN) return link_check(cs);
    report_fatal(cs);
    return false;
  }
}

// Commits the extern functions this compilation defined.
void commit_externs(Compiler& cs) {
  if (!cs.out) return;
  for (const auto& e : cs.staged_externs) {
    const Symbol& s = cs.globals[e.sym];
    extern_functions_record(sym_name(cs, s), s.type < 0 ? s.type : TY_INT, e.address, cs.image);
  }
}

}  // namespace
}  // namespace zelt::compiler

namespace zelt {

int compile_script(std::string_view name, ScriptAddr image, uint32_t capacity, const CompileOptions& options,
                   CompileResult* result) {
  using namespace compiler;
  const bool reporting = options.report_errors;
  std::unique_ptr<Compiler> cs(new (std::nothrow) Compiler);
  if (!cs) {
    if (reporting) {
      char line[512];
      std::snprintf(line, sizeof line, msg_text(Msg::CompileErrorLine), std::string(name).c_str(), 0,
                    msg_text(Msg::CompileNoMemory));
      report_text(kLevelDevice, line);
    }
    return 0;
  }
  cs->reporting = reporting;
  cs->script_folder = options.script_folder;
  cs->result = result;
  if (result) {
    result->linked_images.clear();
    result->functions.clear();
    result->report.clear();
  }
  if (image != 0) {
    cs->out = script_memory().host(image);
    cs->image = image;
    cs->capacity = capacity;
  }
  const bool ok = compile(*cs, name);
  if (ok) commit_externs(*cs);
  lex_close_all(*cs);
  const std::string_view report(cs->report, cs->report_len);
  if (result) {
    result->code_size = cs->code_size;
    result->data_size = cs->data_size;
    result->extern_size = cs->extern_size;
    result->report.assign(report);
    if (!ok) result->linked_images.clear();
  }
  // A successful measuring pass is followed by an emitting pass that shows
  // the same report, so it shows nothing itself.
  if (!report.empty() && (image != 0 || !ok)) report_text(kLevelDevice, report);
  return ok ? 1 : 0;
}

}  // namespace zelt
