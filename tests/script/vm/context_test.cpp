#include "script/vm/context.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zelt {
namespace {

TEST(ProgramImage, IsZeroFilledWithTheCountWordAfterIt) {
  ScriptMemory& mem = script_memory();
  const ProgramImage image = program_image_create(100);
  ASSERT_TRUE(image);
  EXPECT_EQ(image.size, 100u);
  EXPECT_EQ(image.count_address(), image.base + 100);
  for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(mem.host(image.base)[i], 0) << i;
  int32_t count;
  std::memcpy(&count, mem.host(image.count_address()), 4);
  EXPECT_EQ(count, 1);

  // A second user raises the count; the block goes when the last one releases it.
  count = 2;
  std::memcpy(mem.host(image.count_address()), &count, 4);
  EXPECT_FALSE(program_image_release(image));
  EXPECT_EQ(mem.block_size(image.base) >= 104, true);
  EXPECT_TRUE(program_image_release(image));
  EXPECT_EQ(mem.block_size(image.base), 0u);

  EXPECT_FALSE(program_image_create(0x7FFFFFFCu));
  EXPECT_FALSE(program_image_release(ProgramImage{}));
}

TEST(ScriptContext, NewContextStartsAtTheImageWithAnEmptyStack) {
  const ProgramImage image{0x20000, 64};
  const ScriptContext c = context_make(image, 0x30000, 4096);
  EXPECT_EQ(c.status, ContextStatus::Running);
  EXPECT_EQ(c.pc, 0x20000u);
  EXPECT_EQ(c.image_base, 0x20000u);
  EXPECT_EQ(c.image_count, 0x20040u);
  EXPECT_EQ(c.image_size, 64);
  EXPECT_EQ(c.stack_base, 0x30000u);
  EXPECT_EQ(c.stack_size, 4096);
  EXPECT_EQ(c.thread_slot, 0);
  EXPECT_EQ(c.zero | c.less | c.below, 0);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(c.r[i], 0u);
  EXPECT_EQ(c.r[7], 0x31000u);
  EXPECT_EQ(context_image(c).base, image.base);
  EXPECT_EQ(context_image(c).size, image.size);
}

TEST(ScriptContext, CopiesByteForByteThroughA64ByteBuffer) {
  ScriptContext c = context_make(ProgramImage{0x20000, 64}, 0x30000, 4096);
  c.thread_slot = 3;
  c.less = 1;
  c.r[2] = 0xCAFEF00D;
  uint8_t buffer[64];
  std::memcpy(buffer, &c, 64);
  // Field order as stored: slot, status, zero, less, below, pc, ...
  int32_t slot;
  std::memcpy(&slot, buffer, 4);
  EXPECT_EQ(slot, 3);
  EXPECT_EQ(buffer[4], 0);
  EXPECT_EQ(buffer[6], 1);
  uint32_t pc, r2;
  std::memcpy(&pc, buffer + 8, 4);
  std::memcpy(&r2, buffer + 32 + 8, 4);
  EXPECT_EQ(pc, 0x20000u);
  EXPECT_EQ(r2, 0xCAFEF00Du);
  ScriptContext back;
  std::memcpy(&back, buffer, 64);
  EXPECT_EQ(std::memcmp(&back, &c, 64), 0);
}

}  // namespace
}  // namespace zelt
