#pragma once

#include <string>

namespace qibo::test {

struct MovieSsim {
  double mean = -1.0;  // mean of the frames' SSIM over all planes ("All"); -1 on failure
  int frames = 0;      // frames compared
  std::string error;   // why nothing could be compared
};

// Compares movie with reference frame by frame with FFmpeg's ssim filter
// (libavfilter), over the frames both have.
MovieSsim CompareMovies(const std::string& reference, const std::string& movie);

}  // namespace qibo::test
