// Lexing, literals and escapes, comments, directives, macros and includes.
#include "script/compiler/compiler_test_util.h"

namespace zelt::ctest {
namespace {

class Lexer : public CompilerTest {
 protected:
  // Raw code page 932 bytes as a source file.
  void raw_source(const std::string& name, const std::string& bytes) { sources()[name] = bytes; }
};

TEST_F(Lexer, NumbersAndCharacterLiterals) {
  struct Case {
    const char* expr;
    const char* out;
  };
  const Case cases[] = {
      {"out(0x1F)", "31"},
      {"out(0XfF)", "255"},
      {"out(0b1011)", "11"},
      {"out(0123)", "123"},          // no octal
      {"out(4294967297)", "1"},      // wraps modulo 2^32
      {"out(0xFFFFFFFF)", "-1"},
      {"outf(1.25f)", "1.25"},
      {"outf(1.25)", "1.25"},
      {"outf(2f)", "2"},
      {"outf(3.)", "3"},
      {"outf(4294967296.0)", "4.29497e+09"},  // the digits as written, not the wrapped integer
      {"outf(0.1)", "0.1"},
      {"out('A')", "65"},
      {"out('\\n')", "10"},
      {"out('\\'')", "39"},
      {"out('\\x41')", "65"},
      {"out('\\x')", "0"},
      {"out('\\xfff')", "<compile error>"},  // two hex digits, then a stray 'f'
      {"out('\\101')", "101"},       // a decimal escape
      {"out('\\0101')", "65"},       // an octal escape
      {"out('\\0')", "0"},
      {"out('\\q')", "113"},
      {"out('\\\\')", "92"},
      {"out('あ')", "33440"},        // lead byte * 256 + trail byte (0x82 0xA0)
      {"out('\\あ')", "33440"},     // an escaped double-byte character is the same
      {"out('\\\nA')", "65"},       // an escaped line feed is skipped
      {"out(0x10f)", "271"},
  };
  for (const Case& c : cases) {
    const std::string got = output_of(std::string("void main() { ") + c.expr + "; }");
    if (std::string(c.out) == "<compile error>")
      EXPECT_EQ(got.rfind("<compile error>", 0), 0u) << c.expr << " -> " << got;
    else
      EXPECT_EQ(got, c.out) << c.expr;
  }
}

TEST_F(Lexer, ANumberFollowedByALetterStartsANewToken) {
  // 1e3 is the integer 1 followed by the identifier e3.
  const Compiled c = compile("void main() { int e3; e3 = 1e3; }");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.report, "test.c(1) : ';' がありません\n");
  // 1.25f and 1.25 are the same float.
  EXPECT_EQ(output_of("void main() { out(1.25f == 1.25); }"), "1");
}

TEST_F(Lexer, StringLiteralsAndEscapes) {
  struct Case {
    const char* literal;
    const char* out;
  };
  const Case cases[] = {
      {R"("a\tb")", "a\tb"},
      {R"("q\"q")", "q\"q"},
      {R"("\101\0102")", "eB"},  // decimal 101 is 'e'; octal 0102 is 'B'
      {R"("x\x41y")", "xAy"},
      {R"("back\\slash")", "back\\slash"},
      {R"("ab" "cd")", "abcd"},
      {"\"ab\" /* c */\n  \"cd\" \"\"", "abcd"},
      {"\"line\\\ncontinues\"", "linecontinues"},
      {R"("表示")", "表示"},  // the trail byte of 表 is a backslash
      {R"("a\あb")", "aあb"},  // an escaped double-byte character stays whole
  };
  for (const Case& c : cases) {
    const Compiled k = compile(std::string(kHeader) + "void main() { outs(" + c.literal + "); }");
    ASSERT_TRUE(k.ok) << c.literal << "\n" << k.report;
    const Run r = run(k);
    ASSERT_EQ(r.out.size(), 1u) << c.literal;
    EXPECT_EQ(utf8(r.out[0]), c.out) << c.literal;
  }
  // sizeof a string literal counts its terminator.
  EXPECT_EQ(output_of("void main() { out(sizeof(\"abc\" \"de\")); }"), "6");
}

TEST_F(Lexer, ATrailByteThatIsAQuoteDoesNotEndAString) {
  // 0x81 0x22: a lead byte takes the byte after it, even a double quote.
  raw_source("test.c", std::string(kHeader) + "void main() { outs(\"a\x81\"b\"); }\n");
  const Compiled c = compile_file("test.c");
  ASSERT_TRUE(c.ok) << c.report;
  EXPECT_EQ(run(c).out, std::vector<std::string>{"a\x81\"b"});
}

TEST_F(Lexer, Comments) {
  EXPECT_EQ(output_of("void main() { /* a /* nested */ still comment */ out(1); // out(2);\n }"), "1");
  // A nested comment needs its own close: one "*/" is not enough.
  EXPECT_NE(errors("void main() { /* a /* b */ out(1); }\n").find("EOF"), std::string::npos);
  // Lines inside a comment are not directives.
  EXPECT_EQ(output_of("/*\n#bogus directive\n*/\nvoid main() { out(3); }"), "3");
}

TEST_F(Lexer, LineLengthLimit) {
  const std::string pad4094 = "int x;" + std::string(4094 - 6, ' ');
  EXPECT_TRUE(compile(pad4094 + "\nvoid main() {}\n").ok);
  // Carriage returns do not count.
  EXPECT_TRUE(compile(pad4094 + "\r\nvoid main() {}\n").ok);
  const std::string report = errors(pad4094 + " \nvoid main() {}\n");
  EXPECT_EQ(report.rfind("test.c(1) : 一行の長さが長すぎます。\n", 0), 0u) << report.substr(0, 80);
}

TEST_F(Lexer, LexicalErrors) {
  struct Case {
    const char* source;
    const char* report;
  };
  const Case cases[] = {
      {"void main() { int x; x = 1 @ 2; }", "test.c(1) : 文法エラー。\nvoid main() { int x; x = 1 @■ 2; }"},
      {"void main() { outs(\"abc); }", "test.c(1) : 文字列は一行内に記述してください。\nvoid main() { outs(\"abc); }■"},
      {"void main() { out('ab'); }", "test.c(1) : クォーテーションがありません。\nvoid main() { out('ab■'); }"},
      {"void main() { out('\n'); }", "test.c(1) : 文字列は一行内に記述してください。\nvoid main() { out('■"},
  };
  for (const Case& c : cases) {
    source("test.c", std::string(c.source) + "\n");
    const Compiled k = compile_file("test.c");
    EXPECT_FALSE(k.ok);
    EXPECT_EQ(k.report, c.report) << c.source;
  }
}

TEST_F(Lexer, ObjectAndFunctionMacros) {
  struct Case {
    const char* source;
    const char* out;
  };
  const Case cases[] = {
      {"#define N 5\nvoid main() { out(N * 2); }", "10"},
      {"#define E\nvoid main() { out(E 4); }", "4"},
      {"#define SQ(x) ((x)*(x))\nvoid main() { out(SQ(1 + 2)); }", "9"},
      // Both call forms; in the second the ';' stays in place.
      {"#define MAX(a, b) out((a) > (b) ? (a) : (b))\nvoid main() { MAX(3, 8); MAX 9, 2; }", "8 9"},
      // Parameter names match ignoring case, also inside string literals.
      {"#define SAY(Text) outs(\"text: \" #text)\nvoid main() { SAY(x); }", "<error>"},
      {"#define P(s) outs(\"s\")\nvoid main() { P(hello); }", "P_0"},
      {"#define P(Val) out(VAL + val)\nvoid main() { P(2); }", "4"},
      // Commas inside parentheses and literals do not split arguments.
      {"#define F(a, b) out(a); outs(b)\nvoid main() { F(g(1, 2), \"x,)\"); } int g(int a, int b) { return a * 10 + b; }",
       "12 x,)"},
      // Missing arguments are empty; extra ones are ignored.
      {"#define F(a, b) out(a b 1)\nvoid main() { F(5 +); F(2 +, 1 +, 7); }", "6 4"},
      // Continuation lines.
      {"#define ADD(a, b) \\\n  out((a) + \\\n (b))\nvoid main() { ADD(1, 2); }", "3"},
      // Empty parentheses define a parameterless macro; NAME() keeps them.
      {"#define F() seven\nvoid main() { out(F()); }", "7"},
      // ## joins the argument to the token being read.
      {"#define P(x) item##x\nint item3;\nvoid main() { item3 = 6; out(P(3)); }", "6"},
      {"#define G(x) v##x##_end\nint v2_end = 9;\nvoid main() { out(G(2)); }", "9"},
      // A macro's own parameter names are NAME_i.
      {"#define F(a) out(F_0)\nvoid main() { F(11); }", "11"},
  };
  for (const Case& c : cases) {
    const std::string got = output_of(c.source);
    if (std::string(c.out) == "<error>")
      EXPECT_EQ(got.rfind("<compile error>", 0), 0u) << c.source << " -> " << got;
    else
      EXPECT_EQ(got, c.out) << c.source;
  }
}

TEST_F(Lexer, DirectiveErrors) {
  struct Case {
    const char* source;
    const char* report;
  };
  const Case cases[] = {
      {"#define A 1\n#define A 2\n", "test.c(2) : ディレクティプ命令でエラーが発生しました。\n#define A■ 2"},
      {"int x;\n#define x 2\n", "test.c(2) : ディレクティプ命令でエラーが発生しました。\n#define x■ 2"},
      {"#define 1A 2\n", "test.c(1) : ディレクティプ命令でエラーが発生しました。\n#define ■1A 2"},
      {"#bogus\n", "test.c(1) : ディレクティプ命令でエラーが発生しました。\n#■bogus"},
      {"#\n", "test.c(1) : ディレクティプ命令でエラーが発生しました。\n#■"},
      {"#asm\n#asm\n", "test.c(2) : ディレクティプ命令でエラーが発生しました。\n#■asm"},
      {"#endasm\n", "test.c(1) : ディレクティプ命令でエラーが発生しました。\n#■endasm"},
      {"#define F(a, 1) a\n", "test.c(1) : 文法エラー。\n#define F(a, ■1) a"},
      {"#define F(a b) a\n", "test.c(1) : 文法エラー。\n#define F(a ■b) a"},
      {"#define F_0 1\n#define F(a) a\n", "test.c(2) : 文法エラー。\n#define F(a)■ a"},
      {"#define G(x) x\n#define H(y) a##G\nint H(1);\n",
       "test.c(3) : ディレクティプ命令でエラーが発生しました。\nint H(1)■;"},
      {"#define A A\nint A;\n", "test.c(2) : マクロの参照回数が１６回を超えました。\nint A■;"},
      {"#include <x.h>\n", "test.c(1) : インクルードファイルの指定が間違ってます。\n#include ■<x.h>"},
      {"#include \"x.h\n", "test.c(1) : インクルードファイルの指定が間違ってます。\n#include \"x.h■"},
      {"#include \"missing.h\"\n", "test.c(1) : ファイルのオープンに失敗しました。\n#include \"missing.h\"■"},
  };
  for (const Case& c : cases) {
    source("test.c", c.source);
    const Compiled k = compile_file("test.c");
    EXPECT_FALSE(k.ok) << c.source;
    EXPECT_EQ(k.report, c.report) << c.source;
  }
}

TEST_F(Lexer, SixteenNestedMacrosExpandTheSeventeenthFails) {
  std::string defs;
  for (int i = 1; i < 16; ++i) defs += "#define M" + std::to_string(i) + " M" + std::to_string(i + 1) + "\n";
  EXPECT_EQ(output_of(defs + "#define M16 5\nvoid main() { out(M1); }"), "5");
  const std::string deeper = defs + "#define M16 M17\n#define M17 5\nvoid main() { out(M1); }";
  EXPECT_NE(output_of(deeper).find("マクロの参照回数が１６回を超えました"), std::string::npos);
}

TEST_F(Lexer, ExponentialExpansionsEndWithTheMacroMessage) {
  // Eight levels of eight uses each: 8^9 semicolons, which compile to
  // nothing; the total text of expansions is limited.
  std::string text = "#define M0 ;;;;;;;;\n";
  for (int i = 1; i <= 8; ++i) {
    text += "#define M" + std::to_string(i);
    for (int k = 0; k < 8; ++k) text += " M" + std::to_string(i - 1);
    text += "\n";
  }
  const std::string report = errors(text + "void main() { M8 }\n");
  EXPECT_EQ(report.substr(0, report.find('\n')), "test.c(10) : マクロの参照回数が１６回を超えました。");
}

TEST_F(Lexer, AsmBlocksAndCommentLinesAreSkipped) {
  EXPECT_EQ(output_of("# a comment line\n#asm\n  this is not C @@@\n#endasm\nvoid main() { out(1); }"), "1");
}

TEST_F(Lexer, TrapNumbersCountFromZeroAndTheDeclarationMayShareTheLine) {
  const Compiled c = compile("#trap int a();\n#trap\nint b();\n#trap int c(); void main() { c(); }\n");
  ASSERT_TRUE(c.ok) << c.report;
  EXPECT_EQ(listing(c, "main"), "enter $0\ncall c\nleave $0\nret\n");
  EXPECT_EQ(listing(c, "a"), "trap #0\nret\n");
  EXPECT_EQ(listing(c, "c"), "trap #2\nret\n");
}

TEST_F(Lexer, IncludeOnceIgnoringCaseAndLineNumbers) {
  source("defs.h", "int shared;\n#define TWO 2\n");
  // The second include (other case) is skipped and leaves numbering alone;
  // after an include, counting goes on with the line after the #include.
  source("test.c",
         "#include \"defs.h\"\n"
         "#include \"DEFS.H\"\n"
         "void main() {\n"
         "  out(TWO);\n"
         "  @\n"
         "}\n");
  const Compiled c = compile_file("test.c");
  EXPECT_EQ(c.report, "test.c(5) : 文法エラー。\n  @■");
  source("inc.h", "int v;\nint w; @\n");
  source("test.c", "int a;\n#include \"inc.h\"\n");
  EXPECT_EQ(compile_file("test.c").report, "inc.h(2) : 文法エラー。\nint w; @■");
}

TEST_F(Lexer, IncludeNesting) {
  // A file including itself is read once.
  source("self.h", "#include \"self.h\"\nint s;\n");
  source("test.c", "#include \"self.h\"\nvoid main() { s = 1; }\n");
  EXPECT_TRUE(compile_file("test.c").ok);
  // The main file and 15 nested includes are accepted; one more level fails.
  for (int depth : {15, 16}) {
    sources().clear();
    for (int i = 1; i <= depth; ++i)
      source("n" + std::to_string(i) + ".h",
             i < depth ? "#include \"n" + std::to_string(i + 1) + ".h\"\n" : "int deepest;\n");
    source("test.c", "#include \"n1.h\"\nvoid main() { deepest = 1; }\n");
    const Compiled c = compile_file("test.c");
    if (depth == 15) {
      EXPECT_TRUE(c.ok) << c.report;
    } else {
      EXPECT_EQ(c.report, "n15.h(1) : インクルードファイルのネスト回数が多すぎます。\n#include \"n16.h\"■");
    }
  }
}

TEST_F(Lexer, SourcePathsOf260BytesAreRejected) {
  options_.script_folder = std::string(250, 'd') + "\\";
  source("a.c", "void main() {}\n");  // 251 + 3 bytes: fits
  EXPECT_TRUE(compile_file("a.c").ok);
  const std::string name(8, 'b');
  source(name + ".c", "void main() {}\n");  // 251 + 10 = 261 bytes
  const Compiled c = compile_file(name + ".c");
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.report.find("インクルードファイルの指定が間違ってます"), std::string::npos) << c.report;
}

TEST_F(Lexer, ScriptFolderPrefixesEverySource) {
  options_.script_folder = "scripts\\";
  source("lib.h", "int lib;\n");
  source("test.c", "#include \"lib.h\"\nvoid main() { lib = 1; }\n");
  const Compiled c = compile_file("test.c");
  EXPECT_TRUE(c.ok) << c.report;
  sources().clear();
  source("test.c", "#include \"nothere.h\"\n");
  EXPECT_EQ(compile_file("test.c").report,
            "scripts\\test.c(1) : ファイルのオープンに失敗しました。\n#include \"nothere.h\"■");
}

}  // namespace
}  // namespace zelt::ctest
