#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "demo/data/Melody01.h"
#include "demo/data/XmSynth.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

using namespace qibo::demo;

namespace {

// A module read by libopenmpt, which knows XM independently of our writer.
class Module {
 public:
  explicit Module(const std::vector<uint8_t>& image) {
    m_module =
        openmpt_module_create_from_memory2(image.data(), image.size(), openmpt_log_func_silent, nullptr,
                                           openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
  }
  ~Module() {
    if (m_module) openmpt_module_destroy(m_module);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  openmpt_module* Get() const { return m_module; }
  std::string Text(const char* text) const {
    std::string value = text ? text : "";
    openmpt_free_string(text);
    return value;
  }
  int Command(int pattern, int row, int channel, int command) const {
    return openmpt_module_get_pattern_row_channel_command(m_module, pattern, row, channel, command);
  }

 private:
  openmpt_module* m_module = nullptr;
};

// libopenmpt's pitched notes run 1..120 (an octave above XM's numbers).
bool Pitched(int note) { return note >= 1 && note <= 120; }
int PitchClass(int note) { return (note - 1) % 12; }

// The song, written to a file by the composer and read back, once for all
// tests.
class Melody01Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qibo::test::TempDir dir;
    ASSERT_TRUE(dir.Enter());
    std::string error;
    ASSERT_TRUE(WriteMelody01("melody01.xm", &error)) << error;
    const std::string bytes = qibo::test::GetFile("melody01.xm");
    s_image = new std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
  static void TearDownTestSuite() {
    delete s_image;
    s_image = nullptr;
  }
  static std::vector<uint8_t>* s_image;
};
std::vector<uint8_t>* Melody01Test::s_image = nullptr;

}  // namespace

TEST_F(Melody01Test, LoadsAsAnXmModuleThatPlaysOverThreeMinutesBeforeLooping) {
  Module song(*s_image);
  ASSERT_NE(song.Get(), nullptr);
  EXPECT_EQ(song.Text(openmpt_module_get_metadata(song.Get(), "type")), "xm");
  EXPECT_EQ(openmpt_module_get_num_channels(song.Get()), kMelody01Channels);
  // The duration libopenmpt reports is one pass up to the loop.
  const double seconds = openmpt_module_get_duration_seconds(song.Get());
  EXPECT_GE(seconds, 180.0);
  EXPECT_LE(seconds, 420.0);
  // The promised instruments, by name.
  std::set<std::string> names;
  for (int i = 0; i < openmpt_module_get_num_instruments(song.Get()); ++i)
    names.insert(song.Text(openmpt_module_get_instrument_name(song.Get(), i)));
  for (const char* name : {"Kick", "Snare", "HiHat", "Bass", "Pad", "Lead"})
    EXPECT_TRUE(names.count(name)) << name;
}

TEST_F(Melody01Test, EachPartPlaysItsInstrumentInTheSong) {
  Module song(*s_image);
  ASSERT_NE(song.Get(), nullptr);
  struct Part {
    int channel;
    int instrument;
  };
  const Part parts[] = {
      {kChKick, kInsKick}, {kChSnare, kInsSnare}, {kChHiHat, kInsHiHat}, {kChBass, kInsBass},
      {kChPad1, kInsPad},  {kChPad2, kInsPad},    {kChPad3, kInsPad},    {kChArp, kInsPluck},
      {kChLead, kInsLead}, {kChEcho, kInsLead},   {kChCrash, kInsCrash}, {kChHarmony, kInsLead},
  };
  for (const Part& part : parts) {
    SCOPED_TRACE(part.channel);
    int notes = 0;
    std::set<int> instruments;
    for (int order = 0; order < openmpt_module_get_num_orders(song.Get()); ++order) {
      const int pattern = openmpt_module_get_order_pattern(song.Get(), order);
      for (int row = 0; row < openmpt_module_get_pattern_num_rows(song.Get(), pattern); ++row) {
        if (Pitched(song.Command(pattern, row, part.channel, OPENMPT_MODULE_COMMAND_NOTE))) ++notes;
        const int instrument = song.Command(pattern, row, part.channel, OPENMPT_MODULE_COMMAND_INSTRUMENT);
        if (instrument) instruments.insert(instrument);
      }
    }
    EXPECT_GT(notes, 0);
    EXPECT_EQ(instruments, std::set<int>{part.instrument});
  }
}

TEST_F(Melody01Test, MelodyBassAndArpeggioFollowThePadsChords) {
  Module song(*s_image);
  ASSERT_NE(song.Get(), nullptr);
  // A minor, with the G sharp of the E major chord.
  const std::set<int> scale = {9, 11, 0, 2, 4, 5, 7, 8};
  struct Rule {
    int channel;
    bool everyRow;   // else only on the first row of each bar
    bool chordTone;  // else the scale is enough
  };
  const Rule rules[] = {
      {kChLead, false, true}, {kChLead, true, false},    {kChBass, false, true},
      {kChArp, true, true},   {kChHarmony, true, false}, {kChEcho, true, false},
  };
  for (const Rule& rule : rules) {
    SCOPED_TRACE(rule.channel);
    int checked = 0;
    for (int order = 0; order < openmpt_module_get_num_orders(song.Get()); ++order) {
      const int pattern = openmpt_module_get_order_pattern(song.Get(), order);
      int pad[3] = {0, 0, 0};  // the note each pad voice holds
      for (int row = 0; row < openmpt_module_get_pattern_num_rows(song.Get(), pattern); ++row) {
        for (int v = 0; v < 3; ++v) {
          const int note = song.Command(pattern, row, kChPad1 + v, OPENMPT_MODULE_COMMAND_NOTE);
          if (Pitched(note)) pad[v] = note;
        }
        const int note = song.Command(pattern, row, rule.channel, OPENMPT_MODULE_COMMAND_NOTE);
        if (!Pitched(note) || (!rule.everyRow && row % 16 != 0)) continue;
        ++checked;
        EXPECT_TRUE(scale.count(PitchClass(note))) << "order " << order << " row " << row << " note " << note;
        if (!rule.chordTone) continue;
        const bool inChord =
            std::any_of(pad, pad + 3, [&](int p) { return p && PitchClass(p) == PitchClass(note); });
        EXPECT_TRUE(inChord) << "order " << order << " row " << row << " note " << note;
      }
    }
    EXPECT_GT(checked, 10);
  }
}

TEST_F(Melody01Test, ComposingTwiceGivesTheSameBytes) {
  std::string error;
  const std::vector<uint8_t> first = WriteXm(ComposeMelody01(), &error);
  ASSERT_FALSE(first.empty()) << error;
  EXPECT_EQ(first, WriteXm(ComposeMelody01()));
  EXPECT_EQ(first, *s_image);
}

TEST_F(Melody01Test, WholeSongIsAudibleThroughoutAndNeverClips) {
  Module song(*s_image);
  ASSERT_NE(song.Get(), nullptr);
  constexpr int kRate = 22050;
  constexpr int kSegment = kRate * 4;  // frames
  std::vector<float> buffer(2 * kSegment);
  std::vector<double> loudness;
  float peak = 0.0f;
  for (;;) {
    const size_t frames =
        openmpt_module_read_interleaved_float_stereo(song.Get(), kRate, kSegment, buffer.data());
    if (frames < kSegment) break;  // the end of the first pass
    double energy = 0.0;
    for (float v : buffer) {
      peak = std::max(peak, std::fabs(v));
      energy += static_cast<double>(v) * v;
    }
    loudness.push_back(std::sqrt(energy / static_cast<double>(buffer.size())));
  }
  ASSERT_GE(loudness.size(), 45u);  // 180 s
  EXPECT_LT(peak, 1.0f);
  for (size_t i = 0; i < loudness.size(); ++i)
    EXPECT_GT(loudness[i], 0.005) << "silent from " << 4 * i << " s";
  // The intro builds up: the full band plays louder than the pad alone.
  EXPECT_GT(*std::max_element(loudness.begin(), loudness.end()), 2.0 * loudness.front());
}

TEST(XmSynthTest, TonalInstrumentsSoundAtTheirNotesPitch) {
  struct Case {
    const char* name;
    XmInstrument (*make)();
  };
  const Case cases[] = {{"bass", SawBass}, {"pad", StringPad}, {"lead", SquareLead}, {"pluck", Pluck}};
  constexpr int kRate = 44100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // One A-3 (220 Hz) held for a second.
    XmModule m;
    m.name = c.name;
    m.channels = 2;
    m.orders = {0};
    XmPattern pattern;
    pattern.rows = 16;
    pattern.At(0, 0, m.channels) = {XmNote(3, 9), 1, 0x50, 0, 0};
    m.patterns.push_back(pattern);
    m.instruments.push_back(c.make());
    Module module(WriteXm(m));
    ASSERT_NE(module.Get(), nullptr);
    std::vector<float> buffer(2 * kRate / 2);
    ASSERT_EQ(openmpt_module_read_interleaved_float_stereo(module.Get(), kRate, kRate / 2, buffer.data()),
              static_cast<size_t>(kRate / 2));
    // Autocorrelation of the left channel over 0.1 s after the attack; the
    // lags searched (150..300 Hz) hold one period only.
    std::vector<double> left;
    for (int i = kRate / 4; i < kRate / 4 + kRate / 10; ++i)
      left.push_back(buffer[2 * static_cast<size_t>(i)]);
    int bestLag = 0;
    double best = -1e30;
    for (int lag = kRate / 300; lag <= kRate / 150; ++lag) {
      double sum = 0.0;
      for (size_t i = 0; i + lag < left.size(); ++i) sum += left[i] * left[i + lag];
      if (sum > best) {
        best = sum;
        bestLag = lag;
      }
    }
    ASSERT_GT(bestLag, 0);
    EXPECT_NEAR(static_cast<double>(kRate) / bestLag, 220.0, 220.0 * 0.015);
  }
}
