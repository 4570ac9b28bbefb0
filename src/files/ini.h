// Ini files with private-profile semantics: sections and keys match without
// regard to case, an absent key yields the caller's default, values are
// trimmed of surrounding blanks (and one pair of enclosing quotes). Writing
// replaces an existing key in place, appends a new key at the end of its
// section and a new section at the end of the file, and keeps every other
// byte of the file as it was. Files are saved atomically (temporary + rename).
// All text is code page 932 bytes.
//
// Lines (split at CRLF, LF or a lone CR; each keeps its own line end):
//   [name]     a section header: optional leading blanks, the name is trimmed,
//              anything after the first "]" is ignored; a "[" line without "]"
//              names a section up to the end of the line.
//   key=value  a key of the current section: split at the first "=", both
//              sides trimmed of spaces and tabs; the value loses one pair of
//              enclosing matching quotes ('"' or '\''). An empty key is no key.
//   ;...       a comment; any other line is kept but means nothing.
// Keys before the first header belong to no section and never match. When a
// section or a key occurs twice, only the first occurrence counts, for reading
// and for writing. Names given by the caller are trimmed like the file's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelt {

class IniFile {
 public:
  // Loads path; a missing or unreadable file, or anything but a regular file,
  // gives an empty document (loaded() is false). Never fails otherwise: any
  // bytes parse, nothing is capped.
  static IniFile load(const std::string& host_path);
  // Loads a file that is about to be changed: false when it exists but cannot
  // be read (saving over it would lose its contents).
  static bool load_for_update(const std::string& host_path, IniFile& out);

  // The document of the given file bytes (loaded() is true).
  static IniFile parse(std::string_view bytes);

  bool loaded() const { return loaded_; }

  // The trimmed, unquoted value of section/key (uncut); false when absent.
  bool find(std::string_view section, std::string_view key, std::string& value) const;

  // GetPrivateProfileInt: the value read as a signed decimal integer (leading
  // blanks, optional sign, digits up to the first non-digit; no digits gives 0;
  // an empty value gives def); def when the key is absent. Digits beyond the
  // 32-bit range wrap modulo 2^32, as the Windows conversion does.
  int32_t get_int(std::string_view section, std::string_view key, int32_t def) const;

  // GetPrivateProfileString into a buffer of buffer_size bytes: the value (or
  // def when absent) cut to buffer_size - 1 bytes without splitting a
  // double-byte character. buffer_size 0 gives "".
  std::string get_string(std::string_view section, std::string_view key, std::string_view def,
                         size_t buffer_size) const;

  // WritePrivateProfileString (value is written as is, so blanks around it
  // and enclosing quotes are lost again on reading). An existing key keeps its
  // line: the bytes up to the old value (indentation, the key's spelling, the
  // blanks around "=") and the line end stay, the value is replaced. A new key
  // goes directly after the section's last line that is neither blank nor a
  // comment (so blank lines and comments leading into the next section stay
  // in front of it). A new section goes at the end of the file as "[section]"
  // and "key=value". New lines end in the file's most frequent line end, CRLF
  // when it has none (titles come from Windows); a last line without a line
  // end that gets a line after it receives one.
  // Returns false, changing nothing, for an empty section or key, a line end
  // in any of the three, or names that would not read back as written: "]"
  // or a final lead byte in the section, "=" in the key, a key that starts
  // with ";" or "[".
  bool set(std::string_view section, std::string_view key, std::string_view value);

  // The file's bytes as they would be saved.
  std::string serialize() const;

  // Writes the document to host_path atomically: a temporary file beside it,
  // flushed to disk, renamed over the target (through a symbolic link to its
  // target). An existing file keeps its permission bits. Returns false
  // (leaving any existing file untouched and no temporary behind) on failure;
  // the folder must exist.
  bool save(const std::string& host_path) const;

 private:
  enum class Kind : uint8_t { kOther, kSection, kKey };
  struct Line {
    std::string text;  // bytes of the line without its line end
    std::string_view eol;  // "\r\n", "\n", "\r" or "" (last line without end); a literal
    Kind kind = Kind::kOther;
    size_t name_pos = 0, name_len = 0;    // section or key name within text
    size_t value_pos = 0, value_len = 0;  // key value (trimmed, unquoted) within text
    std::string_view name() const { return std::string_view(text).substr(name_pos, name_len); }
    std::string_view value() const { return std::string_view(text).substr(value_pos, value_len); }
  };
  static void classify(Line& line);
  size_t find_section(std::string_view section) const;  // header index or npos
  size_t section_end(size_t header) const;              // index of the next header or size
  size_t find_key(std::string_view section, std::string_view key) const;  // line index or npos
  std::string_view new_line_end() const;

  std::vector<Line> lines_;
  bool loaded_ = false;
};

// One-call helpers that load, read or write, and save. ini_write_string
// creates a missing file (not its folder) but refuses, returning false, to
// rewrite a file that exists and cannot be read.
int32_t ini_read_int(const std::string& host_path, std::string_view section, std::string_view key,
                     int32_t def);
std::string ini_read_string(const std::string& host_path, std::string_view section,
                            std::string_view key, std::string_view def, size_t buffer_size);
bool ini_write_string(const std::string& host_path, std::string_view section, std::string_view key,
                      std::string_view value);

}  // namespace zelt
