#include "demo/data/Melody01.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "demo/data/XmSynth.h"

namespace qibo::demo {

namespace {

constexpr int kRowsPerBar = 16;
constexpr int kBars = 4;
constexpr int kRows = kRowsPerBar * kBars;
constexpr int kEchoDelay = 3;  // rows
constexpr uint8_t kEffectVibrato = 0x04;
constexpr uint8_t kEffectPanning = 0x08;

// Note number of a name such as "A4", "C#5" or "Bb3"; 0 for anything else.
uint8_t Note(const char* name) {
  static constexpr int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
  if (!name || name[0] < 'A' || name[0] > 'G') return 0;
  int semitone = kSemitone[name[0] - 'A'];
  const char* octave = name + 1;
  if (*octave == '#')
    ++semitone, ++octave;
  else if (*octave == 'b')
    --semitone, ++octave;
  if (*octave < '0' || *octave > '7') return 0;
  const int note = (*octave - '0') * 12 + semitone + 1;
  return note >= 1 && note <= 96 ? static_cast<uint8_t>(note) : 0;
}

// The chords of the piece: root pitch class and the pad's three voices,
// chosen so that neighbouring chords share or move by step.
struct Chord {
  const char* name;
  int root;  // pitch class, C = 0
  const char* voices[3];
};
constexpr Chord kChords[] = {
    {"Am", 9, {"A3", "C4", "E4"}}, {"F", 5, {"A3", "C4", "F4"}},  {"C", 0, {"G3", "C4", "E4"}},
    {"G", 7, {"G3", "B3", "D4"}},  {"Dm", 2, {"A3", "D4", "F4"}}, {"E", 4, {"G#3", "B3", "E4"}},
};
enum ChordId { Am, F, C, G, Dm, E };

enum class Drums { kNone, kHalf, kFull, kFullFill, kRoll };
enum class Bass { kNone, kLong, kDrive };
enum class Arp { kNone, kEighths, kSixteenths };

// One pattern of the song: four bars, one chord each.
struct Section {
  std::array<ChordId, kBars> chords;
  Drums drums = Drums::kNone;
  Bass bass = Bass::kNone;
  Arp arp = Arp::kNone;
  const char* melody = nullptr;  // "A5:4 -:2 C6:2 ...": note or rest, then rows
  bool harmony = false;          // a diatonic third below the lead
  bool crash = false;
  double level = 1.0;  // scales every volume (fades)
};

// The lead lines, a pattern (64 rows) each, over the chords named beside them.
constexpr const char* kVerseA =  // Am F C G
    "E5:6 D5:2 C5:4 B4:2 C5:2  A4:8 -:4 C5:2 A4:2  G4:6 A4:2 C5:4 E5:4  D5:12 -:4";
constexpr const char* kVerseB =  // Am F C G
    "E5:4 A5:4 G5:2 E5:2 C5:4  F5:6 E5:2 C5:4 A4:4  G4:4 C5:4 E5:2 D5:2 C5:4  B4:10 -:2 G4:2 B4:2";
constexpr const char* kVerseRise =  // Am F C G, climbing into the chorus
    "E5:4 A5:4 G5:2 E5:2 C5:4  F5:6 E5:2 C5:4 A4:4  G4:4 C5:4 E5:2 D5:2 C5:4  B4:4 D5:4 G5:4 B5:4";
constexpr const char* kChorusA =  // F G Am Am
    "C6:4 A5:4 C6:4 A5:2 G5:2  B5:6 G5:2 D5:4 G5:4  A5:4 E5:4 C6:4 B5:4  A5:12 -:4";
constexpr const char* kChorusB =  // F G C E
    "A5:4 F5:4 A5:2 C6:2 A5:4  G5:4 D5:4 G5:2 B5:2 D6:4  C6:6 B5:2 G5:4 E5:4  G#5:8 B5:4 E5:4";
constexpr const char* kChorusEnd =  // F G Am Am
    "C6:4 A5:4 F5:4 A5:4  B5:4 D6:4 B5:4 G5:4  A5:16  E5:4 C5:4 A4:8";
constexpr const char* kBreakA =  // Dm Am F E
    "F5:8 E5:4 D5:4  C5:8 E5:8  A5:8 G5:4 F5:4  E5:12 G#4:4";
constexpr const char* kBreakB =  // Dm Am F E
    "D5:4 F5:4 A5:8  E5:4 G5:4 C5:8  C5:4 F5:4 A5:4 G5:4  E5:8 D5:4 B4:4";

constexpr std::array<ChordId, kBars> kVerseChords{Am, F, C, G};
constexpr std::array<ChordId, kBars> kChorusChordsA{F, G, Am, Am};
constexpr std::array<ChordId, kBars> kChorusChordsB{F, G, C, E};
constexpr std::array<ChordId, kBars> kBreakChords{Dm, Am, F, E};

// The song, one section per order entry.
std::vector<Section> Arrangement() {
  std::vector<Section> song;
  auto add = [&song](Section s, int times = 1) {
    for (int i = 0; i < times; ++i) song.push_back(s);
  };
  const Section verse{kVerseChords, Drums::kFull, Bass::kDrive, Arp::kEighths, kVerseA};
  Section verseB = verse;
  verseB.melody = kVerseB;
  Section verseRise = verse;
  verseRise.melody = kVerseRise;
  verseRise.drums = Drums::kFullFill;
  const Section chorusA{kChorusChordsA, Drums::kFull, Bass::kDrive, Arp::kSixteenths, kChorusA};
  Section chorusB{kChorusChordsB, Drums::kFullFill, Bass::kDrive, Arp::kSixteenths, kChorusB};
  Section chorusCrash = chorusA;
  chorusCrash.crash = true;
  const Section breakA{kBreakChords, Drums::kNone, Bass::kLong, Arp::kEighths, kBreakA};
  const Section breakB{kBreakChords, Drums::kNone, Bass::kLong, Arp::kEighths, kBreakB};
  Section build{kBreakChords, Drums::kRoll, Bass::kLong, Arp::kSixteenths};

  // Intro: the pad alone, then the arpeggio, then the groove comes in.
  add({kVerseChords, Drums::kNone, Bass::kNone, Arp::kNone, nullptr, false, false, 0.7});
  add({kVerseChords, Drums::kNone, Bass::kLong, Arp::kEighths, nullptr, false, false, 0.85});
  add({kVerseChords, Drums::kHalf, Bass::kLong, Arp::kEighths});
  add({kVerseChords, Drums::kFullFill, Bass::kDrive, Arp::kEighths});
  // Verse 1 (the song restarts here).
  add(verse);
  add(verseB);
  add(verse);
  add(verseRise);
  // Chorus 1.
  add(chorusCrash);
  add(chorusB);
  add(chorusA);
  add(chorusB);
  // Breakdown and build-up.
  add(breakA);
  add(breakB);
  add(breakA);
  add(build);
  // Verse 2, with the harmony voice.
  Section verse2 = verse, verse2B = verseB, verse2Rise = verseRise;
  verse2.harmony = verse2B.harmony = verse2Rise.harmony = true;
  verse2.crash = true;
  add(verse2);
  add(verse2B);
  add(verse2);
  add(verse2Rise);
  // An instrumental bridge.
  add({kVerseChords, Drums::kFull, Bass::kDrive, Arp::kSixteenths, nullptr, false, true});
  add({kVerseChords, Drums::kFullFill, Bass::kDrive, Arp::kSixteenths});
  // Climax: the chorus twice over, with harmony.
  Section climaxA = chorusCrash, climaxB = chorusB;
  climaxA.harmony = climaxB.harmony = true;
  for (int i = 0; i < 4; ++i) {
    add(climaxA);
    add(climaxB);
  }
  // Second breakdown and build-up.
  add(breakB);
  add(build);
  // Final chorus.
  add(climaxA);
  add(climaxB);
  add(climaxA);
  Section ending = climaxA;
  ending.melody = kChorusEnd;
  ending.crash = false;
  add(ending);
  // Outro: the groove thins out and the pad fades.
  add({kVerseChords, Drums::kHalf, Bass::kDrive, Arp::kSixteenths, nullptr, false, true, 0.9});
  add({kVerseChords, Drums::kHalf, Bass::kLong, Arp::kEighths, nullptr, false, false, 0.8});
  add({kBreakChords, Drums::kNone, Bass::kLong, Arp::kEighths, kBreakA, false, false, 0.7});
  add({kBreakChords, Drums::kNone, Bass::kLong, Arp::kEighths, kBreakB, false, false, 0.6});
  add({kVerseChords, Drums::kNone, Bass::kNone, Arp::kEighths, nullptr, false, false, 0.5});
  add({kChorusChordsA, Drums::kNone, Bass::kNone, Arp::kNone, nullptr, false, false, 0.4});
  return song;
}

constexpr int kRestartOrder = 4;  // the first verse

// A lead note or rest and its length in rows.
struct Step {
  uint8_t note;  // 0: rest
  int rows;
};

std::vector<Step> ParseMelody(const char* text) {
  std::vector<Step> steps;
  for (const char* p = text; p && *p;) {
    while (*p == ' ') ++p;
    if (!*p) break;
    const char* colon = strchr(p, ':');
    if (!colon) break;
    char name[8] = {};
    memcpy(name, p, static_cast<size_t>(std::min<std::ptrdiff_t>(colon - p, 7)));
    char* end = nullptr;
    const long rows = strtol(colon + 1, &end, 10);
    steps.push_back({name[0] == '-' ? uint8_t{0} : Note(name), static_cast<int>(rows)});
    p = end;
  }
  return steps;
}

// A diatonic third below the note in A minor (G# counts as G).
uint8_t ThirdBelow(uint8_t note) {
  static constexpr int kScale[7] = {0, 2, 4, 5, 7, 9, 11};  // C major = A minor's notes
  const int pitch = note - 1;
  const int octave = pitch / 12;
  int pc = pitch % 12;
  if (pc == 8) pc = 7;  // G#
  const int degree = static_cast<int>(std::find(kScale, kScale + 7, pc) - kScale);
  if (degree >= 7) return 0;
  const int lower = degree - 2;
  const int target = (lower >= 0 ? kScale[lower] : kScale[lower + 7] - 12) + octave * 12;
  return target >= 0 ? static_cast<uint8_t>(target + 1) : 0;
}

class PatternBuilder {
 public:
  PatternBuilder(const Section& section, XmPattern& pattern) : m_section(section), m_pattern(pattern) {
    m_pattern.rows = kRows;
  }

  void Build() {
    Drums();
    BassLine();
    Pad();
    Arpeggio();
    Lead();
  }

 private:
  // The volume column for 0..64 scaled by the section's level; none for -1.
  uint8_t Volume(int volume) const {
    const int v = static_cast<int>(std::lround(volume * m_section.level));
    return volume < 0 ? 0 : static_cast<uint8_t>(0x10 + std::clamp(v, 0, 64));
  }
  void Put(int row, int channel, uint8_t note, uint8_t instrument, int volume, uint8_t effect = 0,
           uint8_t param = 0) {
    if (row < 0 || row >= kRows) return;
    m_pattern.At(row, channel, kMelody01Channels) = {note, instrument, Volume(volume), effect, param};
  }
  void KeyOff(int row, int channel) {
    if (row < 0 || row >= kRows) return;
    m_pattern.At(row, channel, kMelody01Channels) = {kXmKeyOff, 0, 0, 0, 0};
  }
  const Chord& ChordOfBar(int bar) const { return kChords[m_section.chords[static_cast<size_t>(bar)]]; }

  void Drums() {
    const uint8_t hit = XmNote(4, 0);
    if (m_section.crash) Put(0, kChCrash, hit, kInsCrash, 48);
    for (int bar = 0; bar < kBars; ++bar) {
      const int r = bar * kRowsPerBar;
      const bool lastBar = bar == kBars - 1;
      switch (m_section.drums) {
        case Drums::kNone:
          break;
        case Drums::kHalf:
          Put(r, kChKick, hit, kInsKick, 56);
          Put(r + 8, kChKick, hit, kInsKick, 52);
          for (int h = 2; h < kRowsPerBar; h += 4) Put(r + h, kChHiHat, hit, kInsHiHat, 30);
          break;
        case Drums::kFull:
        case Drums::kFullFill:
          for (int beat = 0; beat < 4; ++beat) Put(r + beat * 4, kChKick, hit, kInsKick, 64);
          Put(r + 4, kChSnare, hit, kInsSnare, 60);
          Put(r + 12, kChSnare, hit, kInsSnare, 60);
          for (int h = 0; h < kRowsPerBar; ++h) {
            if (h % 4 == 2)
              Put(r + h, kChHiHat, hit, kInsHiHat, 46);
            else if (h % 2 == 1)
              Put(r + h, kChHiHat, hit, kInsHiHat, 20);
          }
          if (m_section.drums == Drums::kFullFill && lastBar)
            for (int f = 0; f < 4; ++f) Put(r + 12 + f, kChSnare, hit, kInsSnare, 36 + 8 * f);
          break;
        case Drums::kRoll: {
          // Quarters, eighths, then sixteenths, growing louder.
          const int step = bar == 0 ? 4 : bar == 1 ? 2 : 1;
          for (int h = 0; h < kRowsPerBar; h += step) {
            const int row = r + h;
            Put(row, kChSnare, hit, kInsSnare, 20 + row * 40 / kRows);
          }
          if (bar < 2)
            for (int beat = 0; beat < 4; ++beat) Put(r + beat * 4, kChKick, hit, kInsKick, 50);
          break;
        }
      }
    }
  }

  uint8_t BassRoot(int bar) const {
    const int pc = ChordOfBar(bar).root;
    return XmNote(pc < 4 ? 3 : 2, pc);
  }

  void BassLine() {
    if (m_section.bass == Bass::kNone) {
      KeyOff(0, kChBass);
      return;
    }
    for (int bar = 0; bar < kBars; ++bar) {
      const int r = bar * kRowsPerBar;
      const uint8_t root = BassRoot(bar);
      if (m_section.bass == Bass::kLong) {
        Put(r, kChBass, root, kInsBass, 58);
        KeyOff(r + 14, kChBass);
        continue;
      }
      // Driving eighths with octave leaps on the off-beats of beats 2 and 4.
      static constexpr int kOctave[8] = {0, 0, 12, 0, 0, 0, 12, 0};
      for (int e = 0; e < 8; ++e)
        Put(r + 2 * e, kChBass, static_cast<uint8_t>(root + kOctave[e]), kInsBass, e % 2 ? 48 : 60);
    }
  }

  void Pad() {
    const int channels[3] = {kChPad1, kChPad2, kChPad3};
    // The voices spread across the stereo field.
    static constexpr uint8_t kPadPanning[3] = {0x50, 0x80, 0xB0};
    for (int bar = 0; bar < kBars; ++bar) {
      for (int v = 0; v < 3; ++v) {
        const uint8_t note = Note(ChordOfBar(bar).voices[v]);
        // A voice that keeps its note keeps sounding.
        if (bar > 0 && note == Note(ChordOfBar(bar - 1).voices[v])) continue;
        Put(bar * kRowsPerBar, channels[v], note, kInsPad, 40, kEffectPanning, kPadPanning[v]);
      }
    }
  }

  void Arpeggio() {
    if (m_section.arp == Arp::kNone) {
      KeyOff(0, kChArp);
      return;
    }
    const int step = m_section.arp == Arp::kEighths ? 2 : 1;
    static constexpr int kOrder[4] = {0, 1, 2, 1};
    for (int bar = 0; bar < kBars; ++bar) {
      const Chord& chord = ChordOfBar(bar);
      int i = 0;
      for (int h = 0; h < kRowsPerBar; h += step, ++i) {
        const uint8_t note = static_cast<uint8_t>(Note(chord.voices[kOrder[i % 4]]) + 12);
        Put(bar * kRowsPerBar + h, kChArp, note, kInsPluck, h % 4 == 0 ? 40 : 30, kEffectPanning, 0xA8);
      }
    }
  }

  void Lead() {
    if (!m_section.melody) {
      for (int ch : {kChLead, kChEcho, kChHarmony}) KeyOff(0, ch);
      return;
    }
    int row = 0;
    for (const Step& step : ParseMelody(m_section.melody)) {
      if (step.note == 0) {
        KeyOff(row, kChLead);
        KeyOff(row + kEchoDelay, kChEcho);
        if (m_section.harmony) KeyOff(row, kChHarmony);
      } else {
        Put(row, kChLead, step.note, kInsLead, 52, kEffectPanning, 0x60);
        // Long notes get a gentle vibrato after they settle.
        for (int v = 3; v < step.rows; ++v) Put(row + v, kChLead, 0, 0, -1, kEffectVibrato, 0x33);
        Put(row + kEchoDelay, kChEcho, step.note, kInsLead, 22, kEffectPanning, 0xC0);
        if (m_section.harmony)
          if (const uint8_t third = ThirdBelow(step.note)) Put(row, kChHarmony, third, kInsLead, 32);
      }
      row += step.rows;
    }
  }

  const Section& m_section;
  XmPattern& m_pattern;
};

bool SameCells(const XmPattern& a, const XmPattern& b) {
  if (a.rows != b.rows || a.cells.size() != b.cells.size()) return false;
  for (size_t i = 0; i < a.cells.size(); ++i) {
    const XmCell &x = a.cells[i], &y = b.cells[i];
    if (x.note != y.note || x.instrument != y.instrument || x.volume != y.volume || x.effect != y.effect ||
        x.param != y.param)
      return false;
  }
  return true;
}

}  // namespace

XmModule ComposeMelody01() {
  XmModule m;
  m.name = "Quarndelion";
  m.channels = kMelody01Channels;
  m.speed = 6;
  m.bpm = 125;
  m.restart = kRestartOrder;
  m.linearFrequencies = true;
  // The order of the Melody01Instrument numbers.
  m.instruments = {KickDrum(), SnareDrum(), HiHat(), Crash(), SawBass(), StringPad(), SquareLead(), Pluck()};
  for (const Section& section : Arrangement()) {
    XmPattern pattern;
    PatternBuilder(section, pattern).Build();
    pattern.cells.resize(static_cast<size_t>(kRows) * kMelody01Channels);
    // Sections that come out the same share one pattern.
    size_t index = 0;
    while (index < m.patterns.size() && !SameCells(m.patterns[index], pattern)) ++index;
    if (index == m.patterns.size()) m.patterns.push_back(std::move(pattern));
    m.orders.push_back(static_cast<uint8_t>(index));
  }
  return m;
}

bool WriteMelody01(const char* path, std::string* error) {
  return WriteXmFile(ComposeMelody01(), path, error);
}

}  // namespace qibo::demo
