// Native libraries: loading, symbol lookup and calls with any number of
// 32-bit integer arguments (dlopen and libffi).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zelt::platform {

// Opaque library handle; nullptr when the file could not be loaded. A name
// without "/" is searched on the system's library path.
void* library_open(const std::string& host_path);
void library_close(void* library);
void* library_symbol(void* library, const std::string& name);

// Calls fn(args[0], ..., args[n-1]) with each argument as a 32-bit integer
// and returns its 32-bit integer result.
int32_t library_call(void* fn, std::span<const uint32_t> args);

}  // namespace zelt::platform
