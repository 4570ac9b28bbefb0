// Disassembler: one line per instruction, with its address, in the
// instruction set's own mnemonics and operand syntax (opcodes.def):
//   00010000  49 05 01 01 00     jmp 0x00010105
//   00010005  22 00 00 00 00     enter $0
//   0001000a  04 00 05 00 00 00  movl r0, $5
//   00010010  10 22 f8 ff ff ff  movl r2, -8(r6)
// Registers are r0..r7, immediates $n (signed decimal; address constants,
// operation 5, as $0x%08x), absolute addresses and jump targets 0x%08x,
// r6-relative operands disp(r6), built-in numbers #n.
// Bytes that are not a valid instruction (operation byte above 91, a named
// register above 7, an instruction cut off by the end of the range) become
// `.byte` lines; nothing past the given range is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zelt::vm {

struct DisasmOptions {
  bool bytes = true;      // the encoded bytes between address and text
  bool op_suffix = false; // "mnemonic.N" for operations whose text is shared (movl.5, preinc.45)
};

// Writes the instruction (or data line) at the start of `code`, which sits at
// script address `address`, into `line` (no newline). Returns the number of
// bytes it covers: the instruction's size, 1 for an invalid operation or
// register byte, all that remain for a cut-off instruction; 0 for empty code.
size_t disassemble_one(std::span<const uint8_t> code, uint32_t address, std::string& line,
                       const DisasmOptions& options = {});

// Every line of `code`, each ending in a newline.
std::string disassemble(std::span<const uint8_t> code, uint32_t address, const DisasmOptions& options = {});

// The instruction's text alone (mnemonic and operands), or "" when the bytes
// do not start with a valid instruction.
std::string insn_text(std::span<const uint8_t> code, const DisasmOptions& options = {});

}  // namespace zelt::vm
