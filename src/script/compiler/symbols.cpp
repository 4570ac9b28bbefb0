#include "script/compiler/symbols.h"

#include <cstring>

namespace zelt::compiler {
namespace {

// Names are short: a plain loop beats a call to memcmp.
inline bool same_bytes(const uint8_t* a, const uint8_t* b, int n) {
  for (int i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

uint32_t text_store(Compiler& cs, const void* bytes, uint32_t n) {
  if (n > kSymbolTextSize - cs.text_top) fatal(cs, Msg::CompileSymbolBuffer);
  const uint32_t at = cs.text_top;
  if (n) std::memcpy(cs.text + at, bytes, n);
  cs.text_top += n;
  return at;
}

int sym_global(Compiler& cs, const uint8_t* name, int len, uint32_t hash, bool create) {
  // The keys array is probed first: it is small enough to stay in cache.
  const uint64_t key = uint64_t{hash} << 16 | static_cast<uint16_t>(len);
  uint32_t i = hash % kGlobalSymbols;
  for (int probes = 0; probes < kGlobalSymbols; ++probes) {
    const uint64_t k = cs.global_keys[i];
    if (k == 0) {
      if (!create) return -1;
      if (cs.nglobals >= kGlobalSymbols) break;
      Symbol& s = cs.globals[i];
      s.name = text_store(cs, name, static_cast<uint32_t>(len));
      s.len = static_cast<uint16_t>(len);
      s.kind = SK_UNDEF;
      s.hash = hash;
      cs.global_keys[i] = key;
      ++cs.nglobals;
      return static_cast<int>(i);
    }
    if (k == key && same_bytes(cs.text + cs.globals[i].name, name, len)) return static_cast<int>(i);
    if (++i == kGlobalSymbols) i = 0;
  }
  if (!create) return -1;
  fatal(cs, Msg::CompileGlobalSymbols);
}

std::string_view sym_name(const Compiler& cs, const Symbol& s) {
  return {reinterpret_cast<const char*>(cs.text + s.name), s.len};
}

Symbol& sym_local_add(Compiler& cs, int g) {
  if (cs.nlocals >= kLocalSymbols) fatal(cs, Msg::CompileLocalSymbols);
  const int i = cs.nlocals++;
  cs.locals[i] = Symbol{};
  cs.locals[i].name = cs.globals[g].name;
  cs.locals[i].len = cs.globals[g].len;
  cs.local_of[g] = static_cast<int16_t>(i + 1);
  cs.local_owner[i] = static_cast<int16_t>(g);
  return cs.locals[i];
}

void sym_locals_clear(Compiler& cs) {
  for (int i = 0; i < cs.nlocals; ++i) cs.local_of[cs.local_owner[i]] = 0;
  cs.nlocals = 0;
}

}  // namespace zelt::compiler
