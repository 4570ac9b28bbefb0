// The script host: turns script files into contexts, runs contexts on the
// 32 script threads in time slices, and stops them all when the program
// closes. The control built-ins (jump, call, exit, setjmp, longjmp, the
// thd_ family and sleep) live in control_builtins.cpp.
//
// Every script thread runs its own stack of up to 32 contexts: index 0 is
// the context it started with, `call` pushes, the end of a called script
// pops and hands its r0 to the caller. Contexts, program images and the
// thread table are changed under the built-in lock; the per-slot run flag
// and pause count are atomics that other threads (and the UI thread's
// focus handling) write without it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "core/subsystem.h"
#include "script/vm/context.h"
#include "script/vm/interpreter.h"

namespace zelt {

inline constexpr int kThreadSlots = 32;
inline constexpr int kContextDepth = 32;
// Script file names of this many bytes or more are refused.
inline constexpr uint32_t kScriptNameLimit = 260;

// ---- contexts and program images (under the built-in lock) ----

// Compiles a ".c" script (case-insensitive extension) into a new context
// ready to run: program_size bytes of image (0: exactly what the script
// needs, measured by a first pass) and stack_size bytes of stack. nullptr
// when the name is refused, the compilation fails (the compiler has shown
// its report) or memory runs out.
ScriptContext* compile_script_file(std::string_view name, int32_t program_size, int32_t stack_size);

// A new context on a new zero-filled image of image_size bytes (reference
// count 1) and a zero-filled stack; nullptr on failure.
ScriptContext* context_create(uint32_t image_size, int32_t stack_size);
// A context on the parent's image (its count grows by 1) with its own stack
// of stack_size bytes, or of the parent's size when stack_size <= 0.
ScriptContext* context_create_child(const ScriptContext& parent, int32_t stack_size);
// Frees the stack and the record and releases the image; an image whose
// count drops to 0 is freed, its extern functions are forgotten and the
// images it linked into are released in turn. nullptr is ignored.
void context_free(ScriptContext* context);

// Called under the built-in lock just before the host gives back a
// context's stack or a program image, [base, base + size): the last moment
// the memory holds what the script left there. nullptr removes it.
using MemoryReleaseObserver = void (*)(ScriptAddr base, uint32_t size);
void set_script_memory_release_observer(MemoryReleaseObserver observer);

// Contexts currently running on the image at `base` (0 when it is not live).
int32_t image_reference_count(ScriptAddr base);

// ---- script threads ----

// Puts the context on the lowest free slot (after reaping ended threads)
// and starts a thread for it; with `suspended` the thread waits until
// script_thread_release(). Returns the slot, or -1 (stop_all set, no
// context, no free slot, no thread) and then the caller still owns the
// context. Under the built-in lock.
int thread_start(ScriptContext* context, bool suspended);
// Lets a thread started suspended run.
void script_thread_release(int slot);

// Ends every script thread and clears the table (the program closes).
// Returns as soon as all have ended. Never called with the built-in lock held.
void script_threads_stop();
// Sets stop_all and waits until every script thread has ended, at most until
// `until`; false when some did not end by then (one blocked in a built-in).
// The threads stay in the table. For a close that cannot wait longer.
bool script_threads_end_by(std::chrono::steady_clock::time_point until);
// Start-up: an empty thread table, stop_all and the close request cleared.
void script_threads_reset();
// Threads started and not yet ended.
int script_threads_running();

// The application's focus handling: raise or lower (not below 0) the pause
// count of every occupied slot; nothing while stop_all is set.
void script_threads_pause_all();
void script_threads_resume_all();
// The script threads as the application's focus pauses and resumes them.
extern const Subsystem kScriptThreadsSubsystem;

// While the application is inactive a script thread rests 1 ms after each
// slice instead of yielding. Headless runs stay active.
void script_host_set_active(bool active);

// The font slot of the script thread whose built-in is running (one byte
// per thread, reset to 0 when a thread starts). A caller that is not a
// script thread reads 0 and sets nothing.
uint8_t current_thread_font();
void set_current_thread_font(uint8_t font);

// A slice's fault: shows its message at level 1, then sets stop_all, so that
// every script stops. Nothing for Fault::None.
void stop_on_fault(Fault fault);

// Millisecond tick count of the wake times (wraps every 49.7 days).
uint32_t host_tick();

// ---- host start (the shell's start-up and shutdown sequences) ----

void extern_function_table_clear();
// Compiles [Script] Load and starts it on the first free thread; false when
// there is no name, it does not compile or no thread can be started.
bool script_start_entry();

}  // namespace zelt
