#include <gtest/gtest.h>

#include <vector>

#include "demo/MusicDecoder.h"
#include "tests/demo/MusicFiles.h"
#include "tests/support/TempDir.h"

using namespace qibo::demo;
using qibo::test::WavValue;

namespace {

class MusicDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
  void TearDown() override { m_dir.Leave(); }

  // Renders in blocks of `block` until the decoder ends or `limit` frames.
  static std::vector<float> RenderAll(MusicDecoder& decoder, int block, int limit) {
    std::vector<float> all;
    std::vector<float> buffer(static_cast<size_t>(block) * kOutputChannels);
    int total = 0;
    while (total < limit) {
      const int got = decoder.Render(buffer.data(), block);
      all.insert(all.end(), buffer.begin(), buffer.begin() + got * kOutputChannels);
      total += got;
      if (got < block) break;
    }
    return all;
  }

  qibo::test::TempDir m_dir;
};

}  // namespace

TEST_F(MusicDecoderTest, StereoWavAtOutputRateComesOutUnchanged) {
  ASSERT_TRUE(qibo::test::WriteWav("a.wav", 10000, 44100, 2));
  auto decoder = OpenStreamDecoder("a.wav");
  ASSERT_NE(decoder, nullptr);
  EXPECT_FALSE(decoder->Loops());
  // An odd block size crosses the reader's chunks at odd places.
  const std::vector<float> all = RenderAll(*decoder, 777, 100000);
  ASSERT_EQ(all.size(), 10000u * 2);
  for (int i = 0; i < 10000; ++i) {
    ASSERT_FLOAT_EQ(all[2 * i], WavValue(i, 0)) << i;
    ASSERT_FLOAT_EQ(all[2 * i + 1], WavValue(i, 1)) << i;
  }
  EXPECT_EQ(decoder->Rendered(), 10000);
  float buffer[8];
  EXPECT_EQ(decoder->Render(buffer, 4), 0);
}

TEST_F(MusicDecoderTest, MonoWavAtHalfRateIsDuplicatedAndResampled) {
  ASSERT_TRUE(qibo::test::WriteWav("m.wav", 5000, 22050, 1));
  auto decoder = OpenStreamDecoder("m.wav");
  ASSERT_NE(decoder, nullptr);
  const std::vector<float> all = RenderAll(*decoder, 1024, 100000);
  // Two output frames per source frame, each second one halfway between
  // two source frames; the last source frame has no successor and is held.
  ASSERT_EQ(all.size(), 10000u * 2);
  for (int i = 0; i < 10000; ++i) {
    ASSERT_FLOAT_EQ(all[2 * i], all[2 * i + 1]) << i;
    const float a = WavValue(i / 2, 0);
    const float b = i / 2 + 1 < 5000 ? WavValue(i / 2 + 1, 0) : a;
    const float expected = i % 2 == 0 ? a : (a + b) / 2;
    ASSERT_NEAR(all[2 * i], expected, 1e-6) << i;
  }
}

TEST_F(MusicDecoderTest, ModulePlayedOnceEndsAfterItsDuration) {
  ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
  auto decoder = OpenModuleDecoder("tiny.xm", false);
  ASSERT_NE(decoder, nullptr);
  EXPECT_FALSE(decoder->Loops());
  const std::vector<float> all = RenderAll(*decoder, 1000, 10 * kOutputRate);
  // libopenmpt may add a short tail; a second pass would double the length.
  const double seconds = static_cast<double>(all.size() / 2) / kOutputRate;
  EXPECT_GE(seconds, qibo::test::kTinyModuleSeconds);
  EXPECT_LT(seconds, 1.5 * qibo::test::kTinyModuleSeconds);
}

TEST_F(MusicDecoderTest, LoopingModuleNeverEnds) {
  ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
  auto decoder = OpenModuleDecoder("tiny.xm", true);
  ASSERT_NE(decoder, nullptr);
  EXPECT_TRUE(decoder->Loops());
  // Ten times the piece's length, and it still sounds at the end.
  const std::vector<float> all = RenderAll(*decoder, 1050, 5 * kOutputRate);
  ASSERT_EQ(all.size(), 5u * kOutputRate * 2);
  float peak = 0.0f;
  for (size_t i = all.size() - 2 * 2205; i < all.size(); ++i) peak = std::max(peak, std::abs(all[i]));
  EXPECT_GT(peak, 0.01f);
  EXPECT_EQ(decoder->Rendered(), 5 * kOutputRate);
}

TEST_F(MusicDecoderTest, NeitherDecoderTakesTextOrMissingFiles) {
  ASSERT_TRUE(qibo::test::WriteText("notes.txt", "This is not music.\n"));
  EXPECT_EQ(OpenStreamDecoder("notes.txt"), nullptr);
  EXPECT_EQ(OpenModuleDecoder("notes.txt", true), nullptr);
  EXPECT_EQ(OpenStreamDecoder("missing.wav"), nullptr);
  EXPECT_EQ(OpenModuleDecoder("missing.xm", true), nullptr);
  EXPECT_EQ(OpenStreamDecoder(nullptr), nullptr);
  // A module is no stream, and a WAV no module: Load relies on both.
  ASSERT_TRUE(qibo::test::WriteTinyModule("tiny.xm"));
  ASSERT_TRUE(qibo::test::WriteWav("a.wav", 100, 44100, 2));
  EXPECT_EQ(OpenStreamDecoder("tiny.xm"), nullptr);
  EXPECT_EQ(OpenModuleDecoder("a.wav", true), nullptr);
}
