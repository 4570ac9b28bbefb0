// Built-in adapters of the math, random, interpolation, key-frame and
// rectangle families, and the start-up operations of the tables and the
// generator.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "builtins/builtins_subsystems.h"
#include "builtins/handlers.h"
#include "builtins/math.h"
#include "script/host/host.h"

namespace zelt {

// The tables are static and filled on first use: building them here only
// moves that cost to start-up, and there is nothing to free.
const Subsystem kMathSubsystem{
    .name = "math",
    .start = [] { return sine_table() != nullptr; },
    .runtime_start = [] { random_seed(host_tick()); },
};

// ---- integers and table trigonometry ----

uint32_t bi_abs(const BuiltinArgs& a) {
  const uint32_t n = a.u32(0);
  return a.i32(0) > 0 ? n : 0u - n;  // wraps for INT32_MIN as the machine does
}
uint32_t bi_sgn(const BuiltinArgs& a) { return int_result((a.i32(0) > 0) - (a.i32(0) < 0)); }
uint32_t bi_tsin(const BuiltinArgs& a) { return int_result(table_sin(a.i32(0))); }
uint32_t bi_tcos(const BuiltinArgs& a) { return int_result(table_cos(a.i32(0))); }
uint32_t bi_tatan(const BuiltinArgs& a) { return int_result(table_atan(a.i32(0), a.i32(1))); }

// ---- floating point: computed in double, rounded to single precision ----

namespace {
template <double (*F)(double)>
uint32_t float_fn(const BuiltinArgs& a) {
  return float_result(static_cast<float>(F(a.f32(0))));
}
double d_fabs(double x) { return std::fabs(x); }
double d_sqrt(double x) { return std::sqrt(x); }
double d_log(double x) { return std::log(x); }
double d_exp(double x) { return std::exp(x); }
double d_floor(double x) { return std::floor(x); }
double d_ceil(double x) { return std::ceil(x); }
double d_sin(double x) { return std::sin(x); }
double d_cos(double x) { return std::cos(x); }
double d_tan(double x) { return std::tan(x); }
double d_asin(double x) { return std::asin(x); }
double d_acos(double x) { return std::acos(x); }
double d_atan(double x) { return std::atan(x); }
}  // namespace

uint32_t bi_fabs(const BuiltinArgs& a) { return float_fn<d_fabs>(a); }
uint32_t bi_sqrt(const BuiltinArgs& a) { return float_fn<d_sqrt>(a); }
uint32_t bi_log(const BuiltinArgs& a) { return float_fn<d_log>(a); }
uint32_t bi_exp(const BuiltinArgs& a) { return float_fn<d_exp>(a); }
uint32_t bi_floor(const BuiltinArgs& a) { return float_fn<d_floor>(a); }
uint32_t bi_ceil(const BuiltinArgs& a) { return float_fn<d_ceil>(a); }
uint32_t bi_sin(const BuiltinArgs& a) { return float_fn<d_sin>(a); }
uint32_t bi_cos(const BuiltinArgs& a) { return float_fn<d_cos>(a); }
uint32_t bi_tan(const BuiltinArgs& a) { return float_fn<d_tan>(a); }
uint32_t bi_asin(const BuiltinArgs& a) { return float_fn<d_asin>(a); }
uint32_t bi_acos(const BuiltinArgs& a) { return float_fn<d_acos>(a); }
uint32_t bi_atan(const BuiltinArgs& a) { return float_fn<d_atan>(a); }
uint32_t bi_pow(const BuiltinArgs& a) {
  return float_result(static_cast<float>(std::pow(double{a.f32(0)}, double{a.f32(1)})));
}

// ---- random numbers ----

uint32_t bi_srand(const BuiltinArgs& a) {
  random_seed(a.u32(0) != 0 ? a.u32(0) : host_tick());
  return 1;
}
uint32_t bi_rand(const BuiltinArgs&) { return random_next() & 0x7FFFFFFFu; }
uint32_t bi_random(const BuiltinArgs&) {
  return float_result(static_cast<float>((random_next() & 0x7FFFFFFFu) * 0x1p-31));
}

// ---- interpolation and key frames ----

uint32_t bi_linear(const BuiltinArgs& a) { return float_result(interp_linear(a.f32(0), a.f32(1), a.f32(2))); }
uint32_t bi_bezier(const BuiltinArgs& a) {
  return float_result(interp_bezier(a.f32(0), a.f32(1), a.f32(2), a.f32(3)));
}
uint32_t bi_neville(const BuiltinArgs& a) {
  return float_result(interp_neville(a.f32(0), a.f32(1), a.f32(2), a.f32(3)));
}

namespace {
// A copy of the track at cell 0 with the count in cell 1; empty when the
// count is below 1 or the records are not all in usable script memory.
std::vector<KeyFrame> read_track(const BuiltinArgs& a, std::span<uint8_t>& bytes) {
  const int32_t count = a.i32(1);
  if (count < 1 || count > INT32_MAX / 16) return {};
  bytes = a.span(0, static_cast<uint32_t>(count) * 16);
  if (bytes.data() == nullptr) return {};
  std::vector<KeyFrame> track(static_cast<size_t>(count));
  std::memcpy(track.data(), bytes.data(), bytes.size());
  return track;
}
}  // namespace

uint32_t bi_kf_setkey(const BuiltinArgs& a) {
  const std::span<uint8_t> key = a.span(0, 8);
  if (key.data() == nullptr) return 0;
  const float tv[2] = {a.f32(1), a.f32(2)};
  std::memcpy(key.data(), tv, 8);
  return 1;
}
uint32_t bi_kf_calc(const BuiltinArgs& a) {
  std::span<uint8_t> bytes;
  std::vector<KeyFrame> track = read_track(a, bytes);
  if (track.empty()) return 0;
  keyframes_calc(track);
  std::memcpy(bytes.data(), track.data(), bytes.size());
  return 1;
}
uint32_t bi_kf_getindex(const BuiltinArgs& a) {
  std::span<uint8_t> bytes;
  const std::vector<KeyFrame> track = read_track(a, bytes);
  return int_result(keyframes_index(track, a.f32(2)));
}
uint32_t bi_kf_getkey(const BuiltinArgs& a) {
  std::span<uint8_t> bytes;
  const std::vector<KeyFrame> track = read_track(a, bytes);
  return float_result(keyframes_value(track, a.f32(2), a.i32(3)));
}

// ---- rectangles: left, top, right, bottom; right and bottom exclusive ----

namespace {
struct Rect {
  int32_t left, top, right, bottom;
  bool empty() const { return right <= left || bottom <= top; }
};
bool read_rect(const BuiltinArgs& a, uint32_t k, Rect& r) {
  const std::span<uint8_t> s = a.span(k, 16);
  if (s.data() == nullptr) return false;
  std::memcpy(&r, s.data(), 16);
  return true;
}
bool write_rect(const BuiltinArgs& a, uint32_t k, const Rect& r) {
  const std::span<uint8_t> s = a.span(k, 16);
  if (s.data() == nullptr) return false;
  std::memcpy(s.data(), &r, 16);
  return true;
}
// Two's-complement sum, as the machine's rectangle arithmetic wraps.
int32_t add(int32_t x, int32_t y) { return static_cast<int32_t>(static_cast<uint32_t>(x) + static_cast<uint32_t>(y)); }
int32_t sub(int32_t x, int32_t y) { return static_cast<int32_t>(static_cast<uint32_t>(x) - static_cast<uint32_t>(y)); }
}  // namespace

uint32_t bi_rc_empty(const BuiltinArgs& a) { return write_rect(a, 0, Rect{0, 0, 0, 0}); }
uint32_t bi_rc_set(const BuiltinArgs& a) { return write_rect(a, 0, Rect{a.i32(1), a.i32(2), a.i32(3), a.i32(4)}); }
uint32_t bi_rc_setwh(const BuiltinArgs& a) {
  return write_rect(a, 0, Rect{a.i32(1), a.i32(2), add(a.i32(1), a.i32(3)), add(a.i32(2), a.i32(4))});
}
uint32_t bi_rc_copy(const BuiltinArgs& a) {
  Rect r;
  return read_rect(a, 1, r) && a.span(0, 16).data() != nullptr && write_rect(a, 0, r);
}
uint32_t bi_rc_move(const BuiltinArgs& a) {
  Rect r;
  if (!read_rect(a, 0, r)) return 0;
  const int32_t dx = a.i32(1), dy = a.i32(2);
  return write_rect(a, 0, Rect{add(r.left, dx), add(r.top, dy), add(r.right, dx), add(r.bottom, dy)});
}
uint32_t bi_rc_inflate(const BuiltinArgs& a) {
  Rect r;
  if (!read_rect(a, 0, r)) return 0;
  const int32_t dx = a.i32(1), dy = a.i32(2);
  return write_rect(a, 0, Rect{sub(r.left, dx), sub(r.top, dy), add(r.right, dx), add(r.bottom, dy)});
}
uint32_t bi_rc_intersect(const BuiltinArgs& a) {
  Rect x, y;
  if (!read_rect(a, 1, x) || !read_rect(a, 2, y) || a.span(0, 16).data() == nullptr) return 0;
  Rect r{std::max(x.left, y.left), std::max(x.top, y.top), std::min(x.right, y.right), std::min(x.bottom, y.bottom)};
  if (x.empty() || y.empty() || r.empty()) r = Rect{0, 0, 0, 0};
  write_rect(a, 0, r);
  return !r.empty();
}
uint32_t bi_rc_union(const BuiltinArgs& a) {
  Rect x, y;
  if (!read_rect(a, 1, x) || !read_rect(a, 2, y) || a.span(0, 16).data() == nullptr) return 0;
  Rect r{0, 0, 0, 0};
  if (x.empty() && !y.empty()) {
    r = y;
  } else if (y.empty() && !x.empty()) {
    r = x;
  } else if (!x.empty()) {
    r = Rect{std::min(x.left, y.left), std::min(x.top, y.top), std::max(x.right, y.right), std::max(x.bottom, y.bottom)};
  }
  write_rect(a, 0, r);
  return !r.empty();
}
uint32_t bi_rc_in(const BuiltinArgs& a) {
  Rect r;
  if (!read_rect(a, 0, r)) return 0;
  const int32_t x = a.i32(1), y = a.i32(2);
  return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}
uint32_t bi_rc_check(const BuiltinArgs& a) {
  Rect r;
  return !read_rect(a, 0, r) || r.empty();
}

}  // namespace zelt
