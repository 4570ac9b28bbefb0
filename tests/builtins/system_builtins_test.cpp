// Script-level cases of the system variables, message boxes, programs and
// native libraries (a small shared library built from source by the test).
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "builtins/builtins_subsystems.h"
#include "builtins/system.h"
#include "gfx/raster/blit.h"
#include "platform/cpu_info.h"
#include "platform/display.h"
#include "script/host/host_test_util.h"
#include "support/temp_dir.h"

namespace zelt::hosttest {
namespace {

class SystemBuiltins : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    platform::set_headless(true);
    char buf[4096];
    old_cwd_ = ::getcwd(buf, sizeof buf) ? buf : "/";
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  }
  void TearDown() override {
    kLibrariesSubsystem.reset();
    HostTest::TearDown();
    platform::set_headless(false);
    app().fullscreen = false;
    ASSERT_EQ(::chdir(old_cwd_.c_str()), 0);
  }
  // Builds kPluginSource as libplug.so in the program folder.
  bool build_plugin();
  // Waits up to ten seconds for a file that a started program writes.
  bool appears(const std::string& name) {
    for (int i = 0; i < 1000; ++i) {
      if (std::filesystem::exists(dir_ / name)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  test::TempDir dir_;
  std::string old_cwd_;
};

TEST_F(SystemBuiltins, SystemVariables) {
  config().Width = 800;
  config().Height = 600;
  config().GlobalFocus = 0;
  ASSERT_TRUE(run(
      "int main() {\n"
      "  out(getsystem(\"FULLSCREEN\")); out(getsystem(\"fullscreen\")); out(setsystem(\"fullscreen\", 0));\n"
      "  out(getsystem(\"Width\")); out(getsystem(\"height\")); out(setsystem(\"width\", 640)); out(getsystem(\"width\"));\n"
      "  out(getsystem(\"os_platform\")); out(getsystem(\"os_major\")); out(getsystem(\"os_minor\")); out(getsystem(\"os_build\"));\n"
      "  out(setsystem(\"global_focus\", 1)); out(getsystem(\"global_focus\"));\n"
      "  out(setsystem(\"color_mapping\", 1)); out(getsystem(\"color_mapping\"));\n"
      "  out(setsystem(\"os_major\", 9)); out(getsystem(\"nothing\")); out(getsystem(0)); out(setsystem(16, 1));\n"
      "  out(getsystem(\"cpu_vender\") >= 0); out(getsystem(\"CPU_CLOCK\") != 0);\n"
      "  return 0; }\n"));
  const std::string ticks = cpu_info().has_tsc() ? "1" : "0";
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "800", "600", "0", "800", "2", "6", "2", "9200", "1", "1", "1", "1",
                              "0", "0", "0", "0", "1", ticks}));
  EXPECT_EQ(config().GlobalFocus, 1);
  EXPECT_EQ(gfx::color_mapping(), 1);
}

TEST_F(SystemBuiltins, HeadlessMessageBoxesAnswerWithTheDefaultButton) {
  struct Case {
    uint32_t type;
    int32_t result;
  };
  // MB_OK, MB_OKCANCEL, MB_YESNO | MB_DEFBUTTON2, MB_YESNOCANCEL | MB_DEFBUTTON3,
  // MB_ABORTRETRYIGNORE | MB_ICONERROR, a default button beyond the set.
  const Case cases[] = {{0x0, 1}, {0x1, 1}, {0x104, 7}, {0x203, 2}, {0x12, 3}, {0x304, 6}};
  for (const Case& c : cases) {
    restart();
    ASSERT_TRUE(run("int main() { out(mbox(" + std::to_string(c.type) + ", \"caption\", \"text\")); return 0; }\n"));
    EXPECT_EQ(outputs(), Lines{std::to_string(c.result)}) << "type " << c.type;
  }
  restart();
  ASSERT_TRUE(run("int main() { out(mbox(0, 0, 0)); out(mbox(0, 16, \"x\")); out(caption(\"title\")); return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "0", "1"}));
}

TEST(SystemCommandLine, SplitsAsThePlatformRuntimeDoes) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"prog a  b", {"prog", "a", "b"}},
      {"\"my prog\" \"x y\" z", {"my prog", "x y", "z"}},
      {"a\\\\b \"c\\\"d\" e\\\\\\\"f", {"a\\\\b", "c\"d", "e\\\"f"}},
      {"  ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(sys::split_command_line(c.line), c.args) << c.line;
}

TEST_F(SystemBuiltins, ProgramsStartDetached) {
  dir_.write("mark.sh", "#!/bin/sh\necho \"$1\" > \"$2\"\n");
  std::filesystem::permissions(dir_ / "mark.sh", std::filesystem::perms::owner_all);
  // No desktop session: the wallpaper call must not reach a real desktop.
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string saved_bus = bus ? bus : "";
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  ASSERT_TRUE(run(
      "int main() {\n"
      "  out(exec(\"mark.sh \\\"one two\\\" exec.txt\"));\n"
      "  out(shell(\"open\", \"mark.sh\", \"three shell.txt\"));\n"
      "  out(shell(0, \"mark.sh\", \"four default.txt\"));\n"
      "  out(exec(\"no-such-program-here\")); out(exec(0)); out(shell(\"print\", \"mark.sh\", 0));\n"
      "  out(wallpaper(\"none.bmp\", 3)); out(wallpaper(0, 0));\n"
      "  return 0; }\n"));
  if (bus) ::setenv("DBUS_SESSION_BUS_ADDRESS", saved_bus.c_str(), 1);
  EXPECT_EQ(outputs(), (Lines{"1", "1", "1", "0", "0", "0", "1", "1"}));
  ASSERT_TRUE(appears("exec.txt") && appears("shell.txt") && appears("default.txt"));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let the writes finish
  EXPECT_EQ(dir_.read("exec.txt"), "one two\n");
  EXPECT_EQ(dir_.read("shell.txt"), "three\n");
}

TEST(SystemFps, CountsCallsOfTheLastCompletedSecond) {
  // Period starts at the first call; 60 calls a second.
  int32_t last = -1;
  uint32_t t = 5000;
  for (int i = 0; i < 60; ++i, t += 16) last = sys::fps(t);
  EXPECT_EQ(last, 0);  // still in the first second
  last = sys::fps(t + 100);  // closes the period: 60 counted
  EXPECT_EQ(last, 60);
  EXPECT_EQ(sys::fps(t + 200), 60);
}

constexpr const char* kPluginSource = R"(
#include <string.h>
#include "zelt_plugin.h"
static const ZeltPluginApi* api;
void zelt_plugin_init(const ZeltPluginApi* a) { api = a; }
int weigh(int a, int b, int c, int d, int e, int f, int g, int h, int i, int j) {
  return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i + 10 * j;
}
int negative(void) { return -7; }
int plain_strlen(const char* s) { return (int)strlen(s); }
void plain_fill(char* s) { strcpy(s, "ok"); }
int script_strlen(unsigned address) {
  const char* s = (const char*)api->script_pointer(address, 1);
  return s ? (int)strlen(s) : -1;
}
int poke(unsigned address) {
  int* p = (int*)api->script_pointer(address, 4);
  if (!p) return 0;
  *p = 1234;
  return 1;
}
)";

bool SystemBuiltins::build_plugin() {
  dir_.write("plug.c", kPluginSource);
  const std::string cmd = "cc -shared -fPIC -o " + (dir_ / "libplug.so") + " " + (dir_ / "plug.c") + " -I" +
                          std::string(ZELT_SOURCE_DIR) + "/include";
  app().program_folder = dir_.path() + "/";
  return std::system(cmd.c_str()) == 0;
}

TEST_F(SystemBuiltins, NativeLibrariesAreLoadedAndCalled) {
  ASSERT_TRUE(build_plugin());
  ASSERT_TRUE(run(
      "int main() { int lib; int w; int v;\n"
      "  out(dll_load(\"missing.dll\")); lib = dll_load(\"PLUG.DLL\"); out(lib);\n"
      "  w = dll_proc(lib, \"weigh\"); out(w != 0);\n"
      "  out(dll_call(w, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10));\n"
      "  out(dll_call(dll_proc(lib, \"negative\")));\n"
      "  out(dll_call(dll_proc(lib, \"script_strlen\"), \"hello\")); out(dll_call(dll_proc(lib, \"script_strlen\"), 16));\n"
      "  out(dll_call(dll_proc(lib, \"poke\"), &v)); out(v);\n"
      "  out(dll_proc(lib, \"absent\")); out(dll_proc(7, \"weigh\")); out(dll_proc(-1, \"weigh\")); out(dll_proc(lib, 0));\n"
      "  out(dll_call(0, 1, 2)); out(dll_call(12345));\n"
      "  out(dll_load(\"plug\"));\n"  // a second slot for the same library
      "  out(dll_unload(lib)); out(dll_unload(lib)); out(dll_unload(256)); out(dll_call(w, 1));\n"
      "  return 0; }\n"));
  app().program_folder.clear();
  EXPECT_EQ(outputs(), (Lines{"-1", "0", "1", "385", "-7", "5", "-1", "1", "1234", "0", "0", "0", "0", "0", "0",
                              "1", "1", "0", "0", "0"}));
}

// Where script memory sits at its own addresses, native functions take
// script addresses as pointers.
TEST_F(SystemBuiltins, NativeFunctionsTakeScriptAddressesAsPointers) {
  if (!script_memory().identity()) GTEST_SKIP() << "script memory is not at its own addresses in this build";
  ASSERT_TRUE(build_plugin());
  ASSERT_TRUE(run(
      "int main() { int lib; char buf[8];\n"
      "  lib = dll_load(\"plug\");\n"
      "  out(dll_call(dll_proc(lib, \"plain_strlen\"), \"hello\"));\n"
      "  dll_call(dll_proc(lib, \"plain_fill\"), buf); outs(buf);\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"5", "ok"}));
}

// A function handle kept past dll_unload is refused, also once the library
// is loaded into the same slot again.
TEST_F(SystemBuiltins, FunctionHandlesDieWithTheirLibrary) {
  ASSERT_TRUE(build_plugin());
  ASSERT_TRUE(run(
      "int main() { int w; int again;\n"
      "  w = dll_proc(dll_load(\"plug\"), \"negative\"); out(dll_unload(0));\n"
      "  out(dll_load(\"plug\")); out(dll_call(w)); again = dll_proc(0, \"negative\");\n"
      "  out(again != w); out(dll_call(again));\n"
      "  return 0; }\n"));
  app().program_folder.clear();
  EXPECT_EQ(outputs(), (Lines{"1", "0", "0", "1", "-7"}));
}

}  // namespace
}  // namespace zelt::hosttest
