// The mixer: every sound the runtime plays is one input of it (the 64 sound
// slots' voices, and lines for MIDI, CD audio and video), mixed in float
// stereo at the output rate, scaled by the master volume and pan (the
// primary line) and handed to the audio device, and to the recording when
// one is made.
//
// Threads: inputs are attached, detached and controlled from any thread
// through atomics; the device thread renders. Rendering takes no lock and
// allocates nothing; detaching waits at most for the block being rendered.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace zelt::audio {

// One source of sound in the mix. mix_into adds frames of float stereo at
// the given rate into out; it runs on the device thread only.
class MixerInput {
 public:
  virtual ~MixerInput() = default;
  virtual void mix_into(float* out, uint32_t frames, uint32_t rate) = 0;
};

// Where each input plugs in: the sound slots first, then the lines of the
// other players.
inline constexpr uint32_t kSlotInputs = 64;
inline constexpr uint32_t kMidiLine = 64;
inline constexpr uint32_t kCdLine = 65;
inline constexpr uint32_t kVideoLine = 66;
inline constexpr uint32_t kMixerInputs = 67;

// Receives every mixed block as it goes to the device (device thread).
class MixTap {
 public:
  virtual ~MixTap() = default;
  virtual void on_block(const float* stereo, uint32_t frames) = 0;
};

class Mixer {
 public:
  static constexpr uint32_t kMaxBlock = 4096;

  explicit Mixer(uint32_t rate);
  uint32_t rate() const { return rate_; }

  // Puts input at a place (replacing nothing: the place must be free) or
  // takes it out; after detach returns the input is no longer used.
  void attach(uint32_t place, MixerInput* input);
  void detach(uint32_t place);

  // The primary line, in hundredths of a decibel.
  void set_master(int32_t volume_db, int32_t pan_db);
  int32_t master_volume() const { return master_volume_.load(std::memory_order_relaxed); }
  int32_t master_pan() const { return master_pan_.load(std::memory_order_relaxed); }

  void set_tap(MixTap* tap) { tap_.store(tap); }

  // Device thread: the next frames of the mix, finite and within -1..1.
  void render(float* out, uint32_t frames);
  static void render_callback(void* self, float* out, uint32_t frames);

  // Frames rendered so far (the device's clock).
  uint64_t frames_rendered() const { return rendered_.load(std::memory_order_acquire); }

 private:
  void render_block(float* out, uint32_t frames);

  uint32_t rate_;
  std::array<std::atomic<MixerInput*>, kMixerInputs> inputs_{};
  std::atomic<int32_t> master_volume_{0};
  std::atomic<int32_t> master_pan_{0};
  std::atomic<MixTap*> tap_{nullptr};
  // Odd while a block is rendered: detach waits for it to turn.
  std::atomic<uint64_t> epoch_{0};
  std::atomic<uint64_t> rendered_{0};
  float gain_left_ = 1.0f, gain_right_ = 1.0f;  // device thread
};

}  // namespace zelt::audio
