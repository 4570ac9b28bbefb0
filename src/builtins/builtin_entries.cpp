#include <iterator>

#include "builtins/builtin_table.h"
#include "builtins/handlers.h"

namespace zelt {
namespace {

constexpr BuiltinEntry kEntries[] = {
#define BUILTIN(number, name, args, result, params) {&bi_##name, #name, args},
#include "builtins/builtins.def"
#undef BUILTIN
};
static_assert(std::size(kEntries) == kBuiltinCount);

}  // namespace

std::span<const BuiltinEntry> builtin_entries() { return kEntries; }

}  // namespace zelt
