// Expression semantics, compiled and run: the type rules of each operator,
// conversions, pointer arithmetic, folding, and the expression errors.
#include "script/compiler/compiler_test_util.h"

namespace zelt::ctest {
namespace {

class Expr : public CompilerTest {};

struct Case {
  const char* decls;  // file-scope declarations
  const char* body;   // statements of main
  const char* out;    // recorded outputs
};

class ExprCases : public Expr {
 public:
  void check(std::initializer_list<Case> cases) {
    for (const Case& c : cases)
      EXPECT_EQ(output_of(std::string(c.decls) + "\nvoid main() { " + c.body + " }"), c.out)
          << c.decls << " | " << c.body;
  }
};

TEST_F(ExprCases, ComparisonsSignedUnsignedAndFloat) {
  check({
      {"unsigned u = 0xFFFFFFFF; int i = -1;", "out(u > 1); out(i > 1); out(u == i);", "1 0 1"},
      {"unsigned char uc = 200; char c = -1;", "out(uc > 100); out(c < 0); out(uc > -1);", "1 1 0"},
      {"int *p; int *q;", "p = (int*)0x10; q = (int*)0x80000000; out(p < q);", "1"},
      {"float a = 1.5; int i = 2;", "out(a < i); out(i <= a); out(a > -1); out(-0.5 < a);", "1 0 1 1"},
      // Equality compares bit patterns, without conversion.
      {"float f = 1;", "out(1.0 == 1); out(0.0 == 0); out(f == 1); out(f == 1.0); out(f != 1);", "0 1 0 1 1"},
  });
}

TEST_F(ExprCases, ArithmeticAndShifts) {
  check({
      {"int a = -7, b = 2;", "out(a / b); out(a % b); out(-7 / 2); out(-7 % 2);", "-3 -1 -3 -1"},
      // / and % are signed also for unsigned operands.
      {"unsigned u = 0xFFFFFFFE;", "out(u / 2); out(u % 3);", "-1 -2"},
      {"int i = -16; unsigned u = -16;", "out(i >> 2); out(u >> 2); out(-16 >> 2); out((unsigned)-16 >> 2);",
       "-4 1073741820 -4 1073741820"},
      {"int one = 1;", "out(one << 33); out(1 << 33); out(one << 32);", "2 2 1"},
      {"int x = 6;", "out(x & 3); out(x | 9); out(x ^ 5); out(~x); out(-x); out(!x); out(!!x);", "2 15 3 -7 -6 0 1"},
      {"int x = 3;", "out(x * 1); out(x / 1); out(1 * x); out(x++ + x); out((x = 10, x + 1));", "3 3 3 6 11"},
      {"", "out(2147483647 + 1); out(0x80000000 / -1); out(0x80000000 % -1);", "-2147483648 -2147483648 0"},
  });
}

TEST_F(ExprCases, FloatConversions) {
  check({
      {"int i = 7; float f;", "f = i / 2; outf(f); outf(i / 2.0); outf(i * 0.5f); outf(2 + 0.25);",
       "3 3.5 3.5 2.25"},
      {"float f = 2.9; float g = -2.9;", "out((int)f); out((int)g);", "2 -2"},
      // Arguments are passed as they are: a float reaches an int parameter
      // as its bit pattern, an int a float parameter likewise.
      {"float f = 2.5;", "out(f); outf(1);", "1075838976 1.4013e-45"},
      {"int i; float f;", "i = 3.99; f = 7; out(i); outf(f); outf(f / 2); outf(-f);", "3 7 3.5 -7"},
      {"float f = 5.5;", "outf(f % 2); outf(f - 1); outf(f * 2);", "1.5 4.5 11"},
      {"int i = 1;", "i += 1.5; out(i); i *= 2.5; out(i);", "2 5"},
      {"float f = 1;", "f += 2; outf(f); f /= 4; outf(f);", "3 0.75"},
      {"int i = 16777217; float f;", "f = i; out((int)f); out((int)(float)i);", "16777216 16777216"},
      {"int c = 1;", "outf(c ? 1 : 2.5); outf(c ? 0.5 : 2);", "1 0.5"},
  });
}

TEST_F(ExprCases, NarrowingAssignments) {
  check({
      // The store keeps the low bits; the value is the one before narrowing.
      {"char c;", "out(c = 300); out(c); c = 200; out(c);", "300 44 -56"},
      {"unsigned char uc; short s; unsigned short us;",
       "out(uc = 300); out(uc); s = 70000; out(s); us = -1; out(us);", "300 44 4464 65535"},
      {"char a[2];", "a[0] = 255; out(a[0]); out(a[0] = 511);", "-1 511"},
      // A cast to char does not truncate.
      {"int x = 300;", "out((char)x); out((char)300);", "300 300"},
  });
}

TEST_F(ExprCases, IncrementAndDecrement) {
  check({
      {"int i = 5;", "out(i++); out(i); out(++i); out(i--); out(--i);", "5 6 7 7 5"},
      // On char and short the value is zero-extended.
      {"char c = 127; char d = 0; short s = -1;", "out(++c); out(d--); out(d); out(s++); out(s);", "128 0 -1 65535 0"},
      {"int a[3]; int *p;", "p = a; p++; out(p - a); ++p; out((int)p - (int)a); p--; out(p - a);", "1 8 1"},
      {"short t[3]; short *p;", "p = t; p += 2; out((int)p - (int)t);", "4"},
      // The target's address is computed twice: the load uses a[0], the store a[1].
      {"int i; int a[4];", "a[i++] += 1; out(i); out(a[0]); out(a[1]);", "2 0 1"},
  });
}

TEST_F(ExprCases, PointerArithmetic) {
  check({
      {"int a[5] = {10, 11, 12, 13, 14}; int *p;",
       "p = a + 1; out(*p); out(*(p + 2)); out(*(2 + p)); out(p[3]); out(*(p - 1)); out(&a[4] - p);",
       "11 13 13 14 10 3"},
      {"struct S { char c; int v; } s[3]; struct S *p;",
       "p = s; p = p + 2; out((int)p - (int)s); out(p - s); out(sizeof(struct S));", "10 2 5"},
      {"char buf[8]; char *p;", "p = buf + 3; out(p - buf); p -= 2; out(p - buf);", "3 1"},
      // * on an integer addresses a char.
      {"int addr;", "addr = (int)\"AB\"; out(*addr); out(*(addr + 1));", "65 66"},
      {"int x = 7; int *p; int **pp;", "p = &x; pp = &p; **pp = 9; out(x); out(*&x);", "9 9"},
  });
}

TEST_F(ExprCases, SizeofAndStructs) {
  check({
      {"", "out(sizeof(struct { char a; long b; }));", "5"},
      {"union U { char c; int i; short s[3]; };", "out(sizeof(union U));", "6"},
      {"int t[2][3]; char s[10];", "out(sizeof(t)); out(sizeof t); out(sizeof(s)); out(sizeof(t[0]));", "24 24 10 8"},
      {"", "out(sizeof(int)); out(sizeof(char)); out(sizeof(short)); out(sizeof(float)); out(sizeof(char*));",
       "4 1 2 4 4"},
      {"struct P { int x; struct { char a, b; } in; int y; } p; struct P *q;",
       "p.in.b = 3; p.y = 4; q = &p; out(q->in.b + q->y); out(sizeof(p));", "7 10"},
      {"union U { int i; char c[4]; } u;", "u.i = 0x01020304; out(u.c[0]); out(u.c[3]);", "4 1"},
  });
}

TEST_F(ExprCases, ReversedArrayDimensions) {
  // In T x[A][B], x has B elements of A elements: x[i][j] is at
  // x + i * A * size(T) + j * size(T).
  check({
      {"int x[2][3];", "x[2][1] = 5; out(*((int*)x + 2 * 2 + 1)); out(sizeof(x[0]));", "5 8"},
      {"char m[4][2];", "m[1][3] = 9; out(*((char*)m + 1 * 4 + 3));", "9"},
  });
}

TEST_F(ExprCases, CallsAndFunctionPointers) {
  check({
      {"int add(int a, int b) { return a + b; } int (*fp)(int, int);",
       "fp = add; out(fp(2, 3)); out((*fp)(4, 5)); fp = &add; out(fp(1, 1));", "5 9 2"},
      {"float half(float x) { return x / 2; }", "outf(half(3.0)); outf(half(5.0f));", "1.5 2.5"},
      {"int order(int a, int b) { out(a); out(b); return 0; } int say(int v) { out(v); return v; }",
       "order(say(1), say(2));", "2 1 1 2"},
      // A char result is read as int.
      {"char big() { return 300; }", "out(big());", "300"},
  });
}

TEST_F(Expr, ConstantDivisionByZero) {
  for (const char* body : {"x = 1 / 0;", "x = 5 % (2 - 2);", "x = x / 0;", "x /= 0;", "f = 1.0 / 0.0;"}) {
    source("test.c", std::string("int x; float f;\nvoid main() { ") + body + " }\n");
    const Compiled c = compile_file("test.c");
    EXPECT_NE(c.report.find("test.c(2) : ０で除算しました。"), std::string::npos) << body << "\n" << c.report;
  }
}

TEST_F(Expr, ExpressionErrors) {
  struct ErrorCase {
    const char* body;
    const char* message;
  };
  const ErrorCase cases[] = {
      {"x = f & 1;", "型の指定が間違っています"},
      {"x = f << 1;", "型の指定が間違っています"},
      {"x = ~f;", "型の指定が間違っています"},
      {"x = p + p;", "型の指定が間違っています"},
      {"x = 1 - p;", "型の指定が間違っています"},
      {"x = p * 2;", "型の指定が間違っています"},
      {"x = *f;", "型の指定が間違っています"},
      {"x = s;", "型の指定が間違っています"},
      {"s = s;", "型の指定が間違っています"},
      {"f++;", "型の指定が間違っています"},
      {"x = -p;", "型の指定が間違っています"},
      {"x = (struct S)x;", "型の指定が間違っています"},
      {"x = &1;", "変数がありません"},
      {"3 = x;", "変数がありません"},
      {"(x + 1)++;", "変数がありません"},
      {"x = undefined_thing;", "定義されていない文字列です"},
      {"x = s.nomember;", "定義されていない文字列です"},
      {"x = ;", "式の記述に誤りがあります"},
      {"x = +1;", "式の記述に誤りがあります"},
      {"x = T;", "式の記述に誤りがあります"},
  };
  for (const ErrorCase& c : cases) {
    source("test.c", std::string("struct S { int a; } s; int x; float f; int *p; typedef int T;\nvoid main() { ") +
                         c.body + " }\n");
    const Compiled k = compile_file("test.c");
    EXPECT_FALSE(k.ok) << c.body;
    EXPECT_EQ(k.report.rfind(std::string("test.c(2) : ") + c.message + "。\n", 0), 0u) << c.body << "\n"
                                                                                       << k.report;
  }
}

TEST_F(Expr, DeepNestingEndsWithAMessageNotACrash) {
  // Parentheses beyond the nesting limit (spread over lines of 50).
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += i % 50 ? "(" : "(\n";
  deep += "1";
  for (int i = 0; i < 5000; ++i) deep += i % 50 ? ")" : ")\n";
  EXPECT_NE(errors("int x; void main() { x = " + deep + "; }").find("ヒープ領域が溢れました"), std::string::npos);
  // A long expression beyond the node pool.
  std::string sum = "x";
  for (int i = 0; i < 3000; ++i) sum += " + x\n";
  EXPECT_NE(errors("int x; void main() { x = " + sum + "; }").find("ヒープ領域が溢れました"), std::string::npos);
  // Many unary operators on a constant.
  std::string minus;
  for (int i = 0; i < 3000; ++i) minus += "-\n";
  EXPECT_NE(errors("int x; void main() { x = " + minus + "1; }").find("ヒープ領域が溢れました"), std::string::npos);
  // Within the limits, long sums compile and run.
  std::string ok = "x";
  for (int i = 0; i < 500; ++i) ok += " + x";
  EXPECT_EQ(output_of("int x = 1; void main() { out(" + ok + "); }"), "501");
}

}  // namespace
}  // namespace zelt::ctest
