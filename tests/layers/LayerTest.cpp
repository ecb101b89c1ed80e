// Keeps the core's layers: every include of every file under core/ must
// name a header of its own layer or of a layer below it (core/layers.txt),
// and a service's default implementation (Def*Manager.h) is included only
// inside its own folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Include {
  std::string file;    // "core/scene/CTEntity.cpp"
  std::string target;  // "core/render/base/RenderInfo.h"
};

// The layers bottom to top, as folders under core/ ("scene/math").
std::vector<std::string> ParseLayers(std::istream& table) {
  std::vector<std::string> layers;
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#' || line[0] == ' ') continue;
    layers.push_back(line.substr(0, line.find_first_of(" \t")));
  }
  return layers;
}

// The folder of a path under core/ ("core/scene/math/Vector3.h" ->
// "scene/math"), or "" for a path outside it.
std::string FolderOf(const std::string& path) {
  if (path.rfind("core/", 0) != 0) return "";
  const size_t slash = path.rfind('/');
  return slash > 5 ? path.substr(5, slash - 5) : "";
}

// The index of the layer a folder belongs to, or -1: a folder is its own
// layer when listed, else it belongs to its nearest listed parent.
int LayerOf(const std::vector<std::string>& layers, std::string folder) {
  for (;;) {
    const auto it = std::find(layers.begin(), layers.end(), folder);
    if (it != layers.end()) return static_cast<int>(it - layers.begin());
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos) return -1;
    folder.resize(slash);
  }
}

// One line per include that breaks the layering.
std::vector<std::string> Violations(const std::vector<std::string>& layers,
                                    const std::vector<Include>& includes) {
  static const std::regex kDefaultService(R"(/Def[A-Za-z0-9]*Manager\.h$)");
  std::vector<std::string> found;
  for (const Include& include : includes) {
    const std::string from = FolderOf(include.file), to = FolderOf(include.target);
    if (to.empty()) continue;  // a system or third-party header
    const int fromLayer = LayerOf(layers, from), toLayer = LayerOf(layers, to);
    if (fromLayer < 0 || toLayer < 0) {
      found.push_back(include.file + ": " + include.target + " (a folder outside the layer table)");
    } else if (toLayer > fromLayer) {
      found.push_back(include.file + ": " + include.target + " (" + layers[fromLayer] + " below " +
                      layers[toLayer] + ")");
    } else if (from != to && std::regex_search(include.target, kDefaultService)) {
      found.push_back(include.file + ": " + include.target + " (another folder's default service)");
    }
  }
  return found;
}

std::vector<Include> IncludesUnder(const fs::path& root) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*"([^"]+)\")");
  std::vector<Include> includes;
  for (const auto& entry : fs::recursive_directory_iterator(root / "core")) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    const std::string file = fs::relative(entry.path(), root).generic_string();
    std::ifstream in(entry.path());
    std::string line;
    std::smatch match;
    while (std::getline(in, line))
      if (std::regex_search(line, match, kInclude)) includes.push_back({file, match[1]});
  }
  return includes;
}

std::vector<std::string> TreeLayers() {
  std::ifstream table(fs::path(QIBO_SOURCE_DIR) / "core/layers.txt");
  return ParseLayers(table);
}

TEST(LayerTest, TheCoreIncludesOnlyDownward) {
  const std::vector<std::string> layers = TreeLayers();
  ASSERT_GE(layers.size(), 10u);
  const std::vector<Include> includes = IncludesUnder(QIBO_SOURCE_DIR);
  ASSERT_GT(includes.size(), 500u);  // the scan found the sources
  std::ostringstream list;
  for (const std::string& v : Violations(layers, includes)) list << v << "\n";
  EXPECT_EQ(list.str(), "");
}

TEST(LayerTest, EverySourceFolderIsALayer) {
  const std::vector<std::string> layers = TreeLayers();
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(QIBO_SOURCE_DIR) / "core")) {
    if (entry.path().extension() != ".cpp") continue;
    const std::string folder = FolderOf(fs::relative(entry.path(), QIBO_SOURCE_DIR).generic_string());
    // Sources are built from the folder the table names, not a parent's.
    EXPECT_NE(std::find(layers.begin(), layers.end(), folder), layers.end()) << entry.path();
  }
}

TEST(LayerTest, TheCheckCatchesEachKindOfBreach) {
  std::istringstream table(
      "# comment\nobject   base\nscene/math  math\nkernel  k\nrender/base b\nrender  r\n");
  const std::vector<std::string> layers = ParseLayers(table);
  ASSERT_EQ(layers, (std::vector<std::string>{"object", "scene/math", "kernel", "render/base", "render"}));
  struct Case {
    Include include;
    bool breach;
  };
  const Case cases[] = {
      {{"core/kernel/A.cpp", "core/object/B.h"}, false},            // downward
      {{"core/kernel/A.cpp", "core/kernel/B.h"}, false},            // same folder
      {{"core/kernel/A.cpp", "vector"}, false},                     // not ours
      {{"core/object/A.cpp", "core/kernel/B.h"}, true},             // upward
      {{"core/scene/math/A.h", "core/kernel/B.h"}, true},           // a sub-folder is its own layer
      {{"core/render/A.cpp", "core/render/base/B.h"}, false},       // the layer under its parent folder
      {{"core/render/base/A.cpp", "core/render/B.h"}, true},        // and not the other way
      {{"core/render/A.cpp", "core/kernel/DefXManager.h"}, true},   // another folder's default service
      {{"core/kernel/A.cpp", "core/kernel/DefXManager.h"}, false},  // its own
      {{"core/sound/A.cpp", "core/object/B.h"}, true},              // a folder the table lacks
      {{"core/render/base/x/A.cpp", "core/render/B.h"}, true},  // nested folders belong to their parent layer
  };
  for (const Case& c : cases)
    EXPECT_EQ(Violations(layers, {c.include}).size(), c.breach ? 1u : 0u)
        << c.include.file << " -> " << c.include.target;
}

}  // namespace
