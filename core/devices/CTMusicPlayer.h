#pragma once

#include "core/devices/CTDevice.h"

// Plays one piece of music: Load a file, then Play it.
//
// Naming: the operation that stops the music is StopMusic(), not Stop().
// CTDevice::Stop() is the device lifecycle (stop the device and its
// children); an operation of the same name here would hide it, so the same
// call on the same object would stop the music or the device depending on
// the pointer's type. With two names, player->Stop() always stops the
// device, and the device manager's stop of a player is the same call as
// anyone else's.
class CTMusicPlayer : public CTDevice {
  QIBO_CLASS(CTMusicPlayer)

 public:
  // Plays the loaded music; false when nothing is loaded or it does not play.
  virtual bool Play() = 0;
  // Holds the music where it is; a player that cannot answers false.
  virtual bool Pause() = 0;
  // Goes on from where Pause held it; a player that cannot answers false.
  virtual bool Resume() = 0;
  // Stops the music (the device stays started).
  virtual bool StopMusic() = 0;
  // Unloads what was loaded, then loads the file.
  virtual bool Load(const char* file) = 0;
  // Stops the music and frees it.
  virtual bool Unload() = 0;
};
