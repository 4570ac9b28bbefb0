#include "files/fast_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <memory>
#include <new>
#include <string>

#include "core/app.h"
#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "files/archive_directory.h"
#include "files/fd_io.h"
#include "files/host_path.h"

namespace zelt::files {

struct FastFile {
  int kind = 0;           // 0: a plain file; 1: a member of an archive
  int fd = -1;            // the plain file or the archive
  uint32_t offset = 0;    // kind 1: the member's first byte in the archive
  uint32_t size = 0;      // kind 1: the member's size
  uint64_t position = 0;  // absolute position in the file
};

namespace {

constexpr int kPlain = 0;
constexpr int kMember = 1;

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Opens an existing regular file for reading; -1 otherwise (a folder, a
// device or a pipe is never a data file, and opening a pipe must not block).
int open_plain(const std::string& host) {
  if (host.empty()) return -1;
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

// The same path on the title's CD: the drive is dropped, and a relative
// folder goes below CD-DIR.
std::string cd_path(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') path.remove_prefix(2);
  std::string result = app().cd_root;
  if (path.empty() || !is_separator(path[0])) result += config_cd_dir();
  result += path;
  return result;
}

// The path on disk, else on the CD; -1 when neither opens.
int open_on_disk_or_cd(std::string_view path) {
  int fd = open_plain(host_path(path));
  if (fd < 0 && !app().cd_root.empty()) fd = open_plain(host_path(cd_path(path)));
  return fd;
}

FastFile* fail(FastFile* f, int fd, Msg message, const std::string& path) {
  if (fd >= 0) ::close(fd);
  delete f;
  report_message(kLevelFile, msg_text(message), path.c_str());
  return nullptr;
}

}  // namespace

FastFile* OpenFastFile(std::string_view script_path) {
  // Script strings end at their first NUL.
  const std::string path(script_path.substr(0, script_path.find('\0')));
  auto* f = new (std::nothrow) FastFile;
  if (!f) {
    report(kLevelFile, Msg::FastFileNoMemory);
    return nullptr;
  }

  if (int fd = open_on_disk_or_cd(path); fd >= 0) {
    f->fd = fd;
    return f;
  }

  // Archives named after each separator of the path, shortest first:
  // data\img\a.bmp is member img\a.bmp of data.bin, then a.bmp of
  // data\img.bin. The scan moves by whole characters, so the second byte of
  // a double-byte character is never taken for a separator; a separator that
  // is the first or last character names no archive.
  const size_t n = path.size();
  for (size_t i = cp932::char_length(path, 0); i + 1 < n; i += cp932::char_length(path, i)) {
    if (!is_separator(path[i])) continue;
    const int fd = open_on_disk_or_cd(path.substr(0, i) + ".bin");
    if (fd < 0) continue;

    uint8_t header[archive::kHeaderSize];
    struct stat st {};
    if (read_full_at(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
        !archive::has_magic(header) || ::fstat(fd, &st) != 0) {
      return fail(f, fd, Msg::FastFileRead, path);
    }
    std::shared_ptr<const archive::Directory> directory;
    switch (archive::load_directory(fd, st, header, directory)) {
      case archive::LoadStatus::kOk: break;
      case archive::LoadStatus::kNoMemory:
        ::close(fd);
        delete f;
        report(kLevelFile, Msg::FastFileNoMemory);
        return nullptr;
      case archive::LoadStatus::kReadFailed: return fail(f, fd, Msg::FastFileRead, path);
    }
    if (const archive::DirEntry* e = directory->find(std::string_view(path).substr(i + 1))) {
      f->kind = kMember;
      f->fd = fd;
      f->offset = e->data_offset;
      f->size = e->size;
      f->position = e->data_offset;
      return f;
    }
    ::close(fd);
  }
  return fail(f, -1, Msg::FastFileOpen, path);
}

int fast_close(FastFile* f) {
  if (!f) return 0;
  ::close(f->fd);
  delete f;
  return 1;
}

int fast_read(FastFile* f, void* buffer, uint32_t count, uint32_t* got) {
  if (got) *got = 0;
  if (!f) return 0;
  if (f->kind == kMember) {
    const uint64_t left = uint64_t{f->offset} + f->size - f->position;
    if (count > left) count = static_cast<uint32_t>(left);
  }
  if (count == 0) return 1;
  if (!buffer) return 0;
  const ssize_t n = read_full_at(f->fd, buffer, count, f->position);
  if (n < 0) return 0;
  f->position += static_cast<uint64_t>(n);
  if (got) *got = static_cast<uint32_t>(n);
  return 1;
}

int32_t fast_seek(FastFile* f, int32_t distance, int origin) {
  if (!f) return -1;
  int64_t target;
  if (f->kind == kPlain) {
    if (origin == kFileBegin) {
      target = distance;
    } else if (origin == kFileCurrent) {
      target = static_cast<int64_t>(f->position) + distance;
    } else if (origin == kFileEnd) {
      struct stat st {};
      if (::fstat(f->fd, &st) != 0) return -1;
      target = static_cast<int64_t>(st.st_size) + distance;
    } else {
      return -1;
    }
    // Positions are reported as 32-bit numbers.
    if (target < 0 || target > INT32_MAX) return -1;
    f->position = static_cast<uint64_t>(target);
    return static_cast<int32_t>(target);
  }

  const int64_t start = f->offset, size = f->size;
  if (origin == kFileBegin) {
    if (distance < 0 || distance > size) return -1;
    target = start + distance;
  } else if (origin == kFileCurrent) {
    target = static_cast<int64_t>(f->position) + distance;
    if (target < start || target > start + size) return -1;
  } else if (origin == kFileEnd) {
    if (distance > 0 || size < -int64_t{distance}) return -1;
    target = start + size + distance;
  } else {
    return distance;
  }
  f->position = static_cast<uint64_t>(target);
  return static_cast<int32_t>(target - start);
}

int32_t fast_size(FastFile* f) {
  if (!f) return -1;
  if (f->kind == kMember) return static_cast<int32_t>(f->size);
  struct stat st {};
  if (::fstat(f->fd, &st) != 0 || st.st_size > INT32_MAX) return -1;
  return static_cast<int32_t>(st.st_size);
}

// Bytes that cannot be read (at the end, or after a failure) read as 0.
uint8_t fast_read_u8(FastFile* f) {
  uint8_t b = 0;
  fast_read(f, &b, 1, nullptr);
  return b;
}

uint16_t fast_read_u16(FastFile* f) {
  uint8_t b[2] = {0, 0};
  fast_read(f, b, 2, nullptr);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

float fast_read_f32(FastFile* f) {
  uint8_t b[4] = {0, 0, 0, 0};
  fast_read(f, b, 4, nullptr);
  return std::bit_cast<float>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24);
}

}  // namespace zelt::files
