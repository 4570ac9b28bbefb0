#include "files/file_stamp.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>

#include "support/temp_dir.h"

namespace zelt::test {
namespace {

using files::changed_recently;
using files::FileStamp;

struct stat sample_stat() {
  struct stat st {};
  st.st_dev = 3;
  st.st_ino = 1234;
  st.st_size = 100;
  st.st_mtim = {1000, 500};
  st.st_ctim = {1000, 700};
  return st;
}

TEST(FileStamp, AnyChangedFieldBreaksTheMatch) {
  const FileStamp stamp = FileStamp::of(sample_stat());
  EXPECT_TRUE(stamp.matches(sample_stat()));
  struct Case {
    const char* what;
    std::function<void(struct stat&)> change;
    bool same_file;
  } cases[] = {
      {"device", [](struct stat& st) { st.st_dev = 4; }, false},
      {"inode", [](struct stat& st) { st.st_ino = 1235; }, false},
      {"size", [](struct stat& st) { st.st_size = 101; }, true},
      {"modification seconds", [](struct stat& st) { st.st_mtim.tv_sec = 999; }, true},
      {"modification nanoseconds", [](struct stat& st) { st.st_mtim.tv_nsec = 501; }, true},
      {"change time", [](struct stat& st) { st.st_ctim.tv_nsec = 701; }, true},
  };
  for (const Case& c : cases) {
    struct stat st = sample_stat();
    c.change(st);
    EXPECT_FALSE(stamp.matches(st)) << c.what;
    EXPECT_EQ(stamp.same_file(st), c.same_file) << c.what;
  }
}

TEST(FileStamp, SeesAFileReplacedOnDisk) {
  TempDir dir;
  dir.write("a", "same bytes");
  dir.write("b", "same bytes");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "a").c_str(), &st), 0);
  const FileStamp stamp = FileStamp::of(st);
  EXPECT_TRUE(stamp.matches(st));

  // Another file renamed over it: same size and contents, another inode.
  ASSERT_EQ(std::rename((dir / "b").c_str(), (dir / "a").c_str()), 0);
  struct stat replaced {};
  ASSERT_EQ(::stat((dir / "a").c_str(), &replaced), 0);
  EXPECT_FALSE(stamp.same_file(replaced));
  EXPECT_FALSE(stamp.matches(replaced));
}

TEST(FileStamp, ChangedRecentlyLooksAtTheLaterOfBothTimes) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  struct stat st {};
  st.st_mtim = {now.tv_sec - 100, 0};
  st.st_ctim = {now.tv_sec - 100, 0};
  EXPECT_FALSE(changed_recently(st, 2));
  st.st_ctim = {now.tv_sec - 1, 0};  // metadata changed just now
  EXPECT_TRUE(changed_recently(st, 2));
  EXPECT_FALSE(changed_recently(st, 0));
  st.st_ctim = {now.tv_sec - 100, 0};
  st.st_mtim = {now.tv_sec, 0};
  EXPECT_TRUE(changed_recently(st, 2));
}

}  // namespace
}  // namespace zelt::test
