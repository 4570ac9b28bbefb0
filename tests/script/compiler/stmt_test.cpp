// Statements, compiled and run, and the statement errors.
#include "script/compiler/compiler_test_util.h"

namespace zelt::ctest {
namespace {

class Stmt : public CompilerTest {
 protected:
  std::string first_error(const std::string& text) {
    const std::string report = errors(text);
    return report.substr(0, report.find('\n'));
  }
};

TEST_F(Stmt, ControlFlow) {
  struct Case {
    const char* body;
    const char* out;
  };
  const Case cases[] = {
      {"int i; if (0) out(1); else if (1) out(2); else out(3); if (1) if (0) out(4); else out(5);", "2 5"},
      {"int i; i = 0; while (i < 3) out(i++); while (i > 10); do out(i); while (--i > 0);", "0 1 2 3 2 1"},
      {"int i; for (i = 0; i < 10; i++) { if (i == 2) continue; if (i == 4) break; out(i); } out(i);", "0 1 3 4"},
      {"int i, j; for (i = 0; i < 2; i++) for (j = 0; j < 2; j++) out(i * 10 + j);", "0 1 10 11"},
      {"int i; i = 5; for (;;) { if (!--i) break; } out(i); for (i = 0; ; ) if (++i == 3) break; out(i);", "0 3"},
      {"int i; i = 0; do { i++; if (i < 3) continue; break; } while (1); out(i);", "3"},
      {"int i; i = 0; while (1) { i++; if (i == 4) break; } out(i);", "4"},
  };
  for (const Case& c : cases) EXPECT_EQ(output_of(std::string("void main() { ") + c.body + " }"), c.out) << c.body;
}

TEST_F(Stmt, Switch) {
  const char* classify =
      "int classify(int v) {\n"
      "  switch (v) {\n"
      "    case 1: return 10;\n"
      "    case 2: case 3: out(23);\n"
      "    case 4: return 40;\n"
      "    case 2.9 * 2: return 50;\n"  // float case values are truncated: 5
      "    case 'a': break;\n"
      "  }\n"
      "  return -1;\n"
      "}\n";
  EXPECT_EQ(output_of(std::string(classify) +
                      "void main() { out(classify(1)); out(classify(3)); out(classify(4)); out(classify(5));"
                      " out(classify('a')); out(classify(99)); }"),
            "10 23 40 40 50 -1 -1");
  // default first, in the middle and last; fall-through into and out of it.
  const char* with_default =
      "int d1(int v) { int r; r = 0; switch (v) { default: r += 100; case 1: r += 1; break; case 2: r += 2; } return r; }\n"
      "int d2(int v) { int r; r = 0; switch (v) { case 1: r += 1; default: r += 100; break; case 2: r += 2; } return r; }\n"
      "int d3(int v) { switch (v) { case 7: return 7; default: return 0; } }\n";
  EXPECT_EQ(output_of(std::string(with_default) +
                      "void main() { out(d1(1)); out(d1(2)); out(d1(9)); out(d2(1)); out(d2(2)); out(d2(9));"
                      " out(d3(7)); out(d3(8)); }"),
            "1 2 101 101 2 100 7 0");
  // Statements before the first case never run; nested switches; continue
  // inside a switch goes to the enclosing loop.
  EXPECT_EQ(output_of("void main() { int i, j; for (i = 0; i < 3; i++) { switch (i) { out(99); case 0: continue;"
                      " case 1: switch (i + 1) { case 2: out(12); } break; default: out(i); } out(-i); } }"),
            "12 -1 2 -2");
  // A switch whose body is one return.
  EXPECT_EQ(output_of("int f(int v) { switch (v) return 5; return 6; } void main() { out(f(1)); }"), "6");
}

// A body without braces is its labels and the one statement they mark; a
// return there ends the body, so a failed test goes on after the switch.
TEST_F(Stmt, SwitchWithoutBraces) {
  struct Case {
    const char* functions;
    const char* calls;
    const char* out;
  };
  const Case cases[] = {
      {"int f(int x) { switch (x) case 1: return 1; return 0; }", "out(f(0)); out(f(1)); out(f(2));", "0 1 0"},
      {"int f(int x) { switch (x) case 1: case 2: return 12; return 0; }", "out(f(0)); out(f(1)); out(f(2)); out(f(3));",
       "0 12 12 0"},
      {"int f(int x) { switch (x) case 1: default: return 9; return 0; }", "out(f(0)); out(f(1));", "9 9"},
      {"int f(int x) { switch (x) default: return 9; return 0; }", "out(f(0));", "9"},
      {"int f(int x) { switch (x) case 1: out(1); return 0; }", "out(f(0)); out(f(1));", "0 1 0"},
      {"int f(int x) { switch (x) again: case 4: return 4; return 0; }", "out(f(0)); out(f(4));", "0 4"},
      // nested, with and without braces inside
      {"int f(int x, int y) { switch (x) case 1: switch (y) case 2: return 12; return 0; }",
       "out(f(0, 2)); out(f(1, 0)); out(f(1, 2));", "0 0 12"},
      {"int f(int x, int y) { switch (x) case 1: switch (y) { case 2: return 12; default: return 10; } return 0; }",
       "out(f(0, 2)); out(f(1, 0)); out(f(1, 2));", "0 10 12"},
      // in a loop: break leaves the switch, continue goes to the loop
      {"int f() { int i; for (i = 0; i < 5; i++) switch (i) case 3: return i; return -1; }", "out(f());", "3"},
      {"void f() { int i; for (i = 0; i < 4; i++) switch (i) case 1: case 2: out(i); }", "f();", "1 2"},
      {"void f() { int i; for (i = 0; i < 4; i++) { switch (i) case 2: continue; out(i); } }", "f();", "0 1 3"},
      {"void f() { int i; i = 0; while (i < 3) { switch (i++) case 1: break; out(i); } }", "f();", "1 2 3"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(output_of(std::string(c.functions) + " void main() { " + c.calls + " }"), c.out) << c.functions;
}

TEST_F(Stmt, Returns) {
  EXPECT_EQ(output_of("int f(int v) { if (v) { return 1; } else { if (v == 0) return 2; } return 3; }"
                      "void main() { out(f(1)); out(f(0)); }"),
            "1 2");
  // A return value is converted to the function's result type.
  EXPECT_EQ(output_of("float f() { return 3; } int g() { return 2.75; } void main() { outf(f()); out(g()); }"),
            "3 2");
  // An empty main is enter, leave, ret and ends the context without a message.
  const Compiled empty = compile("void main() {}");
  EXPECT_EQ(listing(empty, "main"), "enter $0\nleave $0\nret\n");
  EXPECT_EQ(run(empty).status, ContextStatus::Ended);
  EXPECT_TRUE(shown_.empty());
  // main's return value ends the context normally.
  const Compiled c = compile("int main() { return 42; }");
  const Run r = run(c);
  EXPECT_EQ(r.status, ContextStatus::Ended);
  EXPECT_EQ(r.r0, 42);
}

TEST_F(Stmt, LocalsAndRecursion) {
  EXPECT_EQ(output_of("int fact(int n) { int r; if (n <= 1) return 1; r = n * fact(n - 1); return r; }"
                      "void main() { int a[4]; char c; a[3] = fact(5); c = 'z'; out(a[3]); out(c); }"),
            "120 122");
}

TEST_F(Stmt, StatementErrors) {
  struct Case {
    const char* body;
    const char* error;
  };
  const Case cases[] = {
      {"break;", "test.c(1) : 文法エラー。"},
      {"continue;", "test.c(1) : 文法エラー。"},
      {"switch (1) { case 1: continue; }", "test.c(1) : 文法エラー。"},
      {"case 1: ;", "test.c(1) : 文法エラー。"},
      {"default: ;", "test.c(1) : 文法エラー。"},
      {"switch (1) { default: ; default: ; }", "test.c(1) : 文法エラー。"},
      {"int v; switch (1) { case v: ; }", "test.c(1) : 定数がありません。"},
      {"else ;", "test.c(1) : 文法エラー。"},
      {"struct S { int a; } s; if (s) ;", "test.c(1) : 型の指定が間違っています。"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(first_error(std::string("void main() { ") + c.body + " }"), c.error) << c.body;
}

TEST_F(Stmt, DeepStatementNestingEndsWithAMessage) {
  std::string open, close;
  for (int i = 0; i < 2000; ++i) {
    open += "{\n";
    close += "}\n";
  }
  EXPECT_NE(errors("void main() " + open + close).find("ヒープ領域が溢れました"), std::string::npos);
  std::string ifs;
  for (int i = 0; i < 2000; ++i) ifs += "if (1)\n";
  EXPECT_NE(errors("void main() { " + ifs + "; }").find("ヒープ領域が溢れました"), std::string::npos);
}

TEST_F(Stmt, MissingTokensAreReportedAndCompilationGoesOn) {
  const Compiled c = compile(std::string(kHeader) +
                             "void main() {\n"
                             "  int x;\n"
                             "  x = 1\n"
                             "  out(x);\n"
                             "  if (x out(2);\n"
                             "  do x--; (x > 0);\n"
                             "}\n");
  EXPECT_TRUE(c.ok) << c.report;
  EXPECT_EQ(c.report,
            "test.c(12) : ';' がありません\n"
            "test.c(13) : ')' がありません\n"
            "test.c(14) : 'while' がありません\n");
  EXPECT_EQ(run(c).out, (std::vector<std::string>{"1", "2"}));
}

TEST_F(Stmt, ProgramsRunOnTheMachine) {
  const char* program =
      "struct node { int value; struct node *next; };\n"
      "struct node pool[8]; int used;\n"
      "struct node *push(struct node *head, int v) {\n"
      "  struct node *n; n = &pool[used++]; n->value = v; n->next = head; return n;\n"
      "}\n"
      "void sort(int *a, int lo, int hi) {\n"
      "  int i, j, pivot, t;\n"
      "  if (lo >= hi) return;\n"
      "  pivot = a[(lo + hi) / 2]; i = lo; j = hi;\n"
      "  while (i <= j) {\n"
      "    while (a[i] < pivot) i++;\n"
      "    while (a[j] > pivot) j--;\n"
      "    if (i <= j) { t = a[i]; a[i] = a[j]; a[j] = t; i++; j--; }\n"
      "  }\n"
      "  sort(a, lo, j); sort(a, i, hi);\n"
      "}\n"
      "int length(char *s) { char *p; p = s; while (*p) p++; return p - s; }\n"
      "void main() {\n"
      "  int v[7] = {5, -3, 9, 0, 7, 7, -8}; int k; struct node *list;\n"
      "  sort(v, 0, 6);\n"
      "  for (k = 0; k < 7; k++) out(v[k]);\n"
      "  list = 0; for (k = 1; k <= 3; k++) list = push(list, k * k);\n"
      "  while (list) { out(list->value); list = list->next; }\n"
      "  out(length(\"hello\"));\n"
      "}\n";
  EXPECT_EQ(output_of(program), "-8 -3 0 5 7 7 9 9 4 1 5");
}

}  // namespace
}  // namespace zelt::ctest
