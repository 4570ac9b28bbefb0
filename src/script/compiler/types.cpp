#include "script/compiler/types.h"

namespace zelt::compiler {

int32_t node_alloc_low(Compiler& cs, int cells) {
  if (cs.pool_high - cs.pool_low < cells) fatal(cs, Msg::CompileHeapOverflow);
  const int32_t at = cs.pool_low;
  cs.pool_low += cells;
  return at;
}

int32_t node_alloc_high(Compiler& cs, int cells) {
  if (cs.pool_high - cs.pool_low < cells) fatal(cs, Msg::CompileHeapOverflow);
  cs.pool_high -= cells;
  return cs.pool_high;
}

void types_init(Compiler& cs) {
  for (int32_t t = TY_INT; t >= TY_FLOAT; --t) {
    const int32_t n = node_alloc_low(cs, 2);
    cs.pool[n] = TK_PTR;
    cs.pool[n + 1] = t;
    cs.ptr_types[-t] = n;
  }
}

int32_t type_pointer(Compiler& cs, int32_t target) {
  if (target < 0) return cs.ptr_types[-target];
  const int32_t n = type_alloc(cs, 2);
  cs.pool[n] = TK_PTR;
  cs.pool[n + 1] = target;
  return n;
}

int32_t expr_pointer(Compiler& cs, int32_t target) {
  const bool low = cs.low_nodes;
  cs.low_nodes = false;
  const int32_t t = type_pointer(cs, target);
  cs.low_nodes = low;
  return t;
}

int32_t type_array(Compiler& cs, int32_t elem, int32_t count) {
  const int32_t n = type_alloc(cs, 3);
  cs.pool[n] = TK_ARRAY;
  cs.pool[n + 1] = elem;
  cs.pool[n + 2] = count;
  return n;
}

int32_t type_function(Compiler& cs, int32_t result) {
  const int32_t n = type_alloc(cs, 2);
  cs.pool[n] = TK_FUNC;
  cs.pool[n + 1] = result;
  return n;
}

int32_t type_size(Compiler& cs, int32_t t) {
  switch (type_kind(cs, t)) {
    case TY_INT: case TY_UINT: case TY_FLOAT: case TK_PTR: return 4;
    case TY_SHORT: case TY_USHORT: return 2;
    case TY_CHAR: case TY_UCHAR: return 1;
    case TK_ARRAY: {
      // Sizes were checked against 32 bits when the array type was built.
      return type_size(cs, cs.pool[t + 1]) * cs.pool[t + 2];
    }
    case TK_STRUCT: case TK_UNION:
      if (cs.pool[t + 1] >= 0) return cs.pool[t + 1];
      break;
    default:
      break;
  }
  fatal(cs, Msg::CompileDeclaration);
}

bool types_match(const Compiler& cs, int32_t a, int32_t b) {
  for (;;) {
    if (a == b) return true;
    const int32_t ka = type_kind(cs, a), kb = type_kind(cs, b);
    if (ka != kb) return false;
    switch (ka) {
      case TK_PTR: case TK_FUNC:
        a = cs.pool[a + 1];
        b = cs.pool[b + 1];
        continue;
      case TK_ARRAY:
        if (cs.pool[a + 2] != cs.pool[b + 2]) return false;
        a = cs.pool[a + 1];
        b = cs.pool[b + 1];
        continue;
      case TK_STRUCT: case TK_UNION:
        return cs.pool[a + 1] == cs.pool[b + 1];
      default:
        return true;  // the same basic type
    }
  }
}

}  // namespace zelt::compiler
