// The shared extern-function table: functions that scripts define `extern`,
// by name, so that scripts compiled later can call them. It survives
// compilations; the script host clears it when it starts.
//
// Entries point into the program image that defined them. When that image is
// freed, the host calls extern_functions_forget_image() so no later script
// links into freed memory; a script that already linked against an image
// lists it in CompileResult::linked_images, and the host keeps those images
// alive while the script runs.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/script_memory.h"

namespace zelt {

struct ExternFunction {
  char name[32] = {};       // at most 31 bytes, compared with case
  int32_t type = -1;        // result type (a basic type code; other types read as int)
  ScriptAddr address = 0;   // entry point
  ScriptAddr image = 0;     // program image holding it
};

inline constexpr int kExternFunctionSlots = 512;

void extern_functions_clear();
// Removes every entry that lies in the image starting at `image`.
void extern_functions_forget_image(ScriptAddr image);
// Copies the entry named `name` into *out; false when there is none.
bool extern_functions_find(std::string_view name, ExternFunction* out);
int extern_functions_count();
// Adds or replaces the entry `name`; false when the name is too long or the
// table is full (the compiler checks both before it gets here).
bool extern_functions_record(std::string_view name, int32_t type, ScriptAddr address, ScriptAddr image);

}  // namespace zelt
