// zelt pack [--seed N] DIR OUT.bin / zelt unpack IN.bin DIR: archives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/cp932.h"
#include "files/archive_format.h"
#include "files/atomic_file.h"
#include "files/fd_io.h"
#include "tools/tools.h"

namespace zelt::tools {
namespace {

namespace fs = std::filesystem;
namespace archive = files::archive;

int fail(const char* tool, const std::string& message) {
  std::fprintf(stderr, "zelt %s: %s\n", tool, message.c_str());
  return 1;
}

std::string errno_text() { return std::strerror(errno); }

// False with errno set, EIO when the file ends early.
bool read_at(int fd, void* buffer, size_t count, uint64_t offset) {
  const ssize_t n = files::read_full_at(fd, buffer, count, offset);
  if (n >= 0 && static_cast<size_t>(n) < count) errno = EIO;
  return n >= 0 && static_cast<size_t>(n) == count;
}

// Copies size bytes of in from offset to out.
bool copy_bytes(int in, uint64_t offset, uint64_t size, files::AtomicFile& out, std::vector<uint8_t>& buffer) {
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, buffer.size()));
    if (!read_at(in, buffer.data(), n, offset) || !out.write(buffer.data(), n)) return false;
    offset += n;
    size -= n;
  }
  return true;
}

bool parse_seed(const char* text, uint32_t& seed) {
  if (!text || !*text || *text == '-' || *text == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0' || v > UINT32_MAX) return false;
  seed = static_cast<uint32_t>(v);
  return true;
}

struct Member {
  std::string name;  // code page 932, "\" between folders
  std::string host;  // the file to pack
  uint64_t size = 0;
};

// Collects every file below dir; false after reporting what stops the pack.
bool collect(const fs::path& dir, std::vector<Member>& members) {
  std::error_code ec;
  fs::recursive_directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    const fs::path relative = entry.path().lexically_relative(dir);
    const fs::file_status status = entry.status(ec);
    if (ec) break;
    if (fs::is_directory(status)) {
      if (entry.is_symlink()) {
        fail("pack", entry.path().string() + " is a link to a folder; pack does not follow those");
        return false;
      }
      continue;
    }
    if (!fs::is_regular_file(status)) {
      fail("pack", entry.path().string() + " is not a regular file");
      return false;
    }
    Member m;
    for (const fs::path& part : relative) {
      const std::string utf8 = part.string();
      const std::string cp = cp932::from_utf8(utf8);
      if (cp932::to_utf8(cp) != utf8) {
        fail("pack", "the name " + entry.path().string() + " cannot be written in code page 932");
        return false;
      }
      if (!m.name.empty()) m.name += '\\';
      m.name += cp;
    }
    m.host = entry.path().string();
    m.size = entry.file_size(ec);
    if (ec) break;
    members.push_back(std::move(m));
  }
  if (ec) {
    fail("pack", "cannot read " + dir.string() + ": " + ec.message());
    return false;
  }
  return true;
}

}  // namespace

int pack_main(std::span<char*> args) {
  std::vector<std::string> positional;
  uint32_t seed = 0;
  bool have_seed = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string arg = args[i];
    if (arg == "--seed") {
      if (i + 1 >= args.size() || !parse_seed(args[i + 1], seed)) {
        std::fprintf(stderr, "zelt pack: --seed needs a number from 0 to 4294967295\n");
        return usage("pack");
      }
      have_seed = true;
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "zelt pack: unknown option '%s'\n", arg.c_str());
      return usage("pack");
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) return usage("pack");
  const fs::path dir = positional[0];
  const std::string out = positional[1];

  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return fail("pack", dir.string() + " is not a folder");
  const fs::path dir_real = fs::canonical(dir, ec);
  const fs::path out_real = fs::weakly_canonical(out, ec);
  if (!ec && !dir_real.empty()) {
    const auto [a, b] = std::mismatch(dir_real.begin(), dir_real.end(), out_real.begin(), out_real.end());
    if (a == dir_real.end())
      return fail("pack", out + " is inside " + dir.string() + "; the archive would pack itself, write it elsewhere");
  }

  std::vector<Member> members;
  if (!collect(dir, members)) return 1;
  std::sort(members.begin(), members.end(),
            [](const Member& a, const Member& b) { return cp932::compare_nocase(a.name, b.name) < 0; });
  for (size_t i = 0; i < members.size(); ++i) {
    if (files::same_file(members[i].host, out))
      return fail("pack", out + " is one of the files being packed; write the archive elsewhere");
    if (i > 0 && cp932::equal_nocase(members[i - 1].name, members[i].name)) {
      return fail("pack", members[i - 1].host + " and " + members[i].host +
                              " differ only in case; an archive cannot hold both");
    }
  }

  // Layout: the head, then the members' data in directory order.
  std::string names;
  std::vector<archive::DirEntry> entries(members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    entries[i].name_offset = static_cast<uint32_t>(names.size());
    names += members[i].name;
    names += '\0';
  }
  uint64_t position = archive::kHeaderSize + uint64_t{archive::kEntrySize} * members.size() + names.size();
  for (size_t i = 0; i < members.size(); ++i) {
    if (position + members[i].size > UINT32_MAX)
      return fail("pack", "the files add up to more than the 4 GiB an archive can hold");
    entries[i].data_offset = static_cast<uint32_t>(position);
    entries[i].size = static_cast<uint32_t>(members[i].size);
    position += members[i].size;
  }
  if (!have_seed) seed = std::random_device{}();

  files::AtomicFile file;
  if (!file.open(out)) return fail("pack", "cannot create " + out + ": " + errno_text());
  const std::vector<uint8_t> head = archive::encode_head(seed, entries, names);
  if (!file.write(head.data(), head.size())) return fail("pack", "cannot write " + out + ": " + errno_text());
  std::vector<uint8_t> buffer(1 << 20);
  for (const Member& m : members) {
    const int in = ::open(m.host.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return fail("pack", "cannot read " + m.host + ": " + errno_text());
    struct stat st {};
    const bool same_size = ::fstat(in, &st) == 0 && static_cast<uint64_t>(st.st_size) == m.size;
    const bool ok = same_size && copy_bytes(in, 0, m.size, file, buffer);
    const int error = errno;
    ::close(in);
    if (!same_size) return fail("pack", m.host + " changed while it was being packed");
    if (!ok) {
      errno = error;
      return fail("pack", "cannot copy " + m.host + " into " + out + ": " + errno_text());
    }
  }
  if (!file.commit()) return fail("pack", "cannot write " + out + ": " + errno_text());
  return 0;
}

namespace {

// The folders and file name of a member, checked so that extraction stays
// below the target folder: no empty, "." or ".." parts, no drive.
bool split_member(std::string_view name, std::vector<std::string>& parts) {
  parts.clear();
  std::string part;
  auto finish_part = [&] {
    if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) return false;
    const std::string utf8 = cp932::to_utf8(part);
    if (cp932::from_utf8(utf8) != part) return false;  // not valid code page 932
    parts.push_back(utf8);
    part.clear();
    return true;
  };
  for (size_t i = 0; i < name.size();) {
    const size_t n = cp932::char_length(name, i);
    if (n == 1 && (name[i] == '\\' || name[i] == '/')) {
      if (!finish_part()) return false;
    } else {
      part.append(name.substr(i, n));
    }
    i += n;
  }
  return finish_part();
}

struct Extract {
  std::string name_utf8;  // for messages
  std::vector<std::string> parts;
  uint32_t offset = 0, size = 0;
};

}  // namespace

int unpack_main(std::span<char*> args) {
  if (args.size() != 2) return usage("unpack");
  const std::string in = args[0];
  const std::string dir = args[1];

  const int fd = ::open(in.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail("unpack", "cannot read " + in + ": " + errno_text());
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return fail("unpack", in + " is not a file");
  const uint64_t file_size = static_cast<uint64_t>(st.st_size);

  uint8_t header[archive::kHeaderSize];
  if (file_size < sizeof header || !read_at(fd, header, sizeof header, 0) || !archive::has_magic(header))
    return fail("unpack", in + " is not an archive (it does not start with KEP-ARC2)");
  const archive::Header h = archive::decode_header(header);
  const uint64_t dir_bytes = uint64_t{h.count} * archive::kEntrySize;
  if (archive::kHeaderSize + dir_bytes + h.names_size > file_size)
    return fail("unpack", in + " is damaged: its directory runs past the end of the file");
  std::vector<uint8_t> raw(static_cast<size_t>(dir_bytes));
  std::string names(h.names_size, '\0');
  if (!read_at(fd, raw.data(), raw.size(), archive::kHeaderSize) ||
      !read_at(fd, names.data(), names.size(), archive::kHeaderSize + dir_bytes))
    return fail("unpack", "cannot read " + in + ": " + errno_text());
  std::vector<archive::DirEntry> entries(h.count);
  archive::decode_directory(raw.data(), h.count, h.seed, entries.data());

  // Check everything before writing anything.
  std::vector<Extract> plan;
  std::set<std::string> targets;
  for (size_t i = 0; i < entries.size(); ++i) {
    const archive::DirEntry& e = entries[i];
    std::string_view name;
    if (!archive::name_at(names, e.name_offset, name))
      return fail("unpack", in + " is damaged: entry " + std::to_string(i) + " has no name in the name table");
    Extract x;
    x.name_utf8 = cp932::to_utf8(name);
    if (uint64_t{e.data_offset} + e.size > file_size)
      return fail("unpack", in + " is damaged: the data of " + x.name_utf8 + " lies outside the file");
    if (!split_member(name, x.parts))
      return fail("unpack", in + " holds the member name \"" + x.name_utf8 + "\", which cannot be extracted safely");
    std::string relative;
    for (const std::string& p : x.parts) relative += "/" + p;
    if (!targets.insert(relative).second)
      return fail("unpack", in + " holds two members that extract to " + dir + relative);
    if (files::same_file(dir + relative, in))
      return fail("unpack", "extracting " + x.name_utf8 + " would overwrite " + in + " itself");
    x.offset = e.data_offset;
    x.size = e.size;
    plan.push_back(std::move(x));
  }

  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir)) return fail("unpack", "cannot create the folder " + dir);
  std::vector<uint8_t> buffer(1 << 20);
  for (const Extract& x : plan) {
    // Folders are created as needed; an existing part must be a real folder,
    // so that a link cannot lead the extraction elsewhere.
    std::string path = dir;
    for (size_t k = 0; k < x.parts.size(); ++k) {
      path += "/" + x.parts[k];
      struct stat ps {};
      const bool exists = ::lstat(path.c_str(), &ps) == 0;
      if (k + 1 < x.parts.size()) {
        if (!exists && ::mkdir(path.c_str(), 0777) != 0)
          return fail("unpack", "cannot create the folder " + path + ": " + errno_text());
        if (exists && !S_ISDIR(ps.st_mode))
          return fail("unpack", "cannot extract " + x.name_utf8 + ": " + path + " is not a folder");
      } else if (exists && !S_ISREG(ps.st_mode)) {
        return fail("unpack", "cannot extract " + x.name_utf8 + ": " + path + " exists and is not a regular file");
      }
    }
    files::AtomicFile file;
    if (!file.open(path) || !copy_bytes(fd, x.offset, x.size, file, buffer) || !file.commit(false))
      return fail("unpack", "cannot write " + path + ": " + errno_text());
  }
  return 0;
}

}  // namespace zelt::tools
