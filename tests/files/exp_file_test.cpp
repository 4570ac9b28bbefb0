#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "files/archive_fixture.h"
#include "files/file_test_fixture.h"

namespace zelt::test {
namespace {

using files::exp_close;
using files::exp_read;
using files::exp_seek;
using files::exp_size;
using files::kFileBegin;
using files::kFileCurrent;
using files::kFileEnd;
using files::OpenExpFile;
using files::write_compressed;

using Codes = std::vector<std::pair<uint32_t, int>>;

std::string random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Words from a small vocabulary: long repeats, as in script sources.
std::string text_bytes(size_t n, uint32_t seed) {
  static const char* const words[] = {"sprite ", "plane ", "int ", "return ", "(x, y);\r\n", "\x82\xA0", "if "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % std::size(words)];
  s.resize(n);
  return s;
}

// Reads the code stream of a compressed file as the format describes it and
// counts what it holds: the data codes of each stream between resets.
struct StreamShape {
  std::vector<size_t> data_codes_per_stream;
  std::vector<int> widenings_per_stream;
  bool ended = false;
};

StreamShape read_shape(const std::string& file) {
  StreamShape shape;
  size_t bit = 64;
  auto read = [&](int n, uint32_t& v) {
    if (bit + n > file.size() * 8) return false;
    v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = v << 1 | ((static_cast<uint8_t>(file[bit / 8]) >> (7 - bit % 8)) & 1);
    return true;
  };
  int width = 9;
  shape.data_codes_per_stream.push_back(0);
  shape.widenings_per_stream.push_back(0);
  uint32_t code;
  while (read(width, code)) {
    if (code == 256) {
      shape.ended = true;
      break;
    } else if (code == 257) {
      ++width;
      ++shape.widenings_per_stream.back();
    } else if (code == 258) {
      width = 9;
      shape.data_codes_per_stream.push_back(0);
      shape.widenings_per_stream.push_back(0);
    } else {
      ++shape.data_codes_per_stream.back();
    }
  }
  return shape;
}

class ExpFile : public FileTest {};

TEST_F(ExpFile, RoundTripsDataOfManySizesAndKinds) {
  struct Kind {
    const char* name;
    std::string (*make)(size_t, uint32_t);
  };
  const Kind kinds[] = {
      {"random", random_bytes},
      {"text", text_bytes},
      {"zeros", [](size_t n, uint32_t) { return std::string(n, '\0'); }},
  };
  for (const Kind& kind : kinds) {
    for (size_t size : {0, 1, 2, 3, 17, 255, 256, 257, 16383, 16384, 16385, 100000}) {
      const std::string data = kind.make(size, static_cast<uint32_t>(size));
      ASSERT_EQ(write_compressed("out.z", data.data(), static_cast<uint32_t>(size)), 1) << kind.name << size;
      const std::string file = dir_.read("out.z");
      ASSERT_GE(file.size(), 8u);
      EXPECT_EQ(file.substr(0, 4), std::string("zlt\0", 4));
      EXPECT_EQ(static_cast<uint8_t>(file[4]) << 24 | static_cast<uint8_t>(file[5]) << 16 |
                    static_cast<uint8_t>(file[6]) << 8 | static_cast<uint8_t>(file[7]),
                static_cast<int>(size));
      EXPECT_EQ(exp_contents("out.z"), data) << kind.name << " " << size;
    }
  }
  EXPECT_TRUE(g_messages.empty());
}

// 32509 strings fill the dictionary; the compressor then resets it, and the
// decompressor follows. Random bytes add a string for nearly every code.
TEST_F(ExpFile, DictionaryResetsAfter32509StringsSeveralTimes) {
  const std::string data = random_bytes(150000, 7);
  ASSERT_EQ(write_compressed("big.z", data.data(), static_cast<uint32_t>(data.size())), 1);
  const StreamShape shape = read_shape(dir_.read("big.z"));
  ASSERT_GE(shape.data_codes_per_stream.size(), 4u);
  EXPECT_TRUE(shape.ended);
  for (size_t i = 0; i + 1 < shape.data_codes_per_stream.size(); ++i) {
    EXPECT_EQ(shape.data_codes_per_stream[i], 32509u) << "stream " << i;
    EXPECT_EQ(shape.widenings_per_stream[i], 6) << "stream " << i;  // 9 to 15 bits
  }
  EXPECT_EQ(exp_contents("big.z"), data);
}

TEST_F(ExpFile, CompressingOneByteWritesTwoNineBitCodes) {
  ASSERT_EQ(write_compressed("one.z", "A", 1), 1);
  // 0x41 as 001000001, then 256 as 100000000, then six zero bits.
  EXPECT_EQ(dir_.read("one.z"), std::string("zlt\0\0\0\0\x01\x20\xC0\x00", 11));
  ASSERT_EQ(write_compressed("none.z", nullptr, 0), 1);
  EXPECT_EQ(dir_.read("none.z"), std::string("zlt\0\0\0\0\0", 8));
  EXPECT_EQ(exp_contents("none.z"), "");  // an empty compressed file opens as empty
}

// Streams as another tool following the format may write them.
TEST_F(ExpFile, DecodesHandWrittenStreams) {
  struct Case {
    const char* what;
    std::string file;
    std::optional<std::string> contents;
  };
  const Case cases[] = {
      {"strings and a string defined by its own use",
       compressed_file(7, {{'A', 9}, {'B', 9}, {259, 9}, {261, 9}, {256, 9}}), "ABABABA"},
      {"second code is the string being defined", compressed_file(3, {{'A', 9}, {259, 9}, {256, 9}}), "AAA"},
      {"widening and reset", compressed_file(3, {{'x', 9}, {257, 9}, {'y', 10}, {258, 10}, {'z', 9}, {256, 9}}),
       "xyz"},
      {"reset forgets strings", compressed_file(5, {{'a', 9}, {'b', 9}, {258, 9}, {'c', 9}, {259, 9}, {256, 9}}),
       "abccc"},
      {"fewer bytes than announced: zeros follow", compressed_file(5, {{'h', 9}, {'i', 9}, {256, 9}}),
       std::string("hi\0\0\0", 5)},
      {"no end code: what was decoded", compressed_file(4, {{'h', 9}, {'i', 9}}), std::string("hi\0\0", 4)},
      {"a code cut short ends the data", compressed_file(2, {{'h', 9}, {'i', 4}}), std::string("h\0", 2)},
      {"more bytes than announced", compressed_file(2, {{'a', 9}, {'b', 9}, {'c', 9}, {256, 9}}), std::nullopt},
      {"more bytes after a reset", compressed_file(1, {{'a', 9}, {258, 9}, {'b', 9}, {256, 9}}), std::nullopt},
      {"string longer than what is left", compressed_file(3, {{'a', 9}, {'b', 9}, {259, 9}, {256, 9}}),
       std::nullopt},
      {"code beyond the next string", compressed_file(9, {{'a', 9}, {260, 9}, {256, 9}}), std::nullopt},
      {"stream starting with a string", compressed_file(9, {{300, 9}, {256, 9}}), std::nullopt},
      {"stream starting with a widening", compressed_file(9, {{257, 9}, {'a', 10}, {256, 10}}), std::nullopt},
      {"string after a reset names the old dictionary",
       compressed_file(9, {{'a', 9}, {'b', 9}, {258, 9}, {'c', 9}, {260, 9}, {256, 9}}), std::nullopt},
      {"codes wider than 15 bits",
       compressed_file(9, {{'a', 9}, {257, 9}, {257, 10}, {257, 11}, {257, 12}, {257, 13}, {257, 14}, {257, 15},
                           {'b', 16}}),
       std::nullopt},
  };
  for (const Case& c : cases) {
    dir_.write("h.z", c.file);
    EXPECT_EQ(exp_contents("h.z"), c.contents) << c.what;
  }
  EXPECT_TRUE(g_messages.empty());
}

// Without code 258 a stream cannot define more than the codes up to 32767.
TEST_F(ExpFile, DictionaryWithoutResetCannotOverflow) {
  Codes codes{{'a', 9}};
  for (int i = 0; i < 32508; ++i) codes.push_back({'b', 9});  // defines 259..32766
  dir_.write("full.z", compressed_file(100000, codes));
  EXPECT_TRUE(exp_contents("full.z").has_value());
  codes.push_back({'c', 9});  // defines 32767, the last code
  dir_.write("full.z", compressed_file(100000, codes));
  EXPECT_TRUE(exp_contents("full.z").has_value());
  codes.push_back({'d', 9});  // would define 32768
  dir_.write("full.z", compressed_file(100000, codes));
  EXPECT_EQ(exp_contents("full.z"), std::nullopt);
}

TEST_F(ExpFile, ShortFilesAndTheMagicDecideTheKind) {
  for (const std::string& bytes : {std::string(), std::string("z"), std::string("zl"), std::string("zlt")}) {
    dir_.write("s.bin", bytes);
    EXPECT_EQ(exp_contents("s.bin"), bytes) << bytes.size();
  }
  dir_.write("s.bin", "zlt?plain text");
  EXPECT_EQ(exp_contents("s.bin"), "zlt?plain text");
  for (size_t n = 4; n < 8; ++n) {  // the magic without a whole size
    dir_.write("s.bin", std::string("zlt\0\0\0\0\1", n));
    EXPECT_EQ(OpenExpFile("s.bin"), nullptr) << n;
  }
  // Any file that starts with the magic is compressed.
  dir_.write("s.txt", compressed_file(2, {{'o', 9}, {'k', 9}, {256, 9}}) + "trailing text");
  EXPECT_EQ(exp_contents("s.txt"), "ok");
  EXPECT_EQ(OpenExpFile("missing.txt"), nullptr);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], message(Msg::FastFileOpen, "missing.txt"));
}

// A tiny file may announce gigabytes: the bytes it does not produce read as
// zeros without being allocated.
TEST_F(ExpFile, HugeAnnouncedSizeCostsNoMemory) {
  dir_.write("huge.z", compressed_file(0x7FFFFFFF, {{'a', 9}, {'b', 9}, {256, 9}}));
  files::ExpFile* e = OpenExpFile("huge.z");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(exp_size(e), 0x7FFFFFFF);
  char buffer[4] = {1, 1, 1, 1};
  uint32_t got = 0;
  ASSERT_EQ(exp_read(e, buffer, 4, &got), 1);
  EXPECT_EQ(std::string(buffer, got), std::string("ab\0\0", 4));
  EXPECT_EQ(exp_seek(e, -2, kFileEnd), 0x7FFFFFFD);
  ASSERT_EQ(exp_read(e, buffer, 4, &got), 1);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(std::string(buffer, 2), std::string("\0\0", 2));
  exp_close(e);
}

TEST_F(ExpFile, DecompressedReadsAndSeeks) {
  ASSERT_EQ(write_compressed("d.z", "0123456789", 10), 1);
  files::ExpFile* e = OpenExpFile("d.z");
  ASSERT_NE(e, nullptr);
  struct Case {
    int origin;
    int32_t distance;
    int32_t result;  // from position 4
  };
  const Case cases[] = {
      {kFileBegin, 10, 10}, {kFileBegin, 11, -1}, {kFileBegin, -1, -1}, {kFileCurrent, 6, 10},
      {kFileCurrent, -4, 0}, {kFileCurrent, -5, -1}, {kFileCurrent, 7, -1}, {kFileEnd, 0, 10},
      {kFileEnd, -10, 0}, {kFileEnd, 1, -1}, {5, 3, 4},  // another origin reports the position
  };
  for (const Case& c : cases) {
    ASSERT_EQ(exp_seek(e, 4, kFileBegin), 4);
    EXPECT_EQ(exp_seek(e, c.distance, c.origin), c.result) << c.origin << " " << c.distance;
    EXPECT_EQ(exp_seek(e, 0, kFileCurrent), c.result == -1 ? 4 : c.result);
  }
  char buffer[16];
  uint32_t got = 99;
  exp_seek(e, 7, kFileBegin);
  EXPECT_EQ(exp_read(e, buffer, 16, &got), 1);
  EXPECT_EQ(std::string(buffer, got), "789");
  EXPECT_EQ(exp_read(e, buffer, 16, &got), 1);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(exp_read(e, nullptr, 1, &got), 0);
  EXPECT_EQ(exp_read(e, buffer, 1, nullptr), 1);
  exp_close(e);
  EXPECT_EQ(exp_close(nullptr), 0);
  EXPECT_EQ(exp_size(nullptr), -1);
  EXPECT_EQ(exp_seek(nullptr, 0, kFileBegin), -1);
  EXPECT_EQ(exp_read(nullptr, buffer, 1, &got), 0);
}

// Compressed files inside archives, and plain members through OpenExpFile.
TEST_F(ExpFile, ReadsCompressedArchiveMembers) {
  const std::string text = text_bytes(5000, 3);
  ASSERT_EQ(write_compressed("t.z", text.data(), static_cast<uint32_t>(text.size())), 1);
  dir_.write("pk.bin", make_archive({{"p.txt", "plain member"}, {"t.z", dir_.read("t.z")}, {"u", "zlt"}}));
  std::filesystem::remove(dir_ / "t.z");
  EXPECT_EQ(exp_contents("pk\\t.z"), text);
  EXPECT_EQ(exp_contents("pk\\p.txt"), "plain member");
  EXPECT_EQ(exp_contents("pk\\u"), "zlt");
  files::ExpFile* e = OpenExpFile("pk\\p.txt");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(exp_seek(e, 0, kFileEnd), 12);
  EXPECT_EQ(exp_size(e), 12);
  exp_close(e);
}

TEST_F(ExpFile, FailedWritesKeepTheOldFile) {
  std::filesystem::create_directory(dir_ / "folder");
  EXPECT_EQ(write_compressed("folder", "x", 1), 0);
  EXPECT_EQ(write_compressed("no\\such\\dir\\x.z", "x", 1), 0);
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_EQ(g_messages[0], message(Msg::ExpCreateFailed, "folder"));
  EXPECT_EQ(g_messages[1], message(Msg::ExpCreateFailed, "no\\such\\dir\\x.z"));
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder"));

  // Replacing keeps the file's permissions and leaves no temporary file.
  dir_.write("save.z", "old");
  ::chmod((dir_ / "save.z").c_str(), 0640);
  ASSERT_EQ(write_compressed("SAVE.Z", "new", 3), 1);
  EXPECT_EQ(exp_contents("save.z"), "new");
  struct stat st {};
  ASSERT_EQ(::stat((dir_ / "save.z").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) ++entries;
  EXPECT_EQ(entries, 2u);  // folder and save.z
}

}  // namespace
}  // namespace zelt::test
