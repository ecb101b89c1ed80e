#include "core/kernel/ConsoleInput.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace qibo {

namespace {

// The terminal in raw mode and the settings to give back to it.
struct RawTerminal {
  int fd = -1;
  termios saved{};
};

RawTerminal g_raw;
bool g_atexitRegistered = false;

bool MakeRaw(int fd) {
  termios current{};
  if (tcgetattr(fd, &current) != 0) return false;
  termios raw = current;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &raw) != 0) return false;
  g_raw.fd = fd;
  g_raw.saved = current;
  if (!g_atexitRegistered) g_atexitRegistered = atexit(RestoreConsoleInput) == 0;
  return true;
}

}  // namespace

void RestoreConsoleInput() {
  if (g_raw.fd < 0) return;
  tcsetattr(g_raw.fd, TCSANOW, &g_raw.saved);
  g_raw.fd = -1;
}

bool KeyHitOn(int fd) {
  if (fd < 0 || !isatty(fd)) return false;
  if (g_raw.fd != fd) {
    RestoreConsoleInput();
    if (!MakeRaw(fd)) return false;
  }
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return false;
  // Drain what is pending so that one press counts once and nothing is left
  // for the shell.
  char keys[64];
  const ssize_t got = read(fd, keys, sizeof(keys));
  return got > 0;
}

bool KeyHit() { return KeyHitOn(STDIN_FILENO); }

}  // namespace qibo
