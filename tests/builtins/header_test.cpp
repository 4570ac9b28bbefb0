// The script header: `zelt header` prints include/zelt.h exactly, and the
// compiler reads one built-in per #trap, in table order.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "builtins/builtin_table.h"
#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

test::RunResult run_stdout(const std::string& args) { return test::run_zelt(args, "", "2>/dev/null"); }

TEST(Header, ToolPrintsTheCheckedInHeader) {
  const test::RunResult r = run_stdout("header");
  EXPECT_EQ(r.code, 0);
  const std::string checked_in = test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h");
  ASSERT_FALSE(checked_in.empty());
  // On a difference: build, then `zelt header > include/zelt.h`.
  EXPECT_TRUE(r.output == checked_in) << "include/zelt.h differs from the output of zelt header";
  EXPECT_EQ(r.output, builtin_header());
  // The demo title ships its own copy, as titles do.
  EXPECT_TRUE(test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/examples/demo/zelt/zelt.h") == checked_in)
      << "examples/demo/zelt/zelt.h differs from include/zelt.h";

  EXPECT_EQ(run_stdout("header extra").code, 2);
}

// Removes comments as the script lexer does (block comments nest), keeping
// line feeds; `in_comment` reports for each line whether it starts inside a
// block comment.
std::string strip_comments(const std::string& text, std::vector<bool>& in_comment) {
  std::string out;
  int depth = 0;
  bool line_comment = false;
  in_comment.assign(1, false);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '\n') {
      line_comment = false;
      out += c;
      in_comment.push_back(depth > 0);
    } else if (line_comment) {
    } else if (c == '/' && next == '*') {
      ++depth, ++i;
    } else if (depth > 0 && c == '*' && next == '/') {
      --depth, ++i;
    } else if (depth == 0 && c == '/' && next == '/') {
      line_comment = true;
    } else if (depth == 0) {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(Header, OneTrapBeforeEachDeclarationInTableOrder) {
  const std::string header = builtin_header();
  for (size_t i = 0; i < header.size(); ++i)
    ASSERT_LT(static_cast<unsigned char>(header[i]), 0x80) << "non-ASCII byte at offset " << i;
  ASSERT_EQ(header.back(), '\n');

  std::vector<bool> in_comment;
  const std::vector<std::string> raw = lines(header);
  const std::vector<std::string> code = lines(strip_comments(header, in_comment));
  ASSERT_EQ(raw.size(), code.size());
  const auto infos = builtin_infos();
  size_t row = 0;
  bool trap_pending = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    SCOPED_TRACE("line " + std::to_string(i + 1) + ": " + raw[i]);
    // Directives are read only outside comments, so a #trap inside one
    // would shift every later built-in number.
    if (!raw[i].empty() && raw[i][0] == '#') {
      ASSERT_FALSE(in_comment[i]);
    }
    const std::string& line = code[i];
    if (line.empty()) continue;
    if (line[0] == '#') {
      EXPECT_EQ(line, "#trap");
      EXPECT_FALSE(trap_pending) << "two #trap lines in a row";
      trap_pending = true;
      continue;
    }
    ASSERT_TRUE(trap_pending) << "declaration without #trap";
    ASSERT_LT(row, infos.size()) << "more declarations than built-ins";
    const BuiltinInfo& b = infos[row];
    // The compiler sees an empty parameter list: a list that names its
    // parameters would start a function definition.
    EXPECT_EQ(line, std::string(b.returns_float ? "float " : "int ") + b.name + "();");
    trap_pending = false;
    ++row;
  }
  EXPECT_FALSE(trap_pending);
  EXPECT_EQ(row, infos.size());
}

TEST(Header, DeclarationsShowTheParametersInAComment) {
  const std::string header = builtin_header();
  for (const char* text : {"\n#trap\nint exit();\n", "\n#trap\nfloat pow(/* float x, float y */);\n",
                           "\n#trap\nint sprintf(/* char *buf, char *format, ... */);\n",
                           "\n#trap\nint log_out(/* char *format, ... */);\n"})
    EXPECT_NE(header.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace zelt
