// Built-in adapters of the archive slots and whole-file loads: decode the
// argument cells, check every script address, call the file layer.
#include <algorithm>
#include <cstring>

#include "builtins/handlers.h"
#include "files/exp_file.h"
#include "files/pack_slots.h"

namespace zelt {

// A null data pointer writes just the header, as for no data.
uint32_t bi_pack_save(const BuiltinArgs& a) {
  std::string_view path;
  const uint32_t size = a.u32(2);
  if (!a.str(0, path)) return 0;
  if (a.addr(1) == 0) return int_result(files::write_compressed(path, nullptr, size));
  const std::span<uint8_t> data = a.span(1, size);
  if (!data.data()) return 0;
  return int_result(files::write_compressed(path, data.data(), size));
}

uint32_t bi_pack_open(const BuiltinArgs& a) {
  std::string_view path;
  return a.str(0, path) ? int_result(files::pack_open(path)) : 0;
}

uint32_t bi_pack_close(const BuiltinArgs& a) { return int_result(files::pack_close(a.i32(0))); }

// Only the bytes that the read can deliver must fit in the script's buffer;
// the count itself may be larger than what is left.
uint32_t bi_pack_read(const BuiltinArgs& a) {
  const int32_t handle = a.i32(0);
  const int32_t left = files::pack_left(handle);
  if (left < 0) return int_result(-1);
  const uint32_t n = std::min(a.u32(2), static_cast<uint32_t>(left));
  const std::span<uint8_t> buffer = a.span(1, n);
  if (!buffer.data()) return int_result(-1);
  return int_result(files::pack_read(handle, buffer));
}

uint32_t bi_pack_seek(const BuiltinArgs& a) {
  return int_result(files::pack_seek(a.i32(0), a.i32(1), a.i32(2)));
}

uint32_t bi_pack_size(const BuiltinArgs& a) { return int_result(files::pack_size(a.i32(0))); }

// A block from the script allocator holding size bytes of the file from
// offset (size <= 0: the file's size); bytes past the end of the file are 0.
uint32_t bi_mload(const BuiltinArgs& a) {
  std::string_view path;
  if (!a.str(0, path)) return 0;
  files::ExpFile* e = files::OpenExpFile(path);
  if (!e) return 0;
  const int32_t offset = a.i32(1);
  int32_t size = a.i32(2);
  if (size <= 0) size = files::exp_size(e);
  ScriptMemory& memory = script_memory();
  const uint32_t n = static_cast<uint32_t>(size);
  const ScriptAddr block = memory.allocate(n);
  if (block != 0) {
    uint8_t* out = memory.host(block);
    uint32_t got = 0;
    // An offset the file cannot seek to reads nothing (rather than the
    // start of the file).
    if (offset <= 0 || files::exp_seek(e, offset, files::kFileBegin) != -1) {
      if (!files::exp_read(e, out, n, &got)) got = 0;
    }
    if (got < n) std::memset(out + got, 0, n - got);
  }
  files::exp_close(e);
  return block;
}

}  // namespace zelt
