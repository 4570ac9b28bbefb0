// Built-in adapters of the stream files and the system file: decode the
// argument cells, check every script address, call the file engine.
#include <cstdio>
#include <string>

#include "builtins/builtins_subsystems.h"
#include "builtins/files_win.h"
#include "builtins/handlers.h"
#include "core/messages.h"
#include "files/atomic_file.h"
#include "files/host_path.h"
#include "script/host/host.h"

namespace zelt {
namespace {

constexpr uint32_t kMaxPath = 4096;

// The bytes of item_size * count items at the address in cell k; false when
// the product overflows or the bytes are not all usable.
bool items_span(const BuiltinArgs& a, uint32_t k, std::span<uint8_t>& out) {
  const uint64_t total = uint64_t{a.u32(1)} * a.u32(2);
  if (total > UINT32_MAX) return false;
  out = a.span(k, static_cast<uint32_t>(total));
  return out.data() != nullptr;
}

// The registered system file: a script path, the block and its size.
struct SystemFile {
  std::string name;
  ScriptAddr block = 0;
  uint32_t size = 0;
};
SystemFile g_sysfile;

// Reads the registered file into the block: false when it cannot be opened
// or read (a shorter file fills the start of the block).
bool sysfile_read() {
  const std::span<uint8_t> block = script_memory().span(g_sysfile.block, g_sysfile.size);
  if (block.data() == nullptr) return false;
  FILE* f = std::fopen(files::host_path(g_sysfile.name).c_str(), "rb");
  if (!f) return false;
  std::fread(block.data(), 1, block.size(), f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return !failed;
}

// Writes the block to the registered file through a temporary file, so a
// failed write leaves the old file as it was.
bool sysfile_write() {
  const std::span<uint8_t> block = script_memory().span(g_sysfile.block, g_sysfile.size);
  if (block.data() == nullptr) return false;
  files::AtomicFile out;
  const bool written = out.open(files::host_path(g_sysfile.name)) && out.write(block.data(), block.size()) &&
                       out.commit();
  files::clear_path_cache();
  return written;
}

// The last write of a registration, which no script sees the result of: a
// failure is reported.
void sysfile_write_last() {
  if (!g_sysfile.name.empty() && !sysfile_write())
    report_message(kLevelFile, msg_text(Msg::FileWriteFailed), g_sysfile.name.c_str());
  g_sysfile = {};
}

// The host is about to give back a context's stack or a program image: a
// block inside it is written now, while it still holds what the script
// last had, and the registration ends with the memory.
void sysfile_memory_released(ScriptAddr base, uint32_t size) {
  if (g_sysfile.name.empty()) return;
  const uint64_t block_end = uint64_t{g_sysfile.block} + g_sysfile.size;
  if (g_sysfile.block < uint64_t{base} + size && block_end > base) sysfile_write_last();
}

}  // namespace

uint32_t bi_fopen(const BuiltinArgs& a) {
  std::string_view name, mode;
  if (!a.str(0, name, kMaxPath) || !a.str(1, mode, 16)) return 0;
  return winfile::stream_open(name, mode);
}

uint32_t bi_fclose(const BuiltinArgs& a) { return int_result(winfile::stream_close(a.u32(0))); }

uint32_t bi_fread(const BuiltinArgs& a) {
  std::span<uint8_t> buffer;
  if (a.u32(1) == 0 || !items_span(a, 0, buffer)) return 0;
  const int64_t n = winfile::stream_read(a.u32(3), buffer);
  return n <= 0 ? 0 : static_cast<uint32_t>(n / a.u32(1));
}

uint32_t bi_fwrite(const BuiltinArgs& a) {
  std::span<uint8_t> buffer;
  if (a.u32(1) == 0 || !items_span(a, 0, buffer)) return 0;
  const int64_t n = winfile::stream_write(a.u32(3), buffer);
  return n <= 0 ? 0 : static_cast<uint32_t>(n / a.u32(1));
}

uint32_t bi_fseek(const BuiltinArgs& a) { return int_result(winfile::stream_seek(a.u32(0), a.i32(1), a.i32(2))); }
uint32_t bi_ftell(const BuiltinArgs& a) { return int_result(winfile::stream_tell(a.u32(0))); }

uint32_t bi_fgets(const BuiltinArgs& a) {
  const int32_t size = a.i32(1);
  if (size <= 0) return 0;
  const std::span<uint8_t> buffer = a.span(0, static_cast<uint32_t>(size));
  if (buffer.data() == nullptr) return 0;
  return winfile::stream_gets(a.u32(2), buffer) ? a.addr(0) : 0;
}

uint32_t bi_fputs(const BuiltinArgs& a) {
  std::string_view text;
  if (!a.str(0, text)) return int_result(-1);
  const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return winfile::stream_write(a.u32(1), bytes) == static_cast<int64_t>(text.size()) ? 0 : int_result(-1);
}

uint32_t bi_sysfile(const BuiltinArgs& a) {
  std::string_view name;
  const uint32_t size = a.u32(2);
  if (a.addr(0) == 0 || a.addr(1) == 0 || size == 0) return 0;
  // The name must fit the platform's 260-byte path and the block must be
  // usable memory; anything else is refused like a null argument.
  if (!a.str(0, name, 260) || name.empty() || a.span(1, size).data() == nullptr) return 0;
  g_sysfile = {std::string(name), a.addr(1), size};
  set_script_memory_release_observer(sysfile_memory_released);
  return sysfile_read() ? 1 : 0;
}

uint32_t bi_sysio(const BuiltinArgs& a) {
  if (g_sysfile.name.empty()) return 0;
  return (a.u32(0) != 0 ? sysfile_write() : sysfile_read()) ? 1 : 0;
}

// The runtime reset writes a block that outlived the script threads (one in
// the extern area or from malloc): every script thread has ended, and the
// extern area is freed only after the reset.
const Subsystem kSystemFileSubsystem{.name = "system file", .reset = sysfile_write_last};

}  // namespace zelt
