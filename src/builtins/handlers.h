// Declarations of every built-in handler, bi_<name>, one per row of
// builtins.def. Each subsystem defines its own in its adapters file; rows
// whose subsystem is not built yet are defined in pending.cpp.
#pragma once

#include "script/host/builtin_call.h"

namespace zelt {

#define BUILTIN(number, name, args, result, params) uint32_t bi_##name(const BuiltinArgs&);
#include "builtins/builtins.def"
#undef BUILTIN

// Every handler, indexed by built-in number, for builtin_dispatch_install.
std::span<const BuiltinEntry> builtin_entries();

}  // namespace zelt
