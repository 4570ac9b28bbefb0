// The compile report: message format, line echo, missing-token reports, the
// report's size limit, when it is collected and how often it is shown.
#include "files/exp_file.h"
#include "script/compiler/compiler_test_util.h"
#include "support/temp_dir.h"

namespace zelt::ctest {
namespace {

class Report : public CompilerTest {};

TEST_F(Report, EveryFatalMessageWithItsEcho) {
  struct Case {
    const char* source;
    const char* report;
  };
  const Case cases[] = {
      // Tabs become spaces to 4-column stops. The mark sits at the lexer's scan
      // position: after the character that follows the last token read.
      {"void main() {\n\tint x;\n\tx\t= 1 @;\n}\n", "test.c(3) : 文法エラー。\n    x   = 1 @■;"},
      // Double-byte characters are copied whole and count two columns.
      {"void main() { outs(\"漢字\"); @ }\n", "test.c(1) : 文法エラー。\nvoid main() { outs(\"漢字\"); @■ }"},
      {"int x = 1; int x;\n", "test.c(1) : 変数（関数）の宣言に誤りがあります。\nint x = 1; int x;■"},
      {"void main() { int x; x = (1 + ); }\n", "test.c(1) : 式の記述に誤りがあります。\nvoid main() { int x; x = (1 + );■ }"},
      {"int t[3]; void main() { switch (1) { case t[0]: ; } }\n",
       "test.c(1) : 定数がありません。\nint t[3]; void main() { switch (1) { case t[0]: ■; } }"},
      {"void main() { 1 = 2; }\n", "test.c(1) : 変数がありません。\nvoid main() { 1 = 2; ■}"},
      {"float f; void main() { f = f | 1; }\n", "test.c(1) : 型の指定が間違っています。\nfloat f; void main() { f = f | 1; ■}"},
      {"void main() { int x; x = y; }\n", "test.c(1) : 定義されていない文字列です。\nvoid main() { int x; x = y; ■}"},
      {"void main() { int x; x = 1 / 0; }\n", "test.c(1) : ０で除算しました。\nvoid main() { int x; x = 1 / 0; ■}"},
      {"void main() {\n", "test.c(2) : コンパイル途中で EOF が現れました。\n■"},
      {"int x = \n", "test.c(2) : コンパイル途中で EOF が現れました。\n■"},
  };
  for (const Case& c : cases) {
    source("test.c", c.source);
    const Compiled k = compile_file("test.c");
    EXPECT_FALSE(k.ok) << c.source;
    EXPECT_EQ(k.report, c.report) << c.source;
  }
}

TEST_F(Report, AnErrorInAMacroExpansionMarksTheLineAfterTheCall) {
  source("test.c", "#define BAD(x) x + @\nvoid main() { int v; v = BAD(1); v = 2; }\n");
  EXPECT_EQ(compile_file("test.c").report,
            "test.c(2) : 文法エラー。\nvoid main() { int v; v = BAD(1)■; v = 2; }");
  // Nested expansions mark after the outermost call.
  source("test.c", "#define IN(x) (x @)\n#define OUT(y) IN(y)\nvoid main() { int v; v = OUT(3) + 1; }\n");
  EXPECT_EQ(compile_file("test.c").report,
            "test.c(3) : 文法エラー。\nvoid main() { int v; v = OUT(3)■ + 1; }");
}

TEST_F(Report, AMainFileThatCannotBeOpenedHasNoEcho) {
  const Compiled c = compile_file("absent.c");
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.report, "absent.c(0) : ファイルのオープンに失敗しました。\n");
}

SourceStatus failing_reader(std::string_view path, std::vector<uint8_t>& text) {
  if (path == "unreadable.h") return kSourceCannotRead;
  if (path == "huge.h") return kSourceNoMemory;
  return memory_reader(path, text);
}

TEST_F(Report, SourcesThatCannotBeReadOrHeld) {
  set_source_reader(failing_reader);
  source("test.c", "int a;\n#include \"unreadable.h\"\n");
  EXPECT_EQ(compile_file("test.c").report,
            "test.c(2) : ファイルの読み込みに失敗しました。\n#include \"unreadable.h\"■");
  source("test.c", "#include \"huge.h\"\n");
  EXPECT_EQ(compile_file("test.c").report, "test.c(1) : メモリの確保に失敗しました。\n#include \"huge.h\"■");
}

TEST_F(Report, EndOfInputBetweenDeclarationsIsTheNormalEnd) {
  EXPECT_TRUE(compile("void main() { }").ok);
  EXPECT_TRUE(compile("void main() { };;;\n\n").ok);
  EXPECT_EQ(errors(""), "main 関数は定義されていません。\n");
}

TEST_F(Report, IsShownOnceAtLevel1AndOnlyWhenErrorIsSet) {
  const std::string warn = "void main() { int x; x = 1 }\n";  // a missing ';' only
  source("test.c", warn);
  // A successful measuring pass shows nothing; the emitting pass shows the report.
  EXPECT_TRUE(compile_script("test.c", 0, 0, options_));
  EXPECT_TRUE(shown_.empty());
  const Compiled c = compile_file("test.c");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(shown_, std::vector<std::string>{"test.c(1) : ';' がありません\n"});
  // A failing measuring pass shows its report.
  shown_.clear();
  source("test.c", "void main() { @ }\n");
  EXPECT_FALSE(compile_file("test.c").ok);
  EXPECT_EQ(shown_, std::vector<std::string>{"test.c(1) : 文法エラー。\nvoid main() { @■ }"});
  // With Error = 0 nothing is collected or shown, and the result is the same.
  shown_.clear();
  options_.report_errors = false;
  const Compiled quiet = compile_file("test.c");
  EXPECT_FALSE(quiet.ok);
  EXPECT_EQ(quiet.report, "");
  EXPECT_TRUE(shown_.empty());
  source("test.c", warn);
  EXPECT_TRUE(compile_file("test.c").ok);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(Report, TextBeyond8192BytesIsDropped) {
  std::string text = "void main() { int x;\n";
  for (int i = 0; i < 1000; ++i) text += "x = 1\n";
  text += "}\n";
  const Compiled c = compile(text);
  EXPECT_TRUE(c.ok);
  const std::string cp932 = c.result.report;
  EXPECT_EQ(cp932.size(), 8191u);
  EXPECT_EQ(cp932.rfind("test.c(2) : ';' がありません\n", 0), std::string::npos);  // cp932, not UTF-8
  EXPECT_EQ(utf8(cp932).rfind("test.c(3) : ';' がありません\n", 0), 0u);
}

TEST_F(Report, SourcesAreReadThroughTheFileLayer) {
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  set_source_reader(nullptr);
  options_.script_folder = "scripts\\";
  dir.write("scripts/defs.h", "int shared = 5;\n");
  const std::string main_text = std::string(kHeader) + "#include \"Defs.h\"\nvoid main() { out(shared); }\n";
  // A compressed main file that includes a plain one (found ignoring case).
  ASSERT_EQ(files::write_compressed("scripts\\main.c", main_text.data(), static_cast<uint32_t>(main_text.size())), 1);
  const Compiled c = compile_file("main.c");
  ASSERT_TRUE(c.ok) << c.report;
  EXPECT_EQ(run(c).out, std::vector<std::string>{"5"});
  const Compiled missing = compile_file("nothing.c");
  EXPECT_EQ(missing.report, "scripts\\nothing.c(0) : ファイルのオープンに失敗しました。\n");
}

}  // namespace
}  // namespace zelt::ctest
