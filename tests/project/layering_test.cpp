// The source folders include only downward: core at the bottom, shell on
// top. A folder that needs a higher one has its work in the wrong place; a
// new folder must be given its place here. Third-party headers stay in the
// folders that own them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zelt {
namespace {

namespace fs = std::filesystem;

// The folders each source folder may include (besides its own).
const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"core", {}},
    {"platform", {"core"}},
    {"files", {"core", "platform"}},
    {"input", {"core", "platform"}},
    {"script", {"core", "platform", "files"}},
    {"gfx", {"core", "platform", "files"}},
    {"audio", {"core", "platform", "files"}},
    {"net", {"core", "platform", "files"}},
    {"builtins", {"core", "platform", "files", "input", "script", "gfx", "audio", "net"}},
    {"tools", {"core", "platform", "files", "script", "builtins"}},
    {"shell", {"core", "platform", "files", "input", "script", "gfx", "audio", "net", "builtins"}},
};

// Third-party headers (by the start of their include name) and the only
// folder that may include them.
const std::vector<std::pair<std::string, std::string>> kThirdParty = {
    {"SDL", "platform"},         {"X11/", "platform"},         {"ft2build.h", "platform"}, {"freetype/", "platform"},
    {"fontconfig/", "platform"}, {"ffi.h", "platform"},      {"dlfcn.h", "platform"},
    {"fluidsynth", "platform"},  {"libav", "platform"},      {"libsw", "platform"},
    {"cdio/", "platform"},       {"sys/socket.h", "platform"}, {"netinet/", "platform"},
    {"netdb.h", "platform"},     {"arpa/inet.h", "platform"},  {"poll.h", "platform"}, {"sys/eventfd.h", "platform"},
    {"oniguruma.h", "builtins"}, {"jpeglib.h", "gfx"},          {"vorbis/", "audio"},
};

// Headers a folder may not include although its layer allows them: the file
// layer works on host paths and buffers, and the built-in adapters decode
// script addresses for it.
const std::vector<std::pair<std::string, std::string>> kKeptOut = {
    {"files", "core/script_memory.h"},
};

std::vector<std::string> violations() {
  const fs::path src = fs::path(ZELT_SOURCE_DIR) / "src";
  const std::regex include_line(R"re(^\s*#\s*include\s*([<"])([^>"]+)[>"])re");
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), src);
    if (rel.begin() == rel.end() || std::next(rel.begin()) == rel.end()) continue;  // main.cpp
    const std::string folder = rel.begin()->string();
    const auto allowed = kMayInclude.find(folder);
    if (allowed == kMayInclude.end()) {
      found.push_back(folder + "/ has no place in the layer table");
      continue;
    }
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch m;
      if (!std::regex_search(line, m, include_line)) continue;
      const std::string name = m[2];
      const std::string where = rel.string() + ":" + std::to_string(number) + " includes " + name;
      if (m[1] == "\"") {
        const size_t slash = name.find('/');
        if (slash == std::string::npos) continue;
        const std::string target = name.substr(0, slash);
        if (target != folder && kMayInclude.contains(target) && !allowed->second.contains(target))
          found.push_back(where);
        for (const auto& [kept_from, header] : kKeptOut)
          if (folder == kept_from && name == header) found.push_back(where);
      } else {
        for (const auto& [prefix, owner] : kThirdParty)
          if (name.starts_with(prefix) && folder != owner) found.push_back(where);
      }
    }
  }
  return found;
}

TEST(Layering, NoFolderIncludesAHigherOneOrAnotherFoldersLibrary) {
  std::ostringstream list;
  for (const std::string& v : violations()) list << "  " << v << "\n";
  EXPECT_TRUE(list.str().empty()) << list.str();
}

}  // namespace
}  // namespace zelt
