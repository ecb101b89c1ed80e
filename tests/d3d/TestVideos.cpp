#include "tests/d3d/TestVideos.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "demo/record/MovieWriter.h"

namespace qibo::test {

int TestVideo::Frames() const {
  int frames = 0;
  for (const Segment& segment : segments) frames += segment.frames;
  return frames;
}

bool WriteTestVideo(const std::string& path, const TestVideo& video) {
  demo::MovieSettings settings;
  if (!video.videoEncoders.empty()) settings.videoEncoders = video.videoEncoders;
  demo::MovieWriter movie(settings);
  const int rate = 44100;
  if (!movie.Open(path.c_str(), video.width, video.height, video.fps, rate, video.toneHz > 0 ? 2 : 0))
    return false;
  std::vector<uint32_t> pixels(static_cast<size_t>(video.width) * static_cast<size_t>(video.height));
  std::vector<float> sound;
  int64_t sample = 0;
  int frame = 0;
  for (const TestVideo::Segment& segment : video.segments) {
    std::fill(pixels.begin(), pixels.end(), 0xFF000000u | segment.rgb);
    for (int i = 0; i < segment.frames; ++i, ++frame) {
      if (!movie.AddVideoFrame(reinterpret_cast<const uint8_t*>(pixels.data()), video.width * 4,
                               demo::PixelLayout::kBgra, false))
        return false;
      if (video.toneHz <= 0) continue;
      const int64_t end = static_cast<int64_t>(frame + 1) * rate / video.fps;
      sound.clear();
      for (; sample < end; ++sample) {
        const auto value = static_cast<float>(0.5 * std::sin(2.0 * M_PI * video.toneHz * sample / rate));
        sound.push_back(value);
        sound.push_back(value);
      }
      if (!movie.AddAudio(sound.data(), static_cast<int>(sound.size() / 2))) return false;
    }
  }
  return movie.Close();
}

bool WriteToneWav(const std::string& path, double seconds, double hz) {
  const int rate = 22050;
  const auto samples = static_cast<uint32_t>(seconds * rate);
  std::vector<uint8_t> file;
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  auto tag = [&](const char* text) { file.insert(file.end(), text, text + 4); };
  tag("RIFF");
  put(36 + samples * 2, 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(1, 2);  // PCM
  put(1, 2);  // mono
  put(rate, 4);
  put(rate * 2, 4);
  put(2, 2);
  put(16, 2);
  tag("data");
  put(samples * 2, 4);
  for (uint32_t i = 0; i < samples; ++i)
    put(static_cast<uint16_t>(static_cast<int16_t>(16000 * std::sin(2.0 * M_PI * hz * i / rate))), 2);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

int PatchFourCC(const std::string& path, const char from[4], const char to[4]) {
  std::vector<char> bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  int patched = 0;
  for (size_t i = 0; i + 4 <= bytes.size(); ++i)
    if (std::memcmp(&bytes[i], from, 4) == 0) {
      std::memcpy(&bytes[i], to, 4);
      ++patched;
    }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return out ? patched : 0;
}

bool TruncateFile(const std::string& path, double fraction) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return false;
  std::filesystem::resize_file(path, static_cast<uintmax_t>(static_cast<double>(size) * fraction), error);
  return !error;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace qibo::test
