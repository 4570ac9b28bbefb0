#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "shell/config_file.h"
#include "shell/startup.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using test::ScopedCwd;
using test::TempDir;

// A title folder "title/" run as program "game", and a per-user home.
class ConfigSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "title");
    std::filesystem::create_directories(dir / "home");
    a.program_folder = (dir / "title") + "/";
    a.base_name = "game";
  }
  void run() {
    ScopedCwd cwd(dir / "title");
    configure(a, dir / "home");
  }
  std::string per_user(const std::string& product) const {
    return (dir / "home") + "/TORVAL/" + product + "/configure.cfg";
  }

  TempDir dir;
  AppState a;
};

TEST_F(ConfigSearch, NoFileGivesDefaultsAndMainScriptInProgramNamedFolder) {
  run();
  const Config& c = config();
  EXPECT_EQ(c.Width, 1024);
  EXPECT_EQ(c.Height, 576);
  EXPECT_EQ(c.Depth, 24);
  EXPECT_EQ(c.Direct3D, 1);
  EXPECT_EQ(c.DirectSound, 1);
  EXPECT_EQ(c.DirectMusic, 0);
  EXPECT_EQ(c.DirectInput, 0);
  EXPECT_EQ(c.CD, 0);
  EXPECT_EQ(c.Net, 0);
  EXPECT_EQ(c.StackSize, 262144);
  EXPECT_EQ(c.HeapSize, 4194304);
  EXPECT_EQ(a.script_folder, "game\\");
  EXPECT_EQ(c.Load, "main.c");
  EXPECT_EQ(a.active_config, a.program_folder + "configure.cfg");
}

TEST_F(ConfigSearch, ConfigureCfgOverridesBaseFileKeyByKeyAndReceivesWriteBack) {
  dir.write("title/game.cfg", "[Screen]\nWidth=800\nHeight=600\n");
  dir.write("title/configure.cfg", "[screen]\nheight=480\n");
  run();
  EXPECT_EQ(config().Width, 800);
  EXPECT_EQ(config().Height, 480);
  EXPECT_EQ(a.active_config, a.program_folder + "configure.cfg");
}

TEST_F(ConfigSearch, InheritanceZeroInBaseFileStopsTheSearch) {
  dir.write("title/game.cfg", "[General]\nInheritance=0\nProduct=P\n[Screen]\nWidth=800\n");
  dir.write("title/configure.cfg", "[Screen]\nWidth=640\n");
  run();
  EXPECT_EQ(config().Width, 800);
  EXPECT_EQ(a.active_config, a.program_folder + "game.cfg");
  EXPECT_FALSE(std::filesystem::exists(dir / "home/TORVAL"));
}

TEST_F(ConfigSearch, ConfigFileNamesMatchWithoutRegardToCase) {
  dir.write("title/Configure.CFG", "[Screen]\nWidth=320\n");
  run();
  EXPECT_EQ(config().Width, 320);
  EXPECT_EQ(a.active_config, a.program_folder + "Configure.CFG");
}

TEST_F(ConfigSearch, ProductMakesThePerUserFileActiveEvenWhenAbsent) {
  dir.write("title/configure.cfg", "[General]\nProduct=MyGame\n");
  run();
  EXPECT_EQ(a.active_config, per_user("MyGame"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "home/TORVAL/MyGame"));
  EXPECT_FALSE(std::filesystem::exists(per_user("MyGame")));
}

TEST_F(ConfigSearch, PerUserFileOverridesShippedFiles) {
  dir.write("title/configure.cfg", "[General]\nProduct=MyGame\n[Screen]\nWidth=640\nDepth=16\n");
  dir.write("home/TORVAL/MyGame/configure.cfg", "[Screen]\nWidth=1280\n");
  run();
  EXPECT_EQ(config().Width, 1280);
  EXPECT_EQ(config().Depth, 16);
}

TEST_F(ConfigSearch, InheritanceZeroInConfigureCfgSkipsThePerUserFile) {
  dir.write("title/configure.cfg", "[General]\nProduct=MyGame\nInheritance=0\n");
  run();
  EXPECT_EQ(a.active_config, a.program_folder + "configure.cfg");
  EXPECT_FALSE(std::filesystem::exists(dir / "home/TORVAL"));
}

TEST_F(ConfigSearch, UncreatablePerUserFolderKeepsTheShippedFileActive) {
  dir.write("title/configure.cfg", "[General]\nProduct=MyGame\n");
  dir.write("home/TORVAL", "a file where the folder should be");
  run();
  EXPECT_EQ(a.active_config, a.program_folder + "configure.cfg");
}

TEST_F(ConfigSearch, ProductThatIsNotOneFolderNameIsIgnored) {
  for (const char* product : {"..", ".", "../../escape", "a/b", "a\\b"}) {
    dir.write("title/configure.cfg", std::string("[General]\nProduct=") + product + "\n");
    run();
    EXPECT_EQ(a.active_config, a.program_folder + "configure.cfg") << product;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "escape"));
}

TEST_F(ConfigSearch, BinaryAndAbsurdFilesNeverBreakTheRead) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  dir.write("title/game.cfg", junk);
  dir.write("title/configure.cfg", "[Screen]\nWidth=0\nHeight=-5\n[Script]\nHeapSize=-1\n");
  set_message_sink([](std::string_view, std::string_view) { return kIdOk; });
  run();
  set_message_sink(nullptr);
  // Sizes the runtime allocates by fall back to their defaults.
  EXPECT_EQ(config().Width, 1024);
  EXPECT_EQ(config().Height, 576);
  EXPECT_EQ(config().HeapSize, 4194304);
  EXPECT_EQ(config().Depth, 24);
}

std::vector<std::string> g_shown;

// Every size outside what the runtime allocates is reported with its key and
// value and replaced by the default; sizes inside the limits stay.
TEST_F(ConfigSearch, SizesOutsideTheLimitsAreReportedAndReplacedByTheDefault) {
  struct Case {
    const char* section;
    const char* key;
    int32_t Config::*field;
    const char* value;
    int32_t expected;
  };
  const Case cases[] = {
      {"Screen", "Width", &Config::Width, "100000", 1024},
      {"Screen", "Width", &Config::Width, "8192", 8192},
      {"Screen", "Height", &Config::Height, "2147483647", 576},
      {"Screen", "Height", &Config::Height, "0", 576},
      {"Screen", "Depth", &Config::Depth, "12", 24},
      {"Screen", "Depth", &Config::Depth, "16", 16},
      {"Script", "StackSize", &Config::StackSize, "-4", 262144},
      {"Script", "StackSize", &Config::StackSize, "1023", 262144},
      {"Script", "StackSize", &Config::StackSize, "1024", 1024},
      {"Script", "ProgramSize", &Config::ProgramSize, "2147483647", 0},
      {"Script", "ProgramSize", &Config::ProgramSize, "4096", 4096},
      {"Script", "HeapSize", &Config::HeapSize, "0", 0},
      {"Script", "HeapSize", &Config::HeapSize, "-1", 4194304},
  };
  set_message_sink([](std::string_view text, std::string_view) {
    g_shown.push_back(cp932::to_utf8(text));
    return kIdOk;
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    g_shown.clear();
    dir.write("title/game.cfg", std::string("[") + c.section + "]\n" + c.key + "=" + c.value + "\n");
    run();
    EXPECT_EQ(config().*c.field, c.expected);
    if (std::to_string(c.expected) == c.value) {
      EXPECT_TRUE(g_shown.empty());
    } else {
      ASSERT_EQ(g_shown.size(), 1u);
      EXPECT_EQ(g_shown[0], std::string("設定の値が範囲外です。[") + c.section + "] " + c.key + " = " + c.value +
                                "\n" + std::to_string(c.expected) + " を使います。");
    }
  }
  set_message_sink(nullptr);
}

TEST_F(ConfigSearch, StringValuesAreCutToTheirBuffers) {
  dir.write("title/configure.cfg", "[Window]\nTitle=" + std::string(400, 'x') + "\n");
  run();
  EXPECT_EQ(config().Title.size(), 255u);
}

TEST(EntryScript, LoadIsSplitAtItsLastBackslash) {
  struct Case {
    const char* load;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"scripts\\start.c", "scripts\\", "start.c"},
      {"start.c", "", "start.c"},
      {"", "game\\", "main.c"},
      {"a\\b\\c.c", "a\\b\\", "c.c"},
      // 0x95 0x5C is one double-byte character whose second byte is "\".
      {"\x95\x5C.c", "", "\x95\x5C.c"},
      {"\x95\x5C\\x.c", "\x95\x5C\\", "x.c"},
  };
  for (const Case& c : cases) {
    AppState a;
    a.base_name = "game";
    config().Load = c.load;
    split_entry_script(a);
    EXPECT_EQ(a.script_folder, c.folder) << c.load;
    EXPECT_EQ(config().Load, c.name) << c.load;
  }
}

class WriteBack : public ::testing::Test {
 protected:
  void SetUp() override {
    config_defaults();
    config().RestoreBounds = 1;
    config().WindowLeft = 10;
    config().WindowTop = -20;
    config().WindowWidth = 640;
    config().WindowHeight = 360;
  }
  TempDir dir;
};

TEST_F(WriteBack, WritesTheEightKeysAndKeepsEverythingElse) {
  dir.write("c.cfg",
            "; comment\r\n[Screen]\r\nWidth=800\r\nFullScreen=0\r\n\r\n[Other]\r\nx=\x82\xA0\r\n");
  config().Smoothing = 0;
  config().GlobalSound = 7;
  ASSERT_TRUE(config_write_back(dir / "c.cfg", true));
  EXPECT_EQ(dir.read("c.cfg"),
            "; comment\r\n[Screen]\r\nWidth=800\r\nFullScreen=1\r\nSmoothing=0\r\n\r\n"
            "[Other]\r\nx=\x82\xA0\r\n"
            "[Option]\r\nGlobalFocus=0\r\nGlobalSound=1\r\n"
            "[Window]\r\nWindowLeft=10\r\nWindowTop=-20\r\nWindowWidth=640\r\nWindowHeight=360\r\n");
}

TEST_F(WriteBack, RestoreBoundsZeroWritesZeroBounds) {
  config().RestoreBounds = 0;
  ASSERT_TRUE(config_write_back(dir / "c.cfg", false));
  const std::string text = dir.read("c.cfg");
  for (const char* key : {"WindowLeft=0", "WindowTop=0", "WindowWidth=0", "WindowHeight=0",
                          "FullScreen=0"})
    EXPECT_NE(text.find(key), std::string::npos) << key;
  EXPECT_EQ(text.find("RestoreBounds"), std::string::npos);
}

TEST_F(WriteBack, CreatesAMissingFileAndFailsCleanlyInAMissingFolder) {
  EXPECT_TRUE(config_write_back(dir / "new.cfg", false));
  EXPECT_TRUE(std::filesystem::exists(dir / "new.cfg"));
  EXPECT_FALSE(config_write_back(dir / "no/such/folder.cfg", false));
}

TEST(ConfigDefaults, CdDirGetsATrailingSeparator) {
  struct Case {
    const char* value;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""}, {"data", "data\\"}, {"data\\", "data\\"}, {"data/", "data/"},
      // A trailing 0x5C that is the second byte of a character is no separator.
      {"\x95\x5C", "\x95\x5C\\"},
  };
  for (const Case& c : cases) {
    config().CdDir = c.value;
    EXPECT_EQ(config_cd_dir(), c.expected) << c.value;
  }
  config_defaults();
}

}  // namespace
}  // namespace zelt
