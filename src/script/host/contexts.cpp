// Contexts, program images and compiling a script file into a context.
//
// Each image's reference count is kept here, in host memory, and mirrored
// into the count word after the image. The word is script-writable (an
// overrun of the script's first global reaches it), so it never decides
// when an image is freed.
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/app.h"
#include "core/config.h"
#include "script/compiler/compiler.h"
#include "script/compiler/extern_functions.h"
#include "script/host/host.h"

namespace zelt {
namespace {

struct ImageRecord {
  int32_t refs = 0;
  uint32_t size = 0;
  std::vector<ScriptAddr> links;  // images whose extern functions this one calls
};

// Under the built-in lock.
std::unordered_map<ScriptAddr, ImageRecord> g_images;
MemoryReleaseObserver g_release_observer = nullptr;

// Gives back a stack or an image block, telling the observer first.
void release_block(ScriptAddr base) {
  ScriptMemory& mem = script_memory();
  if (g_release_observer) g_release_observer(base, mem.block_size(base));
  mem.free(base);
}

void mirror_count(ScriptAddr base, const ImageRecord& image) {
  ScriptMemory& mem = script_memory();
  if (mem.valid(base + image.size, 4)) std::memcpy(mem.host(base + image.size), &image.refs, 4);
}

void image_retain(ScriptAddr base) {
  const auto it = g_images.find(base);
  if (it == g_images.end()) return;
  ++it->second.refs;
  mirror_count(base, it->second);
}

void image_release(ScriptAddr base) {
  const auto it = g_images.find(base);
  if (it == g_images.end()) return;
  if (--it->second.refs > 0) {
    mirror_count(base, it->second);
    return;
  }
  const std::vector<ScriptAddr> links = std::move(it->second.links);
  g_images.erase(it);
  extern_functions_forget_image(base);
  release_block(base);
  for (ScriptAddr linked : links) image_release(linked);
}

// ".c" after the last '.', in any case.
bool has_script_extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot != std::string_view::npos && name.size() - dot == 2 && (name[dot + 1] | 0x20) == 'c';
}

}  // namespace

ScriptContext* context_create(uint32_t image_size, int32_t stack_size) {
  if (stack_size < 0) return nullptr;
  ScriptMemory& mem = script_memory();
  const ProgramImage image = program_image_create(image_size);
  if (!image) return nullptr;
  const ScriptAddr stack = mem.allocate_zeroed(static_cast<uint32_t>(stack_size));
  auto* context = stack ? new (std::nothrow) ScriptContext : nullptr;
  if (!context) {
    if (stack) mem.free(stack);
    mem.free(image.base);
    return nullptr;
  }
  *context = context_make(image, stack, static_cast<uint32_t>(stack_size));
  g_images[image.base] = ImageRecord{1, image.size, {}};
  return context;
}

ScriptContext* context_create_child(const ScriptContext& parent, int32_t stack_size) {
  if (stack_size <= 0) stack_size = parent.stack_size;
  if (stack_size < 0) return nullptr;
  ScriptMemory& mem = script_memory();
  const ScriptAddr stack = mem.allocate_zeroed(static_cast<uint32_t>(stack_size));
  auto* context = stack ? new (std::nothrow) ScriptContext : nullptr;
  if (!context) {
    if (stack) mem.free(stack);
    return nullptr;
  }
  *context = context_make(context_image(parent), stack, static_cast<uint32_t>(stack_size));
  image_retain(parent.image_base);
  return context;
}

void context_free(ScriptContext* context) {
  if (!context) return;
  release_block(context->stack_base);
  image_release(context->image_base);
  delete context;
}

void set_script_memory_release_observer(MemoryReleaseObserver observer) { g_release_observer = observer; }

int32_t image_reference_count(ScriptAddr base) {
  const auto it = g_images.find(base);
  return it == g_images.end() ? 0 : it->second.refs;
}

ScriptContext* compile_script_file(std::string_view name, int32_t program_size, int32_t stack_size) {
  if (name.size() >= kScriptNameLimit || !has_script_extension(name)) return nullptr;
  if (program_size < 0) return nullptr;
  const CompileOptions options{app().script_folder, config().Error != 0};
  uint32_t size = static_cast<uint32_t>(program_size);
  if (size == 0) {
    CompileResult measured;
    if (!compile_script(name, 0, 0, options, &measured)) return nullptr;
    size = measured.code_size + measured.data_size;
  }
  ScriptContext* context = context_create(size, stack_size);
  if (!context) return nullptr;
  CompileResult result;
  if (!compile_script(name, context->image_base, size, options, &result)) {
    context_free(context);
    return nullptr;
  }
  // The images this one calls into stay alive while it does.
  std::vector<ScriptAddr>& links = g_images[context->image_base].links;
  for (ScriptAddr linked : result.linked_images) {
    if (linked == context->image_base || !g_images.contains(linked)) continue;
    image_retain(linked);
    links.push_back(linked);
  }
  return context;
}

}  // namespace zelt
