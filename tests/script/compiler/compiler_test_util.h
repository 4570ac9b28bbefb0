// Shared helpers for compiler tests: sources served from memory, the two
// compile passes into a program image, the disassembly of one function, and
// running the image on the interpreter with a few test built-ins.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/app.h"
#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "script/compiler/compiler.h"
#include "script/compiler/extern_functions.h"
#include "script/host/host.h"
#include "script/vm/context.h"
#include "script/vm/disasm.h"
#include "script/vm/extern_area.h"
#include "script/vm/interpreter.h"

namespace zelt::ctest {

// ---- sources ----

inline std::map<std::string, std::string>& sources() {
  static std::map<std::string, std::string> files;
  return files;
}

inline SourceStatus memory_reader(std::string_view path, std::vector<uint8_t>& text) {
  const auto it = sources().find(std::string(path));
  if (it == sources().end()) return kSourceCannotOpen;
  text.assign(it->second.begin(), it->second.end());
  return kSourceRead;
}

// Test built-ins, declared in sources with `#trap` lines (kHeader):
//   0 out(int): records the value     1 outs(char*): records the string
//   2 outf(float): records the value  3 seven(): returns 7
inline constexpr const char* kHeader =
    "#trap\nint out(int v);\n#trap\nint outs(char *s);\n#trap\nint outf(float f);\n#trap\nint seven();\n";

inline std::vector<std::string>& outputs() {
  static std::vector<std::string> out;
  return out;
}

inline void test_traps(ScriptContext& ctx, uint16_t number) {
  uint32_t arg = 0;
  ScriptMemory& mem = script_memory();
  if (mem.valid(ctx.r[7] + 4, 4)) std::memcpy(&arg, mem.host(ctx.r[7] + 4), 4);
  switch (number) {
    case 0: outputs().push_back(std::to_string(static_cast<int32_t>(arg))); break;
    case 1: {
      std::string_view s;
      outputs().push_back(mem.string(arg, s, 4096) ? std::string(s) : "<bad string>");
      break;
    }
    case 2: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%g", std::bit_cast<float>(arg));
      outputs().push_back(buf);
      break;
    }
    case 3: ctx.r[0] = 7; break;
    default: outputs().push_back("trap " + std::to_string(number)); break;
  }
}

// ---- compiling ----

struct Compiled {
  bool ok = false;
  ProgramImage image;
  CompileResult result;
  std::string report;  // the collected report as UTF-8

  ScriptAddr function(const std::string& name) const {
    for (const auto& f : result.functions)
      if (f.first == name) return f.second;
    return 0;
  }
};

inline std::string utf8(std::string_view cp932) { return cp932::to_utf8(cp932); }

class CompilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_defaults();
    options_ = {};
    sources().clear();
    outputs().clear();
    shown_.clear();
    set_source_reader(memory_reader);
    set_message_sink(&CompilerTest::record);
    vm_set_trap_handler(test_traps);
    stop_all.store(0);
    extern_functions_clear();
    if (extern_area() == 0) extern_area_allocate(config().HeapSize);
  }
  void TearDown() override {
    for (const ProgramImage& image : images_) {
      extern_functions_forget_image(image.base);
      program_image_release(image);
    }
    set_source_reader(nullptr);
    set_message_sink(nullptr);
    vm_set_trap_handler(nullptr);
    config_defaults();
  }

  static int record(std::string_view text, std::string_view) {
    shown_.push_back(cp932::to_utf8(text));
    return kIdOk;
  }

  // Adds a source file (UTF-8 text is converted to code page 932).
  void source(const std::string& name, std::string_view text) {
    sources()[options_.script_folder + name] = cp932::from_utf8(text);
  }

  // Measures, then compiles into an image of the measured size (or of
  // `capacity` when given), as the script host does.
  Compiled compile_file(const std::string& name, uint32_t capacity = 0) {
    Compiled c;
    c.result.want_functions = true;
    uint32_t size = capacity;
    if (size == 0) {
      CompileResult measure;
      if (!compile_script(name, 0, 0, options_, &measure)) {
        c.report = utf8(measure.report);
        return c;
      }
      size = measure.code_size + measure.data_size;
    }
    c.image = program_image_create(size);
    if (!c.image) return c;
    images_.push_back(c.image);
    c.ok = compile_script(name, c.image.base, size, options_, &c.result) != 0;
    c.report = utf8(c.result.report);
    return c;
  }

  Compiled compile(std::string_view text) {
    source("test.c", text);
    return compile_file("test.c");
  }

  // The error report of a source that must fail.
  std::string errors(std::string_view text) {
    const Compiled c = compile(text);
    EXPECT_FALSE(c.ok) << text;
    return c.report;
  }

  // Instruction texts of function `name`, up to the next function or the
  // end of the code.
  std::vector<std::string> code_of(const Compiled& c, const std::string& name) {
    std::vector<std::string> lines;
    const ScriptAddr start = c.function(name);
    if (!start) return {"<no function " + name + ">"};
    ScriptAddr end = c.image.base + c.result.code_size;
    for (const auto& f : c.result.functions)
      if (f.second > start && f.second < end) end = f.second;
    const uint8_t* code = script_memory().host(c.image.base);
    for (ScriptAddr a = start; a < end;) {
      const std::span<const uint8_t> rest(code + (a - c.image.base), end - a);
      std::string line = vm::insn_text(rest);
      std::string full;
      const size_t n = vm::disassemble_one(rest, a, full);
      lines.push_back(line.empty() ? full : line);
      a += static_cast<ScriptAddr>(n ? n : 1);
    }
    return lines;
  }

  // Code of `name`, one instruction a line, with absolute addresses made
  // relative: a function entry becomes its name, another code address
  // "@n" (n = offset from the start of `name`), a data address "D-n"
  // (n bytes below the end of the image).
  std::string listing(const Compiled& c, const std::string& name) {
    const ScriptAddr start = c.function(name);
    const ScriptAddr code_end = c.image.base + c.result.code_size;
    const ScriptAddr image_end = c.image.base + c.image.size;
    std::string out;
    for (std::string line : code_of(c, name)) {
      for (size_t at = line.find("0x"); at != std::string::npos; at = line.find("0x", at + 1)) {
        if (at + 10 > line.size()) break;
        const ScriptAddr v = static_cast<ScriptAddr>(std::stoul(line.substr(at + 2, 8), nullptr, 16));
        std::string text;
        for (const auto& f : c.result.functions)
          if (f.second == v) text = f.first;
        if (text.empty() && v >= c.image.base && v < code_end)
          text.append("@").append(std::to_string(static_cast<int64_t>(v) - start));
        else if (text.empty() && v >= code_end && v <= image_end)
          text.append("D-").append(std::to_string(image_end - v));
        if (!text.empty()) line.replace(at, 10, text);
      }
      out += line + "\n";
    }
    return out;
  }

  struct Run {
    ContextStatus status = ContextStatus::Running;
    int32_t r0 = 0;
    std::vector<std::string> out;
  };

  // Runs the image from `jmp main` until it ends (or a step budget is spent).
  Run run(const Compiled& c, uint32_t stack_size = 65536) {
    Run r;
    if (!c.ok) return r;
    const ScriptAddr stack = script_memory().allocate_zeroed(stack_size);
    ScriptContext ctx = context_make(c.image, stack, stack_size);
    for (int slice = 0; slice < 2000000 && ctx.status == ContextStatus::Running && !stop_all.load(); ++slice)
      stop_on_fault(vm_run_slice(ctx));
    script_memory().free(stack);
    r.status = ctx.status;
    r.r0 = static_cast<int32_t>(ctx.r[0]);
    r.out = outputs();
    outputs().clear();
    return r;
  }

  // Compiles kHeader + text and runs it; returns the recorded outputs
  // joined by spaces (or the report when it does not compile).
  std::string output_of(std::string_view text) {
    const Compiled c = compile(std::string(kHeader) + std::string(text));
    if (!c.ok) return "<compile error> " + c.report;
    const Run r = run(c);
    std::string s;
    for (const std::string& o : r.out) s += (s.empty() ? "" : " ") + o;
    if (r.status != ContextStatus::Ended) s += " <status " + std::to_string(static_cast<int>(r.status)) + ">";
    return s;
  }

  CompileOptions options_;  // what the compiler is told: script folder, error report
  std::vector<ProgramImage> images_;
  static inline std::vector<std::string> shown_;
};

}  // namespace zelt::ctest
