// The platform backends of one run, chosen once at start-up from a table:
// the real devices of a desktop, or headless ones that keep everything in
// memory and behave the same. The interfaces (window.h and those to come:
// renderer, audio device, synth, video decoder, font face, socket) call
// through the chosen row instead of asking headless() in every function.
#pragma once

#include <memory>
#include <vector>

#include "platform/audio_device.h"
#include "platform/window.h"

namespace zelt::platform {

// The window layer's entry points (window.h's free functions).
struct WindowBackend {
  WindowSize (*screen_size)();
  std::vector<WindowSize> (*display_modes)();
  std::unique_ptr<Window> (*create)(const WindowSpec& spec);
  void (*pump)(WindowEvents& events, int timeout_ms);
  void (*wake)();
  void (*inject)(const UserEvent& e);
};

// The audio device layer's entry point (audio_device_open).
struct AudioBackend {
  std::unique_ptr<AudioDevice> (*open)(AudioRender render, void* user, std::string* error);
};

struct Backends {
  const char* name;
  bool headless;
  const WindowBackend* window;
  const AudioBackend* audio;
};

extern const WindowBackend kSdlWindowBackend;
extern const WindowBackend kHeadlessWindowBackend;
extern const AudioBackend kSdlAudioBackend;
extern const AudioBackend kClockAudioBackend;

// The backends chosen by set_headless (display.h); the desktop row until then.
const Backends& backends();

}  // namespace zelt::platform
