// The instruction set of the script machine: operation numbers, forms and
// encodings, all generated from opcodes.def.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zelt::vm {

enum class Op : uint8_t {
#define OP(number, name, mnemonic, form, operands) name = number,
#include "script/vm/opcodes.def"
#undef OP
};
inline constexpr int kOpCount = 92;

// Instruction layouts; the value is the encoded size in bytes.
enum class Form : uint8_t { N = 1, T = 3, R = 2, RI = 6, I = 5 };

// How the disassembler writes the operands (see opcodes.def).
enum class Operands : uint8_t {
  None, Num, L_H, H, L, L_Imm, L_Abs, L_Disp, L_AtH, Abs_H, Disp_H, AtL_H, Imm, Target, Abs, Disp,
  L_H_Imm
};

struct OpInfo {
  const char* mnemonic;
  Form form;
  Operands operands;
};

inline constexpr OpInfo kOpInfo[kOpCount] = {
#define OP(number, name, mnemonic, form, operands) {mnemonic, Form::form, Operands::operands},
#include "script/vm/opcodes.def"
#undef OP
};

constexpr bool op_numbers_are_dense() {
  int expected = 0;
#define OP(number, name, mnemonic, form, operands) \
  if (number != expected++) return false;
#include "script/vm/opcodes.def"
#undef OP
  return expected == kOpCount;
}
static_assert(op_numbers_are_dense(), "operations must be numbered 0..91 in order");

constexpr const OpInfo& op_info(Op op) { return kOpInfo[static_cast<uint8_t>(op)]; }
constexpr size_t op_size(Op op) { return static_cast<size_t>(op_info(op).form); }

// Register byte: low four bits name rL (destination, first operand), high
// four bits rH (source, second operand).
constexpr uint8_t reg_byte(int low, int high) {
  return static_cast<uint8_t>((low & 15) | (high & 15) << 4);
}

// The marker that follows every call with arguments: add r7, $4n. Its first
// two bytes read as the little-endian 16-bit value 30523.
inline constexpr uint16_t kArgMarker = 30523;
static_assert(static_cast<uint8_t>(Op::AddImm) == 59 && reg_byte(7, 7) == 0x77 &&
              (0x77 << 8 | 59) == kArgMarker);

// The return address that ends a script-thread entry function.
inline constexpr uint32_t kThreadReturn = 0xFFFFFFFFu;

// One encoded instruction.
struct Insn {
  uint8_t bytes[6] = {};
  uint8_t size = 0;
};

constexpr Insn encode(Op op, uint8_t regs = 0, uint32_t operand = 0) {
  Insn insn;
  insn.bytes[0] = static_cast<uint8_t>(op);
  uint8_t at = 1;
  switch (op_info(op).form) {
    case Form::N:
      break;
    case Form::T:
      insn.bytes[1] = static_cast<uint8_t>(operand);
      insn.bytes[2] = static_cast<uint8_t>(operand >> 8);
      at = 3;
      break;
    case Form::R:
      insn.bytes[1] = regs;
      at = 2;
      break;
    case Form::RI:
      insn.bytes[at++] = regs;
      [[fallthrough]];
    case Form::I:
      for (int i = 0; i < 4; ++i) insn.bytes[at++] = static_cast<uint8_t>(operand >> (8 * i));
      break;
  }
  insn.size = at;
  return insn;
}

// Builders for each form.
constexpr Insn op_n(Op op) { return encode(op); }
constexpr Insn op_t(Op op, uint16_t builtin) { return encode(op, 0, builtin); }
constexpr Insn op_r(Op op, int low, int high) { return encode(op, reg_byte(low, high)); }
constexpr Insn op_ri(Op op, int low, int high, uint32_t operand) {
  return encode(op, reg_byte(low, high), operand);
}
constexpr Insn op_i(Op op, uint32_t operand) { return encode(op, 0, operand); }

static_assert(op_ri(Op::AddImm, 7, 7, 8).bytes[0] == 59 && op_ri(Op::AddImm, 7, 7, 8).bytes[1] == 0x77);

// Decoding facts derived from the form and operand columns.

// Offset of the 32-bit operand within the instruction, 0 when there is none.
constexpr uint32_t operand_offset(Op op) {
  switch (op_info(op).form) {
    case Form::RI: return 2;
    case Form::I: return 1;
    default: return 0;
  }
}
constexpr bool has_reg_byte(Op op) {
  return op_info(op).form == Form::R || op_info(op).form == Form::RI;
}
// Bits of the register byte that must be clear: bit 3 when the instruction
// reads rL, bit 7 when it reads rH (a register number above 7 there is an
// invalid instruction). The half an instruction does not name is ignored.
constexpr uint8_t reg_mask(Op op) {
  switch (op_info(op).operands) {
    case Operands::L_H: case Operands::L_AtH: case Operands::AtL_H: case Operands::L_H_Imm:
      return 0x88;
    case Operands::L: case Operands::L_Imm: case Operands::L_Abs: case Operands::L_Disp:
      return 0x08;
    case Operands::H: case Operands::Abs_H: case Operands::Disp_H:
      return 0x80;
    default:
      return 0x00;
  }
}
// True when another operation has the same mnemonic and operand syntax, so
// that the text alone does not say which one it is (movl $imm: 4 and 5; the
// byte and 16-bit preinc family: 41-44 and 45-48).
constexpr bool op_text_is_shared(Op op) {
  const OpInfo& a = op_info(op);
  for (int i = 0; i < kOpCount; ++i) {
    const OpInfo& b = kOpInfo[i];
    if (i == static_cast<int>(op) || a.operands != b.operands) continue;
    const char *x = a.mnemonic, *y = b.mnemonic;
    while (*x && *x == *y) ++x, ++y;
    if (*x == *y) return true;
  }
  return false;
}
static_assert(op_text_is_shared(Op::MovImm) && op_text_is_shared(Op::MovAddr) &&
              op_text_is_shared(Op::PreIncWord) && !op_text_is_shared(Op::LoadAbs) &&
              !op_text_is_shared(Op::Call));

// Size of the valid instruction at the start of `p` (n bytes available), or
// 0 when the bytes do not hold one: operation byte above 91, a named register
// above 7, or fewer bytes than the form needs.
constexpr size_t valid_insn_size(const uint8_t* p, size_t n) {
  if (n == 0 || p[0] >= kOpCount) return 0;
  const Op op = static_cast<Op>(p[0]);
  const size_t size = op_size(op);
  if (n < size || (has_reg_byte(op) && (p[1] & reg_mask(op)) != 0)) return 0;
  return size;
}

inline uint32_t read_u32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace zelt::vm
