// Writing a file so that a failure never destroys what was there: the data
// goes to a temporary file beside the target, which replaces the target only
// once everything was written. Used by write_compressed and the tools.
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
  // it points at is replaced, the link stays); an existing file's permissions
  // carry over. False with errno set (EISDIR when target is a folder).
  bool open(const std::string& target);
  int fd() const { return fd_; }
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
  std::string target_, temp_;
};

// True when both host paths exist and name the same file (device and inode).
bool same_file(const std::string& a, const std::string& b);

}  // namespace zelt::files
