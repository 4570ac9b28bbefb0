// Time slices, normal ends, faults and their messages, under both dispatch
// builds.
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "support/rewriter.h"
#include "vm_test_util.h"

namespace zelt::vmtest {
namespace {

class Slice : public VmTest {};
ZELT_VM_INSTANTIATE(Slice);

std::string repeat(std::string_view line, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) (s += line) += '\n';
  return s;
}

int g_trap_calls;
uint16_t g_trap_number;
uint32_t g_trap_r0;
uint32_t g_trap_pc;

void recording_trap(ScriptContext& c, uint16_t n) {
  ++g_trap_calls;
  g_trap_number = n;
  g_trap_r0 = c.r[0];
  g_trap_pc = c.pc;
  c.r[0] = 4242;
}

TEST_P(Slice, RunsAtMost255Instructions) {
  load(repeat("add r0, $1", 600));
  EXPECT_EQ(run(), Fault::None);
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
  EXPECT_EQ(ctx_.r[0], 255u);
  EXPECT_EQ(ctx_.pc, ctx_.image_base + 255 * 6);
  run();
  EXPECT_EQ(ctx_.r[0], 510u);
}

TEST_P(Slice, LoopWithoutBuiltinsKeepsRunning) {
  load("l: add r0, $1\n jmp l");
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
  EXPECT_EQ(ctx_.r[0], 128u);  // 128 adds and 127 jumps
  EXPECT_EQ(ctx_.pc, ctx_.image_base + 6);
  for (int i = 0; i < 99; ++i) run();
  EXPECT_EQ(ctx_.r[0], 128u * 100 - 50);  // slices alternate between 128 and 127 adds
}

TEST_P(Slice, TrapEndsTheSliceEvenAsTheFirstInstruction) {
  vm_set_trap_handler(recording_trap);
  g_trap_calls = 0;
  load("trap #300\n ret\n" + repeat("add r1, $1", 10));
  ctx_.r[0] = 7;
  run();
  EXPECT_EQ(g_trap_calls, 1);
  EXPECT_EQ(g_trap_number, 300);
  EXPECT_EQ(g_trap_r0, 7u);                     // the handler sees the registers
  EXPECT_EQ(g_trap_pc, ctx_.image_base + 3);    // and pc at the instruction after the trap
  EXPECT_EQ(ctx_.r[0], 4242u);                  // its result is not overwritten
  EXPECT_EQ(ctx_.pc, ctx_.image_base + 3);
  EXPECT_EQ(ctx_.r[1], 0u);

  // A trap late in a slice ends it too; the handler sees every earlier change.
  load(repeat("add r0, $1", 10) + "trap #1\n add r0, $100\n trap #2\n");
  run();
  EXPECT_EQ(g_trap_calls, 2);
  EXPECT_EQ(g_trap_number, 1);
  EXPECT_EQ(g_trap_r0, 10u);
  run();
  EXPECT_EQ(g_trap_number, 2);
  EXPECT_EQ(g_trap_r0, 4342u);
}

TEST_P(Slice, TrapWithoutHandlerOnlyEndsTheSlice) {
  load("trap #1\n movl r0, $1\n trap #2");
  run();
  EXPECT_EQ(ctx_.r[0], 0u);
  EXPECT_EQ(ctx_.pc, ctx_.image_base + 3);
  EXPECT_TRUE(shown_messages().empty());
}

// A handler may replace or discard the context it was given (jump, longjmp,
// a called script): the interpreter must not touch it after the handler.
ScriptContext* g_replaced;
void clobbering_trap(ScriptContext& c, uint16_t) {
  g_replaced = &c;
  std::memset(&c, 0xEE, sizeof c);
}

TEST_P(Slice, InterpreterDoesNotTouchTheContextAfterTheHandler) {
  vm_set_trap_handler(clobbering_trap);
  load("add r0, $1\n trap #0\n add r0, $1");
  run();
  EXPECT_EQ(g_replaced, &ctx_);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&ctx_);
  for (size_t i = 0; i < sizeof ctx_; ++i) ASSERT_EQ(bytes[i], 0xEE) << i;
}

TEST_P(Slice, StopAllAtEntryExecutesNothing) {
  load("movl r0, $1");
  stop_all.store(1);
  const ScriptContext before = ctx_;
  EXPECT_EQ(run(), Fault::None);
  EXPECT_EQ(std::memcmp(&before, &ctx_, sizeof ctx_), 0);
  EXPECT_EQ(ctx_.pc, ctx_.image_base);
}

void stopping_trap(ScriptContext&, uint16_t) { stop_all.store(1); }

TEST_P(Slice, StopAllSetByAnotherScriptStopsTheNextSlice) {
  vm_set_trap_handler(stopping_trap);
  load("trap #0\n movl r0, $1");
  run();
  EXPECT_EQ(stop_all.load(), 1);
  run();
  EXPECT_EQ(ctx_.r[0], 0u);
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
}

TEST_P(Slice, ContextThatIsNotRunningExecutesNothing) {
  for (const ContextStatus status : {ContextStatus::Ended, ContextStatus::Faulted}) {
    load("movl r0, $1");
    ctx_.status = status;
    run();
    EXPECT_EQ(ctx_.r[0], 0u);
    EXPECT_EQ(ctx_.pc, ctx_.image_base);
    EXPECT_EQ(ctx_.status, status);
  }
}

TEST_P(Slice, EmptyMainEndsWithoutMessage) {
  load(R"(
      jmp main
  main:
      enter $0
      leave $0
      movl r0, $99     ; never reached
  )");
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Ended);
  EXPECT_EQ(stop_all.load(), 0);
  EXPECT_TRUE(shown_messages().empty());
  EXPECT_EQ(ctx_.r[0], 0u);
  EXPECT_EQ(ctx_.pc, asm_.label("main") + 10);
  run();  // an ended context is never executed again
  EXPECT_EQ(ctx_.r[0], 0u);
}

TEST_P(Slice, MainWithLocalsAndACallReturnsItsValueAndEnds) {
  load(R"(
      jmp main
  twice:
      enter $0
      movl r0, 8(r6)
      add r0, r0
      leave $0
      ret
  main:
      enter $12
      movl r1, $21
      movl -24(r6), r1
      push r1
      call twice
      add r7, $4
      leave $12
  )");
  run_to_end();
  EXPECT_EQ(ctx_.status, ContextStatus::Ended);
  EXPECT_EQ(ctx_.r[0], 42u);
  EXPECT_EQ(ctx_.r[7], ctx_.stack_base + static_cast<uint32_t>(ctx_.stack_size) - 36);
  EXPECT_TRUE(shown_messages().empty());
}

TEST_P(Slice, RetToThreadReturnAddressEndsTheContext) {
  // A thread entry: the argument, then the return address 0xFFFFFFFF.
  load(R"(
  entry:
      enter $0
      movl r0, 8(r6)
      leave $0
      ret
  )");
  ctx_.r[7] -= 8;
  set_u32(ctx_.r[7] + 4, 17);
  set_u32(ctx_.r[7], vm::kThreadReturn);
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Ended);
  EXPECT_EQ(ctx_.r[0], 17u);
  EXPECT_EQ(ctx_.pc, vm::kThreadReturn);
  EXPECT_EQ(stop_all.load(), 0);
  EXPECT_TRUE(shown_messages().empty());
}

// Faults ---------------------------------------------------------------------

TEST_P(Slice, DivisionByZeroFaultsAndLeavesTheDestination) {
  for (const char* code : {"div r0, r1", "mod r0, r1"}) {
    SCOPED_TRACE(code);
    shown_messages().clear();
    stop_all.store(0);
    load(std::string("movl r0, $5\n") + code + "\n movl r2, $1");
    run();
    expect_fault(Msg::DivideByZero);
    EXPECT_EQ(ctx_.r[0], 5u);
    EXPECT_EQ(ctx_.r[2], 0u);
    EXPECT_EQ(ctx_.pc, ctx_.image_base + 6);  // at the faulting instruction
  }
}

TEST_P(Slice, CallThroughNullPointerIsTheProgramAreaFault) {
  load("movl r3, $0\n call r3");
  const uint32_t sp = ctx_.r[7];
  run();
  expect_fault(Msg::FaultProgramArea);
  EXPECT_EQ(ctx_.r[7], sp);
}

TEST_P(Slice, StackRangeFaults) {
  struct Case {
    const char* code;
    uint32_t r7_from_base;  // r7 before the code, relative to the stack base
  };
  const uint32_t size = 64;
  const Case cases[] = {
      {"push $1", 0},              // r7 would go below the base
      {"push r0", 2},
      {"call f\n f: nop", 0},
      {"enter $0", 20},            // needs 24 bytes
      {"enter $100", 64},
      {"enter $-32", 64},          // r7 + 8: above the top
      {"pop r0", size - 4},        // would bring r7 to the top
      {"ret", size - 4},
      {"pop r0", size},
      {"pop r0", 0xFFFFFFF0u},     // r7 below the base: the new r7 is too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    shown_messages().clear();
    stop_all.store(0);
    load(c.code, size);
    std::memset(host(ctx_.stack_base), 0x5A, size);
    ctx_.r[7] = ctx_.stack_base + c.r7_from_base;
    const ScriptContext before = ctx_;
    run();
    expect_fault(Msg::FaultStackArea);
    EXPECT_EQ(std::memcmp(ctx_.r, before.r, sizeof ctx_.r), 0);  // r7 unchanged, nothing loaded
    for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(host(ctx_.stack_base)[i], 0x5A) << i;  // nothing stored
  }
  // The last slot of the stack is usable: a pop from top - 8 is fine.
  shown_messages().clear();
  stop_all.store(0);
  load("pop r0\n trap #0", size);
  ctx_.r[7] = ctx_.stack_base + size - 8;
  set_u32(ctx_.r[7], 3);
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
  EXPECT_EQ(ctx_.r[0], 3u);
}

TEST_P(Slice, LeaveOutsideTheStackEndsTheContext) {
  // leave with r7 + N + 24 at or beyond the top: a normal end, nothing reloaded.
  load("leave $8", 64);
  ctx_.r[7] = ctx_.stack_base + 64 - 32;
  ctx_.r[1] = 5;
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Ended);
  EXPECT_EQ(ctx_.r[1], 5u);
  EXPECT_EQ(ctx_.r[7], ctx_.stack_base + 32);
  EXPECT_TRUE(shown_messages().empty());
}

TEST_P(Slice, InvalidOperationBytes) {
  for (const int op : {92, 128, 255}) {
    SCOPED_TRACE(op);
    shown_messages().clear();
    stop_all.store(0);
    load("movl r0, $1\n .byte " + std::to_string(op) + "\n movl r0, $2");
    run();
    expect_fault(Msg::FaultInvalidOpcode);
    EXPECT_EQ(ctx_.r[0], 1u);
    EXPECT_EQ(ctx_.pc, ctx_.image_base + 6);
  }
}

TEST_P(Slice, RegisterAboveSevenIsAnInvalidInstruction) {
  struct Case {
    const char* bytes;
  };
  const Case cases[] = {
      {".byte 3, 0x08"},                   // movl r8, r0
      {".byte 3, 0x80"},                   // movl r0, r8
      {".byte 3, 0xFF"},
      {".byte 4, 0x0F\n .long 1"},         // movl r15, $1
      {".byte 21, 0x90"},                  // movl r0, (r9)
      {".byte 31, 0x87"},                  // push r8
      {".byte 33, 0x7A"},                  // pop r10
      {".byte 37, 0xF0"},                  // call r15
      {".byte 39, 0x81\n .long 1"},        // preop r1, (r8), $1
      {".byte 24, 0x88\n .long 0x10000"},  // movl abs, r8
      {".byte 28, 0x09"},                  // movb (r9), r0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    shown_messages().clear();
    stop_all.store(0);
    load(c.bytes);
    const ScriptContext before = ctx_;
    run();
    expect_fault(Msg::FaultInvalidOpcode);
    EXPECT_EQ(std::memcmp(ctx_.r, before.r, sizeof ctx_.r), 0);
    EXPECT_EQ(ctx_.pc, before.pc);
  }
}

TEST_P(Slice, AccessOutsideScriptMemoryIsTheMemoryFault) {
  const uint32_t end = script_memory().end();
  struct Case {
    std::string code;
    uint32_t r1;
  };
  const Case cases[] = {
      {"movl r0, (r1)", 0},
      {"movl r0, (r1)", 0xFFFC},
      {"movbl r0, (r1)", end},
      {"movl r0, (r1)", end - 3},
      {"movwl r0, (r1)", end - 1},
      {"movl r0, (r1)", 0xFFFFFFFFu},
      {"movb (r1), r0", end},
      {"movl (r1), r0", 0xFFFFFFFEu},
      {"movl r0, 0", 0},
      {"movl 0xFFFFFFFC, r0", 0},
      {"movl r0, 0(r6)", 0},           // r6 = 0 below
      {"zerol 0x8000", 0},
      {"preop r0, (r1), $1", 8},
      {"preinc r0, (r1)", end},
      {"postdec.48 r0, (r1)", end - 1},
      {"jmp 0", 0},                    // instruction fetch
      {"jmp 0xFFFFFFFF", 0},
      {"call r1", end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    shown_messages().clear();
    stop_all.store(0);
    load(c.code);
    ctx_.r[1] = c.r1;
    ctx_.r[6] = 0;
    run();
    expect_fault(Msg::FaultBadAddress);
  }
  // Just inside the usable end is fine: a byte at end - 1, a word at end - 4.
  shown_messages().clear();
  stop_all.store(0);
  load("movbl r0, (r1)\n movl r2, (r3)\n trap #0");
  ctx_.r[1] = end - 1;
  ctx_.r[3] = end - 4;
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
  EXPECT_TRUE(shown_messages().empty());
}

TEST_P(Slice, StackOutsideScriptMemoryIsTheMemoryFault) {
  // A stack range that reaches past the usable end (only a forged context
  // could have one) still never touches memory outside it.
  load("push $1\n trap #0");
  const uint32_t end = script_memory().end();
  ctx_.stack_base = end - 64;
  ctx_.stack_size = 1024;
  ctx_.r[7] = end + 2;
  run();
  expect_fault(Msg::FaultBadAddress);
  shown_messages().clear();
  stop_all.store(0);
  load("pop r0\n trap #0");
  ctx_.stack_base = 0;
  ctx_.stack_size = -1;
  ctx_.r[7] = 16;
  run();
  expect_fault(Msg::FaultBadAddress);
}

TEST_P(Slice, InstructionsAtTheVeryEndOfUsableMemory) {
  // Code whose last instruction ends exactly at the usable end runs; one that
  // is cut off by the end is the memory fault.
  const uint32_t end = script_memory().end();
  load("jmp 0\n trap #0");
  ctx_.pc = end - 3;
  set_bytes(end - 3, {1, 0, 0});  // trap #0
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Running);
  EXPECT_EQ(ctx_.pc, end);
  run();  // pc at the end itself
  expect_fault(Msg::FaultBadAddress);
  std::memset(host(end - 3), 0, 3);  // memory above the allocator's top must stay zero

  shown_messages().clear();
  stop_all.store(0);
  load("nop");
  ctx_.pc = end - 5;
  set_bytes(end - 5, {0, 0, 4, 0, 1});  // nop, nop, movl r0 cut off after 3 of 6 bytes
  run();
  expect_fault(Msg::FaultBadAddress);
  EXPECT_EQ(ctx_.pc, end - 3);
  std::memset(host(end - 5), 0, 5);
}

TEST_P(Slice, OperationRewrittenAtTheUsableEnd) {
  // Stress: another thread switches the last usable byte between ret and
  // the first byte of a six-byte movl. The instruction run there must be the
  // one whose length was checked: ret (to the same byte, from a stack full
  // of its address) or the cut-off movl, which faults; never a movl reading
  // past the end.
  load("nop", 1024);
  const uint32_t end = script_memory().end();
  for (uint32_t a = ctx_.stack_base; a < ctx_.stack_base + 1024; a += 4) set_u32(a, end - 1);
  config().Error = 0;  // faults stay silent: the loop runs faster
  host(end - 1)[0] = 38;
  {
    test::Rewriter<uint8_t> rewriter(end - 1, 38, 4);
    test::repeat_for(std::chrono::milliseconds(300), [&] {
      stop_all.store(0);
      ctx_.status = ContextStatus::Running;
      ctx_.pc = end - 1;
      ctx_.r[7] = ctx_.stack_base;
      run();
      ASSERT_EQ(ctx_.pc, end - 1);
    });
  }
  host(end - 1)[0] = 0;  // memory above the allocator's top must stay zero
  config_defaults();
}

TEST_P(Slice, FaultMessageFollowsTheConfiguredLevel) {
  config().Error = 0;
  load(".byte 200");
  run();
  EXPECT_EQ(ctx_.status, ContextStatus::Faulted);
  EXPECT_EQ(stop_all.load(), 1);
  EXPECT_TRUE(shown_messages().empty());
  config_defaults();
}

TEST_P(Slice, RandomProgramsNeverEscape) {
  // Random bytes as code, with registers pointing into the image, the data
  // block, just past the usable end, far away, or 0: every run ends in a
  // fault, a normal end, or is still running after the slices it was given.
  // The programs may write anywhere in usable memory, so the test puts the
  // memory back as it found it: the allocator relies on memory it has not
  // handed out being zero.
  ScriptMemory& mem = script_memory();
  const uint32_t end0 = mem.end();
  const std::vector<uint8_t> saved(mem.host(ScriptMemory::kFirstUsable), mem.host(end0));
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  const uint32_t end = end0;
  for (int round = 0; round < 400; ++round) {
    stop_all.store(0);
    std::string bytes = ".byte ";
    const int n = 8 + static_cast<int>(next() % 120);
    for (int i = 0; i < n; ++i) bytes += (i ? ", " : "") + std::to_string(next() % 96);
    load(bytes, 256);
    for (int r = 0; r < 7; ++r) {
      const uint32_t pick = next() % 5;
      ctx_.r[r] = pick == 0   ? ctx_.image_base + next() % 128
                  : pick == 1 ? data_ + next() % kDataSize
                  : pick == 2 ? end + next() % 8
                  : pick == 3 ? next() | 0x80000000u
                              : 0;
    }
    for (int s = 0; s < 20 && ctx_.status == ContextStatus::Running && stop_all.load() == 0; ++s) run();
    EXPECT_TRUE(ctx_.status != ContextStatus::Faulted || stop_all.load() == 1);
  }
  shown_messages().clear();
  std::memcpy(mem.host(ScriptMemory::kFirstUsable), saved.data(), saved.size());
  std::memset(mem.host(end0), 0, mem.end() - end0);
}

// vm_fault ---------------------------------------------------------------------

TEST_P(Slice, AFaultIsReturnedForTheCallerToReport) {
  const std::pair<const char*, Fault> cases[] = {
      {"movl r1, $0\ndiv r0, r1", Fault::DivideByZero},
      {"movl r1, $0\ncall r1", Fault::ProgramArea},
      {"pop r0\npop r0\npop r0\npop r0\npop r0", Fault::StackArea},
      {".byte 200", Fault::InvalidInstruction},
      {"movl r1, $16\nmovl r0, (r1)", Fault::BadAddress},
  };
  for (const auto& [code, fault] : cases) {
    SCOPED_TRACE(code);
    load(code, 64);
    stop_all.store(0);
    shown_messages().clear();
    EXPECT_EQ(GetParam()(ctx_), fault);
    EXPECT_EQ(ctx_.status, ContextStatus::Faulted);
    EXPECT_EQ(stop_all.load(), 0);  // the interpreter only reports; the host stops
    EXPECT_TRUE(shown_messages().empty());
  }
  stop_all.store(0);
}

TEST(VmFault, EachCodeReportsItsMessageAndStopsEverything) {
  const std::pair<Fault, Msg> cases[] = {
      {Fault::DivideByZero, Msg::DivideByZero},
      {Fault::ProgramArea, Msg::FaultProgramArea},
      {Fault::StackArea, Msg::FaultStackArea},
      {Fault::InvalidInstruction, Msg::FaultInvalidOpcode},
      {Fault::BadAddress, Msg::FaultBadAddress},
  };
  set_message_sink(record_message);
  for (const auto& [fault, msg] : cases) {
    shown_messages().clear();
    stop_all.store(0);
    stop_on_fault(fault);
    EXPECT_EQ(stop_all.load(), 1);
    ASSERT_EQ(shown_messages().size(), 1u);
    EXPECT_EQ(shown_messages()[0], msg_text(msg));
  }
  shown_messages().clear();
  stop_all.store(0);
  stop_on_fault(Fault::None);
  EXPECT_EQ(stop_all.load(), 0);
  EXPECT_TRUE(shown_messages().empty());
  EXPECT_STREQ(msg_text_utf8(Msg::DivideByZero), "０で除算しました");
  EXPECT_STREQ(msg_text_utf8(Msg::FaultProgramArea), "プログラム領域をオーバーしました");
  EXPECT_STREQ(msg_text_utf8(Msg::FaultStackArea), "スタック領域をオーバーしました");
  EXPECT_STREQ(msg_text_utf8(Msg::FaultInvalidOpcode), "不正な命令コードが現れました");
  EXPECT_STREQ(msg_text_utf8(Msg::FaultBadAddress), "不正なアドレスにアクセスしました");

  // A fault outside the interpreter: status only moves forward.
  for (const ContextStatus from : {ContextStatus::Running, ContextStatus::Ended}) {
    stop_all.store(0);
    ScriptContext c{};
    c.status = from;
    vm_fault(c);
    EXPECT_EQ(c.status, from == ContextStatus::Running ? ContextStatus::Faulted : ContextStatus::Ended);
    EXPECT_EQ(stop_all.load(), 1);
  }
  set_message_sink(nullptr);
  stop_all.store(0);
}

}  // namespace
}  // namespace zelt::vmtest
