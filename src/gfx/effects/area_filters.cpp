// The filters that draw a source rectangle at a point while averaging
// pixels: gradation (four neighbours), mosaic (block corners) and blur (a
// box along rows or columns).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/effects/filter_area.h"
#include "gfx/effects/filter_channels.h"
#include "gfx/effects/filter_rows_simd.h"
#include "gfx/effects/filters.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {
namespace {

template <ChannelPair K, int SB, int DB>
void gradation_area(const PixelView& dst, const PixelView& src, const PointArea& a) {
  using C = Channels<K>;
  const Box& s = a.src;
  for (int64_t y = s.top; y < s.bottom; ++y) {
    uint8_t* out = dst.at(a.dst.left, a.dst.top + (y - s.top));
    for (int64_t x = s.left; x < s.right; ++x, out += DB) {
      const uint8_t* centre = src.at(x, y);
      const uint8_t* n[4] = {y > s.top ? src.at(x, y - 1) : centre, y + 1 < s.bottom ? src.at(x, y + 1) : centre,
                             x > s.left ? src.at(x - 1, y) : centre, x + 1 < s.right ? src.at(x + 1, y) : centre};
      int32_t c[4][4], r[4];
      for (int i = 0; i < 4; ++i) C::read(n[i], c[i]);
      for (int k = 0; k < C::count; ++k) r[k] = (c[0][k] + c[1][k] + c[2][k] + c[3][k]) >> 2;
      C::write(out, r);
    }
  }
}

// Blocks aligned to the area's top-left; each band of blocks is worked out
// in its first destination row, which is then copied to the band's other
// rows.
template <ChannelPair K, int SB, int DB>
void mosaic_area(const PixelView& dst, const PixelView& src, const PointArea& a, int64_t bw, int64_t bh) {
  using C = Channels<K>;
  const Box& s = a.src;
  const size_t row_bytes = static_cast<size_t>(s.width()) * DB;
  for (int64_t by = s.top; by < s.bottom; by += bh) {
    // A block whose last row lies beyond the area takes its top row for the bottom corners.
    const int64_t bottom = by + bh - 1 < s.bottom ? by + bh - 1 : by;
    uint8_t* first = dst.at(a.dst.left, a.dst.top + (by - s.top));
    for (int64_t bx = s.left; bx < s.right; bx += bw) {
      int32_t c[4][4], r[4];
      if (bx + bw - 1 < s.right) {
        C::read(src.at(bx, by), c[0]);
        C::read(src.at(bx + bw - 1, by), c[1]);
        C::read(src.at(bx, bottom), c[2]);
        C::read(src.at(bx + bw - 1, bottom), c[3]);
        for (int k = 0; k < C::count; ++k) r[k] = (c[0][k] + c[1][k] + c[2][k] + c[3][k]) >> 2;
      } else {  // a partial block at the right edge: its left column's top and bottom
        C::read(src.at(bx, by), c[0]);
        C::read(src.at(bx, bottom), c[1]);
        for (int k = 0; k < C::count; ++k) r[k] = (c[0][k] + c[1][k]) >> 1;
      }
      uint8_t* out = first + (bx - s.left) * DB;
      for (int64_t x = bx; x < std::min(bx + bw, s.right); ++x, out += DB) C::write(out, r);
    }
    for (int64_t y = by + 1; y < std::min(by + bh, s.bottom); ++y)
      std::memcpy(dst.at(a.dst.left, a.dst.top + (y - s.top)), first, row_bytes);
  }
}

// Blur of 2n + 1 samples per byte: (sum × ⌊65536 / (2n + 1)⌋ + 32768) >> 16,
// the area's end samples repeated beyond its ends.
struct BoxMean {
  int32_t n;
  uint32_t scale;
  uint8_t mean(uint32_t sum) const { return static_cast<uint8_t>((sum * scale + 32768) >> 16); }
};

// Along rows: over the row padded with n copies of its end pixels on
// either side, a running sum per byte of the pixel (or, for 32-bit rows in
// AVX2, differences of prefix sums: filter_rows_simd.h).
template <int B>
void blur_rows(const PixelView& dst, const PixelView& src, const PointArea& a, const BoxMean& m) {
  const Box& s = a.src;
  const int64_t w = s.width(), n = m.n;
  const FilterRows level = filter_rows();
  const bool wide = B == 4 && level != FilterRows::plain;
  for_rows(static_cast<int32_t>(s.height()), w, [&](int32_t j) {
    const uint8_t* in = src.at(s.left, s.top + j);
    uint8_t* out = dst.at(a.dst.left, a.dst.top + j);
    if (wide) {
      thread_local std::vector<uint64_t> prefix;
      prefix.resize(static_cast<size_t>(w + 2 * n + 1));
      blur_row32(level, out, in, w, m.n, m.scale, prefix.data());
      return;
    }
    thread_local std::vector<uint8_t> padded;
    padded.resize(static_cast<size_t>((w + 2 * n + 1) * B));
    uint8_t* p = padded.data();
    for (int64_t k = 0; k < n; ++k) std::memcpy(p + k * B, in, B);
    std::memcpy(p + n * B, in, static_cast<size_t>(w * B));
    for (int64_t k = 0; k <= n; ++k) std::memcpy(p + (n + w + k) * B, in + (w - 1) * B, B);
    uint32_t sum[B] = {};
    for (int64_t k = 0; k <= 2 * n; ++k)
      for (int b = 0; b < B; ++b) sum[b] += p[k * B + b];
    // Output x takes padded x … x + 2n; then x leaves and x + 2n + 1 enters.
    const uint8_t* leave = p;
    const uint8_t* enter = p + (2 * n + 1) * B;
    for (int64_t x = 0; x < w; ++x, out += B, leave += B, enter += B) {
      for (int b = 0; b < B; ++b) {
        out[b] = m.mean(sum[b]);
        sum[b] += static_cast<uint32_t>(enter[b]) - leave[b];
      }
    }
  });
}

// Along columns: bands of rows, each sliding the sums of every column of
// the area down its rows from sums made afresh at its first row (every sum
// is exact, so any split gives the same pixels). Whole rows keep the reads
// in the order of memory; the sums fit 16 bits (at most 255 samples of 255).
void blur_columns(const PixelView& dst, const PixelView& src, const PointArea& a, const BoxMean& m) {
  const Box& s = a.src;
  const int64_t h = s.height(), row_bytes = s.width() * src.bytes;
  const int32_t bands = static_cast<int32_t>(std::clamp<int64_t>(h / std::max<int64_t>(32, 4 * m.n + 2), 1, 16));
  const FilterRows level = filter_rows();
  for_rows(bands, s.width() * (h / bands), [&](int32_t band) {
    const int64_t first = h * band / bands, end = h * (band + 1) / bands;
    const auto row = [&](int64_t y) { return src.at(s.left, s.top + std::clamp<int64_t>(y, 0, h - 1)); };
    thread_local std::vector<uint16_t> sums;
    sums.assign(static_cast<size_t>(row_bytes), 0);
    uint16_t* sum = sums.data();
    for (int64_t k = first - m.n; k <= first + m.n; ++k) {
      const uint8_t* in = row(k);
      if (level != FilterRows::plain) {
        add_bytes(sum, in, row_bytes);
      } else {
        for (int64_t i = 0; i < row_bytes; ++i) sum[i] = static_cast<uint16_t>(sum[i] + in[i]);
      }
    }
    for (int64_t y = first; y < end; ++y) {
      uint8_t* out = dst.at(a.dst.left, a.dst.top + y);
      const uint8_t* enter = row(y + m.n + 1);
      const uint8_t* leave = row(y - m.n);
      if (level != FilterRows::plain) {
        blur_column_step(level, out, sum, enter, leave, row_bytes, m.scale);
        continue;
      }
      for (int64_t i = 0; i < row_bytes; ++i) {
        out[i] = m.mean(sum[i]);
        sum[i] = static_cast<uint16_t>(sum[i] + enter[i] - leave[i]);
      }
    }
  });
}

}  // namespace

int32_t gradation(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src) return 0;
  if (channel_pair(src->bit_count, dst->bit_count) == ChannelPair::none) return 1;
  const std::optional<PointArea> a = point_area(*dst, x, y, *src, source_rect);
  if (!a) return 0;
  const SourcePixels pixels(*src, *dst, a->src);
  const PixelView dst_view = plane_view(*dst);
  if (!pixels.ok() || !dst_view.base) return 0;
  with_channel_pair(src->bit_count, dst->bit_count, [&]<ChannelPair K, int SB, int DB>() {
    gradation_area<K, SB, DB>(dst_view, pixels.view(), *a);
  });
  return 1;
}

int32_t mosaic(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect, int32_t bw,
               int32_t bh) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src) return 0;
  const int64_t w = std::max<int64_t>(1, std::abs(int64_t{bw})), h = std::max<int64_t>(1, std::abs(int64_t{bh}));
  if (w == 1 && h == 1) return opaque_copy(*dst, x, y, *src, rect_or_plane(source_rect, *src));
  if (channel_pair(src->bit_count, dst->bit_count) == ChannelPair::none) return 1;
  const std::optional<PointArea> a = point_area(*dst, x, y, *src, source_rect);
  if (!a) return 0;
  const SourcePixels pixels(*src, *dst, a->src);
  const PixelView dst_view = plane_view(*dst);
  if (!pixels.ok() || !dst_view.base) return 0;
  with_channel_pair(src->bit_count, dst->bit_count, [&]<ChannelPair K, int SB, int DB>() {
    mosaic_area<K, SB, DB>(dst_view, pixels.view(), *a, w, h);
  });
  return 1;
}

int32_t blur(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect, int32_t amount) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src || dst->bit_count != src->bit_count) return 0;
  if (amount == 0) return opaque_copy(*dst, x, y, *src, rect_or_plane(source_rect, *src));
  if (!blit_format(dst)) return 0;
  if (dst->bit_count == 16) return 1;  // 16-bit planes are left as they are
  const std::optional<PointArea> a = point_area(*dst, x, y, *src, source_rect);
  if (!a) return 0;
  const SourcePixels pixels(*src, *dst, a->src);
  const PixelView dst_view = plane_view(*dst);
  if (!pixels.ok() || !dst_view.base) return 0;
  const int32_t n = static_cast<int32_t>(std::min<int64_t>(std::abs(int64_t{amount}), 127));
  const BoxMean m{n, static_cast<uint32_t>(65536 / (2 * n + 1))};
  if (amount < 0) {
    blur_columns(dst_view, pixels.view(), *a, m);
  } else if (dst->bit_count == 8) {
    blur_rows<1>(dst_view, pixels.view(), *a, m);
  } else if (dst->bit_count == 24) {
    blur_rows<3>(dst_view, pixels.view(), *a, m);
  } else {
    blur_rows<4>(dst_view, pixels.view(), *a, m);
  }
  return 1;
}

}  // namespace zelt::gfx
