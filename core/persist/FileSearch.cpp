#include "core/persist/FileSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/object/QIBO_String.h"
#include "core/persist/OsPath.h"

namespace qibo {

namespace {

bool MatchIC(const char* pattern, const char* name) {
  // Greedy scan that backtracks only to the last "*": linear for the usual
  // patterns, never exponential.
  const char* starPattern = nullptr;
  const char* starName = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starPattern = ++pattern;
      starName = name;
    } else if (*pattern == '?' || (*pattern && ToLowerAscii(*pattern) == ToLowerAscii(*name))) {
      ++pattern;
      ++name;
    } else if (starPattern) {
      pattern = starPattern;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool WildcardMatchIC(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  if (MatchIC(pattern, name)) return true;
  const size_t length = strlen(pattern);
  if (length >= 2 && pattern[length - 2] == '.' && pattern[length - 1] == '*' && !strchr(name, '.')) {
    return MatchIC(std::string(pattern, length - 2).c_str(), name);
  }
  return false;
}

const char* FilePart(const char* name) {
  if (!name) return "";
  const char* part = name;
  for (const char* c = name; *c; ++c)
    if (IsSeparator(*c)) part = c + 1;
  return part;
}

std::string DirectoryPart(const char* name) {
  if (!name) return std::string();
  return std::string(name, static_cast<size_t>(FilePart(name) - name));
}

std::vector<DFoundFile> FindFiles(const char* pattern) {
  std::vector<DFoundFile> found;
  if (!pattern) return found;
  const char* filePattern = FilePart(pattern);
  std::string dir = OsPath(DirectoryPart(pattern).c_str());
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (!dir.empty()) {
    dir = FindPathIC(dir);
    if (dir.empty()) return found;
  }
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return found;
  const std::string prefix = dir.empty() ? std::string() : (dir.back() == '/' ? dir : dir + "/");
  while (const dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    if (!WildcardMatchIC(filePattern, e->d_name)) continue;
    struct stat st;
    if (stat((prefix + e->d_name).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      found.push_back({e->d_name, -1});
    } else if (S_ISREG(st.st_mode)) {
      const int64_t size = std::min<int64_t>(st.st_size, std::numeric_limits<int32_t>::max());
      found.push_back({e->d_name, static_cast<int32_t>(size)});
    }
  }
  closedir(d);
  std::sort(found.begin(), found.end(),
            [](const DFoundFile& a, const DFoundFile& b) { return a.name < b.name; });
  return found;
}

}  // namespace qibo
