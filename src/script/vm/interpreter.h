// The interpreter: runs a script context one time slice at a time, and the
// run-time faults that stop every script.
#pragma once

#include <atomic>
#include <cstdint>

#include "script/vm/context.h"

namespace zelt {

// Process-wide stop signal: 0 while scripts may run. Set by every fault, by
// the built-in dispatcher's faults and by the host; cleared only by the host.
// Tested at slice entry and after every instruction.
extern std::atomic<int32_t> stop_all;

// Run-time faults. Codes 0-3 are the machine's own; 4 is the sandbox's
// memory fault: a load, store, stack access or instruction fetch outside the
// usable script memory.
enum class Fault : uint8_t {
  DivideByZero = 0,        // div or mod by zero
  ProgramArea = 1,         // call through a register holding 0
  StackArea = 2,           // stack range rule broken by push, pop, enter, call or ret
  InvalidInstruction = 3,  // operation byte above 91, or a named register above 7
  BadAddress = 4,          // access outside the usable script memory
  None = 255,              // the slice did not fault
};
inline constexpr int kFaultCount = 5;

// Sets the context's status to Faulted (if it was Running: status only moves
// forward) and sets stop_all: a fault outside the interpreter (the built-in
// dispatcher's), after its message.
void vm_fault(ScriptContext& context);

// Called for `trap n` with the calling context and n. When it runs, pc
// already addresses the instruction after the trap and the context holds every
// register and flag; the interpreter does not touch the context again after
// the handler returns (the slice ends there), so the handler may replace,
// free or rewrite it. Results go into r0 of whichever context is current.
using TrapHandler = void (*)(ScriptContext& context, uint16_t number);

// Installs the handler (the host does this once at start-up). Without one, a
// trap only ends the slice.
void vm_set_trap_handler(TrapHandler handler);

// Runs at most one time slice of the context: nothing when stop_all is set or
// the context is not Running; otherwise up to 255 instructions, ending early
// after a trap, a fault, the context's end, or stop_all seen after an
// instruction. Returns the fault that ended the slice (the context is then
// Faulted), else Fault::None; the caller reports it and stops every script.
//
// Decisions where the instruction set leaves room:
//  - -2147483648 / -1 gives -2147483648 and -2147483648 % -1 gives 0.
//  - A register byte naming a register above 7 in a half the instruction reads
//    is the invalid-instruction fault; the other half is ignored.
//  - Every access, the stack included, is checked against the usable script
//    memory; outside it is Fault::BadAddress. Instruction bytes are fetched
//    under the same check: a pc outside usable memory, or an instruction
//    whose bytes run past its end, is Fault::BadAddress. A pc anywhere in
//    usable memory executes; it is not confined to the image.
//  - Memory operands take their address from the registers as they were
//    before the instruction (postop r1, (r1), $1 increments at the old r1).
//    push r7 stores the decremented r7; pop r7 leaves the loaded value in r7.
//  - A faulting instruction changes nothing, and the context's pc is left at
//    the faulting instruction.
Fault vm_run_slice(ScriptContext& context);

// The same interpreter built with a plain switch instead of computed goto,
// so tests can run every case under both dispatch builds.
Fault vm_run_slice_switch(ScriptContext& context);

}  // namespace zelt
