// The built-in dispatcher: the number check, the DebugMode argument-count
// check, argument cells bounded by the stack block, and rows wired to
// subsystems that exist.
#include <cstring>

#include "script/host/host_test_util.h"
#include "script/vm/opcodes.h"
#include "support/temp_dir.h"

namespace zelt::hosttest {
namespace {

class BuiltinDispatch : public HostTest {};

template <class... Args>
std::string formatted(Msg id, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, msg_text(id), args...);
  return text;
}

TEST_F(BuiltinDispatch, ANumberPastTheTableStopsEveryScript) {
  ASSERT_TRUE(run("void spin(int a) { while (1) sleep(1); }\n"
                  "int main() { thd_begin(spin, 0, 0, 0); extra(); out(1); return 0; }\n"));
  EXPECT_TRUE(outputs().empty());
  EXPECT_EQ(messages(), (Lines{formatted(Msg::BuiltinBadNumber, 317)}));
  EXPECT_TRUE(close_requested());
}

TEST_F(BuiltinDispatch, DebugModeChecksTheArgumentCount) {
  struct Case {
    int debug;
    const char* call;
    const char* wrong;  // the name in the message, or nullptr when the call passes
  };
  const Case cases[] = {
      {1, "sqrt(2.0, 3.0)", "sqrt"},
      {1, "sqrt()", "sqrt"},
      {1, "sqrt(2.0)", nullptr},
      {1, "rand()", nullptr},               // count 0, no marker
      {1, "rand(1)", "rand"},
      {1, "exit(1)", "exit"},
      {1, "sprintf(0, 0, 1, 2, 3)", nullptr},  // variable counts are never checked
      {1, "sprintf()", nullptr},
      {1, "thd_suspend(99, 1, 2, 3, 4, 5, 6, 7)", "thd_suspend"},
      {0, "sqrt(2.0, 3.0)", nullptr},
  };
  for (const Case& c : cases) {
    if (&c != cases) restart();
    config().DebugMode = c.debug;
    ASSERT_TRUE(run(std::string("int main() { ") + c.call + "; out(1); return 0; }\n"));
    if (c.wrong) {
      EXPECT_TRUE(outputs().empty()) << c.call;
      EXPECT_EQ(messages(), (Lines{formatted(Msg::BuiltinArgCount, c.wrong)})) << c.call;
      EXPECT_TRUE(close_requested()) << c.call;
    } else {
      EXPECT_EQ(outputs(), (Lines{"1"})) << c.call;
      EXPECT_TRUE(messages().empty()) << c.call;
    }
  }
}

// A context stopped at a trap, on a 64-byte stack block, with r7 where a
// test puts it.
struct Stack {
  static constexpr uint32_t kSize = 64;
  ScriptAddr base = script_memory().allocate_zeroed(kSize);
  ScriptContext context{};
  Stack() {
    context.stack_base = base;
    context.stack_size = kSize;
    for (uint32_t i = 0; i < kSize / 4; ++i) put(base + 4 * i, 100 + i);
  }
  ~Stack() { script_memory().free(base); }
  ScriptAddr top() const { return base + kSize; }
  static void put(ScriptAddr a, uint32_t v) { std::memcpy(script_memory().host(a), &v, 4); }
};

TEST(BuiltinArgs, CellsStopAtTheTopOfTheStackBlock) {
  Stack s;
  struct Case {
    int64_t r7_from_top;  // r7 = top + this
    uint32_t cells;
  };
  const Case cases[] = {
      {-12, 2},  // return address and two cells
      {-4, 0},   // only the return address: a call that passed nothing
      {0, 0},    // r7 at the top: nothing above it is the block's
      {-64, 15},
      {-68, 16},  // r7 just below the block: the cells are all inside it
      {-72, 0},
  };
  for (const Case& c : cases) {
    s.context.r[7] = static_cast<uint32_t>(s.top() + c.r7_from_top);
    const BuiltinArgs args = BuiltinArgs::of(s.context);
    EXPECT_EQ(args.cells(), c.cells) << c.r7_from_top;
    for (uint32_t k = 0; k < c.cells; ++k)
      EXPECT_EQ(args.u32(k), 100 + (s.context.r[7] + 4 + 4 * k - s.base) / 4) << c.r7_from_top;
    EXPECT_EQ(args.u32(c.cells), 0u) << c.r7_from_top;
    EXPECT_EQ(args.u32(1000000), 0u);
  }
  for (uint32_t r7 : {0u, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
    s.context.r[7] = r7;
    EXPECT_EQ(BuiltinArgs::of(s.context).cells(), 0u) << r7;
  }
  // Strings and spans are checked where the cell points.
  Stack::put(s.base, 0);
  Stack::put(s.base + 4, s.base + 60);
  const BuiltinArgs args(s.base, 2);
  std::string_view text;
  EXPECT_FALSE(args.str(0, text));
  EXPECT_EQ(args.span(0, 4).data(), nullptr);
  EXPECT_EQ(args.span(1, 4).size(), 4u);
  EXPECT_EQ(args.span(1, 0xFFFFFFFFu).data(), nullptr);
}

TEST(BuiltinArgs, CountFromTheMarkerAfterTheCall) {
  Stack s;
  const ScriptAddr code = script_memory().allocate_zeroed(16);
  const vm::Insn marker = vm::op_ri(vm::Op::AddImm, 7, 7, 12);
  std::memcpy(script_memory().host(code), marker.bytes, marker.size);
  s.context.r[7] = s.top() - 4;
  struct Case {
    uint32_t return_address;
    int32_t count;
  };
  const Case cases[] = {{code, 3}, {code + 6, -1}, {0, -1}, {0xFFFFFFFE, -1}};
  for (const Case& c : cases) {
    Stack::put(s.context.r[7], c.return_address);
    EXPECT_EQ(call_arg_count(s.context), c.count) << c.return_address;
  }
  s.context.r[7] = 0;
  EXPECT_EQ(call_arg_count(s.context), -1);
  script_memory().free(code);
}

TEST_F(BuiltinDispatch, PackBuiltinsReachTheArchiveSlots) {
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  ASSERT_TRUE(run("char buf[16];\n"
                  "int main() { int h; char *p;\n"
                  "  out(pack_save(\"a.zlt\", \"hello\", 5));\n"
                  "  h = pack_open(\"a.zlt\"); out(h); out(pack_size(h));\n"
                  "  out(pack_seek(h, 1, 0)); out(pack_read(h, buf, 10)); outs(buf);\n"
                  "  out(pack_close(h)); out(pack_close(99)); out(pack_read(h, buf, 1));\n"
                  "  p = mload(\"a.zlt\", 1, 3); out(p[0]); out(p[2]); out(p);\n"
                  "  out(mload(\"missing.zlt\", 0, 0)); return 0; }\n"));
  const Lines out = outputs();
  ASSERT_EQ(out.size(), 13u);
  EXPECT_EQ(Lines(out.begin(), out.begin() + 11),
            (Lines{"1", "1", "5", "1", "4", "ello", "1", "0", "-1", "101", "108"}));
  EXPECT_EQ(out[12], "0");
  // The script cannot free the loaded block yet.
  EXPECT_TRUE(script_memory().free(static_cast<ScriptAddr>(std::stoul(out[11]))));
}

}  // namespace
}  // namespace zelt::hosttest
