#pragma once

#include <string>
#include <vector>

#include "core/render/base/LFB.h"

// The demo's generated pictures and textures. Pictures (640 x 480, shown
// full screen as the spectator's backdrop) are written as JPEG into
// runfiles/; the textures "cubes1" to "cubes4" (256 x 256 tiles) as Targa
// into textures/, where the texture manager's default "TexturePath"
// (".\textures\") looks for "cubes1.*". Both folders are relative to the
// directory the program runs in (see DataPath.h).
namespace qibo::demo {

constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 480;
constexpr int kTextureSide = 256;

enum class PictureFormat { kJpeg, kTarga };

struct GeneratedPicture {
  const char* folder;  // "runfiles" or "textures"
  const char* file;    // "Start1.jpg", "cubes1.tga", ...
  PictureFormat format;
  LFB (*make)();
};

// Every picture and texture the demo uses, in a fixed order.
const std::vector<GeneratedPicture>& DemoPictures();

// The pictures (each returns the whole 32-bit buffer).
LFB TitlePicture();          // Start1: "QUARNDELION", "a qiBO demo"
LFB TorusTitlePicture();     // Start2: the first torus scene's picture
LFB CreditsBackground();     // credits-leeg: the empty credits page
LFB CodeCredits();           // credits-code
LFB MusicCredits();          // credits-music
LFB GraphicsCredits();       // credits-graphics
LFB CubesTexture(int kind);  // 1..4; other kinds give cubes1

// The file image of a picture in its format; empty (with why set) when the
// encoder fails.
std::vector<uint8_t> EncodePicture(const LFB& lfb, PictureFormat format, std::string& why);

// Writes every picture below `root` (root/runfiles/..., root/textures/...),
// making the folders. False, with error naming the file, when one cannot be
// made or written.
bool WriteDemoPictures(const std::string& root, std::string* error = nullptr);

}  // namespace qibo::demo
