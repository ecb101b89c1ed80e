#pragma once

#include <string>
#include <vector>

// The displays the device can open on and the modes each offers, as the
// settings page lists them.
struct DDisplaySet {
  struct Mode {
    int width = 0;
    int height = 0;
    int bits = 0;  // bits per pixel
    friend bool operator==(const Mode&, const Mode&) = default;
  };
  struct Display {
    std::string name;
    std::vector<Mode> modes;  // in the order the system lists them, repeats included
  };

  // SDL's video displays and their modes; modes without a size or depth
  // (as SDL's off-screen driver reports) are left out. Empty when SDL's
  // video subsystem cannot start.
  static DDisplaySet FromSdl();

  std::vector<Display> displays;
};
