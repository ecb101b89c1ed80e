#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Short videos the player's tests make at test time with FFmpeg's encoders
// (the demo's movie writer), and the damaged files made from them.
namespace qibo::test {

struct TestVideo {
  struct Segment {
    uint32_t rgb;  // 0xRRGGBB, the whole picture
    int frames;
  };
  explicit TestVideo(std::vector<Segment> parts) : segments(std::move(parts)) {}

  std::vector<Segment> segments;
  int width = 64;
  int height = 48;
  int fps = 20;
  double toneHz = 440.0;                   // a sine at half scale; 0: no sound
  std::vector<std::string> videoEncoders;  // empty: the writer's own choice

  int Frames() const;
  double Seconds() const { return static_cast<double>(Frames()) / fps; }
};

// Writes the video (container by extension); false when it cannot.
bool WriteTestVideo(const std::string& path, const TestVideo& video);
// A 16-bit PCM WAV file of a tone: sound without pictures.
bool WriteToneWav(const std::string& path, double seconds, double hz);
// Replaces every occurrence of the four bytes from by to; how many.
int PatchFourCC(const std::string& path, const char from[4], const char to[4]);
// Cuts the file to the fraction of its length.
bool TruncateFile(const std::string& path, double fraction);
// Writes text to a file.
bool WriteTextFile(const std::string& path, const std::string& text);

}  // namespace qibo::test
