#include "platform/backends.h"

#include <atomic>

#include "platform/display.h"

namespace zelt::platform {
namespace {

constexpr Backends kRows[] = {
    {"desktop", false, &kSdlWindowBackend, &kSdlAudioBackend},
    {"headless", true, &kHeadlessWindowBackend, &kClockAudioBackend},
};

std::atomic<const Backends*> g_chosen{&kRows[0]};

}  // namespace

const Backends& backends() { return *g_chosen.load(std::memory_order_relaxed); }

void set_headless(bool headless) {
  for (const Backends& row : kRows)
    if (row.headless == headless) g_chosen.store(&row);
}
bool headless() { return backends().headless; }

WindowSize screen_size() { return backends().window->screen_size(); }
std::vector<WindowSize> display_modes() { return backends().window->display_modes(); }
std::unique_ptr<Window> window_create(const WindowSpec& spec) { return backends().window->create(spec); }
void window_pump(WindowEvents& events, int timeout_ms) { backends().window->pump(events, timeout_ms); }
void window_wake() { backends().window->wake(); }
void window_inject(const UserEvent& e) { backends().window->inject(e); }
std::unique_ptr<AudioDevice> audio_device_open(AudioRender render, void* user, std::string* error) {
  return backends().audio->open(render, user, error);
}

}  // namespace zelt::platform
