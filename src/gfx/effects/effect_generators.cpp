// The mesh generators: rotation and zoom, a ground plane, a sphere, a
// whirl, a raster wave and a water surface with its blobs. Each fills every
// point (row i, column j) and draws, except ef_blob, which only disturbs the
// water.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/sine_table.h"
#include "gfx/effects/effect_mesh.h"
#include "gfx/effects/effects.h"
#include "gfx/effects/filter_random.h"

namespace zelt::gfx {
namespace {

// Fills every point with f(i, j, X, Y) → source pixel position, then draws.
template <class F>
int32_t fill_and_draw(uint32_t slot, F&& position) {
  const EffectMesh* m = effect_mesh(slot);
  if (!m) return 0;
  for (int32_t i = 0; i <= m->rows; ++i) {
    for (int32_t j = 0; j <= m->cols; ++j) {
      int64_t x = 0, y = 0;
      position(*m, int64_t{i}, int64_t{j}, x, y);
      mesh_put(*m, i, j, mesh_coordinate(x, m->src_w()), mesh_coordinate(y, m->src_h()));
    }
  }
  return mesh_draw(*m);
}

// A floating-point value truncated to an integer, kept inside 64 bits.
int64_t truncated(double v) {
  if (!(v == v)) return 0;
  return static_cast<int64_t>(std::clamp(v, -9.0e18, 9.0e18));
}

bool make_heights(EffectMesh& m) {
  if (!m.heights[0].empty()) return true;
  const size_t size = static_cast<size_t>(m.rows + 3) * static_cast<size_t>(m.cols + 3);
  m.heights[0].assign(size, 0);
  m.heights[1].assign(size, 0);
  m.first = 0;
  return true;
}

}  // namespace

int32_t ef_rotate(uint32_t slot, int32_t cx, int32_t cy, int32_t zoom, int32_t angle) {
  const int64_t c = table_cos(angle), s = table_sin(angle);
  return fill_and_draw(slot, [&](const EffectMesh& m, int64_t i, int64_t j, int64_t& x_out, int64_t& y_out) {
    const int64_t x = j * m.src_w() / m.cols, y = i * m.src_h() / m.rows;
    const int64_t rx = ((x - cx) * c - (y - cy) * s) >> 16, ry = ((y - cy) * c + (x - cx) * s) >> 16;
    x_out = cx + static_cast<int64_t>((static_cast<Int128>(zoom) * rx) >> 16);
    y_out = cy + static_cast<int64_t>((static_cast<Int128>(zoom) * ry) >> 16);
  });
}

int32_t ef_land(uint32_t slot, int32_t height, int32_t angle1, int32_t angle2) {
  const int64_t cb = table_cos(angle1), sb = table_sin(angle1), cc = table_cos(angle2), sc = table_sin(angle2);
  return fill_and_draw(slot, [&](const EffectMesh& m, int64_t i, int64_t j, int64_t& x_out, int64_t& y_out) {
    const int64_t l = 8 * j - 8 * (m.cols / 2), mm = 8 * i - 8 * (m.rows / 2);
    const int64_t q = (cb * l + sb * 300) >> 16;
    int64_t o = (cc * mm - sc * q) >> 16;
    const int64_t s = (sc * mm + cc * q) >> 16;
    const int64_t t = (cb * 300 - sb * l) >> 16;
    o = o < 0 ? -o : o;
    if (o == 0) o = 1;
    x_out = height * s / o / 40;
    y_out = height * t / o / 40;
  });
}

int32_t ef_ball(uint32_t slot, int32_t radius, int32_t angle1, int32_t angle2) {
  const int64_t cb = table_cos(angle1), sb = table_sin(angle1), cc = table_cos(angle2), sc = table_sin(angle2);
  return fill_and_draw(slot, [&](const EffectMesh& m, int64_t i, int64_t j, int64_t& x_out, int64_t& y_out) {
    const int64_t y8 = 8 * i - 8 * (m.rows / 2), x8 = 8 * (j - m.cols / 2);
    const int64_t p = (300 * cb - y8 * sb) >> 16;
    const int64_t z = (300 * sb + y8 * cb) >> 16;
    const int64_t vy = (cc * p - sc * x8) >> 16;
    const int64_t vx = (sc * p + cc * x8) >> 16;
    const double length = std::sqrt(static_cast<double>(z * z + vy * vy + vx * vx));
    if (length == 0) {
      x_out = y_out = 0;
      return;
    }
    x_out = truncated(radius * static_cast<double>(vx) / length);
    y_out = truncated(radius * static_cast<double>(vy) / length);
  });
}

int32_t ef_whirl(uint32_t slot, int32_t strength) {
  constexpr double kPi = std::numbers::pi;
  return fill_and_draw(slot, [&](const EffectMesh& m, int64_t i, int64_t j, int64_t& x_out, int64_t& y_out) {
    const int64_t e = i - m.rows / 2, k = j - m.cols / 2;
    double theta;
    if (k == 0)
      theta = e < 1 ? 3 * kPi / 2 : kPi / 2;
    else
      theta = std::atan(static_cast<double>(e) / static_cast<double>(k)) + (k < 0 ? kPi : 0);
    const double d = std::sqrt(static_cast<double>(e * e + k * k));
    const double r = strength / (d + 1) + theta;
    x_out = truncated(std::cos(r) * d * (static_cast<double>(m.src_w()) / m.cols)) + m.src_w() / 2;
    y_out = truncated(std::sin(r) * d * (static_cast<double>(m.src_h()) / m.rows)) + m.src_h() / 2;
  });
}

int32_t ef_raster(uint32_t slot, int32_t phase, int32_t wavelength, int32_t amplitude) {
  // p × 0x80000 / b in 64 bits: the 32-bit product would overflow once the
  // phase reaches 4096.
  int64_t p = phase & 0xFFFFFF;
  int32_t row_step = 0;
  if (wavelength != 0) {
    p = p * 0x80000 / wavelength;
    row_step = static_cast<int32_t>(static_cast<uint32_t>(0x80000 / wavelength) * 8u);
  }
  int64_t row_p = p;
  int64_t row_i = -1;
  int64_t shift = 0;
  return fill_and_draw(slot, [&](const EffectMesh& m, int64_t i, int64_t j, int64_t& x_out, int64_t& y_out) {
    if (i != row_i) {  // a new mesh row: its wave offset, then the phase moves on
      if (row_i >= 0) row_p += row_step;
      row_i = i;
      shift = (int64_t{amplitude} * table_sin(static_cast<int32_t>(row_p >> 8 & 0x7FF))) >> 16;
    }
    x_out = shift + j * m.src_w() / m.cols;
    y_out = i * m.src_h() / m.rows;
  });
}

int32_t ef_blob(uint32_t slot, int32_t x, int32_t y, int32_t radius, int32_t height) {
  EffectMesh* m = effect_mesh(slot);
  if (!m || !make_heights(*m)) return 0;
  const int64_t r = (int64_t{radius} + 7) >> 3;
  // A random position keeps the whole blob inside the mesh; it needs more
  // than 2r cells across.
  int64_t cx, cy;
  if (x < 0) {
    if (m->cols <= 2 * r) return 1;
    cx = filter_random() % (m->cols - 2 * r) + r + 1;
  } else {
    cx = (int64_t{x} + 7) >> 3;
  }
  if (y < 0) {
    if (m->rows <= 2 * r) return 1;
    cy = filter_random() % (m->rows - 2 * r) + r + 1;
  } else {
    cy = (int64_t{y} + 7) >> 3;
  }
  // Cells (cy + 1 + di, cx + 1 + dj) within rows 1 … rows + 1 and columns
  // 1 … cols + 1 of the map, di and dj from −r up to r.
  const int64_t stride = m->cols + 3;
  std::vector<int16_t>& map = m->heights[m->first];
  const int64_t di_end = std::min(r, m->rows - cy + 1), dj_end = std::min(r, m->cols - cx + 1);
  for (int64_t di = std::max(-r, -cy); di < di_end; ++di) {
    for (int64_t dj = std::max(-r, -cx); dj < dj_end; ++dj) {
      const double d = std::sqrt(static_cast<double>(di * di + dj * dj));
      if (d > static_cast<double>(r)) continue;
      const int64_t level = truncated((static_cast<double>(r) - d) * height / static_cast<double>(r));
      map[static_cast<size_t>((cy + 1 + di) * stride + cx + 1 + dj)] = static_cast<int16_t>(level);
    }
  }
  return 1;
}

int32_t ef_water(uint32_t slot) {
  EffectMesh* m = effect_mesh(slot);
  if (!m || !make_heights(*m)) return 0;
  const int64_t stride = m->cols + 3;
  std::vector<int16_t>& now = m->heights[m->first];
  const std::vector<int16_t>& before = m->heights[1 - m->first];
  for (int64_t i = 0; i <= m->rows; ++i) {
    for (int64_t j = 0; j <= m->cols; ++j) {
      const size_t c = static_cast<size_t>((i + 1) * stride + j + 1), s = static_cast<size_t>(stride);
      int32_t n = (before[c - s - 1] + before[c - s] + before[c - s + 1] + before[c - 1] + before[c + 1] +
                   before[c + s - 1] + before[c + s] + before[c + s + 1]) >>
                  2;
      n -= now[c];
      now[c] = static_cast<int16_t>(n - (n >> 3));
    }
  }
  m->first = 1 - m->first;
  // The mesh from the map just computed, which is now the second one.
  const std::vector<int16_t>& h = now;
  return fill_and_draw(slot, [&](const EffectMesh& mesh, int64_t i, int64_t j, int64_t& x_out, int64_t& y_out) {
    const auto at = [&](int64_t r, int64_t c) { return int64_t{h[static_cast<size_t>((r + 1) * stride + c + 1)]}; };
    x_out = j * mesh.src_w() / mesh.cols + at(i, j) - at(i, j + 1);
    y_out = i * mesh.src_h() / mesh.rows + at(i, j) - at(i + 1, j);
  });
}

}  // namespace zelt::gfx
