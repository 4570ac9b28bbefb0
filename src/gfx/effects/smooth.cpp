// smooth: bilinear scaling of a source rectangle onto a destination
// rectangle, 32.32 steps per axis, rows spread over worker threads.
//
// Clipping keeps every visible pixel's sample where it would be without
// clipping: a destination pixel is drawn when it lies inside the clip
// rectangle and its sample's whole part lies inside the source plane; the
// neighbours right of and below the sample fall back to its own column or
// row at the edge of the source rectangle (cut to the plane).
#include <algorithm>
#include <cstring>
#include <vector>

#include "gfx/effects/filter_area.h"
#include "gfx/effects/filter_channels.h"
#include "gfx/effects/filter_rows_simd.h"
#include "gfx/effects/filters.h"
#include "gfx/raster/bilinear.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {
namespace {

Int128 floor_div(Int128 n, Int128 d) { return n / d - ((n % d != 0) && (n < 0)); }  // d > 0
Int128 ceil_div(Int128 n, Int128 d) { return -floor_div(-n, d); }

// One axis after clipping: count destination pixels from `first`, pixel i
// sampling source coordinates near[i] and far[i] (its neighbour) with
// fraction[i] (8 bits).
struct SmoothAxis {
  int64_t first = 0;
  int32_t count = 0;
  bool whole = true;  // every fraction 0 and far = near + 1 or the edge: a 1:1 axis
  std::vector<int32_t> near, far;
  std::vector<uint8_t> fraction;
};

// Destination [d0, d1) inside the clip [c0, c1), source [s0, s1) of a plane
// of `size` pixels. False when nothing is left.
bool smooth_axis(int64_t d0, int64_t d1, int64_t s0, int64_t s1, int64_t c0, int64_t c1, int64_t size,
                 SmoothAxis& out) {
  const int64_t d = d1 - d0, s = s1 - s0;
  Int128 step, start;
  if (s < d) {
    step = (Int128{s} << 32) / (d + 1);
    start = step;
  } else if (s > d) {
    step = (Int128{s} << 32) / d;
    start = step / 2 - 0x7FFFFFFF;
  } else {
    step = Int128{1} << 32;
    start = 0;
  }
  // Sample whole parts (relative to s0) that lie inside the plane.
  const int64_t lo = std::max<int64_t>(s0, 0) - s0, hi = std::min(s1, size) - s0;
  if (lo >= hi) return false;
  int64_t first = std::max<int64_t>(0, c0 - d0), end = std::min(d, c1 - d0);
  if (step == 0) {
    if ((start >> 32) < lo || (start >> 32) >= hi) return false;
  } else {
    first = static_cast<int64_t>(std::max<Int128>(first, ceil_div((Int128{lo} << 32) - start, step)));
    end = static_cast<int64_t>(std::min<Int128>(end, ceil_div((Int128{hi} << 32) - start, step)));
  }
  if (first >= end) return false;
  out.first = d0 + first;
  out.count = static_cast<int32_t>(end - first);
  out.near.resize(static_cast<size_t>(out.count));
  out.far.resize(static_cast<size_t>(out.count));
  out.fraction.resize(static_cast<size_t>(out.count));
  const int64_t last = s0 + hi - 1;
  for (int32_t i = 0; i < out.count; ++i) {
    const Int128 p = start + (first + i) * step;
    const int64_t x = s0 + static_cast<int64_t>(p >> 32);
    out.near[static_cast<size_t>(i)] = static_cast<int32_t>(x);
    out.far[static_cast<size_t>(i)] = static_cast<int32_t>(x < last ? x + 1 : x);
    out.fraction[static_cast<size_t>(i)] = static_cast<uint8_t>(p >> 24 & 255);
    if (out.fraction[static_cast<size_t>(i)] != 0 || (i > 0 && x != out.near[static_cast<size_t>(i) - 1] + 1))
      out.whole = false;
  }
  return true;
}

inline uint32_t load24(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16); }

template <ChannelPair K, int SB, int DB, bool Key>
void smooth_rows(const PixelView& dst, const PixelView& src, const SmoothAxis& ax, const SmoothAxis& ay,
                 uint32_t key) {
  using C = Channels<K>;
  [[maybe_unused]] const bool simd = simd_enabled();
  for_rows(ay.count, ax.count, [&](int32_t j) {
    const size_t jj = static_cast<size_t>(j);
    const uint8_t* row0 = src.row(ay.near[jj]);
    const uint8_t* row1 = src.row(ay.far[jj]);
    const int32_t fy = ay.fraction[jj];
    uint8_t* out = dst.at(ax.first, ay.first + j);
    if constexpr (K == ChannelPair::all4 && !Key) {
      if (ax.whole && ay.whole) {
        std::memcpy(out, row0 + ax.near[0] * SB, static_cast<size_t>(ax.count) * DB);
        return;
      }
    }
    for (int32_t i = 0; i < ax.count; ++i, out += DB) {
      const size_t ii = static_cast<size_t>(i);
      const int32_t fx = ax.fraction[ii];
      const uint8_t* p[4] = {row0 + ax.near[ii] * SB, row0 + ax.far[ii] * SB, row1 + ax.near[ii] * SB,
                             row1 + ax.far[ii] * SB};
      bool from_dst[4] = {false, false, false, false};
      if constexpr (Key) {
        for (int n = 0; n < 4; ++n) from_dst[n] = pixel_is_key<SB>(p[n], key);
      }
#if defined(__SSE2__)
      if constexpr (K == ChannelPair::all4 || K == ChannelPair::colour3) {
        if (simd) {
          uint32_t v[4];
          for (int n = 0; n < 4; ++n) {
            const uint8_t* q = from_dst[n] ? out : p[n];
            const int bytes = from_dst[n] ? DB : SB;
            v[n] = K == ChannelPair::all4 ? load32(q) : (bytes == 4 ? load32(q) & 0xFFFFFF : load24(q));
          }
          const uint32_t r = interpolate32_sse2(v[0], v[1], v[2], v[3], fx, fy);
          if constexpr (K == ChannelPair::all4) {
            store32(out, r);
          } else {
            out[0] = static_cast<uint8_t>(r);
            out[1] = static_cast<uint8_t>(r >> 8);
            out[2] = static_cast<uint8_t>(r >> 16);
          }
          continue;
        }
      }
#endif
      int32_t c[4][4];
      for (int n = 0; n < 4; ++n) C::read(from_dst[n] ? out : p[n], c[n]);
      const Weights w{fx << 8, fy << 8, fx * fy};
      int32_t r[4];
      for (int k = 0; k < C::count; ++k) r[k] = interpolate(c[0][k], c[1][k], c[2][k], c[3][k], w);
      C::write(out, r);
    }
  });
}

// 32-bit pixels without a key, in the two exact passes of
// filter_rows_simd.h: rows in bands of kSmoothBand, each band keeping the sums
// along x of the last two source rows it read (a source row feeds every
// destination row between it and the next when scaling up).
constexpr int32_t kSmoothBand = 32;

void smooth_rows_32(const PixelView& dst, const PixelView& src, const SmoothAxis& ax, const SmoothAxis& ay,
                    const Box& read) {
  const FilterRows level = filter_rows();
  const SmoothColumns columns(level, ax.near, ax.far, ax.fraction, read.left, read.right);
  const size_t lanes = static_cast<size_t>(ax.count) * 4;
  const int32_t bands = (ay.count + kSmoothBand - 1) / kSmoothBand;
  for_rows(bands, int64_t{kSmoothBand} * ax.count, [&](int32_t band) {
    thread_local std::vector<uint16_t> buffer;
    buffer.resize(2 * lanes);
    int64_t held[2] = {-1, -1};
    // The sums of source row y, computed unless held; the row `keep` stays.
    const auto sums = [&](int64_t y, int64_t keep) {
      for (int k = 0; k < 2; ++k)
        if (held[k] == y) return buffer.data() + k * lanes;
      const int k = held[0] == keep ? 1 : 0;
      columns.row(buffer.data() + k * lanes, src.row(y));
      held[k] = y;
      return buffer.data() + k * lanes;
    };
    const int32_t end = std::min(ay.count, (band + 1) * kSmoothBand);
    for (int32_t j = band * kSmoothBand; j < end; ++j) {
      const size_t jj = static_cast<size_t>(j);
      const int32_t fy = ay.fraction[jj];
      const int64_t y0 = ay.near[jj], y1 = fy != 0 ? ay.far[jj] : y0;  // weight 0: the far row is not read
      const uint16_t* h0 = sums(y0, y1);
      const uint16_t* h1 = sums(y1, y0);
      smooth_blend_rows(level, dst.at(ax.first, ay.first + j), h0, h1, static_cast<int64_t>(lanes), fy);
    }
  });
}

}  // namespace

int32_t smooth(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
               int32_t key) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src) return 0;
  if (channel_pair(src->bit_count, dst->bit_count) == ChannelPair::none) return 1;
  const Box d = rect_or_plane(destination_rect, *dst), s = rect_or_plane(source_rect, *src);
  if (d.empty() || s.empty()) return 0;
  const Box clip = clip_of(*dst);
  SmoothAxis ax, ay;
  if (!smooth_axis(d.left, d.right, s.left, s.right, clip.left, clip.right, src->width, ax) ||
      !smooth_axis(d.top, d.bottom, s.top, s.bottom, clip.top, clip.bottom, src->height, ay))
    return 0;
  const Box read = intersect(s, bounds_of(*src));
  const SourcePixels pixels(*src, *dst, read);
  const PixelView dst_view = plane_view(*dst);
  if (!pixels.ok() || !dst_view.base) return 0;
  const std::optional<uint32_t> k = filter_key(key, *src);
  with_channel_pair(src->bit_count, dst->bit_count, [&]<ChannelPair K, int SB, int DB>() {
    if constexpr (K == ChannelPair::all4) {
      if (!k && !(ax.whole && ay.whole) && filter_rows() != FilterRows::plain)
        return smooth_rows_32(dst_view, pixels.view(), ax, ay, read);
    }
    if (k)
      smooth_rows<K, SB, DB, true>(dst_view, pixels.view(), ax, ay, *k);
    else
      smooth_rows<K, SB, DB, false>(dst_view, pixels.view(), ax, ay, 0);
  });
  return 1;
}

}  // namespace zelt::gfx
