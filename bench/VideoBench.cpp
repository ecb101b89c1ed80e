// The audio/video player behind a drawn scene: whole frames of the render
// device (RasterDev.plug, off screen at 640 x 480) with 100 lit boxes in
// front of a 640 x 480, 60 frames-a-second video with sound, each frame one
// sixtieth of a second of engine time, so that every frame decodes,
// converts and uploads one picture. The same frames without the video are
// the baseline. To keep up with the video a frame must take under 16.7 ms
// (the "fps" counter above 60).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/devices/CTAV_Player.h"
#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/geometry/CTBox.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/engine/DefEngineManager.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTMaterial.h"
#include "core/render/base/LFB.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "demo/record/MovieWriter.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFps = 60;
constexpr int kVideoFrames = 2 * kFps;

// Two seconds of a moving colour field with a tone: every picture differs,
// as in a real video.
bool WriteBenchVideo(const char* path) {
  qibo::demo::MovieWriter movie;
  if (!movie.Open(path, kWidth, kHeight, kFps, 44100, 2)) return false;
  std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
  std::vector<float> sound;
  int64_t sample = 0;
  for (int frame = 0; frame < kVideoFrames; ++frame) {
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const auto r = static_cast<uint32_t>((x + 4 * frame) & 0xFF);
        const auto g = static_cast<uint32_t>((y + 2 * frame) & 0xFF);
        const auto b = static_cast<uint32_t>(((x ^ y) + frame) & 0xFF);
        pixels[static_cast<size_t>(y) * kWidth + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
      }
    if (!movie.AddVideoFrame(reinterpret_cast<const uint8_t*>(pixels.data()), kWidth * 4,
                             qibo::demo::PixelLayout::kBgra, false))
      return false;
    sound.clear();
    for (const int64_t end = (frame + 1) * int64_t{44100} / kFps; sample < end; ++sample) {
      const auto value = static_cast<float>(0.3 * std::sin(2.0 * M_PI * 440.0 * sample / 44100.0));
      sound.push_back(value);
      sound.push_back(value);
    }
    if (!movie.AddAudio(sound.data(), static_cast<int>(sound.size() / 2))) return false;
  }
  return movie.Close();
}

// The device, a spectator, a field of boxes and the video, made once.
class VideoStage {
 public:
  static VideoStage& Get() {
    static VideoStage* stage = new VideoStage();  // lives until the program ends
    return *stage;
  }
  const char* Error() const { return m_error; }
  CTRenderTarget* Device() const { return m_device.Get(); }

  // Starts the video over (looping) or stops it.
  bool PlayVideo(bool on) {
    m_player->StopPlaying();
    if (!on) return true;
    m_player->SetLoop(true);
    return m_player->Open();
  }

 private:
  VideoStage() { m_error = Start(); }

  const char* Start() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    m_dir = std::filesystem::temp_directory_path() / ("qibo-video-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(m_dir);
    std::filesystem::current_path(m_dir);
    if (!WriteBenchVideo("bench.mp4")) return "writing the video";
    auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
    if (!plugIns) return "plug-in manager";
    plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_BENCH_PLUGIN_DIR);
    if (!qiBO_LoadPlugIn("RasterDev.plug")) return "loading RasterDev.plug";
    auto* engine = qibo::GetService<DefEngineManager>();
    if (!engine) return "engine";
    engine->GetPropertyByName("ConstantFrameTime").FromString("1");
    engine->GetPropertyByName("FrameTime").FromString("0.01667");
    auto* devices = qibo::GetService<CTDeviceManager>();
    if (!devices) return "device manager";
    m_device = qibo::Cast<CTRenderTarget>(devices->GetDevice("CTDirect3D", -1, false));
    if (!m_device) return "CTDirect3D";
    m_device->GetPropertyByName("ConfigurationMode").FromString("1");
    m_device->GetPropertyByName("Width").FromString(std::to_string(kWidth).c_str());
    m_device->GetPropertyByName("Height").FromString(std::to_string(kHeight).c_str());

    m_world = qibo::Create<CTGroup>();
    auto* camera = new CTCamera("Camera", m_world.Get());
    m_box = qibo::Create<CTBox>();
    m_box->SetDimensions(0.6f);
    m_material = qibo::Create<CTMaterial>();
    m_material->m_useDiffuse = true;
    m_material->m_diffuse = Vector3(0.9f, 0.7f, 0.3f);
    for (int i = 0; i < 100; ++i) {
      auto* box = new CTDrawable("Box", m_world.Get());
      box->SetShape(m_box.Get());
      box->SetMaterial(m_material.Get());
      box->MoveTo(Vector3(static_cast<float>(i % 10) - 4.5f, static_cast<float>(i / 10) * 0.5f - 2.25f,
                          12.0f + static_cast<float>(i % 3)));
      box->CreateBoundingVolume();
    }
    m_spectator = qibo::Create<CTBasicSpectator>();
    m_spectator->SetCamera(camera);
    m_spectator->SetVideoDevice(m_device.Get());
    m_spectator->Enable();
    m_spectator->RegisterWithService();
    for (int i = 0; i < 10 && !m_device->IsVisible(); ++i) qiBO_DoFrame();
    if (!m_device->IsVisible()) return "the device did not show";
    m_player = qibo::Cast<CTAV_Player>(devices->GetDevice(CTAV_Player::_CD()->ID(), -1, false));
    if (!m_player || !m_player->AddFile("bench.mp4")) return "the player";
    return nullptr;
  }

  const char* m_error = nullptr;
  std::filesystem::path m_dir;
  DevicePtr<CTRenderTarget> m_device;
  DevicePtr<CTAV_Player> m_player;
  Ref<CTGroup> m_world;
  Ref<CTBox> m_box;
  Ref<CTMaterial> m_material;
  Ref<CTBasicSpectator> m_spectator;
};

// One whole frame, finished on the GPU (reading a pixel back waits for it).
void Frame(CTRenderTarget* device) {
  qiBO_DoFrame();
  std::unique_ptr<LFB> pixel(device->GrabLFB(0, 0, 1, 1));
  benchmark::DoNotOptimize(pixel.get());
}

void RunFrames(benchmark::State& state, bool video) {
  VideoStage& stage = VideoStage::Get();
  if (stage.Error()) {
    state.SkipWithError(stage.Error());
    return;
  }
  if (!stage.PlayVideo(video)) {
    state.SkipWithError("the video did not open");
    return;
  }
  for (int i = 0; i < 10; ++i) Frame(stage.Device());  // warm-up
  for (auto _ : state) Frame(stage.Device());
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  stage.PlayVideo(false);
}

void BM_SceneFrame(benchmark::State& state) { RunFrames(state, false); }
void BM_VideoBehindSceneFrame(benchmark::State& state) { RunFrames(state, true); }

BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_VideoBehindSceneFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
