#include "files/atomic_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fifo_reader.h"
#include "support/temp_dir.h"

namespace zelt::test {
namespace {

namespace fs = std::filesystem;

bool save(const std::string& path, const std::string& bytes) {
  files::AtomicFile file;
  return file.open(path) && file.write(bytes.data(), bytes.size()) && file.commit();
}

struct stat stat_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicFile, FifosAndDevicesAreWrittenInPlace) {
  TempDir dir;
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string data(100000, 'f');  // more than a pipe holds at once
  FifoReader reader(fifo);
  files::AtomicFile file;
  ASSERT_TRUE(file.open(fifo));
  EXPECT_TRUE(file.in_place());
  EXPECT_TRUE(file.write(data.data(), data.size()));
  EXPECT_TRUE(file.commit());
  EXPECT_EQ(reader.take(), data);
  EXPECT_TRUE(S_ISFIFO(stat_of(fifo).st_mode));
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"pipe"});  // no temporary file beside it

  const struct stat before = stat_of("/dev/null");
  EXPECT_TRUE(save("/dev/null", "gone"));
  const struct stat after = stat_of("/dev/null");
  EXPECT_TRUE(S_ISCHR(after.st_mode));
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_rdev, before.st_rdev);
}

TEST(AtomicFile, AFileNobodyMayWriteIsKept) {
  TempDir dir;
  for (mode_t mode : {0444, 0400, 0000}) {
    const std::string path = dir / "keep.cfg";
    dir.write("keep.cfg", "old");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    const ino_t inode = stat_of(path).st_ino;
    errno = 0;
    EXPECT_FALSE(save(path, "new")) << std::oct << mode;
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(stat_of(path).st_mode & 07777, mode);
    EXPECT_EQ(stat_of(path).st_ino, inode);
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(dir.read("keep.cfg"), "old");
    ::unlink(path.c_str());
  }
  EXPECT_TRUE(names_in(dir.path()).empty());
}

TEST(AtomicFile, AWritableFileKeepsModeAndOwner) {
  TempDir dir;
  const std::string path = dir / "a.cfg";
  dir.write("a.cfg", "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);  // as if another user's
  }
  const struct stat before = stat_of(path);
  EXPECT_TRUE(save(path, "new"));
  EXPECT_EQ(dir.read("a.cfg"), "new");
  const struct stat after = stat_of(path);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced, not rewritten
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

TEST(AtomicFile, ALinkStaysAndItsTargetIsReplaced) {
  TempDir dir;
  dir.write("real/target.cfg", "old");
  fs::create_directories(dir / "links");
  fs::create_symlink("../real/target.cfg", dir / "links/link.cfg");
  EXPECT_TRUE(save(dir / "links/link.cfg", "new"));
  EXPECT_TRUE(fs::is_symlink(dir / "links/link.cfg"));
  EXPECT_EQ(dir.read("real/target.cfg"), "new");
  EXPECT_EQ(names_in(dir / "real"), std::vector<std::string>{"target.cfg"});
  EXPECT_EQ(names_in(dir / "links"), std::vector<std::string>{"link.cfg"});
}

TEST(AtomicFile, TempFilesOfKilledWritersAreRemovedByTheNextSave) {
  // A pid that no process has any more.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  const std::string d = std::to_string(dead);

  struct Case {
    std::string name;
    bool old;      // last written an hour ago
    bool removed;  // by a save of t.cfg
  };
  const Case cases[] = {
      {".t.cfg." + d + ".0.tmp", true, true},
      {".t.cfg." + d + ".17.tmp", true, true},
      {".t.cfg." + d + ".0.tmp", false, false},  // just written: maybe still in use
      {".t.cfg.1.0.tmp", true, false},           // its process is alive
      {".t.cfg." + d + ".tmp", true, false},     // not our pattern
      {".t.cfg." + d + ".x.tmp", true, false},
      {".t.cfg." + d + ".0.tmp.keep", true, false},
      {".t.cfg.bak." + d + ".0.tmp", true, false},
      {".u.cfg." + d + ".0.tmp", true, false},  // another target's
      {"t.cfg." + d + ".0.tmp", true, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    dir.write(c.name, "left over");
    if (c.old)
      fs::last_write_time(dir / c.name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_TRUE(save(dir / "t.cfg", "new"));
    EXPECT_EQ(!fs::exists(dir / c.name), c.removed) << c.name;
    EXPECT_EQ(dir.read("t.cfg"), "new");
  }
}

}  // namespace
}  // namespace zelt::test
