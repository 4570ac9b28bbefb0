// Host path resolution: every file access of the runtime turns a script's
// code page 932 path ("data\img\A.BMP", "Q:\movie\op.mpg") into a host path
// (UTF-8, "/" separators) here. Titles are written for a case-insensitive
// file system, so a component that does not exist with its exact name is
// matched against the directory's entries without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace zelt::files {

// Maps the drive prefix `drive` (two bytes such as "Q:", compared without
// regard to case) to the host folder `host_dir`; an empty host_dir removes
// the mapping. Used for the title's CD.
void set_drive_mapping(std::string_view drive, std::string host_dir);

// Resolves a script path. "\" and "/" both separate components; a drive
// prefix maps to its mapped folder or is dropped (the rest is then absolute);
// relative paths stay relative to the current directory. Each existing
// component is matched exactly first, then case-insensitively (code page 932
// rules); the first component with no match and everything after it is kept
// as written, so the result also names files that are about to be created.
// "" for the empty path and for a path that is not valid code page 932
// (cp932::to_utf8_strict): every file operation on "" fails, so no file is
// made under a name that no script could find again.
std::string host_path(std::string_view script_path);

// Forgets cached directory listings (after the runtime creates or renames
// entries behind the cache's back; lookups also revalidate on their own).
void clear_path_cache();

// Test hook: a directory listing read within this many seconds of the
// directory's last change is re-read at its next use instead of trusted
// (default 2). 0 trusts modification times at once.
void set_racy_margin_for_testing(int seconds);

}  // namespace zelt::files
