// Built-in adapters of the regular expressions. A match region is a 16-byte
// record in script memory that scripts read directly: allocated register
// count, number of registers, address of the begin array, address of the end
// array (32-bit byte offsets, also in script memory). The record is
// refreshed after every search and match. The runtime remembers the regions
// it created with the addresses of their arrays, so a forged region, or one
// whose fields the script overwrote, is never written through.
#include <cstring>
#include <map>
#include <string>

#include "builtins/builtins_subsystems.h"
#include "builtins/handlers.h"
#include "builtins/regex.h"

namespace zelt {
namespace {

constexpr uint32_t kRegionSize = 16;
constexpr uint32_t kMaxPattern = 1u << 20;

struct RegionArrays {
  ScriptAddr begin = 0, end = 0;
  uint32_t allocated = 0;
  uint32_t used = 0;  // number of registers of the last result
};

std::map<ScriptAddr, RegionArrays>& regions() {
  static std::map<ScriptAddr, RegionArrays> table;
  return table;
}

void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Writes the registers into the region's arrays (grown when too small) and
// refreshes its record; false when script memory is exhausted.
bool store_registers(ScriptAddr record, RegionArrays& arrays, const regex::Registers& regs) {
  ScriptMemory& mem = script_memory();
  const auto n = static_cast<uint32_t>(regs.begin.size());
  if (n > arrays.allocated) {
    const ScriptAddr begin = mem.allocate(4 * n), end = mem.allocate(4 * n);
    if (begin == 0 || end == 0) {
      mem.free(begin);
      mem.free(end);
      return false;
    }
    mem.free(arrays.begin);
    mem.free(arrays.end);
    arrays = {begin, end, n, 0};
  }
  arrays.used = n;
  if (n > 0) {
    std::memcpy(mem.host(arrays.begin), regs.begin.data(), 4 * n);
    std::memcpy(mem.host(arrays.end), regs.end.data(), 4 * n);
  }
  uint8_t* r = mem.span(record, kRegionSize).data();
  if (r == nullptr) return false;
  put32(r, arrays.allocated);
  put32(r + 4, n);
  put32(r + 8, arrays.begin);
  put32(r + 12, arrays.end);
  return true;
}

// Common tail of reg_search and reg_match: the region in cell k (0 for none)
// must be one the runtime created.
template <typename Run>
uint32_t run_with_region(const BuiltinArgs& a, uint32_t k, Run run) {
  RegionArrays* arrays = nullptr;
  if (a.addr(k) != 0) {
    const auto it = regions().find(a.addr(k));
    if (it == regions().end()) return int_result(regex::kBadArgument);
    arrays = &it->second;
  }
  regex::Registers regs;
  const int32_t rc = run(regs);
  if (arrays && !store_registers(a.addr(k), *arrays, regs)) return int_result(-5);  // the library's out of memory
  return int_result(rc);
}

// The subject: a copy of the length bytes at the address in cell 1; false
// when they are not usable. Patterns and subjects are copied to host memory
// because the library reads a double-byte character's lead byte to learn its
// length and then reads its bytes: another script thread rewriting the lead
// byte in between could step it past the end of script memory.
bool subject_of(const BuiltinArgs& a, std::string& out) {
  const std::span<uint8_t> s = a.span(1, a.u32(2));
  if (s.data() == nullptr) return false;
  out.assign(reinterpret_cast<const char*>(s.data()), s.size());
  return true;
}

}  // namespace

uint32_t bi_reg_new(const BuiltinArgs& a) {
  std::string_view pattern;
  return a.str(0, pattern, kMaxPattern) ? regex::compile(std::string(pattern)) : 0;
}

uint32_t bi_reg_free(const BuiltinArgs& a) { return regex::free(a.u32(0)) ? 1 : 0; }

uint32_t bi_reg_search(const BuiltinArgs& a) {
  std::string subject;
  if (!subject_of(a, subject)) return int_result(regex::kBadArgument);
  return run_with_region(a, 5, [&](regex::Registers& regs) {
    return regex::search(a.u32(0), subject, a.u32(3), a.u32(4), regs);
  });
}

uint32_t bi_reg_match(const BuiltinArgs& a) {
  std::string subject;
  if (!subject_of(a, subject)) return int_result(regex::kBadArgument);
  return run_with_region(a, 4, [&](regex::Registers& regs) { return regex::match(a.u32(0), subject, a.u32(3), regs); });
}

uint32_t bi_match_new(const BuiltinArgs&) {
  const ScriptAddr record = script_memory().allocate_zeroed(kRegionSize);
  if (record != 0) regions()[record] = {};
  return record;
}

uint32_t bi_match_free(const BuiltinArgs& a) {
  const auto it = regions().find(a.addr(0));
  if (it == regions().end()) return 0;
  ScriptMemory& mem = script_memory();
  mem.free(it->second.begin);
  mem.free(it->second.end);
  mem.free(it->first);
  regions().erase(it);
  return 1;
}

uint32_t bi_match_clear(const BuiltinArgs& a) {
  const auto it = regions().find(a.addr(0));
  if (it == regions().end()) return 0;
  // As the library clears a region: the registers stay, all of them -1.
  regex::Registers cleared;
  cleared.begin.assign(it->second.used, -1);
  cleared.end.assign(it->second.used, -1);
  return store_registers(it->first, it->second, cleared) ? 1 : 0;
}

// Runtime reset: compiled patterns and the library's global state go; the
// regions stay the script's memory, but the runtime forgets them, since the
// script memory of a finished run is no longer the scripts'.
const Subsystem kRegexSubsystem{
    .name = "regex",
    .reset =
        [] {
          regex::release_all();
          regions().clear();
        },
};

}  // namespace zelt
