// Symbol tables: the global table (open addressing, 7168 entries) for
// keywords, macros, functions, file-scope names, tags, typedefs, members and
// goto labels; the local table (1024 entries) for parameters, locals and
// static locals of the function being compiled.
#pragma once

#include <string_view>

#include "script/compiler/state.h"

namespace zelt::compiler {

// h = h * 7 XOR b over the bytes taken as signed, in 32 bits.
inline uint32_t name_hash(const uint8_t* s, int n) {
  uint32_t h = 0;
  for (int i = 0; i < n; ++i) h = h * 7 ^ static_cast<uint32_t>(static_cast<int8_t>(s[i]));
  return h;
}

// Stores n bytes in the symbol text; returns their offset.
uint32_t text_store(Compiler& cs, const void* bytes, uint32_t n);

// Index of the global entry for the name; a new name is entered as
// undefined when `create` is set, else -1 is returned for it.
int sym_global(Compiler& cs, const uint8_t* name, int len, uint32_t hash, bool create);
inline int sym_global(Compiler& cs, std::string_view name, bool create) {
  const auto* s = reinterpret_cast<const uint8_t*>(name.data());
  const int n = static_cast<int>(name.size());
  return sym_global(cs, s, n, name_hash(s, n), create);
}

std::string_view sym_name(const Compiler& cs, const Symbol& s);

// Writes "_n" (the suffix of a member of struct number n); returns its length.
inline int member_suffix(char* out, int32_t n) {
  char digits[12];
  int k = 0;
  uint32_t v = static_cast<uint32_t>(n);
  do digits[k++] = static_cast<char>('0' + v % 10);
  while ((v /= 10) != 0);
  out[0] = '_';
  for (int i = 0; i < k; ++i) out[1 + i] = digits[k - 1 - i];
  return k + 1;
}

// The local meaning of global symbol g, or null.
inline Symbol* sym_local(Compiler& cs, int g) {
  return cs.local_of[g] ? &cs.locals[cs.local_of[g] - 1] : nullptr;
}
// Creates the local meaning of g ("ローカルシンボルの数が多すぎます" when full).
Symbol& sym_local_add(Compiler& cs, int g);
void sym_locals_clear(Compiler& cs);

}  // namespace zelt::compiler
