#include <gtest/gtest.h>
#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/render/base/LFB.h"
#include "demo/record/MovieWriter.h"
#include "tests/demo/record/DecodedMovie.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

using namespace qibo::demo;
using qibo::test::DecodedMovie;
using qibo::test::DecodeMovie;

namespace {

constexpr int kWidth = 160, kHeight = 120;
constexpr int kBarRows = 80;  // three colour bars on top, a grey strip below
constexpr double kToneHz = 440.0;

struct Rgb {
  double r, g, b;
};
constexpr Rgb kBars[3] = {{220, 30, 30}, {30, 200, 40}, {40, 50, 210}};

// The grey of the bottom strip in frame k: a dropped, doubled or reordered
// frame shows up as a wrong grey.
double StripGrey(int frame) { return 20.0 + 3.0 * frame; }

// Frame k as 32-bit pixels in the layout, rows top first (or bottom first).
std::vector<uint8_t> MakeFrame(int frame, PixelLayout layout, bool bottomUp, int pitch) {
  std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * kHeight, 0xEE);
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = pixels.data() + static_cast<size_t>(bottomUp ? kHeight - 1 - y : y) * pitch;
    for (int x = 0; x < kWidth; ++x) {
      const double grey = StripGrey(frame);
      const Rgb c = y < kBarRows ? kBars[x * 3 / kWidth] : Rgb{grey, grey, grey};
      const auto r = static_cast<uint8_t>(c.r), g = static_cast<uint8_t>(c.g), b = static_cast<uint8_t>(c.b);
      uint8_t* p = row + x * 4;
      if (layout == PixelLayout::kBgra) {
        p[0] = b, p[1] = g, p[2] = r;
      } else {
        p[0] = r, p[1] = g, p[2] = b;
      }
      p[3] = 0xFF;
    }
  }
  return pixels;
}

// Average colour of a rectangle of a decoded frame.
Rgb Average(const std::vector<uint8_t>& rgb, int x0, int y0, int x1, int y1) {
  double sum[3] = {0, 0, 0};
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c) sum[c] += rgb[(static_cast<size_t>(y) * kWidth + x) * 3 + c];
  const double n = static_cast<double>(x1 - x0) * (y1 - y0);
  return {sum[0] / n, sum[1] / n, sum[2] / n};
}

// Root-mean-square distance between the decoded sound and the tone over
// the second's middle half: small only when the tone is there, at its
// pitch, and starts where the picture starts (encoder delay removed).
double ToneError(const std::vector<float>& samples, int rate) {
  double sum = 0;
  for (int i = rate / 4; i < rate * 3 / 4; ++i) {
    const double want = 0.5 * std::sin(2 * M_PI * kToneHz * i / rate);
    const double got = static_cast<size_t>(i) < samples.size() ? samples[i] : 0.0;
    sum += (got - want) * (got - want);
  }
  return std::sqrt(sum / (rate / 2));
}

bool HasEncoder(const char* name) { return avcodec_find_encoder_by_name(name) != nullptr; }

struct Clip {
  const char* name;
  std::vector<std::string> videoEncoders;  // empty: the writer's defaults
  std::vector<std::string> audioEncoders;
  PixelLayout layout;
  bool bottomUp;
  int fps, rate, channels;
  AVCodecID video, audio;  // expected streams
};

class MovieWriterTest : public qibo::test::EngineFixture {};

}  // namespace

// One second of frames and a tone, read back: streams, size, frame count
// and times, picture colours, orientation and the tone's pitch.
TEST_F(MovieWriterTest, OneSecondClipReadsBackFrameForFrame) {
  const AVCodecID h264 = HasEncoder("libx264") ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
  const std::vector<Clip> clips = {
      {"default", {}, {}, PixelLayout::kBgra, false, 30, 44100, 2, h264, AV_CODEC_ID_AAC},
      {"fallback",
       {"no-such-encoder", "mpeg4"},
       {},
       PixelLayout::kRgba,
       true,
       24,
       48000,
       1,
       AV_CODEC_ID_MPEG4,
       AV_CODEC_ID_AAC},
      {"ac3", {}, {"no-such-encoder", "ac3"}, PixelLayout::kBgra, true, 25, 44100, 2, h264, AV_CODEC_ID_AC3},
      {"silent", {}, {}, PixelLayout::kRgba, false, 60, 44100, 0, h264, AV_CODEC_ID_NONE},
  };
  for (const Clip& clip : clips) {
    SCOPED_TRACE(clip.name);
    MovieSettings settings;
    if (!clip.videoEncoders.empty()) settings.videoEncoders = clip.videoEncoders;
    if (!clip.audioEncoders.empty()) settings.audioEncoders = clip.audioEncoders;
    const std::string path = std::string(clip.name) + ".mp4";
    MovieWriter writer(settings);
    ASSERT_TRUE(writer.Open(path.c_str(), kWidth, kHeight, clip.fps, clip.rate, clip.channels))
        << writer.LastError();
    const int pitch = kWidth * 4 + 24;  // rows with padding
    std::vector<float> tone;
    int64_t sample = 0;
    for (int k = 0; k < clip.fps; ++k) {
      const std::vector<uint8_t> pixels = MakeFrame(k, clip.layout, clip.bottomUp, pitch);
      ASSERT_TRUE(writer.AddVideoFrame(pixels.data(), pitch, clip.layout, clip.bottomUp))
          << writer.LastError();
      const int64_t end = (k + 1) * int64_t{clip.rate} / clip.fps;
      tone.clear();
      for (; sample < end; ++sample)
        for (int c = 0; c < clip.channels; ++c)
          tone.push_back(0.5f * static_cast<float>(std::sin(2 * M_PI * kToneHz * sample / clip.rate)));
      ASSERT_TRUE(writer.AddAudio(tone.data(), static_cast<int>(tone.size()) / std::max(clip.channels, 1)));
    }
    EXPECT_EQ(writer.VideoFrames(), clip.fps);
    EXPECT_EQ(writer.AudioSamples(), clip.channels ? clip.rate : 0);
    ASSERT_TRUE(writer.Close()) << writer.LastError();

    DecodedMovie movie;
    ASSERT_TRUE(DecodeMovie(path, movie));
    EXPECT_EQ(movie.video, clip.video);
    EXPECT_EQ(movie.audio, clip.audio);
    EXPECT_EQ(movie.width, kWidth);
    EXPECT_EQ(movie.height, kHeight);
    EXPECT_NEAR(movie.duration, 1.0, 0.05);
    ASSERT_EQ(movie.frameTimes.size(), static_cast<size_t>(clip.fps));
    for (int k = 0; k < clip.fps; ++k) {
      SCOPED_TRACE(k);
      EXPECT_NEAR(movie.frameTimes[k], static_cast<double>(k) / clip.fps, 1e-3);
      const std::vector<uint8_t>& rgb = movie.rgb[k];
      // Away from the edges, where 4:2:0 colour bleeds.
      for (int bar = 0; bar < 3; ++bar) {
        const int x0 = bar * kWidth / 3;
        const Rgb got = Average(rgb, x0 + 8, 8, x0 + kWidth / 3 - 8, kBarRows - 8);
        EXPECT_NEAR(got.r, kBars[bar].r, 12);
        EXPECT_NEAR(got.g, kBars[bar].g, 12);
        EXPECT_NEAR(got.b, kBars[bar].b, 12);
      }
      const Rgb strip = Average(rgb, 8, kBarRows + 8, kWidth - 8, kHeight - 8);
      EXPECT_NEAR(strip.g, StripGrey(k), 6);
    }
    if (clip.channels) {
      EXPECT_EQ(movie.sampleRate, clip.rate);
      EXPECT_EQ(movie.channels, clip.channels);
      // The encoder pads the end to whole frames.
      EXPECT_GE(movie.left.size(), static_cast<size_t>(clip.rate));
      EXPECT_LE(movie.left.size(), static_cast<size_t>(clip.rate) + 1536);
      EXPECT_LT(ToneError(movie.left, clip.rate), 0.02);
    }
  }
}

// A picture of another size goes in whole, scaled to the movie.
TEST_F(MovieWriterTest, PicturesOfOtherSizesAreScaled) {
  LFB picture(kWidth * 2, kHeight * 2);
  for (int y = 0; y < picture.GetHeight(); ++y)
    for (int x = 0; x < picture.GetWidth(); ++x)
      picture.SetPixel(x, y, y < kHeight ? 0xFFE02020u : 0xFF2020E0u);
  MovieWriter writer;
  ASSERT_TRUE(writer.Open("scaled.mp4", kWidth, kHeight, 10, 44100, 0)) << writer.LastError();
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(writer.AddVideoFrame(picture));
  ASSERT_TRUE(writer.Close());
  DecodedMovie movie;
  ASSERT_TRUE(DecodeMovie("scaled.mp4", movie));
  ASSERT_EQ(movie.rgb.size(), 3u);
  const Rgb top = Average(movie.rgb[0], 8, 8, kWidth - 8, kHeight / 2 - 8);
  const Rgb bottom = Average(movie.rgb[0], 8, kHeight / 2 + 8, kWidth - 8, kHeight - 8);
  EXPECT_NEAR(top.r, 0xE0, 12);
  EXPECT_NEAR(top.b, 0x20, 12);
  EXPECT_NEAR(bottom.r, 0x20, 12);
  EXPECT_NEAR(bottom.b, 0xE0, 12);
}

// Whatever makes a movie impossible is refused at Open with a logged
// reason, and no file is left behind.
TEST_F(MovieWriterTest, OpenRefusesWhatCannotBeWritten) {
  std::filesystem::create_directory("folder");
  struct Case {
    const char* name;
    const char* path;
    int width, height, fps, rate, channels;
    std::vector<std::string> videoEncoders;
  };
  const std::vector<std::string> usual = MovieSettings{}.videoEncoders;
  const std::vector<Case> cases = {
      {"no path", nullptr, 160, 120, 30, 44100, 2, usual},
      {"empty path", "", 160, 120, 30, 44100, 2, usual},
      {"missing folder", "no/such/folder/a.mp4", 160, 120, 30, 44100, 2, usual},
      {"a folder", "folder", 160, 120, 30, 44100, 2, usual},
      {"zero width", "a.mp4", 0, 120, 30, 44100, 2, usual},
      {"odd height", "a.mp4", 160, 121, 30, 44100, 2, usual},
      {"huge", "a.mp4", 100000, 120, 30, 44100, 2, usual},
      {"zero fps", "a.mp4", 160, 120, 0, 44100, 2, usual},
      {"zero rate", "a.mp4", 160, 120, 30, 0, 2, usual},
      {"too many channels", "a.mp4", 160, 120, 30, 44100, 99, usual},
      {"no encoder", "a.mp4", 160, 120, 30, 44100, 2, {"no-such-encoder"}},
      {"read-only file", "kept.mp4", 160, 120, 30, 44100, 2, usual},
  };
  qibo::test::PutFile("kept.mp4", "kept");
  chmod("kept.mp4", 0444);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MovieSettings settings;
    settings.videoEncoders = c.videoEncoders;
    MovieWriter writer(settings);
    const int logged = qiBO_GetErrorsCount();
    EXPECT_FALSE(writer.Open(c.path, c.width, c.height, c.fps, c.rate, c.channels));
    EXPECT_FALSE(writer.IsOpen());
    ASSERT_FALSE(writer.LastError().empty());
    ASSERT_GT(qiBO_GetErrorsCount(), logged);
    EXPECT_EQ(writer.LastError(), qiBO_GetErrorNo(qiBO_GetErrorsCount() - 1)->message);
    EXPECT_FALSE(std::filesystem::exists("a.mp4"));
    const uint8_t pixel[4] = {};
    EXPECT_FALSE(writer.AddVideoFrame(pixel, 4, PixelLayout::kBgra, false));
    EXPECT_FALSE(writer.Close());
  }
  EXPECT_TRUE(std::filesystem::is_directory("folder"));
  EXPECT_EQ(qibo::test::GetFile("kept.mp4"), "kept");
}

// A bad frame is turned down alone; the movie goes on without it.
TEST_F(MovieWriterTest, BadCallsAreRefusedWithoutSpoilingTheMovie) {
  MovieWriter writer;
  ASSERT_TRUE(writer.Open("cut.mp4", kWidth, kHeight, 10, 44100, 2)) << writer.LastError();
  const std::vector<uint8_t> good = MakeFrame(0, PixelLayout::kBgra, false, kWidth * 4);
  const float silence[2 * 4410] = {};
  for (int k = 0; k < 6; ++k) {
    ASSERT_TRUE(writer.AddVideoFrame(good.data(), kWidth * 4, PixelLayout::kBgra, false));
    ASSERT_TRUE(writer.AddAudio(silence, 4410));
    if (k != 2) continue;
    EXPECT_FALSE(writer.AddVideoFrame(good.data(), kWidth * 4 - 4, PixelLayout::kBgra, false));
    EXPECT_FALSE(writer.AddVideoFrame(nullptr, kWidth * 4, PixelLayout::kBgra, false));
    EXPECT_FALSE(writer.AddAudio(nullptr, 10));
    EXPECT_FALSE(writer.AddAudio(silence, -1));
    EXPECT_FALSE(writer.LastError().empty());
  }
  EXPECT_TRUE(writer.Close()) << writer.LastError();
  DecodedMovie movie;
  ASSERT_TRUE(DecodeMovie("cut.mp4", movie));
  EXPECT_EQ(movie.rgb.size(), 6u);
  EXPECT_NEAR(movie.duration, 0.6, 0.05);
}

// A device that takes no more bytes stops the movie with a message
// instead of losing frames silently.
TEST_F(MovieWriterTest, FullDiskStopsTheMovie) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  MovieWriter writer;
  // The header may already meet the full device; if not, the frames do.
  bool refused = !writer.Open("/dev/full", kWidth, kHeight, 30, 44100, 2);
  // Noise does not compress, so the output buffer fills within a few frames.
  std::vector<uint8_t> noise(static_cast<size_t>(kWidth) * kHeight * 4);
  uint32_t seed = 1;
  for (int k = 0; k < 300 && !refused; ++k) {
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    refused = !writer.AddVideoFrame(noise.data(), kWidth * 4, PixelLayout::kBgra, false);
  }
  ASSERT_TRUE(refused);
  EXPECT_NE(writer.LastError().find("/dev/full"), std::string::npos) << writer.LastError();
  EXPECT_NE(writer.LastError().find("No space left"), std::string::npos) << writer.LastError();
  EXPECT_FALSE(writer.AddVideoFrame(noise.data(), kWidth * 4, PixelLayout::kBgra, false));
  EXPECT_FALSE(writer.Close());
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));  // a failed movie removes only its own file
}

// The movie is written beside the file it is named after and takes that
// file's place only when Close finished it: until then, and for ever when
// it is dropped, an older file of the name stays as it was. A name that is
// a symbolic link stays one, dangling or not; nothing is left beside.
TEST_F(MovieWriterTest, MovieTakesItsPlaceOnlyWhenFinished) {
  std::filesystem::create_directory("real");
  const struct Case {
    const char* name;
    const char* target;  // the file that gets the movie
    bool link, finish;
  } cases[] = {
      {"new.mp4", "new.mp4", false, true},        {"old.mp4", "old.mp4", false, true},
      {"kept.mp4", "kept.mp4", false, false},     {"to-real.mp4", "real/a.mp4", true, true},
      {"dangling.mp4", "real/b.mp4", true, true}, {"dropped.mp4", "real/c.mp4", true, false},
  };
  const std::string older = "an older movie";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool existed = std::string(c.name) != "new.mp4" && std::string(c.name) != "dangling.mp4";
    if (existed) {
      FILE* file = fopen(c.target, "wb");
      ASSERT_NE(file, nullptr);
      fputs(older.c_str(), file);
      fclose(file);
      ASSERT_EQ(chmod(c.target, 0640), 0);
    }
    if (c.link) std::filesystem::create_symlink(c.target, c.name);
    MovieWriter writer;
    ASSERT_TRUE(writer.Open(c.name, kWidth, kHeight, 10, 44100, 0)) << writer.LastError();
    const std::vector<uint8_t> frame = MakeFrame(0, PixelLayout::kBgra, false, kWidth * 4);
    for (int k = 0; k < 3; ++k)
      ASSERT_TRUE(writer.AddVideoFrame(frame.data(), kWidth * 4, PixelLayout::kBgra, false));
    EXPECT_EQ(std::filesystem::exists(c.target) ? std::filesystem::file_size(c.target) : 0u,
              existed ? older.size() : 0u);
    if (c.finish) {
      EXPECT_TRUE(writer.Close()) << writer.LastError();
    } else {
      writer.Discard();
    }
    EXPECT_EQ(std::filesystem::is_symlink(c.name), c.link);
    DecodedMovie movie;
    if (c.finish) {
      ASSERT_TRUE(DecodeMovie(c.target, movie));
      EXPECT_EQ(movie.rgb.size(), 3u);
      // The movie gets the mode of the file it replaces, or that of a plain
      // new file.
      const mode_t mask = umask(0);
      umask(mask);
      EXPECT_EQ(std::filesystem::status(c.target).permissions(),
                static_cast<std::filesystem::perms>(existed ? 0640 : 0666 & ~mask));
    } else {
      EXPECT_EQ(std::filesystem::file_size(c.target), older.size());
    }
  }
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator("."))
    files += entry.path().extension() == ".tmp";
  EXPECT_EQ(files, 0);
}
