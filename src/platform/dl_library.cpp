#include <dlfcn.h>
#include <ffi.h>

#include <vector>

#include "platform/library_loader.h"

namespace zelt::platform {

void* library_open(const std::string& host_path) { return ::dlopen(host_path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void library_close(void* library) {
  if (library) ::dlclose(library);
}

void* library_symbol(void* library, const std::string& name) {
  return library ? ::dlsym(library, name.c_str()) : nullptr;
}

int32_t library_call(void* fn, std::span<const uint32_t> args) {
  // Arguments go as unsigned 32-bit values, which the calling convention
  // widens with zeros: a function taking int reads the same bits, and one
  // taking a pointer gets the script address as it is (the native address
  // where script memory sits at its own addresses).
  std::vector<ffi_type*> types(args.size(), &ffi_type_uint32);
  std::vector<uint32_t> values(args.begin(), args.end());
  std::vector<void*> pointers(args.size());
  for (size_t i = 0; i < args.size(); ++i) pointers[i] = &values[i];
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(args.size()), &ffi_type_sint32, types.data()) != FFI_OK) {
    return 0;
  }
  ffi_arg result = 0;
  ffi_call(&cif, reinterpret_cast<void (*)()>(fn), &result, pointers.data());
  return static_cast<int32_t>(result);
}

}  // namespace zelt::platform
