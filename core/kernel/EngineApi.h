#pragma once

#include <cstdint>

class CTEntity;
class CTEnvironment;
class CTSpectator;
struct DRenderContext;
struct Vector3;

// The engine's exported frame functions. Each reaches the engine manager
// through the library's cached reference, created and started on first use;
// without an engine manager they do nothing and answer 0, false or null.

// Runs the application service named by class name, name without "CT" or
// description; -1 when there is none.
int qiBO_Main(const char* application, int argc, const char** argv);
// Asks the running application to quit with code.
void qiBO_Quit(int code);

// Runs frames until qiBO_StopLoop.
void qiBO_Loop();
// True if no loop is running; false if a running loop was asked to end
// after its current frame.
bool qiBO_StopLoop();
bool qiBO_Pause();
bool qiBO_Continue();
bool qiBO_IsLooping();
bool qiBO_IsPaused();
// One frame; returns its length in milliseconds (10 while paused).
int32_t qiBO_DoFrame();
// The engine lock, held for the whole frame; re-entrant.
void qiBO_Lock();
void qiBO_Unlock();
bool qiBO_DoRenderContext(DRenderContext* context);
// The current frame counter.
uint32_t qiBO_GetFrameID();

// Entities drawn in every render context besides the cameras' scenes.
void qiBO_AddDrawable(CTEntity* entity);
void qiBO_RemoveDrawable(CTEntity* entity);
// Spectators processed every frame, in registration order.
void qiBO_RegisterSpectator(CTSpectator* spectator);
void qiBO_UnregisterSpectator(CTSpectator* spectator);
// The environments the frame keeps up to date (CTEnvironment registers
// itself through these when registered with its service).
void qiBO_AddEnvironment(CTEnvironment* environment);
void qiBO_RemoveEnvironment(CTEnvironment* environment);
CTEnvironment* qiBO_GetDefaultEnvironment();
CTEnvironment* qiBO_FindEnvironment(const Vector3& point);
