// The command line, run as a user runs it: the real binary in a child process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/run_zelt.h"
#include "support/saving_title.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using test::TempDir;

using test::run_zelt;
using test::RunResult;

TEST(CommandLine, HelpVersionAndUsageErrors) {
  struct Case {
    const char* args;
    int code;
    const char* output_has;
  };
  const Case cases[] = {
      {"--help", 0, "--headless"},
      {"--version", 0, "zelt " ZELT_VERSION},
      {"--bogus", 2, "unknown option '--bogus'"},
      {"--timeout", 2, "--timeout needs a number of seconds"},
      {"--timeout soon .", 2, "not a number of seconds"},
      {"--timeout -1 .", 2, "not a number of seconds"},
      {"--name", 2, "--name needs a value"},
      {"a b", 2, "more than one title folder"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_zelt(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.output_has), std::string::npos) << c.args << "\n" << r.output;
    if (c.code == 2) {
      EXPECT_NE(r.output.find("usage: zelt"), std::string::npos) << c.args;
    }
  }
}

TEST(CommandLine, WithoutDisplayTheErrorNamesHeadless) {
  TempDir title;
  const RunResult r = run_zelt(title.path(), "env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=");
  EXPECT_EQ(r.code, 1) << r.output;
  EXPECT_NE(r.output.find("--headless"), std::string::npos) << r.output;
}

TEST(CommandLine, MissingTitleFolderIsAClearError) {
  const RunResult r = run_zelt("--headless /nonexistent/title");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("/nonexistent/title"), std::string::npos) << r.output;
}

TEST(CommandLine, HeadlessRunStartsAndShutsDownAndWritesTheConfigurationBack) {
  TempDir dir;
  dir.write("title/configure.cfg", "; shipped\r\n[Screen]\r\nFullScreen=1\r\nSmoothing=0\r\n");
  dir.write("title/zelt/main.c", "void main() {}\n");
  const RunResult r = run_zelt("--headless --timeout 5 " + (dir / "title"),
                         "XDG_CONFIG_HOME=" + (dir / "home"));
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir.read("title/configure.cfg"),
            "; shipped\r\n[Screen]\r\nFullScreen=1\r\nSmoothing=0\r\n"
            "[Option]\r\nGlobalFocus=0\r\nGlobalSound=0\r\n"
            "[Window]\r\nWindowLeft=0\r\nWindowTop=0\r\nWindowWidth=0\r\nWindowHeight=0\r\n");
}

TEST(CommandLine, NameSelectsTheBaseConfigurationFile) {
  TempDir dir;
  dir.write("title/game.cfg", "[General]\nInheritance=0\n");
  const RunResult r = run_zelt("--headless --name game " + (dir / "title"),
                         "XDG_CONFIG_HOME=" + (dir / "home"));
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(dir.read("title/game.cfg").find("FullScreen=0"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "title/configure.cfg"));
}

// A screen no one could allocate, and a stack no script could run on: both
// are named on stderr, the defaults take their place and the title runs.
TEST(CommandLine, AbsurdSizesAreNamedAndTheTitleStillRuns) {
  TempDir dir;
  dir.write("title/zelt.cfg", "[Screen]\nWidth=100000\nHeight=2147483647\n[Script]\nStackSize=-1\n");
  dir.write("title/zelt/zelt.h", TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h"));
  dir.write("title/zelt/main.c",
            "#include \"zelt.h\"\nint main() { int f; f = fopen(\"ran.txt\", \"w\"); fclose(f); return 0; }\n");
  const RunResult r = run_zelt("--headless --timeout 20 " + (dir / "title"), "XDG_CONFIG_HOME=" + (dir / "home"));
  EXPECT_EQ(r.code, 0) << r.output;
  for (const char* named : {"[Screen] Width = 100000", "[Screen] Height = 2147483647", "[Script] StackSize = -1"})
    EXPECT_NE(r.output.find(named), std::string::npos) << named << "\n" << r.output;
  EXPECT_TRUE(std::filesystem::exists(dir / "title/ran.txt")) << r.output;
}

// A termination signal closes the program in order: the scripts stop, the
// system file and the configuration are saved, and the exit code tells the
// signal (128 + its number).
TEST(CommandLine, TerminationSignalsSaveEverythingThenEnd) {
  for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signo);
    TempDir dir;
    test::write_saving_title(dir, "[Screen]\r\nSmoothing=0\r\n", test::kRunThenWait);
    test::BackgroundZelt zelt(dir, "XDG_CONFIG_HOME=" + (dir / "home"), "--headless --timeout 30");
    ASSERT_TRUE(zelt.wait_running()) << zelt.errors();
    ::kill(zelt.pid(), signo);
    int status = 0;
    ASSERT_TRUE(zelt.wait_end(status)) << zelt.errors();
    ASSERT_TRUE(WIFEXITED(status)) << zelt.errors();
    EXPECT_EQ(WEXITSTATUS(status), 128 + signo) << zelt.errors();
    EXPECT_EQ(dir.read("title/save.sys"), "LAST");
    EXPECT_NE(dir.read("title/configure.cfg").find("WindowHeight=0"), std::string::npos);
  }
}

// A script thread stuck in a built-in (here reading a pipe no one writes)
// does not hold the end: --timeout still ends the run, the system file and
// the configuration are saved.
TEST(CommandLine, AThreadStuckInABuiltInDoesNotHoldTheEnd) {
  TempDir dir;
  test::write_saving_title(dir, "[Screen]\r\nSmoothing=0\r\n",
                           "f = fopen(\"pipe\", \"rb\"); fread(buf, 1, 4, f); return 0;");
  ASSERT_EQ(::mkfifo((dir / "title/pipe").c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  // Killed after 60 s if it hangs; it ends after about 1 + 2 s.
  const RunResult r = run_zelt("--headless --timeout 1 " + (dir / "title"),
                               "XDG_CONFIG_HOME=" + (dir / "home") + " timeout -s KILL 60");
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_LT(seconds, 30.0) << r.output;
  EXPECT_NE(r.output.find("did not end"), std::string::npos) << r.output;
  EXPECT_EQ(dir.read("title/save.sys"), "LAST");
  EXPECT_NE(dir.read("title/configure.cfg").find("WindowHeight=0"), std::string::npos);
}

// A configuration file nobody may write is not rewritten at exit (it keeps
// contents and mode), and the failure is said at message level 2.
TEST(CommandLine, AReadOnlyConfigurationIsKeptAndTheFailureSaid) {
  TempDir dir;
  const std::string shipped = "[General]\r\nError=2\r\n[Screen]\r\nSmoothing=0\r\n";
  dir.write("title/configure.cfg", shipped);
  ASSERT_EQ(::chmod((dir / "title/configure.cfg").c_str(), 0444), 0);
  dir.write("title/zelt/main.c", "void main() {}\n");
  const RunResult r = run_zelt("--headless --timeout 20 " + (dir / "title"), "XDG_CONFIG_HOME=" + (dir / "home"));
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir.read("title/configure.cfg"), shipped);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "title/configure.cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  EXPECT_NE(r.output.find("configure.cfg"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace zelt
