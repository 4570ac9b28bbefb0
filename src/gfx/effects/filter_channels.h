// The format pairs of the averaging filters (smooth, gradation, mosaic) and
// how each reads and writes the channels it averages: 32 to 32 bits all
// four bytes; any mix of 24 and 32 bits the three colour bytes (a 32-bit
// destination keeps its fourth byte); 16 to 16 bits each 5-bit channel;
// 8 to 8 bits the index itself.
#pragma once

#include <cstdint>

#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

enum class ChannelPair : uint8_t { none, all4, colour3, rgb15, index };

constexpr ChannelPair channel_pair(int src_bits, int dst_bits) {
  if (src_bits == 32 && dst_bits == 32) return ChannelPair::all4;
  if ((src_bits == 24 || src_bits == 32) && (dst_bits == 24 || dst_bits == 32)) return ChannelPair::colour3;
  if (src_bits == 16 && dst_bits == 16) return ChannelPair::rgb15;
  if (src_bits == 8 && dst_bits == 8) return ChannelPair::index;
  return ChannelPair::none;
}

template <ChannelPair K>
struct Channels;

template <>
struct Channels<ChannelPair::all4> {
  static constexpr int count = 4;
  static void read(const uint8_t* p, int32_t* c) {
    for (int i = 0; i < 4; ++i) c[i] = p[i];
  }
  static void write(uint8_t* p, const int32_t* c) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(c[i]);
  }
};

template <>
struct Channels<ChannelPair::colour3> {
  static constexpr int count = 3;
  static void read(const uint8_t* p, int32_t* c) {
    for (int i = 0; i < 3; ++i) c[i] = p[i];
  }
  static void write(uint8_t* p, const int32_t* c) {
    for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(c[i]);
  }
};

template <>
struct Channels<ChannelPair::rgb15> {
  static constexpr int count = 3;
  static void read(const uint8_t* p, int32_t* c) {
    const uint32_t w = load16(p);
    c[0] = static_cast<int32_t>(w & 31);
    c[1] = static_cast<int32_t>(w >> 5 & 31);
    c[2] = static_cast<int32_t>(w >> 10 & 31);
  }
  static void write(uint8_t* p, const int32_t* c) {
    store16(p, static_cast<uint32_t>(c[0] | c[1] << 5 | c[2] << 10));
  }
};

template <>
struct Channels<ChannelPair::index> {
  static constexpr int count = 1;
  static void read(const uint8_t* p, int32_t* c) { c[0] = p[0]; }
  static void write(uint8_t* p, const int32_t* c) { p[0] = static_cast<uint8_t>(c[0]); }
};

// Calls f.template operator()<K, source bytes, destination bytes>() for the
// planes' pair; false for a pair the filters do not average.
template <class F>
bool with_channel_pair(int src_bits, int dst_bits, F&& f) {
  switch (channel_pair(src_bits, dst_bits)) {
    case ChannelPair::all4: f.template operator()<ChannelPair::all4, 4, 4>(); return true;
    case ChannelPair::colour3:
      if (src_bits == 24 && dst_bits == 24) f.template operator()<ChannelPair::colour3, 3, 3>();
      else if (src_bits == 24) f.template operator()<ChannelPair::colour3, 3, 4>();
      else f.template operator()<ChannelPair::colour3, 4, 3>();
      return true;
    case ChannelPair::rgb15: f.template operator()<ChannelPair::rgb15, 2, 2>(); return true;
    case ChannelPair::index: f.template operator()<ChannelPair::index, 1, 1>(); return true;
    case ChannelPair::none: break;
  }
  return false;
}

}  // namespace zelt::gfx
