#include "platform/audio_device.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/backends.h"

namespace zelt::platform {
namespace {

class SdlAudioDevice final : public AudioDevice {
 public:
  SdlAudioDevice(AudioRender render, void* user) : render_(render), user_(user) {}
  ~SdlAudioDevice() override {
    if (id_) SDL_CloseAudioDevice(id_);
    if (inited_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool open(std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      *error = SDL_GetError();
      return false;
    }
    inited_ = true;
    SDL_AudioSpec want{}, have{};
    want.freq = kAudioRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kAudioBlockFrames;
    want.callback = callback;
    want.userdata = this;
    id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (!id_) {
      *error = SDL_GetError();
      return false;
    }
    rate_ = static_cast<uint32_t>(have.freq);
    block_ = have.samples;
    return true;
  }
  uint32_t rate() const override { return rate_; }
  uint32_t block_frames() const override { return block_; }
  void start() override { SDL_PauseAudioDevice(id_, 0); }
  void stop() override { SDL_PauseAudioDevice(id_, 1); }

 private:
  static void callback(void* self, Uint8* stream, int len) {
    auto* d = static_cast<SdlAudioDevice*>(self);
    d->render_(d->user_, reinterpret_cast<float*>(stream), static_cast<uint32_t>(len) / (2 * sizeof(float)));
  }

  AudioRender render_;
  void* user_;
  bool inited_ = false;
  SDL_AudioDeviceID id_ = 0;
  uint32_t rate_ = kAudioRate;
  uint32_t block_ = kAudioBlockFrames;
};

// Renders a block whenever the clock says one has been played: the same
// pace a device keeps, without one.
class ClockAudioDevice final : public AudioDevice {
 public:
  ClockAudioDevice(AudioRender render, void* user)
      : render_(render), user_(user), buffer_(2 * kAudioBlockFrames), thread_([this] { run(); }) {}
  ~ClockAudioDevice() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  uint32_t rate() const override { return kAudioRate; }
  uint32_t block_frames() const override { return kAudioBlockFrames; }
  void start() override {
    {
      std::lock_guard lock(mutex_);
      running_ = true;
    }
    wake_.notify_all();
  }
  void stop() override {
    std::lock_guard lock(mutex_);
    running_ = false;
  }

 private:
  void run() {
    using Clock = std::chrono::steady_clock;
    const auto block = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(kAudioBlockFrames) / kAudioRate));
    std::unique_lock lock(mutex_);
    Clock::time_point due{};
    uint64_t blocks = 0;
    for (;;) {
      wake_.wait(lock, [this] { return quit_ || running_; });
      if (quit_) return;
      if (due == Clock::time_point{}) {
        due = Clock::now();
        blocks = 0;
      }
      lock.unlock();
      render_(user_, buffer_.data(), kAudioBlockFrames);
      ++blocks;
      lock.lock();
      // The next block is due when this one has been heard; a late start
      // (the machine was busy) catches up without drifting.
      const Clock::time_point next = due + block * static_cast<int64_t>(blocks);
      wake_.wait_until(lock, next, [this] { return quit_ || !running_; });
      if (!running_) due = {};
    }
  }

  AudioRender render_;
  void* user_;
  std::vector<float> buffer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool running_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<AudioDevice> audio_clock_device_open(AudioRender render, void* user) {
  return std::make_unique<ClockAudioDevice>(render, user);
}

const AudioBackend kSdlAudioBackend{[](AudioRender render, void* user, std::string* error) {
  auto d = std::make_unique<SdlAudioDevice>(render, user);
  std::unique_ptr<AudioDevice> opened;
  if (d->open(error)) opened = std::move(d);
  return opened;
}};

const AudioBackend kClockAudioBackend{
    [](AudioRender render, void* user, std::string*) { return audio_clock_device_open(render, user); }};

}  // namespace zelt::platform
