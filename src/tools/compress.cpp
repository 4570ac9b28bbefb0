// zelt compress IN OUT / zelt decompress IN OUT: compressed ("zlt") files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
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

bool write_to_file(void* context, const uint8_t* data, size_t size) {
  return static_cast<files::AtomicFile*>(context)->write(data, size);
}

struct Input {
  int fd = -1;
  struct stat st {};
  ~Input() {
    if (fd >= 0) ::close(fd);
  }
};

// Parses "IN OUT" and opens IN; returns 0 when the tool may go on.
int open_input(const char* tool, std::span<char*> args, std::string& in, std::string& out, Input& input) {
  if (args.size() != 2) return usage(tool);
  in = args[0];
  out = args[1];
  input.fd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
  if (input.fd < 0 || ::fstat(input.fd, &input.st) != 0) return fail(tool, "cannot read " + in + ": " + errno_text());
  if (S_ISDIR(input.st.st_mode)) return fail(tool, "cannot read " + in + ": " + std::strerror(EISDIR));
  if (files::same_file(in, out)) return fail(tool, out + " is the input file; choose another output file");
  return 0;
}

// The compressed input, read as the decoder asks for it: memory stays
// bounded however long the input goes on.
struct FdSource {
  int fd;
  int error = 0;
  static size_t read(void* context, uint8_t* buffer, size_t size) {
    auto* source = static_cast<FdSource*>(context);
    const ssize_t n = files::read_full(source->fd, buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    source->error = errno;
    return 0;
  }
};

}  // namespace

int compress_main(std::span<char*> args) {
  std::string in, out;
  Input input;
  if (int code = open_input("compress", args, in, out, input)) return code;
  // The header announces the size before the data: only a regular file has
  // one to go by, where a device or FIFO may go on without end.
  if (!S_ISREG(input.st.st_mode))
    return fail("compress", in + " is not a regular file; compress reads regular files only");
  if (static_cast<uint64_t>(input.st.st_size) > UINT32_MAX)
    return fail("compress", in + " is too large: a compressed file holds at most 4294967295 bytes");
  // One byte more than the size, to notice a file that grows meanwhile.
  std::string data(static_cast<size_t>(input.st.st_size) + 1, '\0');
  const ssize_t got = files::read_full(input.fd, data.data(), data.size());
  if (got < 0) return fail("compress", "cannot read " + in + ": " + errno_text());
  if (static_cast<uint64_t>(got) != static_cast<uint64_t>(input.st.st_size))
    return fail("compress", in + " changed while it was being read");
  data.pop_back();

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
  std::string in, out;
  Input input;
  if (int code = open_input("decompress", args, in, out, input)) return code;
  uint8_t header[lzw::kHeaderSize];
  const ssize_t got = files::read_full(input.fd, header, sizeof header);
  if (got < 0) return fail("decompress", "cannot read " + in + ": " + errno_text());
  if (got < 4 || !lzw::has_magic(header))
    return fail("decompress", in + " is not a compressed file (it does not start with \"zlt\" and a zero byte)");
  if (got < lzw::kHeaderSize) return fail("decompress", in + " is cut short inside its header");

  const uint32_t size = lzw::header_size_field(header);
  FdSource source{input.fd};
  lzw::BitReader reader(FdSource::read, &source);
  if (!reader.valid()) return fail("decompress", "out of memory");
  const uint64_t hint = S_ISREG(input.st.st_mode) ? static_cast<uint64_t>(input.st.st_size) : 0;
  lzw::Decoded decoded;
  const lzw::DecodeStatus status = size == 0 ? lzw::DecodeStatus::kOk : lzw::decode(reader, size, hint, decoded);
  // After the end code only the bits that fill its byte may follow. (A
  // stream that stops without its end code has just run out.)
  const bool trailing = status == lzw::DecodeStatus::kOk && (size == 0 || decoded.ended) && !reader.at_end();
  if (source.error != 0) {
    errno = source.error;
    return fail("decompress", "cannot read " + in + ": " + errno_text());
  }
  switch (status) {
    case lzw::DecodeStatus::kOk: break;
    case lzw::DecodeStatus::kNoDictionary:
    case lzw::DecodeStatus::kNoMemory: return fail("decompress", "out of memory");
    case lzw::DecodeStatus::kTooLong:
      return fail("decompress", in + " is damaged: its data is longer than the " + std::to_string(size) +
                                    " bytes its header announces");
    case lzw::DecodeStatus::kCorrupt:
      return fail("decompress", in + " is damaged: it holds a code that is not defined at that point");
  }
  // Short streams and data after the end code are written as the runtime
  // reads them (the missing tail as zeros, the extra data ignored), and said.
  if (decoded.produced < size) {
    std::fprintf(stderr,
                 "zelt decompress: warning: %s is cut short: it holds %u of the %u bytes its header announces; "
                 "the rest is written as zeros, as the runtime reads it\n",
                 in.c_str(), decoded.produced, size);
  }
  if (trailing) {
    std::fprintf(stderr,
                 "zelt decompress: warning: more data follows the end of the compressed stream in %s; "
                 "it is ignored, as the runtime ignores it\n",
                 in.c_str());
  }

  files::AtomicFile file;
  if (!file.open(out)) return fail("decompress", "cannot create " + out + ": " + errno_text());
  bool written = file.write(decoded.data.get(), decoded.produced);
  static constexpr uint8_t kZeros[65536] = {};
  for (uint32_t left = size - decoded.produced; written && left > 0;) {
    const uint32_t n = std::min<uint32_t>(left, sizeof kZeros);
    written = file.write(kZeros, n);
    left -= n;
  }
  if (!written || !file.commit()) return fail("decompress", "cannot write " + out + ": " + errno_text());
  return 0;
}

}  // namespace zelt::tools
