#include "files/pack_slots.h"

#include <cstring>
#include <string>

#include "files/archive_fixture.h"
#include "files/exp_file.h"
#include "files/file_test_fixture.h"

namespace zelt::test {
namespace {

using files::pack_close;
using files::pack_left;
using files::pack_open;
using files::pack_read;
using files::pack_seek;
using files::pack_size;

class PackSlots : public FileTest {
 protected:
  void TearDown() override {
    files::pack_reset();
    FileTest::TearDown();
  }
};

std::span<uint8_t> bytes(std::string& s) { return {reinterpret_cast<uint8_t*>(s.data()), s.size()}; }

TEST_F(PackSlots, SixteenSlotsFromTheLowestFree) {
  dir_.write("f.txt", "x");
  for (int i = 1; i <= files::kPackSlots; ++i) EXPECT_EQ(pack_open("f.txt"), i);
  EXPECT_EQ(pack_open("f.txt"), 0);  // a seventeenth file
  EXPECT_EQ(pack_close(3), 1);
  EXPECT_EQ(pack_close(3), 1);  // an empty slot closes too
  EXPECT_EQ(pack_open("f.txt"), 3);
  std::string buffer = "b";
  for (int32_t bad : {0, -1, 17, INT32_MIN}) {
    EXPECT_EQ(pack_close(bad), 0) << bad;
    EXPECT_EQ(pack_size(bad), -1) << bad;
    EXPECT_EQ(pack_seek(bad, 0, 0), -1) << bad;
    EXPECT_EQ(pack_left(bad), -1) << bad;
    EXPECT_EQ(pack_read(bad, bytes(buffer)), -1) << bad;
  }
  files::kArchiveSlotsSubsystem.reset();
  EXPECT_EQ(pack_size(1), -1);
  EXPECT_EQ(pack_open("missing"), 0);
}

TEST_F(PackSlots, ReadSeekAndSizeOfCompressedAndPlainFiles) {
  const std::string data = "The quick brown fox";
  ASSERT_EQ(files::write_compressed("c.z", data.data(), static_cast<uint32_t>(data.size())), 1);
  dir_.write("p.bin", make_archive({{"plain", data}}));
  for (const char* path : {"c.z", "p\\plain"}) {
    const int32_t h = pack_open(path);
    ASSERT_GT(h, 0) << path;
    EXPECT_EQ(pack_size(h), 19) << path;
    EXPECT_EQ(pack_seek(h, 0, 2), 19) << path;
    EXPECT_EQ(pack_seek(h, 16, 0), 16) << path;
    EXPECT_EQ(pack_left(h), 3) << path;
    std::string buffer(3, '.');
    EXPECT_EQ(pack_read(h, bytes(buffer)), 3) << path;
    EXPECT_EQ(buffer, "fox");
    EXPECT_EQ(pack_left(h), 0) << path;
    EXPECT_EQ(pack_read(h, bytes(buffer)), 0) << path;
    EXPECT_EQ(pack_seek(h, 4, 0), 4);
    std::string word(5, '.');
    EXPECT_EQ(pack_read(h, bytes(word)), 5);
    EXPECT_EQ(word, "quick");
    EXPECT_EQ(pack_seek(h, 0, 1), 9) << path;
    EXPECT_EQ(pack_close(h), 1);
  }
}

}  // namespace
}  // namespace zelt::test
