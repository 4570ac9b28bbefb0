// zelt check SCRIPT.c: compile only; zelt disasm SCRIPT.c: compile and print
// the program image. Both compile as the script host does (measure, then emit
// into an image of the measured size), with the script's folder as script
// folder; the compile report goes to stderr as UTF-8.
#include <cstdio>
#include <string>
#include <string_view>

#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "script/compiler/compiler.h"
#include "script/vm/context.h"
#include "script/vm/disasm.h"
#include "script/vm/extern_area.h"
#include "tools/tools.h"

namespace zelt::tools {
namespace {

int report_to_stderr(std::string_view text, std::string_view) {
  const std::string utf8 = cp932::to_utf8(text);
  std::fputs(utf8.c_str(), stderr);
  if (!utf8.empty() && utf8.back() != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
  return kIdOk;
}

struct ToolImage {
  ProgramImage image;
  CompileResult result;
  ~ToolImage() {
    if (image) program_image_release(image);
  }
};

// Compiles the script at host path `path`; false when it does not compile
// (the report has been written to stderr).
bool compile_for_tool(std::string_view path, ToolImage& out) {
  config_defaults();
  set_message_sink(report_to_stderr);
  const size_t slash = path.rfind('/');
  std::string folder = slash == std::string_view::npos ? "" : cp932::from_utf8(path.substr(0, slash + 1));
  for (char& c : folder)
    if (c == '/') c = '\\';
  const CompileOptions options{folder, true};
  const std::string name = cp932::from_utf8(slash == std::string_view::npos ? path : path.substr(slash + 1));
  extern_area_allocate(config().HeapSize);
  CompileResult measure;
  if (!compile_script(name, 0, 0, options, &measure)) return false;
  out.image = program_image_create(measure.code_size + measure.data_size);
  if (!out.image) {
    std::fprintf(stderr, "zelt: no memory for a program image of %u bytes\n",
                 measure.code_size + measure.data_size);
    return false;
  }
  return compile_script(name, out.image.base, out.image.size, options, &out.result) != 0;
}

}  // namespace

int check_main(std::span<char*> args) {
  if (args.size() != 1) return usage("check");
  ToolImage compiled;
  return compile_for_tool(args[0], compiled) ? 0 : 1;
}

int disasm_main(std::span<char*> args) {
  if (args.size() != 1) return usage("disasm");
  ToolImage compiled;
  compiled.result.want_functions = true;
  if (!compile_for_tool(args[0], compiled)) return 1;
  const ProgramImage& image = compiled.image;
  const CompileResult& r = compiled.result;
  const uint8_t* base = script_memory().host(image.base);
  std::printf("; image 0x%08x, %u bytes: code %u, data %u, extern data %u\n", image.base, image.size,
              r.code_size, r.data_size, r.extern_size);
  // The code, one function after another, each under its name.
  size_t next = 0;
  for (uint32_t at = 0; at < r.code_size;) {
    while (next < r.functions.size() && r.functions[next].second - image.base <= at) {
      if (r.functions[next].second - image.base == at)
        std::printf("\n%s:\n", cp932::to_utf8(r.functions[next].first).c_str());
      ++next;
    }
    uint32_t end = r.code_size;
    if (next < r.functions.size()) end = r.functions[next].second - image.base;
    std::string line;
    const size_t n = vm::disassemble_one(std::span<const uint8_t>(base + at, end - at), image.base + at, line);
    std::printf("%s\n", line.c_str());
    at += static_cast<uint32_t>(n ? n : 1);
  }
  // The data area, summarised: its range and the leading bytes.
  const uint32_t data_start = image.size - r.data_size;
  std::printf("\n; data 0x%08x-0x%08x, %u bytes\n", image.base + data_start, image.base + image.size, r.data_size);
  const uint32_t shown = r.data_size < 256 ? r.data_size : 256;
  for (uint32_t i = 0; i < shown; i += 16) {
    std::printf("; %08x ", image.base + data_start + i);
    for (uint32_t k = i; k < i + 16 && k < shown; ++k) std::printf(" %02x", base[data_start + k]);
    std::printf("\n");
  }
  if (shown < r.data_size) std::printf("; ... %u more bytes\n", r.data_size - shown);
  return 0;
}

}  // namespace zelt::tools
