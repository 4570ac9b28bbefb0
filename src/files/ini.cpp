#include "files/ini.h"

#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>

#include "core/cp932.h"
#include "files/fd_io.h"

namespace zelt {

namespace {

constexpr size_t npos = std::string_view::npos;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && is_blank(s[b])) ++b;
  while (e > b && is_blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::string concat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view p : parts) out += p;
  return out;
}

bool has_line_end(std::string_view s) { return s.find_first_of("\r\n") != npos; }

// Reads a whole regular file; false for anything else or on a read error.
bool read_file(const std::string& path, std::string& out) {
  // Non-blocking, so that a named pipe cannot stall the open; it is then
  // refused as not a regular file.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  out.clear();
  out.reserve(static_cast<size_t>(st.st_size));
  const bool ok = files::read_to_end(fd, out);
  ::close(fd);
  return ok;
}

}  // namespace

void IniFile::classify(Line& line) {
  line.kind = Kind::kOther;
  std::string_view text = line.text;
  size_t start = 0;
  while (start < text.size() && is_blank(text[start])) ++start;
  if (start == text.size() || text[start] == ';') return;

  if (text[start] == '[') {
    // "]" can be the second byte of a double-byte character, so search by characters.
    std::string_view rest = text.substr(start + 1);
    size_t close = cp932::find_char(rest, ']');
    std::string_view name = trim(rest.substr(0, close));
    line.kind = Kind::kSection;
    line.name_pos = static_cast<size_t>(name.data() - text.data());
    line.name_len = name.size();
    return;
  }

  size_t eq = text.find('=', start);  // "=" is never a second byte
  if (eq == npos) return;
  std::string_view name = trim(text.substr(start, eq - start));
  if (name.empty()) return;
  std::string_view value = trim(text.substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  line.kind = Kind::kKey;
  line.name_pos = static_cast<size_t>(name.data() - text.data());
  line.name_len = name.size();
  line.value_pos = static_cast<size_t>(value.data() - text.data());
  line.value_len = value.size();
}

IniFile IniFile::parse(std::string_view bytes) {
  IniFile ini;
  ini.loaded_ = true;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    Line line;
    if (end == npos) {
      line.text.assign(bytes.substr(pos));
      pos = bytes.size();
    } else {
      line.text.assign(bytes.substr(pos, end - pos));
      if (bytes[end] == '\n') {
        line.eol = "\n";
      } else if (end + 1 < bytes.size() && bytes[end + 1] == '\n') {
        line.eol = "\r\n";
      } else {
        line.eol = "\r";
      }
      pos = end + line.eol.size();
    }
    classify(line);
    ini.lines_.push_back(std::move(line));
  }
  return ini;
}

IniFile IniFile::load(const std::string& host_path) {
  std::string bytes;
  if (!read_file(host_path, bytes)) return IniFile();
  return parse(bytes);
}

size_t IniFile::find_section(std::string_view section) const {
  section = trim(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == Kind::kSection && cp932::equal_nocase(lines_[i].name(), section)) return i;
  }
  return npos;
}

size_t IniFile::section_end(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Kind::kSection) ++i;
  return i;
}

size_t IniFile::find_key(std::string_view section, std::string_view key) const {
  size_t header = find_section(section);
  if (header == npos) return npos;
  key = trim(key);
  size_t end = section_end(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (lines_[i].kind == Kind::kKey && cp932::equal_nocase(lines_[i].name(), key)) return i;
  }
  return npos;
}

bool IniFile::find(std::string_view section, std::string_view key, std::string& value) const {
  size_t i = find_key(section, key);
  if (i == npos) return false;
  value.assign(lines_[i].value());
  return true;
}

int32_t IniFile::get_int(std::string_view section, std::string_view key, int32_t def) const {
  size_t i = find_key(section, key);
  if (i == npos) return def;
  std::string_view v = lines_[i].value();
  if (v.empty()) return def;  // "Key=" keeps the default, as the Windows reader does
  size_t p = 0;
  while (p < v.size() && is_blank(v[p])) ++p;
  bool negative = false;
  if (p < v.size() && (v[p] == '+' || v[p] == '-')) negative = v[p++] == '-';
  uint32_t n = 0;  // unsigned, so that overflow wraps without undefined behaviour
  for (; p < v.size() && v[p] >= '0' && v[p] <= '9'; ++p) n = n * 10u + static_cast<uint32_t>(v[p] - '0');
  if (negative) n = 0u - n;
  return static_cast<int32_t>(n);
}

std::string IniFile::get_string(std::string_view section, std::string_view key,
                                std::string_view def, size_t buffer_size) const {
  if (buffer_size == 0) return std::string();
  size_t i = find_key(section, key);
  std::string_view v = i == npos ? def : lines_[i].value();
  if (v.size() > buffer_size - 1) v = v.substr(0, cp932::cut_length(v, buffer_size - 1));
  return std::string(v);
}

std::string_view IniFile::new_line_end() const {
  size_t crlf = 0, lf = 0, cr = 0;
  for (const Line& line : lines_) {
    if (line.eol == "\r\n") ++crlf;
    else if (line.eol == "\n") ++lf;
    else if (line.eol == "\r") ++cr;
  }
  if (lf > crlf && lf >= cr) return "\n";
  if (cr > crlf && cr > lf) return "\r";
  return "\r\n";
}

bool IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
  section = trim(section);
  key = trim(key);
  if (section.empty() || key.empty() || has_line_end(section) || has_line_end(key) ||
      has_line_end(value)) {
    return false;
  }
  // The lines as a new section would get them; their names must parse back
  // unchanged ("]" or a lead byte before the closing "]" in the section; "=",
  // a leading ";" or "[" in the key would not).
  Line header, entry;
  header.text = concat({"[", section, "]"});
  entry.text = concat({key, "=", value});
  classify(header);
  classify(entry);
  if (header.name() != section || entry.kind != Kind::kKey || entry.name() != key) return false;

  size_t i = find_key(section, key);
  if (i != npos) {
    // Keep everything up to the old value; a line whose value is empty keeps
    // up to the "=" (not the blanks that trail it).
    Line& line = lines_[i];
    size_t p = line.text.find('=', line.name_pos + line.name_len) + 1;
    size_t v = p;
    while (v < line.text.size() && is_blank(line.text[v])) ++v;
    if (v == line.text.size()) v = p;
    line.text.replace(v, npos, value);
    classify(line);
    return true;
  }

  const std::string_view eol = new_line_end();
  header.eol = entry.eol = eol;
  size_t at = find_section(section);
  if (at != npos) {
    // Directly after the section's last line that is neither blank nor a comment.
    size_t last = at;
    for (size_t j = at + 1, end = section_end(at); j < end; ++j) {
      std::string_view t = trim(lines_[j].text);
      if (!t.empty() && t.front() != ';') last = j;
    }
    if (lines_[last].eol.empty()) lines_[last].eol = eol;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1), std::move(entry));
    return true;
  }

  if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol;
  lines_.push_back(std::move(header));
  lines_.push_back(std::move(entry));
  return true;
}

std::string IniFile::serialize() const {
  size_t size = 0;
  for (const Line& line : lines_) size += line.text.size() + line.eol.size();
  std::string out;
  out.reserve(size);
  for (const Line& line : lines_) {
    out += line.text;
    out += line.eol;
  }
  return out;
}

bool IniFile::save(const std::string& host_path) const {
  files::AtomicFile out;
  const std::string bytes = serialize();
  return out.open(host_path) && out.write(bytes.data(), bytes.size()) && out.commit();
}

int32_t ini_read_int(const std::string& host_path, std::string_view section, std::string_view key,
                     int32_t def) {
  return IniFile::load(host_path).get_int(section, key, def);
}

std::string ini_read_string(const std::string& host_path, std::string_view section,
                            std::string_view key, std::string_view def, size_t buffer_size) {
  return IniFile::load(host_path).get_string(section, key, def, buffer_size);
}

bool IniFile::load_for_update(const std::string& host_path, IniFile& out) {
  out = load(host_path);
  if (out.loaded()) return true;
  // Only a file that does not exist may be created; rewriting one that we
  // could not read would lose its contents.
  struct stat st;
  return ::stat(host_path.c_str(), &st) != 0 && errno == ENOENT;
}

bool ini_write_string(const std::string& host_path, std::string_view section, std::string_view key,
                      std::string_view value) {
  IniFile ini;
  return IniFile::load_for_update(host_path, ini) && ini.set(section, key, value) &&
         ini.save(host_path);
}

}  // namespace zelt
