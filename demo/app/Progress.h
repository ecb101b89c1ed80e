#pragma once

#include "core/kernel/ConsoleOutput.h"

namespace qibo::demo {

// One character of the program's name as start-up progress, shown at once
// (no newline; a message in between gets a line of its own).
inline void PrintProgress(char c) {
  const char text[2] = {c, '\0'};
  qibo::ConsoleWrite(text);
}

}  // namespace qibo::demo
