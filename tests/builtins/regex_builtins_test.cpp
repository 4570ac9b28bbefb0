// Script-level cases of the regular expressions: Shift_JIS patterns, the
// match region record in script memory, the clamping of positions, and bad
// handles and regions.
#include "builtins/builtins_subsystems.h"
#include "script/host/host_test_util.h"

namespace zelt::hosttest {
namespace {

class RegexBuiltins : public HostTest {
 protected:
  void TearDown() override {
    kRegexSubsystem.reset();
    HostTest::TearDown();
  }
};

// Prints the region record: count, then begin/end of each register.
constexpr const char* kShow =
    "void show(int *m) { int i; int *b; int *e; b = m[2]; e = m[3]; out(m[1]);\n"
    "  for (i = 0; i < m[1]; i = i + 1) { out(b[i]); out(e[i]); } }\n";

TEST_F(RegexBuiltins, DoubleByteCharactersAreUnits) {
  // "\x82\xa0" is a full-width hiragana a; "\x82\xa2" hiragana i.
  ASSERT_TRUE(run(std::string(kShow) +
                  "int main() { int r; int m; char *s;\n"
                  "  s = \"x\x82\xa0\x82\xa2" "y\";\n"
                  "  m = match_new(); out(m[0]); out(m[1]);\n"
                  "  r = reg_new(\"\x82\xa0(.)\"); out(reg_search(r, s, 6, 0, 6, m)); show(m);\n"
                  "  out(reg_match(r, s, 6, 1, m)); show(m);\n"
                  "  out(reg_match(r, s, 6, 0, m)); show(m);\n"  // no match: registers hold -1
                  "  out(reg_search(r, s, 6, 9, 9, m));\n"       // start and range beyond the length
                  "  out(reg_search(r, s, 6, 6, 0, m));\n"       // backwards
                  "  out(reg_search(r, s, 6, -1, -1, m));\n"     // unsigned: both count as the length
                  "  out(match_clear(m)); show(m);\n"
                  "  out(reg_free(r)); out(match_free(m)); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "1", "2", "1", "5", "3", "5", "4", "2", "1", "5", "3", "5", "-1", "2", "-1",
                              "-1", "-1", "-1", "-1", "1", "-1", "1", "2", "-1", "-1", "-1", "-1", "1", "1"}));
}

TEST_F(RegexBuiltins, CompileErrorsAndBadArgumentsFail) {
  ASSERT_TRUE(run("int main() { int r; int m; int fake[4];\n"
                  "  out(reg_new(\"a(b\")); out(reg_new(0)); out(reg_new(16));\n"
                  "  r = reg_new(\"b+\"); m = match_new();\n"
                  "  out(reg_search(r, \"abbc\", 4, 0, 4, 0));\n"  // no region is fine
                  "  out(reg_search(r, \"abbc\", 4, 0, 4, fake));\n"  // a region the runtime did not make
                  "  out(reg_search(r, 16, 4, 0, 4, m)); out(reg_match(r, \"abbc\", 100000000, 0, m));\n"
                  "  out(reg_search(12345, \"abbc\", 4, 0, 4, m)); out(reg_match(0, \"abbc\", 4, 1, m));\n"
                  "  out(match_clear(0)); out(match_clear(fake)); out(match_free(fake));\n"
                  "  out(reg_free(r)); out(reg_free(r)); out(reg_search(r, \"abbc\", 4, 0, 4, m));\n"
                  "  out(match_free(m)); out(match_free(m)); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "1", "-30", "-30", "-30", "-30", "-30", "0", "0", "0", "1", "0",
                              "-30", "1", "0"}));
}

// A freed pattern's handle does not reach the pattern compiled after it.
TEST_F(RegexBuiltins, AFreedHandleStaysFreed) {
  ASSERT_TRUE(run("int main() { int old; int r;\n"
                  "  old = reg_new(\"a\"); reg_free(old); r = reg_new(\"b\");\n"
                  "  out(r != old); out(reg_search(old, \"ab\", 2, 0, 2, 0)); out(reg_free(old));\n"
                  "  out(reg_search(r, \"ab\", 2, 0, 2, 0)); reg_free(r); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "-30", "0", "1"}));
}

// The runtime reset frees compiled patterns; compiling works again after it.
TEST_F(RegexBuiltins, ResetReleasesTheLibrary) {
  ASSERT_TRUE(run("extern int r;\nint main() { r = reg_new(\"a\"); out(reg_search(r, \"ba\", 2, 0, 2, 0)); return 0; }\n"));
  kRegexSubsystem.reset();
  ASSERT_TRUE(run("extern int r;\nint main() { out(reg_search(r, \"ba\", 2, 0, 2, 0)); r = reg_new(\"a\");\n"
                  "  out(reg_search(r, \"ba\", 2, 0, 2, 0)); reg_free(r); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "-30", "1"}));
}

}  // namespace
}  // namespace zelt::hosttest
