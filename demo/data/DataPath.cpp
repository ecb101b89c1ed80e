#include "demo/data/DataPath.h"

#include <filesystem>
#include <system_error>

namespace qibo::demo {

namespace fs = std::filesystem;

namespace {

bool HasData(const fs::path& directory) {
  std::error_code error;
  return fs::is_regular_file(directory / kDataMarker, error);
}

}  // namespace

std::string ExecutableDirectory() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().string();
}

bool EnterDataDirectory(const std::string& fallback, std::string* where) {
  std::error_code error;
  const fs::path current = fs::current_path(error);
  if (!error && HasData(current)) {
    if (where) *where = current.string();
    return true;
  }
  if (!fallback.empty() && HasData(fallback)) {
    fs::current_path(fallback, error);
    if (!error) {
      if (where) *where = fs::current_path(error).string();
      return true;
    }
  }
  if (where)
    *where = std::string(kDataMarker) + " is neither in " + (current.empty() ? "?" : current.string()) +
             " nor in " + (fallback.empty() ? "?" : fallback);
  return false;
}

bool EnterDataDirectory(std::string* where) {
  // Beside the program in a build; in the data folder of an installed tree.
  const std::string program = ExecutableDirectory();
  if (!program.empty()) {
    const std::string installed =
        (fs::path(program) / QUARNDELION_INSTALLED_DATA).lexically_normal().string();
    if (HasData(installed)) return EnterDataDirectory(installed, where);
  }
  return EnterDataDirectory(program, where);
}

}  // namespace qibo::demo
