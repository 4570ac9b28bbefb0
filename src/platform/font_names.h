// Finding the font file for a face name the way a title names it: the
// Windows faces through an alias table to installed fonts, every other name
// through fontconfig. Used by the font faces of font_face.cpp.
#pragma once

#include <string>
#include <string_view>

namespace zelt::platform::font_names {

struct FaceFile {
  std::string path;  // empty when no font is installed at all
  int index = 0;     // face index inside the file (collections)
};

// The installed font for a face name in UTF-8, a weight (1..1000, OpenType
// scale) and slant: an alias's target, else the name itself, else the
// Japanese face that stands in for the default Windows Japanese font. Names
// compare ignoring the case of ASCII letters. Results are cached, so a name
// costs one fontconfig match per process.
FaceFile resolve(std::string_view utf8_name, int weight, bool italic);

// The face that draws the characters a Latin face lacks (Windows draws them
// through its default Japanese font).
FaceFile japanese_fallback(int weight, bool italic);

}  // namespace zelt::platform::font_names
