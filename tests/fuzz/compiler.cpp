// Fuzz target for the script compiler: any bytes as the main source (and as
// every file it includes) must end in a report or a successful compile, with
// both passes, never a crash, a hang or an access outside the compiler's
// areas.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/config.h"
#include "core/messages.h"
#include "script/compiler/compiler.h"
#include "script/compiler/extern_functions.h"
#include "script/vm/context.h"
#include "script/vm/extern_area.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;

// Every file name reads the input; include-once and the nesting limit end
// the recursion.
zelt::SourceStatus serve_input(std::string_view, std::vector<uint8_t>& text) {
  text.assign(g_data, g_data + g_size);
  return zelt::kSourceRead;
}

int discard(std::string_view, std::string_view) { return zelt::kIdOk; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = [] {
    zelt::config_defaults();
    zelt::config().Error = 1;
    zelt::set_message_sink(discard);
    zelt::set_source_reader(serve_input);
    zelt::extern_area_allocate(65536);
    return true;
  }();
  (void)once;
  g_data = data;
  g_size = size;
  zelt::CompileResult measure;
  if (!zelt::compile_script("fuzz.c", 0, 0, {}, &measure)) return 0;
  const uint32_t total = measure.code_size + measure.data_size;
  if (total > (64u << 20)) return 0;
  const zelt::ProgramImage image = zelt::program_image_create(total);
  if (!image) return 0;
  zelt::CompileResult result;
  zelt::compile_script("fuzz.c", image.base, image.size, {}, &result);
  zelt::extern_functions_forget_image(image.base);
  zelt::program_image_release(image);
  return 0;
}
