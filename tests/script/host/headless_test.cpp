// Titles run headless: the real binary compiles the entry script, runs it on
// a script thread and ends when nothing runs, on exit or on a fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using test::TempDir;

// The timeout only guards against a hang; every case ends on its own.
test::RunResult run_title(const TempDir& dir) {
  return test::run_zelt("--headless --timeout 60 " + (dir / "title"), "XDG_CONFIG_HOME=" + (dir / "home"));
}

std::string header() { return TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h"); }

TEST(Headless, TitlesRunAndEnd) {
  struct Case {
    const char* what;
    const char* config;       // configure.cfg
    const char* script_path;  // below the title folder
    const char* script;
    const char* output_has;   // "" for nothing in particular
    bool marks;               // the script wrote mark.zlt
  };
  const Case cases[] = {
      {"main returns", "", "zelt/main.c",
       "int main() { pack_save(\"mark.zlt\", \"ok\", 2); return 0; }\n", "", true},
      {"exit while a thread sleeps", "", "zelt/main.c",
       "void idle(int a) { sleep(1000000); }\n"
       "int main() { thd_begin(idle, 0, 0, 0); pack_save(\"mark.zlt\", \"ok\", 2); exit(); return 0; }\n",
       "", true},
      {"a fault while a thread spins", "", "zelt/main.c",
       "void spin(int a) { while (1) sleep(0); }\n"
       "int main() { int z; thd_begin(spin, 0, 0, 0); z = 0; z = 1 / z; pack_save(\"mark.zlt\", \"ok\", 2); return 0; }\n",
       "０で除算しました", false},
      {"a compile error", "", "zelt/main.c", "int main( {\n", "main.c(2) : ", false},
      {"no entry script", "", "zelt/other.c", "int main() { return 0; }\n", "ファイルのオープンに失敗しました", false},
      {"[Script] Load names a folder", "[Script]\nLoad=scripts\\start.c\n", "scripts/start.c",
       "int main() { pack_save(\"mark.zlt\", \"ok\", 2); return 0; }\n", "", true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.write("title/configure.cfg", c.config);
    const std::string folder = std::filesystem::path(c.script_path).parent_path().string();
    dir.write("title/" + folder + "/zelt.h", header());
    dir.write(std::string("title/") + c.script_path, std::string("#include \"zelt.h\"\n") + c.script);
    const test::RunResult r = run_title(dir);
    EXPECT_EQ(r.code, 0) << c.what << "\n" << r.output;
    EXPECT_NE(r.output.find(c.output_has), std::string::npos) << c.what << "\n" << r.output;
    EXPECT_EQ(std::filesystem::exists(dir / "title/mark.zlt"), c.marks) << c.what << "\n" << r.output;
    // Shut down in order: the configuration was written back.
    EXPECT_NE(dir.read("title/configure.cfg").find("FullScreen=0"), std::string::npos) << c.what;
  }
}

}  // namespace
}  // namespace zelt
