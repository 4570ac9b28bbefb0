#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include "platform/system_ui.h"

extern char** environ;

namespace zelt::platform {

extern SDL_Window* g_owner;  // the frame window (sdl_display.cpp)

bool desktop_mode(DesktopMode& mode) {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
  SDL_DisplayMode m;
  if (SDL_GetDesktopDisplayMode(0, &m) != 0) return false;
  mode.w = m.w;
  mode.h = m.h;
  // 24-bit colour sits in 32-bit pixels on the desktop, as the platform counts it.
  mode.depth = SDL_BITSPERPIXEL(m.format) == 24 ? 32 : static_cast<int>(SDL_BITSPERPIXEL(m.format));
  return true;
}

int show_dialog(const std::string& caption_utf8, const std::string& text_utf8, DialogIcon icon,
                const std::vector<DialogButton>& buttons, size_t default_index, int escape_id) {
  std::vector<SDL_MessageBoxButtonData> data;
  for (size_t i = 0; i < buttons.size(); ++i) {
    Uint32 flags = 0;
    if (i == default_index) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    if (buttons[i].id == escape_id) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    data.push_back({flags, buttons[i].id, buttons[i].label_utf8.c_str()});
  }
  Uint32 flags = 0;
  if (icon == DialogIcon::Error) flags = SDL_MESSAGEBOX_ERROR;
  else if (icon == DialogIcon::Warning) flags = SDL_MESSAGEBOX_WARNING;
  else if (icon != DialogIcon::None) flags = SDL_MESSAGEBOX_INFORMATION;
  const SDL_MessageBoxData box{flags, g_owner, caption_utf8.c_str(), text_utf8.c_str(),
                               static_cast<int>(data.size()), data.data(), nullptr};
  int chosen = -1;
  if (SDL_ShowMessageBox(&box, &chosen) != 0) return -1;
  return chosen < 0 ? escape_id : chosen;
}

bool set_frame_caption(const std::string& caption_utf8) {
  if (!g_owner) return false;
  SDL_SetWindowTitle(g_owner, caption_utf8.c_str());
  return true;
}

bool spawn_detached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);  // its own session: not stopped with us
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  std::thread([pid] {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

}  // namespace zelt::platform
