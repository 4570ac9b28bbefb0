// Drives the script memory allocator with operation sequences decoded from
// the input and checks it against a model of the live blocks: addresses and
// contents of live blocks, refusal of anything that is not a live block, and
// the allocator's own invariants.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

#include "core/script_memory.h"

namespace {

using zelt::ScriptAddr;
using zelt::ScriptMemory;

constexpr ScriptAddr kLimit = ScriptMemory::kFirstUsable + (2u << 20);  // small, to reach exhaustion

struct Reader {
  const uint8_t* p;
  size_t n;
  uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint32_t word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | byte();
    return v;
  }
};

[[noreturn]] void die(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "%s %s\n", what, detail.c_str());
  std::abort();
}

// Sizes mostly small, sometimes up to the whole region or impossible.
uint32_t decode_size(Reader& in) {
  const uint8_t kind = in.byte();
  const uint32_t v = in.word();
  switch (kind & 7) {
    case 0: return v & 0xFF;
    case 1: case 2: case 3: return v & 0xFFF;
    case 4: case 5: return v & 0x1FFFF;
    case 6: return v & 0x3FFFFF;
    default: return v;  // anything, including near 4 GiB
  }
}

struct Live {
  uint32_t size;
  uint8_t fill;
};

void check_block(const ScriptMemory& m, ScriptAddr a, const Live& l) {
  const uint8_t* p = m.host(a);
  for (uint32_t k = 0; k < l.size; ++k)
    if (p[k] != l.fill) die("block contents changed at", std::to_string(a) + "+" + std::to_string(k));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptMemory mem(kLimit);
  std::map<ScriptAddr, Live> live;
  Reader in{data, size};
  uint8_t fill = 1;
  auto nth_live = [&](uint32_t k) {
    auto it = live.begin();
    std::advance(it, k % live.size());
    return it;
  };
  auto record = [&](ScriptAddr a, uint32_t n) {
    if (a % ScriptMemory::kAlignment != 0 || !mem.valid(a, n)) die("bad block", std::to_string(a));
    auto next = live.lower_bound(a);
    if (next != live.end() && next->first < a + std::max(n, 1u)) die("overlaps a live block", std::to_string(a));
    if (next != live.begin() && std::prev(next)->first + mem.block_size(std::prev(next)->first) > a)
      die("overlaps a live block", std::to_string(a));
    std::memset(mem.host(a), fill, n);
    live[a] = {n, fill};
    fill = uint8_t(fill % 255 + 1);
  };

  for (int ops = 0; in.n > 0 && ops < 2000; ++ops) {
    const uint8_t op = in.byte();
    switch (op % 6) {
      case 0:
      case 1: {
        const uint32_t n = decode_size(in);
        const bool zeroed = op & 8;
        const ScriptAddr a = zeroed ? mem.allocate_zeroed(n) : mem.allocate(n);
        if (a == 0) break;
        if (zeroed)
          for (uint32_t k = 0; k < n; ++k)
            if (mem.host(a)[k] != 0) die("allocate_zeroed left a non-zero byte");
        record(a, n);
        break;
      }
      case 2: {
        if (live.empty()) break;
        auto it = nth_live(in.word());
        check_block(mem, it->first, it->second);
        if (!mem.free(it->first)) die("free of a live block refused");
        live.erase(it);
        break;
      }
      case 3: {
        if (live.empty()) break;
        auto it = nth_live(in.word());
        const ScriptAddr a = it->first;
        const Live old = it->second;
        const uint32_t n = decode_size(in);
        check_block(mem, a, old);
        const ScriptAddr b = mem.resize(a, n);
        if (b == 0) {
          check_block(mem, a, old);  // a failed resize leaves the block alone
          break;
        }
        check_block(mem, b, {std::min(n, old.size), old.fill});
        live.erase(it);
        record(b, n);
        break;
      }
      case 4: {
        // An arbitrary address: only live block starts may be freed.
        const ScriptAddr a = in.word() >> (op & 0x18);
        const auto it = live.find(a);
        const bool is_live = it != live.end();
        const uint32_t expect = is_live ? std::max(16u, (it->second.size + 15) & ~15u) : 0;
        if (mem.block_size(a) != expect) die("block_size disagrees at", std::to_string(a));
        if (!is_live && mem.free(a)) die("free of a non-block accepted", std::to_string(a));
        break;
      }
      case 5: {
        // Checked access at arbitrary places must never fault.
        const ScriptAddr a = in.word() >> (op & 0x18);
        const uint32_t n = in.word() >> (in.byte() & 31);
        const auto s = mem.span(a, n);
        if (!s.empty()) {
          volatile uint8_t sink = s[0];
          sink = s[s.size() - 1];
          (void)sink;
        }
        std::string_view str;
        if (mem.string(a, str, n) && (str.size() >= n || !mem.valid(a, uint32_t(str.size()) + 1)))
          die("string runs past its bound or the usable range");
        break;
      }
    }
    if (ops % 16 == 0) {
      std::string why;
      if (!mem.check_invariants(&why)) die("invariant broken:", why);
    }
  }
  std::string why;
  if (!mem.check_invariants(&why)) die("invariant broken:", why);
  for (const auto& [a, l] : live) {
    check_block(mem, a, l);
    if (!mem.free(a)) die("free of a live block refused");
  }
  const auto st = mem.stats();
  if (st.live_blocks != 0 || st.free_blocks != 0 || st.top != ScriptMemory::kFirstUsable)
    die("freeing everything did not leave one free area");
  if (!mem.check_invariants(&why)) die("invariant broken:", why);
  return 0;
}
