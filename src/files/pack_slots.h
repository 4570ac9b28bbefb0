// The sixteen archive slots behind pack_open, pack_close, pack_read,
// pack_seek and pack_size: expanded files (compressed or plain, in archives
// or on disk) that scripts know as handles 1..16. Callers serialise the calls
// (the built-in lock guards the slots).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/subsystem.h"

namespace zelt::files {

inline constexpr int kPackSlots = 16;

// Handle 1..16 of the lowest free slot, or 0 (no free slot, or the open failed).
int32_t pack_open(std::string_view path);
// 1 (also for an empty slot); 0 for a handle outside 1..16.
int32_t pack_close(int32_t handle);
// Bytes a read from the current position can deliver; -1 for a bad or empty handle.
int32_t pack_left(int32_t handle);
// Reads into buffer; the bytes read, or -1 for a bad or empty handle or a failed read.
int32_t pack_read(int32_t handle, std::span<uint8_t> buffer);
// The new position; -1 on failure. Origins 0 begin, 1 current, 2 end.
int32_t pack_seek(int32_t handle, int32_t distance, int32_t origin);
// The (uncompressed) size; -1 for a bad or empty handle.
int32_t pack_size(int32_t handle);

// Closes every slot.
void pack_reset();
// The slots as the runtime reset and the runtime start close them.
extern const Subsystem kArchiveSlotsSubsystem;

}  // namespace zelt::files
