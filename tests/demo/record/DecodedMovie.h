#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <string>
#include <vector>

namespace qibo::test {

// What the movie holds, decoded with libavformat/libavcodec.
struct DecodedMovie {
  AVCodecID video = AV_CODEC_ID_NONE, audio = AV_CODEC_ID_NONE;
  int width = 0, height = 0;
  double duration = 0;                    // seconds, from the container
  std::vector<double> frameTimes;         // seconds, in display order
  std::vector<std::vector<uint8_t>> rgb;  // each frame as packed RGB24
  int sampleRate = 0, channels = 0;
  std::vector<float> left;  // first channel of the decoded sound
};

// Reads every frame of both streams; false when the file does not open.
bool DecodeMovie(const std::string& path, DecodedMovie& out);

}  // namespace qibo::test
