// Arbitrary bytes as an archive file: members named in its own name table
// and a few fixed names are opened, read and sought through OpenFastFile and
// OpenExpFile, checking that reads stay inside the member.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/archive_format.h"
#include "files/exp_file.h"
#include "files/fast_file.h"
#include "files/host_path.h"
#include "fuzz_check.h"

namespace {

namespace files = zelt::files;
namespace archive = zelt::files::archive;

using zelt::fuzz::check;

std::string root;

void remove_root() { std::filesystem::remove_all(root); }

void setup() {
  if (!root.empty()) return;
  char templ[] = "/tmp/zelt-fuzz-XXXXXX";
  if (!mkdtemp(templ)) abort();
  root = templ;
  atexit(remove_root);
  files::set_drive_mapping("Q:", root);
}

// Up to four names from the archive's own directory, as far as it decodes.
std::vector<std::string> own_names(const uint8_t* data, size_t size) {
  std::vector<std::string> names;
  if (size < archive::kHeaderSize) return names;
  const archive::Header h = archive::decode_header(data);
  const uint64_t dir_end = archive::kHeaderSize + uint64_t{h.count} * archive::kEntrySize;
  if (dir_end + h.names_size > size) return names;
  const std::string_view table(reinterpret_cast<const char*>(data) + dir_end, h.names_size);
  std::vector<archive::DirEntry> entries(std::min<uint32_t>(h.count, 16));
  archive::decode_directory(data + archive::kHeaderSize, static_cast<uint32_t>(entries.size()), h.seed,
                            entries.data());
  for (const archive::DirEntry& e : entries) {
    std::string_view name;
    if (names.size() < 4 && archive::name_at(table, e.name_offset, name)) names.emplace_back(name);
  }
  return names;
}

void exercise_fast(const std::string& path) {
  files::FastFile* f = files::OpenFastFile(path);
  if (!f) return;
  const int32_t size = files::fast_size(f);
  check(size >= 0 || size == -1, "size");
  uint8_t buffer[64];
  uint64_t total = 0;
  uint32_t got = 0;
  while (files::fast_read(f, buffer, sizeof buffer, &got) && got > 0 && total < (1u << 20)) total += got;
  if (size >= 0 && total < (1u << 20)) check(total <= static_cast<uint32_t>(size), "reads stay in the member");
  check(files::fast_seek(f, 0, files::kFileEnd) == size, "end is the size");
  check(files::fast_seek(f, 1, files::kFileEnd) == -1, "nothing after the end");
  files::fast_read_u8(f);
  files::fast_read_u16(f);
  files::fast_read_f32(f);
  files::fast_close(f);

  files::ExpFile* e = files::OpenExpFile(path);
  if (!e) return;
  const int32_t esize = files::exp_size(e);
  if (esize > 0) files::exp_seek(e, esize / 2, files::kFileBegin);
  files::exp_read(e, buffer, sizeof buffer, &got);
  check(got <= sizeof buffer, "exp read");
  files::exp_close(e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setup();
  FILE* out = fopen((root + "/fz.bin").c_str(), "wb");
  if (!out) abort();
  if (size > 0) fwrite(data, 1, size, out);
  fclose(out);

  std::vector<std::string> names = own_names(data, size);
  names.push_back("x");
  names.push_back("A\\b.TXT");
  for (const std::string& name : names) exercise_fast("Q:\\fz\\" + name);
  return 0;
}
