#include "tests/demo/MusicFiles.h"

#include <sndfile.h>

#include <cstdio>
#include <cstring>

namespace qibo::test {

using namespace qibo::demo;

XmModule TinyModule() {
  XmModule m;
  m.name = "tiny";
  m.channels = 2;
  m.speed = 3;
  m.bpm = 125;
  m.orders = {0};
  XmPattern p;
  p.rows = 8;
  p.At(0, 0, m.channels) = {XmNote(4, 0), 1, 0x50, 0, 0};
  p.At(4, 1, m.channels) = {XmNote(4, 7), 1, 0x40, 0, 0};
  p.At(7, 0, m.channels) = {kXmKeyOff, 0, 0, 0, 0};
  m.patterns.push_back(p);
  XmInstrument sine;
  sine.name = "sine";
  // 8363 Hz at C-4: a 19-frame period is close to 440 Hz. 19 x 100 frames
  // loop seamlessly.
  XmSample s = SineSample("sine", 1900, 19, 12000);
  s.loop = XmLoop::kForward;
  s.loopStart = 0;
  s.loopLength = 1900;
  sine.samples.push_back(s);
  m.instruments.push_back(sine);
  return m;
}

bool WriteTinyModule(const char* path) { return WriteXmFile(TinyModule(), path); }

float WavValue(int frame, int channel) {
  // A ramp per channel that never repeats within a test file and stays in
  // [-1, 1): any dropped, doubled or swapped frame changes a value.
  return static_cast<float>((frame % 20000) - 10000) / 10000.0f * (channel == 0 ? 0.5f : -0.25f);
}

bool WriteWav(const char* path, int frames, int rate, int channels) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path, SFM_WRITE, &info);
  if (!file) return false;
  std::vector<float> data(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) data[static_cast<size_t>(i) * channels + c] = WavValue(i, c);
  const bool written = sf_writef_float(file, data.data(), frames) == frames;
  return sf_close(file) == 0 && written;
}

bool WriteText(const char* path, const char* text) {
  FILE* file = fopen(path, "wb");
  if (!file) return false;
  const bool written = fwrite(text, 1, strlen(text), file) == strlen(text);
  return fclose(file) == 0 && written;
}

}  // namespace qibo::test
