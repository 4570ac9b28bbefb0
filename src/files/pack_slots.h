// The operations behind the built-ins pack_open, pack_close, pack_read,
// pack_seek, pack_size, pack_save and mload: sixteen slots of expanded files
// (scripts see slot i as handle i + 1), and whole-file loads into script
// memory. Paths and buffers are script addresses, checked through
// ScriptMemory; each function returns the built-in's result. Built-ins run
// under the built-in lock, which also guards the slots.
#pragma once

#include <cstdint>

#include "core/script_memory.h"

namespace zelt::files {

inline constexpr int kPackSlots = 16;

// Handle 1..16 of the lowest free slot, or 0 (no free slot, or the open failed).
int32_t pack_open(ScriptAddr path);
// 1 (also for an empty slot); 0 for a handle outside 1..16.
int32_t pack_close(int32_t handle);
// Bytes read; -1 for a bad or empty handle, a buffer outside script memory
// or a failed read.
int32_t pack_read(int32_t handle, ScriptAddr buffer, int32_t count);
// The new position; -1 on failure. Origins 0 begin, 1 current, 2 end.
int32_t pack_seek(int32_t handle, int32_t distance, int32_t origin);
// The (uncompressed) size; -1 for a bad or empty handle.
int32_t pack_size(int32_t handle);
// Writes size bytes at data as a compressed file: 1, or 0 on failure.
int32_t pack_save(ScriptAddr path, ScriptAddr data, int32_t size);
// A block from the script allocator holding size bytes of the file from
// offset (size <= 0: the file's size); bytes past the end of the file are 0.
// 0 on failure.
ScriptAddr mload(ScriptAddr path, int32_t offset, int32_t size);

// Closes every slot (the runtime reset at start-up and shutdown).
void pack_reset();

}  // namespace zelt::files
