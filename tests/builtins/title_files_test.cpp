// File built-ins through the real program: ini values survive a restart in
// the active configuration file, the system file holds what the script last
// had however the program ends, and the current directory at start-up is the
// title's folder.
#include <gtest/gtest.h>

#include <string>

#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using test::TempDir;

// A title in dir/title: its configuration (none when empty) and entry script.
void write_title(TempDir& dir, const std::string& cfg, const std::string& main_c) {
  if (!cfg.empty()) dir.write("title/zelt.cfg", cfg);
  dir.write("title/zelt/zelt.h", TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h"));
  dir.write("title/zelt/main.c", "#include \"zelt.h\"\n" + main_c);
}

// Runs the title headless; `shell` goes before the program on its command line.
test::RunResult run_title(TempDir& dir, const std::string& options = "", const std::string& shell = "") {
  return test::run_zelt("--headless --timeout 30 " + options + (dir / "title"),
                        shell + "XDG_CONFIG_HOME=" + (dir / "home"));
}

TEST(TitleFiles, IniAndSystemFileSurviveARestart) {
  TempDir dir;
  dir.write("title/configure.cfg", "[Game]\r\nScore=1\r\n");
  write_title(dir, "",
            "int main() { char block[4]; char buf[300]; int f;\n"
            "  ini_seti(\"Game\", \"Score\", ini_geti(\"game\", \"score\", 0) + 1);\n"
            "  if (ini_gets(\"Game\", \"Name\", \"none\", buf, 300) == 4) ini_sets(\"Game\", \"Name\", \"abc\");\n"
            "  else ini_sets(\"Game\", \"Name\", buf);\n"
            "  sysfile(\"save.sys\", block, 4);\n"
            "  block[0] = 'W'; block[1] = 'X'; block[2] = block[2] + 1; block[3] = 'Z';\n"
            "  f = fopen(\"cur.txt\", \"w\"); dir_getcur(buf); fputs(buf, f); fclose(f);\n"
            "  return 0; }\n");
  for (int run = 0; run < 2; ++run) {
    const test::RunResult r = run_title(dir);
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

// The system file's block in the program image (a global) or on the stack:
// both are given back when the script's thread ends, before the shutdown.
TEST(TitleFiles, SystemFileHoldsWhatTheScriptLastHadHoweverTheProgramEnds) {
  struct Case {
    const char* ending;
    const char* last_statement;
    const char* events;  // input events, or nullptr
  };
  const Case cases[] = {
      {"exit", "exit();", nullptr},
      {"fault", "return 1 / zero;", nullptr},
      {"close button", "while (1) sleep(10);", "200 close\n"},
      {"end of main", "return 0;", nullptr},
  };
  for (const Case& c : cases) {
    for (const bool global : {true, false}) {
      SCOPED_TRACE(std::string(c.ending) + (global ? ", global block" : ", stack block"));
      TempDir dir;
      dir.write("title/save.sys", "old!");
      write_title(dir, "[Option]\nConfirmation=0\n",
                  std::string(global ? "char block[4];\n" : "") + "int zero;\nint main() {\n" +
                      (global ? "" : "  char block[4];\n") +
                      "  sysfile(\"save.sys\", block, 4);\n"
                      "  block[0] = 'L'; block[1] = 'A'; block[2] = 'S'; block[3] = 'T';\n  " +
                      c.last_statement + "\n}\n");
      std::string options;
      if (c.events) {
        dir.write("events.txt", c.events);
        options = "--input " + (dir / "events.txt") + " ";
      }
      const test::RunResult r = run_title(dir, options);
      EXPECT_EQ(r.code, 0) << r.output;
      EXPECT_EQ(r.output.find("time is up"), std::string::npos) << r.output;
      EXPECT_EQ(dir.read("title/save.sys"), "LAST");
    }
  }
}

// The block's thread ends while another one goes on and reuses the memory:
// the file still holds what the ended script left in its block.
TEST(TitleFiles, SystemFileIsWrittenBeforeItsMemoryIsReused) {
  TempDir dir;
  write_title(dir, "",
            "int scribble(int arg) { int i; char *p; sleep(100);\n"
            "  for (i = 0; i < 400; i++) { p = malloc(1024); if (p) memset(p, 'x', 1024); }\n"
            "  exit(); }\n"
            "int main() { char block[4];\n"
            "  sysfile(\"save.sys\", block, 4); thd_begin(scribble, 0, 0, 0);\n"
            "  block[0] = 'L'; block[1] = 'A'; block[2] = 'S'; block[3] = 'T';\n"
            "  return 0; }\n");
  const test::RunResult r = run_title(dir);
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir.read("title/save.sys"), "LAST");
}

// A write that fails (here: no file may grow) leaves the old file whole and
// says so at message level 2.
TEST(TitleFiles, AFailedSystemFileWriteKeepsTheOldFile) {
  TempDir dir;
  dir.write("title/save.sys", "old!");
  write_title(dir, "[General]\nError=2\n",
              "char block[4];\n"
              "int main() { sysfile(\"save.sys\", block, 4); block[0] = 'n'; return sysio(1); }\n");
  // Writing past the file size limit fails with EFBIG once the signal is ignored.
  const test::RunResult r = run_title(dir, "", "trap '' XFSZ; ulimit -f 0; ");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir.read("title/save.sys"), "old!");
  EXPECT_NE(r.output.find("save.sys"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace zelt
