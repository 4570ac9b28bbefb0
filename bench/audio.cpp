// Sound: mixing 64 playing voices (half of them at another frequency) per
// device block, against the block's duration; and Microsoft ADPCM decoding
// against real time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/mixer.h"
#include "audio/sound_source.h"
#include "audio/voice.h"
#include "platform/audio_device.h"

namespace {

using namespace zelt::audio;

void BM_Mix64Voices(benchmark::State& state) {
  constexpr uint32_t kRate = zelt::platform::kAudioRate, kBlock = zelt::platform::kAudioBlockFrames;
  Mixer mixer(kRate);
  std::vector<std::unique_ptr<Voice>> voices;
  for (uint32_t i = 0; i < kSlotInputs; ++i) {
    const PcmFormat f{static_cast<uint16_t>(1 + i % 2), i % 3 ? 44100u : 48000u, 16};
    auto v = std::make_unique<Voice>(f, f.bytes_per_second());
    auto* pcm = reinterpret_cast<int16_t*>(v->data());
    for (uint32_t k = 0; k < v->size() / 2; ++k) pcm[k] = static_cast<int16_t>(8000 * std::sin(k * 0.05 + i));
    if (i % 2) v->set_frequency(f.rate * 3 / 4 + i * 100);
    v->set_volume(-600);
    v->set_pan(static_cast<int32_t>(i * 100) - 3200);
    v->play(true);
    mixer.attach(i, v.get());
    voices.push_back(std::move(v));
  }
  std::vector<float> out(2 * kBlock);
  for (auto _ : state) {
    mixer.render(out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
  }
  // The time a block takes to mix as a share of the time it plays.
  const double block_seconds = static_cast<double>(kBlock) / kRate;
  state.counters["block_us"] = 1e6 * block_seconds;
  state.counters["share_of_block"] = benchmark::Counter(static_cast<double>(state.iterations()) * block_seconds,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  for (uint32_t i = 0; i < kSlotInputs; ++i) mixer.detach(i);
}
BENCHMARK(BM_Mix64Voices)->Unit(benchmark::kMicrosecond);

// One minute of stereo ADPCM at 44.1 kHz, made here: blocks of 1024 bytes
// with codes that keep the predictor busy.
std::vector<uint8_t> adpcm_file(uint32_t seconds) {
  constexpr uint32_t kAlign = 1024, kSpb = 1012, kRate = 44100;
  const uint32_t blocks = seconds * kRate / kSpb;
  std::string f = "RIFF....WAVEfmt ";
  auto put = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) f += static_cast<char>(v >> (8 * i));
  };
  put(50, 4);
  put(2, 2), put(2, 2), put(kRate, 4), put(kRate * kAlign / kSpb, 4), put(kAlign, 2), put(4, 2), put(32, 2);
  put(kSpb, 2), put(7, 2);
  const int coef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  for (const auto& c : coef) put(static_cast<uint16_t>(c[0]), 2), put(static_cast<uint16_t>(c[1]), 2);
  f += "data";
  put(blocks * kAlign, 4);
  uint32_t seed = 1;
  for (uint32_t b = 0; b < blocks; ++b) {
    std::string block(kAlign, '\0');
    block[0] = static_cast<char>(b % 7), block[1] = static_cast<char>((b + 3) % 7);
    block[2] = 64, block[4] = 64;
    for (uint32_t i = 14; i < kAlign; ++i) block[i] = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    f += block;
  }
  const uint32_t riff = static_cast<uint32_t>(f.size() - 8);
  std::memcpy(&f[4], &riff, 4);
  return {f.begin(), f.end()};
}

void BM_AdpcmDecode(benchmark::State& state) {
  const std::vector<uint8_t> image = adpcm_file(60);
  std::vector<uint8_t> buf(1 << 16);
  double seconds = 0;
  for (auto _ : state) {
    SoundSource s;
    s.open_image(image);
    while (s.read(buf.data(), static_cast<uint32_t>(buf.size())) == buf.size()) {
    }
    seconds += s.length_ms() / 1000.0;
  }
  // Seconds of sound decoded per second of time: the times real time.
  state.counters["x_real_time"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AdpcmDecode)->Unit(benchmark::kMillisecond);

}  // namespace
