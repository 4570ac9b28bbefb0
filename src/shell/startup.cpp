#include "shell/startup.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "audio/audio_output.h"
#include "builtins/builtins_subsystems.h"
#include "builtins/handlers.h"
#include "core/config.h"
#include "core/debug_output.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "core/script_memory.h"
#include "core/script_messages.h"
#include "files/host_path.h"
#include "gfx/raster/blitter.h"
#include "gfx/raster/parallel_rows.h"
#include "input/input_events.h"
#include "platform/display.h"
#include "platform/message_box.h"
#include "platform/signals.h"
#include "platform/window.h"
#include "script/host/host.h"
#include "script/vm/extern_area.h"
#include "shell/cd_location.h"
#include "shell/config_file.h"
#include "shell/debug_window.h"
#include "shell/frame.h"
#include "shell/single_instance.h"
#include "shell/subsystem_list.h"

namespace zelt {
namespace {

bool is_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates folder unless it exists; false when it neither exists nor can be made.
bool ensure_folder(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return ::mkdir(path.c_str(), 0755) == 0;
}

// A configuration file in the program folder, found like any title file.
std::string program_file(const AppState& a, const std::string& utf8_name) {
  const std::string resolved = files::host_path(cp932::from_utf8(utf8_name));
  return resolved.empty() || resolved[0] == '/' ? resolved : a.program_folder + resolved;
}

// The per-user folder name for Product; "" when Product cannot name one
// folder (separators, "." or "..").
std::string product_folder_name(const std::string& product) {
  const std::string name = cp932::to_utf8(product);
  if (name == "." || name == ".." || name.find('/') != std::string::npos ||
      cp932::find_char(product, '\\') != std::string::npos)
    return "";
  return name;
}

// A windowed run shows messages in a box (stderr when none can be shown).
int message_box_sink(std::string_view text, std::string_view caption) {
  if (platform::show_message_box(cp932::to_utf8(caption), cp932::to_utf8(text))) return kIdOk;
  return print_message(text, caption);
}

// How long a close that cannot wait (the display is gone) gives the script
// threads to end before it saves what they have and ends the process.
constexpr auto kEndGrace = std::chrono::seconds(2);

// The display is gone: nothing can be shown or asked any more. The scripts
// stop (those that end within the grace period free their memory, writing
// the system file if it lies there), the system file and the configuration
// are saved, and the process ends with code 1.
[[noreturn]] void close_after_display_lost() {
  set_message_sink(print_message);
  std::fprintf(stderr, "zelt: the connection to the display was lost\n");
  script_messages_uninstall();
  script_threads_end_by(std::chrono::steady_clock::now() + kEndGrace);
  kSystemFileSubsystem.reset();
  config_write_back(app().active_config, app().fullscreen);
  std::fflush(nullptr);
  ::_exit(1);
}

// The main loop: the frame's event loop, real or headless. Returns the exit
// code: 128 + the signal's number after a termination signal, else 1 when
// the screenshot could not be written, else 0. `stuck` tells that a script
// thread did not end.
int run_main_loop(bool& stuck, const RunOptions& options, input::InputEventPlayer* replay,
                  const std::string& screenshot) {
  using Clock = std::chrono::steady_clock;
  FrameRunOptions run;
  if (options.timeout_seconds > 0)
    run.until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(options.timeout_seconds));
  run.replay = replay;
  run.screenshot = screenshot;
  const FrameRunEnd end = frame_run(run);
  stuck = end.stuck;
  if (end.time_up) std::fprintf(stderr, "zelt: time is up (--timeout %g)\n", options.timeout_seconds);
  if (end.signal) std::fprintf(stderr, "zelt: ended by signal %d (%s)\n", end.signal, strsignal(end.signal));
  const int code = end.signal ? 128 + end.signal : 0;
  if (end.screenshot_error.empty()) return code;
  std::fprintf(stderr, "zelt: --screenshot %s: %s\n", screenshot.c_str(), end.screenshot_error.c_str());
  return code ? code : 1;
}

}  // namespace

void openmp_wait_passively(char** argv) {
  if (std::getenv("OMP_WAIT_POLICY") || std::getenv("GOMP_SPINCOUNT") || std::getenv("KMP_BLOCKTIME")) return;
  if (!gfx::rows_use_openmp() || ::setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;
  ::execv("/proc/self/exe", argv);
  // Still here: the run goes on with the runtime's own waiting.
}

std::string user_config_home() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::string(home) + "/.config";
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
    return std::string(pw->pw_dir) + "/.config";
  return "";
}

void split_entry_script(AppState& a) {
  Config& c = config();
  if (c.Load.empty()) {
    a.script_folder = cp932::from_utf8(a.base_name) + "\\";
    c.Load = "main.c";
    return;
  }
  const size_t slash = cp932::rfind_char(c.Load, '\\');
  if (slash == std::string::npos) {
    a.script_folder.clear();
    return;
  }
  a.script_folder = c.Load.substr(0, slash + 1);
  c.Load = c.Load.substr(slash + 1);
}

void configure(AppState& a, const std::string& user_home) {
  Config& c = config();
  config_defaults();

  a.active_config = program_file(a, a.base_name + ".cfg");
  if (is_file(a.active_config)) config_read(a.active_config);

  if (c.Inheritance) {
    a.active_config = program_file(a, "configure.cfg");
    if (is_file(a.active_config)) config_read(a.active_config);
    const std::string product = product_folder_name(c.Product);
    if (c.Inheritance && !product.empty() && !user_home.empty()) {
      const std::string torval = user_home + "/TORVAL";
      const std::string folder = torval + "/" + product;
      // ~/.config itself may not exist on a fresh account.
      if (ensure_folder(user_home) && ensure_folder(torval) && ensure_folder(folder)) {
        a.active_config = folder + "/configure.cfg";
        if (is_file(a.active_config)) config_read(a.active_config);
      }
    }
  }

  // [System] MMX hands gcopy rectangles to the SIMD blitter: off without one.
  if (!gfx::simd_blitter_usable()) c.MMX = 0;
  config_check();
  split_entry_script(a);
}

void runtime_reset() {
  subsystems_reset_all(runtime_subsystems());
  script_messages_uninstall();
}

void subsystems_start() {
  const SubsystemList list = runtime_subsystems();
  subsystems_start_all(list);
  extern_area_allocate(config().HeapSize);
  // Runtime start: a reset, the script host's shared state, then the state
  // every subsystem gives a starting script.
  runtime_reset();
  extern_function_table_clear();
  script_messages_install();
  builtin_dispatch_install(builtin_entries());
  script_threads_reset();
  subsystems_runtime_start_all(list);
}

bool subsystems_stop() {
  const SubsystemList list = runtime_subsystems();
  subsystems_closing_all(list);
  // Script threads waiting in a message call get 0 from here on, so none
  // of them holds up the stop below.
  script_messages_uninstall();
  if (!script_threads_end_by(std::chrono::steady_clock::now() + kEndGrace)) {
    std::fprintf(stderr, "zelt: a script thread did not end within %lld s\n",
                 static_cast<long long>(kEndGrace.count()));
    kSystemFileSubsystem.reset();
    return false;
  }
  script_threads_stop();
  runtime_reset();
  extern_area_free();
  subsystems_stop_all(list);
  return true;
}

int app_main(const RunOptions& options) {
  AppState& a = app();
  platform::set_headless(options.headless);
  platform::termination_signals_install();
  if (!options.headless) set_message_sink(message_box_sink);

  // The files of the command line are named relative to the caller's folder.
  const std::string screenshot =
      options.screenshot.empty() ? "" : std::filesystem::absolute(options.screenshot).string();
  audio::set_record_path(options.record_audio.empty() ? "" : std::filesystem::absolute(options.record_audio).string());
  std::optional<input::InputEventPlayer> replay;
  if (!options.input_events.empty()) {
    std::vector<input::TimedEvent> events;
    std::string error;
    if (!input::load_input_events(options.input_events, &events, &error)) {
      std::fprintf(stderr, "zelt: --input %s\n", error.c_str());
      return 1;
    }
    replay.emplace(std::move(events));
  }

  // The program folder is the title folder; it becomes the current
  // directory at once so that every later name resolves inside it.
  char resolved[PATH_MAX];
  if (!::realpath(options.title_dir.c_str(), resolved) || ::chdir(resolved) != 0) {
    std::fprintf(stderr, "zelt: cannot open the title folder '%s': %s\n",
                 options.title_dir.c_str(), std::strerror(errno));
    return 1;
  }
  a.program_folder = resolved;
  if (a.program_folder.back() != '/') a.program_folder += '/';
  a.base_name = options.name.empty() ? "zelt" : options.name;
  a.program_path = a.program_folder + a.base_name;

  configure(a, user_config_home());
  const Config& c = config();

  if (!c.MultiInstance && !options.headless &&
      !single_instance_acquire(kMutexName, single_instance_lock_dir()))
    return 0;

  a.cd_root.clear();
  if (!options.cd_dir.empty()) {
    char cd[PATH_MAX];
    if (::realpath(options.cd_dir.c_str(), cd)) {
      a.cd_root = kCdDrive;
      a.cd_host_dir = cd;
      files::set_drive_mapping(kCdDrive, cd);
    }
  } else if (!c.CdRom.empty()) {
    find_cd_drive(c.CdRom);
  }
  // A title that runs from its own disc reads everything from the program folder.
  if (!a.cd_root.empty() && a.program_folder.rfind(a.cd_host_dir + "/", 0) == 0) {
    a.cd_root.clear();
    files::set_drive_mapping(kCdDrive, "");
  }

  debug_output_start(c.DebugMode != 0, options.headless);
  if (c.DebugMode && !script_memory().identity())
    debug_output_append("zelt: script memory is not at its own addresses: native functions get script "
                        "addresses, not pointers (see zelt_plugin.h)");
  if (!options.headless) platform::display_set_lost_handler(close_after_display_lost);
  if (!frame_create()) return 0;
  subsystems_start();
  if (c.FullScreen) frame_set_fullscreen(true);
  bool stuck = false;
  const int code = run_main_loop(stuck, options, replay ? &*replay : nullptr, screenshot);

  if (!config_write_back(a.active_config, a.fullscreen))
    report_message(kLevelFile, msg_text(Msg::FileWriteFailed), cp932::from_utf8(a.active_config).c_str());
  if (stuck) {
    // The stuck thread still runs: no teardown, no destructors.
    std::fflush(nullptr);
    ::_exit(code);
  }
  return code;
}

}  // namespace zelt
