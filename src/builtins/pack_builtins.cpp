// Built-in adapters of the archive slots and whole-file loads: decode the
// argument cells and call the file layer, which checks every script address.
#include "builtins/handlers.h"
#include "files/pack_slots.h"

namespace zelt {

uint32_t bi_pack_save(const BuiltinArgs& a) {
  return int_result(files::pack_save(a.addr(0), a.addr(1), a.i32(2)));
}
uint32_t bi_pack_open(const BuiltinArgs& a) { return int_result(files::pack_open(a.addr(0))); }
uint32_t bi_pack_close(const BuiltinArgs& a) { return int_result(files::pack_close(a.i32(0))); }
uint32_t bi_pack_read(const BuiltinArgs& a) {
  return int_result(files::pack_read(a.i32(0), a.addr(1), a.i32(2)));
}
uint32_t bi_pack_seek(const BuiltinArgs& a) {
  return int_result(files::pack_seek(a.i32(0), a.i32(1), a.i32(2)));
}
uint32_t bi_pack_size(const BuiltinArgs& a) { return int_result(files::pack_size(a.i32(0))); }
uint32_t bi_mload(const BuiltinArgs& a) { return files::mload(a.addr(0), a.i32(1), a.i32(2)); }

}  // namespace zelt
