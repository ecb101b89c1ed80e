// Quarndelion: the demo program. Prints the first letters of its name as
// progress, brings the engine up, registers its own classes, loads the
// plug-ins and hands over to its application class.
//
//   Quarndelion [-speedN] [-setup] [--size WxH] [--fullscreen]   shows the demo in a window
//   Quarndelion --record FILE [--size WxH] [--fps N] [--quality LEVEL]   renders it into a movie file
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/StopSignals.h"
#include "core/object/Ref.h"
#include "demo/CTBassPlayer.h"
#include "demo/CTWinTimer.h"
#include "demo/app/CTQuarndelion.h"
#include "demo/app/DemoRecorder.h"
#include "demo/app/Progress.h"
#include "demo/data/DataPath.h"
#include "demo/effects/CTTorus1.h"
#include "demo/record/RecordOptions.h"

namespace {

// Registers one class with the class manager, starting it if needed.
void RegisterProgramClass(ClassDesc* cd) {
  auto* classes = qibo::GetService<CTClassManager>();
  if (!classes) return;
  Ref hold(classes);
  if (!classes->IsStarted()) classes->Start();
  if (classes->IsStarted()) classes->RegisterClass(cd);
}

// Hands the recorder to the application the engine made for qiBO_Main.
void AttachRecorder(const qibo::demo::RecordOptions& options) {
  auto* app = static_cast<CTQuarndelion*>(
      qibo::DynamicCast(qiBO_GetServiceByName("CTQuarndelion"), CTQuarndelion::_CD()->ID()));
  if (app)
    app->SetRecorder(
        std::make_unique<qibo::demo::DemoRecorder>(options, qibo::demo::MovieSettings::For(options.quality)));
}

// The window's size and mode for this run, from --size and --fullscreen.
void SetWindow(const qibo::demo::RecordOptions& options) {
  auto* app = static_cast<CTQuarndelion*>(
      qibo::DynamicCast(qiBO_GetServiceByName("CTQuarndelion"), CTQuarndelion::_CD()->ID()));
  if (app)
    app->SetWindow(options.sizeGiven ? options.width : 0, options.sizeGiven ? options.height : 0,
                   options.fullScreen);
}

}  // namespace

int main(int argc, char** argv) {
  qibo::InstallStopSignalHandlers();

  qibo::demo::RecordOptions record;
  std::string error;
  if (!qibo::demo::ParseRecordOptions(argc, argv, record, error)) {
    fprintf(stderr, "Quarndelion: %s\n", error.c_str());
    return 2;
  }
  // A recording never opens a window: SDL renders off screen (and must be
  // told before it starts).
  if (record.Enabled()) setenv("SDL_VIDEODRIVER", "offscreen", 1);
  // Without a display SDL would fall back to rendering off screen, and the
  // demo would play unseen for five minutes. A driver named by the user
  // (SDL_VIDEODRIVER) is trusted.
  if (!record.Enabled() && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY") && !getenv("SDL_VIDEODRIVER")) {
    fprintf(stderr,
            "Quarndelion: there is no display to show the demo on (DISPLAY and WAYLAND_DISPLAY are unset).\n"
            "To render it into a movie file instead, run: Quarndelion --record demo.mp4\n");
    return 1;
  }
  std::string where;
  if (!qibo::demo::EnterDataDirectory(&where)) fprintf(stderr, "Quarndelion: %s\n", where.c_str());

  qibo::demo::PrintProgress('q');
  qiBO_Init();
  // The console front end attaches itself to the front-end manager.
  qiBO_CreateClassByName("CTConsoleFrontEnd");

  ClassDesc* const programClasses[] = {CTQuarndelion::_CD(), CTBassPlayer::_CD(), CTTorus1::_CD(),
                                       CTWinTimer::_CD()};
  for (ClassDesc* cd : programClasses) RegisterProgramClass(cd);

  qiBO_LoadAllPlugIns();
  qibo::demo::PrintProgress('u');
  if (record.Enabled())
    AttachRecorder(record);
  else
    SetWindow(record);
  const int result = qiBO_Main("CTQuarndelion", argc, const_cast<const char**>(argv));
  qiBO_Deinit();
  qibo::ExitForStopSignal();
  return result;
}
