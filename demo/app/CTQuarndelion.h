#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/devices/CTMusicPlayer.h"
#include "core/devices/CTTimer.h"
#include "core/devices/DevicePtr.h"
#include "core/io/CTBitmapIO.h"
#include "core/kernel/CTApplication.h"
#include "core/object/Ref.h"
#include "core/render/CTBasicSpectator.h"
#include "core/render/base/CTTexture.h"
#include "core/scene/CTCamera.h"
#include "core/scene/CTGroup.h"

class CTBoxScene;
class CTDemoScene;
class CTDoubleTorusScene;
class CTFader;
class CTInterlude;
class CTTorusScene;
class CTWaterTankScene;

namespace qibo::demo {
class DemoRecorder;
}

// The demo's application: builds the world (six scene objects, a camera on
// a key-framed path, a spectator), starts the music and runs frames until a
// key is pressed, the spectator's window goes away or the timeline quits.
//
// The timeline is a timed update every 1000 ms of world time; its counter
// (0 at construction) picks which scene is attached to the world, which
// picture the spectator shows as backdrop and what the fader does.
//
// Recording (SetRecorder) replaces the music player by the recorder's own
// music and real time by the recorder's constant frame clock. Music that
// cannot be read ends Run with 1 before the first frame; a recording is then
// given up and writes nothing.
class CTQuarndelion : public CTApplication {
  QIBO_CLASS(CTQuarndelion)

 public:
  // The five pictures, in import order.
  enum Picture { kStart1 = 0, kCreditsLeeg, kCreditsCode, kCreditsMusic, kCreditsGraphics, kPictureCount };
  static constexpr int32_t kLastCount = 315;  // the count that quits

  CTQuarndelion();
  ~CTQuarndelion() override;

  int Run(int argc, const char** argv) override;
  // Only sets the quit flag; the loop ends before the next frame.
  void Quit(int code) override;

  // ---- Parts of Run, callable one by one ----
  // World, camera and its path, materials, the six scenes and the spectator.
  void BuildScene();
  // Handles "-speed<N>" in every argument, argv[0] included.
  void ApplyArguments(int argc, const char* const* argv);
  // When an argument begins with "-setup": shows the settings pages of the
  // loaded plug-ins (the render device's) before the demo starts, so that
  // what they set is what the window opens with. Not while recording: a
  // recording has nobody to answer a page.
  void ShowSetup(int argc, const char* const* argv);
  // Imports the five pictures; a missing one stays null.
  void ImportPictures();
  // The timeline's timed update: runs the actions of the current count,
  // then counts on.
  void TimelineStep(int32_t elapsed);
  // Releases everything Run made, in the teardown order.
  void TearDown();

  // ---- State, for the program and its tests ----
  bool IsQuitting() const { return m_quit; }
  int32_t GetStep() const { return m_step; }
  void SetStep(int32_t step) { m_step = step; }
  CTGroup* GetWorld() const { return m_world.Get(); }
  CTCamera* GetCamera() const { return m_camera; }
  CTBasicSpectator* GetSpectator() const { return m_spectator.Get(); }
  CTTexture* GetPicture(Picture which) const { return m_pictures[which].Get(); }
  // Replaces an imported picture (tests give their own).
  void SetPicture(Picture which, CTTexture* picture) { m_pictures[which] = Ref<CTTexture>(picture); }
  CTTimer* GetTimerDevice() const { return m_timer.Get(); }
  CTDemoScene* GetScene1() const;
  CTDemoScene* GetScene2() const;
  CTDemoScene* GetScene3() const;
  CTDemoScene* GetScene4() const;
  CTInterlude* GetInterlude() const { return m_interlude.Get(); }
  CTFader* GetFader() const { return m_fader.Get(); }
  // Whether the spectator's output was ever shown during the last Run.
  bool WasShown() const { return m_shown; }

  // The console key test; tests replace it.
  void SetKeyTest(std::function<bool()> keyHit) { m_keyHit = std::move(keyHit); }
  // Renders into a file instead of a window; the application owns it.
  void SetRecorder(std::unique_ptr<qibo::demo::DemoRecorder> recorder);
  qibo::demo::DemoRecorder* GetRecorder() const { return m_recorder.get(); }
  // The window for this run (the settings file is left as it is): a size
  // (0: the device's own) and full screen or not.
  void SetWindow(int width, int height, bool fullScreen);

 private:
  // Step 3 of Run: the music player (or the recorder's music) is playing,
  // or, without a sound device, the demo goes on silently (after a warning).
  // False when the music itself cannot be played.
  bool StartMusic();
  // The shared timer from the device manager, obtained once.
  CTTimer* ObtainTimer();
  void MakeCameraPath();
  void Attach(CTDemoScene* scene);
  static void Detach(CTDemoScene* scene);
  void ShowPicture(Picture which);
  void Fade(float r, float g, float b, float duration, float level);
  void FadeOn(float duration, float level);
  // Opens the output before the first frame and uploads the textures of
  // every scene and picture, so that no later frame waits for them.
  void PrepareOutput();
  // Frames until one of the end conditions holds.
  void RunLoop();
  // Gives a newly seen render device the window settings of SetWindow.
  void ConfigureWindow(CTRenderTarget* device);

  DevicePtr<CTTimer> m_timer;
  DevicePtr<CTMusicPlayer> m_music;
  Ref<CTGroup> m_world;
  Ref<CTBasicSpectator> m_spectator;
  Ref<CTWaterTankScene> m_scene3;
  Ref<CTTorusScene> m_scene1;
  Ref<CTDoubleTorusScene> m_scene2;
  Ref<CTBoxScene> m_scene4;
  Ref<CTFader> m_fader;
  Ref<CTInterlude> m_interlude;
  Ref<CTTexture> m_pictures[kPictureCount];
  bool m_quit = false;
  int32_t m_step = 0;

  CTCamera* m_camera = nullptr;  // held by its group under the world
  Ref<CTBitmapIO> m_importer;
  bool m_shown = false;
  std::function<bool()> m_keyHit;
  std::unique_ptr<qibo::demo::DemoRecorder> m_recorder;
  int m_windowWidth = 0;
  int m_windowHeight = 0;
  bool m_fullScreen = false;
  CTRenderTarget* m_configured = nullptr;  // the device the window settings went to
};
