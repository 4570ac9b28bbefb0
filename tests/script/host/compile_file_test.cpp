// compile_script_file and the lifetime of contexts and program images.
#include "script/host/host_test_util.h"

namespace zelt::hosttest {
namespace {

class CompileFile : public HostTest {
 protected:
  ScriptContext* compile(const std::string& name, int32_t program_size = 0, int32_t stack_size = 4096) {
    std::lock_guard lock(builtin_lock());
    return compile_script_file(name, program_size, stack_size);
  }
  static void free_context(ScriptContext* context) {
    std::lock_guard lock(builtin_lock());
    context_free(context);
  }
};

TEST_F(CompileFile, OnlyDotCNamesShorterThan260BytesAreCompiled) {
  const std::string body = "int main() { return 0; }\n";
  const std::string longest = std::string(257, 'n') + ".c";  // 259 bytes
  for (const std::string& name : {std::string("a.c"), std::string("B.C"), std::string("x.y.c"), longest})
    add(name, body);
  enum Outcome { Compiles, Fails, Refused };  // refused names never reach the compiler
  struct Case {
    std::string name;
    Outcome outcome;
  };
  const Case cases[] = {
      {"a.c", Compiles},    {"B.C", Compiles},  {"x.y.c", Compiles},   {longest, Compiles},
      {".c", Fails},  // names no file
      {"a.cpp", Refused},   {"a", Refused},     {"a.c.txt", Refused},  {"d.c\\x", Refused},
      {std::string(258, 'n') + ".c", Refused},
  };
  for (const Case& c : cases) {
    const int before = reads();
    ScriptContext* context = compile(c.name);
    EXPECT_EQ(context != nullptr, c.outcome == Compiles) << c.name;
    EXPECT_EQ(reads() == before, c.outcome == Refused) << c.name;
    free_context(context);
  }
}

TEST_F(CompileFile, ProgramAndStackSizes) {
  add("s.c", "char *text = \"abcdef\";\nint main() { return text[0]; }\n");
  CompileResult measured;
  ASSERT_EQ(compile_script("s.c", 0, 0, {}, &measured), 1) << measured.report;
  const int32_t exact = static_cast<int32_t>(measured.code_size + measured.data_size);
  struct Case {
    int32_t program_size, stack_size;
    int32_t image_size;  // 0: refused
  };
  const Case cases[] = {
      {0, 4096, exact},  // measured
      {8192, 4096, 8192},
      {exact, 100, exact},
      {exact - 1, 4096, 0},  // does not fit
      {-1, 4096, 0},
      {0, -1, 0},
  };
  for (const Case& c : cases) {
    ScriptContext* context = compile("s.c", c.program_size, c.stack_size);
    ASSERT_EQ(context != nullptr, c.image_size != 0) << c.program_size << " " << c.stack_size;
    if (!context) continue;
    EXPECT_EQ(context->image_size, c.image_size);
    EXPECT_EQ(context->stack_size, c.stack_size);
    EXPECT_EQ(context->r[7], context->stack_base + static_cast<uint32_t>(c.stack_size));
    EXPECT_EQ(context->pc, context->image_base);
    EXPECT_EQ(image_reference_count(context->image_base), 1);
    free_context(context);
  }
  // Only the fixed size that was too small reports.
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_NE(messages()[0].find(msg_text(Msg::CompileProgramSize)), std::string::npos);
}

TEST_F(CompileFile, ChildrenShareTheImageUntilTheLastOneIsFreed) {
  std::lock_guard lock(builtin_lock());
  ScriptContext* parent = context_create(64, 2048);
  ASSERT_NE(parent, nullptr);
  const ScriptAddr image = parent->image_base;
  ScriptContext* a = context_create_child(*parent, 0);
  ScriptContext* b = context_create_child(*parent, 1024);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->stack_size, 2048);
  EXPECT_EQ(b->stack_size, 1024);
  EXPECT_EQ(a->image_base, image);
  EXPECT_NE(a->stack_base, b->stack_base);
  EXPECT_EQ(image_reference_count(image), 3);
  context_free(parent);
  context_free(a);
  EXPECT_EQ(image_reference_count(image), 1);
  // The count word after the image follows, but a script that overwrites it
  // cannot free the image under a running context.
  int32_t word;
  std::memcpy(&word, script_memory().host(image + 64), 4);
  EXPECT_EQ(word, 1);
  std::memset(script_memory().host(image + 64), 0, 4);
  EXPECT_EQ(image_reference_count(image), 1);
  EXPECT_NE(script_memory().block_size(image), 0u);
  context_free(b);
  EXPECT_EQ(image_reference_count(image), 0);
  EXPECT_EQ(script_memory().block_size(image), 0u);
  context_free(nullptr);
}

}  // namespace
}  // namespace zelt::hosttest
