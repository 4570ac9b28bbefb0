// zelt check and zelt disasm, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "support/temp_dir.h"

namespace zelt {
namespace {

struct ToolRun {
  int code = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

ToolRun run_tool(const std::string& args, const test::TempDir& dir) {
  const std::string err_file = dir / "stderr.txt";
  const std::string command = std::string(ZELT_BINARY) + " " + args + " 2>" + err_file;
  ToolRun r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int status = ::pclose(pipe);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = test::TempDir::read_file(err_file);
  return r;
}

TEST(CompilerTools, CheckReportsAndExitsWithTheResult) {
  test::TempDir dir;
  // Includes are found beside the script; a missing ';' is only reported.
  dir.write("game/lib.h", "int twice(int x) { return 2 * x; }\n");
  dir.write("game/main.c", "#include \"LIB.H\"\nvoid main() {\n\tint v;\n\tv = twice(3)\n}\n");
  ToolRun r = run_tool("check " + (dir / "game/main.c"), dir);
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("main.c(5) : ';' がありません"), std::string::npos) << r.err;
  dir.write("game/bad.c", "void main() {\n\tundefined_call();\n}\n");
  r = run_tool("check " + (dir / "game/bad.c"), dir);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("undefined_call 関数は定義されていません。"), std::string::npos) << r.err;
  r = run_tool("check " + (dir / "game/none.c"), dir);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("none.c(0) : ファイルのオープンに失敗しました。"), std::string::npos) << r.err;
  r = run_tool("check", dir);
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("usage: zelt check SCRIPT.c"), std::string::npos);
}

TEST(CompilerTools, DisasmPrintsTheImage) {
  test::TempDir dir;
  dir.write("s.c", "#trap\nint out(int v);\nint g = 258;\nint sq(int x) { return x * x; }\n"
                   "void main() { out(sq(g)); }\n");
  test::ScopedCwd cwd(dir.path());
  const ToolRun r = run_tool("disasm s.c", dir);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("; image 0x", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("code 79, data 4, extern data 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nout:\n"), std::string::npos);
  EXPECT_NE(r.out.find("trap #0"), std::string::npos);
  EXPECT_NE(r.out.find("\nsq:\n"), std::string::npos);
  EXPECT_NE(r.out.find("mul r2, r0"), std::string::npos);
  EXPECT_NE(r.out.find("add r7, $4"), std::string::npos);
  EXPECT_NE(r.out.find(", 4 bytes\n"), std::string::npos);
  EXPECT_NE(r.out.find(" 02 01 00 00\n"), std::string::npos) << r.out;
  EXPECT_EQ(run_tool("disasm a b", dir).code, 2);
}

}  // namespace
}  // namespace zelt
