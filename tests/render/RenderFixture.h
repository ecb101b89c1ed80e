#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/render/CTPipelineStage.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/RenderInfo.h"
#include "tests/support/EngineFixture.h"

// A render target without a window that writes what it is asked to do into
// one shared journal ("Show", "BeginScene", "EndScene", "Present",
// "Preload <texture>", ...).
class TestTarget : public CTRenderTarget {
  QIBO_CLASS(TestTarget)

 public:
  static inline std::vector<std::string> s_journal;
  static inline bool s_refuseShow = false;
  static inline bool s_refuseScene = false;

  bool DoShow() override { return Note("Show", !s_refuseShow); }
  bool DoHide() override { return Note("Hide", true); }
  LFB* GrabLFB(int, int, int, int) override { return nullptr; }
  bool ShowLFB(LFB* lfb, int x, int y) override;
  bool BeginScene(DRenderContext*) override { return Note("BeginScene", !s_refuseScene); }
  bool EndScene(DRenderContext*) override { return Note("EndScene", true); }
  void Present() override { Note("Present", true); }
  bool Preload(CTTexture* texture) override;
  bool GetResolution(int& width, int& height) override {
    width = m_width;
    height = m_height;
    return m_width > 0;
  }
  // The user closes the window.
  void Close() { SetVisible(false); }

  int m_width = 640;
  int m_height = 480;

 private:
  static bool Note(const std::string& call, bool result) {
    s_journal.emplace_back(call);
    return result;
  }
};

// What a test drawing stage saw of one shape.
struct TestDraw {
  std::string stage;
  const DRenderShape* shape;
  uint32_t state;
  int steps;
  std::vector<Vector3> positions;
};

// Stages for the route tests. Each takes part only while its class name is
// in s_enabled; the one named in s_failing fails. The drawing stages record
// what reaches them.
class TestStage : public CTPipelineStage {
  QIBO_CLASS(TestStage)

 public:
  static inline std::set<std::string> s_enabled;
  static inline std::string s_failing;
  static inline std::vector<TestDraw> s_draws;

  bool HandlesContext(DRenderContext*) const override {
    return s_enabled.count(GetCD()->GetName().c_str()) > 0;
  }

 protected:
  TestStage(uint32_t forbidden, uint32_t required, uint32_t clear, uint32_t set)
      : CTPipelineStage(forbidden, required, clear, set) {}
  bool DoProcess(DRenderPacket* packet) override;
};

// Lights in world space, as the core's lighting stage does.
class TestLightStage : public TestStage {
  QIBO_CLASS(TestLightStage)

 public:
  TestLightStage() : TestStage(0x12, 0x200, 0, 0x02) {}
};
// Draws lit camera-space shapes.
class TestDrawCamera : public TestStage {
  QIBO_CLASS(TestDrawCamera)

 public:
  TestDrawCamera() : TestStage(0x3300, 0x0402, 0, 0x07000000) {}
};
// Lights and draws local-space shapes, as a device that lights by itself.
class TestDrawLocalLight : public TestStage {
  QIBO_CLASS(TestDrawLocalLight)

 public:
  TestDrawLocalLight() : TestStage(0x3602, 0x0100, 0, 0x07000000) {}
};
// The same masks again, registered later.
class TestDrawLocalLight2 : public TestStage {
  QIBO_CLASS(TestDrawLocalLight2)

 public:
  TestDrawLocalLight2() : TestStage(0x3602, 0x0100, 0, 0x07000000) {}
};

// Clones a shared local shape into a temporary one in world space, which
// the pipeline deletes at the end of the run.
class TestTemporaryClone : public TestStage {
  QIBO_CLASS(TestTemporaryClone)

 public:
  TestTemporaryClone() : TestStage(0, 0x110, 0x110, 0x240) {}

 protected:
  bool DoProcess(DRenderPacket* packet) override;
};

// One triangle in local space, shared with its owner, drawn through the
// pipeline like every shape.
class TestMeshShape : public CTShape {
  QIBO_CLASS(TestMeshShape)

 public:
  TestMeshShape();
  void Render(const RenderInfo_t& info, CTMaterial* material) override { RenderMesh(m_mesh, info, material); }
  // The corner farthest along d, so that the triangle can be culled.
  Vector3 GetSupport(const Vector3& d) override;

  DRenderShape m_mesh;
};

namespace qibo::test {

// The log runs from the start of each test, with the test classes
// registered and their journals empty.
class RenderFixture : public EngineFixture {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace qibo::test
