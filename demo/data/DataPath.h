#pragma once

#include <string>

// Finding the demo's data. The program names its files relative to the
// working directory ("runfiles\melody01.xm", ".\textures\cubes1.tga"); the
// build puts them beside the executable. So that the program runs from any
// directory, it calls EnterDataDirectory before it loads anything.
namespace qibo::demo {

// The file whose presence tells that a directory holds the demo's data.
constexpr const char* kDataMarker = "runfiles/melody01.xm";

// The folder of the running executable (from /proc/self/exe); empty when
// the system does not tell.
std::string ExecutableDirectory();

// True when the working directory holds the data. Otherwise, when
// `fallback` holds it, makes `fallback` the working directory and answers
// true; else leaves the working directory alone and answers false. `where`
// (optional) receives the directory the data is in, or a message saying
// where it was looked for.
bool EnterDataDirectory(const std::string& fallback, std::string* where = nullptr);

// EnterDataDirectory with the executable's folder as the fallback, or the
// installed data folder (share/qibo/quarndelion beside the program's bin/)
// when that holds the data.
bool EnterDataDirectory(std::string* where = nullptr);

}  // namespace qibo::demo
