#pragma once

#include <cstdint>

#include "demo/data/XmWriter.h"

// Synthesised instruments for the demo's music: drums from shaped noise and
// swept sines, tonal instruments from additive waveforms whose loops hold a
// whole number of cycles of every oscillator, so they loop without clicks.
// Everything is computed from fixed seeds: the same samples on every run.
namespace qibo::demo {

// Sets relative note and finetune so that note C-4 plays the sample at
// `rate` frames per second (XM plays C-4 at 8363 Hz with both at 0).
void TuneSample(XmSample& sample, double rate);

// Drums, one-shot samples at 44100 Hz.
XmInstrument KickDrum();
XmInstrument SnareDrum();
XmInstrument HiHat();
XmInstrument Crash();

// Tonal instruments; note C-4 sounds at 261.63 Hz (middle C).
XmInstrument SawBass();
XmInstrument StringPad();
XmInstrument SquareLead();
XmInstrument Pluck();

}  // namespace qibo::demo
