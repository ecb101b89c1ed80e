// The render pipeline behind a target that draws nothing, and the software
// lighting stage:
//  - one RenderShape whose route is cached, through a drawing stage that
//    does no work, so that only the pipeline's own cost is measured;
//  - one whole frame of 10,000 drawables seen by one spectator: spectator,
//    viewport, culling, pipeline, target calls.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "core/geometry/CTShape.h"
#include "core/geometry/DRenderShape.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTPipelineStage.h"
#include "core/render/CTPipelineStage_LightWorld.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/DViewport.h"
#include "core/render/DefRenderPipelineManager.h"
#include "core/render/base/CTMaterial.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTEnvironment.h"
#include "core/scene/CTGroup.h"

namespace {

class BenchTarget : public CTRenderTarget {
  QIBO_CLASS(BenchTarget)

 public:
  bool DoShow() override { return true; }
  bool DoHide() override { return true; }
  LFB* GrabLFB(int, int, int, int) override { return nullptr; }
  bool ShowLFB(LFB*, int, int) override { return false; }
  bool BeginScene(DRenderContext*) override { return true; }
  bool EndScene(DRenderContext*) override { return true; }
  void Present() override {}
  bool GetResolution(int& width, int& height) override {
    width = 640;
    height = 480;
    return true;
  }
};

// Takes any local-space shape and "draws" it in one step.
class BenchDrawStage : public CTPipelineStage {
  QIBO_CLASS(BenchDrawStage)

 public:
  BenchDrawStage() : CTPipelineStage(0, qibo::state::kLocal, 0, 0x07000000) {}

 protected:
  bool DoProcess(DRenderPacket*) override { return true; }
};

// A triangle drawn through the pipeline.
class BenchMesh : public CTShape {
  QIBO_CLASS(BenchMesh)

 public:
  BenchMesh() {
    m_mesh.AddVertex(Vector3(-0.5f, 0, 0));
    m_mesh.AddVertex(Vector3(0.5f, 0, 0));
    m_mesh.AddVertex(Vector3(0, 1, 0));
    m_mesh.AddFace()->SetVertices(0, 1, 2);
    m_mesh.SetState(qibo::state::kShared | qibo::state::kLocal);
  }
  void Render(const RenderInfo_t& info, CTMaterial* material) override { RenderMesh(m_mesh, info, material); }
  Vector3 GetSupport(const Vector3& d) override {
    const Vector3* p = m_mesh.GetVectors();
    Vector3 best = p[0];
    for (int i = 1; i < 3; ++i)
      if (p[i].Dot(d) > best.Dot(d)) best = p[i];
    return best;
  }

  DRenderShape m_mesh;
};

}  // namespace

QIBO_IMPLEMENT_CLASS(BenchTarget, CTRenderTarget, .desc = "Bench target")
QIBO_IMPLEMENT_CLASS(BenchDrawStage, CTPipelineStage, .desc = "Bench draw")
QIBO_IMPLEMENT_CLASS(BenchMesh, CTShape)

namespace {

void RegisterBenchClasses() {
  static const bool once = [] {
    qiBO_RegisterClass(BenchTarget::_CD());
    qiBO_RegisterClass(BenchDrawStage::_CD());
    return true;
  }();
  (void)once;
}

void BM_RenderShapeCachedRoute(benchmark::State& state) {
  RegisterBenchClasses();
  auto* pipeline = qibo::GetService<DefRenderPipelineManager>();
  pipeline->Start();
  pipeline->CreateStages();
  Ref<CTCamera> camera = qibo::Create<CTCamera>();
  Ref<BenchTarget> target = qibo::Create<BenchTarget>();
  DViewport viewport;
  viewport.SetCamera(camera.Get());
  viewport.SetDevice(target.Get());
  DRenderContext* context = viewport.GetRenderContext();
  pipeline->BeginContext(context);
  BenchMesh shape;
  DTransform world;
  RenderInfo_t info;
  info.context = context;
  info.world = &world;
  pipeline->RenderShape(&shape.m_mesh, info, qibo::state::kDrawnFilled);  // finds and caches the route
  for (auto _ : state)
    benchmark::DoNotOptimize(pipeline->RenderShape(&shape.m_mesh, info, qibo::state::kDrawnFilled));
  pipeline->EndContext(context);
  viewport.SetDevice(nullptr);
}
BENCHMARK(BM_RenderShapeCachedRoute);

void BM_FrameOf10000Drawables(benchmark::State& state) {
  RegisterBenchClasses();
  Ref<CTGroup> world = qibo::Create<CTGroup>();
  Ref<CTCamera> camera = qibo::Create<CTCamera>();
  camera->SetParent(world.Get());
  camera->MoveTo(Vector3(0, 0, -120));
  Ref<BenchMesh> shape = qibo::Create<BenchMesh>();
  for (int i = 0; i < 10000; ++i) {
    Ref<CTDrawable> drawable = qibo::Create<CTDrawable>();
    drawable->SetShape(shape.Get());
    drawable->CreateBoundingVolume();
    drawable->MoveTo(Vector3(static_cast<float>(i % 100 - 50), static_cast<float>(i / 100 - 50), 0.0f));
    drawable->SetParent(world.Get());
  }
  Ref<CTBasicSpectator> spectator = qibo::Create<CTBasicSpectator>();
  spectator->SetCamera(camera.Get());
  spectator->Enable();
  spectator->RegisterWithService();
  for (int i = 0; i < 3; ++i) qiBO_DoFrame();  // acquire, show, first routes
  CTPipelineStage* draw = nullptr;
  auto* pipeline = qibo::GetService<DefRenderPipelineManager>();
  for (int i = 0; i < pipeline->GetStageCount(); ++i)
    if (qibo::Cast<BenchDrawStage>(pipeline->GetStage(i))) draw = pipeline->GetStage(i);
  const uint32_t drawnBefore = draw ? draw->GetTotalCount() : 0;
  for (auto _ : state) qiBO_DoFrame();
  spectator->UnregisterWithService();
  // Every drawable in view is drawn once per frame.
  state.counters["drawn/frame"] = static_cast<double>((draw ? draw->GetTotalCount() : 0) - drawnBefore) /
                                  static_cast<double>(state.iterations());
}
BENCHMARK(BM_FrameOf10000Drawables)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// Lights 100,000 world-space vertices with one directional light, diffuse
// and specular on, a third of the normals facing away.
void BM_LightWorld100000Vertices(benchmark::State& state) {
  Ref<CTCamera> camera = qibo::Create<CTCamera>();
  Ref<CTEnvironment> environment = qibo::Create<CTEnvironment>();
  environment->GetLight()->SetDirection(Vector3(0.3f, -1.0f, 0.2f));
  Ref<CTMaterial> material = qibo::Create<CTMaterial>();
  material->SetSwitches(CTMaterial::kUseAmbient | CTMaterial::kUseDiffuse | CTMaterial::kUseSpecular);
  DRenderContext context;
  context.camera = camera.Get();
  context.environment = environment.Get();
  DRenderShape shape;
  constexpr int kVertices = 100000;
  for (int i = 0; i < kVertices; ++i) {
    const float a = static_cast<float>(i) * 0.001f;
    shape.AddNormal(Vector3(std::sin(a), std::cos(a * 3.0f), std::sin(a * 7.0f)).Normalized());
    shape.AddVertex(Vector3(a, 0, 0));
    shape.GetVertices()[i].normal = i;
  }
  shape.SetMaterial(material.Get());
  Ref<CTPipelineStage_LightWorld> stage = qibo::Create<CTPipelineStage_LightWorld>();
  for (auto _ : state) {
    shape.SetState(qibo::state::kWorld);
    DRenderPacket packet{
        &context, nullptr, 0, &shape, &context, qibo::state::kWorld, qibo::state::kDrawnFilled, 0};
    benchmark::DoNotOptimize(stage->Process(&packet));
  }
  state.counters["ns/vertex"] =
      benchmark::Counter(static_cast<double>(kVertices) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LightWorld100000Vertices)->Unit(benchmark::kMillisecond);

}  // namespace
