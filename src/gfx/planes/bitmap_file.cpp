// Windows bitmap files: loading (from the file layer or from memory, through
// one parser) and saving.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/messages.h"
#include "files/atomic_file.h"
#include "files/exp_file.h"
#include "files/host_path.h"
#include "gfx/planes/image_files.h"
#include "gfx/planes/palette.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;

uint16_t get_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t get_u32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void put_u16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put_u32(uint8_t* p, uint32_t v) {
  put_u16(p, v);
  put_u16(p + 2, v >> 16);
}

// What the parser reads from: a file of the file layer or bytes in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Size of the data; -1 when it cannot be told.
  virtual int64_t size() = 0;
  // Reads count bytes from position; false unless all of them were read.
  virtual bool read_at(uint64_t position, void* out, uint32_t count) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
  int64_t size() override { return static_cast<int64_t>(data_.size()); }
  bool read_at(uint64_t position, void* out, uint32_t count) override {
    if (position > data_.size() || data_.size() - position < count) return false;
    if (count > 0) std::memcpy(out, data_.data() + position, count);
    return true;
  }

 private:
  std::span<const uint8_t> data_;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(files::ExpFile* file) : file_(file) {}
  ~FileSource() override { files::exp_close(file_); }
  int64_t size() override { return files::exp_size(file_); }
  bool read_at(uint64_t position, void* out, uint32_t count) override {
    if (position > INT32_MAX || files::exp_seek(file_, static_cast<int32_t>(position), files::kFileBegin) < 0)
      return false;
    auto* to = static_cast<uint8_t*>(out);
    uint32_t done = 0;
    while (done < count) {
      uint32_t got = 0;
      if (!files::exp_read(file_, to + done, count - done, &got) || got == 0) return false;
      done += got;
    }
    return true;
  }

 private:
  files::ExpFile* file_;
};

// Info header sizes taken: the old 12-byte one, the 40-byte one, and the
// longer ones that extend it (whose extra fields matter only with bit-field
// compression, which is refused).
bool known_header_size(uint32_t size) {
  return size == kCoreHeaderSize || size == kInfoHeaderSize || size == 52 || size == 56 || size == 108 ||
         size == 124;
}

bool valid_bit_count(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Reads a bitmap: an optional 14-byte file header, an info header, the colour
// table and bottom-up pixel rows, straight into a new plane. Everything the
// headers announce is checked against the data before the plane is made.
Plane* parse_bitmap(ByteSource& in) {
  const int64_t size = in.size();
  if (size < 0) return nullptr;
  uint8_t file_header[kFileHeaderSize];
  uint64_t header_at = 0, pixel_offset = 0;
  if (in.read_at(0, file_header, kFileHeaderSize) && file_header[0] == 'B' && file_header[1] == 'M') {
    header_at = kFileHeaderSize;
    pixel_offset = get_u32(file_header + 10);
  }  // else a header without file header: the info header is at the start

  uint8_t h[kInfoHeaderSize];
  if (!in.read_at(header_at, h, 4)) return nullptr;
  const uint32_t header_size = get_u32(h);
  if (!known_header_size(header_size)) return nullptr;
  const bool core = header_size == kCoreHeaderSize;
  if (!in.read_at(header_at, h, core ? kCoreHeaderSize : kInfoHeaderSize)) return nullptr;
  int64_t width, height;
  uint32_t bits, colour_count;
  if (core) {
    width = get_u16(h + 4);
    height = get_u16(h + 6);
    bits = get_u16(h + 10);
    colour_count = default_colour_count(static_cast<int32_t>(bits));
  } else {
    width = static_cast<int32_t>(get_u32(h + 4));
    height = static_cast<int32_t>(get_u32(h + 8));  // negative: top-down rows, refused
    bits = get_u16(h + 14);
    if (get_u32(h + 16) != 0) return nullptr;  // compressed or bit fields
    colour_count = get_u32(h + 32);
    if (colour_count == 0) colour_count = default_colour_count(static_cast<int32_t>(bits));
  }
  if (!valid_bit_count(bits) || width < 0 || height < 0 || width > kMaxPlaneSide || height > kMaxPlaneSide ||
      colour_count > kPaletteEntries)
    return nullptr;

  // The stored image size is not trusted: the rows of the announced size
  // are read whole, so none is left unread, and must all be in the data.
  const uint64_t image_size = static_cast<uint64_t>(plane_pitch(width, bits)) * static_cast<uint64_t>(height);
  const uint32_t entry_size = core ? 3 : 4;
  const uint64_t table_at = header_at + header_size;
  const uint64_t pixels_at =
      pixel_offset != 0 ? pixel_offset : table_at + uint64_t{entry_size} * colour_count;
  if (image_size > kMaxPlaneBytes || pixels_at > static_cast<uint64_t>(size) ||
      static_cast<uint64_t>(size) - pixels_at < image_size)
    return nullptr;

  std::array<uint8_t, 4 * kPaletteEntries> table_bytes;
  if (!in.read_at(table_at, table_bytes.data(), entry_size * colour_count)) return nullptr;
  Plane* plane = plane_create(static_cast<int32_t>(width), static_cast<int32_t>(height),
                              static_cast<int32_t>(bits), static_cast<int32_t>(colour_count));
  if (!plane) return nullptr;
  const std::span<uint32_t> table = plane_colour_table(*plane);
  for (uint32_t i = 0; i < colour_count; ++i) {
    const uint8_t* e = &table_bytes[entry_size * i];
    table[i] = core ? uint32_t{e[0]} | uint32_t{e[1]} << 8 | uint32_t{e[2]} << 16 : get_u32(e);
  }
  // The file's rows have the plane's own layout: one read fills the plane.
  const std::span<uint8_t> pixels = plane_pixels(*plane);
  if (pixels.size() != image_size ||
      !in.read_at(pixels_at, pixels.data(), static_cast<uint32_t>(image_size))) {
    plane_destroy(plane);
    return nullptr;
  }
  return plane;
}

// Copies count bits starting at bit `first` of src (most significant bit
// first) to the start of dst; the unused low bits of the last byte are 0.
// src_size bounds what may be read.
void copy_bits(uint8_t* dst, const uint8_t* src, size_t src_size, uint64_t first, uint64_t count) {
  const size_t bytes = static_cast<size_t>((count + 7) / 8);
  src += first / 8;
  src_size -= static_cast<size_t>(first / 8);
  const unsigned shift = static_cast<unsigned>(first % 8);
  if (shift == 0) {
    std::memcpy(dst, src, bytes);
  } else {
    for (size_t i = 0; i < bytes; ++i) {
      const unsigned next = i + 1 < src_size ? src[i + 1] : 0;
      dst[i] = static_cast<uint8_t>(src[i] << shift | next >> (8 - shift));
    }
  }
  if (const unsigned tail = static_cast<unsigned>(count % 8))
    dst[bytes - 1] &= static_cast<uint8_t>(0xFF00 >> tail);
}

// The file image of the area of a plane: file header, 40-byte info header,
// the plane's colour table and the area's rows, bottom row first, each
// padded to four bytes.
std::vector<uint8_t> encode_bitmap(const Plane& plane, const Rect& area) {
  const uint32_t width = static_cast<uint32_t>(area.right - area.left);
  const uint32_t height = static_cast<uint32_t>(area.bottom - area.top);
  const uint32_t bits = static_cast<uint32_t>(plane.bit_count);
  const uint32_t colours = plane.colour_count;
  const uint32_t stride = static_cast<uint32_t>(plane_pitch(width, bits));
  const uint32_t image_size = stride * height;
  const uint32_t pixels_at = kFileHeaderSize + kInfoHeaderSize + 4 * colours;

  std::vector<uint8_t> out(pixels_at + size_t{image_size}, 0);
  uint8_t* p = out.data();
  p[0] = 'B';
  p[1] = 'M';
  put_u32(p + 2, pixels_at + image_size);
  put_u32(p + 10, pixels_at);
  uint8_t* h = p + kFileHeaderSize;
  put_u32(h, kInfoHeaderSize);
  put_u32(h + 4, width);
  put_u32(h + 8, height);
  put_u16(h + 12, 1);
  put_u16(h + 14, bits);
  put_u32(h + 20, image_size);
  put_u32(h + 32, colours);
  put_u32(h + 36, colours);
  const std::span<const uint32_t> table = plane_colour_table(plane);
  for (uint32_t i = 0; i < colours && i < table.size(); ++i) put_u32(h + kInfoHeaderSize + 4 * i, table[i]);

  // The row of the plane holding the area's left pixel, from its first byte
  // to the end of the plane's row.
  const uint64_t first_bit = uint64_t{static_cast<uint32_t>(area.left)} * bits;
  for (uint32_t r = 0; r < height; ++r) {
    const uint8_t* row = plane_pixel_address(&plane, 0, area.bottom - 1 - static_cast<int32_t>(r));
    copy_bits(p + pixels_at + size_t{r} * stride, row, static_cast<size_t>(plane.pitch), first_bit,
              uint64_t{width} * bits);
  }
  return out;
}

}  // namespace

Plane* load_bitmap(std::string_view path) {
  files::ExpFile* file = files::OpenExpFile(path);
  if (!file) return nullptr;
  FileSource source(file);
  return parse_bitmap(source);
}

Plane* decode_bitmap(std::span<const uint8_t> data) {
  MemorySource source(data);
  return parse_bitmap(source);
}

int32_t gsave(std::string_view name, uint32_t handle, const Rect* rect) {
  const Plane* plane = plane_get(handle);
  if (!plane || plane_pixels(*plane).data() == nullptr) return 0;
  Rect area{0, 0, plane->width, plane->height};
  if (rect) {
    area.left = std::max(area.left, rect->left);
    area.top = std::max(area.top, rect->top);
    area.right = std::min(area.right, rect->right);
    area.bottom = std::min(area.bottom, rect->bottom);
  }
  if (area.empty()) return 0;
  std::vector<uint8_t> block;
  try {
    block = encode_bitmap(*plane, area);
  } catch (const std::bad_alloc&) {
    return 0;
  }

  // Script strings end at their first NUL. The file is written beside its
  // target and replaces it only when complete, so a failed save keeps the
  // previous file.
  const std::string path(name.substr(0, name.find('\0')));
  files::AtomicFile file;
  if (!file.open(files::host_path(path))) {
    report_message(kLevelFile, msg_text(Msg::SavePlaneCreate), path.c_str());
    return 0;
  }
  const bool written = file.write(block.data(), block.size()) && file.commit();
  files::clear_path_cache();
  if (!written) {
    report_message(kLevelFile, msg_text(Msg::SavePlaneWrite), path.c_str());
    return 0;
  }
  return 1;
}

}  // namespace zelt::gfx
