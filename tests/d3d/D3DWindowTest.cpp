// What the window shows: the picture copied into a window of another size
// (one the user resized) fits it with its proportions kept.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "plugins/d3d/DGlRenderer.h"
#include "tests/d3d/GlLayerFixture.h"

namespace qibo::test {
namespace {

constexpr int kWindowSide = 160;
constexpr int kPictureWidth = 64;
constexpr int kPictureHeight = 48;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlack = 0xFF000000;

class D3DWindowTest : public GlLayerFixture {
 protected:
  D3DWindowTest() : GlLayerFixture(kWindowSide, kWindowSide) {}

  // The window's pixel at (x, y), y counted from the top of an area of the
  // given height at the window's bottom (GL's rows run bottom-up).
  static uint32_t WindowPixel(int x, int y, int height) {
    uint8_t rgba[4] = {};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return 0xFF000000u | (uint32_t{rgba[0]} << 16) | (uint32_t{rgba[1]} << 8) | rgba[2];
  }
};

TEST_F(D3DWindowTest, CopyToWindow_FitsThePictureKeepingItsProportions) {
  const char* step = nullptr;
  std::string detail;
  ASSERT_TRUE(m_renderer.Create(kPictureWidth, kPictureHeight, step, detail)) << step << detail;
  const struct {
    int width, height;  // the window's area
    struct {
      int x, y;
      uint32_t argb;
    } probes[3];
  } cases[] = {
      // The picture's own size: copied as it is.
      {64, 48, {{0, 0, kRed}, {63, 47, kRed}, {32, 24, kRed}}},
      // Twice as large: scaled to fill it.
      {128, 96, {{1, 1, kRed}, {126, 94, kRed}, {64, 48, kRed}}},
      // Taller: 128 x 96 in the middle, black bars above and below.
      {128, 128, {{64, 8, kBlack}, {64, 64, kRed}, {64, 120, kBlack}}},
      // Wider: 64 x 48 in the middle, black bars left and right.
      {160, 48, {{20, 24, kBlack}, {80, 24, kRed}, {140, 24, kBlack}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    // Green before: the bars are drawn, not left over.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    m_renderer.Clear(kRed, true);
    m_renderer.CopyToWindow(c.width, c.height);
    for (const auto& probe : c.probes)
      EXPECT_EQ(WindowPixel(probe.x, probe.y, c.height), probe.argb) << "at " << probe.x << ", " << probe.y;
  }
}

}  // namespace
}  // namespace qibo::test
