#include "core/cp932.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zelt;
constexpr size_t npos = std::string_view::npos;

// Code page 932 spellings used below. The trail byte of 表 and ソ is 0x5C,
// the byte of "\".
const std::string kHyou = "\x95\x5C";      // 表
const std::string kJi = "\x8E\xA6";        // 示
const std::string kSo = "\x83\x5C";        // ソ
const std::string kHankakuA = "\xB1";      // ｱ (one byte)
const std::string kZenkakuA = "\x82\x60";  // Ａ
const std::string kZenkakua = "\x82\x81";  // ａ

int sign(int v) { return (v > 0) - (v < 0); }

TEST(Cp932, LeadBytes) {
  struct Case {
    unsigned char c;
    bool lead;
  } cases[] = {{0x00, false}, {0x5C, false}, {0x7F, false}, {0x80, false}, {0x81, true},  {0x9F, true},
               {0xA0, false}, {0xB1, false}, {0xDF, false}, {0xE0, true},  {0xFC, true},  {0xFD, false},
               {0xFF, false}};
  for (const Case& c : cases) EXPECT_EQ(cp932::is_lead_byte(c.c), c.lead) << std::hex << int(c.c);
}

TEST(Cp932, CharLength) {
  struct Case {
    std::string s;
    size_t i;
    size_t length;
  } cases[] = {
      {kHyou, 0, 2},
      {"a" + kHyou, 0, 1},
      {kHankakuA + "b", 0, 1},
      {"a\x95", 1, 1},  // lead byte as the last byte: nothing to pair with
      {"\x81\x81", 0, 2},  // a trail byte may itself look like a lead byte
      {"ab", 2, 0},
      {"", 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(cp932::char_length(c.s, c.i), c.length) << c.s << " at " << c.i;
}

TEST(Cp932, CutLengthNeverSplitsADoubleByteCharacter) {
  const std::string s = "ab" + kHyou + "c";
  struct Case {
    std::string s;
    size_t limit;
    size_t cut;
  } cases[] = {
      {s, 0, 0},
      {s, 2, 2},
      {s, 3, 2},  // would keep only the lead byte of 表
      {s, 4, 4},
      {s, 5, 5},
      {s, 100, 5},
      {"ab\x95", 3, 3},            // a lone lead byte at the end is a character of its own
      {"ab\x95", 2, 2},
      {"\x81\x81\x81", 1, 0},      // 0x81 0x81, then a lone 0x81
      {"\x81\x81\x81", 2, 2},
      {"\x81\x81\x81", 3, 3},
      {"\x81\x81\x81\x40", 3, 2},  // 0x81 0x81, then 0x81 0x40
      {kHankakuA + kHankakuA, 1, 1},
      {"", 5, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(cp932::cut_length(c.s, c.limit), c.cut) << c.s << " limit " << c.limit;
}

TEST(Cp932, FindCharNeverMatchesATrailByte) {
  struct Case {
    std::string s;
    char c;
    size_t first, last;
  } cases[] = {
      {kHyou + kJi + "\\a", '\\', 4, 4},  // 表示\a
      {kHyou, '\\', npos, npos},
      {kSo + kSo, '\\', npos, npos},
      {"a\\" + kHyou + "\\b", '\\', 1, 4},
      {"\\" + kHyou, '\\', 0, 0},
      {"\x81\x81\\", '\\', 2, 2},  // the second 0x81 is a trail byte, so "\" stands alone
      {"\x81\\\\", '\\', 2, 2},    // the first "\" is the trail byte of 0x81 0x5C
      {"a/b/c", '/', 1, 3},
      {"\x83\x41" "A", 'A', 2, 2},  // ア has the trail byte 'A'
      {"a\x95", '\x95', 1, 1},       // a lone lead byte at the end is a character
      {"", '\\', npos, npos},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cp932::find_char(c.s, c.c), c.first) << c.s;
    EXPECT_EQ(cp932::rfind_char(c.s, c.c), c.last) << c.s;
  }
}

TEST(Cp932, CompareNocaseOrdering) {
  struct Case {
    std::string a, b;
    int expected;  // sign
  } cases[] = {
      {"abc", "ABC", 0},
      {"Data\\Img.BMP", "data\\img.bmp", 0},
      {"abc", "abd", -1},
      {"abc", "abcd", -1},  // a prefix sorts first
      {"", "a", -1},
      {"", "", 0},
      // Letters fold to lower case: "_" (0x5F), "[" (0x5B) and "\" (0x5C) lie
      // between 'Z' and 'a' and so sort before every letter.
      {"_", "A", -1},
      {"_", "a", -1},
      {"Z", "_", 1},
      {"[", "z", -1},
      {"a\\b", "aa", -1},
      {"\xA0", "a", 1},  // bytes compare unsigned
      {kHankakuA, "z", 1},
      // Double-byte characters compare as units lead * 256 + trail: above any
      // single byte even where the lead byte is below it (0x81 < 0xB1).
      {"\x81\x40", kHankakuA, 1},
      {kHyou, "\x95\x5D", -1},
      {kHyou + "a", kHyou + "A", 0},
      // Trail bytes that look like letters are not folded: ア (0x83 0x41) and
      // ヂ (0x83 0x61) differ.
      {"\x83\x41", "\x83\x61", -1},
      // Full-width letters are distinct characters here.
      {kZenkakuA, kZenkakua, -1},
      {kZenkakuA, "A", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " <> " + c.b);
    EXPECT_EQ(sign(cp932::compare_nocase(c.a, c.b)), c.expected);
    EXPECT_EQ(sign(cp932::compare_nocase(c.b, c.a)), -c.expected);
    EXPECT_EQ(cp932::equal_nocase(c.a, c.b), c.expected == 0);
    EXPECT_EQ(cp932::fold_case(c.a) == cp932::fold_case(c.b), c.expected == 0);
  }
}

TEST(Cp932, FoldCaseLowersOnlySingleByteLetters) {
  EXPECT_EQ(cp932::fold_case("AbC_Z"), "abc_z");
  EXPECT_EQ(cp932::fold_case("\x83\x41" "A"), "\x83\x41" "a");
  EXPECT_EQ(cp932::fold_case(kZenkakuA), kZenkakuA);
}

TEST(Cp932, ConversionRoundTrip) {
  struct Case {
    std::string utf8, cp932;
  } cases[] = {
      {"", ""},
      {"plain ASCII ~", "plain ASCII ~"},
      {"日本語テキスト", "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x4C\x83\x58\x83\x67"},
      {"ｱｲｳﾟ", "\xB1\xB2\xB3\xDF"},     // half-width katakana, one byte each
      {"表示\\a", kHyou + kJi + "\\a"},  // 0x5C is the backslash, not a yen sign
      {"①", "\x87\x40"},                 // a code page 932 extension of Shift_JIS
      {"～", "\x81\x60"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cp932::to_utf8(c.cp932), c.utf8);
    EXPECT_EQ(cp932::from_utf8(c.utf8), c.cp932);
  }
}

TEST(Cp932, LongTextGrowsTheBuffer) {
  // Each one-byte half-width katakana takes three bytes in UTF-8.
  std::string cp, utf8;
  for (int i = 0; i < 5000; ++i) {
    cp += "\xB1" "a\x93\xFA";
    utf8 += "ｱa日";
  }
  EXPECT_EQ(cp932::to_utf8(cp), utf8);
  EXPECT_EQ(cp932::from_utf8(utf8), cp);
}

TEST(Cp932, InvalidBytesAreReplaced) {
  const std::string R = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    std::string in, out;
  } to_utf8_cases[] = {
      {"a\x81", "a" + R},            // lead byte cut off by the end
      {"\x81\x20" "b", R + " b"},    // invalid trail byte: resume at it
      {"\xFF" "z", R + "z"},
      {"\x80\xA0", R + R},
      {"\x85\x40" "x", R + "x"},     // well-formed but unassigned: one character
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : to_utf8_cases) EXPECT_EQ(cp932::to_utf8(c.in), c.out) << c.in;

  Case from_utf8_cases[] = {
      {"\xFF", "?"},
      {"a\xE6\x97", "a?"},      // sequence cut off by the end
      {"\xC3\x28", "?("},       // bad continuation byte
      {"\xF0\x9F\x98\x80x", "?x"},  // valid but not in code page 932: one '?'
      {"é", "?"},
  };
  for (const Case& c : from_utf8_cases) EXPECT_EQ(cp932::from_utf8(c.in), c.out) << c.in;
}

TEST(Cp932, StrictConversionRefusesUndefinedBytes) {
  struct Case {
    std::string in;
    bool defined;
  } cases[] = {
      {"", true},
      {"a?*.txt", true},
      {kHyou + kHankakuA + "\x87\x90", true},  // 0x8790 is defined, though 0x81E0 is its usual code
      {"a\x81", false},                          // lead byte cut off by the end
      {"\x81\x20" "b", false},                  // invalid trail byte
      {"\xFF", false},
      {"\x85\x40", false},                      // well-formed but unassigned
  };
  for (const Case& c : cases) {
    const std::optional<std::string> utf8 = cp932::to_utf8_strict(c.in);
    EXPECT_EQ(utf8.has_value(), c.defined) << c.in;
    if (utf8) {
      EXPECT_EQ(*utf8, cp932::to_utf8(c.in)) << c.in;
    }
  }
}

TEST(Cp932, WildcardMatch) {
  struct Case {
    std::string pattern, name;
    bool match;
  } cases[] = {
      {"", "", true},
      {"", "a", false},
      {"*", "", true},
      {"**", "abc", true},
      {"*?*", "", false},
      {"*?*", "a", true},
      {"a*c", "ac", true},
      {"a*c", "abcbc", true},
      {"a*c", "abcb", false},
      {"a?c", "ac", false},
      {"abc?", "abc", false},  // "?" at the end needs a character
      {"*.*", "a.b", true},
      {"*.*", "a.", true},
      {"*.*", "abc", false},   // a dot is needed here; searches treat "*.*" as "*" themselves
      {"a.", "a", false},      // a trailing dot is literal
      {"*.TXT", "Read.Me.txt", true},
      {"ABC", "abc", true},
      {kZenkakuA, kZenkakua, false},  // full-width letters are not folded
      // A double-byte character is one character; its trail byte is never
      // taken for a character of its own, in the name or in the pattern.
      {"?", kHyou, true},
      {"??", kHyou, false},
      {"?.txt", "\x93\xFA.txt", true},
      {"*" + kHyou, "x" + kHyou, true},
      {"*\\", kHyou, false},
      {"*a", "\x82" "a", false},
      {"*A", "x\x82" "aa", true},
      {"\x81?", "\x81x", false},            // "?" as a trail byte is no wildcard
      {"\x81*", "\x81\x2A" "abc", false},  // nor is "*"
      {"?", kHankakuA, true},
      {"a?", "a\x81", true},                 // a lone lead byte at the end is one character
      {"*", "\x81", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cp932::wildcard_match(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
  }
}

// Patterns with many stars against long names finish (each star is tried
// once per name position, not once per combination).
TEST(Cp932, WildcardMatchWithManyStarsOnALongName) {
  const std::string stars = "*a*a*a*a*a*a*b";
  EXPECT_FALSE(cp932::wildcard_match(stars, std::string(200, 'a')));
  EXPECT_TRUE(cp932::wildcard_match(stars, std::string(199, 'A') + "B"));
  std::string hyou_stars, hyous;
  for (int i = 0; i < 8; ++i) hyou_stars += "*" + kHyou;
  for (int i = 0; i < 100; ++i) hyous += kHyou;
  EXPECT_FALSE(cp932::wildcard_match(hyou_stars + "*\\", hyous));
  EXPECT_TRUE(cp932::wildcard_match(hyou_stars + "*", hyous));
}

TEST(Cp932, ConvertsOnSeveralThreadsAtOnce) {
  const std::string cp = "\x93\xFA\x96\x7B\x8C\xEA\xB1\x81";  // ends in a lone lead byte
  const std::string utf8 = "日本語ｱ\xEF\xBF\xBD";
  std::vector<int> failures(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (cp932::to_utf8(cp) != utf8) ++failures[t];
        if (cp932::from_utf8("日本語ｱ") != cp.substr(0, 7)) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
