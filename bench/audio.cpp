// Sound: mixing 64 playing voices per device block against the block's
// duration (half of them at another frequency, some of those above the
// output rate, and 0, 8 or all 64 with a chain of all eight effects);
// Microsoft ADPCM decoding against real time; Ogg Vorbis decoding against
// oggdec on the same file; and the latency from starting a voice to its
// sound at the device.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/effects/effect.h"
#include "audio/mixer.h"
#include "audio/sound_source.h"
#include "audio/voice.h"
#include "platform/audio_device.h"

namespace {

using namespace zelt::audio;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = zelt::platform::kAudioRate, kBlock = zelt::platform::kAudioBlockFrames;

// Every effect at its default settings.
std::array<EffectRecord, kEffectKinds> default_records() {
  std::array<EffectRecord, kEffectKinds> records{};
  for (uint32_t k = 0; k < kEffectKinds; ++k)
    for (uint32_t i = 0; i < kEffectKindInfo[k].words; ++i) {
      const EffectField& f = kEffectKindInfo[k].fields[i];
      records[k][i] = f.type == EffectField::kFloat ? std::bit_cast<uint32_t>(f.fallback)
                                                    : static_cast<uint32_t>(f.fallback);
    }
  return records;
}

// range(0): how many voices run all eight effects.
void BM_Mix64Voices(benchmark::State& state) {
  Mixer mixer(kRate);
  const auto records = default_records();
  std::vector<std::unique_ptr<Voice>> voices;
  for (uint32_t i = 0; i < kSlotInputs; ++i) {
    const PcmFormat f{static_cast<uint16_t>(1 + i % 2), i % 3 ? 44100u : 48000u, 16};
    auto v = std::make_unique<Voice>(f, f.bytes_per_second());
    auto* pcm = reinterpret_cast<int16_t*>(v->data());
    for (uint32_t k = 0; k < v->size() / 2; ++k) pcm[k] = static_cast<int16_t>(8000 * std::sin(k * 0.05 + i));
    // Half at another frequency: three in four of those slower, one faster than the output.
    if (i % 2) v->set_frequency(i % 8 == 7 ? f.rate * 3 / 2 : f.rate * 3 / 4 + i * 100);
    if (i < static_cast<uint32_t>(state.range(0))) v->set_effects(make_effect_chain(0xFF, records, kRate));
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
BENCHMARK(BM_Mix64Voices)->ArgName("with_effects")->Arg(0)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);

// One minute of stereo ADPCM at 44.1 kHz, made here: blocks of 1024 bytes
// with codes that keep the predictor busy.
std::vector<uint8_t> adpcm_file(uint32_t seconds) {
  constexpr uint32_t kAlign = 1024, kSpb = 1012, kFileRate = 44100;
  const uint32_t blocks = seconds * kFileRate / kSpb;
  std::string f = "RIFF....WAVEfmt ";
  auto put = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) f += static_cast<char>(v >> (8 * i));
  };
  put(50, 4);
  put(2, 2), put(2, 2), put(kFileRate, 4), put(kFileRate * kAlign / kSpb, 4), put(kAlign, 2), put(4, 2), put(32, 2);
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

bool have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Two minutes of stereo music-like sound at 44.1 kHz in Ogg Vorbis, made
// once with sox and oggenc and removed at exit; empty when they are not
// installed.
struct TempOgg {
  std::string path;
  TempOgg() {
    if (!have("sox") || !have("oggenc")) return;
    const std::string p = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/zelt_bench_ogg_" +
                          std::to_string(::getpid());
    const std::string make = "sox -D -n -r 44100 -c 2 -b 16 " + p + ".wav synth 120 pinknoise synth sine amod 3 " +
                             "vol 0.5 && oggenc -Q -q 5 -o " + p + ".ogg " + p + ".wav";
    const bool ok = std::system(make.c_str()) == 0;
    std::remove((p + ".wav").c_str());
    if (ok) path = p + ".ogg";
  }
  ~TempOgg() {
    if (!path.empty()) std::remove(path.c_str());
  }
};

double cpu_seconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// oggdec's processor time for the same file (best of three), in seconds:
// the machine may be busy, so processor time compares fairer than the clock.
double oggdec_seconds(const std::string& file) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    if (std::system(("oggdec -Q -o /dev/null " + file).c_str()) != 0) return 0;
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const rusage& r) {
      return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
             static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    best = std::min(best, seconds(after) - seconds(before));
  }
  return best;
}

void BM_OggDecode(benchmark::State& state) {
  static const TempOgg ogg;
  const std::string& file = ogg.path;
  if (file.empty() || !have("oggdec")) {
    state.SkipWithError("sox and vorbis-tools are not installed");
    return;
  }
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
  std::vector<uint8_t> buf(1 << 16);
  double best = 1e9, seconds = 0;
  for (auto _ : state) {
    const double t0 = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
    SoundSource s;
    s.open_image(image);
    while (s.read(buf.data(), static_cast<uint32_t>(buf.size())) == buf.size()) {
    }
    best = std::min(best, cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - t0);
    seconds += s.length_ms() / 1000.0;
  }
  // Both decode to 16-bit PCM (oggdec also writes it, to /dev/null), in
  // processor seconds.
  const double theirs = oggdec_seconds(file);
  state.counters["x_real_time"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
  state.counters["zelt_s"] = best;
  state.counters["oggdec_s"] = theirs;
  state.counters["zelt_over_oggdec"] = theirs > 0 ? best / theirs : 0;
}
BENCHMARK(BM_OggDecode)->Unit(benchmark::kMillisecond)->Iterations(3);

// From a voice's start to its first sample in a block handed to the device:
// the device (the clock device, paced as a sound card is, with the default
// block size) renders a block whenever the last one has been played, so the
// wait is up to one block; the sound is heard once the block queued ahead of
// it has played, one block more. Each iteration starts at a random moment.
struct LatencyProbe {
  Mixer* mixer;
  std::atomic<bool> armed{false};
  std::atomic<int64_t> heard_ns{0};
};

void probe_render(void* user, float* out, uint32_t frames) {
  auto* p = static_cast<LatencyProbe*>(user);
  const auto now = Clock::now().time_since_epoch();
  p->mixer->render(out, frames);
  if (p->armed.load(std::memory_order_acquire) && out[0] != 0.0f) {
    p->heard_ns.store(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(), std::memory_order_release);
    p->armed.store(false, std::memory_order_release);
  }
}

void BM_PlayToDeviceLatency(benchmark::State& state) {
  Mixer mixer(kRate);
  const PcmFormat f{1, kRate, 16};
  Voice voice(f, f.bytes_per_second());
  auto* pcm = reinterpret_cast<int16_t*>(voice.data());
  for (uint32_t k = 0; k < voice.size() / 2; ++k) pcm[k] = 10000;
  mixer.attach(0, &voice);
  LatencyProbe probe{&mixer};
  auto device = zelt::platform::audio_clock_device_open(probe_render, &probe);
  device->start();
  std::mt19937 random(1);
  double total = 0, worst = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    voice.stop();
    voice.set_position(0);
    probe.armed.store(true, std::memory_order_release);
    const auto t0 = Clock::now();
    voice.play(true);
    while (probe.armed.load(std::memory_order_acquire)) std::this_thread::sleep_for(std::chrono::microseconds(100));
    const double wait = (probe.heard_ns.load() - std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                     t0.time_since_epoch()).count()) / 1e6;
    const double latency = std::max(0.0, wait) + 1000.0 * kBlock / kRate;
    state.SetIterationTime(latency / 1000.0);
    total += latency;
    worst = std::max(worst, latency);
  }
  device.reset();
  mixer.detach(0);
  state.counters["mean_ms"] = total / static_cast<double>(state.iterations());
  state.counters["worst_ms"] = worst;
  state.counters["block_ms"] = 1000.0 * kBlock / kRate;
}
BENCHMARK(BM_PlayToDeviceLatency)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace
