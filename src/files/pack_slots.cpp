#include "files/pack_slots.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "core/slot_table.h"
#include "files/exp_file.h"

namespace zelt::files {

namespace {

SlotTable<ExpFile*, kPackSlots, SlotHandles::kSlotNumberFrom1> slots;

ExpFile* slot_file(int32_t handle) {
  ExpFile* const* e = slots.lookup(static_cast<uint32_t>(handle));
  return e ? *e : nullptr;
}

bool script_string(ScriptAddr a, std::string_view& out) { return script_memory().string(a, out); }

}  // namespace

int32_t pack_open(ScriptAddr path) {
  if (slots.size() == kPackSlots) return 0;
  std::string_view p;
  if (!script_string(path, p)) return 0;
  ExpFile* e = OpenExpFile(p);
  if (!e) return 0;
  return static_cast<int32_t>(*slots.insert(e));
}

int32_t pack_close(int32_t handle) {
  if (handle < 1 || handle > kPackSlots) return 0;
  if (const std::optional<ExpFile*> e = slots.close(static_cast<uint32_t>(handle))) exp_close(*e);
  return 1;
}

int32_t pack_read(int32_t handle, ScriptAddr buffer, int32_t count) {
  ExpFile* e = slot_file(handle);
  if (!e) return -1;
  // Only the bytes that the read can deliver must fit in the script's
  // buffer; the count itself may be larger than what is left.
  const int32_t position = exp_seek(e, 0, kFileCurrent);
  const int32_t size = exp_size(e);
  const uint32_t left = position >= 0 && size > position ? static_cast<uint32_t>(size - position) : 0;
  const uint32_t n = std::min(static_cast<uint32_t>(count), left);
  const std::span<uint8_t> target = script_memory().span(buffer, n);
  if (!target.data()) return -1;
  uint32_t got = 0;
  if (!exp_read(e, target.data(), n, &got)) return -1;
  return static_cast<int32_t>(got);
}

int32_t pack_seek(int32_t handle, int32_t distance, int32_t origin) {
  ExpFile* e = slot_file(handle);
  return e ? exp_seek(e, distance, origin) : -1;
}

int32_t pack_size(int32_t handle) {
  ExpFile* e = slot_file(handle);
  return e ? exp_size(e) : -1;
}

int32_t pack_save(ScriptAddr path, ScriptAddr data, int32_t size) {
  std::string_view p;
  if (!script_string(path, p)) return 0;
  const uint32_t n = static_cast<uint32_t>(size);
  // A null pointer writes just the header, as for no data.
  if (data == 0) return write_compressed(p, nullptr, n);
  const std::span<uint8_t> bytes = script_memory().span(data, n);
  if (!bytes.data()) return 0;
  return write_compressed(p, bytes.data(), n);
}

ScriptAddr mload(ScriptAddr path, int32_t offset, int32_t size) {
  std::string_view p;
  if (!script_string(path, p)) return 0;
  ExpFile* e = OpenExpFile(p);
  if (!e) return 0;
  if (size <= 0) size = exp_size(e);
  ScriptMemory& memory = script_memory();
  const uint32_t n = static_cast<uint32_t>(size);
  const ScriptAddr block = memory.allocate(n);
  if (block != 0) {
    uint8_t* out = memory.host(block);
    uint32_t got = 0;
    // An offset the file cannot seek to reads nothing (rather than the
    // start of the file).
    if (offset <= 0 || exp_seek(e, offset, kFileBegin) != -1) {
      if (!exp_read(e, out, n, &got)) got = 0;
    }
    if (got < n) std::memset(out + got, 0, n - got);
  }
  exp_close(e);
  return block;
}

void pack_reset() {
  slots.for_each([](uint32_t handle, ExpFile* e) {
    exp_close(e);
    slots.close(handle);
  });
}

}  // namespace zelt::files
