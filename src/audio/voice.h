// A voice: one buffer of PCM in its own format (8- or 16-bit, mono or
// stereo, its own rate), played from a cursor once or in a loop, at a
// volume and pan in hundredths of a decibel and at a frequency of its own,
// resampled to the mixer's rate. This is what a sound slot holds: a static
// sound is the whole file in the buffer, a stream a ring that its feeder
// refills half by half.
//
// Controls are atomics and may be used from any thread while the mixer
// renders. The bytes are written by the slot's owner (before play for a
// static sound, into the half that is not playing for a stream).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "audio/effects/effect.h"
#include "audio/mixer.h"
#include "audio/sound_source.h"

namespace zelt::audio {

class Voice final : public MixerInput {
 public:
  // A zeroed buffer of bytes (whole frames) in format.
  Voice(const PcmFormat& format, uint32_t bytes);
  ~Voice() override;

  const PcmFormat& format() const { return format_; }
  uint8_t* data() { return data_.data(); }
  uint32_t size() const { return static_cast<uint32_t>(data_.size()); }
  uint32_t frames() const { return frames_; }

  void play(bool looping);
  void stop();
  bool playing() const { return control_.load(std::memory_order_acquire) & kPlaying; }
  // The play cursor in bytes; setting it takes whole frames.
  uint32_t position() const;
  void set_position(uint32_t byte);

  void set_volume(int32_t db) { volume_.store(db, std::memory_order_relaxed); }
  int32_t volume() const { return volume_.load(std::memory_order_relaxed); }
  void set_pan(int32_t db) { pan_.store(db, std::memory_order_relaxed); }
  int32_t pan() const { return pan_.load(std::memory_order_relaxed); }
  // 0 restores the format's own rate.
  void set_frequency(uint32_t hz) { frequency_.store(hz ? hz : format_.rate, std::memory_order_relaxed); }
  uint32_t frequency() const { return frequency_.load(std::memory_order_relaxed); }

  // The effects the voice runs from its next block on (null: none). The
  // chain it replaces is freed here, once the device thread has let go of it.
  void set_effects(std::unique_ptr<EffectChain> chain);

  void mix_into(float* out, uint32_t frames, uint32_t rate) override;

 private:
  // The cursor is frames in 32.32 fixed point while a block is rendered.
  static constexpr int kFraction = 32;
  // The control word: the cursor (frames in 28.24 fixed point: buffers hold
  // fewer than 2^28 frames), the playing and looping flags, and two 5-bit
  // generations: one counts starts and stops, one moves of the cursor. The
  // owner changes it by compare-exchange; the device thread commits a block
  // by one compare-exchange that keeps whatever the owner did meanwhile (a
  // one-shot sound that ran out in a block in which it was started again
  // keeps playing, from where it was started).
  static constexpr uint64_t kCursorMask = (uint64_t{1} << 52) - 1;
  static constexpr int kCursorShift = 8;  // 32.32 → 28.24
  static constexpr uint64_t kPlaying = uint64_t{1} << 52, kLooping = uint64_t{1} << 53;
  static constexpr int kRunShift = 54, kSeekShift = 59;
  static uint32_t run_generation(uint64_t w) { return (w >> kRunShift) & 31; }
  static uint32_t seek_generation(uint64_t w) { return (w >> kSeekShift) & 31; }
  template <class Change>
  void update(Change change);

  float sample(int64_t frame, uint32_t channel, bool looping) const;
  void frame_at(int64_t frame, bool looping, float& left, float& right) const;
  void sinc_frame(uint64_t cursor, float cutoff, bool looping, float* out) const;
  uint32_t render(uint64_t& cursor, uint32_t frames, uint32_t rate, bool looping, bool& ended);
  void mix(float* out, uint32_t frames, uint32_t rate);

  PcmFormat format_;
  std::vector<uint8_t> data_;
  uint32_t frames_;
  std::atomic<uint64_t> control_{0};
  std::atomic<int32_t> volume_{0};
  std::atomic<int32_t> pan_{0};
  std::atomic<uint32_t> frequency_;
  std::atomic<EffectChain*> effects_{nullptr};
  std::atomic<bool> mixing_{false};  // the device thread is inside mix_into

  // Device thread only.
  std::vector<float> scratch_;
  float gain_left_ = 0, gain_right_ = 0;
  bool was_playing_ = false;
};

}  // namespace zelt::audio
