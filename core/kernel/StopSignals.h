#pragma once

// Ctrl+C (SIGINT), SIGTERM and a hang-up (SIGHUP, the terminal or session
// went away) end our programs cleanly. The handler only notes the signal;
// the frame loops stop at their next frame, the program tears down as on
// any other end (the terminal gets its mode back, a movie being recorded
// gets its index), and it finally ends by the same signal, so its parent
// sees the usual status. A second signal while the program winds down ends
// it at once. A signal the program was started with ignored (nohup) stays
// ignored.
namespace qibo {

// Installs the handlers; call before any library that would install its
// own (SDL leaves a handler that is already there alone).
void InstallStopSignalHandlers();
// The stop signal that arrived, or 0.
int StopSignalReceived();
// For tests: forgets a signal that arrived.
void ClearStopSignal();
// After the program has cleaned up: restores the terminal and ends the
// process by the signal that asked it to stop. Returns when none arrived.
void ExitForStopSignal();

}  // namespace qibo
