// log_out and log_clear through the debug output (headless: stderr), and
// the per-thread position of strtok.
#include "builtins/general_builtins_test_util.h"
#include "shell/debug_window.h"

namespace zelt::hosttest {
namespace {

class LogBuiltins : public HostTest {
 protected:
  void TearDown() override {
    debug_output_start(false, false);
    HostTest::TearDown();
  }
};

TEST_F(LogBuiltins, WithoutDebugModeNothingIsShown) {
  debug_output_start(false, true);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(run("int main() { out(log_out(\"%d\", 1)); out(log_clear()); return 0; }\n"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(outputs(), (Lines{"0", "0"}));
}

TEST_F(LogBuiltins, HeadlessLinesGoToStderrAsUtf8) {
  config().DebugMode = 1;
  debug_output_start(true, true);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(run("int main() {\n"
                  "  out(log_out(\"%d-%s \x82\xa0\", 5, \"x\"));\n"
                  "  out(log_out(\"%5000d|\", 7));\n"
                  "  out(log_clear());\n"
                  "  out(log_out(16));\n"
                  "  return 0; }\n"));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(outputs(), (Lines{"1", "1", "1", "0"}));
  // The second line is cut to the 4095 bytes of the line buffer.
  EXPECT_EQ(err, "5-x \xe3\x81\x82\n" + std::string(4095, ' ') + "\n");
}

TEST_F(LogBuiltins, StrtokKeepsOnePositionPerThread) {
  ASSERT_TRUE(run("extern int done; int c;\n"
                  "void worker(int a) { c = malloc(16); strcpy(c, \"x;y\"); outs(strtok(c, \";\")); free(c); done = 1; }\n"
                  "int main() { int b; b = malloc(16); strcpy(b, \"a,b\");\n"
                  "  outs(strtok(b, \",\"));\n"
                  "  thd_begin(worker, 0, 0, 0);\n"
                  "  while (done == 0) sleep(1);\n"
                  "  outs(strtok(0, \",\")); out(strtok(0, \",\")); free(b); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"a", "x", "b", "0"}));
}

}  // namespace
}  // namespace zelt::hosttest
