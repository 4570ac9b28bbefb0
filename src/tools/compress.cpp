// zelt compress IN OUT / zelt decompress IN OUT: compressed ("zlt") files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/atomic_file.h"
#include "files/fd_io.h"
#include "files/lzw.h"
#include "tools/tools.h"

namespace zelt::tools {
namespace {

namespace lzw = files::lzw;

int fail(const char* tool, const std::string& message) {
  std::fprintf(stderr, "zelt %s: %s\n", tool, message.c_str());
  return 1;
}

std::string errno_text() { return std::strerror(errno); }

bool read_whole(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    errno = error;
    return false;
  }
  out.clear();
  const bool ok = files::read_to_end(fd, out);
  const int error = errno;
  ::close(fd);
  errno = error;
  return ok;
}

bool write_to_file(void* context, const uint8_t* data, size_t size) {
  return static_cast<files::AtomicFile*>(context)->write(data, size);
}

// Parses "IN OUT" and loads IN; returns 0 when the tool may go on.
int load_input(const char* tool, std::span<char*> args, std::string& in, std::string& out, std::string& data) {
  if (args.size() != 2) return usage(tool);
  in = args[0];
  out = args[1];
  if (!read_whole(in, data)) return fail(tool, "cannot read " + in + ": " + errno_text());
  if (files::same_file(in, out)) return fail(tool, out + " is the input file; choose another output file");
  return 0;
}

}  // namespace

int compress_main(std::span<char*> args) {
  std::string in, out, data;
  if (int code = load_input("compress", args, in, out, data)) return code;
  if (data.size() > UINT32_MAX)
    return fail("compress", in + " is too large: a compressed file holds at most 4294967295 bytes");

  files::AtomicFile file;
  if (!file.open(out)) return fail("compress", "cannot create " + out + ": " + errno_text());
  lzw::BitWriter writer(write_to_file, &file);
  if (!writer.valid()) return fail("compress", "out of memory");
  const auto size = static_cast<uint32_t>(data.size());
  bool ok = true;
  for (uint8_t b : lzw::kMagic) ok = ok && writer.write(b, 8);
  ok = ok && writer.write(size, 32);
  if (ok && size > 0) {
    const lzw::EncodeStatus status = lzw::encode(writer, reinterpret_cast<const uint8_t*>(data.data()), size);
    if (status == lzw::EncodeStatus::kNoDictionary) return fail("compress", "out of memory");
    ok = status == lzw::EncodeStatus::kOk;
  }
  if (!ok || !writer.finish() || !file.commit()) return fail("compress", "cannot write " + out + ": " + errno_text());
  return 0;
}

int decompress_main(std::span<char*> args) {
  std::string in, out, data;
  if (int code = load_input("decompress", args, in, out, data)) return code;
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  if (data.size() < 4 || !lzw::has_magic(bytes))
    return fail("decompress", in + " is not a compressed file (it does not start with \"zlt\" and a zero byte)");
  if (data.size() < lzw::kHeaderSize) return fail("decompress", in + " is cut short inside its header");

  const uint32_t size = lzw::header_size_field(bytes);
  lzw::MemorySource source{bytes + lzw::kHeaderSize, data.size() - lzw::kHeaderSize};
  lzw::BitReader reader(lzw::MemorySource::read, &source);
  lzw::Decoded decoded;
  switch (size == 0 ? lzw::DecodeStatus::kOk : lzw::decode(reader, size, data.size(), decoded)) {
    case lzw::DecodeStatus::kOk: break;
    case lzw::DecodeStatus::kNoDictionary:
    case lzw::DecodeStatus::kNoMemory: return fail("decompress", "out of memory");
    case lzw::DecodeStatus::kTooLong:
      return fail("decompress", in + " is damaged: its data is longer than the " + std::to_string(size) +
                                    " bytes its header announces");
    case lzw::DecodeStatus::kCorrupt:
      return fail("decompress", in + " is damaged: it holds a code that is not defined at that point");
  }
  if (decoded.produced < size) {
    std::fprintf(stderr,
                 "zelt decompress: warning: %s holds %u of the %u bytes its header announces; "
                 "the rest is written as zeros, as the runtime reads it\n",
                 in.c_str(), decoded.produced, size);
  }

  files::AtomicFile file;
  if (!file.open(out)) return fail("decompress", "cannot create " + out + ": " + errno_text());
  // The missing tail is zeros: extending the file leaves no need to write them.
  if (!file.write(decoded.data.get(), decoded.produced) || ::ftruncate(file.fd(), off_t{size}) != 0 ||
      !file.commit()) {
    return fail("decompress", "cannot write " + out + ": " + errno_text());
  }
  return 0;
}

}  // namespace zelt::tools
