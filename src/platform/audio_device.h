// The audio output: one stream of float stereo frames pulled from a render
// function in blocks. The desktop device is SDL2 audio at 48 kHz (or the
// rate the device insists on); the headless device renders the same blocks
// on a thread of its own, paced by the clock as a sound card would pace it.
// The render function runs on the device's thread: it must not block, take
// locks held for long, or allocate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zelt::platform {

// Fills frames × 2 interleaved floats (left, right).
using AudioRender = void (*)(void* user, float* out, uint32_t frames);

inline constexpr uint32_t kAudioRate = 48000;
// 512 frames: 10.7 ms a block at 48 kHz.
inline constexpr uint32_t kAudioBlockFrames = 512;

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  virtual uint32_t rate() const = 0;
  virtual uint32_t block_frames() const = 0;
  // Rendering begins (resume) or pauses; closing the device stops it for good.
  virtual void start() = 0;
  virtual void stop() = 0;
};

// The chosen backend's device (headless: the clock), or null with a reason.
std::unique_ptr<AudioDevice> audio_device_open(AudioRender render, void* user, std::string* error);
// The clock-paced device, whatever the backend: for runs without a sound card.
std::unique_ptr<AudioDevice> audio_clock_device_open(AudioRender render, void* user);

}  // namespace zelt::platform
