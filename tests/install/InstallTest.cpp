// The engine installed into a temporary prefix, the examples built against
// the installed tree alone (with CMake and with pkg-config) and run there;
// and the Debian packages cpack makes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

// Runs a shell command; its exit code (-1 when it did not exit) and output.
int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  std::string text;
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

bool ReadPpm(const std::string& file, Picture& picture) {
  std::ifstream in(file, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> picture.width >> picture.height >> maxValue;
  in.get();
  if (!in || magic != "P6" || maxValue != 255 || picture.width <= 0 || picture.height <= 0) return false;
  picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
  in.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
  return static_cast<bool>(in);
}

// The install and both builds of the examples are made once for every test here.
class InstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new qibo::test::TempDir;
    ASSERT_TRUE(s_dir->Enter());
    s_built = Shell(std::string(QIBO_SOURCE_DIR "/tests/install/build-examples.sh " QIBO_SOURCE_DIR
                                                " " QIBO_BUILD_DIR " ") +
                        s_dir->Path() + " '" QIBO_EXAMPLE_FLAGS "'",
                    &s_log) == 0;
  }
  static void TearDownTestSuite() {
    delete s_dir;
    s_dir = nullptr;
  }

  static std::string Work() { return s_dir->Path(); }

  static inline qibo::test::TempDir* s_dir = nullptr;
  static inline bool s_built = false;
  static inline std::string s_log;
};

const char* const kWays[] = {"cmake", "pkg-config"};

}  // namespace

// The example's snapshot shows the cube: the background in the corners, and
// in the middle the lit chequerboard, orange and cream squares.
TEST_F(InstallTest, ExampleSnapshotShowsTheCube) {
  ASSERT_TRUE(s_built) << s_log;
  for (const char* way : kWays) {
    SCOPED_TRACE(way);
    const std::string snapshot = Work() + "/" + way + ".ppm";
    std::string output;
    // Mesa's drivers keep blocks the leak checker would count against the program.
    ASSERT_EQ(
        Shell("ASAN_OPTIONS=detect_leaks=0 " + Work() + "/" + way + "/SpinningCube --snapshot " + snapshot,
              &output),
        0)
        << output;
    Picture picture;
    ASSERT_TRUE(ReadPpm(snapshot, picture));
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 480);
    const unsigned char* corner = picture.At(0, 0);
    EXPECT_EQ(std::vector<int>(corner, corner + 3), (std::vector<int>{0x10, 0x18, 0x28}));
    int cube = 0, orange = 0, cream = 0;
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x) {
        const unsigned char* p = picture.At(x, y);
        if (std::equal(p, p + 3, corner)) continue;
        ++cube;
        if (p[0] > p[1] + 40 && p[1] > p[2]) ++orange;
        if (p[0] > 60 && p[1] * 10 > p[0] * 8 && p[2] * 10 > p[0] * 6) ++cream;
      }
    const int all = picture.width * picture.height;
    EXPECT_GT(cube, all / 20);
    EXPECT_LT(cube, all / 2);
    EXPECT_GT(orange, cube / 5);
    EXPECT_GT(cream, cube / 5);
  }
}

// The example plug-in, put into the installed plug-in folder, adds its class
// to what the installed tool lists.
TEST_F(InstallTest, ExamplePlugInAddsItsClassToTheInstalledTool) {
  ASSERT_TRUE(s_built) << s_log;
  const std::string plugIns = Work() + "/prefix/" QIBO_PLUGIN_INSTALL_DIR;
  for (const char* way : kWays) {
    SCOPED_TRACE(way);
    ASSERT_EQ(Shell("cp " + Work() + "/" + way + "/HelloPlugIn.plug " + plugIns + "/"), 0);
    std::string output;
    ASSERT_EQ(Shell(Work() + "/prefix/" QIBO_BIN_INSTALL_DIR "/qibo classes", &output), 0) << output;
    const size_t row = output.find("\n  CTHelloSpinner ");
    ASSERT_NE(row, std::string::npos) << output;
    const std::string line = output.substr(row + 1, output.find('\n', row + 1) - row - 1);
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), "HelloPlugIn.plug") << line;
    ASSERT_EQ(Shell("rm " + plugIns + "/HelloPlugIn.plug"), 0);
  }
}

// cpack makes the three Debian packages, each listing its files and
// depending on the others by version.
TEST_F(InstallTest, DebianPackagesHoldTheirFiles) {
  std::string output;
  ASSERT_EQ(
      Shell("cd " + Work() + " && cpack -G DEB -B packages --config " QIBO_BUILD_DIR "/CPackConfig.cmake",
            &output),
      0)
      << output;
  const struct {
    const char* package;
    std::vector<std::string> files;
    const char* depends;  // in the Depends field
  } cases[] = {
      {"qibo",
       {"./usr/lib/libqiboCore.so.0.1", "./usr/lib/qibo/plugins/RasterDev.plug",
        "./usr/lib/qibo/plugins/qiboIO.plug", "./usr/lib/qibo/plugins/qiboNet.plug", "./usr/bin/qibo"},
       "libegl1,"},  // loaded by SDL at run time: the scan of the libraries cannot see it
      {"qibo-dev",
       {"./usr/include/qibo/core/kernel/Kernel.h", "./usr/lib/libqiboCore.so",
        "./usr/lib/cmake/qibo/qiboConfig.cmake", "./usr/lib/cmake/qibo/QiboPlugin.cmake",
        "./usr/lib/pkgconfig/qibo.pc"},
       "qibo (= " QIBO_VERSION ")"},
      {"quarndelion",
       {"./usr/bin/Quarndelion", "./usr/share/qibo/quarndelion/runfiles/melody01.xm",
        "./usr/share/qibo/quarndelion/textures/cubes1.tga"},
       "qibo (= " QIBO_VERSION ")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.package);
    const std::string deb = Work() + "/packages/" + c.package + "_" QIBO_VERSION "_*.deb";
    std::string listing;
    ASSERT_EQ(Shell("dpkg -c " + deb, &listing), 0) << listing;
    for (const std::string& file : c.files)
      EXPECT_NE(listing.find(" " + file), std::string::npos) << file << " is not in\n" << listing;
    std::string depends;
    ASSERT_EQ(Shell("dpkg -f " + deb + " Depends", &depends), 0) << depends;
    EXPECT_NE(depends.find(c.depends), std::string::npos) << depends;
  }
}
