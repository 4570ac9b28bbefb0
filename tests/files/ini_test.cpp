#include "files/ini.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zelt {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// ---------------------------------------------------------------- reading

struct ReadCase {
  const char* name;
  std::string file;
  std::string section;
  std::string key;
  std::optional<std::string> value;  // nullopt: absent
};

const ReadCase kReadCases[] = {
    {"plain", "[A]\nx=1\n", "A", "x", "1"},
    {"section and key ignore case", "[Screen]\r\nWidth=640\r\n", "sCREEN", "wIDTH", "640"},
    {"blanks around key and value", "[A]\n \t x \t= \t 1 2 \t\n", "A", "x", "1 2"},
    {"indented header, blanks inside brackets", "  \t[  A b \t]\nx=1\n", "A b", "x", "1"},
    {"text after ] is ignored", "[A] ; the first\nx=1\n", "A", "x", "1"},
    {"header without ] runs to the line end", "[A  \nx=1\n", "A", "x", "1"},
    {"caller's names are trimmed", "[A]\nx=1\n", " A\t", " x ", "1"},
    {"double quotes", "[A]\nx=\" 1 \"\n", "A", "x", " 1 "},
    {"single quotes", "[A]\nx= '1' \n", "A", "x", "1"},
    {"only one pair of quotes", "[A]\nx=\"\"1\"\"\n", "A", "x", "\"1\""},
    {"mismatched quotes kept", "[A]\nx=\"1'\n", "A", "x", "\"1'"},
    {"a lone quote kept", "[A]\nx=\"\n", "A", "x", "\""},
    {"quote on one end kept", "[A]\nx=\"1\n", "A", "x", "\"1"},
    {"empty value is present", "[A]\nx=\n", "A", "x", ""},
    {"value keeps later =", "[A]\nx=a=b\n", "A", "x", "a=b"},
    {"absent key", "[A]\nx=1\n", "A", "y", std::nullopt},
    {"absent section", "[A]\nx=1\n", "B", "x", std::nullopt},
    {"key of another section", "[A]\nx=1\n[B]\ny=2\n", "A", "y", std::nullopt},
    {"keys before the first section", "x=1\n[A]\n", "A", "x", std::nullopt},
    {"keys before the first section, empty name", "x=1\n[A]\n", "", "x", std::nullopt},
    {"comment is no key", "[A]\n;x=1\n", "A", ";x", std::nullopt},
    {"indented comment is no key", "[A]\n  ; x=1\n", "A", "; x", std::nullopt},
    {"line without = is no key", "[A]\nx\n", "A", "x", std::nullopt},
    {"empty key is no key", "[A]\n=1\n", "A", "", std::nullopt},
    {"first duplicate key wins", "[A]\nx=1\nX=2\n", "A", "x", "1"},
    {"first duplicate section wins", "[A]\nx=1\n[a]\nx=2\ny=3\n", "A", "x", "1"},
    {"keys of a duplicate section are not seen", "[A]\nx=1\n[a]\ny=3\n", "A", "y", std::nullopt},
    {"last line without line end", "[A]\r\nx=1", "A", "x", "1"},
    {"lone CR ends lines", "[A]\rx=1\ry=2\r", "A", "y", "2"},
    {"mixed line ends", "[A]\r\nx=1\ny=2\rz=3", "A", "z", "3"},
    {"NUL bytes are ordinary bytes", "[A\0B]\nx=1\0002\n"s, "A\0B"s, "x", "1\0002"s},
    // 0x835D has "]" as its second byte: the header must not end inside it.
    {"double-byte char with ] trail", "[\x83\x5D\x83\x41]\nx=1\n", "\x83\x5D\x83\x41", "x", "1"},
    // 0x8341 and 0x8361 differ only in a trail byte that looks like A / a.
    {"trail bytes are not case-folded", "[\x83\x41]\nx=1\n", "\x83\x61", "x", std::nullopt},
    {"double-byte key", "[A]\n\x83\x4C\x81\x5B=\x92\x6C\n", "a", "\x83\x4C\x81\x5B", "\x92\x6C"},
};

TEST(IniRead, Cases) {
  for (const ReadCase& c : kReadCases) {
    SCOPED_TRACE(c.name);
    IniFile ini = IniFile::parse(c.file);
    std::string value = "untouched";
    bool found = ini.find(c.section, c.key, value);
    ASSERT_EQ(found, c.value.has_value());
    if (found) {
      EXPECT_EQ(value, *c.value);
      EXPECT_EQ(ini.get_string(c.section, c.key, "def", 4096), *c.value);
    } else {
      EXPECT_EQ(value, "untouched");
      EXPECT_EQ(ini.get_string(c.section, c.key, "def", 4096), "def");
      EXPECT_EQ(ini.get_int(c.section, c.key, -77), -77);
    }
  }
}

TEST(IniRead, GetInt) {
  struct Case {
    const char* value;
    int32_t expect;
  };
  const Case cases[] = {
      {"12", 12},
      {"-12", -12},
      {"+7", 7},
      {"0", 0},
      {"007", 7},
      {"\"  42\"", 42},  // blanks left inside quotes are skipped
      {"\"\t-3\"", -3},
      {"12abc", 12},
      {"3.9", 3},
      {"1 2", 1},
      {"0x10", 0},
      {"abc", 0},
      {"", 555},  // present but empty: the default, as the Windows reader does
      {"-", 0},
      {"+-1", 0},
      {"- 5", 0},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      // Beyond 32 bits the value wraps modulo 2^32.
      {"2147483648", INT32_MIN},
      {"4294967295", -1},
      {"4294967297", 1},
      {"-4294967297", -1},
      {"99999999999999999999", static_cast<int32_t>(1661992959u)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    IniFile ini = IniFile::parse("[N]\nv=" + std::string(c.value) + "\n");
    EXPECT_EQ(ini.get_int("n", "V", 555), c.expect);
  }
  EXPECT_EQ(IniFile::parse("[N]\n").get_int("N", "v", -9), -9);
}

TEST(IniRead, GetStringCut) {
  // "\x82\xA0" is one double-byte character at bytes 1-2.
  const std::string file = "[S]\nv=a\x82\xA0z\n";
  struct Case {
    const char* key;
    const char* def;
    size_t size;
    std::string expect;
  };
  const Case cases[] = {
      {"v", "", 0, ""},
      {"v", "", 1, ""},
      {"v", "", 2, "a"},
      {"v", "", 3, "a"},  // a cut after 2 bytes would split the character
      {"v", "", 4, "a\x82\xA0"},
      {"v", "", 5, "a\x82\xA0z"},
      {"v", "", 100, "a\x82\xA0z"},
      {"absent", "d\x82\xA0", 0, ""},
      {"absent", "d\x82\xA0", 3, "d"},
      {"absent", "d\x82\xA0", 4, "d\x82\xA0"},
      {"absent", "", 10, ""},
  };
  IniFile ini = IniFile::parse(file);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " size " + std::to_string(c.size));
    EXPECT_EQ(ini.get_string("s", c.key, c.def, c.size), c.expect);
  }
}

// ---------------------------------------------------------------- writing

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
  const char* reads = nullptr;  // what reading gives back, when not the value itself
};

const WriteCase kWriteCases[] = {
    {"replace in place in a CRLF file", "[A]\r\nx=1\r\ny=2\r\n[B]\r\nx=3\r\n", "a", "X", "10",
     "[A]\r\nx=10\r\ny=2\r\n[B]\r\nx=3\r\n"},
    {"replace keeps indentation, spelling and blanks around =",
     "[A]\n  Width = 640  \n", "A", "WIDTH", "800", "[A]\n  Width = 800\n"},
    {"replace a quoted value", "[A]\nx=\"old\"\n", "A", "x", "new", "[A]\nx=new\n"},
    {"replace an empty value", "[A]\nx=   \n", "A", "x", "1", "[A]\nx=1\n"},
    {"replace keeps the line's own line end", "[A]\r\nx=1\ny=2\r\n", "A", "x", "5",
     "[A]\r\nx=5\ny=2\r\n"},
    {"replace in the last line without line end", "[A]\nx=1", "A", "x", "22", "[A]\nx=22"},
    {"replace with an empty value", "[A]\nx=1\n", "A", "x", "", "[A]\nx=\n"},
    {"replace the first of duplicate keys", "[A]\nx=1\nx=2\n", "A", "x", "3", "[A]\nx=3\nx=2\n"},
    {"write goes to the first of duplicate sections", "[A]\nx=1\n[a]\ny=2\n", "A", "y", "3",
     "[A]\nx=1\ny=3\n[a]\ny=2\n"},
    {"new key at the end of its section, another follows",
     "[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\nz=2\r\n", "a", "New", "v",
     "[A]\r\nx=1\r\nNew=v\r\n\r\n; about B\r\n[B]\r\nz=2\r\n"},
    {"new key after a line that is no key", "[A]\nx=1\njunk\n\n[B]\n", "A", "k", "v",
     "[A]\nx=1\njunk\nk=v\n\n[B]\n"},
    {"new key in a section without keys", "[A]\n; nothing yet\n[B]\n", "A", "k", "v",
     "[A]\nk=v\n; nothing yet\n[B]\n"},
    {"new key in the last section without final line end", "[A]\r\nx=1", "A", "k", "v",
     "[A]\r\nx=1\r\nk=v\r\n"},
    {"new key does not match keys before the first section", "k=0\n[A]\n", "A", "k", "1",
     "k=0\n[A]\nk=1\n"},
    {"new section at the end of a file without final line end", "[A]\r\nx=1", "B", "k", "v",
     "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
    {"new section after trailing blank lines", "[A]\nx=1\n\n", "B", "k", "v",
     "[A]\nx=1\n\n[B]\nk=v\n"},
    {"new section in an empty file uses CRLF", "", "Screen", "Width", "640",
     "[Screen]\r\nWidth=640\r\n"},
    {"new lines take the most frequent line end", "[A]\nx=1\ny=2\r\n", "B", "k", "v",
     "[A]\nx=1\ny=2\r\n[B]\nk=v\n"},
    {"lone CR file", "[A]\rx=1\r", "A", "k", "v", "[A]\rx=1\rk=v\r"},
    {"new section written with the caller's spelling, trimmed", "", " Ab ", " Key ", " v ",
     "[Ab]\r\nKey= v \r\n", "v"},
    {"code page 932 text and comments kept byte for byte",
     "; \x90\xDD\x92\xE8\r\n[\x83\x5D]\r\n\x96\xBC\x91\x4F=\x83\x5C\x83\x74\x83\x67\r\n"
     "; \x83\x52\x83\x81\x83\x93\x83\x67\r\n\xFF\x00\x81junk\r\nn=1\r\n"s,
     "\x83\x5D", "n", "\x82\xA0",
     "; \x90\xDD\x92\xE8\r\n[\x83\x5D]\r\n\x96\xBC\x91\x4F=\x83\x5C\x83\x74\x83\x67\r\n"
     "; \x83\x52\x83\x81\x83\x93\x83\x67\r\n\xFF\x00\x81junk\r\nn=\x82\xA0\r\n"s},
};

TEST(IniWrite, ExactBytes) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(c.name);
    IniFile ini = IniFile::parse(c.before);
    ASSERT_TRUE(ini.set(c.section, c.key, c.value));
    EXPECT_EQ(ini.serialize(), c.after);
    // The document reads what was written, and so does its re-parse.
    std::string value;
    EXPECT_TRUE(ini.find(c.section, c.key, value));
    EXPECT_EQ(value, c.reads ? c.reads : c.value);
    EXPECT_EQ(IniFile::parse(ini.serialize()).serialize(), c.after);
  }
}

TEST(IniWrite, ReadsBackAfterSeveralWrites) {
  IniFile ini = IniFile::parse("[Window]\r\nWindowLeft=5\r\n\r\n[Screen]\r\nWidth=640\r\n");
  ASSERT_TRUE(ini.set("Screen", "FullScreen", "1"));
  ASSERT_TRUE(ini.set("Window", "WindowTop", "-20"));
  ASSERT_TRUE(ini.set("Option", "GlobalFocus", "0"));
  ASSERT_TRUE(ini.set("window", "windowleft", "7"));
  EXPECT_EQ(ini.serialize(),
            "[Window]\r\nWindowLeft=7\r\nWindowTop=-20\r\n\r\n[Screen]\r\nWidth=640\r\n"
            "FullScreen=1\r\n[Option]\r\nGlobalFocus=0\r\n");
  EXPECT_EQ(ini.get_int("WINDOW", "WindowTop", 0), -20);
  EXPECT_EQ(ini.get_int("Window", "WindowLeft", 0), 7);
  EXPECT_EQ(ini.get_int("screen", "fullscreen", 0), 1);
  EXPECT_EQ(ini.get_int("Option", "GlobalFocus", 9), 0);
}

TEST(IniWrite, RejectsWhatWouldNotReadBack) {
  struct Case {
    const char* name;
    std::string section, key, value;
  };
  const Case cases[] = {
      {"empty section", "", "k", "v"},
      {"blank section", " \t", "k", "v"},
      {"empty key", "A", "", "v"},
      {"] in section", "A]B", "k", "v"},
      {"section ending in a lead byte would swallow the ]", "A\x82", "k", "v"},
      {"= in key", "A", "k=1", "v"},
      {"key starting with ;", "A", ";k", "v"},
      {"key starting with [", "A", "[k", "v"},
      {"LF in value", "A", "k", "1\n[B]"},
      {"CR in value", "A", "k", "1\r"},
      {"LF in key", "A", "k\nj", "v"},
      {"CR in section", "A\rB", "k", "v"},
  };
  const std::string file = "[A]\nk=old\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IniFile ini = IniFile::parse(file);
    EXPECT_FALSE(ini.set(c.section, c.key, c.value));
    EXPECT_EQ(ini.serialize(), file);
  }
  // "]" as the trail byte of a double-byte character is fine in a section
  // name; so is a lead byte at the end of a key (before "=") or of a value.
  IniFile ini = IniFile::parse("");
  EXPECT_TRUE(ini.set("\x83\x5D", "k", "v"));
  EXPECT_TRUE(ini.set("\x83\x5D", "k\x82", "\x82"));
  EXPECT_EQ(ini.get_string("\x83\x5D", "K", "", 10), "v");
  EXPECT_EQ(ini.get_string("\x83\x5D", "K\x82", "", 10), "\x82");
}

// ---------------------------------------------------------------- round trip

std::vector<std::pair<std::string, std::string>> odd_files() {
  std::vector<std::pair<std::string, std::string>> files = {
      {"empty", ""},
      {"one LF", "\n"},
      {"one CR", "\r"},
      {"CR CR LF", "\r\r\n"},
      {"LF CR", "\n\r"},
      {"no line end", "[A]x=1"},
      {"NULs", "\0\0[\0]=\0\n\0"s},
      {"lone lead bytes", "[\x82]\n\x82=\x82\n\x82"},
      {"unclosed quote", "[A]\nx=\"\n'"},
      {"only blanks", " \t \r\n\t"},
      {"BOM and high bytes", "\xEF\xBB\xBF[A]\r\n\xFF\xFE=\xFD\r\n"},
      {"long line", "[A]\r\nx=" + std::string(1 << 20, 'y') + "\r\n"},
  };
  std::mt19937 rng(932);
  std::string binary(8192, '\0');
  for (char& b : binary) b = static_cast<char>(rng() & 0xFF);
  files.emplace_back("random bytes", binary);
  std::string structured;
  const char* pieces[] = {"[", "]", "=", ";", "\"", "'", " ", "\t", "\r", "\n", "a", "\x83", "\x5D"};
  for (int i = 0; i < 4000; ++i) structured += pieces[rng() % std::size(pieces)];
  files.emplace_back("random ini pieces", structured);
  return files;
}

TEST(IniRoundTrip, UnmodifiedParseSerializesToTheSameBytes) {
  for (const auto& [name, bytes] : odd_files()) {
    SCOPED_TRACE(name);
    IniFile ini = IniFile::parse(bytes);
    EXPECT_TRUE(ini.loaded());
    EXPECT_TRUE(ini.serialize() == bytes);
    ini.get_int("A", "x", 0);  // queries must not disturb the bytes
    ini.get_string("a", "\x82", "", 3);
    EXPECT_TRUE(ini.serialize() == bytes);
  }
}

// ---------------------------------------------------------------- files

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "zelt-ini-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  static void write(const std::string& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Names in the folder, to show that no temporary file stays behind.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

using Names = std::vector<std::string>;

TEST_F(IniFileTest, LoadMissingDirectoryOrPipeGivesEmptyDocument) {
  fs::create_directory(path("sub"));
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);  // would block a plain open
  for (const char* name : {"missing.ini", "sub", "pipe"}) {
    SCOPED_TRACE(name);
    IniFile ini = IniFile::load(path(name));
    EXPECT_FALSE(ini.loaded());
    EXPECT_EQ(ini.serialize(), "");
    EXPECT_EQ(ini.get_int("A", "x", 3), 3);
  }
}

TEST_F(IniFileTest, LoadOddFilesUnchanged) {
  for (const auto& [name, bytes] : odd_files()) {
    SCOPED_TRACE(name);
    write(path("odd.ini"), bytes);
    IniFile ini = IniFile::load(path("odd.ini"));
    EXPECT_TRUE(ini.loaded());
    EXPECT_TRUE(ini.serialize() == bytes);
    ASSERT_TRUE(ini.save(path("copy.ini")));
    EXPECT_TRUE(read(path("copy.ini")) == bytes);
  }
  EXPECT_EQ(entries(), (Names{"copy.ini", "odd.ini"}));
}

TEST_F(IniFileTest, SaveCreatesAndReplacesLeavingNoTemporary) {
  IniFile ini = IniFile::load(path("game.cfg"));
  ASSERT_TRUE(ini.set("Screen", "Width", "640"));
  ASSERT_TRUE(ini.save(path("game.cfg")));
  EXPECT_EQ(read(path("game.cfg")), "[Screen]\r\nWidth=640\r\n");

  ini = IniFile::load(path("game.cfg"));
  EXPECT_TRUE(ini.loaded());
  ASSERT_TRUE(ini.set("screen", "width", "800"));
  ASSERT_TRUE(ini.save(path("game.cfg")));
  EXPECT_EQ(read(path("game.cfg")), "[Screen]\r\nWidth=800\r\n");
  EXPECT_EQ(entries(), (Names{"game.cfg"}));
}

TEST_F(IniFileTest, SaveKeepsPermissionBits) {
  write(path("a.ini"), "[A]\nx=1\n");
  ASSERT_EQ(::chmod(path("a.ini").c_str(), 0640), 0);
  IniFile ini = IniFile::load(path("a.ini"));
  ASSERT_TRUE(ini.set("A", "x", "2"));
  ASSERT_TRUE(ini.save(path("a.ini")));
  struct stat st;
  ASSERT_EQ(::stat(path("a.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(IniFileTest, SaveThroughSymbolicLinkKeepsTheLink) {
  write(path("real.ini"), "[A]\nx=1\n");
  fs::create_symlink("real.ini", path("link.ini"));
  IniFile ini = IniFile::load(path("link.ini"));
  ASSERT_TRUE(ini.set("A", "x", "2"));
  ASSERT_TRUE(ini.save(path("link.ini")));
  EXPECT_TRUE(fs::is_symlink(path("link.ini")));
  EXPECT_EQ(read(path("real.ini")), "[A]\nx=2\n");
  EXPECT_EQ(entries(), (Names{"link.ini", "real.ini"}));
}

TEST_F(IniFileTest, SaveFailsCleanly) {
  IniFile ini = IniFile::parse("[A]\r\nx=1\r\n");
  // Missing folder: nothing is created.
  EXPECT_FALSE(ini.save(path("nofolder/a.ini")));
  EXPECT_FALSE(fs::exists(path("nofolder")));
  // The target is a directory: the rename fails after the temporary was written.
  fs::create_directory(path("busy.ini"));
  write(path("busy.ini/inside"), "keep");
  EXPECT_FALSE(ini.save(path("busy.ini")));
  EXPECT_EQ(read(path("busy.ini/inside")), "keep");
  // A path through a regular file.
  write(path("plain"), "x");
  EXPECT_FALSE(ini.save(path("plain/a.ini")));
  EXPECT_EQ(entries(), (Names{"busy.ini", "plain"}));
}

// A write that fails halfway (here: the file size limit, which binds root too)
// leaves the old file as it was and removes the partial temporary.
TEST_F(IniFileTest, SaveWriteFailureKeepsOldFile) {
  const std::string old_bytes = "[A]\r\nx=1\r\n";
  write(path("a.ini"), old_bytes);
  IniFile ini = IniFile::load(path("a.ini"));
  ASSERT_TRUE(ini.set("A", "x", std::string(4096, 'v')));

  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 100;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool saved_ok = ini.save(path("a.ini"));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(read(path("a.ini")), old_bytes);
  EXPECT_EQ(entries(), (Names{"a.ini"}));
}

TEST_F(IniFileTest, SaveIntoUnwritableFolderFails) {
  fs::create_directory(path("ro"));
  write(path("ro/a.ini"), "[A]\nx=1\n");
  ASSERT_EQ(::chmod(path("ro").c_str(), 0555), 0);
  if (::access(path("ro").c_str(), W_OK) == 0) GTEST_SKIP() << "permissions do not bind (root)";
  IniFile ini = IniFile::load(path("ro/a.ini"));
  ASSERT_TRUE(ini.set("A", "x", "2"));
  EXPECT_FALSE(ini.save(path("ro/a.ini")));
  EXPECT_EQ(read(path("ro/a.ini")), "[A]\nx=1\n");
  EXPECT_FALSE(ini_write_string(path("ro/new.ini"), "A", "x", "1"));
  EXPECT_FALSE(fs::exists(path("ro/new.ini")));
}

TEST_F(IniFileTest, OneCallHelpers) {
  const std::string p = path("configure.cfg");
  EXPECT_EQ(ini_read_int(p, "Screen", "Width", 1024), 1024);
  EXPECT_EQ(ini_read_string(p, "Window", "Title", "none", 260), "none");

  ASSERT_TRUE(ini_write_string(p, "Screen", "Width", "640"));
  ASSERT_TRUE(ini_write_string(p, "Window", "Title", "\x83\x5E\x83\x43\x83\x67\x83\x8B"));
  ASSERT_TRUE(ini_write_string(p, "screen", "width", "800"));
  EXPECT_EQ(read(p), "[Screen]\r\nWidth=800\r\n[Window]\r\nTitle=\x83\x5E\x83\x43\x83\x67\x83\x8B\r\n");
  EXPECT_EQ(ini_read_int(p, "SCREEN", "WIDTH", 0), 800);
  EXPECT_EQ(ini_read_string(p, "window", "title", "", 4), "\x83\x5E");
  EXPECT_FALSE(ini_write_string(p, "Screen", "W=", "1"));
  EXPECT_EQ(entries(), (Names{"configure.cfg"}));
}

TEST_F(IniFileTest, WriteStringNeverReplacesAFileItCannotRead) {
  fs::create_directory(path("dir.ini"));
  EXPECT_FALSE(ini_write_string(path("dir.ini"), "A", "x", "1"));
  EXPECT_TRUE(fs::is_directory(path("dir.ini")));
  EXPECT_EQ(entries(), (Names{"dir.ini"}));
}

}  // namespace
}  // namespace zelt
