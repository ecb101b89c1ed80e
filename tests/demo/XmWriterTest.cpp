#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstring>

#include "demo/data/XmWriter.h"
#include "tests/demo/MusicFiles.h"

using namespace qibo::demo;

namespace {

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16;
}

// Loads an image with libopenmpt, which reads XM independently of us.
struct OpenMpt {
  explicit OpenMpt(const std::vector<uint8_t>& image) {
    module =
        openmpt_module_create_from_memory2(image.data(), image.size(), openmpt_log_func_silent, nullptr,
                                           openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
  }
  ~OpenMpt() {
    if (module) openmpt_module_destroy(module);
  }
  std::string Meta(const char* key) const {
    const char* text = openmpt_module_get_metadata(module, key);
    std::string value = text ? text : "";
    openmpt_free_string(text);
    return value;
  }
  openmpt_module* module = nullptr;
};

}  // namespace

TEST(XmWriterTest, HeaderFieldsSitAtTheirOffsets) {
  const std::vector<uint8_t> b = WriteXm(qibo::test::TinyModule());
  ASSERT_GE(b.size(), 336u);
  EXPECT_EQ(memcmp(b.data(), "Extended Module: ", 17), 0);
  EXPECT_EQ(memcmp(b.data() + 17, "tiny\0", 5), 0);
  EXPECT_EQ(b[37], 0x1A);
  EXPECT_EQ(U16(b, 58), 0x0104);
  EXPECT_EQ(U32(b, 60), 276u);
  EXPECT_EQ(U16(b, 64), 1);    // song length
  EXPECT_EQ(U16(b, 68), 2);    // channels
  EXPECT_EQ(U16(b, 70), 1);    // patterns
  EXPECT_EQ(U16(b, 72), 1);    // instruments
  EXPECT_EQ(U16(b, 74), 1);    // linear frequencies
  EXPECT_EQ(U16(b, 76), 3);    // speed
  EXPECT_EQ(U16(b, 78), 125);  // BPM
  // The first pattern header follows the 256-byte order table.
  EXPECT_EQ(U32(b, 336), 9u);
  EXPECT_EQ(b[340], 0);
  EXPECT_EQ(U16(b, 341), 8);  // rows
}

TEST(XmWriterTest, PackedCellsAndDeltaSamplesReadBack) {
  const std::vector<uint8_t> b = WriteXm(qibo::test::TinyModule());
  const size_t data = 345;
  const size_t packed = U16(b, 343);
  // Row 0: channel 0 has note, instrument and volume; channel 1 is empty.
  EXPECT_EQ(b[data], 0x80 | 0x07);
  EXPECT_EQ(b[data + 1], XmNote(4, 0));
  EXPECT_EQ(b[data + 2], 1);
  EXPECT_EQ(b[data + 3], 0x50);
  EXPECT_EQ(b[data + 4], 0x80);
  // 3 notes of 4, 4 and 2 bytes, 13 empty cells of 1.
  EXPECT_EQ(packed, 4u + 4u + 2u + 13u);

  const size_t instrument = data + packed;
  EXPECT_EQ(U32(b, instrument), 263u);
  EXPECT_EQ(U16(b, instrument + 27), 1);  // samples
  const size_t sampleHeader = instrument + 263;
  EXPECT_EQ(U32(b, sampleHeader), 1900u * 2);      // bytes
  EXPECT_EQ(U32(b, sampleHeader + 8), 1900u * 2);  // loop length in bytes
  EXPECT_EQ(b[sampleHeader + 14], 0x10 | 1);       // 16-bit, forward loop
  const size_t samples = sampleHeader + 40;
  ASSERT_EQ(b.size(), samples + 1900 * 2);
  // Undo the delta coding: the sine comes back.
  const XmSample sine = SineSample("sine", 1900, 19, 12000);
  int16_t value = 0;
  for (size_t i = 0; i < 1900; ++i) {
    value = static_cast<int16_t>(value + static_cast<int16_t>(U16(b, samples + 2 * i)));
    ASSERT_EQ(value, sine.data[i]) << "frame " << i;
  }
}

TEST(XmWriterTest, LibOpenMptReadsTheModule) {
  const std::vector<uint8_t> image = WriteXm(qibo::test::TinyModule());
  OpenMpt mpt(image);
  ASSERT_NE(mpt.module, nullptr);
  EXPECT_EQ(mpt.Meta("type"), "xm");
  EXPECT_EQ(mpt.Meta("title"), "tiny");
  EXPECT_EQ(openmpt_module_get_num_channels(mpt.module), 2);
  EXPECT_EQ(openmpt_module_get_num_patterns(mpt.module), 1);
  EXPECT_EQ(openmpt_module_get_num_instruments(mpt.module), 1);
  EXPECT_EQ(openmpt_module_get_pattern_num_rows(mpt.module, 0), 8);
  // libopenmpt numbers notes from an octave below FastTracker's C-0.
  EXPECT_EQ(openmpt_module_get_pattern_row_channel_command(mpt.module, 0, 4, 1, OPENMPT_MODULE_COMMAND_NOTE),
            XmNote(4, 7) + 12);
  EXPECT_EQ(
      openmpt_module_get_pattern_row_channel_command(mpt.module, 0, 4, 1, OPENMPT_MODULE_COMMAND_VOLUME),
      0x40 - 0x10);
  EXPECT_NEAR(openmpt_module_get_duration_seconds(mpt.module), qibo::test::kTinyModuleSeconds, 0.001);
}

TEST(XmWriterTest, RenderedModuleSoundsAtTheNotesPitch) {
  const std::vector<uint8_t> image = WriteXm(qibo::test::TinyModule());
  OpenMpt mpt(image);
  ASSERT_NE(mpt.module, nullptr);
  // The first row (60 ms) holds one sine of about 440 Hz on channel 0.
  std::vector<float> buffer(2 * 2205);
  ASSERT_EQ(openmpt_module_read_interleaved_float_stereo(mpt.module, 44100, 2205, buffer.data()), 2205u);
  float peak = 0.0f;
  int crossings = 0;
  for (size_t i = 1; i < 2205; ++i) {
    peak = std::max(peak, std::fabs(buffer[2 * i]));
    if ((buffer[2 * (i - 1)] < 0.0f) != (buffer[2 * i] < 0.0f)) ++crossings;
  }
  EXPECT_GT(peak, 0.05f);
  // 50 ms of 440 Hz cross zero about 44 times.
  EXPECT_NEAR(crossings, 44, 6);
}

TEST(XmWriterTest, InvalidModulesWriteNothing) {
  std::string error;
  XmModule m = qibo::test::TinyModule();
  m.orders = {1};
  EXPECT_TRUE(WriteXm(m, &error).empty());
  EXPECT_EQ(error, "order names a missing pattern");

  m = qibo::test::TinyModule();
  m.instruments[0].samples[0].loopLength = 5000;
  EXPECT_TRUE(WriteXm(m, &error).empty());
  EXPECT_EQ(error, "sample loop outside the sample");

  m = qibo::test::TinyModule();
  m.channels = 33;
  EXPECT_TRUE(WriteXm(m).empty());
  EXPECT_FALSE(WriteXmFile(m, "/nonexistent-dir/never.xm"));
}

TEST(XmWriterTest, NoteMapAndEnvelopeLandInTheInstrumentHeader) {
  XmModule m = qibo::test::TinyModule();
  XmInstrument& ins = m.instruments[0];
  ins.samples.push_back(SineSample("high", 100, 10, 1000));
  ins.noteSamples.assign(96, 0);
  for (size_t note = 48; note < 96; ++note) ins.noteSamples[note] = 1;
  ins.volumeEnvelope = {{0, 64}, {10, 32}, {40, 0}};
  ins.fadeout = 0x123;
  const std::vector<uint8_t> b = WriteXm(m);
  ASSERT_FALSE(b.empty());
  const size_t instrument = 345 + U16(b, 343);
  EXPECT_EQ(U16(b, instrument + 27), 2);
  EXPECT_EQ(b[instrument + 33 + 47], 0);
  EXPECT_EQ(b[instrument + 33 + 48], 1);
  EXPECT_EQ(U16(b, instrument + 129 + 4), 10);  // second point: tick
  EXPECT_EQ(U16(b, instrument + 129 + 6), 32);  // and volume
  EXPECT_EQ(b[instrument + 225], 3);            // volume points
  EXPECT_EQ(b[instrument + 233], 1);            // volume envelope on
  EXPECT_EQ(U16(b, instrument + 239), 0x123);
  // Two sample headers, then both samples' data.
  EXPECT_EQ(b.size(), instrument + 263 + 2 * 40 + 1900 * 2 + 100 * 2);
  OpenMpt mpt(b);
  ASSERT_NE(mpt.module, nullptr);
  EXPECT_EQ(openmpt_module_get_num_samples(mpt.module), 2);

  ins.noteSamples[5] = 2;
  std::string error;
  EXPECT_TRUE(WriteXm(m, &error).empty());
  EXPECT_EQ(error, "note map names a missing sample");
}
