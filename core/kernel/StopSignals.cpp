#include "core/kernel/StopSignals.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>

#include "core/kernel/ConsoleInput.h"

namespace qibo {

namespace {

volatile sig_atomic_t g_stopSignal = 0;

void NoteStop(int signal) { g_stopSignal = signal; }

}  // namespace

void InstallStopSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = NoteStop;
  sigemptyset(&action.sa_mask);
  // One-shot: the next signal finds the default action again.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int StopSignalReceived() { return g_stopSignal; }

void ClearStopSignal() { g_stopSignal = 0; }

void ExitForStopSignal() {
  const int signal = g_stopSignal;
  if (signal == 0) return;
  RestoreConsoleInput();
  fflush(stdout);
  fflush(stderr);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace qibo
