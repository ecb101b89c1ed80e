#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/devices/CTAV_Player.h"
#include "core/devices/DevicePtr.h"
#include "core/object/QIBO_String.h"
#include "core/object/Ref.h"
#include "plugins/d3d/DSoundOutput.h"

class CTDirect3D;
class CTTexture;
class DMediaFile;

// The audio/video player of the render-device plug-in: plays the files of
// its playlist one after another, each picture becoming the Direct3D
// device's background picture (so the video shows behind the scene) at the
// video's own pace, the sound going to the sound card (SDL2 audio) or to a
// sound sink.
//
// Open obtains the Direct3D device (the one the program shows, else one
// from the device manager), opens every file and starts the first. Each
// failing step of opening a file is printed as "ERROR!!: <step>" and
// logged with the file's name; that file is left out and the others play.
// The playing update (every engine update while started) moves the current
// file on by the engine's frame time, so a recording at a constant frame
// time shows every picture at its time.
class CTDirect_AVPlayer : public CTAV_Player {
  QIBO_CLASS(CTDirect_AVPlayer)

 public:
  CTDirect_AVPlayer();
  ~CTDirect_AVPlayer() override;

  bool AddFile(const char* file) override;
  bool Open() override;
  bool Pause() override;
  bool Resume() override;
  void StopPlaying() override;
  void SetLoop(bool loop) override { m_loop = loop; }
  int GetCurrent() const override { return m_current; }
  bool IsPaused() const override { return m_paused; }
  void SetSoundSink(SoundSink* sink) override { m_sink = sink; }

 protected:
  bool StartDevice() override;
  bool StopDevice() override;

 private:
  bool ObtainDevice();
  void CloseFiles();
  // Starts file index (from its beginning); false when it cannot start.
  bool StartFile(int index);
  // The next file that opened after the current one (from the first again
  // when looping); -1 when there is none.
  int NextFile() const;
  void PlayFrame(int32_t elapsed);
  void Sound(const float* interleaved, int frames, int64_t position);

  DevicePtr<CTDirect3D> m_device;
  Ref<CTTexture> m_target;  // the device's background surface
  std::vector<QIBO_String> m_playlist;
  std::vector<std::unique_ptr<DMediaFile>> m_files;  // null where a file did not open
  int m_current = -1;
  bool m_loop = false;
  bool m_paused = false;
  bool m_updating = false;
  DSoundOutput m_output;
  bool m_outputFailed = false;  // reported once per Open
  SoundSink* m_sink = nullptr;
  int64_t m_playedMs = 0;          // playing time since Open, pauses left out
  int64_t m_fileStartSamples = 0;  // where the current file began, in sample frames
};
