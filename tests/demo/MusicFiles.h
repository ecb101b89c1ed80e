#pragma once

#include <string>
#include <vector>

#include "demo/data/XmWriter.h"

// Music files the demo tests make for themselves.
namespace qibo::test {

// Two channels, speed 3 at 125 BPM (60 ms a row), one 8-row pattern played
// once: 0.48 s. One instrument: a looped 441 Hz sine at C-4.
qibo::demo::XmModule TinyModule();
constexpr double kTinyModuleSeconds = 0.48;

bool WriteTinyModule(const char* path);

// A 32-bit float WAV whose frame i, channel c holds Value(i, c).
bool WriteWav(const char* path, int frames, int rate, int channels);
float WavValue(int frame, int channel);

bool WriteText(const char* path, const char* text);

}  // namespace qibo::test
