// File built-ins through the real program: ini values survive a restart in
// the active configuration file, the system file is written at shutdown
// from a block that lived on the ended script's stack, and the current
// directory at start-up is the title's folder.
#include <gtest/gtest.h>

#include <string>

#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using test::TempDir;

TEST(TitleFiles, IniAndSystemFileSurviveARestart) {
  TempDir dir;
  dir.write("title/configure.cfg", "[Game]\r\nScore=1\r\n");
  dir.write("title/zelt/zelt.h", TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h"));
  dir.write("title/zelt/main.c",
            "#include \"zelt.h\"\n"
            "int main() { char block[4]; char buf[300]; int f;\n"
            "  ini_seti(\"Game\", \"Score\", ini_geti(\"game\", \"score\", 0) + 1);\n"
            "  if (ini_gets(\"Game\", \"Name\", \"none\", buf, 300) == 4) ini_sets(\"Game\", \"Name\", \"abc\");\n"
            "  else ini_sets(\"Game\", \"Name\", buf);\n"
            "  sysfile(\"save.sys\", block, 4);\n"
            "  block[0] = 'W'; block[1] = 'X'; block[2] = block[2] + 1; block[3] = 'Z';\n"
            "  f = fopen(\"cur.txt\", \"w\"); dir_getcur(buf); fputs(buf, f); fclose(f);\n"
            "  return 0; }\n");
  const std::string args = "--headless --timeout 60 " + (dir / "title");
  const std::string env = "XDG_CONFIG_HOME=" + (dir / "home");
  for (int run = 0; run < 2; ++run) {
    const test::RunResult r = test::run_zelt(args, env);
    ASSERT_EQ(r.code, 0) << r.output;
  }
  const std::string cfg = dir.read("title/configure.cfg");
  EXPECT_NE(cfg.find("[Game]\r\nScore=3\r\nName=abc\r\n"), std::string::npos) << cfg;
  // The first shutdown wrote "WX\1Z"; the second run read it back and added one.
  EXPECT_EQ(dir.read("title/save.sys"), std::string("WX\2Z", 4));
  std::string cur = dir.path() + "/title/";
  for (char& c : cur) c = c == '/' ? '\\' : c;
  EXPECT_EQ(dir.read("title/cur.txt"), cur);
}

}  // namespace
}  // namespace zelt
