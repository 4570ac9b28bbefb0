// Whole reads and writes on file descriptors. A read or write may move fewer
// bytes than asked or be interrupted by a signal (EINTR) before moving any;
// these loops retry until everything is moved, the file ends or a real error
// occurs.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelt::files {

// Reads count bytes, fewer only at the end of the file. The bytes read, or
// -1 with errno set on an error.
ssize_t read_full(int fd, void* buffer, size_t count);
// The same from offset, without moving the file position.
ssize_t read_full_at(int fd, void* buffer, size_t count, uint64_t offset);
// Writes all count bytes: count, or -1 with errno set (EIO when the device
// takes nothing).
ssize_t write_full(int fd, const void* data, size_t count);
// Appends everything from the file position to the end of the file to out.
// False with errno set on an error.
bool read_to_end(int fd, std::string& out);

}  // namespace zelt::files
