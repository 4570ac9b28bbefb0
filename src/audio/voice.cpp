#include "audio/voice.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "audio/sinc_table.h"
#include "audio/volume_law.h"

namespace zelt::audio {

Voice::Voice(const PcmFormat& format, uint32_t bytes)
    : format_(format),
      data_(bytes - bytes % format.block_align(), format.bits == 8 ? 0x80 : 0),
      frames_(static_cast<uint32_t>(data_.size() / format.block_align())),
      frequency_(format.rate),
      scratch_(2 * Mixer::kMaxBlock) {}

Voice::~Voice() { delete effects_.load(); }

void Voice::set_effects(std::unique_ptr<EffectChain> chain) {
  // Sequentially consistent on both sides: a block that has not announced
  // itself yet will load the new chain, one that has is waited for.
  EffectChain* old = effects_.exchange(chain.release(), std::memory_order_seq_cst);
  while (mixing_.load(std::memory_order_seq_cst)) std::this_thread::yield();
  delete old;
}

template <class Change>
void Voice::update(Change change) {
  uint64_t w = control_.load(std::memory_order_acquire);
  while (!control_.compare_exchange_weak(w, change(w), std::memory_order_acq_rel)) {
  }
}

void Voice::play(bool looping) {
  update([&](uint64_t w) {
    const uint64_t run = static_cast<uint64_t>((run_generation(w) + 1) & 31) << kRunShift;
    return (w & ~(kPlaying | kLooping | (uint64_t{31} << kRunShift))) | kPlaying | (looping ? kLooping : 0) | run;
  });
}

void Voice::stop() {
  update([](uint64_t w) {
    const uint64_t run = static_cast<uint64_t>((run_generation(w) + 1) & 31) << kRunShift;
    return (w & ~(kPlaying | kLooping | (uint64_t{31} << kRunShift))) | run;
  });
}

uint32_t Voice::position() const {
  const uint64_t cursor = control_.load(std::memory_order_acquire) & kCursorMask;
  return static_cast<uint32_t>(cursor >> (kFraction - kCursorShift)) * format_.block_align();
}

void Voice::set_position(uint32_t byte) {
  const uint64_t frame = std::min<uint64_t>(byte / format_.block_align(), frames_);
  update([&](uint64_t w) {
    const uint64_t seek = static_cast<uint64_t>((seek_generation(w) + 1) & 31) << kSeekShift;
    return (w & ~(kCursorMask | (uint64_t{31} << kSeekShift))) | (frame << (kFraction - kCursorShift)) | seek;
  });
}

// One channel of one frame as a float; frames outside the buffer wrap in a
// loop and are silence otherwise.
float Voice::sample(int64_t frame, uint32_t channel, bool looping) const {
  if (frame < 0 || frame >= frames_) {
    if (!looping || frames_ == 0) return 0.0f;
    frame %= frames_;
    if (frame < 0) frame += frames_;
  }
  const size_t at = static_cast<size_t>(frame) * format_.block_align() +
                    (format_.channels == 2 ? channel : 0) * (format_.bits / 8);
  if (format_.bits == 8) return (static_cast<float>(data_[at]) - 128.0f) * (1.0f / 128.0f);
  int16_t v;
  std::memcpy(&v, &data_[at], 2);
  return static_cast<float>(v) * (1.0f / 32768.0f);
}

void Voice::frame_at(int64_t frame, bool looping, float& left, float& right) const {
  left = sample(frame, 0, looping);
  right = format_.channels == 2 ? sample(frame, 1, looping) : left;
}

// One output frame at cursor by band-limited interpolation: the windowed
// sinc stretched to the cutoff (in cycles of the input's Nyquist
// frequency), summed over the input frames on both sides of the cursor.
void Voice::sinc_frame(uint64_t cursor, float cutoff, bool looping, float* out) const {
  const int64_t frame = static_cast<int64_t>(cursor >> kFraction);
  const float frac = static_cast<float>(static_cast<uint32_t>(cursor)) * (1.0f / 4294967296.0f);
  float sum_left = 0, sum_right = 0, l, r;
  for (int64_t k = 0;; ++k) {  // the cursor's frame and those before it
    const float t = cutoff * (frac + static_cast<float>(k));
    if (t >= static_cast<float>(kSincZeros)) break;
    const float w = sinc_at(t);
    frame_at(frame - k, looping, l, r);
    sum_left += w * l, sum_right += w * r;
  }
  for (int64_t k = 0;; ++k) {  // those after it
    const float t = cutoff * (1.0f - frac + static_cast<float>(k));
    if (t >= static_cast<float>(kSincZeros)) break;
    const float w = sinc_at(t);
    frame_at(frame + 1 + k, looping, l, r);
    sum_left += w * l, sum_right += w * r;
  }
  out[0] = cutoff * sum_left;
  out[1] = cutoff * sum_right;
}

// Resamples into scratch_. At the buffer's own rate equal to the mixer's the
// samples pass unchanged. Played faster than the output rate, the buffer
// holds frequencies the output cannot: a windowed-sinc low-pass at the
// output's Nyquist frequency removes them before they could fold back as
// aliases. Slower, a four-point cubic (Catmull-Rom) interpolation, which
// keeps the images of tones well below the Nyquist frequency some 40 dB
// lower than linear interpolation does, at a fraction of the sinc's cost.
// Returns the frames written; ended tells that a one-shot buffer ran out.
uint32_t Voice::render(uint64_t& cursor, uint32_t frames, uint32_t rate, bool looping, bool& ended) {
  const uint32_t frequency = frequency_.load(std::memory_order_relaxed);
  const uint64_t step = (static_cast<uint64_t>(frequency) << kFraction) / rate;
  const bool band_limit = frequency > rate;
  const float cutoff = kSincCutoff * static_cast<float>(rate) / static_cast<float>(frequency);
  const uint64_t end = static_cast<uint64_t>(frames_) << kFraction;
  const uint32_t channels = format_.channels;
  ended = false;
  uint32_t i = 0;
  for (; i < frames; ++i) {
    if (cursor >= end) {
      if (!looping || frames_ == 0) {
        ended = true;
        break;
      }
      cursor %= end;
    }
    if (band_limit) {
      sinc_frame(cursor, cutoff, looping, &scratch_[2 * i]);
      cursor += step;
      continue;
    }
    const int64_t frame = static_cast<int64_t>(cursor >> kFraction);
    const uint32_t frac = static_cast<uint32_t>(cursor);
    for (uint32_t c = 0; c < 2; ++c) {
      const uint32_t ch = channels == 2 ? c : 0;
      float v;
      if (frac == 0) {
        v = sample(frame, ch, looping);
      } else {
        const float t = static_cast<float>(frac) * (1.0f / 4294967296.0f);
        const float y0 = sample(frame - 1, ch, looping), y1 = sample(frame, ch, looping);
        const float y2 = sample(frame + 1, ch, looping), y3 = sample(frame + 2, ch, looping);
        v = y1 + 0.5f * t * (y2 - y0 + t * (2.0f * y0 - 5.0f * y1 + 4.0f * y2 - y3 + t * (3.0f * (y1 - y2) + y3 - y0)));
      }
      scratch_[2 * i + c] = v;
    }
    cursor += step;
  }
  return i;
}

void Voice::mix_into(float* out, uint32_t frames, uint32_t rate) {
  mixing_.store(true, std::memory_order_seq_cst);
  mix(out, frames, rate);
  mixing_.store(false, std::memory_order_release);
}

void Voice::mix(float* out, uint32_t frames, uint32_t rate) {
  const uint64_t start = control_.load(std::memory_order_acquire);
  if (!(start & kPlaying)) {
    was_playing_ = false;
    return;
  }
  const bool looping = start & kLooping;
  uint64_t cursor = (start & kCursorMask) << kCursorShift;
  bool ended = false;
  const uint32_t n = render(cursor, frames, rate, looping, ended);
  if (EffectChain* chain = effects_.load(std::memory_order_seq_cst)) chain->process(scratch_.data(), n);

  float left, right;
  channel_gains(volume_.load(std::memory_order_relaxed), pan_.load(std::memory_order_relaxed), left, right);
  // A change while playing is ramped over the block; a start is not, so the
  // first sample sounds at once and exactly.
  if (!was_playing_) gain_left_ = left, gain_right_ = right;
  const float step_left = (left - gain_left_) / static_cast<float>(frames);
  const float step_right = (right - gain_right_) / static_cast<float>(frames);
  for (uint32_t i = 0; i < n; ++i) {
    const float gl = gain_left_ + step_left * static_cast<float>(i + 1);
    const float gr = gain_right_ + step_right * static_cast<float>(i + 1);
    out[2 * i] += scratch_[2 * i] * (step_left == 0 ? left : gl);
    out[2 * i + 1] += scratch_[2 * i + 1] * (step_right == 0 ? right : gr);
  }
  gain_left_ = left;
  gain_right_ = right;
  was_playing_ = !ended;

  // The cursor moves on unless the owner moved it meanwhile; a one-shot
  // buffer that ran out stops unless it was started or stopped meanwhile.
  const uint64_t end = static_cast<uint64_t>(frames_) << kFraction;
  if (cursor >= end) cursor = looping && end ? cursor % end : end;
  uint64_t w = start;
  for (;;) {
    uint64_t next = w;
    if (seek_generation(w) == seek_generation(start)) next = (next & ~kCursorMask) | (cursor >> kCursorShift);
    if (ended && run_generation(w) == run_generation(start)) next &= ~(kPlaying | kLooping);
    if (next == w || control_.compare_exchange_weak(w, next, std::memory_order_acq_rel)) break;
  }
}

}  // namespace zelt::audio
