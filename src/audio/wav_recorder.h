// --record-audio: every block the mixer hands to the device, as 16-bit
// stereo PCM at the mixer's rate, in a WAV file. The device thread only
// copies into a ring; a writer thread of its own does the file work, so the
// device never waits on the disk.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/mixer.h"

namespace zelt::audio {

class WavRecorder final : public MixTap {
 public:
  // Null-equivalent (ok() false) when the file cannot be made.
  WavRecorder(const std::string& path, uint32_t rate);
  ~WavRecorder() override;  // writes the rest and completes the header
  bool ok() const { return file_ != nullptr; }
  // Frames lost because the writer fell a whole ring behind.
  uint64_t dropped() const { return dropped_.load(); }

  void on_block(const float* stereo, uint32_t frames) override;

 private:
  void run();
  void drain();

  std::FILE* file_ = nullptr;
  uint32_t rate_;
  uint64_t written_frames_ = 0;
  std::vector<int16_t> ring_;  // interleaved; a power of two of frames
  std::atomic<uint64_t> head_{0}, tail_{0};  // frames
  std::atomic<uint64_t> dropped_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace zelt::audio
