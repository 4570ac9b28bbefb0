#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "files/archive_fixture.h"
#include "files/file_test_fixture.h"

namespace zelt::test {
namespace {

using files::fast_read;
using files::fast_seek;
using files::fast_size;
using files::kFileBegin;
using files::kFileCurrent;
using files::kFileEnd;
using files::OpenFastFile;

class FastFile : public FileTest {};

// data.bin holds img\a.bmp and img\b.bmp; data\img.bin holds a.bmp; 亜.bin
// holds a.txt; .bin holds x; x.bin holds a member with an empty name.
TEST_F(FastFile, FindsMembersThroughEveryPathShape) {
  dir_.write("data.bin", make_archive({{"IMG\\a.bmp", "first"}, {"img\\B.bmp", "bee"}}));
  dir_.write("data/img.bin", make_archive({{"a.bmp", "second"}, {"c.bmp", "sea"}}));
  dir_.write("亜.bin", make_archive({{"a.txt", "kanji"}}));
  dir_.write(".bin", make_archive({{"x", "root"}}));
  dir_.write("x.bin", make_archive({{"", "empty name"}}));
  const std::string a = "\x88\x9F";  // 亜: its second byte 0x9F is also a lead byte value

  struct Case {
    std::string path;
    std::optional<std::string> contents;
  };
  const Case cases[] = {
      {"data\\img\\a.bmp", "first"},   // member img\a.bmp of data.bin, case ignored
      {"DATA\\Img\\A.BMP", "first"},   // archive name and member name without regard to case
      {"data\\img\\b.bmp", "bee"},
      {"data/img\\a.bmp", "first"},    // either separator names the archive
      {"data\\img/a.bmp", "second"},   // "img/a.bmp" is not "img\a.bmp": on to data\img.bin
      {"data\\img\\c.bmp", "sea"},     // only in the second archive
      {"data\\img\\d.bmp", std::nullopt},
      {a + "\\a.txt", "kanji"},        // the scan steps over whole characters
      {"\\x", std::nullopt},           // a leading separator names no archive
      {"x\\", std::nullopt},           // nor a trailing one
      {"data", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    g_messages.clear();
    EXPECT_EQ(fast_contents(c.path), c.contents) << c.path;
    if (!c.contents) {
      ASSERT_EQ(g_messages.size(), 1u) << c.path;
      EXPECT_EQ(g_messages[0], message(Msg::FastFileOpen, c.path));
    } else {
      EXPECT_TRUE(g_messages.empty()) << c.path;
    }
  }
}

TEST_F(FastFile, PlainFileWinsOverMemberAndMessagesFollowTheErrorLevel) {
  dir_.write("data.bin", make_archive({{"a.txt", "member"}}));
  dir_.write("data/a.txt", "plain");
  EXPECT_EQ(fast_contents("data\\a.txt"), "plain");
  EXPECT_EQ(fast_contents("data/A.TXT"), "plain");
  std::filesystem::create_directories(dir_ / "folder.bin.d");
  EXPECT_EQ(fast_contents("folder.bin.d"), std::nullopt);  // a folder is not a file

  config().Error = 1;
  g_messages.clear();
  EXPECT_EQ(fast_contents("data\\none.txt"), std::nullopt);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(FastFile, SearchesTheCdOnlyWithACdRoot) {
  TempDir cd;
  cd.write("DATA/movie/op.txt", "cd relative");
  cd.write("top.txt", "cd absolute");
  cd.write("DATA/pak.bin", make_archive({{"x.txt", "cd member"}}));
  config().CdDir = "DATA";

  EXPECT_EQ(fast_contents("movie\\op.txt"), std::nullopt);  // no CD root: never tried
  app().cd_root = "Q:";
  files::set_drive_mapping("Q:", cd.path());
  EXPECT_EQ(fast_contents("movie\\op.txt"), "cd relative");
  EXPECT_EQ(fast_contents("C:movie\\op.txt"), "cd relative");  // the drive is dropped
  EXPECT_EQ(fast_contents("\\top.txt"), "cd absolute");
  EXPECT_EQ(fast_contents("pak\\x.txt"), "cd member");
  dir_.write("movie/op.txt", "disk");
  EXPECT_EQ(fast_contents("movie\\op.txt"), "disk");
}

TEST_F(FastFile, WrongMagicEndsTheSearch) {
  dir_.write("a.bin", "KEP-ARC1" + std::string(12, '\0'));
  dir_.write("a/b.bin", make_archive({{"c", "unreached"}}));
  EXPECT_EQ(fast_contents("a\\b\\c"), std::nullopt);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], message(Msg::FastFileRead, "a\\b\\c"));
}

// Malformed directories: members whose names or data lie outside the name
// table or the file are not found (and the search goes on to the next
// archive); a directory that does not fit in the file cannot be read.
TEST_F(FastFile, MalformedDirectoriesNeverReadOutsideTheirBuffers) {
  const std::string names = std::string("x", 2);  // "x\0"
  const uint32_t data_at = 20 + 12 + 2;
  struct Case {
    const char* what;
    std::string archive;
    Msg result;  // FastFileOpen: not found; FastFileRead: unreadable
  };
  const Case cases[] = {
      {"name offset past the table", raw_archive(1, 1, 2, {2, data_at, 4}, names, "data"), Msg::FastFileOpen},
      {"huge name offset", raw_archive(1, 1, 2, {0xFFFFFFFF, data_at, 4}, names, "data"), Msg::FastFileOpen},
      {"unterminated name", raw_archive(1, 1, 1, {0, data_at - 1, 4}, "x", "data"), Msg::FastFileOpen},
      {"data past the end", raw_archive(1, 1, 2, {0, data_at, 5}, names, "data"), Msg::FastFileOpen},
      {"data offset past the end", raw_archive(1, 1, 2, {0, 0xFFFFFFF0, 0x20}, names, "data"), Msg::FastFileOpen},
      {"huge size", raw_archive(1, 1, 2, {0, data_at, 0xFFFFFFFF}, names, "data"), Msg::FastFileOpen},
      {"count past the end", raw_archive(1, 0xFFFFFFFF, 2, {0, data_at, 4}, names, "data"), Msg::FastFileRead},
      {"names past the end", raw_archive(1, 1, 0x7FFFFFFF, {0, data_at, 4}, names, "data"), Msg::FastFileRead},
      {"cut inside the header", std::string("KEP-ARC2\1\0\0\0", 12), Msg::FastFileRead},
      {"empty file", "", Msg::FastFileRead},
  };
  for (const Case& c : cases) {
    dir_.write("m.bin", c.archive);
    g_messages.clear();
    EXPECT_EQ(fast_contents("m\\x"), std::nullopt) << c.what;
    ASSERT_EQ(g_messages.size(), 1u) << c.what;
    EXPECT_EQ(g_messages[0], message(c.result, "m\\x")) << c.what;
  }
  // A member that is not found goes on to the next archive.
  dir_.write("m.bin", raw_archive(1, 1, 2, {0, data_at, 5}, "n\0", "data"));
  dir_.write("m/n.bin", make_archive({{"x", "next"}}));
  EXPECT_EQ(fast_contents("m\\n\\x"), "next");
  // The entry just fitting is found.
  dir_.write("m.bin", raw_archive(1, 1, 2, {0, data_at, 4}, names, "data"));
  EXPECT_EQ(fast_contents("m\\x"), "data");
}

TEST_F(FastFile, MemberReadsAndSeeksStayInsideTheMember) {
  dir_.write("pk.bin", make_archive({{"a", "0123456789"}, {"b", "XYZ"}}));
  files::FastFile* f = OpenFastFile("pk\\a");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(fast_size(f), 10);
  char buffer[32] = {};
  uint32_t got = 0;
  EXPECT_NE(fast_read(f, buffer, sizeof buffer, &got), 0);
  EXPECT_EQ(std::string(buffer, got), "0123456789");
  EXPECT_NE(fast_read(f, buffer, sizeof buffer, &got), 0);
  EXPECT_EQ(got, 0u);

  struct Case {
    int32_t from;  // position before the seek
    int origin;
    int32_t distance;
    int32_t result;
    int32_t after;  // position after it
  };
  const Case cases[] = {
      {5, kFileBegin, 0, 0, 0},     {5, kFileBegin, 10, 10, 10},  {5, kFileBegin, 11, -1, 5},
      {5, kFileBegin, -1, -1, 5},   {5, kFileCurrent, 5, 10, 10}, {5, kFileCurrent, 6, -1, 5},
      {5, kFileCurrent, -5, 0, 0},  {5, kFileCurrent, -6, -1, 5}, {5, kFileEnd, 0, 10, 10},
      {5, kFileEnd, -10, 0, 0},     {5, kFileEnd, -11, -1, 5},    {5, kFileEnd, 1, -1, 5},
      {5, 3, 7, 7, 5},  // another origin returns the distance and stays
  };
  for (const Case& c : cases) {
    ASSERT_EQ(fast_seek(f, c.from, kFileBegin), c.from);
    EXPECT_EQ(fast_seek(f, c.distance, c.origin), c.result) << c.origin << " " << c.distance;
    EXPECT_EQ(fast_seek(f, 0, kFileCurrent), c.after) << c.origin << " " << c.distance;
  }
  ASSERT_EQ(fast_seek(f, 0, kFileEnd), 10);
  EXPECT_NE(fast_read(f, buffer, 4, &got), 0);
  EXPECT_EQ(got, 0u);
  files::fast_close(f);
  EXPECT_EQ(files::fast_close(nullptr), 0);
  EXPECT_EQ(fast_size(nullptr), -1);
  EXPECT_EQ(fast_seek(nullptr, 0, kFileBegin), -1);
  EXPECT_EQ(fast_read(nullptr, buffer, 1, &got), 0);
}

TEST_F(FastFile, TypedReadsAreLittleEndianAndZeroPastTheEnd) {
  std::string bytes = "\x7F\x34\x12";
  const float value = -2.5f;
  char raw[4];
  std::memcpy(raw, &value, 4);  // the test machine is little-endian, like the format
  bytes.append(raw, 4);
  bytes += "\x01";
  dir_.write("pk.bin", make_archive({{"v", bytes}, {"w", "\xFF\xFF\xFF\xFF"}}));
  for (const char* path : {"pk\\v", "plain.v"}) {
    dir_.write("plain.v", bytes);
    files::FastFile* f = OpenFastFile(path);
    ASSERT_NE(f, nullptr) << path;
    EXPECT_EQ(files::fast_read_u8(f), 0x7F) << path;
    EXPECT_EQ(files::fast_read_u16(f), 0x1234) << path;
    EXPECT_EQ(files::fast_read_f32(f), -2.5f) << path;
    EXPECT_EQ(files::fast_read_u16(f), 0x0001) << path;  // one byte left: the other reads as 0
    EXPECT_EQ(files::fast_read_u8(f), 0) << path;
    files::fast_close(f);
  }
}

TEST_F(FastFile, PlainFileSeeks) {
  dir_.write("p.txt", "abcdef");
  files::FastFile* f = OpenFastFile("p.txt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(fast_size(f), 6);
  EXPECT_EQ(fast_seek(f, 0, kFileEnd), 6);
  EXPECT_EQ(fast_seek(f, -1, kFileBegin), -1);
  EXPECT_EQ(fast_seek(f, -7, kFileEnd), -1);
  EXPECT_EQ(fast_seek(f, 0, kFileCurrent), 6);
  EXPECT_EQ(fast_seek(f, 2, 9), -1);
  EXPECT_EQ(fast_seek(f, 10, kFileBegin), 10);  // past the end is allowed, reads nothing
  uint32_t got = 1;
  char c;
  EXPECT_NE(fast_read(f, &c, 1, &got), 0);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(fast_seek(f, -8, kFileCurrent), 2);
  EXPECT_EQ(files::fast_read_u8(f), 'c');
  files::fast_close(f);
}

// The directory cache serves repeated opens of an unchanged archive and
// notices every change.
TEST_F(FastFile, DirectoryCacheFollowsChangesToTheArchive) {
  files::archive::set_directory_cache_racy_margin_for_testing(0);
  dir_.write("c.bin", make_archive({{"a", "v1"}, {"b", "bb"}}));
  EXPECT_EQ(fast_contents("c\\a"), "v1");
  const uint64_t reads = files::archive::directory_reads_for_testing();
  EXPECT_EQ(fast_contents("c\\b"), "bb");
  EXPECT_EQ(fast_contents("c\\A"), "v1");
  EXPECT_EQ(files::archive::directory_reads_for_testing(), reads);

  // Replaced by another file (new inode).
  dir_.write("c2.bin", make_archive({{"a", "v2"}, {"c", "cc"}}));
  std::filesystem::rename(dir_ / "c2.bin", dir_ / "c.bin");
  EXPECT_EQ(fast_contents("c\\a"), "v2");
  EXPECT_EQ(fast_contents("c\\b"), std::nullopt);
  // Rewritten in place with the same size and seed.
  dir_.write("c.bin", make_archive({{"a", "v3"}, {"d", "dd"}}));
  const timespec later[2] = {{0, UTIME_OMIT}, {time(nullptr) + 5, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / "c.bin").c_str(), later, 0), 0);
  EXPECT_EQ(fast_contents("c\\a"), "v3");
  EXPECT_EQ(fast_contents("c\\d"), "dd");
  EXPECT_EQ(fast_contents("c\\c"), std::nullopt);
}

TEST_F(FastFile, ManyThreadsOpenMembersAtOnce) {
  files::archive::set_directory_cache_racy_margin_for_testing(0);
  std::vector<FixtureMember> members;
  for (int i = 0; i < 200; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "m%03d", i);
    members.push_back({name, std::string(static_cast<size_t>(i % 17), static_cast<char>('a' + i % 26))});
  }
  dir_.write("t.bin", make_archive(members));
  dir_.write("u.bin", make_archive(members, 99));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const FixtureMember& m = members[static_cast<size_t>((i * 7 + t) % 200)];
        if (fast_contents(std::string(t % 2 ? "t\\" : "u\\") + m.name) != m.data) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace zelt::test
