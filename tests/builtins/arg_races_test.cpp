// Built-in calls while another script thread rewrites the caller's argument
// cells: each handler must see one value per cell, so a count checked
// against a span is the count used with it and a divisor tested for 0 stays
// non-zero. Stress tests: each runs for a fraction of a second.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "builtins/builtin_table.h"
#include "builtins/files_win.h"
#include "builtins/handlers.h"
#include "script/vm/interpreter.h"
#include "support/rewriter.h"

namespace zelt {
namespace {

using namespace std::chrono_literals;

constexpr auto kDuration = 300ms;

class BuiltinArgRaces : public ::testing::Test {
 protected:
  void SetUp() override { builtin_dispatch_install(builtin_entries()); }
  void TearDown() override { vm_set_trap_handler(nullptr); }
};

// A context stopped at a built-in call: a return address and the argument
// cells on top of a small stack block.
class CallFrame {
 public:
  explicit CallFrame(std::initializer_list<uint32_t> cells) {
    context_.stack_base = base_;
    context_.stack_size = kSize;
    context_.r[7] = base_ + kSize - 4 * static_cast<uint32_t>(cells.size() + 1);
    std::memcpy(script_memory().host(cell(0)), cells.begin(), 4 * cells.size());
  }
  ~CallFrame() { script_memory().free(base_); }
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

  ScriptAddr cell(uint32_t k) const { return context_.r[7] + 4 + 4 * k; }
  uint32_t call(BuiltinId id) {
    builtin_dispatch(context_, static_cast<uint16_t>(id));
    return context_.r[0];
  }

 private:
  static constexpr uint32_t kSize = 64;
  ScriptAddr base_ = script_memory().allocate_zeroed(kSize);
  ScriptContext context_{};
};

// The count of memcpy, memmove, memcmp and memswap switches between 16 and
// 1 MiB. The second range is the last 16 usable bytes, so a 1 MiB access
// checked for 16 bytes runs off usable memory; the first is a 1 MiB block.
TEST_F(BuiltinArgRaces, MemoryCountRewrittenDuringTheCall) {
  constexpr uint32_t kBig = 1 << 20, kSmall = 16;
  ScriptMemory& mem = script_memory();
  const ScriptAddr big = mem.allocate_zeroed(kBig);
  ASSERT_NE(big, 0u);
  const ScriptAddr last = mem.end() - kSmall;
  // The allocator makes memory usable in large steps, so the last bytes are
  // past every block; memswap writes there, and they are zeroed afterwards.
  ASSERT_LE(mem.stats().top, last);
  const BuiltinId ids[] = {BuiltinId::memcpy, BuiltinId::memmove, BuiltinId::memcmp, BuiltinId::memswap};
  for (const BuiltinId id : ids) {
    SCOPED_TRACE(builtin_info(static_cast<uint32_t>(id))->name);
    // memcpy and memmove copy from the last bytes; memcmp and memswap use
    // them as their second range too.
    CallFrame frame({big, last, kSmall});
    test::Rewriter<uint32_t> rewriter(frame.cell(2), kBig, kSmall);
    int results[2] = {};
    test::repeat_for(kDuration, [&] { ++results[frame.call(id) != 0]; });
    if (id != BuiltinId::memcmp) {  // the ranges are equal: memcmp returns 0 either way
      EXPECT_GT(results[1], 0);     // some 16-byte calls ran
    }
  }
  std::memset(mem.host(last), 0, kSmall);
  mem.free(big);
}

// The item size of fread and fwrite switches between 1 and 0 while the
// stream moves the bytes; the result divides by it.
TEST_F(BuiltinArgRaces, ItemSizeRewrittenDuringFileTransfer) {
  const ScriptAddr buffer = script_memory().allocate_zeroed(64);
  struct Case {
    BuiltinId id;
    const char* name;
    const char* mode;
  };
  const Case cases[] = {{BuiltinId::fread, "/dev/zero", "rb"}, {BuiltinId::fwrite, "/dev/null", "wb"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t fp = winfile::stream_open(c.name, c.mode);
    ASSERT_NE(fp, 0u);
    CallFrame frame({buffer, 1, 64, fp});
    test::Rewriter<uint32_t> rewriter(frame.cell(1), 0, 1);
    int counts[2] = {};
    test::repeat_for(kDuration, [&] {
      const uint32_t n = frame.call(c.id);
      ASSERT_TRUE(n == 0 || n == 64) << n;
      ++counts[n != 0];
    });
    EXPECT_GT(counts[1], 0);
    winfile::stream_close(fp);
  }
  script_memory().free(buffer);
}

}  // namespace
}  // namespace zelt
