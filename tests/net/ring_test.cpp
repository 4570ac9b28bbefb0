// The ring between scripts and the service threads: at most 8191 bytes,
// and bytes come out in the order they went in across the wrap, whether
// they move by copies (scripts) or by pieces (sockets).
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "net/ring.h"

namespace zelt::net {
namespace {

TEST(Ring, HoldsAtMost8191Bytes) {
  Ring r;
  const std::vector<uint8_t> big(10000, 7);
  EXPECT_EQ(r.put(big), 8191u);
  EXPECT_EQ(r.filled(), 8191u);
  EXPECT_EQ(r.space(), 0u);
  EXPECT_EQ(r.put(big), 0u);
  std::vector<uint8_t> out(100);
  EXPECT_EQ(r.take(out), 100u);
  EXPECT_EQ(r.put(big), 100u);
  EXPECT_EQ(r.filled(), 8191u);
  std::vector<uint8_t> all(10000);
  EXPECT_EQ(r.take(all), 8191u);
  EXPECT_TRUE(r.empty());
  EXPECT_EQ(r.take(all), 0u);
}

// Random puts, takes and piece moves against a model queue, so that every
// position of the indices relative to the wrap is met.
TEST(Ring, KeepsOrderAcrossTheWrapForCopiesAndPieces) {
  std::mt19937 rng(26);
  Ring r;
  std::deque<uint8_t> model;
  uint8_t next = 0;
  for (int step = 0; step < 20000; ++step) {
    const uint32_t n = rng() % 3000;
    switch (rng() % 4) {
      case 0: {
        std::vector<uint8_t> in(n);
        for (uint8_t& b : in) b = next++;
        const uint32_t put = r.put(in);
        ASSERT_EQ(put, std::min<size_t>(n, kRingCapacity - model.size()));
        model.insert(model.end(), in.begin(), in.begin() + put);
        next = static_cast<uint8_t>(next - (n - put));
        break;
      }
      case 1: {
        std::vector<uint8_t> out(n);
        const uint32_t got = r.take(out);
        ASSERT_EQ(got, std::min<size_t>(n, model.size()));
        for (uint32_t i = 0; i < got; ++i, model.pop_front()) ASSERT_EQ(out[i], model.front()) << step;
        break;
      }
      case 2: {  // a socket receives into the free piece
        const std::span<uint8_t> piece = r.space_piece();
        ASSERT_LE(piece.size(), r.space());
        ASSERT_TRUE(r.space() == 0 || !piece.empty());
        const uint32_t k = std::min<uint32_t>(n, static_cast<uint32_t>(piece.size()));
        for (uint32_t i = 0; i < k; ++i) model.push_back(piece[i] = next++);
        r.produced(k);
        break;
      }
      case 3: {  // a socket sends from the filled piece
        const std::span<const uint8_t> piece = r.filled_piece();
        ASSERT_LE(piece.size(), r.filled());
        ASSERT_TRUE(r.empty() || !piece.empty());
        const uint32_t k = std::min<uint32_t>(n, static_cast<uint32_t>(piece.size()));
        for (uint32_t i = 0; i < k; ++i, model.pop_front()) ASSERT_EQ(piece[i], model.front()) << step;
        r.consumed(k);
        break;
      }
    }
    ASSERT_EQ(r.filled(), model.size());
    ASSERT_EQ(r.space(), kRingCapacity - model.size());
  }
}

}  // namespace
}  // namespace zelt::net
