#include "builtins/system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/app.h"
#include "core/config.h"
#include "core/cp932.h"
#include "core/script_messages.h"
#include "files/host_path.h"
#include "gfx/raster/blit.h"
#include "gfx/sprites/sprites.h"
#include "platform/cpu_info.h"
#include "platform/display.h"
#include "platform/system_ui.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace zelt::sys {
namespace {

constexpr const char* kVarNames[kVarCount] = {
    "fullscreen",      "width",           "height",          "depth",       "cpu_clock",
    "cpu_vender",      "cpu_feature_eax", "cpu_feature_ebx", "cpu_feature_ecx", "cpu_feature_edx",
    "os_platform",     "os_major",        "os_minor",        "os_build",    "global_focus",
    "global_sound",    "color_mapping",   "smoothing",       "sp_count",
};

// Time-stamp counter ticks during one second (low 32 bits).
int32_t measure_cpu_clock() {
#if defined(__x86_64__) || defined(__i386__)
  if (!cpu_info().has_tsc()) return 0;
  const uint64_t t0 = __rdtsc();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  return static_cast<int32_t>(static_cast<uint32_t>(__rdtsc() - t0));
#else
  return 0;
#endif
}

// Desktop size and depth; headless runs report the configured screen.
platform::DesktopMode desktop() {
  platform::DesktopMode m;
  if (platform::headless() || !platform::desktop_mode(m)) {
    m = {config().Width, config().Height, 32};
  }
  return m;
}

}  // namespace

int32_t var_index(std::string_view name) {
  for (int i = 0; i < kVarCount; ++i) {
    if (cp932::equal_nocase(name, kVarNames[i])) return i;
  }
  return -1;
}

int32_t get(Var v) {
  const CpuInfo& cpu = cpu_info();
  switch (v) {
    case Var::fullscreen: return app().fullscreen ? 1 : 0;
    case Var::width: return desktop().w;
    case Var::height: return desktop().h;
    case Var::depth: return desktop().depth;
    case Var::cpu_clock: return measure_cpu_clock();
    case Var::cpu_vender: return cpu.vendor;
    case Var::cpu_feature_eax: return static_cast<int32_t>(cpu.eax);
    case Var::cpu_feature_ebx: return static_cast<int32_t>(cpu.ebx);
    case Var::cpu_feature_ecx: return static_cast<int32_t>(cpu.ecx);
    case Var::cpu_feature_edx: return static_cast<int32_t>(cpu.edx);
    case Var::os_platform: return kOsPlatform;
    case Var::os_major: return kOsMajor;
    case Var::os_minor: return kOsMinor;
    case Var::os_build: return kOsBuild;
    case Var::global_focus: return config().GlobalFocus;
    case Var::global_sound: return config().GlobalSound;
    case Var::color_mapping: return gfx::color_mapping();
    case Var::smoothing: return config().Smoothing;
    case Var::sp_count: return gfx::sp_count();
  }
  return 0;
}

int32_t set(Var v, int32_t value) {
  switch (v) {
    case Var::fullscreen:
      if ((value != 0) == app().fullscreen) return 0;
      return script_message_send(ScriptMsg::setsystem_fullscreen, value != 0 ? 1 : 0, 0);
    case Var::global_focus: config().GlobalFocus = value; return 1;
    case Var::global_sound: config().GlobalSound = value; return 1;
    case Var::color_mapping: gfx::set_color_mapping(value); return 1;
    case Var::smoothing: config().Smoothing = value; return 1;
    default: return 0;
  }
}

// ---- Message boxes --------------------------------------------------------------

namespace {

enum Id { kOk = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6, kNo = 7, kTryAgain = 10, kContinue = 11 };

const char* label(int id) {
  switch (id) {
    case kOk: return "OK";
    case kCancel: return "キャンセル";
    case kAbort: return "中止";
    case kRetry: return "再試行";
    case kIgnore: return "無視";
    case kYes: return "はい";
    case kNo: return "いいえ";
    case kTryAgain: return "再実行";
    default: return "続行";
  }
}

}  // namespace

int32_t message_box(uint32_t type, std::string_view caption, std::string_view text) {
  // Button sets of MB_OK .. MB_CANCELTRYCONTINUE; other values show OK.
  static const std::vector<int> kSets[7] = {
      {kOk}, {kOk, kCancel}, {kAbort, kRetry, kIgnore}, {kYes, kNo, kCancel}, {kYes, kNo},
      {kRetry, kCancel}, {kCancel, kTryAgain, kContinue},
  };
  const uint32_t set_index = type & 0xF;
  const std::vector<int>& ids = kSets[set_index < 7 ? set_index : 0];
  size_t default_index = (type >> 8) & 0xF;
  if (default_index >= ids.size()) default_index = 0;
  // Escape closes with Cancel where there is one, OK for a lone OK; else it
  // does nothing, so the box keeps asking.
  int escape = ids.size() == 1 ? kOk : 0;
  for (const int id : ids) {
    if (id == kCancel) escape = kCancel;
  }
  const std::string caption_utf8 = cp932::to_utf8(caption), text_utf8 = cp932::to_utf8(text);
  if (!platform::headless()) {
    std::vector<platform::DialogButton> buttons;
    for (const int id : ids) buttons.push_back({id, label(id)});
    static constexpr platform::DialogIcon kIcons[5] = {platform::DialogIcon::None, platform::DialogIcon::Error,
                                                       platform::DialogIcon::Question, platform::DialogIcon::Warning,
                                                       platform::DialogIcon::Information};
    const uint32_t icon = (type >> 4) & 0xF;
    const int chosen = platform::show_dialog(caption_utf8, text_utf8, kIcons[icon < 5 ? icon : 0], buttons,
                                             default_index, escape);
    if (chosen >= 0) return chosen;
  }
  // Headless (or no box could be shown): the text goes to stderr and the
  // default button answers.
  std::fprintf(stderr, "%s: %s\n", caption_utf8.c_str(), text_utf8.c_str());
  return ids[default_index];
}

// ---- Programs -------------------------------------------------------------------

std::vector<std::string> split_command_line(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < line.size(); ++i) {
      const char c = line[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t n = 0;
        while (i + n < line.size() && line[i + n] == '\\') ++n;
        if (i + n < line.size() && line[i + n] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) arg += '"';
          else quoted = !quoted;
          i += n;
        } else {
          arg.append(n, '\\');
          i += n - 1;
        }
      } else if (c == '"') {
        quoted = !quoted;
      } else {
        arg += c;
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

namespace {

// The program of a command: a path with a separator (or that names a file
// here) goes through host path resolution; a bare name is searched on PATH.
std::string program_path(std::string_view program) {
  const bool has_separator = program.find('\\') != std::string_view::npos || program.find('/') != std::string_view::npos;
  const std::string host = files::host_path(program);
  struct stat st;
  if (has_separator || ::stat(host.c_str(), &st) == 0) return host.find('/') == std::string::npos ? "./" + host : host;
  return cp932::to_utf8(program);
}

bool is_executable_file(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(host.c_str(), X_OK) == 0;
}

}  // namespace

bool exec(std::string_view command_line) {
  std::vector<std::string> args = split_command_line(command_line);
  if (args.empty()) return false;
  args[0] = program_path(args[0]);
  for (size_t i = 1; i < args.size(); ++i) args[i] = cp932::to_utf8(args[i]);
  return platform::spawn_detached(args);
}

bool shell(std::string_view operation, std::string_view file, std::string_view parameters) {
  if (file.empty()) return false;
  const bool open = operation.empty() || cp932::equal_nocase(operation, "open") ||
                    cp932::equal_nocase(operation, "explore");
  if (!open) return false;  // printing and editing have no desktop equivalent here
  const std::string host = files::host_path(file);
  if (is_executable_file(host)) {  // a program: run it with the parameters
    std::vector<std::string> args = split_command_line(parameters);
    for (std::string& a : args) a = cp932::to_utf8(a);
    args.insert(args.begin(), host.find('/') == std::string::npos ? "./" + host : host);
    return platform::spawn_detached(args);
  }
  // A document, folder or address: the desktop's default application.
  struct stat st;
  const std::string target = ::stat(host.c_str(), &st) == 0 ? host : cp932::to_utf8(file);
  return platform::spawn_detached({"xdg-open", target});
}

void wallpaper(std::string_view path, int32_t style) {
  // GNOME-style desktops take the picture through gsettings; elsewhere there
  // is no common way, and nothing happens.
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!bus || !*bus || path.empty()) return;
  std::string host = files::host_path(path);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (host[0] != '/') {
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd)) return;
    host = std::string(cwd) + "/" + host;
  }
  const char* options = (style & 1) ? "wallpaper" : (style & 2) ? "stretched" : "centered";
  platform::spawn_detached({"gsettings", "set", "org.gnome.desktop.background", "picture-options", options});
  platform::spawn_detached({"gsettings", "set", "org.gnome.desktop.background", "picture-uri", "file://" + host});
  platform::spawn_detached({"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", "file://" + host});
}

int32_t fps(uint32_t now_ms) {
  static uint32_t period_start = now_ms, count = 0;
  static int32_t last = 0;
  if (now_ms - period_start < 1000) {
    ++count;
    return last;
  }
  last = static_cast<int32_t>(count);
  period_start = now_ms;
  count = 0;
  return last;
}

}  // namespace zelt::sys
