// The blitter objects: every slot of the plain object, and of the SIMD object
// at each vector level this processor has, against a per-pixel reference
// written from the rules (blend per channel, key on colour bits, fourth byte
// and bit 15 handling), on random rows of many widths (vector tails), top-down
// and bottom-up arrays, padded rows and in-place output. Any byte outside the
// output pixels that changes is a failure too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/raster/blit.h"
#include "gfx/raster/blitter.h"

namespace zelt::gfx {
namespace {

// Reference -------------------------------------------------------------------

enum class Fmt { b32, b24, r565, r555, map8 };

int bytes_of(Fmt f) {
  switch (f) {
    case Fmt::b32: return 4;
    case Fmt::b24: return 3;
    case Fmt::r565:
    case Fmt::r555: return 2;
    case Fmt::map8: return 1;
  }
  return 0;
}

uint32_t colour_bits(Fmt f) {
  switch (f) {
    case Fmt::r565: return 0xFFFF;
    case Fmt::r555: return 0x7FFF;
    default: return 0xFFFFFF;
  }
}

uint32_t all_bits(Fmt f) { return bytes_of(f) == 4 ? 0xFFFFFFFFu : (1u << (8 * bytes_of(f))) - 1; }

uint32_t read(Fmt f, const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 0; i < bytes_of(f); ++i) v |= uint32_t{p[i]} << (8 * i);
  return v;
}

void write(Fmt f, uint8_t* p, uint32_t v) {
  for (int i = 0; i < bytes_of(f); ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Field {
  int shift, bits;
};

// The colour channels of a format (a 32-bit pixel's fourth byte apart).
std::vector<Field> colour_fields(Fmt f) {
  switch (f) {
    case Fmt::r565: return {{11, 5}, {5, 6}, {0, 5}};
    case Fmt::r555: return {{10, 5}, {5, 5}, {0, 5}};
    default: return {{16, 8}, {8, 8}, {0, 8}};
  }
}

int field(uint32_t v, Field c) { return static_cast<int>((v >> c.shift) & ((1u << c.bits) - 1)); }

// blend(x, y, w) on the colour channels: x + floor((y − x) × w / 256).
uint32_t blend_colour(Fmt f, uint32_t x, uint32_t y, uint32_t w) {
  uint32_t r = 0;
  for (Field c : colour_fields(f)) {
    const int xc = field(x, c), yc = field(y, c);
    r |= static_cast<uint32_t>(xc + (((yc - xc) * static_cast<int>(w)) >> 8)) << c.shift;
  }
  return r;
}

int fourth(uint32_t v) { return static_cast<int>(v >> 24); }

// Blend of all channels (a 32-bit pixel's fourth byte too).
uint32_t blend_all(Fmt f, uint32_t x, uint32_t y, uint32_t w) {
  uint32_t r = blend_colour(f, x, y, w);
  if (f == Fmt::b32) {
    const int xc = fourth(x), yc = fourth(y);
    r |= static_cast<uint32_t>(xc + (((yc - xc) * static_cast<int>(w)) >> 8)) << 24;
  }
  return r;
}

struct Rgb {
  int r, g, b;
};

// 8-bit colour as blits read pixels: 16-bit fields floor(c × 255 / max).
Rgb decode(Fmt f, uint32_t v) {
  const std::vector<Field> c = colour_fields(f);
  auto expand = [&](Field x) { return field(v, x) * 255 / ((1 << x.bits) - 1); };
  return {expand(c[0]), expand(c[1]), expand(c[2])};
}

// Written by truncation; keep: a 32-bit pixel's fourth byte.
uint32_t encode(Fmt f, Rgb c, uint32_t keep) {
  uint32_t v = 0;
  for (int i = 0; i < 3; ++i) {
    const Field x = colour_fields(f)[i];
    const int value = i == 0 ? c.r : i == 1 ? c.g : c.b;
    v |= static_cast<uint32_t>(value >> (8 - x.bits)) << x.shift;
  }
  return f == Fmt::b32 ? v | (keep & 0xFF000000u) : v;
}

enum class Kind {
  alpha_key, alpha_map, paint_map, alpha, tint, copy_key, copy, repack, repack_key, convert, grey, grey_key,
  grey_paint, grey_paint_key
};

bool keyed(Kind k) {
  return k == Kind::alpha_key || k == Kind::tint || k == Kind::copy_key || k == Kind::repack_key ||
         k == Kind::grey_key || k == Kind::grey_paint_key;
}
bool has_base(Kind k) { return k == Kind::alpha_key || k == Kind::alpha_map || k == Kind::paint_map || k == Kind::alpha; }
bool has_source(Kind k) { return k != Kind::paint_map; }
bool has_map(Kind k) { return k == Kind::alpha_map || k == Kind::paint_map; }

struct Params {
  uint32_t (*weight)(uint8_t);
  uint8_t alpha;
  uint32_t key, paint;
  bool tint_key;  // tint with a key
};

bool matches(Fmt f, uint32_t pixel, uint32_t key) { return ((pixel ^ key) & colour_bits(f)) == 0; }

// One output pixel: o (out format) from b (out format), s (in format), m.
void reference(Kind kind, Fmt out, Fmt in, const Params& p, uint8_t* o, const uint8_t* b, const uint8_t* s,
               const uint8_t* m) {
  const uint32_t old = read(out, o);
  const uint32_t bp = b ? read(out, b) : 0, sp = s ? read(in, s) : 0;
  const uint32_t wa = p.weight(p.alpha), wm = m ? p.weight(*m) : 0;
  uint32_t v = old;
  auto luminance = [](Rgb c) { return (38 * c.r + 77 * c.g + 13 * c.b) >> 7; };
  switch (kind) {
    case Kind::alpha_key: v = matches(in, sp, p.key) ? bp : blend_all(out, bp, sp, wa); break;
    case Kind::alpha_map: v = blend_all(out, bp, sp, wm); break;
    case Kind::paint_map: v = blend_colour(out, bp, p.paint, wm) | (out == Fmt::b32 ? bp & 0xFF000000u : 0); break;
    case Kind::alpha: v = blend_all(out, bp, sp, wa); break;
    case Kind::tint:
      if (!(p.tint_key && matches(in, sp, p.key)))
        v = blend_colour(out, sp, p.paint, wa) | (out == Fmt::b32 ? old & 0xFF000000u : 0);
      break;
    case Kind::copy_key:
      if (!matches(in, sp, p.key)) v = out == Fmt::r555 ? sp & 0x7FFF : sp;
      break;
    case Kind::copy: v = sp; break;
    case Kind::repack:
    case Kind::repack_key: {
      if (kind == Kind::repack_key && matches(in, sp, p.key)) break;
      const std::vector<Field> fi = colour_fields(in);
      const int r = field(sp, fi[0]), g = field(sp, fi[1]), bl = field(sp, fi[2]);
      if (out == in) v = sp & 0x7FFF;
      else if (out == Fmt::r565) v = static_cast<uint32_t>(r << 11 | ((g << 1) | (g >> 4)) << 5 | bl);
      else v = static_cast<uint32_t>(r << 10 | (g >> 1) << 5 | bl);
      break;
    }
    case Kind::convert: v = encode(out, decode(in, sp), 0xFF000000u); break;
    case Kind::grey:
    case Kind::grey_key: {
      if (kind == Kind::grey_key && matches(in, sp, p.key)) break;
      const Rgb c = decode(in, sp);
      const int l = luminance(c), w = p.alpha + 1;
      auto toward = [&](int x) { return x + (((l - x) * w) >> 8); };
      v = encode(out, {toward(c.r), toward(c.g), toward(c.b)}, old);
      break;
    }
    case Kind::grey_paint:
    case Kind::grey_paint_key: {
      if (kind == Kind::grey_paint_key && matches(in, sp, p.key)) break;
      const int l = luminance(decode(in, sp));
      auto times = [&](int shift) { return (l * (static_cast<int>((p.paint >> shift) & 255) + 1)) >> 8; };
      v = encode(out, {times(16), times(8), times(0)}, old);
      break;
    }
  }
  write(out, o, v);
}

// The slots, written out apart from the header's table ----------------------

struct Call {
  int32_t width, height;
  uint8_t alpha;
  uint32_t key, paint;
  std::optional<uint32_t> tint_key;
  PixelRows out;
  ConstPixelRows base, source, map;
};

struct SlotCase {
  int number;
  BlitterSlot slot;
  const char* name;
  Kind kind;
  Fmt out, in;
  void (*run)(const Blitter&, const Call&);
};

#define RUN_alpha_key(name) b.name(c.width, c.height, c.alpha, c.out, c.base, c.source, c.key)
#define RUN_alpha_map(name) b.name(c.width, c.height, c.map, c.out, c.base, c.source)
#define RUN_paint_map(name) b.name(c.width, c.height, c.map, c.out, c.base, c.paint)
#define RUN_alpha(name) b.name(c.width, c.height, c.alpha, c.out, c.base, c.source)
#define RUN_tint(name) b.name(c.width, c.height, c.alpha, c.out, c.source, c.paint, c.tint_key)
#define RUN_copy_key(name) b.name(c.width, c.height, c.out, c.source, c.key)
#define RUN_copy(name) b.name(c.width, c.height, c.out, c.source)
#define RUN_repack RUN_copy
#define RUN_repack_key RUN_copy_key
#define RUN_convert RUN_copy
#define RUN_grey(name) b.name(c.width, c.height, c.alpha, c.out, c.source)
#define RUN_grey_key(name) b.name(c.width, c.height, c.alpha, c.out, c.source, c.key)
#define RUN_grey_paint(name) b.name(c.width, c.height, c.out, c.source, c.paint)
#define RUN_grey_paint_key(name) b.name(c.width, c.height, c.out, c.source, c.paint, c.key)
#define CASE(number, name, kind, out, in) \
  {number, BlitterSlot::name, #name, Kind::kind, Fmt::out, Fmt::in, [](const Blitter& b, const Call& c) { RUN_##kind(name); }}

const SlotCase kSlots[] = {
    CASE(0, alpha_key32, alpha_key, b32, b32),
    CASE(1, alpha_map32, alpha_map, b32, b32),
    CASE(2, paint_map32, paint_map, b32, b32),
    CASE(3, alpha32, alpha, b32, b32),
    CASE(4, tint32, tint, b32, b32),
    CASE(5, alpha_key24, alpha_key, b24, b24),
    CASE(6, alpha_map24, alpha_map, b24, b24),
    CASE(7, paint_map24, paint_map, b24, b24),
    CASE(8, alpha24, alpha, b24, b24),
    CASE(9, tint24, tint, b24, b24),
    CASE(10, alpha_key565, alpha_key, r565, r565),
    CASE(11, alpha_map565, alpha_map, r565, r565),
    CASE(12, paint_map565, paint_map, r565, r565),
    CASE(13, alpha565, alpha, r565, r565),
    CASE(14, tint565, tint, r565, r565),
    CASE(15, alpha_key555, alpha_key, r555, r555),
    CASE(16, alpha_map555, alpha_map, r555, r555),
    CASE(17, paint_map555, paint_map, r555, r555),
    CASE(18, alpha555, alpha, r555, r555),
    CASE(19, tint555, tint, r555, r555),
    CASE(20, copy_key32, copy_key, b32, b32),
    CASE(21, copy_key24, copy_key, b24, b24),
    CASE(22, copy_key565, copy_key, r565, r565),
    CASE(23, copy_key555, copy_key, r555, r555),
    CASE(24, copy16, copy, r565, r565),
    CASE(25, repack_555_to_565, repack, r565, r555),
    CASE(26, repack_565_to_555, repack, r555, r565),
    CASE(27, repack_key_555_to_565, repack_key, r565, r555),
    CASE(28, repack_key_565_to_555, repack_key, r555, r565),
    CASE(29, copy555, repack, r555, r555),
    CASE(30, convert_555_to_565, convert, r565, r555),
    CASE(31, convert_565_to_555, convert, r555, r565),
    CASE(32, convert_24_to_565, convert, r565, b24),
    CASE(33, convert_24_to_555, convert, r555, b24),
    CASE(34, copy24, copy, b24, b24),
    CASE(35, convert_24_to_32, convert, b32, b24),
    CASE(36, convert_555_to_32, convert, b32, r555),
    CASE(37, convert_32_to_555, convert, r555, b32),
    CASE(38, convert_32_to_24, convert, b24, b32),
    CASE(39, copy32, copy, b32, b32),
    CASE(40, grey32, grey, b32, b32),
    CASE(41, grey_key32, grey_key, b32, b32),
    CASE(42, grey24, grey, b24, b24),
    CASE(43, grey_key24, grey_key, b24, b24),
    CASE(44, grey_24_to_32, grey, b32, b24),
    CASE(45, grey_key_24_to_32, grey_key, b32, b24),
    CASE(46, grey_32_to_24, grey, b24, b32),
    CASE(47, grey_key_32_to_24, grey_key, b24, b32),
    CASE(48, grey_paint32, grey_paint, b32, b32),
    CASE(49, grey_paint_key32, grey_paint_key, b32, b32),
    CASE(50, grey_paint24, grey_paint, b24, b24),
    CASE(51, grey_paint_key24, grey_paint_key, b24, b24),
    CASE(52, grey_paint_24_to_32, grey_paint, b32, b24),
    CASE(53, grey_paint_key_24_to_32, grey_paint_key, b32, b24),
    CASE(54, grey_paint_32_to_24, grey_paint, b24, b32),
    CASE(55, grey_paint_key_32_to_24, grey_paint_key, b24, b32),
};
#undef CASE

TEST(BlitterSlots, EverySlotOnceInOrder) {
  ASSERT_EQ(std::size(kSlots), static_cast<size_t>(kBlitterSlots));
  for (int i = 0; i < kBlitterSlots; ++i) {
    EXPECT_EQ(kSlots[i].number, i);
    EXPECT_EQ(static_cast<int>(kSlots[i].slot), i) << kSlots[i].name;
  }
}

// Random trials ----------------------------------------------------------------

// The pixel arrays of one trial in one block of memory: guard bytes around
// each, rows padded, top-down or bottom-up.
struct Array {
  Fmt fmt;
  size_t offset;
  ptrdiff_t pitch;
  bool bottom_up;
  int32_t height;
  uint8_t* first(std::vector<uint8_t>& arena) const {
    return arena.data() + offset + (bottom_up && height > 0 ? (height - 1) * pitch : 0);
  }
  ptrdiff_t step() const { return bottom_up ? -pitch : pitch; }
};

struct Object {
  const char* name;
  const Blitter* blitter;
  uint32_t (*weight)(uint8_t);
};

uint32_t plain_rule(uint8_t v) { return v + 1u; }
uint32_t simd_rule(uint8_t v) { return v + (v >> 7u); }

std::vector<Object> objects() {
  std::vector<Object> list = {{"plain", &plain_blitter(), plain_rule},
                              {"simd (plain code)", &simd_blitter(SimdLevel::none), simd_rule}};
  if (simd_level() >= SimdLevel::sse2) list.push_back({"simd sse2", &simd_blitter(SimdLevel::sse2), simd_rule});
  if (simd_level() >= SimdLevel::avx2) list.push_back({"simd avx2", &simd_blitter(SimdLevel::avx2), simd_rule});
  return list;
}

enum class Alias { none, base, source };

class Trial {
 public:
  Trial(const SlotCase& slot, int32_t width, int32_t height, Alias alias, std::mt19937& random)
      : slot_(slot), width_(width), height_(height), alias_(alias) {
    const Kind k = slot.kind;
    out_ = add(slot.out, random);
    if (has_base(k)) base_ = alias == Alias::base ? out_ : add(slot.out, random);
    if (has_source(k)) source_ = alias == Alias::source ? out_ : add(slot.in, random);
    if (has_map(k)) map_ = add(Fmt::map8, random);
    arena_.resize(size_ + 32);
    for (uint8_t& byte : arena_) byte = static_cast<uint8_t>(random());
    params_.key = static_cast<uint32_t>(random());
    params_.paint = static_cast<uint32_t>(random());
    params_.tint_key = k == Kind::tint && random() % 2;
    // Interesting values: a quarter of the source pixels equal the key in
    // their colour bits (other bits random), a quarter of the map bytes at
    // the edges of the weight rules.
    const int32_t pixels = std::max(width, 0) * std::max(height, 0);
    if (keyed(k) && source_)
      for (int32_t i = 0; i < pixels; ++i) {
        if (random() % 4) continue;
        uint8_t* p = pixel(*source_, i % width, i / width);
        const uint32_t bits = colour_bits(slot.in);
        write(slot.in, p, ((params_.key & bits) | (static_cast<uint32_t>(random()) & ~bits)) & all_bits(slot.in));
      }
    if (map_)
      for (int32_t i = 0; i < pixels; ++i) {
        static constexpr uint8_t kEdges[] = {0, 1, 126, 127, 128, 129, 254, 255};
        if (random() % 4 == 0) *pixel(*map_, i % width, i / width) = kEdges[random() % 8];
      }
  }

  // Runs the object's slot and the reference; "" when they agree on every byte.
  std::string check(const Object& object, uint8_t alpha) {
    params_.weight = object.weight;
    params_.alpha = alpha;
    std::vector<uint8_t> got = arena_, want = arena_;
    Call call{width_, height_, alpha, params_.key, params_.paint, std::nullopt,
              rows(*out_, got), rows(base_, got), rows(source_, got), rows(map_, got)};
    if (params_.tint_key) call.tint_key = params_.key;
    slot_.run(*object.blitter, call);
    for (int32_t y = 0; y < height_; ++y)
      for (int32_t x = 0; x < width_; ++x)
        reference(slot_.kind, slot_.out, slot_.in, params_, pixel(*out_, x, y, want),
                  base_ ? pixel(*base_, x, y, want) : nullptr, source_ ? pixel(*source_, x, y, want) : nullptr,
                  map_ ? pixel(*map_, x, y, want) : nullptr);
    for (size_t i = 0; i < got.size(); ++i)
      if (got[i] != want[i]) return describe(object, i, got, want);
    return "";
  }

 private:
  std::optional<Array> add(Fmt fmt, std::mt19937& random) {
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(std::max(width_, 0)) * bytes_of(fmt) + random() % 8;
    const Array a{fmt, size_ + 16, pitch, random() % 2 == 1, height_};
    size_ += 16 + static_cast<size_t>(pitch) * static_cast<size_t>(std::max(height_, 1));
    return a;
  }

  uint8_t* pixel(const Array& a, int32_t x, int32_t y) { return pixel(a, x, y, arena_); }
  static uint8_t* pixel(const Array& a, int32_t x, int32_t y, std::vector<uint8_t>& arena) {
    return a.first(arena) + y * a.step() + x * bytes_of(a.fmt);
  }

  static PixelRows rows(const Array& a, std::vector<uint8_t>& arena) { return {a.first(arena), a.step()}; }
  static ConstPixelRows rows(const std::optional<Array>& a, std::vector<uint8_t>& arena) {
    return a ? ConstPixelRows(a->first(arena), a->step()) : ConstPixelRows(nullptr, 0);
  }

  std::string describe(const Object& object, size_t at, const std::vector<uint8_t>& got,
                       const std::vector<uint8_t>& want) {
    std::ostringstream text;
    text << object.name << " slot " << slot_.number << " " << slot_.name << ": " << width_ << "x" << height_
         << " alpha " << int(params_.alpha) << std::hex << " key " << params_.key << " paint " << params_.paint
         << (params_.tint_key ? " (tint keyed)" : "")
         << (alias_ == Alias::base ? " in place over base" : alias_ == Alias::source ? " in place over source" : "")
         << ": arena byte " << std::dec << at << " is " << int(got[at]) << ", expected " << int(want[at]);
    const Array& o = *out_;
    const ptrdiff_t from_first = static_cast<ptrdiff_t>(at) - (o.first(arena_) - arena_.data());
    for (int32_t y = 0; y < height_; ++y) {
      const ptrdiff_t in_row = from_first - y * o.step();
      if (in_row < 0 || in_row >= ptrdiff_t{width_} * bytes_of(o.fmt)) continue;
      const int32_t x = static_cast<int32_t>(in_row / bytes_of(o.fmt));
      text << std::hex << " (output pixel " << std::dec << x << "," << y << std::hex << ": got "
           << read(o.fmt, pixel(o, x, y, const_cast<std::vector<uint8_t>&>(got))) << ", want "
           << read(o.fmt, pixel(o, x, y, const_cast<std::vector<uint8_t>&>(want)));
      if (base_) text << ", base " << read(slot_.out, pixel(*base_, x, y));
      if (source_) text << ", source " << read(slot_.in, pixel(*source_, x, y));
      if (map_) text << ", map " << std::dec << int(*pixel(*map_, x, y));
      text << ")";
      return text.str();
    }
    return text.str() + " (outside the output pixels)";
  }

  const SlotCase& slot_;
  int32_t width_, height_;
  Alias alias_;
  std::optional<Array> out_, base_, source_, map_;
  size_t size_ = 0;
  std::vector<uint8_t> arena_;
  Params params_{};
};

class EachBlitterSlot : public ::testing::TestWithParam<int> {};

TEST_P(EachBlitterSlot, MatchesTheReferenceForEveryObject) {
  const SlotCase& slot = kSlots[GetParam()];
  std::mt19937 random(1234 + static_cast<uint32_t>(GetParam()));
  static constexpr int32_t kWidths[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 47, 48, 49, 63, 64, 65, 100};
  static constexpr uint8_t kAlphas[] = {0, 1, 126, 127, 128, 129, 254, 255};
  std::vector<Alias> aliases = {Alias::none};
  if (has_base(slot.kind)) aliases.push_back(Alias::base);
  if (has_source(slot.kind) && slot.out == slot.in) aliases.push_back(Alias::source);
  const std::vector<Object> list = objects();
  int failures = 0;
  for (int32_t width : kWidths)
    for (int32_t height : {1, 3})
      for (Alias alias : aliases) {
        Trial trial(slot, width, height, alias, random);
        for (const Object& object : list)
          for (uint8_t alpha : kAlphas) {
            const std::string error = trial.check(object, alpha);
            if (!error.empty() && failures++ < 5) ADD_FAILURE() << error;
          }
      }
  EXPECT_EQ(failures, 0);
}

TEST_P(EachBlitterSlot, EmptyRectanglesTouchNothing) {
  const SlotCase& slot = kSlots[GetParam()];
  std::mt19937 random(99);
  for (auto [width, height] : {std::pair{0, 3}, {3, 0}, {-1, 2}, {2, -5}}) {
    Trial trial(slot, width, height, Alias::none, random);
    for (const Object& object : objects()) EXPECT_EQ(trial.check(object, 128), "");
  }
}

INSTANTIATE_TEST_SUITE_P(AllSlots, EachBlitterSlot, ::testing::Range(0, kBlitterSlots),
                         [](const ::testing::TestParamInfo<int>& slot) {
                           return std::to_string(slot.param) + "_" + kSlots[slot.param].name;
                         });

// The stated cases -------------------------------------------------------------

uint32_t alpha32_once(const Blitter& b, uint8_t alpha, uint32_t base, uint32_t source) {
  uint8_t o[4], x[4], y[4];
  write(Fmt::b32, x, base);
  write(Fmt::b32, y, source);
  b.alpha32(1, 1, alpha, {o, 4}, {x, 4}, {y, 4});
  return read(Fmt::b32, o);
}

TEST(Blitters, WeightRulesAtTheEnds) {
  const Blitter& simd = simd_blitter();
  const Blitter& plain = plain_blitter();
  // Alpha 0: the plain object already moves 1/256 toward the source, the SIMD
  // object leaves the base.
  EXPECT_EQ(alpha32_once(plain, 0, 0xC8C8C8C8, 0), 0xC7C7C7C7u);
  EXPECT_EQ(alpha32_once(simd, 0, 0xC8C8C8C8, 0), 0xC8C8C8C8u);
  // Alpha 255: weight 256 in both, the source exactly.
  for (const Blitter* b : {&simd, &plain}) EXPECT_EQ(alpha32_once(*b, 255, 0x12345678, 0xFEDCBA98), 0xFEDCBA98u);
  // Weight 128 (plain alpha 127): 200 → 100 gives 150; 3 → 1 gives 2 (the floor of −1).
  EXPECT_EQ(alpha32_once(plain, 127, 0x03C8, 0x0164), 0x0296u);
  // The SIMD rule skips weight 128: alpha 127 weighs 127, alpha 128 weighs 129.
  EXPECT_EQ(alpha32_once(simd, 128, 0, 0xFF), 0x80u);
  EXPECT_EQ(alpha32_once(simd, 127, 0, 0xFF), 0x7Eu);
  static_assert(simd_blend_weight(0) == 0 && simd_blend_weight(127) == 127 && simd_blend_weight(128) == 129 &&
                simd_blend_weight(255) == 256);
  static_assert(plain_blend_weight(0) == 1 && plain_blend_weight(255) == 256);
}

TEST(Blitters, KeyedPixelsKeepTheBaseWhateverTheirFourthByte) {
  for (const Blitter* b : {&simd_blitter(), &plain_blitter()}) {
    // Eight pixels so that the vector loops see them too.
    uint32_t out[8], base[8], source[8];
    for (int i = 0; i < 8; ++i) {
      base[i] = 0x11223344u + i;
      source[i] = i % 2 ? 0xAB00FF00u : 0x5500FF01u;  // odd ones: key colour, fourth byte not the key's
    }
    b->alpha_key32(8, 1, 200, {reinterpret_cast<uint8_t*>(out), 32}, {reinterpret_cast<uint8_t*>(base), 32},
                   {reinterpret_cast<uint8_t*>(source), 32}, 0x0000FF00u);
    for (int i = 0; i < 8; ++i) {
      if (i % 2) EXPECT_EQ(out[i], base[i]) << i;
      else EXPECT_NE(out[i], base[i]) << i;
    }
  }
}

// Tint with a key is mode 6: pixels of the key colour leave the output as it was.
TEST(Blitters, KeyedTintLeavesKeyPixels) {
  for (const Blitter* b : {&simd_blitter(), &plain_blitter()}) {
    uint16_t out[16], source[16];
    for (int i = 0; i < 16; ++i) {
      out[i] = 0x1234;
      source[i] = i % 3 ? 0x7C00 : 0x801F;  // every third: the key 0x001F with bit 15 set
    }
    b->tint555(16, 1, 255, {reinterpret_cast<uint8_t*>(out), 32}, {reinterpret_cast<uint8_t*>(source), 32}, 0x03E0,
               0x001F);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], i % 3 ? 0x03E0 : 0x1234) << i;
  }
}

// A recording object: which slot each by-family call reaches.
class Recorder final : public Blitter {
 public:
#define ZELT_SLOT(number, name, kind, ...) \
  void name(int32_t, int32_t, ZELT_BLITTER_PARAMS_##kind) const override { last = number; }
  ZELT_BLITTER_SLOTS(ZELT_SLOT)
#undef ZELT_SLOT
  mutable int last = -1;
};

TEST(Blitters, FamilyCallsReachTheirSlots) {
  const Recorder r;
  const PixelRows none{nullptr, 0};
  for (int bits : {32, 24, 16}) {
    const BlitterFamily family = *blitter_family(bits);
    const int first = static_cast<int>(family);
    r.alpha_key(family, 0, 0, 0, none, none, none, 0);
    EXPECT_EQ(r.last, first + 0);
    r.alpha_map(family, 0, 0, none, none, none, none);
    EXPECT_EQ(r.last, first + 1);
    r.paint_map(family, 0, 0, none, none, none, 0);
    EXPECT_EQ(r.last, first + 2);
    r.alpha(family, 0, 0, 0, none, none, none);
    EXPECT_EQ(r.last, first + 3);
    r.tint(family, 0, 0, 0, none, none, 0, std::nullopt);
    EXPECT_EQ(r.last, first + 4);
  }
  EXPECT_EQ(*blitter_family(16), BlitterFamily::rgb555);
  EXPECT_FALSE(blitter_family(8));
  r.alpha(BlitterFamily::rgb565, 0, 0, 0, none, none, none);
  EXPECT_EQ(r.last, 13);
}

TEST(Blitters, TheChosenObject) {
  EXPECT_EQ(&blitter(), simd_blitter_usable() && simd_enabled() ? &simd_blitter() : &plain_blitter());
#if defined(__x86_64__)
  EXPECT_TRUE(simd_blitter_usable());
#endif
}

}  // namespace
}  // namespace zelt::gfx
