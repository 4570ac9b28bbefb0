// The script compiler: turns a source file (code page 932, read through
// OpenExpFile with the script folder as prefix) into a program image in
// script memory, in one pass over the source.
//
// A program image is a block of script memory: code from offset 0 upwards
// (first instruction `jmp main`), data from the end downwards. Operands hold
// absolute script addresses, so the compiler writes straight into the block
// that will run. Callers usually compile twice: once with no image to
// measure (code size + data size), then into an image of that size.
//
// Errors are collected into a report (only when the options ask for it) and
// shown once through the message reporter at level 1: a measuring pass
// shows it only when it fails, since the emitting pass that follows a
// successful measurement shows the same report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/script_memory.h"

namespace zelt {

struct CompileResult {
  uint32_t code_size = 0;    // bytes of code from the start of the image
  uint32_t data_size = 0;    // bytes of data at the end of the image
  uint32_t extern_size = 0;  // bytes of extern variables used in the extern area
  // Images whose extern functions this image calls (emitting pass only).
  // The image must keep them alive while it runs.
  std::vector<ScriptAddr> linked_images;
  // Filled when want_functions is set: every function defined in the
  // script, with its address, in the order of definition.
  bool want_functions = false;
  std::vector<std::pair<std::string, ScriptAddr>> functions;
  // The report as collected (code page 932), also when it was not shown.
  std::string report;
};

struct CompileOptions {
  std::string script_folder;  // code page 932 prefix of every source path, "" or ending in "\"
  bool report_errors = true;  // collect and show the error report ([General] Error non-zero)
};

// Compiles the source `name` (relative to the options' script folder). With
// image 0 nothing is stored and the call only measures; otherwise code and
// data go into the `capacity` bytes at script address `image`. Returns 1 on
// success, 0 on failure.
int compile_script(std::string_view name, ScriptAddr image, uint32_t capacity, const CompileOptions& options,
                   CompileResult* result = nullptr);

// What a SourceReader returns.
enum SourceStatus : int {
  kSourceRead = 0,
  kSourceNoMemory = 1,
  kSourceCannotOpen = 2,
  kSourceCannotRead = 3,
};

// How the compiler reads a whole source file (path is the script path:
// script folder followed by the name). The default reads through
// OpenExpFile; tests, benchmarks and fuzz targets may serve sources from
// memory.
using SourceReader = SourceStatus (*)(std::string_view path, std::vector<uint8_t>& text);
void set_source_reader(SourceReader reader);  // nullptr restores the default

}  // namespace zelt
