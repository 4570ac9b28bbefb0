#include "files/pack_slots.h"

#include <optional>

#include "core/slot_table.h"
#include "files/exp_file.h"

namespace zelt::files {
namespace {

SlotTable<ExpFile*, kPackSlots, SlotHandles::kSlotNumberFrom1> slots;

ExpFile* slot_file(int32_t handle) {
  ExpFile* const* e = slots.lookup(static_cast<uint32_t>(handle));
  return e ? *e : nullptr;
}

}  // namespace

int32_t pack_open(std::string_view path) {
  if (slots.size() == kPackSlots) return 0;
  ExpFile* e = OpenExpFile(path);
  if (!e) return 0;
  return static_cast<int32_t>(*slots.insert(e));
}

int32_t pack_close(int32_t handle) {
  if (handle < 1 || handle > kPackSlots) return 0;
  if (const std::optional<ExpFile*> e = slots.close(static_cast<uint32_t>(handle))) exp_close(*e);
  return 1;
}

int32_t pack_left(int32_t handle) {
  ExpFile* e = slot_file(handle);
  if (!e) return -1;
  const int32_t position = exp_seek(e, 0, kFileCurrent);
  const int32_t size = exp_size(e);
  return position >= 0 && size > position ? size - position : 0;
}

int32_t pack_read(int32_t handle, std::span<uint8_t> buffer) {
  ExpFile* e = slot_file(handle);
  if (!e) return -1;
  uint32_t got = 0;
  if (!exp_read(e, buffer.data(), static_cast<uint32_t>(buffer.size()), &got)) return -1;
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

void pack_reset() {
  slots.for_each([](uint32_t handle, ExpFile* e) {
    exp_close(e);
    slots.close(handle);
  });
}

const Subsystem kArchiveSlotsSubsystem{.name = "archive slots", .reset = pack_reset, .runtime_start = pack_reset};

}  // namespace zelt::files
