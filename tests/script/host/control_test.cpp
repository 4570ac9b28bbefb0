// jump, call, exit, setjmp and longjmp through the real compiler and host.
#include "script/host/host_test_util.h"

namespace zelt::hosttest {
namespace {

class Control : public HostTest {};

TEST_F(Control, CallResumesTheCallerWithTheCalledMainsResult) {
  add("seven.c", "int main() { out(1); return 7; }\n");
  ASSERT_TRUE(run("int main() { int r; r = call(\"seven.c\"); out(r); out(2); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "7", "2"}));
  EXPECT_TRUE(messages().empty());
}

// The base context and 31 nested calls fill the thread's 32 contexts; the
// next call returns 0 and the caller goes on.
TEST_F(Control, ThirtyTwoContextsPerThread) {
  add("deep.c",
      "extern int depth;\n"
      "int main() { int r; depth = depth + 1; r = call(\"deep.c\");\n"
      "  if (r == 0) out(depth);\n"
      "  return r + 1; }\n");
  ASSERT_TRUE(run("extern int depth;\n"
                  "int main() { out(call(\"deep.c\")); return 0; }\n"));
  // 31 nested deep.c; the last one's call fails, then each returns r + 1.
  EXPECT_EQ(outputs(), (Lines{"31", "31"}));
}

TEST_F(Control, JumpReplacesTheCallerOrReturnsZero) {
  add("bad.c", "int main() { out(; }\n");
  add("next.c", "int main() { out(2); return 0; }\n");
  add("notes.txt", "int main() { out(3); return 0; }\n");
  const std::string long_name(300, 'a');
  ASSERT_TRUE(run("int main() {\n"
                  "  out(jump(\"missing.c\"));\n"
                  "  out(jump(\"bad.c\"));\n"
                  "  out(jump(\"notes.txt\"));\n"
                  "  out(jump(\"" + long_name + ".c\"));\n"
                  "  jump(\"next.c\");\n"
                  "  out(-1); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "0", "2"}));
  // The missing file and the syntax error were reported by the compiler.
  ASSERT_EQ(messages().size(), 2u);
  EXPECT_NE(messages()[0].find(msg_text(Msg::CompileOpenFailed)), std::string::npos) << messages()[0];
  EXPECT_NE(messages()[1].find("bad.c(2)"), std::string::npos) << messages()[1];
}

TEST_F(Control, CalledScriptsShareExternVariables) {
  add("triple.c",
      "extern int shared;\n"
      "int main() { out(shared); shared = shared * 3; return 0; }\n");
  ASSERT_TRUE(run("extern int shared;\n"
                  "int main() { shared = 5; call(\"triple.c\"); out(shared); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"5", "15"}));
}

// A script that jumps away frees its context, but its image stays while a
// script linked against one of its extern functions runs. Without that the
// compile of filler.c would reuse the freed image.
TEST_F(Control, ExternFunctionsOutliveTheScriptThatDefinedThem) {
  add("user.c",
      "int main() { call(\"filler.c\"); out(twice(21)); return 0; }\n");
  add("filler.c", "int main() { int a, b, c; a = 1; b = 2; c = a + b; return c; }\n");
  ASSERT_TRUE(run("extern int twice(int x) { return x + x; }\n"
                  "int main() { jump(\"user.c\"); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"42"}));
  EXPECT_TRUE(messages().empty()) << messages()[0];
}

TEST_F(Control, SetjmpAndLongjmpInOneScript) {
  ASSERT_TRUE(run("int buf[16];\n"
                  "int main() { int r;\n"
                  "  r = setjmp(buf); out(r);\n"
                  "  if (r == 0) longjmp(buf, 5);\n"
                  "  if (r == 5) longjmp(buf, 0);\n"
                  "  out(100); return 0; }\n"));
  // longjmp(buf, 0) makes setjmp return 1.
  EXPECT_EQ(outputs(), (Lines{"0", "5", "1", "100"}));
}

TEST_F(Control, LongjmpOutOfACalledScriptPopsIt) {
  add("thrower.c",
      "extern int jb[16];\n"
      "int main() { longjmp(jb, 9); out(-1); return 0; }\n");
  ASSERT_TRUE(run("extern int jb[16];\n"
                  "int main() { int r;\n"
                  "  r = setjmp(jb); out(r);\n"
                  "  if (r == 0) call(\"thrower.c\");\n"
                  "  out(200); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "9", "200"}));
}

TEST_F(Control, LongjmpWithAnUnusableBufferReturnsZero) {
  // A buffer saved by a script that has ended since.
  add("saver.c",
      "extern int jb[16];\n"
      "int main() { setjmp(jb); return 0; }\n");
  ASSERT_TRUE(run("extern int jb[16];\n"
                  "int other[16];\n"
                  "int f() { return setjmp(other); }\n"
                  "int main() {\n"
                  "  call(\"saver.c\");\n"
                  "  out(longjmp(jb, 3));\n"
                  // a frame that has returned
                  "  f(); out(longjmp(other, 4));\n"
                  // a buffer outside script memory
                  "  out(longjmp(0, 5)); out(setjmp(0));\n"
                  // a buffer naming another thread
                  "  setjmp(other); other[0] = 7; out(longjmp(other, 6));\n"
                  "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "0", "0"}));
}

// The buffer is script memory; marking it ended must not end the context.
TEST_F(Control, LongjmpKeepsTheContextsOwnFields) {
  ASSERT_TRUE(run("int buf[16];\n"
                  "int main() { int r;\n"
                  "  r = setjmp(buf);\n"
                  "  if (r == 0) { buf[1] = 1; buf[7] = 8; longjmp(buf, 4); }\n"
                  "  out(r); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"4"}));
  EXPECT_TRUE(messages().empty());
}

TEST_F(Control, ExitClosesTheProgramWithoutAQuestion) {
  config().Confirmation = 1;
  ASSERT_TRUE(run("int main() { out(1); exit(); out(2); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1"}));
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(close_requested());
  EXPECT_EQ(config().Confirmation, 0);
}

TEST_F(Control, EntryScriptThatDoesNotCompileStartsNothing) {
  add("main.c", "int main( { }\n");
  config().Load = "main.c";
  EXPECT_FALSE(script_start_entry());
  EXPECT_EQ(script_threads_running(), 0);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_NE(messages()[0].find("main.c(2)"), std::string::npos) << messages()[0];
}

}  // namespace
}  // namespace zelt::hosttest
