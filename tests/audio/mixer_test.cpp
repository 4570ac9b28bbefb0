// The mixer and its voices on their own: what leaves the mixer is always
// finite and in range, inputs can come and go while blocks are rendered,
// and a voice keeps what its owner did to it during a block.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <utility>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "audio/effects/effect.h"
#include "audio/mixer.h"
#include "audio/voice.h"

namespace zelt::audio {
namespace {

constexpr uint32_t kRate = 48000;

// Adds fixed values to every frame.
class Constant final : public MixerInput {
 public:
  Constant(float left, float right) : left_(left), right_(right) {}
  void mix_into(float* out, uint32_t frames, uint32_t) override {
    for (uint32_t i = 0; i < frames; ++i) out[2 * i] += left_, out[2 * i + 1] += right_;
  }

 private:
  float left_, right_;
};

class Tap final : public MixTap {
 public:
  void on_block(const float* stereo, uint32_t frames) override { seen.assign(stereo, stereo + 2 * frames); }
  std::vector<float> seen;
};

TEST(Mixer, OutputIsFiniteAndInRangeWhateverTheInputsAdd) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct Case {
    float left, right, out_left, out_right;
  } cases[] = {{nan, 0.25f, 0, 0.25f}, {inf, -inf, 0, 0}, {3.0f, -2.0f, 1, -1}, {0.5f, -0.5f, 0.5f, -0.5f}};
  for (const Case& c : cases) {
    Mixer mixer(kRate);
    Constant input(c.left, c.right);
    Tap tap;
    mixer.attach(5, &input);
    mixer.set_tap(&tap);
    std::vector<float> out(2 * 300);
    mixer.render(out.data(), 300);
    for (uint32_t i = 0; i < 300; ++i) {
      ASSERT_EQ(out[2 * i], c.out_left) << c.left << " frame " << i;
      ASSERT_EQ(out[2 * i + 1], c.out_right) << c.right << " frame " << i;
    }
    EXPECT_EQ(tap.seen, out) << "the recording hears what the device hears";
    EXPECT_EQ(mixer.frames_rendered(), 300u);
  }
}

// Counts its blocks and fails the test if it is used after detach returned.
class Watched final : public MixerInput {
 public:
  void mix_into(float*, uint32_t, uint32_t) override {
    if (gone.load(std::memory_order_seq_cst)) used_after_detach.store(true);
    blocks.fetch_add(1);
  }
  std::atomic<bool> gone{false}, used_after_detach{false};
  std::atomic<int> blocks{0};
};

TEST(Mixer, DetachedInputsAreNeverUsedAgain) {
  Mixer mixer(kRate);
  std::atomic<bool> quit{false};
  std::thread device([&] {
    std::vector<float> out(2 * 64);
    while (!quit) mixer.render(out.data(), 64);
  });
  int blocks = 0;
  for (int round = 0; round < 2000; ++round) {
    auto input = std::make_unique<Watched>();
    const uint32_t place = round % kMixerInputs;
    mixer.attach(place, input.get());
    while (round % 50 == 0 && input->blocks == 0) std::this_thread::yield();  // now and then, surely mid-render
    mixer.detach(place);
    input->gone = true;
    blocks += input->blocks;
    ASSERT_FALSE(input->used_after_detach) << "round " << round;
  }  // each input is freed here: a late use is also a use after free
  quit = true;
  device.join();
  EXPECT_GT(blocks, 0);
}

// A 16-bit mono voice of frames whose samples are their index + 1.
std::unique_ptr<Voice> ramp_voice(uint32_t frames) {
  auto v = std::make_unique<Voice>(PcmFormat{1, kRate, 16}, 2 * frames);
  for (uint32_t i = 0; i < frames; ++i) {
    const int16_t s = static_cast<int16_t>(i + 1);
    std::memcpy(v->data() + 2 * i, &s, 2);
  }
  return v;
}

// Does what the owner does at a given moment: inside a block, between the
// voice reading its controls and committing them.
class DuringBlock final : public Effect {
 public:
  explicit DuringBlock(std::function<void()> act) : act_(std::move(act)) {}
  void process(float*, uint32_t) override {
    if (act_) std::exchange(act_, nullptr)();
  }

 private:
  std::function<void()> act_;
};

std::unique_ptr<EffectChain> chain_of(std::function<void()> act) {
  auto chain = std::make_unique<EffectChain>();
  chain->add(std::make_unique<DuringBlock>(std::move(act)));
  return chain;
}

TEST(Voice, WhatTheOwnerDoesDuringABlockOutlivesIt) {
  struct Case {
    const char* what;
    bool restart_at_zero, stop, seek;
    bool playing_after;
    uint32_t next_first;  // the first sample of the next block (0: none)
  } cases[] = {
      // A one-shot sound ends in the block in which it is played again: it plays again, from the start.
      {"restart", true, false, false, true, 1},
      // Stopped during the block: it stays stopped, and its cursor moved on with the block.
      {"stop", false, true, false, false, 0},
      // Moved during the block: the move holds.
      {"seek", false, false, true, true, 51},
  };
  for (const Case& c : cases) {
    auto v = ramp_voice(c.restart_at_zero ? 100 : 2000);
    Voice* voice = v.get();
    v->set_effects(chain_of([&] {
      if (c.restart_at_zero) voice->stop(), voice->set_position(0), voice->play(false);
      if (c.stop) voice->stop();
      if (c.seek) voice->set_position(100);
    }));
    v->play(false);
    std::vector<float> out(2 * 512, 0.0f);
    v->mix_into(out.data(), 512, kRate);
    EXPECT_EQ(v->playing(), c.playing_after) << c.what;
    if (c.stop) {
      EXPECT_EQ(v->position(), 2 * 512u) << c.what;
      continue;
    }
    std::fill(out.begin(), out.end(), 0.0f);
    v->mix_into(out.data(), 512, kRate);
    EXPECT_EQ(std::lrint(out[0] * 32768), c.next_first) << c.what;
  }
}

}  // namespace
}  // namespace zelt::audio
