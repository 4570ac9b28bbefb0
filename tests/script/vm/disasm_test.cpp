#include "script/vm/disasm.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "script/vm/assembler.h"
#include "script/vm/opcodes.h"

namespace zelt::vm {
namespace {

// An instruction of every operation with distinct register and operand
// values, encoded as the compiler does.
Insn sample(Op op) {
  const uint32_t operand = 0x00012340u + static_cast<uint32_t>(op);
  switch (op_info(op).operands) {
    case Operands::None: return op_n(op);
    case Operands::Num: return op_t(op, 316);
    case Operands::L: return op_r(op, 3, op == Op::Pop ? 7 : 3);
    case Operands::H: return op_r(op, op == Op::PushReg ? 7 : 5, 5);
    case Operands::L_Imm: case Operands::L_Abs: case Operands::L_Disp:
      return op_ri(op, 2, 2, operand);
    case Operands::Abs_H: case Operands::Disp_H: return op_ri(op, 4, 4, operand);
    case Operands::Imm: case Operands::Target: case Operands::Abs: case Operands::Disp:
      return op_i(op, operand);
    case Operands::L_H_Imm: return op_ri(op, 1, 6, operand);
    default: return op_r(op, 1, 6);  // L_H, L_AtH, AtL_H
  }
}

TEST(Disasm, EveryOperationReassemblesToTheSameBytes) {
  for (int i = 0; i < kOpCount; ++i) {
    const Op op = static_cast<Op>(i);
    const Insn insn = sample(op);
    const std::string text = insn_text({insn.bytes, insn.size}, {.bytes = false, .op_suffix = true});
    SCOPED_TRACE(text);
    ASSERT_FALSE(text.empty());
    const AsmResult back = assemble(text, 0x10000);
    ASSERT_TRUE(back.ok()) << back.error;
    EXPECT_EQ(back.code, std::vector<uint8_t>(insn.bytes, insn.bytes + insn.size));
  }
}

TEST(Disasm, OperandSyntax) {
  struct Case {
    Insn insn;
    const char* text;
  };
  const Case cases[] = {
      {op_n(Op::Nop), "nop"},
      {op_t(Op::Trap, 12), "trap #12"},
      {op_r(Op::Xchg, 1, 2), "xchg r1, r2"},
      {op_r(Op::MovRR, 0, 7), "movl r0, r7"},
      {op_ri(Op::MovImm, 3, 3, 0xFFFFFFFBu), "movl r3, $-5"},
      {op_ri(Op::MovAddr, 3, 3, 0x10020), "movl r3, $0x00010020"},
      {op_ri(Op::LoadSByteAbs, 1, 1, 0x10020), "movsbl r1, 0x00010020"},
      {op_ri(Op::Lea, 2, 2, 0xFFFFFFE8u), "lea r2, -24(r6)"},
      {op_ri(Op::LoadLocal, 0, 0, 8), "movl r0, 8(r6)"},
      {op_r(Op::LoadWordInd, 4, 5), "movwl r4, (r5)"},
      {op_ri(Op::StoreByteAbs, 2, 2, 0x10000), "movb 0x00010000, r2"},
      {op_ri(Op::StoreLocal, 1, 1, 0xFFFFFFFCu), "movl -4(r6), r1"},
      {op_r(Op::StoreWordInd, 3, 1), "movw (r3), r1"},
      {op_r(Op::PushReg, 7, 2), "push r2"},
      {op_i(Op::PushImm, 7), "push $7"},
      {op_r(Op::Pop, 4, 7), "pop r4"},
      {op_i(Op::Enter, 16), "enter $16"},
      {op_i(Op::Leave, 16), "leave $16"},
      {op_i(Op::Call, 0x10100), "call 0x00010100"},
      {op_r(Op::CallReg, 2, 2), "call r2"},
      {op_n(Op::Ret), "ret"},
      {op_ri(Op::PreOp, 0, 1, 4), "preop r0, (r1), $4"},
      {op_ri(Op::PostOp, 0, 1, 0xFFFFFFFFu), "postop r0, (r1), $-1"},
      {op_r(Op::PreIncWord, 0, 1), "preinc r0, (r1)"},
      {op_i(Op::ZeroWordAbs, 0x10004), "zerow 0x00010004"},
      {op_i(Op::ZeroLocal, 0xFFFFFFF0u), "zerol -16(r6)"},
      {op_ri(Op::AddImm, 7, 7, 8), "add r7, $8"},
      {op_i(Op::Jbe, 0x10005), "jbe 0x00010005"},
      {op_r(Op::Fneg, 1, 1), "fneg r1, r1"},
  };
  for (const Case& c : cases) EXPECT_EQ(insn_text({c.insn.bytes, c.insn.size}), c.text);
  const Insn shared = op_r(Op::PreIncWord, 0, 1);
  EXPECT_EQ(insn_text({shared.bytes, shared.size}, {.op_suffix = true}), "preinc.45 r0, (r1)");
}

TEST(Disasm, LinesCarryAddressAndBytes) {
  const AsmResult a = assemble(R"(
      jmp main
  main:
      enter $0
      movl r0, $5
      movl r2, -8(r6)
  )", 0x10000);
  ASSERT_TRUE(a.ok()) << a.error;
  EXPECT_EQ(disassemble(a.code, 0x10000),
            "00010000  49 05 00 01 00     jmp 0x00010005\n"
            "00010005  22 00 00 00 00     enter $0\n"
            "0001000a  04 00 05 00 00 00  movl r0, $5\n"
            "00010010  10 22 f8 ff ff ff  movl r2, -8(r6)\n");
  EXPECT_EQ(disassemble(a.code, 0x10000, {.bytes = false}),
            "00010000  jmp 0x00010005\n"
            "00010005  enter $0\n"
            "0001000a  movl r0, $5\n"
            "00010010  movl r2, -8(r6)\n");
}

TEST(Disasm, UndecodableBytesAreData) {
  // 92 and 255 are no operation; 3 with register byte 0x80 names r8 (and
  // 0x80 is no operation either); the last movl is cut off after three of its
  // six bytes.
  const std::vector<uint8_t> code = {92, 255, 3, 0x80, 0, 4, 0x00, 0x01};
  // An exactly sized heap copy, so that AddressSanitizer sees any read past it.
  const auto exact = std::make_unique<uint8_t[]>(code.size());
  std::copy(code.begin(), code.end(), exact.get());
  EXPECT_EQ(disassemble({exact.get(), code.size()}, 0x20000, {.bytes = false}),
            "00020000  .byte 0x5c\n"
            "00020001  .byte 0xff\n"
            "00020002  .byte 0x03\n"
            "00020003  .byte 0x80\n"
            "00020004  nop\n"
            "00020005  .byte 0x04, 0x00, 0x01\n");
  // Every prefix of every operation: never reads past the range.
  for (int i = 0; i < kOpCount; ++i) {
    const Insn insn = sample(static_cast<Op>(i));
    for (size_t n = 1; n <= insn.size; ++n) {
      const auto part = std::make_unique<uint8_t[]>(n);
      std::copy(insn.bytes, insn.bytes + n, part.get());
      const std::string text = disassemble({part.get(), n}, 0);
      EXPECT_EQ(text.find(".byte") == std::string::npos, n == insn.size) << text;
    }
  }
  EXPECT_EQ(disassemble({}, 0), "");
  // Data lines are assembler syntax too.
  EXPECT_EQ(assemble(".byte 0x5c\n.byte 0x04, 0x00, 0x01", 0).code, (std::vector<uint8_t>{92, 4, 0, 1}));
}

}  // namespace
}  // namespace zelt::vm
