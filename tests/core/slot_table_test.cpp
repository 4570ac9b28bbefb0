#include "core/slot_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelt {
namespace {

using Table = SlotTable<std::string, 4>;

TEST(SlotTable, AClosedHandleIsRefusedAfterItsSlotIsReused) {
  Table t;
  const uint32_t a = *t.insert("a");
  const uint32_t b = *t.insert("b");
  ASSERT_NE(a, b);
  EXPECT_EQ(t.close(a), "a");
  const uint32_t c = *t.insert("c");  // the lowest free slot: a's
  EXPECT_NE(c, a);
  EXPECT_EQ(t.lookup(a), nullptr);
  EXPECT_EQ(t.close(a), std::nullopt);  // and closing it again leaves c alone
  ASSERT_NE(t.lookup(c), nullptr);
  EXPECT_EQ(*t.lookup(c), "c");
  EXPECT_EQ(*t.lookup(b), "b");
  EXPECT_EQ(t.size(), 2u);

  // Handles given out before clear stay refused after it.
  t.clear();
  EXPECT_EQ(t.size(), 0u);
  const uint32_t d = *t.insert("d");
  for (uint32_t old : {a, b, c}) EXPECT_EQ(t.lookup(old), nullptr) << old;
  EXPECT_EQ(*t.lookup(d), "d");
}

TEST(SlotTable, ForgedAndOutOfRangeHandlesFindNothing) {
  Table t;
  const uint32_t h = *t.insert("x");
  // Another slot, the next generation of the same slot, bit 31 set.
  for (uint32_t bad : {0u, h + 1, h + 4, h | 0x80000000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(t.lookup(bad), nullptr) << bad;
    EXPECT_EQ(t.close(bad), std::nullopt) << bad;
  }
  EXPECT_NE(t.lookup(h), nullptr);
}

TEST(SlotTable, AFullTableRefusesAndFreesTheLowestSlot) {
  Table t;
  std::vector<uint32_t> handles;
  for (int i = 0; i < 4; ++i) handles.push_back(*t.insert(std::to_string(i)));
  EXPECT_EQ(t.insert("five"), std::nullopt);
  t.close(handles[2]);
  t.close(handles[1]);
  const uint32_t h = *t.insert("one again");
  EXPECT_EQ(h & 3u, 1u);  // slot 1, the lowest free
  EXPECT_EQ(*t.lookup(handles[3]), "3");
}

// Generations wrap without ever giving 0 or a negative int32 (-1 is a
// failure value for scripts), and a handle from just before the wrap is
// still refused.
TEST(SlotTable, HandlesStayPositiveThroughTheGenerationWrap) {
  SlotTable<int, 1u << 24> t;  // 7 bits of generation: 127 handles per slot
  uint32_t previous = *t.insert(0);
  for (int i = 1; i <= 300; ++i) {
    t.close(previous);
    const uint32_t h = *t.insert(i);
    ASSERT_GT(static_cast<int32_t>(h), 0) << i;
    ASSERT_NE(h, previous) << i;
    ASSERT_EQ(t.lookup(previous), nullptr) << i;
    previous = h;
  }
}

TEST(SlotTable, SlotNumberHandles) {
  SlotTable<int, 3, SlotHandles::kSlotNumber> from0;
  SlotTable<int, 3, SlotHandles::kSlotNumberFrom1> from1;
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(from0.insert(10), i);
    EXPECT_EQ(from1.insert(10), i + 1);
  }
  EXPECT_EQ(from0.insert(10), std::nullopt);
  EXPECT_EQ(from1.insert(10), std::nullopt);
  for (uint32_t bad : {3u, 0xFFFFFFFFu}) EXPECT_EQ(from0.lookup(bad), nullptr) << bad;
  for (uint32_t bad : {0u, 4u, 0xFFFFFFFFu}) EXPECT_EQ(from1.lookup(bad), nullptr) << bad;
  // The numbers are the slots: a reused slot answers to its number again.
  ASSERT_TRUE(from1.close(2));
  EXPECT_EQ(from1.lookup(2), nullptr);
  EXPECT_EQ(from1.insert(20), 2u);
  EXPECT_EQ(*from1.lookup(2), 20);
}

TEST(SlotTable, EntriesStayInPlaceAndCanBeClosedWhileVisited) {
  SlotTable<std::string, 4096> t;
  const uint32_t first = *t.insert("first");
  const std::string* where = t.lookup(first);
  std::vector<uint32_t> handles;
  for (int i = 0; i < 2000; ++i) handles.push_back(*t.insert(std::to_string(i)));
  EXPECT_EQ(t.lookup(first), where);

  size_t visited = 0;
  t.for_each([&](uint32_t h, std::string&) {
    ++visited;
    t.close(h);
  });
  EXPECT_EQ(visited, 2001u);
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(t.lookup(handles.back()), nullptr);
}

}  // namespace
}  // namespace zelt
