// Script-level cases of the ini, stream file, search, whole-file, directory
// and system-file built-ins, run in a temporary folder that is the current
// directory and holds the active configuration file.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "builtins/builtins_subsystems.h"
#include "script/host/host_test_util.h"
#include "support/temp_dir.h"

namespace zelt::hosttest {
namespace {

class FileBuiltins : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    char buf[4096];
    old_cwd_ = ::getcwd(buf, sizeof buf) ? buf : "/";
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    app().active_config = dir_ / "configure.cfg";
  }
  void TearDown() override {
    HostTest::TearDown();
    app().active_config.clear();
    ASSERT_EQ(::chdir(old_cwd_.c_str()), 0);
  }
  test::TempDir dir_;
  std::string old_cwd_;
};

TEST_F(FileBuiltins, IniValuesAreWrittenReadBackAndTheRestOfTheFileStays) {
  dir_.write("configure.cfg", "; title settings\r\n[Screen]\r\nWidth = 640\r\n\r\n[Other]\r\nx=1\r\n");
  ASSERT_TRUE(run(
      "int main() { char buf[8];\n"
      "  out(ini_geti(\"screen\", \"width\", 7));\n"       // case-insensitive names
      "  out(ini_geti(\"Screen\", \"Missing\", 7));\n"
      "  out(ini_sets(\"Screen\", \"Name\", \"long value\"));\n"
      "  out(ini_gets(\"Screen\", \"Name\", \"d\", buf, 8)); outs(buf);\n"  // cut to size - 1
      "  out(ini_gets(\"Screen\", \"None\", \"dflt\", buf, 8)); outs(buf);\n"
      "  out(ini_seti(\"Screen\", \"Width\", -5));\n"
      "  out(ini_geti(\"Screen\", \"Width\", 0));\n"
      "  out(ini_seti(\"New\", \"k\", 3));\n"
      // Wild pointers: the default, or 0 and nothing written.
      "  out(ini_geti(16, \"Width\", 9));\n"
      "  out(ini_gets(\"Screen\", \"Width\", \"d\", 16, 8));\n"
      "  out(ini_sets(\"Screen\", \"Width\", 0));\n"
      "  out(ini_seti(0, \"Width\", 1));\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"640", "7", "1", "7", "long va", "4", "dflt", "1", "-5", "1", "9", "0", "0", "0"}));
  EXPECT_EQ(dir_.read("configure.cfg"),
            "; title settings\r\n[Screen]\r\nWidth = -5\r\nName=long value\r\n\r\n[Other]\r\nx=1\r\n"
            "[New]\r\nk=3\r\n");
}

TEST_F(FileBuiltins, TextModeTranslatesLineEndsAndBinaryModeDoesNot) {
  ASSERT_TRUE(run(
      "int main() { int f; char buf[32]; int i;\n"
      "  f = fopen(\"Out.txt\", \"w\"); out(fputs(\"a\\nbc\\n\", f)); out(fwrite(\"d\\n\", 2, 1, f)); fclose(f);\n"
      "  f = fopen(\"out.TXT\", \"rt\");\n"  // case-insensitive lookup of the new file
      "  outs(fgets(buf, 32, f)); out(ftell(f)); outs(fgets(buf, 3, f)); outs(fgets(buf, 32, f));\n"
      "  out(fread(buf, 1, 32, f)); out(fgets(buf, 32, f)); fclose(f);\n"
      "  f = fopen(\"out.txt\", \"rb\"); out(fread(buf, 1, 32, f));\n"
      "  out(fseek(f, -3, 2)); out(ftell(f)); out(fread(buf, 3, 1, f)); out(buf[0]); out(buf[1]);\n"
      "  out(fseek(f, 0, 3)); out(fclose(f));\n"
      "  f = fopen(\"out.txt\", \"a+\"); fputs(\"e\", f); fseek(f, 0, 0); out(fread(buf, 2, 16, f)); fclose(f);\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "1", "a\n", "3", "bc", "\n", "2", "0", "10", "0", "7", "1", "100", "13", "-1",
                              "0", "4"}));
  EXPECT_EQ(dir_.read("Out.txt"), "a\r\nbc\r\nd\r\ne");
}

// Forged, closed and null handles, bad modes and wild buffers fail with the
// failure values and never touch memory.
TEST_F(FileBuiltins, BadHandlesModesAndBuffersFail) {
  dir_.write("data.bin", "0123456789");
  std::filesystem::create_directory(dir_ / "folder");
  ASSERT_TRUE(run(
      "int main() { int f; char buf[8];\n"
      "  out(fopen(\"missing.txt\", \"r\")); out(fopen(\"data.bin\", \"q\")); out(fopen(\"data.bin\", \"rbb\"));\n"
      "  out(fopen(\"folder\", \"r\")); out(fopen(0, \"r\")); out(fopen(\"data.bin\", 0));\n"
      "  out(fclose(0)); out(fclose(12345)); out(ftell(-1)); out(fseek(77, 0, 0));\n"
      "  out(fread(buf, 1, 8, 4096)); out(fgets(buf, 8, 4096)); out(fputs(\"x\", 4096));\n"
      "  f = fopen(\"data.bin\", \"rb\");\n"
      "  out(fread(16, 1, 4, f)); out(fread(buf, 65536, 65537, f)); out(fgets(buf, 0, f)); out(fread(buf, 0, 4, f));\n"
      "  out(fread(buf, 4, 2, f)); out(fread(buf, 4, 2, f));\n"  // 8 bytes, then 2 bytes: no whole item
      "  out(fclose(f)); out(fclose(f)); out(fread(buf, 1, 1, f));\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "0", "0", "0", "-1", "-1", "-1", "-1", "0", "0", "-1", "0", "0", "0",
                              "0", "2", "0", "0", "-1", "0"}));
}

// A handle kept after its close must not reach the stream or search that
// took its place.
TEST_F(FileBuiltins, ClosedHandlesStayClosedWhenTheirPlaceIsTaken) {
  dir_.write("a.txt", "first");
  dir_.write("b.txt", "second");
  ASSERT_TRUE(run(
      "int main() { char buf[8]; char rec[320]; int old; int f; int h;\n"
      "  old = fopen(\"a.txt\", \"rb\"); fclose(old); f = fopen(\"b.txt\", \"rb\");\n"
      "  out(f != old); out(fclose(old)); out(fread(buf, 1, 8, old)); out(fread(buf, 1, 8, f)); fclose(f);\n"
      "  old = find_first(\"a.txt\", rec); find_close(old); h = find_first(\"*.txt\", rec);\n"
      "  out(h != old); out(h > 0); out(find_close(old)); out(find_next(h, rec)); find_close(h);\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "-1", "0", "6", "1", "1", "0", "1"}));
}

TEST_F(FileBuiltins, SearchesFillTheFindRecord) {
  dir_.write("Alpha.TXT", "12345");
  dir_.write("beta.txt", "");
  dir_.write("gamma.dat", "x");
  dir_.write(".hidden", "");
  ASSERT_TRUE(run(
      "int main() { char rec[320]; int *ip; int h; int n;\n"
      "  ip = rec;\n"
      "  h = find_first(\"*.tXt\", rec); n = 0;\n"
      "  while (1) { if (rec[44] == 'A') { out(ip[0]); out(ip[7]); out(ip[8]); outs(rec + 44); out(rec[304]);\n"
      "                                    out(ip[5] != 0); }\n"
      "    n = n + 1; if (find_next(h, rec) == 0) break; }\n"
      "  out(n); out(find_close(h)); out(find_close(h)); out(find_next(h, rec));\n"
      "  out(find_first(\"*.none\", rec)); out(find_first(\"*.txt\", 16));\n"
      "  h = find_first(\".h*\", rec); out(ip[0]); find_close(h);\n"
      "  h = find_first(\"g?mma.*\", rec); outs(rec + 44); find_close(h);\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"32", "0", "5", "Alpha.TXT", "0", "1", "2", "1", "0", "0", "-1", "-1", "34",
                              "gamma.dat"}));
}

TEST_F(FileBuiltins, WholeFileOperations) {
  dir_.write("src.dat", "abc");
  dir_.write("other.dat", "zz");
  dir_.write("empty.dat", "");
  ASSERT_TRUE(run(
      "int main() {\n"
      "  out(file_check(\"SRC.DAT\")); out(file_check(\"none.dat\")); out(file_size(\"s*.dat\")); out(file_size(\"none\"));\n"
      "  out(file_copy(\"src.dat\", \"other.dat\", 1)); out(file_copy(\"src.dat\", \"copy.dat\", 1));\n"
      "  out(file_copy(\"src.dat\", \"other.dat\", 0)); out(file_size(\"other.dat\"));\n"
      "  out(file_move(\"copy.dat\", \"other.dat\")); out(file_move(\"copy.dat\", \"moved.dat\"));\n"
      "  out(file_getattr(\"moved.dat\")); out(file_setattr(\"moved.dat\", 1)); out(file_getattr(\"moved.dat\"));\n"
      "  out(file_delete(\"moved.dat\")); out(file_setattr(\"moved.dat\", 128)); out(file_delete(\"moved.dat\"));\n"
      "  out(file_getattr(\"moved.dat\")); out(file_delete(\"moved.dat\"));\n"
      "  out(dir_create(\"Sub\")); out(dir_create(\"a\\\\b\")); out(file_getattr(\"sub\"));\n"
      "  out(file_copy(\"src.dat\", \"sub\\\\in.dat\", 1)); out(dir_delete(\"sub\"));\n"
      "  out(file_delete(\"sub\\\\in.dat\")); out(dir_delete(\"sub\"));\n"
      "  out(file_check(0)); out(file_copy(\"src.dat\", 16, 0)); out(file_getattr(16));\n"
      "  out(file_copy(\"empty.dat\", \"empty2.dat\", 1)); out(file_size(\"empty2.dat\")); out(file_check(\"empty2.dat\"));\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "0", "3", "0", "0", "1", "1", "3", "0", "1", "32", "1", "33", "0", "1", "1",
                              "-1", "0", "1", "0", "16", "1", "0", "1", "1", "0", "0", "-1", "1", "0", "1"}));
  EXPECT_EQ(dir_.read("other.dat"), "abc");
}

// A name that is not code page 932 would become a host name that converts
// back to other bytes: every built-in refuses it and creates nothing.
TEST_F(FileBuiltins, NamesThatAreNotCodePage932AreRefused) {
  dir_.write("src.dat", "abc");
  ASSERT_TRUE(run(
      "int main() { char rec[320]; char lone[4]; char bad[5];\n"
      // "x" and a lone lead byte; "x", a lead byte and an invalid trail byte.
      "  lone[0] = 'x'; lone[1] = 129; lone[2] = 0; bad[0] = 'x'; bad[1] = 129; bad[2] = 32; bad[3] = 0;\n"
      "  out(fopen(lone, \"w\")); out(fopen(bad, \"a\")); out(file_check(lone)); out(file_size(lone));\n"
      "  out(find_first(lone, rec)); out(find_first(bad, rec));\n"
      "  out(dir_create(lone)); out(file_copy(\"src.dat\", lone, 0)); out(file_move(\"src.dat\", bad));\n"
      "  out(pack_save(lone, \"abcd\", 4)); out(sysfile(lone, rec, 4)); out(sysio(1));\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "0", "-1", "-1", "0", "0", "0", "0", "0", "0"}));
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_.path())) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"src.dat"});
}

// A character with two codes (0x8790 and 0x81E0 for "≒") names one file:
// searches list it under the code the host name converts to, and find it
// under either.
TEST_F(FileBuiltins, CharactersWithTwoCodesNameOneFile) {
  ASSERT_TRUE(run(
      "int main() { char rec[320]; int f;\n"
      "  f = fopen(\"\x87\x90.txt\", \"w\"); out(f != 0); fclose(f);\n"
      "  out(file_check(\"\x87\x90.TXT\")); out(file_check(\"\x81\xE0.txt\"));\n"
      "  out(find_close(find_first(\"\x87\x90*\", rec))); outs(rec + 44);\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "1", "1", "1", "\x81\xE0.txt"}));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "≒.txt"));
}

TEST_F(FileBuiltins, TimesRoundTripInLocalTime) {
  dir_.write("t.dat", "x");
  ASSERT_TRUE(run(
      "int main() { unsigned short w[8]; unsigned short r[8]; unsigned short bad[8]; int i;\n"
      "  w[0] = 2001; w[1] = 2; w[2] = 0; w[3] = 3; w[4] = 4; w[5] = 5; w[6] = 6; w[7] = 700;\n"
      "  for (i = 0; i < 8; i = i + 1) bad[i] = w[i]; bad[1] = 13;\n"
      "  out(file_settime(\"t.dat\", 0, w, w));\n"
      "  out(file_gettime(\"t.dat\", 0, 0, r));\n"
      "  for (i = 0; i < 8; i = i + 1) out(r[i]);\n"
      "  out(file_settime(\"t.dat\", 0, 0, bad)); out(file_settime(\"none.dat\", 0, 0, w));\n"
      "  out(file_gettime(\"none.dat\", 0, 0, r)); out(file_gettime(\"t.dat\", 0, 16, 0));\n"
      "  return 0; }\n"));
  // 3 February 2001 was a Saturday (6).
  EXPECT_EQ(outputs(), (Lines{"1", "1", "2001", "2", "6", "3", "4", "5", "6", "700", "0", "0", "0", "0"}));
}

TEST_F(FileBuiltins, CurrentDirectoryAndShellFolders) {
  std::filesystem::create_directories(dir_ / "home/Documents");
  std::filesystem::create_directory(dir_ / "sub");
  dir_.write("sub/in.txt", "q");
  const char* old_home = std::getenv("HOME");
  const std::string saved_home = old_home ? old_home : "";
  ::setenv("HOME", (dir_ / "home").c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  ASSERT_TRUE(run(
      "int main() { char buf[300]; int n;\n"
      "  n = dir_getcur(buf); out(buf[n - 1] == 92); outs(buf);\n"
      "  n = dir_getpath(5, buf); outs(buf);\n"
      "  out(dir_getpath(36, buf)); out(dir_getpath(37, buf)); out(dir_getpath(14, buf)); out(dir_getpath(5, 16));\n"
      "  out(dir_setcur(\"SUB\")); out(file_size(\"in.txt\")); out(dir_setcur(\"nowhere\"));\n"
      "  dir_getcur(buf); outs(buf);\n"
      "  return 0; }\n"));
  if (old_home) ::setenv("HOME", saved_home.c_str(), 1);
  std::string cur = dir_.path() + "/";
  for (char& c : cur) c = c == '/' ? '\\' : c;
  EXPECT_EQ(outputs(), (Lines{"1", cur, cur + "home\\Documents\\", "0", "0", "0", "0", "1", "1", "0", cur + "sub\\"}));
}

// Archive slots and whole-file loads: a read needs room only for what it
// can deliver; wild pointers fail without reading or writing.
TEST_F(FileBuiltins, ArchiveSlotsAndWholeFileLoads) {
  ASSERT_TRUE(run(
      "int main() { char small[5]; char *m; int h;\n"
      "  out(pack_save(\"m.z\", \"0123456789\", 10)); out(pack_save(\"s.z\", 256, 4));\n"
      "  out(pack_save(0, \"abcd\", 4)); out(pack_save(\"s.z\", \"abcd\", -1)); out(pack_save(\"e.z\", 0, 0));\n"
      "  h = pack_open(\"m.z\"); out(h); out(pack_seek(h, 6, 0));\n"
      "  out(pack_read(h, small, 8)); out(small[0]); out(small[3]);\n"
      "  out(pack_seek(h, 0, 0)); out(pack_read(h, 256, 4)); out(pack_seek(h, 0, 1)); out(pack_close(h));\n"
      "  m = mload(\"m.z\", 3, 4); out(m[0]); out(m[3]); free(m);\n"
      "  m = mload(\"m.z\", 8, 5); out(m[1]); out(m[2]); free(m);\n"
      "  out(mload(\"missing\", 0, 0)); out(mload(256, 0, 0)); out(pack_open(256));\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"1", "0", "0", "0", "1", "1", "6", "4", "54", "57", "0", "-1", "0", "1", "51", "54",
                              "57", "0", "0", "0", "0"}));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/s.z"));
  EXPECT_EQ(dir_.read("e.z"), std::string("zlt\0\0\0\0\0", 8));
}

TEST_F(FileBuiltins, SystemFileMirrorsTheBlock) {
  dir_.write("saved.sys", "AB");
  ASSERT_TRUE(run(
      "extern char block[4];\n"
      "int main() {\n"
      "  out(sysio(1)); out(sysfile(0, block, 4)); out(sysfile(\"saved.sys\", 0, 4)); out(sysfile(\"x\", 16, 4));\n"
      "  out(sysfile(\"saved.sys\", block, 4)); out(block[0]); out(block[1]); out(block[2]);\n"
      "  out(sysfile(\"new.sys\", block, 4)); block[3] = 'D'; out(sysio(1)); block[0] = 'z'; out(sysio(0));\n"
      "  out(block[0]); block[2] = 'C';\n"
      "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "0", "0", "0", "1", "65", "66", "0", "0", "1", "1", "65"}));
  EXPECT_EQ(dir_.read("new.sys"), std::string("AB\0D", 4));
  // Shutdown writes what the script last had.
  kSystemFileSubsystem.reset();
  EXPECT_EQ(dir_.read("new.sys"), "ABCD");
  kSystemFileSubsystem.reset();  // the registration is gone: nothing more is written
}

}  // namespace
}  // namespace zelt::hosttest
