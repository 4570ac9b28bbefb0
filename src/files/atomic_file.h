// Writing a file so that a failure never destroys what was there: the data
// goes to a temporary file beside the target, which replaces the target only
// once everything was written. Used by every writer of whole files (the
// tools, write_compressed, ini files, the system file, screenshots).
#pragma once

#include <cstddef>
#include <string>

namespace zelt::files {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile() { discard(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Starts writing host path `target`. A symbolic link is followed (the file
  // it points at is replaced, the link stays); an existing file keeps its
  // permissions and, where we may set it, its owner. An existing FIFO or
  // device is not replaced but written in place (see in_place(); a FIFO
  // waits for its reader, as a shell redirection does). An
  // existing regular file that may not be written is refused (EACCES).
  // Temporary files that a killed writer left beside the target are
  // removed. False with errno set (EISDIR when target is a folder).
  bool open(const std::string& target);
  int fd() const { return fd_; }
  // True when the target is a FIFO or device written directly: there the
  // bytes go out as they are written and discard() cannot take them back.
  bool in_place() const { return in_place_; }
  // False with errno set on a failed or short write.
  bool write(const void* data, size_t size);
  // Replaces the target with what was written; durable also flushes the data
  // and the rename to the disk. False with errno set; the target is then
  // unchanged.
  bool commit(bool durable = true);
  // Drops the temporary file (also done by the destructor unless committed).
  void discard();

 private:
  int fd_ = -1;
  bool in_place_ = false;
  std::string target_, temp_;
};

// True when both host paths exist and name the same file (device and inode).
bool same_file(const std::string& a, const std::string& b);

}  // namespace zelt::files
