// The effects on their own, at 48 kHz, each by a signature that can be
// measured: delays by cross-correlation, the gargle's rate, the equaliser's
// gain at its centre, the compressor's gain above its threshold, the
// reverb's decay; and records that no effect may turn into a fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "audio/effects/effect.h"

namespace zelt::audio {
namespace {

constexpr uint32_t kRate = 48000;

// A record from its fields: floats by their bits, integers as they are.
struct Word {
  uint32_t bits;
  Word(float f) : bits(std::bit_cast<uint32_t>(f)) {}  // NOLINT: records read like the structures
  Word(int i) : bits(static_cast<uint32_t>(i)) {}      // NOLINT
};
EffectRecord record(std::initializer_list<Word> words) {
  EffectRecord r{};
  size_t i = 0;
  for (const Word& w : words) r[i++] = w.bits;
  return r;
}

// Interleaved stereo of frames, both sides the same unless a generator says.
using Stereo = std::vector<float>;
Stereo noise(uint32_t frames, float level) {
  Stereo s(2 * frames);
  uint32_t seed = 12345;
  for (float& v : s) v = level * (static_cast<float>((seed = seed * 1664525 + 1013904223) >> 8) / 8388608.0f - 1.0f);
  return s;
}
Stereo sine(uint32_t frames, double hz, float peak) {
  Stereo s(2 * frames);
  for (uint32_t i = 0; i < frames; ++i)
    s[2 * i] = s[2 * i + 1] = peak * static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / kRate));
  return s;
}
std::vector<float> channel(const Stereo& s, uint32_t c) {
  std::vector<float> v(s.size() / 2);
  for (size_t i = 0; i < v.size(); ++i) v[i] = s[2 * i + c];
  return v;
}
// Runs an effect over the signal in blocks of 512 frames, as the mixer does.
Stereo run(Effect& e, Stereo s) {
  for (size_t at = 0; at < s.size(); at += 1024) e.process(s.data() + at, static_cast<uint32_t>(std::min<size_t>(512, (s.size() - at) / 2)));
  return s;
}
Stereo run(uint32_t kind, const EffectRecord& r, Stereo s) {
  auto e = make_effect(kind, r.data(), kRate);
  return run(*e, std::move(s));
}
double peak_db(const std::vector<float>& v, size_t from) {
  float p = 0;
  for (size_t i = from; i < v.size(); ++i) p = std::max(p, std::fabs(v[i]));
  return 20 * std::log10(p);
}
double rms(const std::vector<float>& v, size_t from, size_t to) {
  double e = 0;
  for (size_t i = from; i < to; ++i) e += double(v[i]) * v[i];
  return std::sqrt(e / double(to - from));
}
// The lag in 1..max_lag at which out correlates best with in.
uint32_t best_lag(const std::vector<float>& in, const std::vector<float>& out, uint32_t max_lag, uint32_t window) {
  uint32_t best = 0;
  double best_sum = 0;
  for (uint32_t lag = 1; lag <= max_lag; ++lag) {
    double sum = 0;
    for (uint32_t i = 0; i < window; ++i) sum += double(in[i]) * out[i + lag];
    if (sum > best_sum) best_sum = sum, best = lag;
  }
  return best;
}

TEST(SoundEffects, RecordsAreClampedToTheirRangesAndNaNsTakeTheDefault) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct Case {
    uint32_t kind, field;
    Word in;
    float expected;
  } cases[] = {
      {3, 0, 150.0f, 100}, {3, 0, -1.0f, 0},   {3, 2, 0.0f, 1},      {3, 2, inf, 2000},   {3, 2, -inf, 1},
      {3, 1, nan, 50},     {3, 4, -7, 0},      {3, 4, 9, 1},         {1, 1, 0.0f, 0.01f}, {1, 4, 0.5f, 1},
      {1, 3, nan, -20},    {6, 0, 20.0f, 80},  {6, 2, -inf, -15},    {5, 0, 0, 1},        {5, 0, -1, 1000},
      {5, 1, 7, 1},        {7, 2, nan, 1000},  {7, 3, 1.0f, 0.999f}, {0, 6, 3, 3},        {4, 5, 10.0f, 4},
      {2, 4, 99999.0f, 8000}, {0, 3, 5.5f, 5.5f},
  };
  for (const Case& c : cases) {
    EffectRecord r{};
    r[c.field] = c.in.bits;
    EXPECT_EQ(effect_values(c.kind, r.data())[c.field], c.expected)
        << kEffectKindInfo[c.kind].name << " field " << c.field;
  }
}

TEST(SoundEffects, NoRecordMakesAnEffectProduceNaNsOrRunAway) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const Word fills[] = {nan, inf, -inf, std::numeric_limits<float>::max(), -1, 0, 0x7FFFFFFF};
  const Stereo in = noise(kRate / 2, 1.0f);
  for (uint32_t kind = 0; kind < kEffectKinds; ++kind)
    for (const Word& fill : fills) {
      EffectRecord r;
      r.fill(fill.bits);
      const Stereo out = run(kind, r, in);
      const bool bounded = std::all_of(out.begin(), out.end(), [](float v) { return std::isfinite(v) && std::fabs(v) < 1000; });
      EXPECT_TRUE(bounded) << kEffectKindInfo[kind].name << " filled with " << std::hex << fill.bits;
    }
}

TEST(SoundEffects, EchoDelaysEachSideByItsOwnTime) {
  // Wet/dry 50, no feedback, 100 ms left, 250 ms right.
  const Stereo in = noise(24000, 0.5f);
  const Stereo out = run(3, record({50.0f, 0.0f, 100.0f, 250.0f, 0}), in);
  EXPECT_EQ(best_lag(channel(in, 0), channel(out, 0), 14000, 4096), 4800u);
  EXPECT_EQ(best_lag(channel(in, 1), channel(out, 1), 14000, 4096), 12000u);
  // Half dry, half delayed, sample for sample.
  for (uint32_t i = 4800; i < 6000; ++i) EXPECT_FLOAT_EQ(out[2 * i], 0.5f * (in[2 * i] + in[2 * (i - 4800)])) << i;
}

TEST(SoundEffects, EchoWithPanDelayCrossesItsFeedbackToTheOtherSide) {
  // An impulse on the left only; 50 % feedback, 10 ms each side.
  for (const int pan : {0, 1}) {
    Stereo in(2 * 4800, 0.0f);
    in[0] = 1.0f;
    const std::vector<float> right = channel(run(3, record({100.0f, 50.0f, 10.0f, 10.0f, pan}), in), 1);
    // The left echo at 480 goes back into the right line: heard there at 960.
    EXPECT_EQ(right[960], pan ? 0.5f : 0.0f) << "pan delay " << pan;
  }
}

TEST(SoundEffects, ChorusAndFlangerWithoutDepthAreDelaysOfTheirCentre) {
  struct Case {
    uint32_t kind;
    float delay_ms;
    uint32_t samples;
  } cases[] = {{0, 16.0f, 768}, {0, 20.0f, 960}, {4, 2.0f, 96}, {4, 4.0f, 192}};
  for (const Case& c : cases) {
    Stereo in(2 * 2048, 0.0f);
    in[0] = in[1] = 1.0f;
    const Stereo out = run(c.kind, record({100.0f, 0.0f, 0.0f, 1.0f, 1, c.delay_ms, 2}), in);
    const std::vector<float> left = channel(out, 0);
    EXPECT_EQ(std::max_element(left.begin(), left.end()) - left.begin(), c.samples) << kEffectKindInfo[c.kind].name;
    EXPECT_FLOAT_EQ(left[c.samples], 1.0f);
  }
}

TEST(SoundEffects, GargleModulatesAtItsRate) {
  // A constant input comes out as the modulating wave: count its periods
  // over one second by upward crossings of its mean.
  struct Case {
    int rate, shape;
  } cases[] = {{20, 1}, {7, 0}, {150, 1}, {1000, 0}};
  for (const Case& c : cases) {
    Stereo in(2 * kRate, 0.5f);
    const std::vector<float> m = channel(run(5, record({c.rate, c.shape}), in), 0);
    int periods = 0;
    for (size_t i = 1; i < m.size(); ++i) periods += m[i - 1] < 0.25f && m[i] >= 0.25f;
    EXPECT_NEAR(periods, c.rate, 1) << "rate " << c.rate << " shape " << c.shape;
    // Full depth: the wave reaches the input's level (a triangle within a step).
    EXPECT_NEAR(*std::max_element(m.begin(), m.end()), 0.5f, 0.5f * 2.0f * c.rate / kRate) << "rate " << c.rate;
  }
}

TEST(SoundEffects, ParametricEqualiserGivesItsGainAtTheCentre) {
  struct Case {
    float centre, bandwidth, gain;
  } cases[] = {{1000, 12, 12}, {1000, 12, -9}, {250, 3, 15}, {8000, 36, -15}, {5000, 1, 6}};
  for (const Case& c : cases) {
    const std::vector<float> in = channel(sine(kRate / 2, c.centre, 0.1f), 0);
    const std::vector<float> out = channel(run(6, record({c.centre, c.bandwidth, c.gain}), sine(kRate / 2, c.centre, 0.1f)), 0);
    EXPECT_NEAR(20 * std::log10(rms(out, kRate / 4, kRate / 2) / rms(in, kRate / 4, kRate / 2)), c.gain, 0.05)
        << c.centre << " Hz";
  }
}

TEST(SoundEffects, CompressorReducesTheLevelAboveItsThreshold) {
  // A steady 1 kHz sine; gain, attack 1 ms, release 500 ms, threshold, ratio, no pre-delay.
  struct Case {
    float in_db, gain, threshold, ratio, out_db;
  } cases[] = {
      {-8, 0, -20, 4, -17},  // 12 dB over: 3 dB over
      {-30, 0, -20, 4, -30},  // below: untouched
      {-8, 6, -20, 4, -11},   // the output gain on top
      {0, 0, -30, 100, -29.7f},
      {-20, 0, -20, 10, -20},
  };
  for (const Case& c : cases) {
    const float peak = std::pow(10.0f, c.in_db / 20);
    const Stereo out = run(1, record({c.gain, 1.0f, 500.0f, c.threshold, c.ratio, 0.0f}), sine(kRate, 1000, peak));
    EXPECT_NEAR(peak_db(channel(out, 0), kRate / 2), c.out_db, 0.3) << c.in_db << " dB into " << c.threshold;
  }
}

TEST(SoundEffects, ReverbTailFallsSixtyDecibelsInTheReverbTime) {
  for (const float time : {300.0f, 800.0f}) {
    Stereo in(2 * kRate, 0.0f);
    in[0] = in[1] = 1.0f;
    const std::vector<float> tail = channel(run(7, record({0.0f, 0.0f, time, 0.999f}), in), 0);
    // The level of two 50 ms windows 200 ms apart, once the tail is dense.
    const uint32_t a = kRate / 10, b = a + kRate / 5, w = kRate / 20;
    const double fall_db = 20 * std::log10(rms(tail, a, a + w) / rms(tail, b, b + w));
    EXPECT_NEAR(fall_db / 200.0 * time, 60.0, 9.0) << time << " ms";
  }
}

TEST(SoundEffects, ChainsRunInBitOrder) {
  // Echo (bit 3) before gargle (bit 5): the echo of an impulse, 120 ms on,
  // falls in the gargle's silent half at 5 Hz and is gone.
  std::array<EffectRecord, kEffectKinds> records{};
  records[3] = record({50.0f, 0.0f, 120.0f, 120.0f, 0});
  records[5] = record({5, 1});
  auto chain = make_effect_chain(kEcho | kGargle, records, kRate);
  ASSERT_TRUE(chain);
  Stereo s(2 * 9600, 0.0f);
  s[0] = 1.0f;
  chain->process(s.data(), 9600);
  EXPECT_EQ(s[0], 0.5f);
  EXPECT_EQ(s[2 * 5760], 0.0f);
  EXPECT_FALSE(make_effect_chain(0, records, kRate));
}

}  // namespace
}  // namespace zelt::audio
