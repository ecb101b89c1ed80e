#pragma once

#include "core/kernel/CTManager.h"

// The program's main routine as a service, run by qiBO_Main.
class CTApplication : public CTManager {
  QIBO_CLASS(CTApplication)

 public:
  virtual int Run(int argc, const char** argv) = 0;
  virtual void Quit(int code) = 0;
};

// Runs the engine's loop until asked to quit.
class DefaultApplication : public CTApplication {
  QIBO_CLASS(DefaultApplication)

 public:
  int Run(int argc, const char** argv) override;
  void Quit(int code) override;
};
