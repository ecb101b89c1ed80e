// Quarndelion: the demo program. Prints the first letters of its name as
// progress, brings the engine up, registers its own classes, loads the
// plug-ins and hands over to its application class.
#include <cstdio>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/StopSignals.h"
#include "core/object/Ref.h"
#include "demo/CTBassPlayer.h"
#include "demo/CTWinTimer.h"

namespace {

// One character of "quarndelion", shown at once.
void Progress(char c) {
  fputc(c, stdout);
  fflush(stdout);
}

// Registers one class with the class manager, starting it if needed.
void RegisterProgramClass(ClassDesc* cd) {
  auto* classes = qibo::GetService<CTClassManager>();
  if (!classes) return;
  Ref hold(classes);
  if (!classes->IsStarted()) classes->Start();
  if (classes->IsStarted()) classes->RegisterClass(cd);
}

}  // namespace

int main(int argc, char** argv) {
  qibo::InstallStopSignalHandlers();
  Progress('q');
  qiBO_Init();
  // The console front end attaches itself to the front-end manager.
  qiBO_CreateClassByName("CTConsoleFrontEnd");

  // The program's classes in their registration order: CTQuarndelion,
  // CTBassPlayer, CTTorus1, CTWinTimer (the application and the torus
  // scene join as they are written).
  ClassDesc* const programClasses[] = {CTBassPlayer::_CD(), CTWinTimer::_CD()};
  for (ClassDesc* cd : programClasses) RegisterProgramClass(cd);

  qiBO_LoadAllPlugIns();
  Progress('u');
  const int result = qiBO_Main("CTQuarndelion", argc, const_cast<const char**>(argv));
  qiBO_Deinit();
  qibo::ExitForStopSignal();
  return result;
}
