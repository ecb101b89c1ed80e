#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class CTEntity;
class CTEnvironment;
class CTSpectator;
struct DRenderContext;
struct Vector3;

// The engine kernel: owns the frame. Measures time with the timer device,
// ticks the message manager, runs the frame's services, lets the spectators
// queue their views, renders them through the render pipeline, presents
// the targets drawn and counts frames.
// All frame work runs on the thread that calls DoFrame or Loop, under the
// engine lock; other threads take the lock to touch the scene between
// frames.
class CTEngineManager : public CTManager {
  QIBO_CLASS(CTEngineManager)

 public:
  // Runs frames until StopLoop.
  virtual void Loop() = 0;
  // True if no loop is running; false if a running loop was asked to end
  // after its current frame.
  virtual bool StopLoop() = 0;
  virtual bool Pause() = 0;
  virtual bool Continue() = 0;
  virtual bool IsLooping() = 0;
  virtual bool IsPaused() = 0;
  // One frame; its length in milliseconds (10 while paused).
  virtual int32_t DoFrame() = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  // Queues a viewport's render context for this frame; not owned.
  virtual bool DoRenderContext(DRenderContext* context) = 0;
  virtual uint32_t GetFrameID() = 0;
  // Milliseconds of the frame being processed, on the engine's timer.
  virtual uint32_t GetWorldTime() = 0;
  // Entities drawn in every render context besides the camera's scene; the
  // engine is a named holder, duplicates are ignored.
  virtual void AddDrawable(CTEntity* entity) = 0;
  virtual void RemoveDrawable(CTEntity* entity) = 0;
  // Spectators processed every frame, in registration order; the engine is
  // a named holder.
  virtual void RegisterSpectator(CTSpectator* spectator) = 0;
  virtual void UnregisterSpectator(CTSpectator* spectator) = 0;
  // Environments whose world transforms every frame brings up to date (named
  // holder, no duplicates).
  virtual void AddEnvironment(CTEnvironment* environment) = 0;
  virtual void RemoveEnvironment(CTEnvironment* environment) = 0;
  // The first registered environment without a bounding volume, else one
  // named "Earth" made for the purpose; kept until the engine stops.
  virtual CTEnvironment* GetDefaultEnvironment() = 0;
  // The environment of highest priority that holds the point (one without a
  // bounding volume holds every point); the default one when none does.
  virtual CTEnvironment* FindEnvironment(const Vector3& point) = 0;
};
