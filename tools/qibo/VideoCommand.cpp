// qibo video FILE... : plays video files one after another through the
// render device's audio/video player: the pictures as the background of
// the device's output (an empty scene with the device's logo in front),
// the sound through the sound card.
//
//   qibo video FILE... [--loop]                          in a window, until the files end or a key
//   qibo video FILE... --record OUT [--size WxH] [--fps N]   into a movie, off screen, sound included
//   qibo video FILE... --snapshot OUT [--at SECONDS] [--size WxH]   the picture at that time (default: the
//   end)
//
// Recording and snapshots run off screen at a constant frame time, so
// every picture is shown at its time however long a frame takes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/devices/CTAV_Player.h"
#include "core/devices/CTDeviceManager.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/ConsoleInput.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/StopSignals.h"
#include "core/object/QIBO_String.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/CTRenderTarget.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTGroup.h"
#include "demo/CTWinTimer.h"
#include "demo/record/MovieWriter.h"
#include "demo/record/RecordOptions.h"
#include "tools/qibo/Commands.h"

namespace qibo::tool {

namespace {

constexpr int kSoundRate = CTAV_Player::kSoundRate;

struct VideoOptions {
  std::vector<std::string> files;
  bool loop = false;
  demo::RecordOptions record;
  std::string snapshot;
  double at = -1.0;  // seconds; below 0: the end

  bool Headless() const { return record.Enabled() || !snapshot.empty(); }
};

bool ParseVideoOptions(int argc, char** argv, VideoOptions& options, std::string& error) {
  // The recording options as the demo takes them (its parser skips argv[0]).
  std::vector<const char*> args{"video"};
  for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
  if (!demo::ParseRecordOptions(static_cast<int>(args.size()), args.data(), options.record, error))
    return false;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--record" || arg == "--size" || arg == "--fps") {
      ++i;  // taken by ParseRecordOptions
    } else if (arg.starts_with("--record=") || arg.starts_with("--size=") || arg.starts_with("--fps=")) {
    } else if (arg == "--loop") {
      options.loop = true;
    } else if (arg == "--snapshot" && hasValue) {
      options.snapshot = argv[++i];
    } else if (arg == "--at" && hasValue) {
      char* end = nullptr;
      options.at = std::strtod(argv[++i], &end);
      if (!end || *end || options.at < 0.0) {
        error = "--at needs a time in seconds, not \"" + std::string(argv[i]) + "\"";
        return false;
      }
    } else if (arg.starts_with("--")) {
      error = "unknown option " + std::string(arg);
      return false;
    } else {
      options.files.emplace_back(arg);
    }
  }
  if (options.files.empty()) {
    error = "no video file given";
    return false;
  }
  if (options.loop && options.Headless()) {
    error = "--loop would never end a recording or a snapshot";
    return false;
  }
  if (options.at >= 0.0 && options.snapshot.empty()) {
    error = "--at goes with --snapshot";
    return false;
  }
  return true;
}

// The player's sound into the movie, at the positions the player gives
// (gaps, such as a video without sound, become silence).
class MovieSound : public CTAV_Player::SoundSink {
 public:
  explicit MovieSound(demo::MovieWriter* movie) : m_movie(movie) {}

  void WriteSound(const float* interleaved, int frames, int64_t position) override {
    if (!m_movie || frames <= 0) return;
    if (position < m_written) {  // overlaps what is written: the rest only
      const int64_t skip = std::min<int64_t>(m_written - position, frames);
      interleaved += skip * CTAV_Player::kSoundChannels;
      frames -= static_cast<int>(skip);
    } else {
      PadTo(position);
    }
    if (frames > 0 && m_movie->AddAudio(interleaved, frames)) m_written += frames;
  }

  // Silence up to position (sample frames).
  void PadTo(int64_t position) {
    static const std::vector<float> silence(4096 * CTAV_Player::kSoundChannels, 0.0f);
    while (m_movie && m_written < position) {
      const int frames = static_cast<int>(std::min<int64_t>(4096, position - m_written));
      if (!m_movie->AddAudio(silence.data(), frames)) return;
      m_written += frames;
    }
  }

 private:
  demo::MovieWriter* m_movie;
  int64_t m_written = 0;
};

// The length of frame k at fps frames per second: fps frames make a second.
int32_t FrameLength(int64_t frame, int fps) {
  return static_cast<int32_t>((frame + 1) * 1000 / fps - frame * 1000 / fps);
}

void SetProperty(CTInterface* object, const char* name, const char* value) {
  if (object) object->GetPropertyByName(name).FromString(value);
}

// The render device the spectator shows, the player and an empty scene.
struct Stage {
  DevicePtr<CTRenderTarget> device;
  DevicePtr<CTAV_Player> player;
  Ref<CTGroup> world;
  Ref<CTBasicSpectator> spectator;

  bool Build(const VideoOptions& options) {
    auto* devices = qibo::GetService<CTDeviceManager>();
    if (!devices) return false;
    device = qibo::Cast<CTRenderTarget>(devices->GetDevice("CTDirect3D", -1, false));
    if (!device) return false;
    if (options.Headless()) {
      // A window of the recording's size, off screen.
      const demo::RecordOptions& r = options.record;
      SetProperty(device.Get(), "FullScreen", "0");
      SetProperty(device.Get(), "ConfigurationMode", "1");
      SetProperty(device.Get(), "Width", std::to_string(r.width).c_str());
      SetProperty(device.Get(), "Height", std::to_string(r.height).c_str());
      SetProperty(device.Get(), "WaitForVerticalSync", "0");
    }
    world = qibo::Create<CTGroup>();
    if (!world) return false;
    world->SetName("World");
    auto* camera = new CTCamera("Camera", world.Get());
    spectator = qibo::Create<CTBasicSpectator>();
    if (!spectator) return false;
    spectator->SetCamera(camera);
    spectator->SetVideoDevice(device.Get());
    spectator->RegisterWithService();
    spectator->Enable();
    player = qibo::Cast<CTAV_Player>(devices->GetDevice(CTAV_Player::_CD()->ID(), -1, false));
    return player.Get() != nullptr;
  }

  void TearDown() {
    player.Reset();
    if (spectator) spectator->UnregisterWithService();
    spectator.Reset();
    world.Reset();
    device.Reset();
  }
};

// Plays (and records) until the playlist is over; false when a frame
// could not be recorded.
bool RunFrames(const VideoOptions& options, Stage& stage, demo::MovieWriter* movie, MovieSound& sound,
               std::unique_ptr<LFB>& snapshot, int64_t& frame) {
  auto* engine = qibo::FindService<CTEngineManager>();
  const int fps = options.record.fps;
  const int64_t snapshotMs = options.at >= 0.0 ? static_cast<int64_t>(options.at * 1000.0) : -1;
  frame = 0;
  int64_t elapsed = 0;
  int64_t printed = -1000;
  while (stage.player->GetCurrent() >= 0 && !qibo::StopSignalReceived()) {
    if (!options.Headless() && qibo::KeyHit()) break;
    if (!stage.spectator->IsEnabled()) break;  // the window was closed
    if (options.Headless() && engine) {
      // Half a millisecond more keeps the decimal text from rounding down.
      const double seconds = (FrameLength(frame, fps) + 0.5) / 1000.0;
      SetProperty(engine, "FrameTime", QIBO_String::Format("%.4f", seconds).c_str());
    }
    elapsed += qiBO_DoFrame();
    CTRenderTarget* target = stage.spectator->GetVideoDevice();
    const bool shown = target && target->IsVisible();
    if (movie) {
      std::unique_ptr<LFB> picture(shown ? target->GrabLFBFullScreen() : nullptr);
      if (!picture) picture = std::make_unique<LFB>(options.record.width, options.record.height);
      if (!movie->AddVideoFrame(*picture)) return false;
    }
    if (!options.snapshot.empty() && shown && (snapshotMs < 0 || (elapsed >= snapshotMs && !snapshot)))
      snapshot.reset(target->GrabLFBFullScreen());
    ++frame;
    if (elapsed - printed >= 100) {
      printf("\r%7.1f s", static_cast<double>(elapsed) / 1000.0);
      fflush(stdout);
      printed = elapsed;
    }
  }
  printf("\r%7.1f s\n", static_cast<double>(elapsed) / 1000.0);
  if (movie) sound.PadTo(frame * kSoundRate / fps);
  return true;
}

bool SaveSnapshot(const std::string& file, std::unique_ptr<LFB> picture) {
  if (!picture) {
    fprintf(stderr, "qibo video: nothing was shown to take a snapshot of\n");
    return false;
  }
  Ref<CTTexture> texture = qibo::Create<CTTexture>();
  if (!texture || !texture->SetData(std::move(picture))) return false;
  if (!ExportPicture("video", file.c_str(), texture.Get())) return false;
  printf("Snapshot saved to %s\n", Printable(file).c_str());
  return true;
}

}  // namespace

int Video(int argc, char** argv) {
  VideoOptions options;
  std::string error;
  if (!ParseVideoOptions(argc, argv, options, error)) {
    fprintf(stderr, "qibo video: %s\n", error.c_str());
    return 2;
  }
  if (options.Headless()) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
  } else if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("SDL_VIDEODRIVER")) {
    fprintf(stderr,
            "qibo video: there is no display to show the video on (DISPLAY and WAYLAND_DISPLAY are unset);\n"
            "record it instead: qibo video FILE... --record out.mp4\n");
    return 1;
  }
  if (!LoadToolPlugIn("RasterDev.plug")) {
    fprintf(stderr, "qibo video: RasterDev.plug could not be loaded\n");
    return 1;
  }
  if (!options.snapshot.empty() && !LoadToolPlugIn("qiboIO.plug")) {
    fprintf(stderr, "qibo video: qiboIO.plug could not be loaded (snapshots are written through it)\n");
    return 1;
  }
  if (options.Headless()) {
    SetProperty(qibo::GetService<CTEngineManager>(), "ConstantFrameTime", "1");
  } else {
    qiBO_RegisterClass(CTWinTimer::_CD());  // frames follow the clock
  }

  const int logged = qiBO_GetErrorsCount();
  Stage stage;
  if (!stage.Build(options)) {
    fprintf(stderr, "qibo video: the render device or the player could not be started\n");
    PrintLogSince(logged);
    stage.TearDown();
    return 1;
  }
  demo::MovieWriter movieWriter;
  demo::MovieWriter* movie = options.record.Enabled() ? &movieWriter : nullptr;
  const demo::RecordOptions& record = options.record;
  if (movie && !movie->Open(record.path.c_str(), record.width, record.height, record.fps, kSoundRate,
                            CTAV_Player::kSoundChannels)) {
    fprintf(stderr, "qibo video: %s: %s\n", Printable(record.path).c_str(), movie->LastError().c_str());
    stage.TearDown();
    return 1;
  }
  MovieSound sound(movie);
  for (const std::string& file : options.files) stage.player->AddFile(file.c_str());
  stage.player->SetLoop(options.loop);
  // Headless, the sound goes into the movie (or nowhere), never to a sound card.
  if (options.Headless()) stage.player->SetSoundSink(&sound);
  stage.player->NoError();
  const bool opened = stage.player->Open();
  // A file that did not open was reported (and left out); the rest play.
  const bool allOpened = opened && !stage.player->HasError();
  if (!allOpened) PrintLogSince(logged);
  int result = allOpened ? 0 : 1;
  std::unique_ptr<LFB> snapshot;
  int64_t frames = 0;
  if (opened) {
    printf("Playing %d file%s%s\n", static_cast<int>(options.files.size()),
           options.files.size() == 1 ? "" : "s", options.Headless() ? "" : "; press a key to stop");
    if (!RunFrames(options, stage, movie, sound, snapshot, frames)) result = 1;
  }
  stage.player->SetSoundSink(nullptr);
  if (movie) {
    if (movie->Close())
      printf("Recorded %lld frames to %s\n", static_cast<long long>(frames), Printable(record.path).c_str());
    else
      result = 1;
  }
  if (!options.snapshot.empty() && opened && !SaveSnapshot(options.snapshot, std::move(snapshot))) result = 1;
  stage.TearDown();
  return result;
}

}  // namespace qibo::tool
