#include <gtest/gtest.h>

#include <filesystem>

#include "shell/cd_location.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using test::TempDir;

class CdLocation : public ::testing::Test {
 protected:
  void SetUp() override {
    places.mount_table = dir / "mounts";
    places.media_roots = {dir / "media/user", dir / "mnt"};
    std::filesystem::create_directories(dir / "media/user/GAME_DISC");
    std::filesystem::create_directories(dir / "mnt/OTHER");
    std::filesystem::create_directories(dir / "srv/My Disc");
    std::filesystem::create_directories(dir / "srv/optical");
    dir.write("mounts",
              "/dev/sda1 / ext4 rw 0 0\n"
              "/dev/sr1 " + (dir / "srv/My\\040Disc") + " udf ro 0 0\n" +
              "/dev/sr0 " + (dir / "srv/optical") + " iso9660 ro 0 0\n" +
              "garbage\n");
  }
  TempDir dir;
  CdSearchPlaces places;
};

TEST_F(CdLocation, FindsTheVolumeByItsLabel) {
  struct Case {
    std::string label, expected;
  };
  const Case cases[] = {
      {"GAME_DISC", dir / "media/user/GAME_DISC"},
      {"OTHER", dir / "mnt/OTHER"},
      {"My Disc", dir / "srv/My Disc"},  // from the mount table, with its escaped blank
      {"game_disc", ""},                 // labels compare with case
      {"MISSING", ""},
      {"", dir / "srv/My Disc"},         // no label: the first mounted optical disc
      {"..", ""},
      {"../user", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(find_cd_mount(c.label, places), c.expected) << c.label;
}

TEST_F(CdLocation, MissingMountTableIsNotAnError) {
  places.mount_table = dir / "none";
  EXPECT_EQ(find_cd_mount("GAME_DISC", places), dir / "media/user/GAME_DISC");
  EXPECT_EQ(find_cd_mount("", places), "");
}

}  // namespace
}  // namespace zelt
