#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "core/geometry/DRenderShape.h"
#include "core/render/base/CTMaterial.h"
#include "plugins/d3d/DGlBatches.h"
#include "plugins/d3d/DGlCaches.h"
#include "plugins/d3d/DGlRenderer.h"
#include "tests/d3d/GlLayerFixture.h"

namespace qibo::test {
namespace {

// A square kept in the shape cache, and the batches of its copies.
class D3DBatchesTest : public GlLayerFixture {
 protected:
  D3DBatchesTest() : GlLayerFixture(32, 32) {}

  void SetUp() override {
    GlLayerFixture::SetUp();
    std::vector<DGlVertex> vertices(4);
    for (int i = 0; i < 4; ++i) {
      vertices[static_cast<size_t>(i)].x = i == 1 || i == 2 ? 0.1f : -0.1f;
      vertices[static_cast<size_t>(i)].y = i >= 2 ? 0.1f : -0.1f;
    }
    m_entry = m_shapes.Upload(m_key, vertices, {0, 1, 2, 0, 2, 3}, 0);
    ASSERT_NE(m_entry, nullptr);
    m_renderer.ForgetArrayBinding();
  }
  void TearDown() override {
    m_batches.Clear();
    m_shapes.Clear();
    GlLayerFixture::TearDown();
  }

  static DGlInstance At(float x) {
    DGlInstance instance;
    instance.position[0] = x;
    return instance;
  }
  // The first count records of the square's instance buffer.
  std::vector<DGlInstance> Records(size_t count) {
    std::vector<DGlInstance> records(count);
    glBindBuffer(GL_ARRAY_BUFFER, m_entry->instances);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(count * sizeof(DGlInstance)),
                       records.data());
    return records;
  }

  DRenderShape m_key;
  DGlShapeCache::Entry* m_entry = nullptr;
  DGlShapeCache m_shapes;
  DGlBatches m_batches;
};

// The square's instance buffer after each frame's records (copies along x):
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
  for (const StreamStep& step : kStreamSteps) {
    SCOPED_TRACE(step.name);
    std::vector<DGlInstance> records;
    for (float x : step.xs) records.push_back(At(x));
    const size_t before = m_shapes.GetInstancesSent();
    m_shapes.StreamInstances(*m_entry, records.data(), records.size());
    EXPECT_EQ(m_shapes.GetInstancesSent() - before, step.sent);
    const std::vector<DGlInstance> held = Records(records.size());
    for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(held[i].position[0], records[i].position[0]) << i;
  }
}

// The copies of a group, drawn in one call, go into the buffer nearest
// first, copies at the same depth in the order they came, a depth that is
// not a number last.
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

TEST_F(D3DBatchesTest, Flush_DrawsAGroupInOneCallNearestFirst) {
  Ref<CTMaterial> material = qibo::Create<CTMaterial>();
  for (const OrderCase& c : kOrderCases) {
    SCOPED_TRACE(c.name);
    DGlBatches::Key key;
    key.shape = m_entry;
    key.material = material.Get();
    for (size_t i = 0; i < c.depths.size(); ++i) m_batches.Add(key, At(static_cast<float>(i)), c.depths[i]);
    EXPECT_EQ(m_batches.GetGroupCount(), 1);
    const int draws = m_renderer.GetDrawCalls();
    m_batches.Flush(m_renderer, m_shapes, [](const DGlBatches::Key&) {});
    EXPECT_EQ(m_renderer.GetDrawCalls() - draws, 1);
    EXPECT_TRUE(m_batches.IsEmpty());
    const std::vector<DGlInstance> held = Records(c.order.size());
    for (size_t i = 0; i < c.order.size(); ++i) EXPECT_EQ(held[i].position[0], c.order[i]) << i;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

}  // namespace
}  // namespace qibo::test
