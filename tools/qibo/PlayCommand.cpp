// qibo play FILE: plays a music file through the music-player device while
// the engine runs frames, showing the elapsed time, until a key is pressed
// or the piece ends (module music loops, so it ends only by key, Ctrl+C or
// SIGTERM).
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/CTMusicPlayer.h"
#include "core/devices/DevicePtr.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/ConsoleInput.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/StopSignals.h"
#include "core/persist/OsPath.h"
#include "demo/CTBassPlayer.h"
#include "demo/CTWinTimer.h"
#include "tools/qibo/Commands.h"

namespace qibo::tool {

namespace {

constexpr int kPrintEveryMs = 100;
// Nothing is drawn, so the frames need not run flat out.
constexpr auto kFramePause = std::chrono::milliseconds(10);

}  // namespace

int Play(int argc, char** argv) {
  if (argc != 1) return 2;
  const char* file = argv[0];
  if (access(qibo::ResolvePath(file).c_str(), R_OK) != 0) {
    fprintf(stderr, "qibo play: %s: %s\n", Printable(file).c_str(), strerror(errno));
    return 1;
  }
  // The engine's clock and the player: the device manager makes both from
  // these classes on request.
  qiBO_RegisterClass(CTWinTimer::_CD());
  qiBO_RegisterClass(CTBassPlayer::_CD());

  auto* devices = qibo::GetService<CTDeviceManager>();
  if (!devices) {
    fprintf(stderr, "qibo play: no device manager\n");
    return 1;
  }
  const int firstRecord = qiBO_GetErrorsCount();
  DevicePtr<CTMusicPlayer> player;
  player = static_cast<CTMusicPlayer*>(
      qibo::DynamicCast(devices->GetDevice(CTMusicPlayer::_CD()->ID(), false), CTMusicPlayer::_CD()->ID()));
  if (!player) {
    // The player said why (no sound device, and SDL's reason) in the log.
    fprintf(stderr, "qibo play: no music player could be started:\n");
    PrintLogSince(firstRecord, true);
    return 1;
  }
  if (!player->Load(file) || !player->Play()) {
    const QIBO_String reason = player->HasError() ? player->LastErrorMsg() : QIBO_String("it does not play");
    fprintf(stderr, "qibo play: %s: %s\n", file, reason.c_str());
    return 1;
  }
  // Only our own player can tell when a stream has ended.
  auto* bass = qibo::Cast<CTBassPlayer>(player.Get());
  printf("Playing %s%s; press a key to stop\n", file,
         bass && bass->IsModule() ? " (module music, looping)" : "");

  int64_t elapsed = 0;
  int64_t printed = -kPrintEveryMs;
  while (!qibo::KeyHit() && !qibo::StopSignalReceived() && (!bass || bass->IsActive())) {
    elapsed += qiBO_DoFrame();
    if (elapsed - printed >= kPrintEveryMs) {
      printf("\r%7.1f s", static_cast<double>(elapsed) / 1000.0);
      fflush(stdout);
      printed = elapsed;
    }
    std::this_thread::sleep_for(kFramePause);
  }
  printf("\r%7.1f s\n", static_cast<double>(elapsed) / 1000.0);
  return 0;
}

}  // namespace qibo::tool
