// Files with the semantics titles written for Windows expect, on the host
// file system: buffered streams with text mode (CRLF on disk, LF in memory),
// directory searches filling the 320-byte find record, attributes, times in
// the 16-byte time record, and the system file that mirrors a memory block.
// Names are code page 932 script paths; each goes through host_path. Streams
// and searches are known to scripts by non-zero 32-bit handles that every
// call looks up, so a forged or closed handle fails instead of crashing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelt::winfile {

// Streams. open returns 0 on failure (bad mode, missing file, directory).
uint32_t stream_open(std::string_view name, std::string_view mode);
int32_t stream_close(uint32_t handle);  // 0, or -1
// Bytes moved (callers divide by the item size); -1 for an unknown handle.
int64_t stream_read(uint32_t handle, std::span<uint8_t> out);
int64_t stream_write(uint32_t handle, std::span<const uint8_t> in);
int32_t stream_seek(uint32_t handle, int32_t offset, int32_t origin);  // 0, or -1
int32_t stream_tell(uint32_t handle);                                  // position, or -1
// Reads one line of at most out.size() - 1 bytes (keeping its line feed) and
// terminates it; false at end of file, on error or for an unknown handle.
bool stream_gets(uint32_t handle, std::span<uint8_t> out);
void streams_close_all();  // tests

// The find record: the layout of the platform's search result.
inline constexpr uint32_t kFindRecordSize = 320;
inline constexpr uint32_t kFindNameOffset = 44, kFindNameSize = 260;
inline constexpr uint32_t kFindShortNameOffset = 304;

// Attribute bits.
inline constexpr uint32_t kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrDirectory = 0x10,
                          kAttrArchive = 0x20, kAttrNormal = 0x80;

// Searches: first fills record and returns a handle, or -1 when nothing
// matches; next returns false at the end or for an unknown handle.
int32_t find_first(std::string_view pattern, std::span<uint8_t, kFindRecordSize> record);
bool find_next(int32_t handle, std::span<uint8_t, kFindRecordSize> record);
bool find_close(int32_t handle);

// Whole files and directories (true on success).
bool file_exists(std::string_view name);      // a search for name finds something
uint32_t file_size_low(std::string_view name); // size of the first match, 0 when none
bool file_copy(std::string_view from, std::string_view to, bool fail_if_exists);
bool file_move(std::string_view from, std::string_view to);
bool file_delete(std::string_view name);
int32_t file_get_attributes(std::string_view name);  // -1 when absent
bool file_set_attributes(std::string_view name, uint32_t attributes);

// Time record: year, month, day of week, day, hour, minute, second, ms.
struct TimeRecord {
  uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
static_assert(sizeof(TimeRecord) == 16);
// times[0..2]: creation, last access, last write; null entries are skipped.
bool file_get_times(std::string_view name, TimeRecord* times[3]);
bool file_set_times(std::string_view name, const TimeRecord* const times[3]);

// Directories. Paths handed back are code page 932 with "\" separators and
// a final "\"; empty on failure.
std::string dir_current();
bool dir_set_current(std::string_view path);
bool dir_create(std::string_view path);
bool dir_delete(std::string_view path);
std::string dir_special(int32_t folder_id);

}  // namespace zelt::winfile
