// JPEG files, decoded with libjpeg-turbo into new planes: greyscale into an
// 8-bit plane with a grey ramp, everything else into a 24-bit plane.
//
// libjpeg reports fatal errors through a hook that must not return; it
// longjmps back into decode_region. Every frame that a longjmp can cross
// (that function, libjpeg's own and the hooks below) holds plain C state
// only, and the plane and the file are released by the callers after the
// region has returned.
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "files/exp_file.h"
#include "gfx/planes/image_files.h"

namespace zelt::gfx {
namespace {

// The file layer is read in blocks of this size.
constexpr uint32_t kFileBlock = 4096;
// Progressive files may hold scans that carry next to no data yet make the
// decoder visit every block of the image (runs of end-of-block codes), so
// decoding time grows with the number of scans, not with the file size.
// Real files have a few dozen at most.
constexpr int kMaxScans = 500;
// libjpeg's own working memory (the coefficient buffer of progressive and
// multi-scan files), twice the largest plane: a small file cannot make the
// decoder take more.
constexpr long kMaxDecoderMemory = 2L * kMaxPlaneBytes;
// Scan lines asked for per call; libjpeg returns fewer when it has fewer at
// hand.
constexpr int kRowBatch = 16;

struct ErrorManager {
  jpeg_error_mgr pub;  // first: libjpeg hands back a pointer to it
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];  // the last fatal message, for debugging only
};

// Input through the file layer, or from a span of memory. At the end of
// the data the decoder gets an end-of-image marker, so a truncated file
// decodes as far as it goes (the rest grey) after a warning; no data at
// all is an error.
struct Source {
  jpeg_source_mgr pub;  // first: the decoder's cinfo->src points here
  files::ExpFile* file;
  const uint8_t* data;
  size_t size;
  bool any_data;
  bool at_end;
  JOCTET block[kFileBlock];
};

// Everything the decoding region works on; plain C state.
struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager error;
  jpeg_progress_mgr progress;
  Source* source;
  uint64_t max_pixels;
  Plane* plane;  // made inside the region; the caller destroys it on failure
};

[[noreturn]] void fail_with_message(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  std::longjmp(error->jump, 1);
}

// Warnings (corrupt data, premature end) are counted, never shown: the
// decoder goes on and fills what it cannot decode. They need no limit:
// each one either consumes input or ends a scan, and at the end of the data
// the source supplies an end-of-image marker, so the work stays bounded by
// the file size, the image size and the scan limit.
void count_message(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}

void show_nothing(j_common_ptr) {}

void check_scan_count(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor || reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxScans)
    return;
  auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::snprintf(error->message, sizeof error->message, "more than %d scans", kMaxScans);
  std::longjmp(error->jump, 1);
}

void init_source(j_decompress_ptr) {}
void term_source(j_decompress_ptr) {}

boolean fill_input(j_decompress_ptr cinfo) {
  Source* src = reinterpret_cast<Source*>(cinfo->src);
  size_t got = 0;
  if (!src->at_end) {
    if (src->file) {
      uint32_t n = 0;
      if (!files::exp_read(src->file, src->block, kFileBlock, &n)) ERREXIT(cinfo, JERR_FILE_READ);
      got = n;
      src->pub.next_input_byte = src->block;
    } else {
      got = src->size;  // handed over whole, once
      src->pub.next_input_byte = src->data;
    }
  }
  if (got == 0) {
    src->at_end = true;
    if (!src->any_data) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    src->pub.next_input_byte = kEndOfImage;
    got = 2;
  } else {
    src->any_data = true;
    src->at_end = src->file == nullptr;
  }
  src->pub.bytes_in_buffer = got;
  return TRUE;
}

// Marker lengths bound count to 65533, and every fill supplies at least two
// bytes, so this ends.
void skip_input(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  if (count <= 0) return;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    (*src->fill_input_buffer)(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void attach_source(Source& source, files::ExpFile* file, const uint8_t* data, size_t size) {
  source.pub.init_source = init_source;
  source.pub.fill_input_buffer = fill_input;
  source.pub.skip_input_data = skip_input;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.term_source = term_source;
  source.pub.bytes_in_buffer = 0;
  source.pub.next_input_byte = nullptr;
  source.file = file;
  source.data = data;
  source.size = size;
  source.any_data = false;
  source.at_end = false;
}

// Four-component rows (CMYK, or YCCK turned into CMYK by libjpeg) as bytes
// blue, green, red. With Adobe's marker the values are inverted (0 is full
// ink), as Photoshop and most tools write them: red = C × K / 255 on the
// stored values. Without it they are plain ink amounts.
void cmyk_to_bgr(const JSAMPLE* in, uint8_t* out, JDIMENSION width, bool inverted) {
  auto scale = [](uint32_t a, uint32_t b) {
    const uint32_t x = a * b + 128;
    return static_cast<uint8_t>((x + (x >> 8)) >> 8);  // a × b / 255, rounded
  };
  const uint32_t flip = inverted ? 0 : 255;
  for (JDIMENSION i = 0; i < width; ++i, in += 4, out += 3) {
    const uint32_t k = in[3] ^ flip;
    out[0] = scale(in[2] ^ flip, k);
    out[1] = scale(in[1] ^ flip, k);
    out[2] = scale(in[0] ^ flip, k);
  }
}

// The setjmp region: true with d.plane filled, false after any library
// error or an image the loader does not take.
bool decode_region(Decoder& d) {
  j_decompress_ptr cinfo = &d.cinfo;
  if (setjmp(d.error.jump)) return false;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  cinfo->progress = &d.progress;
  cinfo->src = &d.source->pub;
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;

  int components;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo->out_color_space = JCS_GRAYSCALE;
      components = 1;
      break;
    case JCS_RGB:
    case JCS_YCbCr:
      cinfo->out_color_space = JCS_EXT_BGR;
      components = 3;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      components = 4;
      break;
    default:  // two components, or five and more: no colour model to map
      return false;
  }
  cinfo->dct_method = JDCT_FLOAT;
  cinfo->quantize_colors = FALSE;
  jpeg_calc_output_dimensions(cinfo);
  if (cinfo->output_components != components) return false;
  const uint64_t pixels = uint64_t{cinfo->output_width} * cinfo->output_height;
  if (cinfo->output_width > static_cast<JDIMENSION>(kMaxPlaneSide) ||
      cinfo->output_height > static_cast<JDIMENSION>(kMaxPlaneSide) || pixels > d.max_pixels)
    return false;
  const int32_t width = static_cast<int32_t>(cinfo->output_width);
  const int32_t height = static_cast<int32_t>(cinfo->output_height);
  d.plane = plane_create(width, height, components == 1 ? 8 : 24);
  if (!d.plane) return false;
  if (components == 1) {
    const std::span<uint32_t> table = plane_colour_table(*d.plane);
    for (uint32_t i = 0; i < table.size(); ++i) table[i] = i < 256 ? i * 0x010101u : 0;
  }

  jpeg_start_decompress(cinfo);
  const bool inverted = cinfo->saw_Adobe_marker;
  JSAMPARRAY cmyk_rows =
      components == 4 ? (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                      cinfo->output_width * 4, kRowBatch)
                      : nullptr;
  JSAMPROW rows[kRowBatch];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION want = std::min<JDIMENSION>(kRowBatch, cinfo->output_height - first);
    for (JDIMENSION i = 0; i < want; ++i)
      rows[i] = cmyk_rows ? cmyk_rows[i] : plane_pixel_address(d.plane, 0, static_cast<int32_t>(first + i));
    const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, want);
    if (got == 0 || got > want) return false;  // cannot happen with this source; never loop on it
    if (cmyk_rows) {
      for (JDIMENSION i = 0; i < got; ++i)
        cmyk_to_bgr(cmyk_rows[i], plane_pixel_address(d.plane, 0, static_cast<int32_t>(first + i)),
                    cinfo->output_width, inverted);
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

Plane* decode(Source& source, uint64_t max_pixels) {
  Decoder d;
  std::memset(&d, 0, sizeof d);
  d.cinfo.err = jpeg_std_error(&d.error.pub);
  d.error.pub.error_exit = fail_with_message;
  d.error.pub.emit_message = count_message;
  d.error.pub.output_message = show_nothing;
  d.progress.progress_monitor = check_scan_count;
  d.source = &source;
  d.max_pixels = max_pixels;
  const bool ok = decode_region(d);
  jpeg_destroy_decompress(&d.cinfo);
  if (ok) return d.plane;
  plane_destroy(d.plane);
  return nullptr;
}

}  // namespace

Plane* load_jpeg(std::string_view path) {
  files::ExpFile* file = files::OpenExpFile(path);
  if (!file) return nullptr;
  Source source;
  attach_source(source, file, nullptr, 0);
  Plane* plane = decode(source, UINT64_MAX);
  files::exp_close(file);
  return plane;
}

Plane* decode_jpeg(std::span<const uint8_t> data) { return decode_jpeg(data, UINT64_MAX); }

Plane* decode_jpeg(std::span<const uint8_t> data, uint64_t max_pixels) {
  Source source;
  attach_source(source, nullptr, data.data(), data.size());
  return decode(source, max_pixels);
}

}  // namespace zelt::gfx
