// Declarations: types, layout, storage, initializers, functions, built-ins,
// the shared extern-function table, link errors and the table limits.
#include "script/compiler/compiler_test_util.h"

namespace zelt::ctest {
namespace {

class Decl : public CompilerTest {
 protected:
  // The first line of the report of a failing source (the message only).
  std::string first_error(const std::string& text) {
    const std::string report = errors(text);
    return report.substr(0, report.find('\n'));
  }
};

TEST_F(Decl, DeclarationsThatWork) {
  struct Case {
    const char* source;
    const char* out;
  };
  const Case cases[] = {
      // int and void are the same; a void function returns whatever r0 holds.
      {"void five() { return 5; } int main() { out(five()); }", "5"},
      {"int f(); void f(); int f() { return 1; } void main() { out(f()); }", "1"},
      // Functions may be called before they are declared (returning int).
      {"void main() { out(later(4)); } int later(int x) { return x * 3; }", "12"},
      // Old-style parameters; a bare name without a declaration is int.
      {"int f(a, b, c) char *b; float c; { outs(b); outf(c); return a; } void main() { out(f(2, \"s\", 1.5)); }",
       "s 1.5 2"},
      {"int main(void) { out(1); }", "1"},
      // A prototype with named parameters is a declaration.
      {"int add(int a, int b); void main() { out(add(1, 2)); } int add(int a, int b) { return a + b; }", "3"},
      {"typedef unsigned char byte; typedef byte *bytes; byte b = 255; void main() { bytes p; p = &b; out(*p); }",
       "255"},
      {"void main() { typedef short S; S s; s = -1; out(s); out(sizeof(S)); }", "-1 2"},
      // static locals live in the data area and keep their value.
      {"int count() { static int n = 10; return n++; } void main() { count(); count(); out(count()); }", "12"},
      {"static int hidden = 3; static int twice(int x) { return 2 * x; } void main() { out(twice(hidden)); }", "6"},
      {"struct node { int v; struct node *next; } a, b; void main() { a.next = &b; b.v = 4; out(a.next->v); }",
       "4"},
      // Member names belong to their struct.
      {"struct A { int x; char y; } a; struct B { char y; int x; } b;\n"
       "void main() { a.x = 1; b.x = 2; out(a.x + b.x); out(sizeof(a) + sizeof(b)); }",
       "3 10"},
      {"unsigned short us = 65535; signed char sc = -1; unsigned long ul = 7; long int li = -2; short int si = 3;\n"
       "void main() { out(us); out(sc); out(ul); out(li); out(si); }",
       "65535 -1 7 -2 3"},
      // Parameters of array type are pointers.
      {"int sum(int v[3], int n) { int s; s = 0; while (n--) s += v[n]; return s; } int t[3] = {1, 2, 3};\n"
       "void main() { out(sum(t, 3)); }",
       "6"},
  };
  for (const Case& c : cases) EXPECT_EQ(output_of(c.source), c.out) << c.source;
}

TEST_F(Decl, Initializers) {
  struct Case {
    const char* source;
    const char* out;
  };
  const Case cases[] = {
      {"int i = 3.9; float f = 2; char c = 'x'; short s = -2;\nvoid main() { out(i); outf(f); out(c); out(s); }",
       "3 2 120 -2"},
      {"int g = 7; int *p = &g; int t[3] = {4, 5, 6}; int *q = t; int *r = &t[2]; char *s = \"str\";\n"
       "void main() { out(*p); out(q[1]); out(*r); outs(s); outs(s + 1); }",
       "7 5 6 str tr"},
      {"int f() { return 9; } int (*fp)() = f; int fa = (int)f;\nvoid main() { out(fp()); out(fa == (int)f); }",
       "9 1"},
      // Empty elements and missing ones are zero.
      {"int t[5] = {1, , 3};\nvoid main() { out(t[0]); out(t[1]); out(t[2]); out(t[3]); out(t[4]); }",
       "1 0 3 0 0"},
      // Without braces the list takes at most the element count.
      {"int t[2] = 8, 9, u = 10;\nvoid main() { out(t[0] + t[1]); out(u); }", "17 10"},
      {"int m[2][3] = {{1, 2}, {3, 4}, {5, 6}};\nvoid main() { out(m[2][1]); out(m[0][1]); }", "6 2"},
      {"int m[2][2] = {1, 2, 3, 4};\nvoid main() { out(m[1][0]); }", "3"},
      {"float ft[2] = {1, 2.5};\nvoid main() { outf(ft[0] + ft[1]); }", "3.5"},
      {"char *names[3] = {\"a\", \"bc\", \"def\"};\nvoid main() { outs(names[2]); }", "def"},
      // Local initializers are compiled code.
      {"int g = 2;\nvoid main() { int a = g * 3; float f = a; int t[3] = {a, a + 1}; out(a); outf(f); out(t[1]); }",
       "6 6 7"},
  };
  for (const Case& c : cases) EXPECT_EQ(output_of(c.source), c.out) << c.source;
}

TEST_F(Decl, DeclarationErrors) {
  struct Case {
    const char* source;
    const char* error;
  };
  const Case cases[] = {
      {"int x; int x;", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int x; int x() { }", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"void main() { int a; int a; }", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int f() { } int f() { }", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int f(); float f();", "test.c(1) : 型の指定が間違っています。"},
      {"static extern int x;", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int x y;", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int x\nint y;", "test.c(2) : 変数（関数）の宣言に誤りがあります。"},
      {"float int x;", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int t[-1];", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int t[];", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int n; int t[n];", "test.c(1) : 定数がありません。"},
      {"int big[0x40000000];", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      // Images are limited to 256 MiB.
      {"char big[300000000];", "test.c(1) : プログラム領域が足りません。"},
      {"struct S { int a; }; struct S { int b; };", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"struct T *p;", "test.c(1) : 定義されていない文字列です。"},
      {"int x; struct x *p;", "test.c(1) : 型の指定が間違っています。"},
      {"struct S { int a; }; union S *p;", "test.c(1) : 型の指定が間違っています。"},
      {"struct S { struct S inner; };", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"struct S { int a; int a; };", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"struct S { int f(); };", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int main(int argc) { }", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int main(a) { }", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"int f(a) int b; { }", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"#trap\nint x;", "test.c(2) : 変数（関数）の宣言に誤りがあります。"},
      {"void main() {\n#trap\nint f(); }", "test.c(3) : 変数（関数）の宣言に誤りがあります。"},
      {"void f() { } int x = sizeof(f);", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      // Initializers.
      {"int x; int y = x;", "test.c(1) : 型の指定が間違っています。"},
      {"int g; char c = (int)&g;", "test.c(1) : 型の指定が間違っています。"},
      {"char s[4] = \"abc\";", "test.c(1) : 型の指定が間違っています。"},
      {"int t[2] = {1, 2, 3};", "test.c(1) : 型の指定が間違っています。"},
      {"int t[3] = {1 2};", "test.c(1) : 型の指定が間違っています。"},
      {"struct S { int a; } s = 1;", "test.c(1) : 型の指定が間違っています。"},
      {"extern int e = 1;", "test.c(1) : 変数（関数）の宣言に誤りがあります。"},
      {"void main() { int a; a(1, 2); struct { int x; } s; s(); }", "test.c(1) : 型の指定が間違っています。"},
  };
  for (const Case& c : cases) EXPECT_EQ(first_error(c.source), c.error) << c.source;
}

TEST_F(Decl, ExternVariablesAreSharedInDeclarationOrder) {
  source("a.c", "extern int a; extern char pad[3]; extern int b;\nvoid main() { a = 11; b = 22; }\n");
  source("b.c", std::string(kHeader) + "extern int x; extern char q[3]; extern int y;\nvoid main() { out(x + y); }\n");
  const Compiled first = compile_file("a.c");
  ASSERT_TRUE(first.ok) << first.report;
  EXPECT_EQ(first.result.extern_size, 11u);
  run(first);
  const Compiled second = compile_file("b.c");
  ASSERT_TRUE(second.ok) << second.report;
  EXPECT_EQ(run(second).out, std::vector<std::string>{"33"});
}

TEST_F(Decl, ExternDataBeyondHeapSizeIsRejected) {
  const std::string fits = "extern char data[" + std::to_string(extern_area_size()) + "];\nvoid main() { }\n";
  EXPECT_TRUE(compile(fits).ok);
  const std::string over = "extern char data[" + std::to_string(extern_area_size()) + "]; extern char one;\n";
  EXPECT_EQ(first_error(over), "test.c(1) : ヒープ領域が溢れました。");
}

TEST_F(Decl, ExternFunctionsAreCalledFromLaterScripts) {
  source("lib.c", "extern int triple(int x) { return 3 * x; }\nextern float half(float f) { return f / 2; }\n"
                  "void main() { }\n");
  const Compiled lib = compile_file("lib.c");
  ASSERT_TRUE(lib.ok) << lib.report;
  ExternFunction ef;
  ASSERT_TRUE(extern_functions_find("triple", &ef));
  EXPECT_EQ(ef.address, lib.function("triple"));
  EXPECT_EQ(ef.image, lib.image.base);
  // By declaration without a body, by a call alone, and as a bare name.
  source("use.c", std::string(kHeader) +
                      "float half(float f);\nint apply(int (*fn)(int), int v) { return fn(v); }\n"
                      "void main() { out(triple(4)); outf(half(3.0)); out(apply(triple, 5)); }\n");
  const Compiled use = compile_file("use.c");
  ASSERT_TRUE(use.ok) << use.report;
  EXPECT_EQ(use.result.linked_images, std::vector<ScriptAddr>{lib.image.base});
  EXPECT_EQ(run(use).out, (std::vector<std::string>{"12", "1.5", "15"}));
  // Once the defining image is gone, its functions are too.
  extern_functions_forget_image(lib.image.base);
  EXPECT_FALSE(extern_functions_find("triple", nullptr));
  const Compiled after = compile_file("use.c");
  EXPECT_FALSE(after.ok);
  // Reported in the order of first mention.
  EXPECT_EQ(after.report, "half 関数は定義されていません。\ntriple 関数は定義されていません。\n");
}

TEST_F(Decl, ExternFunctionTableEntries) {
  // A redefinition replaces the entry; a failed compilation records nothing.
  source("one.c", "extern int f() { return 1; }\nvoid main() { }\n");
  source("two.c", "extern int f() { return 2; }\nextern int g() { return 0; }\nvoid main() { undefined(); }\n");
  const Compiled one = compile_file("one.c");
  ASSERT_TRUE(one.ok);
  EXPECT_FALSE(compile_file("two.c").ok);
  ExternFunction ef;
  ASSERT_TRUE(extern_functions_find("f", &ef));
  EXPECT_EQ(ef.image, one.image.base);
  EXPECT_FALSE(extern_functions_find("g", nullptr));
  // The measuring pass records nothing either.
  source("three.c", "extern int h() { return 3; }\nvoid main() { }\n");
  ASSERT_TRUE(compile_script("three.c", 0, 0, options_));
  EXPECT_FALSE(extern_functions_find("h", nullptr));
  // Names of 32 bytes or more are rejected.
  const std::string long_name(32, 'n');
  EXPECT_EQ(first_error("extern int " + long_name + "() { return 0; }"), "test.c(1) : 変数（関数）の宣言に誤りがあります。");
  EXPECT_TRUE(compile("extern int " + long_name.substr(1) + "() { return 0; } void main() { }").ok);
}

TEST_F(Decl, TheExternFunctionTableHolds512Entries) {
  std::string text;
  for (int i = 0; i < 511; ++i) text += "extern int e" + std::to_string(i) + "() { return 0; }\n";
  text += "void main() { }\n";
  ASSERT_TRUE(compile(text).ok);
  EXPECT_EQ(extern_functions_count(), 511);
  EXPECT_TRUE(compile("extern int last() { return 0; } void main() { }").ok);
  EXPECT_EQ(extern_functions_count(), 512);
  // Replacing an entry still works; a 513th fails.
  EXPECT_TRUE(compile("extern int e0() { return 1; } void main() { }").ok);
  EXPECT_EQ(first_error("extern int one_more() { return 0; } void main() { }"),
            "test.c(1) : 変数（関数）の宣言に誤りがあります。");
}

TEST_F(Decl, LinkErrors) {
  EXPECT_EQ(errors("int f(); void main() { f(); g(); }\n"),
            "f 関数は定義されていません。\ng 関数は定義されていません。\n");
  EXPECT_EQ(errors("int x;\n"), "main 関数は定義されていません。\n");
  EXPECT_EQ(errors("void main() { goto nowhere; }\n"), "nowhere ラベルは定義されていません。\n");
  // An undefined name that is not called is an error at once.
  EXPECT_EQ(first_error("void main() { int x; x = (int)nothing; }"), "test.c(1) : 定義されていない文字列です。");
}

TEST_F(Decl, GotoLabels) {
  EXPECT_EQ(output_of("void main() { int i; i = 0; top: i++; if (i < 3) goto top; out(i); goto end; out(99); end: ; }"),
            "3");
  // Labels live in the global table: the same name twice fails, even in two functions.
  EXPECT_EQ(first_error("void f() { a: ; } void main() { a: ; }"), "test.c(1) : 型の指定が間違っています。");
  EXPECT_EQ(first_error("int v; void main() { v: ; }"), "test.c(1) : 型の指定が間違っています。");
  // A jump into another function is refused.
  EXPECT_EQ(first_error("void f() { goto there; } void main() { there: ; }"), "test.c(1) : 文法エラー。");
  EXPECT_EQ(first_error("void f() { here: ; } void main() { goto here; }"), "test.c(1) : 文法エラー。");
}

TEST_F(Decl, SymbolTableLimits) {
  // The global table: the keywords, "void" and "main" take 27 entries; the
  // names x0 ... fill it to the last entry, one more does not fit.
  auto globals = [](int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "int x" + std::to_string(i) + ";\n";
    return text + "void main() { }\n";
  };
  EXPECT_TRUE(compile(globals(7168 - 27)).ok);
  EXPECT_EQ(first_error(globals(7168 - 26)), "test.c(7142) : グローバルシンボルの数が多すぎます。");
  // The local table.
  std::string locals = "void main() {\n";
  for (int i = 0; i < 1025; ++i) locals += "int l" + std::to_string(i) + ";\n";
  EXPECT_NE(errors(locals + "}\n").find("ローカルシンボルの数が多すぎます"), std::string::npos);
  // The symbol text.
  std::string strings = "char *s;\nvoid main() {\n";
  for (int i = 0; i < 70; ++i) strings += "s = \"" + std::string(4000, 'a') + "\";\n";
  EXPECT_NE(errors(strings + "}\n").find("シンボルバッファの長さをオーバーしました"), std::string::npos);
}

}  // namespace
}  // namespace zelt::ctest
