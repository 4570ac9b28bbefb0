// zelt pack/unpack/compress/decompress, run as a title author runs them.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "files/archive_fixture.h"
#include "files/file_test_fixture.h"
#include "support/run_zelt.h"

namespace zelt::test {
namespace {

namespace fs = std::filesystem;

bool has(const RunResult& r, const std::string& text) { return r.output.find(text) != std::string::npos; }

// The members of an archive in directory order, read with the fixture's
// own description of the format.
std::vector<FixtureMember> list_archive(const std::string& bytes) {
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return v;
  };
  std::vector<FixtureMember> out;
  if (bytes.size() < 20 || bytes.compare(0, 8, "KEP-ARC2") != 0) return out;
  uint32_t s = fixture_keystream_step(u32(8));
  const uint32_t count = u32(12) ^ s;
  s = fixture_keystream_step(s);
  const uint32_t names_size = u32(16) ^ s;
  const size_t names_at = 20 + 12 * size_t{count};
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t w[3];
    for (int k = 0; k < 3; ++k) {
      s = fixture_keystream_step(s);
      w[k] = u32(20 + 12 * size_t{i} + 4 * static_cast<size_t>(k)) ^ s;
    }
    EXPECT_LT(w[0], names_size);
    out.push_back({std::string(bytes.c_str() + names_at + w[0]), bytes.substr(w[1], w[2])});
  }
  return out;
}

class Tools : public FileTest {};

TEST_F(Tools, PackAndUnpackRoundTrip) {
  dir_.write("title/data/Img/B.bmp", "bee");
  dir_.write("title/data/img2/a.bmp", "ay");
  dir_.write("title/data/_x.txt", "underscore");
  dir_.write("title/data/表/日本語.txt", "kanji");
  dir_.write("title/data/empty", "");
  dir_.write("title/data/top.txt", std::string(70000, 'z'));
  RunResult r = run_zelt("pack --seed 7 title/data title/data.bin");
  ASSERT_EQ(r.code, 0) << r.output;

  const std::string archive = dir_.read("title/data.bin");
  EXPECT_EQ(archive.substr(8, 4), std::string("\7\0\0\0", 4));  // the seed
  const std::vector<FixtureMember> members = list_archive(archive);
  std::vector<std::string> names;
  for (const FixtureMember& m : members) names.push_back(m.name);
  // "\" between folders, sorted ignoring case: "_" before letters, "2"
  // before "\", single bytes before double-byte characters.
  const std::vector<std::string> expected = {"_x.txt", "empty", "img2\\a.bmp", "Img\\B.bmp", "top.txt",
                                             "\x95\x5C\\\x93\xFA\x96\x7B\x8C\xEA.txt"};
  EXPECT_EQ(names, expected);

  // The runtime finds every member.
  fs::rename(dir_ / "title/data", dir_ / "title/moved");
  ScopedCwd in_title(dir_ / "title");
  EXPECT_EQ(fast_contents("data\\img\\b.bmp"), "bee");
  EXPECT_EQ(fast_contents("data\\IMG2\\A.BMP"), "ay");
  EXPECT_EQ(fast_contents("data\\\x95\x5C\\\x93\xFA\x96\x7B\x8C\xEA.txt"), "kanji");
  EXPECT_EQ(fast_contents("data\\empty"), "");
  EXPECT_EQ(fast_contents("data\\top.txt"), std::string(70000, 'z'));

  r = run_zelt("unpack data.bin out");
  ASSERT_EQ(r.code, 0) << r.output;
  for (const char* f : {"Img/B.bmp", "img2/a.bmp", "_x.txt", "表/日本語.txt", "empty", "top.txt"})
    EXPECT_EQ(TempDir::read_file(dir_ / ("title/out/" + std::string(f))),
              TempDir::read_file(dir_ / ("title/moved/" + std::string(f))))
        << f;

  // The same seed gives the same archive; by default the seed differs.
  ASSERT_EQ(run_zelt("pack --seed 7 moved again.bin").code, 0);
  EXPECT_EQ(TempDir::read_file(dir_ / "title/again.bin"), archive);
  ASSERT_EQ(run_zelt("pack moved r1.bin").code, 0);
  ASSERT_EQ(run_zelt("pack moved r2.bin").code, 0);
  EXPECT_NE(TempDir::read_file(dir_ / "title/r1.bin"), TempDir::read_file(dir_ / "title/r2.bin"));
}

TEST_F(Tools, CompressMatchesTheRuntimeAndDecompressReverses) {
  std::mt19937 rng(5);
  std::string data;
  for (int i = 0; i < 60000; ++i) data += static_cast<char>(i % 3 ? 'a' + rng() % 4 : rng());
  dir_.write("in.dat", data);
  ASSERT_EQ(files::write_compressed("runtime.z", data.data(), static_cast<uint32_t>(data.size())), 1);
  RunResult r = run_zelt("compress in.dat tool.z");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir_.read("tool.z"), dir_.read("runtime.z"));
  r = run_zelt("decompress tool.z back.dat");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir_.read("back.dat"), data);

  dir_.write("empty", "");
  ASSERT_EQ(run_zelt("compress empty empty.z").code, 0);
  EXPECT_EQ(dir_.read("empty.z"), std::string("zlt\0\0\0\0\0", 8));
  ASSERT_EQ(run_zelt("decompress empty.z empty.out").code, 0);
  EXPECT_EQ(dir_.read("empty.out"), "");

}

// Inputs that are not compressed files, or whose data has no end, stop the
// tool promptly without an output file; short streams and data after the end
// are written as the runtime reads them, with a warning.
TEST_F(Tools, DecompressStopsAtTheAnnouncedSize) {
  std::string data(3000, 'q');
  for (size_t i = 0; i < data.size(); i += 7) data[i] = static_cast<char>(i);
  dir_.write("in.dat", data);
  ASSERT_EQ(run_zelt("compress in.dat whole.z").code, 0);
  const std::string whole = dir_.read("whole.z");
  dir_.write("truncated.z", whole.substr(0, whole.size() / 2));
  dir_.write("trailing.z", whole + "garbage");
  dir_.write("empty-trailing.z", std::string("zlt\0\0\0\0\0x", 9));
  dir_.write("short.z", compressed_file(5, {{'h', 9}, {'i', 9}}));
  dir_.write("ended-short.z", compressed_file(5, {{'h', 9}, {'i', 9}, {256, 9}}));
  dir_.write("head5.z", std::string("zlt\0\0\0\0\5", 8));
  struct Case {
    std::string args;
    const char* says;
    std::string env = "";  // a command whose output the tool reads as its input
  };
  const Case cases[] = {
      {"decompress /dev/zero out", "not a compressed file"},
      // A header, then zeros without end: the bytes announced, then no more.
      {"decompress /dev/stdin out", "longer than the 5 bytes", "cat head5.z /dev/zero |"},
      {"compress /dev/zero out", "not a regular file"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_zelt(c.args, c.env);
    EXPECT_EQ(r.code, 1) << c.args << "\n" << r.output;
    EXPECT_TRUE(has(r, c.says)) << c.args << "\n" << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "out")) << c.args;
  }
  // Short streams and data after the end are written as the runtime reads
  // them, with a warning.
  struct Read {
    const char* args;
    const char* says;
    std::string written;
  };
  const Read reads[] = {
      {"decompress short.z out", "holds 2 of the 5 bytes its header announces", std::string("hi\0\0\0", 5)},
      {"decompress ended-short.z out", "holds 2 of the 5 bytes", std::string("hi\0\0\0", 5)},
      {"decompress truncated.z out", "cut short: it holds", ""},
      {"decompress trailing.z out", "more data follows the end", data},
      {"decompress empty-trailing.z out", "more data follows the end", ""},
  };
  for (const Read& c : reads) {
    const RunResult r = run_zelt(c.args);
    EXPECT_EQ(r.code, 0) << c.args << "\n" << r.output;
    EXPECT_TRUE(has(r, "warning") && has(r, c.says)) << c.args << "\n" << r.output;
    if (!c.written.empty()) {
      EXPECT_EQ(dir_.read("out"), c.written) << c.args;
    }
    fs::remove(dir_ / "out");
  }
  // A stream read from a pipe decompresses as from a file.
  const RunResult r = run_zelt("decompress /dev/stdin out", "cat whole.z |");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(dir_.read("out"), data);
}

TEST_F(Tools, RefuseToOverwriteTheirInput) {
  dir_.write("a.txt", "precious");
  ::link((dir_ / "a.txt").c_str(), (dir_ / "hard.txt").c_str());
  for (const char* args : {"compress a.txt a.txt", "compress a.txt ./a.txt", "compress a.txt hard.txt",
                           "decompress a.txt a.txt"}) {
    const RunResult r = run_zelt(args);
    EXPECT_EQ(r.code, 1) << args;
    EXPECT_EQ(dir_.read("a.txt"), "precious") << args;
  }
  dir_.write("d/x.txt", "x");
  RunResult r = run_zelt("pack d d/out.bin");
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(has(r, "inside")) << r.output;
  EXPECT_FALSE(fs::exists(dir_ / "d/out.bin"));
  ::link((dir_ / "d/x.txt").c_str(), (dir_ / "x.bin").c_str());
  r = run_zelt("pack d x.bin");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(dir_.read("d/x.txt"), "x");

  // An archive whose member would land on the archive itself.
  dir_.write("u/a.bin", make_archive({{"a.bin", "overwritten"}}));
  const std::string before = dir_.read("u/a.bin");
  r = run_zelt("unpack u/a.bin u");
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(dir_.read("u/a.bin"), before);
}

TEST_F(Tools, UnpackKeepsMembersInsideTheTargetFolder) {
  for (const char* name : {"..\\evil", "a\\..\\..\\evil", "\\evil", "/evil", "a\\\\b", "C:evil", "a\\.\\b", ""}) {
    dir_.write("bad.bin", make_archive({{name, "x"}}));
    const RunResult r = run_zelt("unpack bad.bin out/in");
    EXPECT_EQ(r.code, 1) << name;
    EXPECT_TRUE(has(r, "cannot be extracted safely")) << r.output;
    EXPECT_FALSE(fs::exists(dir_ / "evil")) << name;
    EXPECT_FALSE(fs::exists(dir_ / "out")) << name;
  }
  // A link inside the target folder does not lead elsewhere.
  fs::create_directories(dir_ / "target");
  fs::create_directories(dir_ / "elsewhere");
  fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "target/link");
  dir_.write("l.bin", make_archive({{"link\\x", "x"}}));
  EXPECT_EQ(run_zelt("unpack l.bin target").code, 1);
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere/x"));
}

TEST_F(Tools, ReportDamagedInputAndUsageErrors) {
  struct Case {
    std::string args;
    int code;
    const char* says;
  };
  dir_.write("plain.txt", "hello");
  dir_.write("head.z", std::string("zlt\0\0\0", 6));
  dir_.write("long.z", compressed_file(1, {{'a', 9}, {'b', 9}, {256, 9}}));
  dir_.write("bad.z", compressed_file(9, {{'a', 9}, {300, 9}, {256, 9}}));
  dir_.write("trunc.bin", make_archive({{"a", "data"}}).substr(0, 30));
  dir_.write("magic.bin", "KEP-ARC1" + std::string(20, '\0'));
  dir_.write("outside.bin", raw_archive(3, 1, 2, {0, 1000, 4}, std::string("a", 2), "data"));
  dir_.write("d/f", "f");
  const Case cases[] = {
      {"decompress plain.txt out", 1, "not a compressed file"},
      {"decompress head.z out", 1, "cut short"},
      {"decompress long.z out", 1, "longer than the 1 bytes"},
      {"decompress bad.z out", 1, "damaged"},
      {"decompress missing.z out", 1, "cannot read missing.z"},
      {"compress missing out", 1, "cannot read missing"},
      {"compress plain.txt no/such/folder/out", 1, "cannot create no/such/folder/out"},
      {"unpack trunc.bin out", 1, "runs past the end"},
      {"unpack magic.bin out", 1, "not an archive"},
      {"unpack outside.bin out", 1, "lies outside the file"},
      {"pack missing out.bin", 1, "not a folder"},
      {"compress plain.txt", 2, "usage: zelt compress"},
      {"decompress a b c", 2, "usage: zelt decompress"},
      {"unpack x", 2, "usage: zelt unpack"},
      {"pack d", 2, "usage: zelt pack"},
      {"pack --seed d out.bin", 2, "--seed needs a number"},
      {"pack --seed -1 d out.bin", 2, "--seed needs a number"},
      {"pack --seed 4294967296 d out.bin", 2, "--seed needs a number"},
      {"pack --level 9 d out.bin", 2, "unknown option"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_zelt(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.output;
    EXPECT_TRUE(has(r, c.says)) << c.args << "\n" << r.output;
  }
  EXPECT_FALSE(fs::exists(dir_ / "out"));
  EXPECT_EQ(run_zelt("pack --seed 0x10 d hex.bin").code, 0);
  EXPECT_EQ(dir_.read("hex.bin").substr(8, 4), std::string("\x10\0\0\0", 4));
}

}  // namespace
}  // namespace zelt::test
