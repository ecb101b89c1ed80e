#include "demo/data/XmSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace qibo::demo {

namespace {

constexpr double kDrumRate = 44100.0;
// Tonal samples hold one cycle of their base pitch in 128 frames; C-4 is
// middle C (261.63 Hz).
constexpr int kCycleFrames = 128;
constexpr double kMiddleC = 261.6255653005986;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A small linear congruential generator: the same noise on every machine.
class Noise {
 public:
  explicit Noise(uint32_t seed) : m_state(seed) {}
  // Uniform in [-1, 1).
  double Next() {
    m_state = m_state * 1664525u + 1013904223u;
    return static_cast<double>((m_state >> 8) & 0xFFFF) / 32768.0 - 1.0;
  }

 private:
  uint32_t m_state;
};

int16_t ToPcm(double value) {
  return static_cast<int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
}

XmSample DrumSample(const char* name, const std::vector<double>& wave) {
  XmSample s;
  s.name = name;
  s.data.reserve(wave.size());
  for (double v : wave) s.data.push_back(ToPcm(v));
  TuneSample(s, kDrumRate);
  return s;
}

XmInstrument OneSample(const char* name, XmSample sample) {
  XmInstrument ins;
  ins.name = name;
  ins.samples.push_back(std::move(sample));
  return ins;
}

// An additive oscillator: `cycles` cycles of its fundamental per loop.
struct Oscillator {
  int cycles;
  double level;
};

// Harmonic amplitudes of a waveform; `odd` and `even` weight the two
// families (a saw has both at 1, a square only odd ones).
struct Timbre {
  int harmonics;
  double odd;
  double even;
};

// Amplitude of harmonic h under a soft low-pass whose cutoff follows the
// brightness (0 dark .. 1 all harmonics).
double HarmonicLevel(const Timbre& timbre, int h, double brightness) {
  const double cutoff = 1.0 + brightness * (timbre.harmonics - 1);
  const double family = (h % 2 == 1) ? timbre.odd : timbre.even;
  return family / h / (1.0 + std::pow(h / cutoff, 4.0));
}

// A looped tonal sample: `attack` frames whose brightness falls from 1 to
// `brightness`, then a loop of `loopCycles` base cycles at that brightness.
// Every oscillator completes a whole number of cycles in the loop, so the
// loop end meets its start in phase.
XmSample ToneSample(const char* name, const Timbre& timbre, const std::vector<Oscillator>& oscillators,
                    int loopCycles, int attackCycles, double brightness, double peak) {
  const int loopFrames = loopCycles * kCycleFrames;
  const int attackFrames = attackCycles * kCycleFrames;
  const int frames = attackFrames + loopFrames;
  std::vector<double> wave(static_cast<size_t>(frames), 0.0);
  std::vector<double> steady(static_cast<size_t>(timbre.harmonics) + 1);
  for (int h = 1; h <= timbre.harmonics; ++h) steady[h] = HarmonicLevel(timbre, h, brightness);
  for (int n = 0; n < frames; ++n) {
    double fade = 0.0;
    if (n < attackFrames) fade = std::pow(1.0 - static_cast<double>(n) / attackFrames, 2.0);
    const double b = brightness + (1.0 - brightness) * fade;
    double value = 0.0;
    for (int h = 1; h <= timbre.harmonics; ++h) {
      const double level = fade > 0.0 ? HarmonicLevel(timbre, h, b) : steady[h];
      for (const Oscillator& osc : oscillators) {
        const double phase = kTwoPi * h * osc.cycles * static_cast<double>(n) / loopFrames;
        value += osc.level * level * std::sin(phase);
      }
    }
    wave[static_cast<size_t>(n)] = value;
  }
  double maximum = 1e-9;
  for (double v : wave) maximum = std::max(maximum, std::abs(v));
  XmSample s;
  s.name = name;
  s.data.reserve(wave.size());
  for (double v : wave) s.data.push_back(ToPcm(v / maximum * peak));
  s.loop = XmLoop::kForward;
  s.loopStart = static_cast<uint32_t>(attackFrames);
  s.loopLength = static_cast<uint32_t>(loopFrames);
  // The loop's base pitch is loopCycles cycles of the first oscillator.
  const double cyclesPerFrame = static_cast<double>(oscillators.front().cycles) / loopFrames;
  TuneSample(s, kMiddleC / cyclesPerFrame);
  return s;
}

}  // namespace

void TuneSample(XmSample& sample, double rate) {
  // Semitones above the 8363 Hz of an untuned sample, split into whole
  // semitones and 1/128 steps.
  const double semitones = 12.0 * std::log2(rate / 8363.0);
  const long steps = std::lround(semitones * 128.0);
  long note = steps >= 0 ? (steps + 64) / 128 : -((-steps + 63) / 128);
  long fine = steps - note * 128;
  fine = std::clamp(fine, -128L, 127L);
  note = std::clamp(note, -96L, 95L);
  sample.relativeNote = static_cast<int8_t>(note);
  sample.finetune = static_cast<int8_t>(fine);
}

XmInstrument KickDrum() {
  // A sine swept from about 155 Hz down to 45 Hz with a short click.
  Noise noise(0x6B1C4);
  const int frames = static_cast<int>(0.36 * kDrumRate);
  std::vector<double> wave(static_cast<size_t>(frames));
  double phase = 0.0;
  for (int n = 0; n < frames; ++n) {
    const double t = n / kDrumRate;
    phase += kTwoPi * (45.0 + 110.0 * std::exp(-t / 0.03)) / kDrumRate;
    const double body = std::sin(phase) * std::exp(-t / 0.12) * std::min(1.0, t / 0.0015);
    const double click = noise.Next() * std::exp(-t / 0.003) * 0.35;
    wave[static_cast<size_t>(n)] = std::tanh(1.6 * (body + click)) * 0.92;
  }
  return OneSample("Kick", DrumSample("kick", wave));
}

XmInstrument SnareDrum() {
  // A 185 Hz tone under softened noise, both decaying fast.
  Noise noise(0x5A4E);
  const int frames = static_cast<int>(0.26 * kDrumRate);
  std::vector<double> wave(static_cast<size_t>(frames));
  double smooth = 0.0;
  for (int n = 0; n < frames; ++n) {
    const double t = n / kDrumRate;
    smooth += 0.55 * (noise.Next() - smooth);
    const double tone = std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.045) * 0.55;
    const double rattle = smooth * std::exp(-t / 0.085) * 1.1;
    wave[static_cast<size_t>(n)] = std::tanh(1.3 * (tone + rattle)) * 0.85;
  }
  return OneSample("Snare", DrumSample("snare", wave));
}

XmInstrument HiHat() {
  // High-passed noise (the difference of neighbours), a few tens of ms long.
  Noise noise(0x4A7);
  const int frames = static_cast<int>(0.11 * kDrumRate);
  std::vector<double> wave(static_cast<size_t>(frames));
  double previous = 0.0;
  for (int n = 0; n < frames; ++n) {
    const double t = n / kDrumRate;
    const double white = noise.Next();
    wave[static_cast<size_t>(n)] = (white - previous) * 0.45 * std::exp(-t / 0.022);
    previous = white;
  }
  return OneSample("HiHat", DrumSample("hihat", wave));
}

XmInstrument Crash() {
  // Bright noise with a metallic ring, fading over about two seconds.
  Noise noise(0xC2A54);
  const int frames = static_cast<int>(1.8 * kDrumRate);
  std::vector<double> wave(static_cast<size_t>(frames));
  double previous = 0.0;
  for (int n = 0; n < frames; ++n) {
    const double t = n / kDrumRate;
    const double white = noise.Next();
    const double ring = std::sin(kTwoPi * 3150.0 * t) * std::sin(kTwoPi * 4870.0 * t) * 0.25;
    const double attack = std::min(1.0, t / 0.002);
    wave[static_cast<size_t>(n)] = ((white - previous) * 0.4 + ring) * std::exp(-t / 0.45) * attack;
    previous = white;
  }
  return OneSample("Crash", DrumSample("crash", wave));
}

XmInstrument SawBass() {
  // Two saws a hair apart; the attack opens bright and closes to a round tone.
  const Timbre saw{36, 1.0, 1.0};
  XmSample s = ToneSample("bass", saw, {{64, 1.0}, {65, 0.45}}, 64, 40, 0.18, 0.8);
  XmInstrument ins = OneSample("Bass", std::move(s));
  ins.volumeEnvelope = {{0, 64}, {8, 56}, {30, 46}};
  ins.fadeout = 3000;
  return ins;
}

XmInstrument StringPad() {
  // Three detuned saws, darkened: a slow chorus that swells in and out.
  const Timbre saw{24, 1.0, 1.0};
  XmSample s = ToneSample("pad", saw, {{100, 1.0}, {101, 0.8}, {99, 0.8}}, 100, 0, 0.3, 0.7);
  XmInstrument ins = OneSample("Pad", std::move(s));
  ins.volumeEnvelope = {{0, 0}, {24, 64}, {60, 52}};
  ins.fadeout = 900;
  return ins;
}

XmInstrument SquareLead() {
  // A hollow square with a little saw in it, two voices slightly apart.
  const Timbre square{28, 1.0, 0.35};
  XmSample s = ToneSample("lead", square, {{200, 1.0}, {201, 0.6}}, 200, 24, 0.5, 0.75);
  XmInstrument ins = OneSample("Lead", std::move(s));
  ins.volumeEnvelope = {{0, 0}, {2, 64}, {14, 50}};
  ins.fadeout = 2200;
  return ins;
}

XmInstrument Pluck() {
  // A bright saw that closes quickly and dies away: for arpeggios.
  const Timbre saw{32, 1.0, 0.8};
  XmSample s = ToneSample("pluck", saw, {{16, 1.0}}, 16, 48, 0.15, 0.75);
  XmInstrument ins = OneSample("Pluck", std::move(s));
  ins.volumeEnvelope = {{0, 64}, {5, 40}, {16, 20}, {40, 6}, {60, 0}};
  ins.fadeout = 3000;
  return ins;
}

}  // namespace qibo::demo
