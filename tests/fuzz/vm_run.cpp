// Runs arbitrary bytes as a program image: the first 16 bytes (when there
// are that many) choose the stack size and where r0-r5 point (into the image,
// the stack, near the usable end, or anywhere), the rest is the image. Each
// run gets a bounded number of slices under each dispatch build and must end
// in a fault, a normal end, or still be running. (The builds are not compared:
// a program may write anywhere in usable memory, so the second run does not
// start from the same memory as the first.)
// A trap handler stands in for the built-ins: it writes r0 and sometimes
// moves r7, as the control built-ins do.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/messages.h"
#include "script/vm/context.h"
#include "script/vm/interpreter.h"

namespace {

using zelt::ContextStatus;
using zelt::ScriptAddr;
using zelt::ScriptContext;

constexpr int kSlices = 64;

int quiet_sink(std::string_view, std::string_view) { return zelt::kIdOk; }

void trap(ScriptContext& c, uint16_t number) {
  c.r[0] = number * 2654435761u;
  if (number % 7 == 3) c.r[7] += 4;
}

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "vm_run: %s\n", what);
  std::abort();
}

void run(zelt::Fault (*slice)(ScriptContext&), const uint8_t* data, size_t size) {
  zelt::ScriptMemory& mem = zelt::script_memory();
  const uint8_t* head = size >= 16 ? data : nullptr;
  if (head) data += 16, size -= 16;
  const uint32_t stack_size = head ? 16u + (head[0] | head[1] << 8) % 4096 : 256;
  const zelt::ProgramImage image = zelt::program_image_create(static_cast<uint32_t>(size));
  const ScriptAddr stack = mem.allocate_zeroed(stack_size);
  if (!image || stack == 0) die("out of script memory");
  std::memcpy(mem.host(image.base), data, size);
  ScriptContext c = zelt::context_make(image, stack, stack_size);
  if (head) {
    const uint32_t end = mem.end();
    for (int r = 0; r < 6; ++r) {
      const uint8_t pick = head[2 + r], offset = head[8 + r];
      switch (pick % 5) {
        case 0: c.r[r] = image.base + offset; break;
        case 1: c.r[r] = stack + offset; break;
        case 2: c.r[r] = end - (offset & 7); break;
        case 3: c.r[r] = uint32_t{pick} << 24 | uint32_t{offset} << 8 | pick; break;
        default: break;
      }
    }
    c.r[6] = stack + stack_size / 2;
  }
  zelt::stop_all.store(0);
  for (int i = 0; i < kSlices && c.status == ContextStatus::Running && zelt::stop_all.load() == 0; ++i) {
    if (slice(c) != zelt::Fault::None && c.status != ContextStatus::Faulted) die("a fault left the context running");
  }
  const int32_t one = 1;  // the program may have overwritten its count word
  std::memcpy(mem.host(image.count_address()), &one, 4);
  if (!zelt::program_image_release(image) || !mem.free(stack)) die("a block was not freed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  zelt::set_message_sink(quiet_sink);
  zelt::vm_set_trap_handler(trap);
  run(zelt::vm_run_slice, data, size);
  run(zelt::vm_run_slice_switch, data, size);
  zelt::stop_all.store(0);
  return 0;
}
