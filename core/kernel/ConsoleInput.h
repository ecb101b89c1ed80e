#pragma once

// The console key test: whether a key was pressed on the terminal.
//
// When the input is a terminal, the first test switches it to
// non-canonical, no-echo mode (keys arrive one at a time and are not shown)
// and registers RestoreConsoleInput with atexit, so the shell gets its
// terminal back. Without a terminal (a pipe, a file, /dev/null) there is no
// key. Engine thread only.
namespace qibo {

// True when a key was pressed on standard input since the last test; the
// pending keys are read and dropped.
bool KeyHit();
// The same on a given descriptor; a different terminal than the one in raw
// mode gets the previous one restored first.
bool KeyHitOn(int fd);
// Puts the terminal the key test switched back to the mode it had; nothing
// when none was switched. Safe to call more than once.
void RestoreConsoleInput();

}  // namespace qibo
