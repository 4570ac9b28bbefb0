// Shared fixture for interpreter tests: assembles a program into a fresh
// image in script memory, gives it a stack and a zero-filled data block, and
// runs it under the dispatch build named by the test parameter. Messages go
// to a recording sink.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/messages.h"
#include "script/host/host.h"
#include "script/vm/assembler.h"
#include "script/vm/context.h"
#include "script/vm/interpreter.h"

namespace zelt::vmtest {

using RunSlice = Fault (*)(ScriptContext&);

inline std::vector<std::string>& shown_messages() {
  static std::vector<std::string> shown;
  return shown;
}
inline int record_message(std::string_view text, std::string_view) {
  shown_messages().emplace_back(text);
  return kIdOk;
}

inline uint32_t fbits(float f) { return std::bit_cast<uint32_t>(f); }
inline float fval(uint32_t v) { return std::bit_cast<float>(v); }

struct Flags {
  bool zero = false, less = false, below = false;
};

class VmTest : public ::testing::TestWithParam<RunSlice> {
 protected:
  static constexpr uint32_t kDataSize = 256;

  void SetUp() override {
    stop_all.store(0);
    shown_messages().clear();
    set_message_sink(record_message);
    vm_set_trap_handler(nullptr);
    data_ = block(kDataSize);
  }

  void TearDown() override {
    for (ScriptAddr a : blocks_) script_memory().free(a);
    for (const ProgramImage& image : images_) program_image_release(image);
    set_message_sink(nullptr);
    vm_set_trap_handler(nullptr);
    stop_all.store(0);
  }

  // A zero-filled block of script memory, freed after the test.
  ScriptAddr block(uint32_t size) {
    const ScriptAddr a = script_memory().allocate_zeroed(size);
    EXPECT_NE(a, 0u);
    blocks_.push_back(a);
    return a;
  }

  // Assembles `source` into a new image and makes ctx_ a fresh context of it.
  // Symbols: D (the data block), S (stack base), T (stack top).
  ScriptContext& load(std::string_view source, uint32_t stack_size = 1024, uint32_t image_size = 0) {
    const ScriptAddr stack = block(stack_size);
    vm::AsmSymbols symbols{{"D", data_}, {"S", stack}, {"T", stack + stack_size}};
    // Assemble once to learn the size, then at the image's address.
    const vm::AsmResult sizing = vm::assemble(source, 0x10000, symbols);
    EXPECT_TRUE(sizing.ok()) << sizing.error;
    const uint32_t size = image_size ? image_size : static_cast<uint32_t>(sizing.code.size());
    const ProgramImage image = program_image_create(size);
    EXPECT_TRUE(image);
    images_.push_back(image);
    asm_ = vm::assemble(source, image.base, symbols);
    EXPECT_TRUE(asm_.ok()) << asm_.error;
    EXPECT_LE(asm_.code.size(), size);
    std::memcpy(host(image.base), asm_.code.data(), asm_.code.size());
    ctx_ = context_make(image, stack, stack_size);
    return ctx_;
  }

  // One slice; a fault is reported and stops everything, as the host does.
  Fault run(ScriptContext& c) {
    const Fault fault = GetParam()(c);
    stop_on_fault(fault);
    return fault;
  }
  Fault run() { return run(ctx_); }

  // Runs slices until the context stops running or stop_all is set; returns
  // the number of slices.
  int run_to_end(int max_slices = 100000) {
    int n = 0;
    while (ctx_.status == ContextStatus::Running && stop_all.load() == 0 && n < max_slices) {
      run();
      ++n;
    }
    return n;
  }

  // Runs `code` followed by `trap #0` for one slice, with r6 = D + 128 and
  // the given registers and flags; expects the trap to be reached.
  ScriptContext& exec(std::string_view code, std::initializer_list<std::pair<int, uint32_t>> regs = {},
                      Flags flags = {}) {
    load(std::string(code) + "\n trap #0\n after:\n");
    ctx_.r[6] = data_ + 128;
    for (const auto& [r, v] : regs) ctx_.r[r] = v;
    ctx_.zero = flags.zero;
    ctx_.less = flags.less;
    ctx_.below = flags.below;
    run();
    EXPECT_EQ(ctx_.status, ContextStatus::Running) << code;
    EXPECT_EQ(ctx_.pc, asm_.label("after")) << code;
    EXPECT_EQ(stop_all.load(), 0) << code;
    return ctx_;
  }

  uint8_t* host(ScriptAddr a) { return script_memory().host(a); }
  uint32_t u32(ScriptAddr a) {
    uint32_t v;
    std::memcpy(&v, host(a), 4);
    return v;
  }
  void set_u32(ScriptAddr a, uint32_t v) { std::memcpy(host(a), &v, 4); }
  void set_bytes(ScriptAddr a, std::initializer_list<uint8_t> bytes) {
    std::memcpy(host(a), bytes.begin(), bytes.size());
  }

  // Expects exactly one shown message with the text of `id`, a faulted
  // context and stop_all set.
  void expect_fault(Msg id) {
    EXPECT_EQ(ctx_.status, ContextStatus::Faulted);
    EXPECT_EQ(stop_all.load(), 1);
    ASSERT_EQ(shown_messages().size(), 1u);
    EXPECT_EQ(shown_messages()[0], msg_text(id));
  }

  ScriptAddr data_ = 0;
  ScriptContext ctx_{};
  vm::AsmResult asm_;
  std::vector<ScriptAddr> blocks_;
  std::vector<ProgramImage> images_;
};

inline std::string dispatch_name(const ::testing::TestParamInfo<RunSlice>& info) {
  return info.param == &vm_run_slice ? "Threaded" : "Switch";
}

#define ZELT_VM_INSTANTIATE(suite) \
  INSTANTIATE_TEST_SUITE_P(Dispatch, suite, ::testing::Values(&vm_run_slice, &vm_run_slice_switch), dispatch_name)

}  // namespace zelt::vmtest
