#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qibo {

// Wildcard match of the kind the original file system's directory search
// made: "*" any run of characters (also none), "?" exactly one, ASCII case
// ignored. As there, a pattern ending in ".*" also matches a name without
// any dot ("*.*" matches everything). Runs in O(pattern x name) at worst.
bool WildcardMatchIC(const char* pattern, const char* name);

// The file-name part of name: everything after the last "\" or "/".
const char* FilePart(const char* name);
// The directory part of name: everything up to and including the last "\"
// or "/"; empty when there is none.
std::string DirectoryPart(const char* name);

// One entry of a loose-file search.
struct DFoundFile {
  std::string name;  // file name only
  int32_t size;      // bytes (at most INT32_MAX), -1 for a directory
};

// The entries of pattern's directory (names with "\" or "/"; each component
// is matched ignoring case as a loose-file open would) whose names match the
// pattern's file part. "." and "..", and anything that is neither a regular
// file nor a directory, are left out. Sorted by name, byte order, so that a
// search that is resumed by position sees the same order each time.
std::vector<DFoundFile> FindFiles(const char* pattern);

}  // namespace qibo
