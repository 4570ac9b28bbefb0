// Interpreter speed on hand-assembled programs. Each iteration is one time
// slice, called repeatedly as a script thread does; the programs never trap,
// end or fault, so every slice runs the full 255 instructions.
// insn/s: instructions per second; ns/insn: nanoseconds per instruction.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

#include "script/vm/assembler.h"
#include "script/vm/context.h"
#include "script/vm/interpreter.h"

namespace zelt {
namespace {

using RunSlice = Fault (*)(ScriptContext&);

constexpr uint32_t kStackSize = 64 * 1024;
constexpr uint32_t kArrayBytes = 16 * 1024;

// Integer loop: register arithmetic, a compare and a conditional jump.
const char* const kIntLoop = R"(
      movl r1, $3
      movl r4, $1000000
  loop:
      add r0, r1
      xor r2, r0
      movl r5, $1
      add r3, r5
      cmp r3, r4
      jne loop
      movl r3, $0
      jmp loop
)";

// Recursive fib(24) in the shape the compiler emits: arguments on the stack,
// enter/leave frames, the argument marker after each call.
const char* const kFib = R"(
  main:
      push $24
      call fib
      add r7, $4
      jmp main
  fib:
      enter $0
      movl r0, 8(r6)
      movl r1, $2
      cmp r0, r1
      jl done
      movl r1, $1
      sub r0, r1
      push r0
      call fib
      add r7, $4
      movl r2, r0
      movl r0, 8(r6)
      movl r1, $2
      sub r0, r1
      push r0
      call fib
      add r7, $4
      add r0, r2
  done:
      leave $0
      ret
)";

// Memory loop: walks an array with indirect, absolute and r6-relative
// loads and stores.
const char* const kMemLoop = R"(
      movl r6, $ARRAY+64
  outer:
      movl r1, $ARRAY
      movl r3, $ARRAY_END
  inner:
      movl r2, (r1)
      add r2, r0
      movl (r1), r2
      movl r5, -4(r6)
      add r5, r2
      movl -4(r6), r5
      movbl r4, (r1)
      movl ARRAY+8, r4
      movl r4, $4
      add r1, r4
      cmp r1, r3
      jb inner
      add r0, r4
      jmp outer
)";

// Float loop: arithmetic, a floating compare and conversions.
const char* const kFloatLoop = R"(
      movl r1, $1.0001
      movl r3, $0.5
      movl r0, $1.0
  loop:
      fmul r0, r1
      fadd r0, r3
      movl r2, $1000.0
      fsub r2, r0
      jg keep
      movl r0, $1.0
  keep:
      ftoi r4, r0
      itof r5, r4
      fdiv r5, r1
      jmp loop
)";

class Program {
 public:
  explicit Program(const char* source) {
    ScriptMemory& mem = script_memory();
    stack_ = mem.allocate_zeroed(kStackSize);
    array_ = mem.allocate_zeroed(kArrayBytes);
    vm::AsmSymbols symbols{{"ARRAY", array_}, {"ARRAY_END", array_ + kArrayBytes}};
    const vm::AsmResult sizing = vm::assemble(source, 0x10000, symbols);
    image_ = program_image_create(static_cast<uint32_t>(sizing.code.size()));
    const vm::AsmResult code = vm::assemble(source, image_.base, symbols);
    ok_ = sizing.ok() && code.ok() && image_ && stack_ != 0 && array_ != 0;
    error_ = sizing.error;
    if (ok_) std::memcpy(mem.host(image_.base), code.code.data(), code.code.size());
    context = context_make(image_, stack_, kStackSize);
    context.r[7] -= 4;  // as below a caller's frame
  }
  ~Program() {
    program_image_release(image_);
    script_memory().free(stack_);
    script_memory().free(array_);
  }
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }

  ScriptContext context{};

 private:
  ProgramImage image_;
  ScriptAddr stack_ = 0, array_ = 0;
  bool ok_ = false;
  std::string error_;
};

void run_program(benchmark::State& state, const char* source, RunSlice run) {
  stop_all.store(0);
  Program p(source);
  if (!p.ok()) {
    state.SkipWithError(("assembly failed: " + p.error()).c_str());
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) run(p.context);
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  if (p.context.status != ContextStatus::Running || stop_all.load() != 0) {
    state.SkipWithError("the program stopped");
    return;
  }
  const double insns = static_cast<double>(state.iterations()) * 255;
  state.counters["insn/s"] = benchmark::Counter(insns, benchmark::Counter::kIsRate);
  state.counters["ns/insn"] = ns / insns;
}

void BM_IntLoop(benchmark::State& state, RunSlice run) { run_program(state, kIntLoop, run); }
void BM_Fib(benchmark::State& state, RunSlice run) { run_program(state, kFib, run); }
void BM_MemLoop(benchmark::State& state, RunSlice run) { run_program(state, kMemLoop, run); }
void BM_FloatLoop(benchmark::State& state, RunSlice run) { run_program(state, kFloatLoop, run); }

BENCHMARK_CAPTURE(BM_IntLoop, threaded, &vm_run_slice);
BENCHMARK_CAPTURE(BM_IntLoop, switch, &vm_run_slice_switch);
BENCHMARK_CAPTURE(BM_Fib, threaded, &vm_run_slice);
BENCHMARK_CAPTURE(BM_Fib, switch, &vm_run_slice_switch);
BENCHMARK_CAPTURE(BM_MemLoop, threaded, &vm_run_slice);
BENCHMARK_CAPTURE(BM_MemLoop, switch, &vm_run_slice_switch);
BENCHMARK_CAPTURE(BM_FloatLoop, threaded, &vm_run_slice);
BENCHMARK_CAPTURE(BM_FloatLoop, switch, &vm_run_slice_switch);

// A built-in call per slice: slice entry, one trap, the handler, slice exit.
void BM_TrapSlice(benchmark::State& state) {
  stop_all.store(0);
  vm_set_trap_handler([](ScriptContext& c, uint16_t n) { c.r[0] += n; });
  Program p("loop: trap #1\n jmp loop");
  if (!p.ok()) {
    state.SkipWithError("assembly failed");
    return;
  }
  for (auto _ : state) vm_run_slice(p.context);
  vm_set_trap_handler(nullptr);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrapSlice);

}  // namespace
}  // namespace zelt
