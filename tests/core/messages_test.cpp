#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"

namespace zelt {
namespace {

std::string fmt(size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string s = format_wsprintf(size, format, args);
  va_end(args);
  return s;
}

TEST(FormatWsprintf, Conversions) {
  EXPECT_EQ(fmt(256, "%d|%i|%u", -5, 42, -1), "-5|42|4294967295");
  EXPECT_EQ(fmt(256, "[%5d][%-5d][%05d][%.3d]", 42, 42, -42, 7), "[   42][42   ][-0042][007]");
  EXPECT_EQ(fmt(256, "%x %X %#x %#X %x", 255, 255, 255, 255, 0), "ff FF 0xff 0XFF 0");
  EXPECT_EQ(fmt(256, "%ld %lu %hd", -1, 3u, 9), "-1 3 9");
  EXPECT_EQ(fmt(256, "%c%c", 'o', 'k'), "ok");
  EXPECT_EQ(fmt(256, "<%s><%6s><%-4s><%.2s>", "ab", "ab", "ab", "abc"), "<ab><    ab><ab  ><ab>");
  EXPECT_EQ(fmt(256, "%s", static_cast<const char*>(nullptr)), "(null)");
  EXPECT_EQ(fmt(256, "100%% %q"), "100% q");
  EXPECT_EQ(fmt(256, "trailing %"), "trailing ");
  EXPECT_EQ(fmt(256, "#%d", -2147483647 - 1), "#-2147483648");
}

TEST(FormatWsprintf, CutsAtSizeMinusOneWithoutSplittingACharacter) {
  EXPECT_EQ(fmt(256, "%s", std::string(300, 'a').c_str()).size(), 255u);
  // 254 single bytes, then a double-byte character that would end at byte 256.
  const std::string text = std::string(254, 'a') + "\x82\xA0";
  const std::string out = fmt(256, "%s", text.c_str());
  EXPECT_EQ(out, std::string(254, 'a'));
  // Precision never splits a character either.
  EXPECT_EQ(fmt(256, "%.1s", "\x82\xA0x"), "");
  EXPECT_EQ(fmt(1, "abc"), "");
}

std::vector<std::string> g_shown;
int record_sink(std::string_view text, std::string_view caption) {
  g_shown.push_back(std::string(caption) + "|" + std::string(text));
  return kIdOk;
}

class Reporter : public ::testing::Test {
 protected:
  void SetUp() override {
    g_shown.clear();
    set_message_sink(record_sink);
  }
  void TearDown() override {
    set_message_sink(nullptr);
    config_defaults();
  }
};

TEST_F(Reporter, LevelIsComparedUnsignedAgainstError) {
  struct Case {
    int32_t error;
    uint32_t level;
    bool shown;
  };
  const Case cases[] = {
      {0, 1, false}, {1, 1, true},  {1, 2, false}, {2, 2, true},
      {-1, 2, true}, {-1, 0xFFFFFFFFu, true}, {0, 0, true},
  };
  for (const Case& c : cases) {
    g_shown.clear();
    config().Error = c.error;
    const int result = report_message(c.level, "x");
    EXPECT_EQ(!g_shown.empty(), c.shown) << c.error << " " << c.level;
    EXPECT_EQ(result, c.shown ? kIdOk : c.error);
  }
}

TEST_F(Reporter, ShowsFormattedCp932TextWithTheErrorCaption) {
  config().Error = 1;
  report_message(1, msg_text(Msg::BuiltinBadNumber), 317);
  ASSERT_EQ(g_shown.size(), 1u);
  EXPECT_EQ(g_shown[0], cp932::from_utf8("ERROR : Error|不正な命令コード - #317"));
}

TEST_F(Reporter, LongTextIsCutTo255Bytes) {
  config().Error = 1;
  report_message(1, "%s", std::string(1000, 'z').c_str());
  ASSERT_EQ(g_shown.size(), 1u);
  EXPECT_EQ(g_shown[0].size(), std::string("ERROR : Error|").size() + 255);
}

TEST_F(Reporter, FinishedTextsAreShownWholeWithTheSameFilter) {
  const std::string report(5000, 'r');
  config().Error = 1;
  EXPECT_EQ(report_text(1, report), kIdOk);
  ASSERT_EQ(g_shown.size(), 1u);
  EXPECT_EQ(g_shown[0], "ERROR : Error|" + report);
  config().Error = 0;
  EXPECT_EQ(report_text(1, report), 0);
  EXPECT_EQ(g_shown.size(), 1u);
}

TEST(MessageTable, TextsConvertToCp932) {
  EXPECT_STREQ(msg_text(Msg::ReportCaption), "ERROR : Error");
  // "０で除算しました" in code page 932.
  EXPECT_STREQ(msg_text(Msg::DivideByZero), "\x82\x4F\x82\xC5\x8F\x9C\x8E\x5A\x82\xB5\x82\xDC\x82\xB5\x82\xBD");
  for (int i = 0; i < static_cast<int>(Msg::Count); ++i) {
    const Msg id = static_cast<Msg>(i);
    EXPECT_EQ(cp932::to_utf8(msg_text(id)), msg_text_utf8(id)) << i;
  }
}

}  // namespace
}  // namespace zelt
