#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "core/geometry/DRenderShape.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/LFB.h"
#include "core/render/base/RenderInfo.h"
#include "plugins/d3d/DGlBatches.h"
#include "plugins/d3d/DGlCaches.h"
#include "plugins/d3d/DGlRenderer.h"
#include "tests/d3d/GlLayerFixture.h"

namespace qibo::test {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr uint32_t kClear = 0xFF203040u;
// Vertex colours as DGlVertex keeps them: bytes R, G, B, A.
constexpr uint32_t kShapeColors[2] = {0xFFFFFFFFu, 0xFF0000FFu};  // white, red
constexpr uint32_t kShapeArgb[2] = {0xFFFFFFFFu, 0xFFFF0000u};

// Two squares of side 0.2 around their origin in the cache (white and red),
// drawn with identity matrices, so that a copy's position is in clip space.
class D3DBatchesTest : public GlLayerFixture {
 protected:
  D3DBatchesTest() : GlLayerFixture(kWidth, kHeight) {}

  void SetUp() override {
    GlLayerFixture::SetUp();
    for (int s = 0; s < 2; ++s) {
      std::vector<DGlVertex> vertices(4);
      const float corners[4][2] = {{-0.1f, -0.1f}, {0.1f, -0.1f}, {0.1f, 0.1f}, {-0.1f, 0.1f}};
      for (int i = 0; i < 4; ++i) {
        vertices[static_cast<size_t>(i)].x = corners[i][0];
        vertices[static_cast<size_t>(i)].y = corners[i][1];
        vertices[static_cast<size_t>(i)].z = 0.5f;
        vertices[static_cast<size_t>(i)].color = kShapeColors[s];
      }
      m_entries[s] = m_shapes.Upload(m_keys[s], vertices, {0, 1, 2, 0, 2, 3}, 0);
      ASSERT_NE(m_entries[s], nullptr);
    }
    m_renderer.ForgetArrayBinding();
    for (auto& material : m_materials) material = qibo::Create<CTMaterial>();
  }
  void TearDown() override {
    m_batches.Clear();
    m_shapes.Clear();
    GlLayerFixture::TearDown();
  }

  static DGlInstance At(float x, float y) {
    DGlInstance instance;
    instance.position[0] = x;
    instance.position[1] = y;
    return instance;
  }
  // The pixel under clip-space (x, y) as 0xAARRGGBB.
  uint32_t PixelAt(float x, float y) {
    const int px = static_cast<int>((x + 1.0f) * 0.5f * kWidth);
    const int py = static_cast<int>((1.0f - y) * 0.5f * kHeight);
    std::unique_ptr<LFB> picture = m_renderer.Grab(px, py, 1, 1);
    return picture ? picture->GetPixel(0, 0) : 0;
  }
  // The first count records of a shape's instance buffer.
  std::vector<DGlInstance> Records(const DGlShapeCache::Entry& entry, size_t count) {
    std::vector<DGlInstance> records(count);
    glBindBuffer(GL_ARRAY_BUFFER, entry.instances);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(DGlInstance)),
                       records.data());
    return records;
  }
  // Draws what was gathered with identity matrices and no depth test;
  // the number of groups prepared.
  int Flush() {
    int prepared = 0;
    m_batches.Flush(m_renderer, m_shapes, [&](const DGlBatches::Key&) {
      DGlUniforms& u = m_renderer.Uniforms();
      u = DGlUniforms();
      m_renderer.ApplyStates(0);
      ++prepared;
    });
    return prepared;
  }

  DRenderShape m_keys[2];
  DGlShapeCache::Entry* m_entries[2] = {};
  Ref<CTMaterial> m_materials[2];
  DGlShapeCache m_shapes;
  DGlBatches m_batches;
};

// Copies gathered in turn: which square, which material, whether two-sided,
// where; and how many groups (so draw calls) they make.
struct Copy {
  int shape;
  int material;
  bool twoSided;
  float x, y;
};
struct GroupCase {
  const char* name;
  std::vector<Copy> copies;
  int groups;
};
const GroupCase kGroupCases[] = {
    {"one copy, drawn as a single shape", {{0, 0, false, -0.5f, 0.0f}}, 1},
    {"copies of one square, one draw",
     {{0, 0, false, -0.5f, 0.5f}, {0, 0, false, 0.0f, 0.0f}, {0, 0, false, 0.5f, -0.5f}},
     1},
    {"two squares taking turns",
     {{0, 0, false, -0.6f, 0.5f},
      {1, 0, false, -0.2f, 0.5f},
      {0, 0, false, 0.2f, 0.5f},
      {1, 0, false, 0.6f, 0.5f}},
     2},
    {"one square with two materials, both instanced from one buffer",
     {{0, 0, false, -0.6f, -0.5f},
      {0, 1, false, -0.2f, -0.5f},
      {0, 0, false, 0.2f, -0.5f},
      {0, 1, false, 0.6f, -0.5f}},
     2},
    {"culled and two-sided apart", {{1, 0, false, -0.5f, 0.0f}, {1, 0, true, 0.5f, 0.0f}}, 2},
};

TEST_F(D3DBatchesTest, Flush_DrawsEachGroupOnceAndEveryCopyWhereItIs) {
  for (const GroupCase& c : kGroupCases) {
    SCOPED_TRACE(c.name);
    m_renderer.Clear(kClear, true);
    for (const Copy& copy : c.copies) {
      DGlBatches::Key key;
      key.shape = m_entries[copy.shape];
      key.material = m_materials[copy.material].Get();
      key.shapeState = copy.twoSided ? qibo::state::kTwoSided : 0;
      m_batches.Add(key, At(copy.x, copy.y), 1.0f);
    }
    EXPECT_EQ(m_batches.GetGroupCount(), c.groups);
    const int draws = m_renderer.GetDrawCalls();
    EXPECT_EQ(Flush(), c.groups);
    EXPECT_EQ(m_renderer.GetDrawCalls() - draws, c.groups);
    EXPECT_TRUE(m_batches.IsEmpty());
    for (const Copy& copy : c.copies) EXPECT_EQ(PixelAt(copy.x, copy.y), kShapeArgb[copy.shape]);
    EXPECT_EQ(PixelAt(0.0f, -0.9f), kClear);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

// A shape's instance buffer after each frame's records (copies along x):
// only the span from the first to the last record that changed is sent,
// and the buffer then holds exactly the frame's records.
struct StreamStep {
  const char* name;
  std::vector<float> xs;
  size_t sent;
};
const StreamStep kStreamSteps[] = {
    {"first frame: all", {0, 1, 2, 3}, 4},
    {"nothing moved", {0, 1, 2, 3}, 0},
    {"one moved", {0, 1, 9, 3}, 1},
    {"the first and the last moved: the span between", {5, 1, 9, 6}, 4},
    {"one more copy", {5, 1, 9, 6, 7}, 1},
    {"fewer copies, unchanged", {5, 1, 9}, 0},
    {"more than the buffer has room for: all again",
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19},
     20},
};

TEST_F(D3DBatchesTest, StreamInstances_SendsOnlyTheSpanThatChanged) {
  DGlShapeCache::Entry& entry = *m_entries[0];
  for (const StreamStep& step : kStreamSteps) {
    SCOPED_TRACE(step.name);
    std::vector<DGlInstance> records;
    for (float x : step.xs) records.push_back(At(x, 0.0f));
    const size_t before = m_shapes.GetInstancesSent();
    m_shapes.StreamInstances(entry, records.data(), records.size());
    EXPECT_EQ(m_shapes.GetInstancesSent() - before, step.sent);
    const std::vector<DGlInstance> held = Records(entry, records.size());
    for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(held[i].position[0], records[i].position[0]) << i;
  }
}

// The copies of a group go into the buffer nearest first, copies at the
// same depth in the order they came, a depth that is not a number last.
struct OrderCase {
  const char* name;
  std::vector<float> depths;  // of copies 0, 1, 2, ... (placed at x = their number)
  std::vector<float> order;   // the copies' numbers as the buffer holds them
};
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const OrderCase kOrderCases[] = {
    {"farthest first in", {5, 1, 3}, {1, 2, 0}},
    {"equal depths keep their order", {2, 1, 2, 2}, {1, 0, 2, 3}},
    {"not a number goes last", {kNaN, 4, -1}, {2, 1, 0}},
};

TEST_F(D3DBatchesTest, Flush_SendsTheCopiesOfAGroupNearestFirst) {
  for (const OrderCase& c : kOrderCases) {
    SCOPED_TRACE(c.name);
    DGlBatches::Key key;
    key.shape = m_entries[1];
    key.material = m_materials[0].Get();
    for (size_t i = 0; i < c.depths.size(); ++i)
      m_batches.Add(key, At(static_cast<float>(i), 0.0f), c.depths[i]);
    Flush();
    const std::vector<DGlInstance> held = Records(*m_entries[1], c.order.size());
    for (size_t i = 0; i < c.order.size(); ++i) EXPECT_EQ(held[i].position[0], c.order[i]) << i;
  }
}

}  // namespace
}  // namespace qibo::test
