#include "platform/font_names.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "core/cp932.h"
#include "platform/font_face.h"

namespace zelt::platform {
namespace font_names {
namespace {

// The installed face that stands in for ＭＳ ゴシック, which Windows also gives
// for Japanese text in a face it does not know.
constexpr const char* kDefaultJapanese = "IPAGothic";

struct Alias {
  const char* name;    // UTF-8, as titles spell it
  const char* target;  // installed family
  bool listed;         // one of the Japanese faces a Windows font list shows
};

// The Windows faces titles name, mapped to installed faces of the same kind:
// IPA fonts for the Japanese ones (fixed or proportional as the original),
// Liberation where it is metric-compatible, DejaVu for the other Latin faces.
constexpr Alias kAliases[] = {
    {"ＭＳ ゴシック", "IPAGothic", true},
    {"ＭＳ Ｐゴシック", "IPAPGothic", true},
    {"ＭＳ 明朝", "IPAMincho", true},
    {"ＭＳ Ｐ明朝", "IPAPMincho", true},
    {"MS UI Gothic", "IPAPGothic", true},
    {"メイリオ", "IPAPGothic", true},
    {"MS Gothic", "IPAGothic", false},
    {"MS ゴシック", "IPAGothic", false},
    {"ＭＳ　ゴシック", "IPAGothic", false},
    {"MS PGothic", "IPAPGothic", false},
    {"MS Pゴシック", "IPAPGothic", false},
    {"MS Mincho", "IPAMincho", false},
    {"MS 明朝", "IPAMincho", false},
    {"ＭＳ　明朝", "IPAMincho", false},
    {"MS PMincho", "IPAPMincho", false},
    {"MS P明朝", "IPAPMincho", false},
    {"ＭＳ ＵＩ Gothic", "IPAPGothic", false},
    {"Meiryo", "IPAPGothic", false},
    {"Meiryo UI", "IPAPGothic", false},
    {"メイリオ UI", "IPAPGothic", false},
    {"游ゴシック", "IPAPGothic", false},
    {"Yu Gothic", "IPAPGothic", false},
    {"Yu Gothic UI", "IPAPGothic", false},
    {"游明朝", "IPAPMincho", false},
    {"Yu Mincho", "IPAPMincho", false},
    {"Arial", "Liberation Sans", false},
    {"Times New Roman", "Liberation Serif", false},
    {"Courier New", "Liberation Mono", false},
    {"Courier", "Liberation Mono", false},
    {"Tahoma", "DejaVu Sans", false},
    {"Verdana", "DejaVu Sans", false},
    {"Segoe UI", "DejaVu Sans", false},
    {"Microsoft Sans Serif", "DejaVu Sans", false},
    {"MS Sans Serif", "DejaVu Sans", false},
    {"Georgia", "DejaVu Serif", false},
    {"Lucida Console", "DejaVu Sans Mono", false},
    {"Consolas", "DejaVu Sans Mono", false},
};

// Windows compares face names ignoring the case of ASCII letters; UTF-8
// bytes of other characters are all above 0x7F, so folding bytes is enough.
std::string fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

const Alias* find_alias(std::string_view utf8_name) {
  const std::string key = fold(utf8_name);
  for (const Alias& a : kAliases) {
    if (fold(a.name) == key) return &a;
  }
  return nullptr;
}

// One fontconfig configuration for the process, loaded on first use and
// released at exit (fontconfig's own default configuration is never freed,
// which leak checkers report); every use holds this lock.
std::mutex g_fontconfig_mutex;
FcConfig* g_config = nullptr;
bool g_config_released = false;

void release_config() {
  std::lock_guard lock(g_fontconfig_mutex);
  if (g_config) FcConfigDestroy(g_config);
  g_config = nullptr;
  g_config_released = true;
}

// Null when fontconfig cannot load its configuration, or after exit began.
FcConfig* config() {
  if (!g_config && !g_config_released) {
    g_config = FcInitLoadConfigAndFonts();
    if (g_config) std::atexit(release_config);
  }
  return g_config;
}

std::string pattern_string(FcPattern* p, const char* object, int n) {
  FcChar8* s = nullptr;
  if (FcPatternGetString(p, object, n, &s) != FcResultMatch || !s) return {};
  return reinterpret_cast<const char*>(s);
}

// fontconfig's best match for the families in order, with Japanese
// coverage preferred among the rest.
FaceFile match(FcConfig* fc, const std::vector<std::string>& families, int weight, bool italic) {
  FaceFile file;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return file;
  for (const std::string& f : families) {
    if (!f.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(f.c_str()));
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(fc, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  if (FcPattern* found = FcFontMatch(fc, pattern, &result)) {
    file.path = pattern_string(found, FC_FILE, 0);
    int index = 0;
    if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch) file.index = index;
    FcPatternDestroy(found);
  }
  FcPatternDestroy(pattern);
  return file;
}

}  // namespace

FaceFile resolve(std::string_view utf8_name, int weight, bool italic) {
  // A vertical face ("@ＭＳ ゴシック") is drawn with its horizontal glyphs.
  if (!utf8_name.empty() && utf8_name[0] == '@') utf8_name.remove_prefix(1);
  const Alias* alias = find_alias(utf8_name);
  const std::string family = alias ? alias->target : std::string(utf8_name);
  using Key = std::tuple<std::string, int, bool>;
  static std::map<Key, FaceFile> cache;
  Key key{fold(family), weight, italic};
  std::lock_guard lock(g_fontconfig_mutex);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  FcConfig* fc = config();
  if (!fc) return {};
  FaceFile file = match(fc, {family, kDefaultJapanese}, weight, italic);
  // The cache holds one entry per distinct name asked for; titles use a
  // handful, and a title that makes up thousands of names costs little.
  if (cache.size() >= 1024) cache.clear();
  cache.emplace(std::move(key), file);
  return file;
}

FaceFile japanese_fallback(int weight, bool italic) { return resolve(kDefaultJapanese, weight, italic); }

namespace {

bool family_installed(FcConfig* fc, const char* family) {
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  bool found = false;
  if (pattern && objects) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    if (FcFontSet* set = FcFontList(fc, pattern, objects)) {
      found = set->nfont > 0;
      FcFontSetDestroy(set);
    }
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  return found;
}

// The name a Japanese font list shows for a font: its Japanese family name
// when it has one ("IPAゴシック"), else its first.
std::string shown_family(FcPattern* font) {
  std::string first = pattern_string(font, FC_FAMILY, 0);
  for (int n = 0;; ++n) {
    std::string family = pattern_string(font, FC_FAMILY, n);
    if (family.empty()) break;
    if (pattern_string(font, FC_FAMILYLANG, n) == "ja") return family;
  }
  return first;
}

// The code page 932 spelling of a UTF-8 name, or empty when it has none
// (a name that cannot be written in code page 932 could not be asked for).
std::string cp932_name(const std::string& utf8) {
  std::string cp = cp932::from_utf8(utf8);
  return cp932::to_utf8(cp) == utf8 ? cp : std::string();
}

}  // namespace
}  // namespace font_names

std::vector<std::string> japanese_face_names() {
  using namespace font_names;
  std::vector<std::string> names;
  auto listed = [&](const std::string& cp) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return cp932::equal_nocase(n, cp); });
  };
  std::lock_guard lock(g_fontconfig_mutex);
  FcConfig* fc = config();
  if (!fc) return names;
  for (const Alias& a : kAliases) {
    if (!a.listed || !family_installed(fc, a.target)) continue;
    std::string cp = cp932_name(a.name);
    if (!cp.empty() && !listed(cp)) names.push_back(std::move(cp));
  }
  std::vector<std::string> installed;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, nullptr);
  if (pattern && objects) {
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (FcFontSet* set = FcFontList(fc, pattern, objects)) {
      for (int i = 0; i < set->nfont; ++i) {
        const std::string family = shown_family(set->fonts[i]);
        if (family.empty() || family[0] == '@') continue;
        std::string cp = cp932_name(family);
        if (!cp.empty()) installed.push_back(std::move(cp));
      }
      FcFontSetDestroy(set);
    }
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  // fontconfig lists in no promised order: sort so the list is stable.
  std::sort(installed.begin(), installed.end());
  for (std::string& cp : installed) {
    if (!listed(cp)) names.push_back(std::move(cp));
  }
  return names;
}

}  // namespace zelt::platform
