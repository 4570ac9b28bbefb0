// Single-precision vectors and 3 x 3 matrices of the 3D renderer. A matrix is
// nine floats m0 ... m8 in rows (m0-m2, m3-m5, m6-m8); a vector is a row that
// multiplies it from the left: v' = (m0 x + m3 y + m6 z, m1 x + m4 y + m7 z,
// m2 x + m5 y + m8 z).
#pragma once

#include <cmath>
#include <cstdint>

namespace zelt::gfx {

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline bool finite(Vec3 a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

struct Mat3 {
  float m[9] = {};
};

inline Vec3 transform(Vec3 v, const Mat3& a) {
  const float* m = a.m;
  return {m[0] * v.x + m[3] * v.y + m[6] * v.z, m[1] * v.x + m[4] * v.y + m[7] * v.z,
          m[2] * v.x + m[5] * v.y + m[8] * v.z};
}

// The row-by-column product a · b: transforming by it is transforming by a,
// then by b.
inline Mat3 multiply(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col)
      r.m[row * 3 + col] = a.m[row * 3] * b.m[col] + a.m[row * 3 + 1] * b.m[3 + col] + a.m[row * 3 + 2] * b.m[6 + col];
  return r;
}

// The sines and cosines of the three angles: a = y, b = x, c = z.
struct AngleTrig {
  float sa, ca, sb, cb, sc, cc;
};
inline AngleTrig angle_trig(Vec3 angles) {
  auto s = [](float v) { return static_cast<float>(std::sin(double{v})); };
  auto c = [](float v) { return static_cast<float>(std::cos(double{v})); };
  return {s(angles.y), c(angles.y), s(angles.x), c(angles.x), s(angles.z), c(angles.z)};
}

// The camera's matrix for its angles.
inline Mat3 camera_matrix(Vec3 angles) {
  const auto [sa, ca, sb, cb, sc, cc] = angle_trig(angles);
  return {{sb * sa * sc + ca * cc, sb * sa * cc - sc * ca, sa * cb, sc * cb, cb * cc, -sb, sb * sc * ca - sa * cc,
           sa * sc + sb * ca * cc, ca * cb}};
}

// An object's rotation: the transpose of the camera's matrix for equal angles.
inline Mat3 object_rotation(Vec3 angles) {
  const auto [sa, ca, sb, cb, sc, cc] = angle_trig(angles);
  return {{sb * sa * sc + ca * cc, sc * cb, sb * sc * ca - sa * cc, sb * sa * cc - sc * ca, cb * cc,
           sa * sc + sb * ca * cc, sa * cb, -sb, ca * cb}};
}

// A float converted to an integer with the fraction dropped, saturating at
// the limits of int32 (NaN gives 0): file and scene values may be anything.
inline int32_t saturate_trunc(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace zelt::gfx
