#pragma once

#include <string>

#include "demo/data/XmWriter.h"

// The demo's music, "runfiles\melody01.xm": a piece in A minor at 125 BPM
// (speed 6, 16 rows a bar, 7.68 s a pattern) of a little over five
// minutes, so that it first loops after the demo's credits. Sections:
// intro, two verses, choruses, breakdowns, build-ups, a climax and an
// outro; the song then restarts at the first verse.
namespace qibo::demo {

// Channels, in order: kick, snare, hi-hat, bass, three pad voices, arpeggio,
// lead, lead echo, crash, lead harmony.
enum Melody01Channel : int {
  kChKick = 0,
  kChSnare,
  kChHiHat,
  kChBass,
  kChPad1,
  kChPad2,
  kChPad3,
  kChArp,
  kChLead,
  kChEcho,
  kChCrash,
  kChHarmony,
  kMelody01Channels
};

// Instruments (1-based in cells), in order: kick, snare, hi-hat, crash,
// bass, pad, lead, pluck.
enum Melody01Instrument : uint8_t {
  kInsKick = 1,
  kInsSnare,
  kInsHiHat,
  kInsCrash,
  kInsBass,
  kInsPad,
  kInsLead,
  kInsPluck,
};

// The whole module; the same every call.
XmModule ComposeMelody01();

// Writes the module to path; false (with error set) when it cannot.
bool WriteMelody01(const char* path, std::string* error = nullptr);

}  // namespace qibo::demo
