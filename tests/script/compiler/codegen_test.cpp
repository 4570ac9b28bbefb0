// The emitted code: each case is a small function and the exact
// instructions it must compile to (addresses made relative by listing():
// function names, @offset inside the function, D-n for data).
#include "script/compiler/compiler_test_util.h"
#include "script/vm/opcodes.h"

namespace zelt::ctest {
namespace {

class Codegen : public CompilerTest {
 protected:
  std::string code(const std::string& text, const std::string& function = "f") {
    const Compiled c = compile(text + "\nvoid main() {}\n");
    if (!c.ok) return "<compile error> " + c.report;
    return listing(c, function);
  }
};

TEST_F(Codegen, EmittedCode) {
  struct Case {
    const char* name;
    const char* source;
    const char* code;
  };
  const Case cases[] = {
      {"right operand before left; x - y - z is (x - y) - z",
       "int x, y, z; int f() { return x - y - z; }",
       "enter $0\nmovl r0, D-12\nmovl r2, D-8\nmovl r3, D-4\nsub r3, r2\nsub r3, r0\n"
       "xchg r0, r3\nleave $0\nret\n"},
      {"four saves use the free registers; the fifth spills to the stack",
       "int a, b, c, d, e, g, h; int f() { return (((((a + b) * c) - d) | e) ^ g) - h; }",
       "enter $0\nmovl r0, D-28\nmovl r2, D-24\nmovl r3, D-20\nmovl r4, D-16\nmovl r5, D-12\n"
       "push r5\nmovl r5, D-4\npush r5\nmovl r5, D-8\npop r1\nadd r5, r1\npop r1\nmul r5, r1\n"
       "sub r5, r4\nor r5, r3\nxor r5, r2\nsub r5, r0\nxchg r0, r5\nleave $0\nret\n"},
      {"if (1) has no test, if (0) is one jump, while (1) has no test",
       "int x; void f() { if (1) x = 1; if (0) x = 2; while (1) x = 3; }",
       "enter $0\nmovl r0, $1\nmovl D-4, r0\njmp @34\nmovl r0, $2\nmovl D-4, r0\n"
       "movl r0, $3\nmovl D-4, r0\njmp @34\nleave $0\nret\n"},
      {"arguments from last to first; no add r7 after a call without arguments",
       "int g(int a) { return a; } int h(int a, int b) { return 0; } int k() { return 0; }\n"
       "void f() { h(1, g(2)); k(); }",
       "enter $0\npush $2\ncall g\nadd r7, $4\npush r0\npush $1\ncall h\nadd r7, $8\ncall k\n"
       "leave $0\nret\n"},
      {"a function name argument goes through a register",
       "int g() { return 0; } int h(int p) { return 0; } void f() { h(g); }",
       "enter $0\nmovl r0, $g\npush r0\ncall h\nadd r7, $4\nleave $0\nret\n"},
      {"unsigned and pointer comparisons use the unsigned jumps",
       "unsigned u; int *p, *q; void f() { if (u > 0) u = 1; if (p < q) u = 2; }",
       "enter $0\nmovl r0, $0\nmovl r2, D-4\nsub r2, r0\njbe @36\nmovl r0, $1\nmovl D-4, r0\n"
       "movl r0, D-12\nmovl r2, D-8\nsub r2, r0\njae @67\nmovl r0, $2\nmovl D-4, r0\nleave $0\nret\n"},
      {"float relations use fsub and the signed jumps; equality compares bits with sub",
       "float a, b; int x; void f() { if (a < b) x = 1; if (a == b) x = 2; }",
       "enter $0\nmovl r0, D-8\nmovl r2, D-4\nfsub r2, r0\njge @36\nmovl r0, $1\nmovl D-12, r0\n"
       "movl r0, D-8\nmovl r2, D-4\nsub r2, r0\njne @67\nmovl r0, $2\nmovl D-12, r0\nleave $0\nret\n"},
      {"plain loads are tested in memory, by width",
       "char c; short s; unsigned char uc; int n; void f() { char lc; int l;\n"
       "  if (c) n = 1; if (s) n = 2; if (lc) n = 3; if (!uc) n = 4; if (l) n = 5; }",
       "enter $5\nzerob D-1\nje @27\nmovl r0, $1\nmovl D-8, r0\nzerow D-3\nje @49\nmovl r0, $2\n"
       "movl D-8, r0\nzerob -21(r6)\nje @71\nmovl r0, $3\nmovl D-8, r0\nzerob D-4\njne @93\n"
       "movl r0, $4\nmovl D-8, r0\nzerol -25(r6)\nje @115\nmovl r0, $5\nmovl D-8, r0\nleave $5\nret\n"},
      {"other conditions compare with 0",
       "int x; int g() { return 1; } void f() { if (g()) x = 1; }",
       "enter $0\ncall g\ncmp r0, $0\nje @33\nmovl r0, $1\nmovl D-4, r0\nleave $0\nret\n"},
      {"&& and || jump without values; as a value they give 0 or 1",
       "int x, y; int f() { return x && y || !x; }",
       "enter $0\nzerol D-4\nje @25\nzerol D-8\njne @46\nzerol D-4\nje @46\nmovl r0, $0\njmp @52\n"
       "movl r0, $1\nleave $0\nret\n"},
      {"a comparison as a value",
       "int x, y; int f() { return x < y; }",
       "enter $0\nmovl r0, D-8\nmovl r2, D-4\nsub r2, r0\njl @35\nmovl r2, $0\njmp @41\n"
       "movl r2, $1\nxchg r0, r2\nleave $0\nret\n"},
      {"c ? x : y",
       "int c, x, y; int f() { return c ? x : y; }",
       "enter $0\nzerol D-4\nje @26\nmovl r0, D-8\njmp @32\nmovl r0, D-12\nleave $0\nret\n"},
      {"constants and plain loads end up on the right of + * & | ^",
       "int x, y; void f() { x = 2 + x; x = x * y; x = y & 3; x = (x + y) | x; }",
       "enter $0\nmovl r0, $2\nmovl r2, D-4\nadd r2, r0\nmovl D-4, r2\nmovl r0, D-4\nmovl r2, D-8\n"
       "mul r2, r0\nmovl D-4, r2\nmovl r0, $3\nmovl r2, D-8\nand r2, r0\nmovl D-4, r2\n"
       "movl r0, D-4\nmovl r2, D-4\nmovl r3, D-8\nadd r3, r2\nor r3, r0\nmovl D-4, r3\nxchg r0, r3\n"
       "leave $0\nret\n"},
      {"multiplying or dividing by 1 leaves the operand; constants fold",
       "int x; void f() { x = x * 1; x = x / 1; x = 1 * x; x = 6 * 7 + (1 << 4) - (-8 >> 1); }",
       "enter $0\nmovl r0, D-4\nmovl D-4, r0\nmovl r0, D-4\nmovl D-4, r0\nmovl r0, D-4\nmovl D-4, r0\n"
       "movl r0, $62\nmovl D-4, r0\nleave $0\nret\n"},
      {"a store through a pointer leaves the stored value in A",
       "int *p; int f() { return *p = 5; }",
       "enter $0\nmovl r0, $5\nmovl r2, D-4\nmovl (r2), r0\nleave $0\nret\n"},
      {"compound assignment computes the address twice",
       "int i; int a[10]; void f() { a[i++] += 1; }",
       "enter $0\nmovl r0, $1\nmovl r2, $4\nmovl r3, $D-4\npostop r3, (r3), $1\nmul r3, r2\n"
       "movl r1, $D-44\nadd r1, r3\nmovl r1, (r1)\nadd r1, r0\nmovl r2, $4\nmovl r3, $D-4\n"
       "postop r3, (r3), $1\nmul r3, r2\nmovl r0, $D-44\nadd r0, r3\nmovl (r0), r1\nxchg r0, r1\n"
       "leave $0\nret\n"},
      {"++ and -- by type: preop/postop on 32 bits, byte forms on char",
       "int x; char c; int *p; void f() { x++; ++x; c++; --c; p++; }",
       "enter $0\nmovl r0, $D-4\npostop r0, (r0), $1\nmovl r0, $D-4\npreop r0, (r0), $1\n"
       "movl r0, $D-5\npostinc r0, (r0)\nmovl r0, $D-5\npredec r0, (r0)\nmovl r0, $D-9\n"
       "postop r0, (r0), $4\nleave $0\nret\n"},
      {"a char store keeps the low byte; loads widen by type",
       "char c; unsigned short w; int f() { c = 300; return c + w; }",
       "enter $0\nmovl r0, $300\nmovb D-1, r0\nmovsbl r0, D-1\nmovwl r2, D-3\nadd r2, r0\n"
       "xchg r0, r2\nleave $0\nret\n"},
      {"int and float convert with itof and ftoi",
       "int x; float g; void f() { x = g; g = x; g = g + x; }",
       "enter $0\nmovl r0, D-8\nftoi r0, r0\nmovl D-4, r0\nmovl r0, D-4\nitof r0, r0\nmovl D-8, r0\n"
       "movl r0, D-8\nmovl r2, D-4\nitof r2, r2\nfadd r2, r0\nmovl D-8, r2\nxchg r0, r2\nleave $0\nret\n"},
      {"parameters above r6, locals below r6 - 20, enter/leave with the frame size",
       "int f(int a, char b) { int x; char y[3]; x = a; y[1] = b; return x; }",
       "enter $7\nmovl r0, 8(r6)\nmovl -24(r6), r0\nmovsbl r0, 12(r6)\nmovb -26(r6), r0\n"
       "movl r0, -24(r6)\nleave $7\nret\n"},
      {"a return before the end jumps to the exit; the last one falls into it",
       "int g; int f(int a) { if (g) return a; return 0; }",
       "enter $0\nzerol D-4\nje @26\nmovl r0, 8(r6)\njmp @32\nmovl r0, $0\nleave $0\nret\n"},
      {"switch: tests follow the value, fall-through jumps over the next tests",
       "int x; void f() { switch (x) { case 1: case 2: x = 5; break; case 3: x = 6; default: x = 7; } }",
       "enter $0\nmovl r0, D-4\ncmp r0, $1\nje @33\ncmp r0, $2\njne @50\nmovl r0, $5\nmovl D-4, r0\n"
       "jmp @95\ncmp r0, $3\njne @90\nmovl r0, $6\nmovl D-4, r0\nmovl r0, $7\nmovl D-4, r0\njmp @95\n"
       "jmp @73\nleave $0\nret\n"},
      {"switch whose body does not start with a case jumps to the first test",
       "int x; void f() { switch (x) { default: x = 1; break; case 2: x = 2; } }",
       "enter $0\nmovl r0, D-4\njmp @33\nmovl r0, $1\nmovl D-4, r0\njmp @66\ncmp r0, $2\njne @61\n"
       "movl r0, $2\nmovl D-4, r0\njmp @66\njmp @16\nleave $0\nret\n"},
      {"switch without braces: a return in its body is completed before the last test's label",
       "int x; int f() { switch (x) case 1: return 1; return 0; }",
       "enter $0\nmovl r0, D-4\ncmp r0, $1\njne @33\nmovl r0, $1\njmp @39\nmovl r0, $0\nleave $0\nret\n"},
      {"loops",
       "int x; void f() { do x++; while (x < 10); for (x = 0; x < 3; x++) ; while (x); }",
       "enter $0\nmovl r0, $D-4\npostop r0, (r0), $1\nmovl r0, $10\nmovl r2, D-4\nsub r2, r0\n"
       "jl @5\nmovl r0, $0\nmovl D-4, r0\nmovl r0, $3\nmovl r2, D-4\nsub r2, r0\njge @84\n"
       "movl r0, $D-4\npostop r0, (r0), $1\njmp @48\nzerol D-4\njne @84\nleave $0\nret\n"},
      {"members and indexes of globals are direct loads",
       "struct S { int a, b; } s; int t[4]; int *p; int f() { return s.b + (&s)->a + t[2] + p[1]; }",
       "enter $0\nmovl r0, $4\nmovl r2, D-28\nadd r2, r0\nmovl r2, (r2)\nmovl r1, D-16\nmovl r3, D-4\n"
       "movl r4, D-8\nadd r4, r3\nadd r4, r1\nadd r4, r2\nmovl r0, r4\nleave $0\nret\n"},
      {"a built-in is the stub trap n; ret",
       "#trap\nint f(int a);", "trap #0\nret\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(code(c.source), c.code) << c.name << "\n" << c.source;
}

TEST_F(Codegen, TheImageStartsWithJmpMainAndDataFillsItFromTheEnd) {
  const Compiled c = compile("int f() { return 1; }\nchar tail = 7;\nvoid main() { f(); }\n");
  ASSERT_TRUE(c.ok);
  const uint8_t* image = script_memory().host(c.image.base);
  EXPECT_EQ(image[0], static_cast<uint8_t>(vm::Op::Jmp));
  EXPECT_EQ(vm::read_u32(image + 1), c.function("main"));
  EXPECT_EQ(c.result.data_size, 1u);
  EXPECT_EQ(c.image.size, c.result.code_size + c.result.data_size);
  EXPECT_EQ(image[c.image.size - 1], 7);
}

TEST_F(Codegen, GlobalsAndStringsArePlacedBelowEachOther) {
  const Compiled c = compile("int a = 1; char *s = \"hi\"; short b = 2;\nvoid main() { }\n");
  ASSERT_TRUE(c.ok);
  const uint8_t* end = script_memory().host(c.image.base) + c.image.size;
  // a at -4, s at -8, its text at -11, b at -13.
  EXPECT_EQ(vm::read_u32(end - 4), 1u);
  EXPECT_EQ(vm::read_u32(end - 8), c.image.base + c.image.size - 11);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(end - 11)), "hi");
  EXPECT_EQ(end[-13] | end[-12] << 8, 2);
  EXPECT_EQ(c.result.data_size, 13u);
}

TEST_F(Codegen, MeasuringAndEmittingPassesAgree) {
  const std::string text = std::string(kHeader) +
                           "int t[3] = {1, 2, 3}; char *m = \"msg\";\n"
                           "int g(int a) { return a * 2; }\n"
                           "void main() { int i; for (i = 0; i < 3; i++) out(g(t[i])); outs(m); }\n";
  source("test.c", text);
  CompileResult measure;
  ASSERT_TRUE(compile_script("test.c", 0, 0, options_, &measure));
  const Compiled c = compile_file("test.c");
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(measure.code_size, c.result.code_size);
  EXPECT_EQ(measure.data_size, c.result.data_size);
  EXPECT_EQ(run(c).out, (std::vector<std::string>{"2", "4", "6", "msg"}));
  // A larger image (a fixed ProgramSize) leaves a free gap; data that was
  // never initialized still reads as zero.
  source("gap.c", std::string(kHeader) + "int f() { return 1; }\nint zero; int t[4];\n"
                                         "void main() { out(zero + t[0] + t[3] + f()); }\n");
  const Compiled gap = compile_file("gap.c", 4096);
  ASSERT_TRUE(gap.ok) << gap.report;
  EXPECT_EQ(run(gap).out, std::vector<std::string>{"1"});
  // An image one byte short does not fit.
  const Compiled small = compile_file("test.c", measure.code_size + measure.data_size - 1);
  EXPECT_FALSE(small.ok);
  EXPECT_NE(small.report.find("プログラム領域が足りません"), std::string::npos) << small.report;
}

}  // namespace
}  // namespace zelt::ctest
