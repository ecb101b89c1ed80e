#include "tests/support/TempDir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace qibo::test {

bool TempDir::Enter() {
  Leave();
  std::error_code ec;
  const std::string previous = std::filesystem::current_path(ec).string();
  if (ec) return false;
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/qibo-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) return false;
  m_path = name.data();
  m_previous = previous;
  if (chdir(m_path.c_str()) != 0) {
    Leave();
    return false;
  }
  return true;
}

void TempDir::Leave() {
  if (m_path.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  // Anywhere but the tree we are about to remove.
  if ((m_previous.empty() || chdir(m_previous.c_str()) != 0) && chdir("/") != 0) {
    m_previous.clear();
  }
  // A test may have made a directory read-only; give write access back so
  // that the tree can be removed.
  fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(m_path, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(m_path, ec);
  m_path.clear();
  m_previous.clear();
}

}  // namespace qibo::test
