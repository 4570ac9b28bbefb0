#include "audio/wav_recorder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace zelt::audio {
namespace {

constexpr uint64_t kRingFrames = 1 << 19;  // about 11 s at 48 kHz

void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p + 2, v >> 16);
}

void header(uint8_t (&h)[44], uint32_t rate, uint64_t frames) {
  const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(frames * 4, 0xFFFFFFFFu - 36));
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1);
  put16(h + 22, 2);
  put32(h + 24, rate);
  put32(h + 28, rate * 4);
  put16(h + 32, 4);
  put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, data);
}

}  // namespace

WavRecorder::WavRecorder(const std::string& path, uint32_t rate) : rate_(rate) {
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return;
  uint8_t h[44];
  header(h, rate_, 0);
  std::fwrite(h, 1, sizeof h, file_);
  ring_.resize(2 * kRingFrames);
  thread_ = std::thread([this] { run(); });
}

WavRecorder::~WavRecorder() {
  if (!file_) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
  drain();
  uint8_t h[44];
  header(h, rate_, written_frames_);
  std::fseek(file_, 0, SEEK_SET);
  std::fwrite(h, 1, sizeof h, file_);
  std::fclose(file_);
}

// The same rounding for every sample: the recording holds exactly what the
// device was given, at 16 bits.
void WavRecorder::on_block(const float* stereo, uint32_t frames) {
  if (!file_) return;
  uint64_t head = head_.load(std::memory_order_relaxed);
  const uint64_t tail = tail_.load(std::memory_order_acquire);
  const uint64_t room = kRingFrames - (head - tail);
  const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(frames, room));
  for (uint32_t i = 0; i < n; ++i, ++head) {
    const size_t at = 2 * (head & (kRingFrames - 1));
    ring_[at] = static_cast<int16_t>(std::lrint(std::clamp(stereo[2 * i], -1.0f, 1.0f) * 32767.0f));
    ring_[at + 1] = static_cast<int16_t>(std::lrint(std::clamp(stereo[2 * i + 1], -1.0f, 1.0f) * 32767.0f));
  }
  head_.store(head, std::memory_order_release);
  if (n < frames) dropped_.fetch_add(frames - n, std::memory_order_relaxed);
}

void WavRecorder::drain() {
  const uint64_t head = head_.load(std::memory_order_acquire);
  uint64_t tail = tail_.load(std::memory_order_relaxed);
  while (tail < head) {
    const uint64_t at = tail & (kRingFrames - 1);
    const uint64_t n = std::min(head - tail, kRingFrames - at);
    std::fwrite(&ring_[2 * at], 4, n, file_);
    tail += n;
    written_frames_ += n;
  }
  tail_.store(tail, std::memory_order_release);
}

void WavRecorder::run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    wake_.wait_for(lock, std::chrono::milliseconds(50), [this] { return quit_; });
    lock.unlock();
    drain();
    lock.lock();
  }
}

}  // namespace zelt::audio
