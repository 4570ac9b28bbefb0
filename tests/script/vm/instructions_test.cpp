// One table of cases per instruction family, each run under both dispatch
// builds.
#include <cmath>
#include <limits>

#include "vm_test_util.h"

namespace zelt::vmtest {
namespace {

constexpr uint32_t kMin = 0x80000000u;

class Instructions : public VmTest {};
ZELT_VM_INSTANTIATE(Instructions);

// Data block contents for the load cases: D+0 ... D+9, and D+120 ... D+127
// for the r6-relative ones (r6 = D + 128).
void fill_load_data(ScriptAddr d) {
  const std::initializer_list<uint8_t> bytes = {0x80, 0xFF, 0x7F, 0x00, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF};
  std::memcpy(script_memory().host(d), bytes.begin(), bytes.size());
  std::memcpy(script_memory().host(d + 120), bytes.begin(), 8);
}

TEST_P(Instructions, MovesAndWideningLoads) {
  struct Case {
    const char* code;
    uint32_t r0;
  };
  const Case cases[] = {
      {"movl r0, $-5", 0xFFFFFFFBu},
      {"movl r0, $0x12345678", 0x12345678u},
      {"movl.5 r0, $0x10020", 0x10020u},
      {"movl r0, r3", 33},
      {"xchg r0, r3", 33},
      {"xchg r0, r0", 11},
      // absolute
      {"movbl r0, D", 0x80},
      {"movsbl r0, D", 0xFFFFFF80u},
      {"movsbl r0, D+2", 0x7F},
      {"movwl r0, D", 0xFF80},
      {"movswl r0, D", 0xFFFFFF80u},
      {"movswl r0, D+2", 0x007F},
      {"movswl r0, D+8", 0xFFFFFFFEu},
      {"movl r0, D+4", 0x12345678},
      {"movl r0, D+1", 0x78007FFF},  // unaligned
      // r6-relative
      {"movbl r0, -8(r6)", 0x80},
      {"movsbl r0, -8(r6)", 0xFFFFFF80u},
      {"movwl r0, -7(r6)", 0x7FFF},
      {"movswl r0, -8(r6)", 0xFFFFFF80u},
      {"movl r0, -4(r6)", 0x12345678},
      // through a register (r1 = D)
      {"movbl r0, (r1)", 0x80},
      {"movsbl r0, (r1)", 0xFFFFFF80u},
      {"movwl r0, (r1)", 0xFF80},
      {"movswl r0, (r1)", 0xFFFFFF80u},
      {"movl r0, (r1)", 0x007FFF80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    fill_load_data(data_);
    exec(c.code, {{0, 11}, {1, data_}, {3, 33}});
    EXPECT_EQ(ctx_.r[0], c.r0);
  }
  exec("xchg r0, r3", {{0, 11}, {3, 33}});
  EXPECT_EQ(ctx_.r[3], 11u);
  exec("lea r0, -20(r6)");
  EXPECT_EQ(ctx_.r[0], data_ + 108);
  exec("movl r2, (r2)", {{2, data_ + 4}});  // destination and address in the same register
  EXPECT_EQ(ctx_.r[2], 0x12345678u);
}

TEST_P(Instructions, Stores) {
  struct Case {
    const char* code;
    uint32_t offset;                      // where the store lands, from D
    std::initializer_list<uint8_t> after; // bytes at D + offset - 1 ... after the store
  };
  // r2 = 0x12345678, r1 = D + 3, r6 = D + 128; D is filled with 0xAA first.
  const Case cases[] = {
      {"movb D+3, r2", 3, {0xAA, 0x78, 0xAA}},
      {"movw D+3, r2", 3, {0xAA, 0x78, 0x56, 0xAA}},
      {"movl D+3, r2", 3, {0xAA, 0x78, 0x56, 0x34, 0x12, 0xAA}},
      {"movb -5(r6), r2", 123, {0xAA, 0x78, 0xAA}},
      {"movw -5(r6), r2", 123, {0xAA, 0x78, 0x56, 0xAA}},
      {"movl -5(r6), r2", 123, {0xAA, 0x78, 0x56, 0x34, 0x12, 0xAA}},
      {"movb (r1), r2", 3, {0xAA, 0x78, 0xAA}},
      {"movw (r1), r2", 3, {0xAA, 0x78, 0x56, 0xAA}},
      {"movl (r1), r2", 3, {0xAA, 0x78, 0x56, 0x34, 0x12, 0xAA}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::memset(host(data_), 0xAA, kDataSize);
    exec(c.code, {{1, data_ + 3}, {2, 0x12345678}});
    EXPECT_EQ(std::vector<uint8_t>(host(data_ + c.offset - 1), host(data_ + c.offset - 1) + c.after.size()),
              std::vector<uint8_t>(c.after));
  }
  // Storing a register through itself stores its own value.
  exec("movl (r1), r1", {{1, data_ + 8}});
  EXPECT_EQ(u32(data_ + 8), data_ + 8);
}

TEST_P(Instructions, StackAndCalls) {
  // push / pop (from below the top cell: a pop that brings r7 to the very
  // top is a stack fault)
  load(R"(
      movl r1, $7
      push r1
      push $-2
      pop r2
      pop r3
      trap #0
  )");
  ctx_.r[7] -= 4;
  const uint32_t top = ctx_.r[7];
  run();
  EXPECT_EQ(ctx_.r[2], 0xFFFFFFFEu);
  EXPECT_EQ(ctx_.r[3], 7u);
  EXPECT_EQ(ctx_.r[7], top);
  EXPECT_EQ(u32(top - 4), 7u);
  EXPECT_EQ(u32(top - 8), 0xFFFFFFFEu);

  // A call with two arguments: frame layout seen by the callee, the saved
  // registers restored by leave, the result in r0 and the argument marker.
  load(R"(
      movl r1, $101
      movl r2, $102
      movl r3, $103
      movl r4, $104
      movl r5, $105
      movl r6, $106
      push $22          ; second argument
      push $11          ; first argument
      call f
  ret_here:
      add r7, $8
      trap #0
  f:  enter $8
      movl r0, 8(r6)     ; first argument
      movl r1, 12(r6)    ; second argument
      movl r2, 4(r6)     ; return address
      movl r3, 0(r6)     ; caller's r6
      movl r4, -4(r6)    ; caller's r5
      movl r5, -20(r6)   ; caller's r1
      movl -24(r6), r0   ; a local
      push r6
      push r5
      push r4
      push r3
      push r2
      push r1
      trap #1            ; look at the frame
      pop r1
      pop r2
      pop r3
      pop r4
      pop r5
      pop r6
      add r0, r1
      leave $8
      ret
  )");
  std::array<uint32_t, 8> seen{};
  static std::array<uint32_t, 8>* seen_ptr;
  seen_ptr = &seen;
  vm_set_trap_handler([](ScriptContext& c, uint16_t n) {
    if (n == 1) std::memcpy(seen_ptr->data(), c.r, 32);
  });
  const uint32_t top2 = ctx_.r[7];
  run();  // up to trap #1
  EXPECT_EQ(seen[0], 11u);
  EXPECT_EQ(seen[1], 22u);
  EXPECT_EQ(seen[2], asm_.label("ret_here"));
  EXPECT_EQ(seen[3], 106u);
  EXPECT_EQ(seen[4], 105u);
  EXPECT_EQ(seen[5], 101u);
  EXPECT_EQ(seen[6], top2 - 16);  // r6 + 4 is the return address, just below the arguments
  EXPECT_EQ(seen[7], top2 - 12 - 24 - 8 - 24);  // return address, enter's 24 + 8 bytes, six pushes
  uint16_t marker;
  std::memcpy(&marker, host(asm_.label("ret_here")), 2);
  EXPECT_EQ(marker, vm::kArgMarker);
  EXPECT_EQ(u32(asm_.label("ret_here") + 2), 8u);
  run();  // to trap #0
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
  EXPECT_EQ(ctx_.r[0], 33u);
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(ctx_.r[k], 100u + k) << "r" << k;
  EXPECT_EQ(ctx_.r[7], top2);

  // call through a register
  load(R"(
      movl.5 r3, $f
      call r3
      trap #0
  f:  movl r0, $9
      ret
  )");
  ctx_.r[7] -= 4;
  run();
  EXPECT_EQ(ctx_.r[0], 9u);
  EXPECT_EQ(ctx_.pc, asm_.label("f"));  // just after the trap
}

TEST_P(Instructions, PushAndPopOfR7) {
  // push r7 stores r7 after the decrement; pop r7 keeps the loaded value.
  exec("push r7");
  EXPECT_EQ(u32(ctx_.r[7]), ctx_.r[7]);
  load("push $0x12345\n pop r7\n trap #0");
  ctx_.r[7] -= 4;
  run();
  EXPECT_EQ(ctx_.r[7], 0x12345u);
}

TEST_P(Instructions, IncrementFamily) {
  struct Case {
    const char* code;
    uint32_t before;  // the 32-bit cell at D
    uint32_t r0;
    uint32_t after;
  };
  const Case cases[] = {
      {"preop r0, (r1), $5", 10, 15, 15},
      {"postop r0, (r1), $5", 10, 10, 15},
      {"preop r0, (r1), $-1", 0, 0xFFFFFFFFu, 0xFFFFFFFFu},
      {"postop r0, (r1), $-4", 2, 2, 0xFFFFFFFEu},
      {"preinc r0, (r1)", 0x7F, 128, 0x80},
      {"preinc r0, (r1)", 0xAAFF, 0, 0xAA00},  // byte wraps, next byte untouched
      {"postinc r0, (r1)", 0xFF, 0xFF, 0x00},
      {"predec r0, (r1)", 0x1200, 0xFF, 0x12FF},
      {"postdec r0, (r1)", 0x80, 0x80, 0x7F},
      {"preinc.45 r0, (r1)", 0x7FFF, 0x8000, 0x8000},
      {"preinc.45 r0, (r1)", 0xAAFFFF, 0, 0xAA0000},
      {"postinc.46 r0, (r1)", 0xFFFF, 0xFFFF, 0},
      {"predec.47 r0, (r1)", 0x120000, 0xFFFF, 0x12FFFF},
      {"postdec.48 r0, (r1)", 0x8000, 0x8000, 0x7FFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    set_u32(data_, c.before);
    exec(c.code, {{1, data_}});
    EXPECT_EQ(ctx_.r[0], c.r0);
    EXPECT_EQ(u32(data_), c.after);
  }
  // The address comes from the register before the destination is written.
  set_u32(data_, 3);
  exec("postop r1, (r1), $1", {{1, data_}});
  EXPECT_EQ(ctx_.r[1], 3u);
  EXPECT_EQ(u32(data_), 4u);
}

TEST_P(Instructions, CompareFlags) {
  struct Case {
    const char* code;
    uint32_t a, b;
    bool zero, less, below;
  };
  const Case cases[] = {
      {"cmp r0, r1", 5, 5, true, false, false},
      {"cmp r0, r1", 1, 2, false, true, true},
      {"cmp r0, r1", 2, 1, false, false, false},
      {"cmp r0, r1", 0xFFFFFFFFu, 1, false, true, false},
      {"cmp r0, r1", 1, 0xFFFFFFFFu, false, false, true},
      {"cmp r0, r1", kMin, 0x7FFFFFFFu, false, true, false},
      {"cmp r0, $-1", 1, 0, false, false, true},
      {"cmp r0, $7", 7, 0, true, false, false},
      {"sub r0, r1", 1, 2, false, true, true},
      {"sub r0, $3", 3, 0, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    exec(c.code, {{0, c.a}, {1, c.b}}, {!c.zero, !c.less, !c.below});
    EXPECT_EQ(ctx_.zero, c.zero);
    EXPECT_EQ(ctx_.less, c.less);
    EXPECT_EQ(ctx_.below, c.below);
  }
  exec("sub r0, r1", {{0, 1}, {1, 2}});
  EXPECT_EQ(ctx_.r[0], 0xFFFFFFFFu);
  exec("cmp r0, r1", {{0, 1}, {1, 2}});
  EXPECT_EQ(ctx_.r[0], 1u);

  // The zero tests change only the zero flag.
  struct ZeroCase {
    const char* code;
    bool zero;
  };
  const ZeroCase zero_cases[] = {
      {"zerob D", true},       {"zerob D+1", false},    {"zerow D", false},   {"zerow D+2", true},
      {"zerol D", false},      {"zerol D+4", true},     {"zerob -128(r6)", true},
      {"zerob -127(r6)", false}, {"zerow -126(r6)", true}, {"zerol -128(r6)", false},
      {"zerol -124(r6)", true},
  };
  for (const ZeroCase& c : zero_cases) {
    SCOPED_TRACE(c.code);
    std::memset(host(data_), 0, kDataSize);
    set_bytes(data_, {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    exec(c.code, {}, {!c.zero, true, true});
    EXPECT_EQ(ctx_.zero, c.zero);
    EXPECT_TRUE(ctx_.less);
    EXPECT_TRUE(ctx_.below);
  }
  // Flags keep their values across instructions that do not set them.
  exec("add r0, r1\n movl r2, $3\n fadd r0, r1", {}, {true, false, true});
  EXPECT_TRUE(ctx_.zero);
  EXPECT_FALSE(ctx_.less);
  EXPECT_TRUE(ctx_.below);
}

TEST_P(Instructions, ConditionalJumpsAgainstEveryFlagCombination) {
  // Taken-ness for flag combinations indexed zero * 4 + less * 2 + below.
  struct Case {
    const char* jump;
    const char* taken;
  };
  const Case cases[] = {
      {"je", "00001111"}, {"jne", "11110000"}, {"jg", "11000000"}, {"jge", "11001111"},
      {"jl", "00110000"}, {"jle", "00111111"}, {"ja", "10100000"}, {"jae", "10101111"},
      {"jb", "01010000"}, {"jbe", "01011111"},
  };
  for (const Case& c : cases) {
    for (int combo = 0; combo < 8; ++combo) {
      const Flags flags{(combo & 4) != 0, (combo & 2) != 0, (combo & 1) != 0};
      SCOPED_TRACE(std::string(c.jump) + " flags " + std::to_string(combo));
      load(std::string(c.jump) + " yes\n movl r0, $2\n trap #0\n yes: movl r0, $1\n trap #0\n");
      ctx_.zero = flags.zero;
      ctx_.less = flags.less;
      ctx_.below = flags.below;
      run();
      EXPECT_EQ(ctx_.r[0], c.taken[combo] == '1' ? 1u : 2u);
    }
  }
  exec("jmp over\n movl r0, $5\n over:", {{0, 1}});
  EXPECT_EQ(ctx_.r[0], 1u);
}

TEST_P(Instructions, Arithmetic) {
  struct Case {
    const char* code;
    uint32_t a, b, result;
  };
  const Case cases[] = {
      {"add r0, r1", 0xFFFFFFFFu, 2, 1},
      {"add r0, $-3", 2, 0, 0xFFFFFFFFu},
      {"sub r0, r1", 0, 1, 0xFFFFFFFFu},
      {"mul r0, r1", 0x10001, 0x10001, 0x20001},
      {"mul r0, r1", 0xFFFFFFFFu, 5, 0xFFFFFFFBu},
      {"div r0, r1", 7, 2, 3},
      {"div r0, r1", static_cast<uint32_t>(-7), 2, static_cast<uint32_t>(-3)},
      {"div r0, r1", 7, static_cast<uint32_t>(-2), static_cast<uint32_t>(-3)},
      {"div r0, r1", static_cast<uint32_t>(-7), static_cast<uint32_t>(-2), 3},
      {"div r0, r1", kMin, 0xFFFFFFFFu, kMin},
      {"div r0, r1", kMin, 1, kMin},
      {"div r0, r1", 5, 0xFFFFFFFFu, static_cast<uint32_t>(-5)},
      {"mod r0, r1", 7, 2, 1},
      {"mod r0, r1", static_cast<uint32_t>(-7), 2, static_cast<uint32_t>(-1)},
      {"mod r0, r1", 7, static_cast<uint32_t>(-2), 1},
      {"mod r0, r1", static_cast<uint32_t>(-7), static_cast<uint32_t>(-2), static_cast<uint32_t>(-1)},
      {"mod r0, r1", kMin, 0xFFFFFFFFu, 0},
      {"mod r0, r1", 5, 0xFFFFFFFFu, 0},
      {"set r0, r1", 9, 0, 1},
      {"set r0, r1", 9, 5, 0},
      {"neg r0, r1", 9, 5, static_cast<uint32_t>(-5)},
      {"neg r0, r1", 9, kMin, kMin},
      {"not r0, r1", 9, 0x0F0F0F0F, 0xF0F0F0F0u},
      {"and r0, r1", 0xFF00FF00u, 0x0FF00FF0, 0x0F000F00},
      {"or r0, r1", 0xFF00FF00u, 0x0FF00FF0, 0xFFF0FFF0u},
      {"xor r0, r1", 0xFF00FF00u, 0x0FF00FF0, 0xF0F0F0F0u},
      {"add r0, r0", 21, 0, 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    exec(c.code, {{0, c.a}, {1, c.b}});
    EXPECT_EQ(ctx_.r[0], c.result) << c.a << " " << c.b;
    if (std::string_view(c.code).find("r1") != std::string_view::npos) {
      EXPECT_EQ(ctx_.r[1], c.b);
    }
  }
}

TEST_P(Instructions, ShiftsUseTheLowFiveBitsOfTheCount) {
  struct Case {
    const char* code;
    uint32_t value, count, result;
  };
  const Case cases[] = {
      {"shl r0, r1", 1, 33, 2},          {"shl r0, r1", 1, 32, 1},
      {"shl r0, r1", 1, 31, kMin},       {"shl r0, r1", 3, 0xFFFFFFE1u, 6},
      {"shr r0, r1", kMin, 31, 1},       {"shr r0, r1", 0xF0000000u, 36, 0x0F000000},
      {"shr r0, r1", kMin, 64, kMin},    {"sar r0, r1", kMin, 31, 0xFFFFFFFFu},
      {"sar r0, r1", 0xF0000000u, 36, 0xFF000000u}, {"sar r0, r1", 0x70000000, 4, 0x07000000},
      {"sar r0, r1", 0xFFFFFFF0u, 32, 0xFFFFFFF0u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    exec(c.code, {{0, c.value}, {1, c.count}});
    EXPECT_EQ(ctx_.r[0], c.result) << c.value << " by " << c.count;
  }
}

TEST_P(Instructions, FloatOperationsAndConversions) {
  const uint32_t inf = fbits(std::numeric_limits<float>::infinity());
  const uint32_t nan = fbits(std::numeric_limits<float>::quiet_NaN());
  struct Case {
    const char* code;
    uint32_t a, b, result;
  };
  const Case cases[] = {
      {"fadd r0, r1", fbits(1.5f), fbits(2.25f), fbits(3.75f)},
      {"fadd r0, r1", fbits(16777216.0f), fbits(1.0f), fbits(16777216.0f)},  // single precision
      {"fsub r0, r1", fbits(1.0f), fbits(3.0f), fbits(-2.0f)},
      {"fmul r0, r1", fbits(1.5f), fbits(-4.0f), fbits(-6.0f)},
      {"fdiv r0, r1", fbits(1.0f), fbits(4.0f), fbits(0.25f)},
      {"fdiv r0, r1", fbits(1.0f), fbits(0.0f), inf},
      {"fdiv r0, r1", fbits(-1.0f), fbits(0.0f), inf | kMin},
      {"fmod r0, r1", fbits(5.5f), fbits(2.0f), fbits(1.5f)},
      {"fmod r0, r1", fbits(-5.5f), fbits(2.0f), fbits(-1.5f)},
      {"fmod r0, r1", fbits(5.5f), fbits(-2.0f), fbits(1.5f)},
      {"fneg r0, r1", 0, fbits(2.5f), fbits(-2.5f)},
      {"fneg r0, r1", 0, 0, kMin},  // -0.0
      {"ftoi r0, r1", 0, fbits(2.9f), 2},
      {"ftoi r0, r1", 0, fbits(-2.9f), static_cast<uint32_t>(-2)},
      {"ftoi r0, r1", 0, fbits(-0.5f), 0},
      {"ftoi r0, r1", 0, nan, kMin},
      {"ftoi r0, r1", 0, inf, kMin},
      {"ftoi r0, r1", 0, inf | kMin, kMin},
      {"ftoi r0, r1", 0, fbits(3e9f), kMin},
      {"ftoi r0, r1", 0, fbits(-3e9f), kMin},
      {"ftoi r0, r1", 0, fbits(2147483648.0f), kMin},
      {"ftoi r0, r1", 0, fbits(2147483520.0f), 2147483520u},
      {"ftoi r0, r1", 0, fbits(-2147483648.0f), kMin},
      {"itof r0, r1", 0, 16777217, fbits(16777216.0f)},
      {"itof r0, r1", 0, 16777219, fbits(16777220.0f)},  // ties to even
      {"itof r0, r1", 0, static_cast<uint32_t>(-1), fbits(-1.0f)},
      {"itof r0, r1", 0, kMin, fbits(-2147483648.0f)},
      {"itof r0, r1", 0, 0x7FFFFFFF, fbits(2147483648.0f)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    exec(c.code, {{0, c.a}, {1, c.b}});
    EXPECT_EQ(ctx_.r[0], c.result) << fval(c.a) << " " << fval(c.b) << " -> " << fval(ctx_.r[0]);
  }
  exec("fdiv r0, r1", {{0, 0}, {1, 0}});
  EXPECT_TRUE(std::isnan(fval(ctx_.r[0])));

  // fsub flags: zero and less from the floating comparison, below always 0.
  struct FlagCase {
    float a, b;
    bool zero, less;
  };
  const FlagCase flag_cases[] = {
      {1.0f, 2.0f, false, true}, {2.0f, 1.0f, false, false}, {-0.0f, 0.0f, true, false},
      {-3.0f, 1.0f, false, true}, {std::numeric_limits<float>::quiet_NaN(), 1.0f, false, false},
  };
  for (const FlagCase& c : flag_cases) {
    SCOPED_TRACE(std::to_string(c.a) + " - " + std::to_string(c.b));
    exec("fsub r0, r1", {{0, fbits(c.a)}, {1, fbits(c.b)}}, {!c.zero, !c.less, true});
    EXPECT_EQ(ctx_.zero, c.zero);
    EXPECT_EQ(ctx_.less, c.less);
    EXPECT_FALSE(ctx_.below);
  }
}

TEST_P(Instructions, UnsignedJumpsAfterAFloatComparisonSeeNotBelow) {
  // 1.0 - 2.0: less, but the unsigned jumps behave as after a not-below result.
  load(R"(
      movl r0, $1.0
      movl r1, $2.0
      fsub r0, r1
      jb wrong
      ja right
  wrong:
      movl r2, $0
      trap #0
  right:
      movl r2, $1
      trap #0
  )");
  ctx_.below = 1;
  run();
  EXPECT_EQ(ctx_.r[2], 1u);
  EXPECT_EQ(ctx_.r[0], fbits(-1.0f));
}

TEST_P(Instructions, UnusedRegisterHalfIsIgnored) {
  // pop r0 with garbage in the high half, push r1 with garbage in the low half.
  load(".byte 32\n .long 77\n .byte 33, 0xF0\n .byte 31, 0x1F\n trap #0");
  ctx_.r[7] -= 4;
  ctx_.r[1] = 5;
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
  EXPECT_EQ(ctx_.r[0], 77u);
  EXPECT_EQ(u32(ctx_.r[7]), 5u);
}

}  // namespace
}  // namespace zelt::vmtest
