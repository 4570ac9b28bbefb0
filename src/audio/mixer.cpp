#include "audio/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "audio/volume_law.h"

namespace zelt::audio {

Mixer::Mixer(uint32_t rate) : rate_(rate) {}

void Mixer::attach(uint32_t place, MixerInput* input) {
  if (place < kMixerInputs) inputs_[place].store(input, std::memory_order_release);
}

void Mixer::detach(uint32_t place) {
  if (place >= kMixerInputs) return;
  // Sequentially consistent with the renderer's epoch step and loads: either
  // its block loads null, or the epoch seen here is odd and is waited out.
  inputs_[place].store(nullptr, std::memory_order_seq_cst);
  const uint64_t seen = epoch_.load(std::memory_order_seq_cst);
  if (seen & 1)
    while (epoch_.load(std::memory_order_acquire) == seen) std::this_thread::yield();
}

void Mixer::set_master(int32_t volume_db, int32_t pan_db) {
  master_volume_.store(volume_db, std::memory_order_relaxed);
  master_pan_.store(pan_db, std::memory_order_relaxed);
}

void Mixer::render_callback(void* self, float* out, uint32_t frames) { static_cast<Mixer*>(self)->render(out, frames); }

void Mixer::render(float* out, uint32_t frames) {
  while (frames > 0) {
    const uint32_t n = std::min(frames, kMaxBlock);
    render_block(out, n);
    out += 2 * n;
    frames -= n;
  }
}

void Mixer::render_block(float* out, uint32_t frames) {
  epoch_.fetch_add(1, std::memory_order_seq_cst);
  std::memset(out, 0, sizeof(float) * 2 * frames);
  for (auto& slot : inputs_)
    if (MixerInput* input = slot.load(std::memory_order_seq_cst)) input->mix_into(out, frames, rate_);
  epoch_.fetch_add(1, std::memory_order_acq_rel);

  // The primary line: master gains, ramped over the block when they change
  // so that a change never clicks; then the guard that keeps a fault in any
  // input (a NaN, a runaway filter) out of the device and the recording.
  float left, right;
  channel_gains(master_volume_.load(std::memory_order_relaxed), master_pan_.load(std::memory_order_relaxed), left, right);
  const float step_left = (left - gain_left_) / static_cast<float>(frames);
  const float step_right = (right - gain_right_) / static_cast<float>(frames);
  const bool ramp = left != gain_left_ || right != gain_right_;
  for (uint32_t i = 0; i < frames; ++i) {
    const float gl = ramp ? gain_left_ + step_left * static_cast<float>(i + 1) : left;
    const float gr = ramp ? gain_right_ + step_right * static_cast<float>(i + 1) : right;
    float l = out[2 * i] * gl, r = out[2 * i + 1] * gr;
    if (!std::isfinite(l)) l = 0;
    if (!std::isfinite(r)) r = 0;
    out[2 * i] = std::clamp(l, -1.0f, 1.0f);
    out[2 * i + 1] = std::clamp(r, -1.0f, 1.0f);
  }
  gain_left_ = left;
  gain_right_ = right;
  if (MixTap* tap = tap_.load(std::memory_order_acquire)) tap->on_block(out, frames);
  rendered_.fetch_add(frames, std::memory_order_acq_rel);
}

}  // namespace zelt::audio
