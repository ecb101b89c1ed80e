#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes FastTracker 2 extended modules (.xm, format version 0x0104) from
// instruments and patterns built in memory. Used by the demo's data
// generator and by the music player's tests; nothing here reads XM.
//
// File layout (all values little-endian):
//   0    17  "Extended Module: "
//   17   20  module name, zero-padded
//   37    1  0x1A
//   38   20  tracker name
//   58    2  version 0x0104
//   60    4  header size from offset 60 (276)
//   64   10  song length, restart, channels, patterns, instruments (words)
//   74    6  flags (bit 0: linear frequencies), speed (ticks/row), BPM
//   80  256  order table
//   then each pattern: header (9, packing 0, rows, data size) and packed cells,
//   then each instrument: 263-byte header (29 without samples), 40-byte sample
//   headers, delta-encoded sample data.
namespace qibo::demo {

// One pattern cell. note: 0 none, 1..96 = C-0..B-7, 97 key off;
// instrument: 0 none, 1..128; volume: 0 none, 0x10..0x50 sets 0..64.
struct XmCell {
  uint8_t note = 0;
  uint8_t instrument = 0;
  uint8_t volume = 0;
  uint8_t effect = 0;
  uint8_t param = 0;
};

enum class XmLoop : uint8_t { kNone = 0, kForward = 1, kPingPong = 2 };

// A 16-bit mono sample. Loop start and length count sample frames.
struct XmSample {
  std::string name;
  std::vector<int16_t> data;
  uint32_t loopStart = 0;
  uint32_t loopLength = 0;
  XmLoop loop = XmLoop::kNone;
  uint8_t volume = 64;      // 0..64
  int8_t finetune = 0;      // -128..127, 1/128 semitone
  uint8_t panning = 128;    // 0 left .. 255 right
  int8_t relativeNote = 0;  // semitones; 0 plays C-4 at 8363 Hz
};

// An instrument: up to 16 samples, the sample each of the 96 notes plays
// (empty: sample 0 for all), and an optional volume envelope of up to 12
// (tick, volume 0..64) points.
struct XmInstrument {
  std::string name;
  std::vector<XmSample> samples;     // at most 16
  std::vector<uint8_t> noteSamples;  // empty or 96 sample indices
  std::vector<std::pair<uint16_t, uint16_t>> volumeEnvelope;
  uint16_t fadeout = 0;
};

struct XmPattern {
  int rows = 64;              // 1..256
  std::vector<XmCell> cells;  // rows x channels, row-major; missing cells are empty

  XmCell& At(int row, int channel, int channels);
};

struct XmModule {
  std::string name;
  int channels = 4;  // 1..32
  int speed = 6;     // ticks per row
  int bpm = 125;
  int restart = 0;  // order index the song loops back to
  bool linearFrequencies = true;
  std::vector<uint8_t> orders;  // pattern index per song position
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};

// The file image; empty (with `error` set) when the module breaks the
// format's limits.
std::vector<uint8_t> WriteXm(const XmModule& module, std::string* error = nullptr);
// Writes the image to path; false when the module is invalid or the file
// cannot be written.
bool WriteXmFile(const XmModule& module, const char* path, std::string* error = nullptr);

// A sample of `frames` frames of a sine wave with `period` frames per cycle
// and the given peak amplitude, suitable for a forward loop over the whole
// sample when frames is a multiple of period.
XmSample SineSample(const char* name, int frames, int period, int16_t amplitude);

// XM note number of a note name's parts: octave 0..7, semitone 0..11 (C = 0).
constexpr uint8_t XmNote(int octave, int semitone) {
  return static_cast<uint8_t>(octave * 12 + semitone + 1);
}
constexpr uint8_t kXmKeyOff = 97;

}  // namespace qibo::demo
