#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The demo tests play through SDL's dummy driver unless the environment
// names another: no sound card is needed and nothing is heard.
class AudioEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 0); }
};

const ::testing::Environment* const g_audio = ::testing::AddGlobalTestEnvironment(new AudioEnvironment);

}  // namespace
