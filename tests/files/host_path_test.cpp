#include "files/host_path.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using zelt::files::clear_path_cache;
using zelt::files::host_path;
using zelt::files::set_drive_mapping;
using zelt::files::set_racy_margin_for_testing;

// Code page 932 spellings of the Japanese names on disk (which are UTF-8).
const std::string kHyou = "\x95\x5C";                       // 表, trail byte "\"
const std::string kNihongo = "\x93\xFA\x96\x7B\x8C\xEA";    // 日本語

// A temporary title folder, made the current directory for the test:
//   data/img/A.bmp  data/img/b.BMP  Mixed/  both/x.txt  both/X.txt
//   表/a.txt  日本語.txt  é.txt
class HostPath : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"data/img/A.bmp", "data/img/b.BMP", "both/x.txt", "both/X.txt", "表/a.txt", "日本語.txt",
                          "é.txt"}) {
      dir_.write(f, "x");
    }
    fs::create_directory(root_ / "Mixed");
    clear_path_cache();
  }
  void TearDown() override {
    set_drive_mapping("Q:", "");
    set_racy_margin_for_testing(2);
    clear_path_cache();
  }

  void touch(const std::string& relative) { dir_.write(relative, "x"); }

  // The root as a script would spell it: "\tmp\zelt-hostpath-..." (ASCII).
  std::string script_root() const {
    std::string s = root_.string();
    for (char& c : s) {
      if (c == '/') c = '\\';
    }
    return s;
  }

  zelt::test::TempDir dir_;
  fs::path root_ = dir_.path();
  zelt::test::ScopedCwd cwd_{dir_.path()};
};

TEST_F(HostPath, ResolvesRelativePaths) {
  struct Case {
    std::string script, host;
  } cases[] = {
      {"data/img/A.bmp", "data/img/A.bmp"},
      {"DATA\\IMG\\a.BMP", "data/img/A.bmp"},
      {"Data/Img\\B.bmp", "data/img/b.BMP"},
      {"mixed", "Mixed"},
      {"data\\\\img\\a.bmp", "data/img/A.bmp"},  // doubled separators collapse
      {"DATA\\IMG\\", "data/img/"},               // a folder keeps its separator
      {".\\DATA\\..\\DATA\\img\\a.bmp", "./data/../data/img/A.bmp"},
      // The exact name wins over another that differs only in case; otherwise
      // the first in sorted order ("X.txt" < "x.txt").
      {"both\\x.txt", "both/x.txt"},
      {"both\\X.txt", "both/X.txt"},
      {"BOTH\\x.TXT", "both/X.txt"},
      // The first missing component and everything after it stay as written.
      {"data\\img\\New.bmp", "data/img/New.bmp"},
      {"DATA\\New\\Sub\\f.txt", "data/New/Sub/f.txt"},
      {"data\\img\\A.bmp\\x", "data/img/A.bmp/x"},  // below a file
      // Code page 932 names: the trail byte 0x5C of 表 is no separator.
      {kHyou + "\\A.TXT", "表/a.txt"},
      {kNihongo + ".txt", "日本語.txt"},
      {kNihongo + ".TXT", "日本語.txt"},
      // "é" has no code page 932 spelling, so no script name reaches it
      // (from_utf8 would make it "?").
      {"?.TXT", "?.TXT"},
      {"", ""},
      {std::string("data\0junk", 9), "data"},  // a script string ends at NUL
  };
  for (const Case& c : cases) EXPECT_EQ(host_path(c.script), c.host) << c.script;
}

TEST_F(HostPath, AbsolutePaths) {
  const std::string root = root_.string();
  EXPECT_EQ(host_path(script_root() + "\\DATA\\IMG\\a.bmp"), root + "/data/img/A.bmp");
  EXPECT_EQ(host_path(root + "/DATA/IMG/a.bmp"), root + "/data/img/A.bmp");
  EXPECT_EQ(host_path("\\"), "/");
  // An unmapped drive is dropped and the rest is absolute.
  EXPECT_EQ(host_path("C:" + script_root() + "\\DATA"), root + "/data");
  EXPECT_EQ(host_path("c:\\zelt-no-such-dir\\A.txt"), "/zelt-no-such-dir/A.txt");
  EXPECT_EQ(host_path("C:zelt-no-such-dir"), "/zelt-no-such-dir");
}

TEST_F(HostPath, DriveMapping) {
  const std::string root = root_.string();
  set_drive_mapping("Q:", root);
  EXPECT_EQ(host_path("Q:\\DATA\\img\\a.bmp"), root + "/data/img/A.bmp");
  EXPECT_EQ(host_path("q:data"), root + "/data");
  EXPECT_EQ(host_path("Q:\\movie\\op.mpg"), root + "/movie/op.mpg");
  EXPECT_EQ(host_path("Q:"), root);
  EXPECT_EQ(host_path("Q:\\"), root + "/");
  EXPECT_EQ(host_path("R:\\x"), "/x");

  set_drive_mapping("q:", root + "/");  // a folder given with its separator
  EXPECT_EQ(host_path("Q:\\MIXED"), root + "/Mixed");

  set_drive_mapping("Q:", "");
  EXPECT_EQ(host_path("Q:\\x"), "/x");
}

TEST_F(HostPath, SeesEntriesMadeAfterALookup) {
  EXPECT_EQ(host_path("DATA\\IMG\\NEW.BMP"), "data/img/NEW.BMP");
  touch("data/img/new.bmp");
  EXPECT_EQ(host_path("DATA\\IMG\\NEW.BMP"), "data/img/new.bmp");

  fs::remove(root_ / "data/img/new.bmp");
  touch("data/img/New.Bmp");
  EXPECT_EQ(host_path("DATA\\IMG\\NEW.BMP"), "data/img/New.Bmp");
}

TEST_F(HostPath, SeesEntriesAfterMtimeIsSetBackAndAfterClear) {
  const fs::path dir = root_ / "data/img";
  const auto old_time = fs::last_write_time(dir) - std::chrono::hours(24);
  fs::last_write_time(dir, old_time);
  EXPECT_EQ(host_path("data\\img\\LATE.BMP"), "data/img/LATE.BMP");
  touch("data/img/late.bmp");
  fs::last_write_time(dir, old_time);  // as an extractor restoring times would
  EXPECT_EQ(host_path("data\\img\\LATE.BMP"), "data/img/late.bmp");
  clear_path_cache();
  EXPECT_EQ(host_path("data\\img\\LATE.BMP"), "data/img/late.bmp");
}

// With listings trusted as soon as they are read, what keeps them current is
// the check of the directory's identity and times alone. Directory times are
// set a day back first, so a change made within the same clock tick as the
// lookup still shows.
TEST_F(HostPath, TrustedListingNoticesANewEntry) {
  set_racy_margin_for_testing(0);
  const fs::path dir = root_ / "data/img";
  fs::last_write_time(dir, fs::last_write_time(dir) - std::chrono::hours(24));
  EXPECT_EQ(host_path("DATA\\IMG\\NEW.BMP"), "data/img/NEW.BMP");
  touch("data/img/new.bmp");
  EXPECT_EQ(host_path("DATA\\IMG\\NEW.BMP"), "data/img/new.bmp");
}

TEST_F(HostPath, RelativeKeysFollowTheCurrentDirectory) {
  // Two folders with a "data" each, spelled differently and with the same
  // times: a listing cached for one must not answer for the other after a
  // change of directory.
  set_racy_margin_for_testing(0);
  touch("other/Data/Img/a.Bmp");
  const auto old_time = fs::last_write_time(root_ / "data") - std::chrono::hours(24);
  for (const char* d : {"", "data", "data/img", "other", "other/Data", "other/Data/Img"}) {
    fs::last_write_time(root_ / d, old_time);
  }
  EXPECT_EQ(host_path("DATA\\IMG\\A.BMP"), "data/img/A.bmp");
  fs::current_path(root_ / "other");
  EXPECT_EQ(host_path("DATA\\IMG\\A.BMP"), "Data/Img/a.Bmp");
}

TEST_F(HostPath, LongAndOddPaths) {
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += "Ab\\";
  std::string expected;
  for (int i = 0; i < 3000; ++i) expected += "Ab/";
  EXPECT_EQ(host_path(deep), expected);

  const std::string long_name(1000, 'X');
  EXPECT_EQ(host_path("DATA\\" + long_name + "\\a"), "data/" + long_name + "/a");
}

// A name that is not code page 932 has no host spelling that converts back
// to it: it resolves to "", which every file operation refuses, rather than
// to a host name that no script could find again.
TEST_F(HostPath, RefusesNamesThatAreNotCodePage932) {
  set_drive_mapping("Q:", root_.string());
  const std::string cases[] = {
      "data\\img\\\x81",          // a lone lead byte at the end
      "data\\\x81\x20x\\a.bmp",  // a lead byte with an invalid trail byte
      "Q:\\new\\\x85\x40",       // unassigned
      "\xFF\\a",
      "\\tmp\\\x80",
  };
  for (const std::string& script : cases) {
    EXPECT_EQ(host_path(script), "") << script;
  }
}

// Some characters have two codes (NEC and IBM extensions): a name on disk is
// found under either.
TEST_F(HostPath, CharactersWithTwoCodesFindTheSameFile) {
  touch("≒.txt");  // 0x81E0, also coded 0x8790
  EXPECT_EQ(host_path("\x81\xE0.TXT"), "≒.txt");
  EXPECT_EQ(host_path("\x87\x90.TXT"), "≒.txt");
  EXPECT_EQ(host_path("\x87\x90.txt"), "≒.txt");
}

TEST_F(HostPath, ConcurrentLookups) {
  std::atomic<int> failures{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        if (host_path("DATA\\IMG\\a.BMP") != "data/img/A.bmp") ++failures;
        if (host_path(kHyou + "\\A.TXT") != "表/a.txt") ++failures;
      }
    });
  }
  std::thread clearer([&] {
    while (!done) clear_path_cache();
  });
  for (auto& th : threads) th.join();
  done = true;
  clearer.join();
  EXPECT_EQ(failures, 0);
}

}  // namespace
