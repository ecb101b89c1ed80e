#include "core/kernel/ConsoleOutput.h"

#include <cstdio>
#include <cstring>

namespace qibo {

namespace {

bool s_lineOpen = false;  // the last character written was not a newline

}  // namespace

void ConsoleWrite(const char* text) {
  if (!text || !*text) return;
  fputs(text, stdout);
  fflush(stdout);
  s_lineOpen = text[std::strlen(text) - 1] != '\n';
}

void ConsoleWriteLine(const char* text) {
  ConsoleEndLine();
  fputs(text ? text : "", stdout);
  fputc('\n', stdout);
  fflush(stdout);
  s_lineOpen = false;
}

void ConsoleEndLine() {
  if (!s_lineOpen) return;
  fputc('\n', stdout);
  fflush(stdout);
  s_lineOpen = false;
}

}  // namespace qibo
