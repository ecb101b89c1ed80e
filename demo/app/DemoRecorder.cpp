#include "demo/app/DemoRecorder.h"

#include <cstdio>
#include <string>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/QIBO_String.h"
#include "core/object/Random.h"
#include "core/persist/OsPath.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/LFB.h"

namespace qibo::demo {

namespace {

void SetProperty(CTInterface* object, const char* name, const char* value) {
  if (object) object->GetPropertyByName(name).FromString(value);
}

}  // namespace

DemoRecorder::DemoRecorder(RecordOptions options, MovieSettings settings)
    : m_options(std::move(options)), m_movie(std::move(settings)) {}

DemoRecorder::~DemoRecorder() = default;

int32_t DemoRecorder::FrameLength(int64_t frame, int fps) {
  if (fps < 1 || frame < 0) return 1;
  return static_cast<int32_t>((frame + 1) * 1000 / fps - frame * 1000 / fps);
}

bool DemoRecorder::Prepare() {
  qibo::SRand(kSeed);
  auto* engine = qibo::GetService<CTEngineManager>();
  if (!engine) {
    qiBO_Error("Recording: there is no engine to run", nullptr);
    return false;
  }
  SetProperty(engine, "ConstantFrameTime", "1");
  m_frame = 0;
  m_grabbed = 0;
  m_black.assign(static_cast<size_t>(m_options.width) * static_cast<size_t>(m_options.height), 0xFF000000u);
  if (m_movieEnabled) {
    if (!m_movie.Open(m_options.path.c_str(), m_options.width, m_options.height, m_options.fps, kSampleRate,
                      MusicRenderer::kChannels))
      return false;  // the writer logged why
    m_progress = std::make_unique<ProgressBar>(int64_t{kDemoSeconds} * m_options.fps, m_options.fps);
  }
  return true;
}

bool DemoRecorder::StartMusic(const char* file) {
  const std::string path = qibo::ResolvePath(file);
  return m_music.Open(path.c_str(), kSampleRate, m_options.fps);
}

void DemoRecorder::BeforeFrame() {
  auto* engine = qibo::FindService<CTEngineManager>();
  if (!engine) return;
  // The engine truncates the frame time to whole milliseconds: half a
  // millisecond more keeps the decimal text from rounding below the length.
  const double seconds = (FrameLength(m_frame, m_options.fps) + 0.5) / 1000.0;
  SetProperty(engine, "FrameTime", QIBO_String::Format("%.4f", seconds).c_str());
}

void DemoRecorder::ConfigureOutput(CTRenderTarget* target) {
  if (!target || target == m_configured) return;
  m_configured = target;
  // A window of the recording's size; the render device reads these when
  // it is shown, which the spectator does in the following frame.
  SetProperty(target, "FullScreen", "0");
  SetProperty(target, "ConfigurationMode", "1");
  SetProperty(target, "Width", std::to_string(m_options.width).c_str());
  SetProperty(target, "Height", std::to_string(m_options.height).c_str());
  SetProperty(target, "WaitForVerticalSync", "0");
}

bool DemoRecorder::AddPicture(CTRenderTarget* target) {
  const bool observed = m_observer && m_frame >= m_observeFrom;
  if (!m_movieEnabled && !observed) return true;
  std::unique_ptr<LFB> picture(target && target->IsVisible() ? target->GrabLFBFullScreen() : nullptr);
  const bool fits =
      picture && picture->GetWidth() == m_options.width && picture->GetHeight() == m_options.height;
  if (picture) ++m_grabbed;
  if (observed) {
    if (fits) {
      m_pixels.clear();
      for (int y = 0; y < picture->GetHeight(); ++y)
        m_pixels.insert(m_pixels.end(), picture->GetRow(y), picture->GetRow(y) + picture->GetWidth());
      m_observer(m_frame, m_pixels);
    } else {
      m_observer(m_frame, m_black);
    }
  }
  if (!m_movieEnabled) return true;
  if (picture) return m_movie.AddVideoFrame(*picture);
  return m_movie.AddVideoFrame(reinterpret_cast<const uint8_t*>(m_black.data()), m_options.width * 4,
                               PixelLayout::kBgra, false);
}

bool DemoRecorder::AfterFrame(CTBasicSpectator* spectator) {
  CTRenderTarget* target = spectator ? spectator->GetVideoDevice() : nullptr;
  if (target && !target->IsVisible()) ConfigureOutput(target);
  if (m_frameDone) m_frameDone(m_frame);
  if (!AddPicture(target)) return false;
  if (m_movieEnabled && m_music.IsOpen()) {
    if (m_music.RenderFrame(m_frame, m_samples) < 0) return false;
    if (!m_movie.AddAudio(m_samples.data(), static_cast<int>(m_samples.size() / MusicRenderer::kChannels)))
      return false;
  }
  ++m_frame;
  if (m_progress) m_progress->Update(m_frame);
  return true;
}

bool DemoRecorder::Finish() {
  if (m_progress) m_progress->Finish();
  if (!m_movieEnabled) return true;
  if (m_frame == 0 || m_grabbed == 0) {
    Abandon(m_frame == 0 ? "it stopped before the first frame" : "no frame could be rendered");
    return false;
  }
  const bool complete = m_movie.Close();
  const double seconds = static_cast<double>(m_frame) / m_options.fps;
  if (complete)
    printf("Recorded %lld frames (%.1f s, %dx%d at %d fps) to %s\n", static_cast<long long>(m_frame), seconds,
           m_options.width, m_options.height, m_options.fps, m_options.path.c_str());
  else
    fprintf(stderr, "Recording to %s failed: %s\n", m_options.path.c_str(), m_movie.LastError().c_str());
  fflush(stdout);
  return complete;
}

void DemoRecorder::Abandon(const char* why) {
  m_movie.Discard();
  fprintf(stderr, "Recording to %s failed: %s; nothing was written\n", m_options.path.c_str(), why);
}

}  // namespace qibo::demo
