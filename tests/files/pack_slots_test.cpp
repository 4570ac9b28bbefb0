#include "files/pack_slots.h"

#include <cstring>

#include "files/archive_fixture.h"
#include "files/file_test_fixture.h"

namespace zelt::test {
namespace {

using files::mload;
using files::pack_close;
using files::pack_open;
using files::pack_read;
using files::pack_save;
using files::pack_seek;
using files::pack_size;

// Script memory blocks for one test, freed afterwards.
class PackSlots : public FileTest {
 protected:
  void TearDown() override {
    files::pack_reset();
    for (ScriptAddr a : blocks_) script_memory().free(a);
    FileTest::TearDown();
  }
  ScriptAddr script_bytes(const std::string& bytes) {
    const ScriptAddr a = script_memory().allocate(static_cast<uint32_t>(bytes.size()));
    EXPECT_NE(a, 0u);
    std::memcpy(script_memory().host(a), bytes.data(), bytes.size());
    blocks_.push_back(a);
    return a;
  }
  ScriptAddr script_string(const std::string& s) { return script_bytes(s + '\0'); }
  std::string script_read(ScriptAddr a, size_t n) {
    return std::string(reinterpret_cast<const char*>(script_memory().host(a)), n);
  }

  std::vector<ScriptAddr> blocks_;
};

TEST_F(PackSlots, SixteenSlotsFromTheLowestFree) {
  dir_.write("f.txt", "x");
  const ScriptAddr path = script_string("f.txt");
  for (int i = 1; i <= files::kPackSlots; ++i) EXPECT_EQ(pack_open(path), i);
  EXPECT_EQ(pack_open(path), 0);  // a seventeenth file
  EXPECT_EQ(pack_close(3), 1);
  EXPECT_EQ(pack_close(3), 1);  // an empty slot closes too
  EXPECT_EQ(pack_open(path), 3);
  for (int32_t bad : {0, -1, 17, INT32_MIN}) {
    EXPECT_EQ(pack_close(bad), 0) << bad;
    EXPECT_EQ(pack_size(bad), -1) << bad;
    EXPECT_EQ(pack_seek(bad, 0, 0), -1) << bad;
    EXPECT_EQ(pack_read(bad, script_bytes("b"), 1), -1) << bad;
  }
  files::pack_reset();
  EXPECT_EQ(pack_size(1), -1);
  EXPECT_EQ(pack_open(script_string("missing")), 0);
  EXPECT_EQ(pack_open(0), 0);
  EXPECT_EQ(pack_open(0xFFFFFFF0u), 0);
}

TEST_F(PackSlots, ReadSeekAndSizeOfCompressedAndPlainFiles) {
  const std::string data = "The quick brown fox";
  ASSERT_EQ(pack_save(script_string("c.z"), script_bytes(data), static_cast<int32_t>(data.size())), 1);
  dir_.write("p.bin", make_archive({{"plain", data}}));
  for (const char* path : {"c.z", "p\\plain"}) {
    const int32_t h = pack_open(script_string(path));
    ASSERT_GT(h, 0) << path;
    EXPECT_EQ(pack_size(h), 19) << path;
    EXPECT_EQ(pack_seek(h, 0, 2), 19) << path;
    EXPECT_EQ(pack_seek(h, 16, 0), 16) << path;
    const ScriptAddr buffer = script_bytes(std::string(8, '.'));
    EXPECT_EQ(pack_read(h, buffer, 8), 3) << path;  // more than remain: what is there
    EXPECT_EQ(script_read(buffer, 3), "fox");
    EXPECT_EQ(pack_read(h, buffer, 8), 0) << path;
    // The count may exceed the buffer when fewer bytes remain than it holds.
    EXPECT_EQ(pack_seek(h, 4, 0), 4);
    const ScriptAddr small = script_bytes(std::string(5, '.'));
    EXPECT_EQ(pack_read(h, small, 5), 5);
    EXPECT_EQ(script_read(small, 5), "quick");
    // A buffer outside script memory fails without reading.
    EXPECT_EQ(pack_read(h, 0x100, 4), -1) << path;
    EXPECT_EQ(pack_read(h, 0xFFFFFFF0u, 4), -1) << path;
    EXPECT_EQ(pack_seek(h, 0, 1), 9) << path;
    EXPECT_EQ(pack_close(h), 1);
  }
}

TEST_F(PackSlots, SaveChecksItsArguments) {
  EXPECT_EQ(pack_save(script_string("s.z"), 0x100, 4), 0);  // data outside script memory
  EXPECT_FALSE(std::filesystem::exists(dir_ / "s.z"));
  EXPECT_EQ(pack_save(0, script_bytes("abcd"), 4), 0);
  EXPECT_EQ(pack_save(script_string("s.z"), script_bytes("abcd"), -1), 0);
  EXPECT_EQ(pack_save(script_string("s.z"), 0, 0), 1);
  EXPECT_EQ(dir_.read("s.z"), std::string("zlt\0\0\0\0\0", 8));
}

TEST_F(PackSlots, MloadLoadsWholeFilesAndParts) {
  const std::string data = "0123456789";
  ASSERT_EQ(pack_save(script_string("m.z"), script_bytes(data), 10), 1);
  dir_.write("m.txt", data);
  for (const char* name : {"m.z", "m.txt"}) {
    const ScriptAddr path = script_string(name);
    struct Case {
      int32_t offset, size;
      std::string expected;
    };
    const Case cases[] = {
        {0, 0, "0123456789"},
        {0, -5, "0123456789"},  // size <= 0: the whole file
        {3, 4, "3456"},
        {-3, 4, "0123"},        // a negative offset reads from the start
        {8, 5, std::string("89\0\0\0", 5)},
        {10, 2, std::string("\0\0", 2)},
        {50, 3, std::string("\0\0\0", 3)},  // past the end: nothing read
    };
    for (const Case& c : cases) {
      const ScriptAddr block = mload(path, c.offset, c.size);
      ASSERT_NE(block, 0u) << name << " " << c.offset;
      EXPECT_EQ(script_read(block, c.expected.size()), c.expected) << name << " " << c.offset << " " << c.size;
      EXPECT_TRUE(script_memory().free(block));
    }
  }
  EXPECT_EQ(mload(script_string("missing"), 0, 0), 0u);
  EXPECT_EQ(mload(0x100, 0, 0), 0u);
}

}  // namespace
}  // namespace zelt::test
