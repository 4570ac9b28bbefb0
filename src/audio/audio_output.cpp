#include "audio/audio_output.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "audio/wav_recorder.h"
#include "platform/audio_device.h"

namespace zelt::audio {
namespace {

std::string g_record_path;
std::unique_ptr<Mixer> g_mixer;
std::unique_ptr<WavRecorder> g_recorder;
std::unique_ptr<platform::AudioDevice> g_device;
bool g_device_ok = false;

// What the device renders: the mixer once it exists, silence before.
std::atomic<Mixer*> g_live{nullptr};

void render(void*, float* out, uint32_t frames) {
  if (Mixer* m = g_live.load(std::memory_order_acquire)) m->render(out, frames);
  else std::fill(out, out + 2 * frames, 0.0f);
}

bool output_start() {
  // The device decides the rate; the mixer follows it. A device that
  // cannot be opened leaves the clock, so the run and its recording go on.
  std::string error;
  g_device = platform::audio_device_open(render, nullptr, &error);
  g_device_ok = g_device != nullptr;
  if (!g_device) {
    std::fprintf(stderr, "zelt: no sound device (%s): sound plays unheard\n", error.c_str());
    g_device = platform::audio_clock_device_open(render, nullptr);
  }
  g_mixer = std::make_unique<Mixer>(g_device->rate());
  if (!g_record_path.empty()) {
    g_recorder = std::make_unique<WavRecorder>(g_record_path, g_mixer->rate());
    if (g_recorder->ok()) g_mixer->set_tap(g_recorder.get());
    else std::fprintf(stderr, "zelt: --record-audio %s: cannot write the file\n", g_record_path.c_str());
  }
  g_live.store(g_mixer.get(), std::memory_order_release);
  g_device->start();
  return true;
}

void output_stop() {
  if (!g_device) return;
  g_device->stop();
  g_device.reset();  // no render runs from here on
  g_live.store(nullptr);
  if (g_mixer) g_mixer->set_tap(nullptr);
  g_recorder.reset();
  g_mixer.reset();
}

}  // namespace

void set_record_path(const std::string& path) { g_record_path = path; }
Mixer* output_mixer() { return g_mixer.get(); }
bool output_device_ok() { return g_mixer && g_device_ok; }

const Subsystem kAudioOutputSubsystem{.name = "audio output", .start = output_start, .stop = output_stop};

}  // namespace zelt::audio
