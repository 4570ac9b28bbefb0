// Whole-row loops of smooth and blur in AVX2 (and AVX-512 where the
// processor has it), giving exactly the bytes of the per-pixel loops. Only
// their definitions carry those targets, so the program still runs on any
// x86-64: callers check filter_rows() first.
//
// smooth on 32-bit pixels is done in two passes whose integers are exact:
// along x each needed source row becomes a row of 16-bit sums
// H = p(near)·(256 − fx) + p(far)·fx per byte (at most 255·256), then each
// destination row is (H(y0)·(256 − fy) + H(y1)·fy) >> 16, which equals the
// bilinear formula p00 + ((c·fx·fy + a·fx·256 + b·fy·256) >> 16) byte for byte.
// blur's box sums fit 16 bits too (at most 255 samples of 255).
#pragma once

#include <cstdint>
#include <vector>

namespace zelt::gfx {

enum class FilterRows : uint8_t { plain, avx2, avx512 };
// The loops in use: plain unless row_simd_level() is avx2, AVX-512 where
// the processor has AVX-512 F, BW and VBMI.
FilterRows filter_rows();
// Tests: 0 plain, 1 AVX2 at most, 2 the processor's best; −1 back to normal.
void force_filter_rows_for_testing(int level);

// The destination columns of smooth's pass along x: column i reads source
// columns near[i] and far[i] with fraction fx[i]. In groups of columns the
// pixels are picked out of windows of source pixels by byte shuffles: in
// AVX2 four columns, two from each 16-byte window; in AVX-512 eight from
// one 64-byte window. A group whose window would reach outside the readable
// columns, or not hold all of its columns, is done a column at a time.
class SmoothColumns {
 public:
  // Readable source columns: [left, right).
  SmoothColumns(FilterRows level, const std::vector<int32_t>& near, const std::vector<int32_t>& far,
                const std::vector<uint8_t>& fx, int64_t left, int64_t right);
  int32_t count() const { return static_cast<int32_t>(near_.size()); }
  // One source row of 32-bit pixels (row: the pixel of column 0) into count()
  // × 4 sums, each stored minus 32768 (as the signed lanes of the pass along y
  // want them).
  void row(uint16_t* out, const uint8_t* row) const;

 private:
  // Columns per group, windows per group, pixels per window.
  static constexpr int kColumns[] = {0, 4, 8}, kWindows[] = {0, 2, 1}, kWindowPixels[] = {0, 4, 16};
  struct Group {
    int32_t window[2];  // first source column of each window; −1: column at a time
    uint8_t near[64], far[64];  // shuffles filling 16-bit lanes with the pixels' bytes
    uint16_t fx[32];
  };
  void row_avx2(uint16_t* out, const uint8_t* row) const;
  void row_avx512(uint16_t* out, const uint8_t* row) const;
  FilterRows level_;
  std::vector<int32_t> near_, far_;
  std::vector<uint8_t> fx_;
  std::vector<Group> groups_;
};

// The loops below take the level from filter_rows() (not plain), read once
// per call of a filter.

// One destination row of smooth: lanes bytes from two rows of SmoothColumns
// sums and the fraction fy.
void smooth_blend_rows(FilterRows level, uint8_t* out, const uint16_t* h0, const uint16_t* h1, int64_t lanes,
                       int32_t fy);

// Blur of one row of 32-bit pixels, its end pixels repeated n times beyond
// its ends; prefix: room for width + 2n + 1 values.
void blur_row32(FilterRows level, uint8_t* out, const uint8_t* in, int64_t width, int32_t n, uint32_t scale,
                uint64_t* prefix);

// One row of blur down columns over count bytes: out = the rounded means of
// sums, then sums += enter − leave.
void blur_column_step(FilterRows level, uint8_t* out, uint16_t* sums, const uint8_t* enter, const uint8_t* leave,
                      int64_t count, uint32_t scale);
// sums += in over count bytes.
void add_bytes(uint16_t* sums, const uint8_t* in, int64_t count);

}  // namespace zelt::gfx
