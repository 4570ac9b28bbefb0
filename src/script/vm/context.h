// Program images and script contexts: the state the interpreter runs on.
//
// A program image is one block of script memory: code from the bottom up
// (the first instruction is `jmp main`), static data from the top down, and
// directly after the block a signed 32-bit count of the contexts executing
// it. A context is one execution of an image with its own stack block, also
// in script memory; the context record itself is a plain host struct whose 64
// bytes setjmp/longjmp copy to and from script memory byte for byte.
//
// Registers: r0 result, r1-r5 temporaries, r6 frame pointer, r7 stack
// pointer. Stack range rule: stack base <= r7 < stack base + stack size.
// Call frame, relative to the callee's r6 after `enter N`:
//   r6 + 8 + 4k  argument k          r6 + 4  return address
//   r6 + 0       caller's r6         r6 - 4 ... r6 - 20  caller's r5 ... r1
//   r6 - 20 - N ... r6 - 21  locals
// A call with n arguments is followed by `add r7, $4n`, whose first two bytes
// read as kArgMarker (opcodes.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/script_memory.h"

namespace zelt {

enum class ContextStatus : uint8_t { Running = 0, Ended = 1, Faulted = 2 };

struct ScriptContext {
  int32_t thread_slot;       // script thread that runs this context
  ContextStatus status;      // only ever moves forward from Running
  uint8_t zero;              // condition flags, 0 or 1
  uint8_t less;              // signed (or floating) less-than
  uint8_t below;             // unsigned less-than
  ScriptAddr pc;             // next instruction byte
  ScriptAddr image_count;    // the image's reference count word
  ScriptAddr image_base;     // start of the image, also the initial pc
  ScriptAddr stack_base;     // lowest byte of the stack block
  int32_t image_size;        // bytes in the image, count word excluded
  int32_t stack_size;        // bytes in the stack block
  uint32_t r[8];
};
static_assert(sizeof(ScriptContext) == 64);
static_assert(std::is_trivially_copyable_v<ScriptContext> && std::is_standard_layout_v<ScriptContext>);
static_assert(offsetof(ScriptContext, thread_slot) == 0 && offsetof(ScriptContext, status) == 4 &&
              offsetof(ScriptContext, zero) == 5 && offsetof(ScriptContext, less) == 6 &&
              offsetof(ScriptContext, below) == 7 && offsetof(ScriptContext, pc) == 8 &&
              offsetof(ScriptContext, image_count) == 12 && offsetof(ScriptContext, image_base) == 16 &&
              offsetof(ScriptContext, stack_base) == 20 && offsetof(ScriptContext, image_size) == 24 &&
              offsetof(ScriptContext, stack_size) == 28 && offsetof(ScriptContext, r) == 32);

// A program image in script memory: `size` bytes at `base`, the count word at
// base + size. A base of 0 means no image.
struct ProgramImage {
  ScriptAddr base = 0;
  uint32_t size = 0;

  ScriptAddr count_address() const { return base + size; }
  explicit operator bool() const { return base != 0; }
};

// Allocates a zero-filled image of `size` bytes and its count word, set to 1.
// Returns no image when size exceeds INT32_MAX - 4 or memory runs out.
ProgramImage program_image_create(uint32_t size);
// Lowers the count by one and frees the block when it reaches 0 or less.
// Returns whether the block was freed.
bool program_image_release(const ProgramImage& image);
ProgramImage context_image(const ScriptContext& context);

// A context at the start of `image`: pc = image base, r7 = stack top, all
// other registers, the flags and the thread slot 0, status Running. Nothing is
// allocated; the stack block [stack_base, stack_base + stack_size) belongs to
// the caller.
ScriptContext context_make(const ProgramImage& image, ScriptAddr stack_base, uint32_t stack_size);

}  // namespace zelt
