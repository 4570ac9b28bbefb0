#include "script/vm/assembler.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "script/vm/opcodes.h"

namespace zelt::vm {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<Insn> insns) {
  std::vector<uint8_t> out;
  for (const Insn& i : insns) out.insert(out.end(), i.bytes, i.bytes + i.size);
  return out;
}

TEST(Assembler, LabelsForwardAndBackward) {
  const AsmResult a = assemble(R"(
  start:  jmp main        ; forward
  data:   .long 7, start
  main:   movl r0, data+4
          call start
          movl.5 r1, $data
  )", 0x10000);
  ASSERT_TRUE(a.ok()) << a.error;
  EXPECT_EQ(a.label("start"), 0x10000u);
  EXPECT_EQ(a.label("data"), 0x10005u);
  EXPECT_EQ(a.label("main"), 0x1000Du);
  const std::vector<uint8_t> expect = [] {
    std::vector<uint8_t> v = bytes({op_i(Op::Jmp, 0x1000D)});
    for (uint8_t b : {7, 0, 0, 0, 0x00, 0x00, 0x01, 0x00}) v.push_back(b);
    const auto rest = bytes({op_ri(Op::LoadAbs, 0, 0, 0x10009), op_i(Op::Call, 0x10000),
                             op_ri(Op::MovAddr, 1, 1, 0x10005)});
    v.insert(v.end(), rest.begin(), rest.end());
    return v;
  }();
  EXPECT_EQ(a.code, expect);
}

TEST(Assembler, OperandFormsSelectTheOperation) {
  struct Case {
    const char* text;
    Insn insn;
  };
  const Case cases[] = {
      {"movl r1, r2", op_r(Op::MovRR, 1, 2)},
      {"movl r1, $3", op_ri(Op::MovImm, 1, 1, 3)},
      {"movl.5 r1, $3", op_ri(Op::MovAddr, 1, 1, 3)},
      {"movl r1, 0x10000", op_ri(Op::LoadAbs, 1, 1, 0x10000)},
      {"movl r1, -4(r6)", op_ri(Op::LoadLocal, 1, 1, 0xFFFFFFFCu)},
      {"movl r1, (r2)", op_r(Op::LoadInd, 1, 2)},
      {"movl 0x10000, r2", op_ri(Op::StoreAbs, 2, 2, 0x10000)},
      {"movl 12(r6), r2", op_ri(Op::StoreLocal, 2, 2, 12)},
      {"movl (r1), r2", op_r(Op::StoreInd, 1, 2)},
      {"push r3", op_r(Op::PushReg, 7, 3)},
      {"push $-1", op_i(Op::PushImm, 0xFFFFFFFFu)},
      {"pop r3", op_r(Op::Pop, 3, 7)},
      {"call r3", op_r(Op::CallReg, 3, 3)},
      {"call 0x10000", op_i(Op::Call, 0x10000)},
      {"zerob 0x10000", op_i(Op::ZeroByteAbs, 0x10000)},
      {"zerob -1(r6)", op_i(Op::ZeroByteLocal, 0xFFFFFFFFu)},
      {"preinc r0, (r1)", op_r(Op::PreIncByte, 0, 1)},
      {"preinc.45 r0, (r1)", op_r(Op::PreIncWord, 0, 1)},
      {"add r7, $8", op_ri(Op::AddImm, 7, 7, 8)},
      {"trap #5", op_t(Op::Trap, 5)},
      {"trap 5", op_t(Op::Trap, 5)},
      {"movl r0, $1.5", op_ri(Op::MovImm, 0, 0, std::bit_cast<uint32_t>(1.5f))},
      {"movl r0, $-2.9f", op_ri(Op::MovImm, 0, 0, std::bit_cast<uint32_t>(-2.9f))},
      {"movl r0, $1e3", op_ri(Op::MovImm, 0, 0, std::bit_cast<uint32_t>(1000.0f))},
      {"movl r0, $010", op_ri(Op::MovImm, 0, 0, 10)},  // decimal, not octal
      {"movl r0, $0xFFFFFFFF", op_ri(Op::MovImm, 0, 0, 0xFFFFFFFFu)},
      {"movl r0, $-2147483648", op_ri(Op::MovImm, 0, 0, 0x80000000u)},
      {"movl r0, $X - 4 + 1", op_ri(Op::MovImm, 0, 0, 0x20000 - 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const AsmResult a = assemble(c.text, 0x10000, {{"X", 0x20000}});
    ASSERT_TRUE(a.ok()) << a.error;
    EXPECT_EQ(a.code, std::vector<uint8_t>(c.insn.bytes, c.insn.bytes + c.insn.size));
  }
  // The argument marker reads as 30523.
  const AsmResult marker = assemble("add r7, $12", 0);
  EXPECT_EQ(marker.code[0] | marker.code[1] << 8, kArgMarker);
}

TEST(Assembler, Directives) {
  const AsmResult a = assemble(R"(
      .byte 1, 255, -1
      .word 0x1234, -2
      .long 0x12345678, 2.5
      .zero 3
      .ascii "ab;c"     ; a ';' inside quotes is text
      .asciz "\x41\n"
  )", 0);
  ASSERT_TRUE(a.ok()) << a.error;
  const uint32_t f = std::bit_cast<uint32_t>(2.5f);
  const std::vector<uint8_t> expect = {1, 255, 255, 0x34, 0x12, 0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12,
                                       uint8_t(f), uint8_t(f >> 8), uint8_t(f >> 16), uint8_t(f >> 24),
                                       0, 0, 0, 'a', 'b', ';', 'c', 'A', '\n', 0};
  EXPECT_EQ(a.code, expect);
}

TEST(Assembler, ErrorsNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"nop\n frob r0", "line 2: unknown instruction 'frob'"},
      {"movl r0", "line 1: operands do not fit 'movl'"},
      {"movl $1, r0", "line 1: operands do not fit 'movl'"},
      {"movl.4 r0, r1", "line 1: operands do not fit 'movl.4'"},
      {"movl.99 r0, r1", "line 1: bad operation number in 'movl.99'"},
      {"jmp nowhere", "line 1: undefined name 'nowhere'"},
      {"a: nop\na: nop", "line 2: label 'a' defined twice"},
      {"movl r0, 4(r5)", "line 1: displacements are relative to r6 only: '4(r5)'"},
      {"movl r0, (r8)", "line 1: not a register in '(r8)'"},
      {"movl r9, r0", "line 1: no register 'r9'"},
      {".byte 256", "line 1: value out of range for .byte"},
      {".word 0x10000", "line 1: value out of range for .word"},
      {"movl r0, $0x100000000", "line 1: number out of range '0x100000000'"},
      {"trap #70000", "line 1: built-in number out of range"},
      {".frob 1", "line 1: unknown directive '.frob'"},
      {".ascii \"abc", "line 1: unterminated string"},
  };
  for (const Case& c : cases) {
    const AsmResult a = assemble(c.text, 0);
    EXPECT_EQ(a.error, c.error) << c.text;
    EXPECT_TRUE(a.code.empty());
  }
}

TEST(CodeBuilder, LabelsAndFixups) {
  CodeBuilder b(0x10000);
  const auto main = b.new_label(), loop = b.new_label(), data = b.new_label();
  b.emit(Op::Jmp, main);
  b.bind(data);
  b.u32(0xDEADBEEF).u16(7).u8(1).zero(1);
  b.bind(main);
  b.emit(op_ri(Op::MovImm, 1, 1, 3));
  b.bind(loop);
  b.emit(Op::LoadAbs, 0, 0, data, 4);
  b.emit(op_ri(Op::SubImm, 1, 1, 1));
  b.emit(Op::Jne, loop);
  b.u32(main);
  ASSERT_TRUE(b.finish());
  EXPECT_EQ(b.address(data), 0x10005u);
  EXPECT_EQ(b.address(main), 0x1000Du);
  const AsmResult same = assemble(R"(
      jmp main
  data: .long 0xDEADBEEF
      .word 7
      .byte 1, 0
  main:
      movl r1, $3
  loop:
      movl r0, data+4
      sub r1, $1
      jne loop
      .long main
  )", 0x10000);
  ASSERT_TRUE(same.ok()) << same.error;
  EXPECT_EQ(b.code(), same.code);

  CodeBuilder unbound;
  unbound.emit(Op::Call, unbound.new_label());
  std::string why;
  EXPECT_FALSE(unbound.finish(&why));
  EXPECT_FALSE(why.empty());

  CodeBuilder twice;
  const auto l = twice.new_label();
  twice.bind(l);
  twice.bind(l);
  EXPECT_FALSE(twice.finish());
}

}  // namespace
}  // namespace zelt::vm
