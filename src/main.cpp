// zelt: runs one title, or one of the title author's tools.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "platform/display.h"
#include "shell/startup.h"
#include "tools/tools.h"

namespace {

constexpr const char* kUsage =
    "usage: zelt [--headless] [--timeout S] [--screenshot F.bmp] [--record-audio F.wav]\n"
    "            [--input EVENTS] [--name NAME] [--cd DIR] [TITLE_DIR]\n"
    "       zelt --help | --version\n";

constexpr const char* kHelp =
    "zelt runs one title: a folder with its configuration (<name>.cfg, configure.cfg),\n"
    "scripts and data. TITLE_DIR defaults to the current directory.\n"
    "\n"
    "  --headless        no window, no audio device, no single-instance check\n"
    "  --timeout S       end the run after S seconds\n"
    "  --screenshot F    write the screen as a 24-bit BMP at exit\n"
    "  --record-audio F  record the mixed audio as WAV\n"
    "  --input EVENTS    inject the timed input events of a text file\n"
    "  --name NAME       program base name (default zelt): NAME.cfg and the script folder NAME/\n"
    "  --cd DIR          use DIR as the title's CD\n"
    "  --help            show this help\n"
    "  --version         show the version\n";

int usage_error(const char* fmt, const char* arg) {
  std::fprintf(stderr, "zelt: ");
  std::fprintf(stderr, fmt, arg);
  std::fprintf(stderr, "\n%s", kUsage);
  return 2;
}

bool parse_seconds(const char* text, double& out) {
  char* end = nullptr;
  errno = 0;
  out = std::strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && out >= 0 && out < 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (const zelt::tools::Tool* tool = zelt::tools::find_tool(argv[1]))
      return tool->main(std::span<char*>(argv + 2, argc - 2));
  }
  zelt::openmp_wait_passively(argv);
  zelt::RunOptions options;
  bool have_title = false;
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    const std::string_view arg = option;
    auto value = [&](const char*& out) -> bool {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    if (arg == "--help" || arg == "-h") {
      std::printf("%s\n%s\ntools:\n", kUsage, kHelp);
      for (const zelt::tools::Tool& t : zelt::tools::all_tools())
        std::printf("  zelt %s %s\n", t.name, t.usage);
      return 0;
    } else if (arg == "--version") {
      std::printf("zelt %s\n", ZELT_VERSION);
      return 0;
    } else if (arg == "--headless") {
      options.headless = true;
    } else if (arg == "--timeout") {
      if (!value(v)) return usage_error("%s needs a number of seconds", option);
      if (!parse_seconds(v, options.timeout_seconds))
        return usage_error("--timeout: '%s' is not a number of seconds", v);
    } else if (arg == "--screenshot" || arg == "--record-audio" || arg == "--input" ||
               arg == "--name" || arg == "--cd") {
      if (!value(v) || !*v) return usage_error("%s needs a value", option);
      if (arg == "--screenshot") options.screenshot = v;
      else if (arg == "--record-audio") options.record_audio = v;
      else if (arg == "--input") options.input_events = v;
      else if (arg == "--name") options.name = v;
      else options.cd_dir = v;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage_error("unknown option '%s'", option);
    } else if (have_title) {
      return usage_error("more than one title folder ('%s')", argv[i]);
    } else {
      options.title_dir = argv[i];
      have_title = true;
    }
  }

  if (!options.headless) {
    std::string why;
    if (!zelt::platform::display_available(&why)) {
      std::fprintf(stderr, "zelt: no display available (%s); use --headless to run without a window\n",
                   why.c_str());
      return 1;
    }
  }
  const int code = zelt::app_main(options);
  zelt::platform::display_shutdown();
  return code;
}
