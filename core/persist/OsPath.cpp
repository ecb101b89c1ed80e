#include "core/persist/OsPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

#include "core/object/QIBO_String.h"

namespace qibo {

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of dir whose name equals name ignoring ASCII case; among several,
// the first in byte order so that the answer does not depend on readdir order.
bool FindEntryIC(const std::string& dir, const std::string& name, std::string& found) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool any = false;
  while (const dirent* e = readdir(d)) {
    if (!EqualsIC(e->d_name, name.c_str())) continue;
    if (!any || strcmp(e->d_name, found.c_str()) < 0) found = e->d_name;
    any = true;
  }
  closedir(d);
  return any;
}

}  // namespace

std::string OsPath(const char* name) {
  std::string path = name ? name : "";
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string FindPathIC(const std::string& osPath) {
  if (osPath.empty()) return std::string();
  if (Exists(osPath)) return osPath;

  // Walk the components, keeping each one that exists as spelled and looking
  // up the others in the directory built so far.
  std::string result;
  size_t pos = 0;
  if (osPath[0] == '/') {
    result = "/";
    pos = 1;
  }
  while (pos <= osPath.size()) {
    size_t slash = osPath.find('/', pos);
    if (slash == std::string::npos) slash = osPath.size();
    const std::string component = osPath.substr(pos, slash - pos);
    const std::string dir = result;
    if (!result.empty() && result.back() != '/') result += '/';
    if (component.empty() || component == "." || component == ".." || Exists(result + component)) {
      result += component;
    } else {
      std::string match;
      if (!FindEntryIC(dir, component, match)) return std::string();
      result += match;
    }
    pos = slash + 1;
  }
  return Exists(result) ? result : std::string();
}

std::string ResolveOutputPath(const char* name) {
  const std::string path = OsPath(name);
  const size_t slash = path.rfind('/');
  if (path.empty() || slash == std::string::npos || slash == 0) return path;
  const std::string dirPart = path.substr(0, slash);
  if (Exists(dirPart)) return path;
  const std::string dir = FindPathIC(dirPart);
  return dir.empty() ? path : dir + path.substr(slash);
}

std::string ResolvePath(const char* name) {
  const std::string path = OsPath(name);
  if (path.empty() || Exists(path)) return path;
  const std::string found = FindPathIC(path);
  if (!found.empty()) return found;

  // A file about to be created: its directory may still differ in case.
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return path;
  const std::string dir = FindPathIC(path.substr(0, slash));
  if (dir.empty()) return path;
  return dir + path.substr(slash);
}

}  // namespace qibo
