#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "demo/record/MovieWriter.h"
#include "demo/record/MusicRenderer.h"
#include "demo/record/ProgressBar.h"
#include "demo/record/RecordOptions.h"

class CTBasicSpectator;
class CTRenderTarget;

// Records the demo into a movie instead of showing it: every frame lasts
// exactly 1000 / fps ms of world time (frame lengths alternate where that is
// not a whole number, so that fps frames always make one second), the
// random generator starts from a fixed seed, the music is rendered in step
// with the frames, and each frame's picture is read back from the
// spectator's render target. The same frames come out on every run.
//
// The application calls Prepare before it builds its scene, StartMusic in
// place of the music player, BeforeFrame and AfterFrame around every frame
// and Finish after its loop.
namespace qibo::demo {

class DemoRecorder {
 public:
  static constexpr uint32_t kSeed = 1;       // rand() seed of every recording
  static constexpr int kSampleRate = 44100;  // Hz, stereo
  static constexpr int kDemoSeconds = 316;   // the timeline quits after about this long

  explicit DemoRecorder(RecordOptions options, MovieSettings settings = {});
  ~DemoRecorder();
  DemoRecorder(const DemoRecorder&) = delete;
  DemoRecorder& operator=(const DemoRecorder&) = delete;

  // The length of frame k in ms at fps frames per second: fps consecutive
  // frames always add up to 1000 ms.
  static int32_t FrameLength(int64_t frame, int fps);

  // Seeds the random generator, switches the engine to constant frame
  // times and opens the movie file; false (logged) when the file cannot be
  // written.
  bool Prepare();
  // Opens the module music; false when it cannot be read.
  bool StartMusic(const char* file);
  // Gives the coming frame its length.
  void BeforeFrame();
  // Adds the frame just drawn (black while the output is not up yet) and
  // its share of the music; false when the movie cannot take it.
  bool AfterFrame(CTBasicSpectator* spectator);
  // Closes the movie and says where it is; false (said on the console) when
  // it is incomplete or no frame was rendered (the render device could not
  // be made), and then nothing is written.
  bool Finish();
  // Gives up the recording before its first frame: nothing is written (an
  // older file of the movie's name stays as it was) and the console says
  // why.
  void Abandon(const char* why);

  const RecordOptions& GetOptions() const { return m_options; }
  int64_t GetFrame() const { return m_frame; }
  // Frames whose picture came from the render target.
  int64_t GetGrabbedFrames() const { return m_grabbed; }
  // Called with every frame's picture from frame first on (width x height
  // pixels 0xAARRGGBB, top row first; black while the output is not up
  // yet), besides the movie.
  using FrameObserver = std::function<void(int64_t frame, const std::vector<uint32_t>& pixels)>;
  void SetFrameObserver(FrameObserver observer, int64_t first = 0) {
    m_observer = std::move(observer);
    m_observeFrom = first;
  }
  // Without a movie file: the frames go only to the observer (golden tests);
  // with neither, no picture is read back at all (frame timing).
  void SetMovieEnabled(bool on) { m_movieEnabled = on; }
  // Called at the end of every frame with its number, before its picture
  // is read back.
  using FrameCallback = std::function<void(int64_t frame)>;
  void SetFrameCallback(FrameCallback callback) { m_frameDone = std::move(callback); }

  // Sets the output size on the render target before it is first shown.
  void ConfigureOutput(CTRenderTarget* target);

 private:
  bool AddPicture(CTRenderTarget* target);

  RecordOptions m_options;
  MovieWriter m_movie;
  MusicRenderer m_music;
  std::unique_ptr<ProgressBar> m_progress;
  std::vector<float> m_samples;
  std::vector<uint32_t> m_black;
  FrameObserver m_observer;
  FrameCallback m_frameDone;
  int64_t m_observeFrom = 0;
  std::vector<uint32_t> m_pixels;
  CTRenderTarget* m_configured = nullptr;  // the target whose size was set
  int64_t m_frame = 0;
  int64_t m_grabbed = 0;
  bool m_movieEnabled = true;
};

}  // namespace qibo::demo
