#include "gfx/effects/filter_rows_simd.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "gfx/raster/row_blends.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define ZELT_FILTER_ROWS_X86 1
#include <immintrin.h>
#endif

namespace zelt::gfx {

#ifdef ZELT_FILTER_ROWS_X86

#define ZELT_AVX2 __attribute__((target("avx2")))

namespace {

ZELT_AVX2 inline __m256i load256(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
ZELT_AVX2 inline void store256(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
ZELT_AVX2 inline __m256i widen16(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// (s × scale + 32768) >> 16 in 16-bit lanes: the high half of the product,
// plus one when the low half reaches 32768.
ZELT_AVX2 inline __m256i rounded_mean(__m256i s, __m256i scale) {
  return _mm256_add_epi16(_mm256_mulhi_epu16(s, scale), _mm256_srli_epi16(_mm256_mullo_epi16(s, scale), 15));
}
inline uint8_t rounded_mean(uint32_t s, uint32_t scale) { return static_cast<uint8_t>((s * scale + 32768) >> 16); }

// Sixteen 16-bit lanes a, b → thirty-two bytes in order.
ZELT_AVX2 inline __m256i pack_bytes(__m256i a, __m256i b) {
  return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), _MM_SHUFFLE(3, 1, 2, 0));
}

// Sixteen lanes of smooth_blend_rows as signed 16-bit values.
ZELT_AVX2 inline __m256i blend_sums(const uint16_t* a, const uint16_t* b, __m256i weights) {
  const __m256i x = load256(a), y = load256(b);
  const __m256i low = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(x, y), weights), 16);
  const __m256i high = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(x, y), weights), 16);
  return _mm256_packs_epi32(low, high);
}

}  // namespace

namespace {
std::atomic<int> g_forced_rows{-1};
}  // namespace

FilterRows filter_rows() {
  static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi");
  if (row_simd_level() != RowSimd::avx2) return FilterRows::plain;
  const int best = avx512 ? 2 : 1, forced = g_forced_rows.load(std::memory_order_relaxed);
  return static_cast<FilterRows>(forced < 0 ? best : std::min(forced, best));
}

void force_filter_rows_for_testing(int level) { g_forced_rows.store(level, std::memory_order_relaxed); }

SmoothColumns::SmoothColumns(FilterRows level, const std::vector<int32_t>& near, const std::vector<int32_t>& far,
                             const std::vector<uint8_t>& fx, int64_t left, int64_t right)
    : level_(level), near_(near), far_(far), fx_(fx) {
  if (level == FilterRows::plain) return;
  const int l = static_cast<int>(level);
  const size_t columns = static_cast<size_t>(kColumns[l]), per_window = columns / static_cast<size_t>(kWindows[l]);
  const int64_t pixels = kWindowPixels[l];
  groups_.resize(near_.size() / columns);
  for (size_t g = 0; g < groups_.size(); ++g) {
    Group& group = groups_[g];
    std::memset(&group, 0, sizeof group);
    for (int w = 0; w < kWindows[l]; ++w) {
      const size_t a = g * columns + static_cast<size_t>(w) * per_window, z = a + per_window - 1;
      // Columns never go left as i grows, so the window from near[a] holds all
      // of its columns when far[z] lies within it.
      const int64_t start = std::min<int64_t>(near_[a], right - pixels);
      if (start < left || far_[z] - start >= pixels) {
        group.window[0] = group.window[1] = -1;
        break;
      }
      group.window[w] = static_cast<int32_t>(start);
      for (size_t k = 0; k < per_window; ++k) {
        const size_t column = a + k;
        for (size_t c = 0; c < 4; ++c) {
          const size_t lane = 4 * (column - g * columns) + c;  // 16-bit lane of the group
          group.near[2 * lane] = static_cast<uint8_t>(4 * (near_[column] - start) + static_cast<int64_t>(c));
          group.far[2 * lane] = static_cast<uint8_t>(4 * (far_[column] - start) + static_cast<int64_t>(c));
          group.near[2 * lane + 1] = group.far[2 * lane + 1] = 0x80;  // the lane's high byte: zero
          group.fx[lane] = fx_[column];
        }
      }
    }
  }
}

namespace {

// One column of SmoothColumns::row, as the plain loops compute it.
inline void smooth_column(uint16_t* out, const uint8_t* p0, const uint8_t* p1, uint32_t fx) {
  for (int c = 0; c < 4; ++c)
    out[c] = static_cast<uint16_t>((p0[c] * (256 - fx) + p1[c] * fx) ^ 0x8000);
}

}  // namespace

ZELT_AVX2 void SmoothColumns::row_avx2(uint16_t* out, const uint8_t* row) const {
  // H = (p0 << 8) + (p1 − p0)·fx is exact in 16-bit lanes: the true value
  // lies in 0 … 65280, so the wrap-around of the parts cancels.
  const __m256i bias = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
  const Group* group = groups_.data();
  const size_t groups = groups_.size();
  const int32_t* near = near_.data();
  const int32_t* far = far_.data();
  const uint8_t* fx = fx_.data();
  for (size_t g = 0; g < groups; ++g, ++group, out += 16) {
    if (group->window[0] < 0 || group->window[1] < 0) {
      for (size_t i = 4 * g; i < 4 * g + 4; ++i)
        smooth_column(out + 4 * (i - 4 * g), row + near[i] * 4, row + far[i] * 4, fx[i]);
      continue;
    }
    const __m256i window = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + group->window[0] * 4))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + group->window[1] * 4)), 1);
    const __m256i p0 = _mm256_shuffle_epi8(window, load256(group->near));
    const __m256i p1 = _mm256_shuffle_epi8(window, load256(group->far));
    const __m256i h = _mm256_add_epi16(_mm256_slli_epi16(p0, 8),
                                       _mm256_mullo_epi16(_mm256_sub_epi16(p1, p0), load256(group->fx)));
    store256(out, _mm256_xor_si256(h, bias));
  }
  for (size_t i = 4 * groups; i < near_.size(); ++i, out += 4)
    smooth_column(out, row + near[i] * 4, row + far[i] * 4, fx[i]);
}

namespace {

ZELT_AVX2 void smooth_blend_rows_avx2(uint8_t* out, const uint16_t* h0, const uint16_t* h1, int64_t lanes,
                                 int32_t fy) {
  // Each pair (H0 − 32768, H1 − 32768) times (256 − fy, fy) in a signed
  // multiply-add is the sum less 2²³, so the shifted sum is the byte − 128.
  const __m256i weights = _mm256_set1_epi32((fy << 16) | (256 - fy));
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  int64_t i = 0;
  for (; i + 32 <= lanes; i += 32) {
    const __m256i v =
        _mm256_packs_epi16(blend_sums(h0 + i, h1 + i, weights), blend_sums(h0 + i + 16, h1 + i + 16, weights));
    store256(out + i, _mm256_xor_si256(_mm256_permute4x64_epi64(v, _MM_SHUFFLE(3, 1, 2, 0)), flip));
  }
  for (; i < lanes; ++i) {
    const int32_t a = static_cast<int16_t>(h0[i]), b = static_cast<int16_t>(h1[i]);
    out[i] = static_cast<uint8_t>(((a * (256 - fy) + b * fy) >> 16) + 128);
  }
}

ZELT_AVX2 void blur_row32_avx2(uint8_t* out, const uint8_t* in, int64_t width, int32_t n, uint32_t scale,
                          uint64_t* prefix) {
  // prefix[k]: the sum of the first k pixels of the row padded with n copies
  // of its end pixels on either side, each pixel widened to four 16-bit
  // lanes of a 64-bit value. A box of at most 255 pixels sums to below 2¹⁶
  // per lane, so the difference of two prefixes (modulo 2⁶⁴) is exactly the
  // box's four lane sums, however the prefixes themselves carried.
  const auto widen = [](const uint8_t* p) {
    return uint64_t{p[0]} | uint64_t{p[1]} << 16 | uint64_t{p[2]} << 32 | uint64_t{p[3]} << 48;
  };
  const int64_t span = 2 * int64_t{n} + 1;
  const uint64_t first = widen(in), last = widen(in + 4 * (width - 1));
  uint64_t sum = 0;
  prefix[0] = 0;
  for (int64_t k = 1; k <= n; ++k) prefix[k] = sum += first;
  uint64_t* row = prefix + n + 1;  // row[x]: the prefix up to and including pixel x
  __m256i carry = _mm256_set1_epi64x(static_cast<int64_t>(sum));
  const __m256i zero = _mm256_setzero_si256();
  int64_t k = 0;
  for (; k + 4 <= width; k += 4) {
    const __m256i v = widen16(in + 4 * k);
    const __m256i t = _mm256_add_epi64(v, _mm256_slli_si256(v, 8));
    const __m256i inclusive =
        _mm256_add_epi64(t, _mm256_blend_epi32(_mm256_permute4x64_epi64(t, _MM_SHUFFLE(1, 1, 1, 1)), zero, 0x0F));
    store256(row + k, _mm256_add_epi64(carry, inclusive));
    carry = _mm256_add_epi64(carry, _mm256_permute4x64_epi64(inclusive, _MM_SHUFFLE(3, 3, 3, 3)));
  }
  sum = static_cast<uint64_t>(_mm256_extract_epi64(carry, 0));
  for (; k < width; ++k) row[k] = sum += widen(in + 4 * k);
  for (k = 0; k < n; ++k) row[width + k] = sum += last;
  const __m256i factor = _mm256_set1_epi16(static_cast<int16_t>(scale));
  int64_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i s0 = _mm256_sub_epi64(load256(prefix + x + span), load256(prefix + x));
    const __m256i s1 = _mm256_sub_epi64(load256(prefix + x + span + 4), load256(prefix + x + 4));
    store256(out + 4 * x, pack_bytes(rounded_mean(s0, factor), rounded_mean(s1, factor)));
  }
  for (; x < width; ++x) {
    const uint64_t s = prefix[x + span] - prefix[x];
    for (int c = 0; c < 4; ++c) out[4 * x + c] = rounded_mean(static_cast<uint32_t>(s >> (16 * c) & 0xFFFF), scale);
  }
}

ZELT_AVX2 void blur_column_step_avx2(uint8_t* out, uint16_t* sums, const uint8_t* enter, const uint8_t* leave,
                                int64_t count, uint32_t scale) {
  const __m256i factor = _mm256_set1_epi16(static_cast<int16_t>(scale));
  int64_t i = 0;
  for (; i + 32 <= count; i += 32) {
    const __m256i s0 = load256(sums + i), s1 = load256(sums + i + 16);
    store256(out + i, pack_bytes(rounded_mean(s0, factor), rounded_mean(s1, factor)));
    store256(sums + i, _mm256_sub_epi16(_mm256_add_epi16(s0, widen16(enter + i)), widen16(leave + i)));
    store256(sums + i + 16,
             _mm256_sub_epi16(_mm256_add_epi16(s1, widen16(enter + i + 16)), widen16(leave + i + 16)));
  }
  for (; i < count; ++i) {
    out[i] = rounded_mean(sums[i], scale);
    sums[i] = static_cast<uint16_t>(sums[i] + enter[i] - leave[i]);
  }
}

ZELT_AVX2 void add_bytes_avx2(uint16_t* sums, const uint8_t* in, int64_t count) {
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) store256(sums + i, _mm256_add_epi16(load256(sums + i), widen16(in + i)));
  for (; i < count; ++i) sums[i] = static_cast<uint16_t>(sums[i] + in[i]);
}

}  // namespace

// The same loops on 512-bit vectors. (GCC 12 warns about the intrinsics
// headers' own deliberately undefined vectors.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define ZELT_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace {

ZELT_AVX512 inline __m512i load512(const void* p) { return _mm512_loadu_si512(p); }
ZELT_AVX512 inline void store512(void* p, __m512i v) { _mm512_storeu_si512(p, v); }
ZELT_AVX512 inline __m512i widen16x32(const uint8_t* p) {
  return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
ZELT_AVX512 inline __m512i rounded_mean(__m512i s, __m512i scale) {
  return _mm512_add_epi16(_mm512_mulhi_epu16(s, scale), _mm512_srli_epi16(_mm512_mullo_epi16(s, scale), 15));
}
ZELT_AVX512 inline void store_bytes(uint8_t* p, __m512i lanes) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_cvtepi16_epi8(lanes));
}
ZELT_AVX512 inline __m512i blend_sums(const uint16_t* a, const uint16_t* b, __m512i weights) {
  const __m512i x = load512(a), y = load512(b);
  const __m512i low = _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpacklo_epi16(x, y), weights), 16);
  const __m512i high = _mm512_srai_epi32(_mm512_madd_epi16(_mm512_unpackhi_epi16(x, y), weights), 16);
  return _mm512_packs_epi32(low, high);
}

ZELT_AVX512 void smooth_blend_rows_avx512(uint8_t* out, const uint16_t* h0, const uint16_t* h1, int64_t lanes,
                                          int32_t fy) {
  const __m512i weights = _mm512_set1_epi32((fy << 16) | (256 - fy));
  const __m512i flip = _mm512_set1_epi8(static_cast<char>(0x80));
  const __m512i order = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);
  int64_t i = 0;
  for (; i + 64 <= lanes; i += 64) {
    const __m512i v =
        _mm512_packs_epi16(blend_sums(h0 + i, h1 + i, weights), blend_sums(h0 + i + 32, h1 + i + 32, weights));
    store512(out + i, _mm512_xor_si512(_mm512_permutexvar_epi64(order, v), flip));
  }
  if (i < lanes) smooth_blend_rows_avx2(out + i, h0 + i, h1 + i, lanes - i, fy);
}

ZELT_AVX512 void blur_row32_avx512(uint8_t* out, const uint8_t* in, int64_t width, int32_t n, uint32_t scale,
                                   uint64_t* prefix) {
  // As blur_row32_avx2, eight pixels at a time.
  const auto widen = [](const uint8_t* p) {
    return uint64_t{p[0]} | uint64_t{p[1]} << 16 | uint64_t{p[2]} << 32 | uint64_t{p[3]} << 48;
  };
  const int64_t span = 2 * int64_t{n} + 1;
  const uint64_t first = widen(in), last = widen(in + 4 * (width - 1));
  uint64_t sum = 0;
  prefix[0] = 0;
  for (int64_t k = 1; k <= n; ++k) prefix[k] = sum += first;
  uint64_t* row = prefix + n + 1;
  __m512i carry = _mm512_set1_epi64(static_cast<int64_t>(sum));
  const __m512i pairs = _mm512_set_epi64(5, 5, 0, 0, 1, 1, 0, 0), quads = _mm512_set1_epi64(3),
                top = _mm512_set1_epi64(7);
  int64_t k = 0;
  for (; k + 8 <= width; k += 8) {
    const __m512i v = widen16x32(in + 4 * k);
    const __m512i t = _mm512_add_epi64(v, _mm512_bslli_epi128(v, 8));
    const __m512i u = _mm512_add_epi64(t, _mm512_maskz_permutexvar_epi64(0xCC, pairs, t));
    const __m512i inclusive = _mm512_add_epi64(u, _mm512_maskz_permutexvar_epi64(0xF0, quads, u));
    store512(row + k, _mm512_add_epi64(carry, inclusive));
    carry = _mm512_add_epi64(carry, _mm512_permutexvar_epi64(top, inclusive));
  }
  sum = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(carry)));
  for (; k < width; ++k) row[k] = sum += widen(in + 4 * k);
  for (k = 0; k < n; ++k) row[width + k] = sum += last;
  const __m512i factor = _mm512_set1_epi16(static_cast<int16_t>(scale));
  int64_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m512i s = _mm512_sub_epi64(load512(prefix + x + span), load512(prefix + x));
    store_bytes(out + 4 * x, rounded_mean(s, factor));
  }
  for (; x < width; ++x) {
    const uint64_t s = prefix[x + span] - prefix[x];
    for (int c = 0; c < 4; ++c) out[4 * x + c] = rounded_mean(static_cast<uint32_t>(s >> (16 * c) & 0xFFFF), scale);
  }
}

ZELT_AVX512 void blur_column_step_avx512(uint8_t* out, uint16_t* sums, const uint8_t* enter, const uint8_t* leave,
                                         int64_t count, uint32_t scale) {
  const __m512i factor = _mm512_set1_epi16(static_cast<int16_t>(scale));
  int64_t i = 0;
  for (; i + 32 <= count; i += 32) {
    const __m512i s = load512(sums + i);
    store_bytes(out + i, rounded_mean(s, factor));
    store512(sums + i, _mm512_sub_epi16(_mm512_add_epi16(s, widen16x32(enter + i)), widen16x32(leave + i)));
  }
  if (i < count) blur_column_step_avx2(out + i, sums + i, enter + i, leave + i, count - i, scale);
}

}  // namespace

ZELT_AVX512 void SmoothColumns::row_avx512(uint16_t* out, const uint8_t* row) const {
  const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(0x8000));
  constexpr __mmask64 kLowBytes = 0x5555555555555555ull;
  const Group* group = groups_.data();
  const size_t groups = groups_.size();
  const int32_t* near = near_.data();
  const int32_t* far = far_.data();
  const uint8_t* fx = fx_.data();
  for (size_t g = 0; g < groups; ++g, ++group, out += 32) {
    if (group->window[0] < 0) {
      for (size_t i = 8 * g; i < 8 * g + 8; ++i)
        smooth_column(out + 4 * (i - 8 * g), row + near[i] * 4, row + far[i] * 4, fx[i]);
      continue;
    }
    const __m512i window = load512(row + group->window[0] * 4);
    const __m512i p0 = _mm512_maskz_permutexvar_epi8(kLowBytes, load512(group->near), window);
    const __m512i p1 = _mm512_maskz_permutexvar_epi8(kLowBytes, load512(group->far), window);
    const __m512i h = _mm512_add_epi16(_mm512_slli_epi16(p0, 8),
                                       _mm512_mullo_epi16(_mm512_sub_epi16(p1, p0), load512(group->fx)));
    store512(out, _mm512_xor_si512(h, bias));
  }
  for (size_t i = 8 * groups; i < near_.size(); ++i, out += 4)
    smooth_column(out, row + near[i] * 4, row + far[i] * 4, fx[i]);
}

#pragma GCC diagnostic pop

void SmoothColumns::row(uint16_t* out, const uint8_t* row) const {
  if (level_ == FilterRows::avx512) return row_avx512(out, row);
  row_avx2(out, row);
}

void smooth_blend_rows(FilterRows level, uint8_t* out, const uint16_t* h0, const uint16_t* h1, int64_t lanes,
                       int32_t fy) {
  if (level == FilterRows::avx512) return smooth_blend_rows_avx512(out, h0, h1, lanes, fy);
  smooth_blend_rows_avx2(out, h0, h1, lanes, fy);
}

void blur_row32(FilterRows level, uint8_t* out, const uint8_t* in, int64_t width, int32_t n, uint32_t scale,
                uint64_t* prefix) {
  if (level == FilterRows::avx512) return blur_row32_avx512(out, in, width, n, scale, prefix);
  blur_row32_avx2(out, in, width, n, scale, prefix);
}

void blur_column_step(FilterRows level, uint8_t* out, uint16_t* sums, const uint8_t* enter, const uint8_t* leave,
                      int64_t count, uint32_t scale) {
  if (level == FilterRows::avx512) return blur_column_step_avx512(out, sums, enter, leave, count, scale);
  blur_column_step_avx2(out, sums, enter, leave, count, scale);
}

void add_bytes(uint16_t* sums, const uint8_t* in, int64_t count) { add_bytes_avx2(sums, in, count); }

#else  // not x86: the plain loops run everywhere

FilterRows filter_rows() { return FilterRows::plain; }
void force_filter_rows_for_testing(int) {}
SmoothColumns::SmoothColumns(FilterRows, const std::vector<int32_t>&, const std::vector<int32_t>&,
                             const std::vector<uint8_t>&, int64_t, int64_t) {}
void SmoothColumns::row(uint16_t*, const uint8_t*) const { std::abort(); }
void smooth_blend_rows(FilterRows, uint8_t*, const uint16_t*, const uint16_t*, int64_t, int32_t) { std::abort(); }
void blur_row32(FilterRows, uint8_t*, const uint8_t*, int64_t, int32_t, uint32_t, uint64_t*) { std::abort(); }
void blur_column_step(FilterRows, uint8_t*, uint16_t*, const uint8_t*, const uint8_t*, int64_t, uint32_t) {
  std::abort();
}
void add_bytes(uint16_t*, const uint8_t*, int64_t) { std::abort(); }

#endif

}  // namespace zelt::gfx
