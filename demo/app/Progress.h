#pragma once

#include <cstdio>

namespace qibo::demo {

// One character of the program's name as start-up progress, shown at once
// (no newline).
inline void PrintProgress(char c) {
  fputc(c, stdout);
  fflush(stdout);
}

}  // namespace qibo::demo
