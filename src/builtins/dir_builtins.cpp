// Built-in adapters of the directory searches, whole-file operations and
// directories: decode the argument cells, check every script address, call
// the file engine.
#include <cstring>

#include "builtins/files_win.h"
#include "builtins/handlers.h"

namespace zelt {
namespace {

constexpr uint32_t kMaxPath = 4096;

// The find record at the address in cell k, or an empty span.
std::span<uint8_t, winfile::kFindRecordSize> record_at(const BuiltinArgs& a, uint32_t k, bool& ok) {
  const std::span<uint8_t> s = a.span(k, winfile::kFindRecordSize);
  ok = s.data() != nullptr;
  return std::span<uint8_t, winfile::kFindRecordSize>(ok ? s.data() : nullptr, winfile::kFindRecordSize);
}

// Writes a zero-terminated path into the buffer at cell k; its length, or 0.
uint32_t put_path(const BuiltinArgs& a, uint32_t k, const std::string& path) {
  if (path.empty()) return 0;
  const std::span<uint8_t> out = a.span(k, static_cast<uint32_t>(path.size() + 1));
  if (out.data() == nullptr) return 0;
  std::memcpy(out.data(), path.c_str(), path.size() + 1);
  return static_cast<uint32_t>(path.size());
}

// Time record pointers of cells 1..3: 0 stays null; false for a wild one.
bool time_records(const BuiltinArgs& a, winfile::TimeRecord* out[3]) {
  for (uint32_t k = 0; k < 3; ++k) {
    out[k] = nullptr;
    if (a.addr(k + 1) == 0) continue;
    const std::span<uint8_t> s = a.span(k + 1, sizeof(winfile::TimeRecord));
    if (s.data() == nullptr) return false;
    out[k] = reinterpret_cast<winfile::TimeRecord*>(s.data());
  }
  return true;
}

}  // namespace

uint32_t bi_find_first(const BuiltinArgs& a) {
  std::string_view pattern;
  bool ok;
  const auto record = record_at(a, 1, ok);
  if (!ok || !a.str(0, pattern, kMaxPath)) return int_result(-1);
  return int_result(winfile::find_first(pattern, record));
}

uint32_t bi_find_next(const BuiltinArgs& a) {
  bool ok;
  const auto record = record_at(a, 1, ok);
  return ok && winfile::find_next(a.i32(0), record) ? 1 : 0;
}

uint32_t bi_find_close(const BuiltinArgs& a) { return winfile::find_close(a.i32(0)) ? 1 : 0; }

uint32_t bi_file_check(const BuiltinArgs& a) {
  std::string_view name;
  return a.str(0, name, kMaxPath) && winfile::file_exists(name) ? 1 : 0;
}

uint32_t bi_file_size(const BuiltinArgs& a) {
  std::string_view name;
  return a.str(0, name, kMaxPath) ? winfile::file_size_low(name) : 0;
}

uint32_t bi_file_copy(const BuiltinArgs& a) {
  std::string_view from, to;
  if (!a.str(0, from, kMaxPath) || !a.str(1, to, kMaxPath)) return 0;
  return winfile::file_copy(from, to, a.u32(2) != 0) ? 1 : 0;
}

uint32_t bi_file_move(const BuiltinArgs& a) {
  std::string_view from, to;
  if (!a.str(0, from, kMaxPath) || !a.str(1, to, kMaxPath)) return 0;
  return winfile::file_move(from, to) ? 1 : 0;
}

uint32_t bi_file_delete(const BuiltinArgs& a) {
  std::string_view name;
  return a.str(0, name, kMaxPath) && winfile::file_delete(name) ? 1 : 0;
}

uint32_t bi_file_getattr(const BuiltinArgs& a) {
  std::string_view name;
  return int_result(a.str(0, name, kMaxPath) ? winfile::file_get_attributes(name) : -1);
}

uint32_t bi_file_setattr(const BuiltinArgs& a) {
  std::string_view name;
  return a.str(0, name, kMaxPath) && winfile::file_set_attributes(name, a.u32(1)) ? 1 : 0;
}

uint32_t bi_file_gettime(const BuiltinArgs& a) {
  std::string_view name;
  winfile::TimeRecord* times[3];
  if (!a.str(0, name, kMaxPath) || !time_records(a, times)) return 0;
  return winfile::file_get_times(name, times) ? 1 : 0;
}

uint32_t bi_file_settime(const BuiltinArgs& a) {
  std::string_view name;
  winfile::TimeRecord* times[3];
  if (!a.str(0, name, kMaxPath) || !time_records(a, times)) return 0;
  return winfile::file_set_times(name, times) ? 1 : 0;
}

uint32_t bi_dir_getcur(const BuiltinArgs& a) { return put_path(a, 0, winfile::dir_current()); }

uint32_t bi_dir_setcur(const BuiltinArgs& a) {
  std::string_view path;
  return a.str(0, path, kMaxPath) && winfile::dir_set_current(path) ? 1 : 0;
}

uint32_t bi_dir_create(const BuiltinArgs& a) {
  std::string_view path;
  return a.str(0, path, kMaxPath) && winfile::dir_create(path) ? 1 : 0;
}

uint32_t bi_dir_delete(const BuiltinArgs& a) {
  std::string_view path;
  return a.str(0, path, kMaxPath) && winfile::dir_delete(path) ? 1 : 0;
}

uint32_t bi_dir_getpath(const BuiltinArgs& a) { return put_path(a, 1, winfile::dir_special(a.i32(0))); }

}  // namespace zelt
