#pragma once

#include <gtest/gtest.h>

#include <string>

#include "plugins/d3d/DGlCaches.h"
#include "plugins/d3d/DGlRenderer.h"
#include "plugins/d3d/DGlWindow.h"
#include "tests/d3d/D3DFixture.h"

namespace qibo::test {

// The device's OpenGL layer on a context of its own, width x height: Mesa's
// software renderer behind SDL's offscreen driver.
class GlLayerFixture : public D3DFixture {
 protected:
  GlLayerFixture(int width, int height) : m_width(width), m_height(height) {}

  void SetUp() override {
    D3DFixture::SetUp();
    DShowRequest request;
    request.width = m_width;
    request.height = m_height;
    request.type = DDeviceType::kRgb;
    const char* step = nullptr;
    ASSERT_TRUE(m_window.Open(request, step)) << step;
    std::string detail;
    ASSERT_TRUE(m_renderer.Create(m_width, m_height, step, detail)) << step << detail;
  }
  void TearDown() override {
    m_textures.Clear();
    m_renderer.Destroy();
    m_window.Close();
    D3DFixture::TearDown();
  }

  const int m_width;
  const int m_height;
  DGlWindow m_window;
  DGlRenderer m_renderer;
  DGlTextureCache m_textures;
};

}  // namespace qibo::test
