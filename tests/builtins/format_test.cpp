// The formatter on argument cells laid out in script memory: output limits,
// refused and malformed conversions, and strings that are not terminated.
#include "builtins/format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zelt {
namespace {

class Format : public ::testing::Test {
 protected:
  void TearDown() override {
    for (ScriptAddr a : blocks_) script_memory().free(a);
  }
  // Cells in a new block of script memory.
  BuiltinArgs cells(const std::vector<uint32_t>& values) {
    const ScriptAddr a = block(static_cast<uint32_t>(values.size() * 4) + 4);
    if (!values.empty()) std::memcpy(script_memory().host(a), values.data(), values.size() * 4);
    return BuiltinArgs(a, static_cast<uint32_t>(values.size()));
  }
  ScriptAddr block(uint32_t n) {
    blocks_.push_back(script_memory().allocate_zeroed(n));
    return blocks_.back();
  }
  std::vector<ScriptAddr> blocks_;
};

TEST_F(Format, OutputStopsAtTheLimit) {
  std::string out;
  EXPECT_TRUE(format_cells("%d|%s", cells({12, 0}), 0, 100, out));
  EXPECT_EQ(out, "12|(null)");
  out.clear();
  EXPECT_FALSE(format_cells("abcdef", cells({}), 0, 3, out));
  out.clear();
  EXPECT_FALSE(format_cells("%d", cells({123456}), 0, 5, out));
  out.clear();
  // Widths and precisions beyond the limit fail before any work is done.
  EXPECT_FALSE(format_cells("%2147483647d", cells({1}), 0, 1000, out));
  EXPECT_FALSE(format_cells("%.*f", cells({2000000000, 0, 0}), 0, 1000, out));
  EXPECT_FALSE(format_cells("%99999999999d", cells({1}), 0, 1000, out));
}

TEST_F(Format, CellsBeyondTheCallReadAsZero) {
  std::string out;
  EXPECT_TRUE(format_cells("%d %d %x", cells({5}), 0, 100, out));
  EXPECT_EQ(out, "5 0 0");
}

TEST_F(Format, MalformedAndRefusedConversions) {
  struct Case {
    const char* format;
    std::vector<uint32_t> cells;
    const char* expected;
  };
  for (const Case& c : std::vector<Case>{
           {"%n%d", {0x10000, 4}, "4"},       // %n consumes its cell and stores nothing
           {"%lln%d", {1, 2, 4}, "4"},
           {"%y%d", {4}, "%y4"},              // not a conversion: printed as it stands
           {"50%", {}, "50%"},                // incomplete at the end
           {"%-5c|", {0x141}, "A    |"},
           {"%*d", {static_cast<uint32_t>(-4), 7}, "7   "},  // negative width left-aligns
           {"%.*d", {static_cast<uint32_t>(-1), 7}, "7"},    // negative precision is omitted
           {"%e", {0, 0x3FF00000}, "1.000000e+00"},
           {"%5.2s|", {0}, "   (n|"},
       }) {
    std::string out;
    EXPECT_TRUE(format_cells(c.format, cells(c.cells), 0, 100, out)) << c.format;
    EXPECT_EQ(out, c.expected) << c.format;
  }
}

TEST_F(Format, PrecisionBoundsAStringWithoutTerminator) {
  const ScriptAddr s = block(16);
  std::memset(script_memory().host(s), 'q', 16);  // no terminator in the block
  std::string out;
  EXPECT_TRUE(format_cells("%.3s", cells({s}), 0, 100, out));
  EXPECT_EQ(out, "qqq");
}

}  // namespace
}  // namespace zelt
