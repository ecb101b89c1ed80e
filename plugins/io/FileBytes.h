#pragma once

#include <cstdint>
#include <vector>

namespace qibo::io {

enum class ReadResult { kOk, kNotFound, kTooLarge, kFailed };

// The whole data of file into bytes: a package member too when packages is
// set (through the file manager, packages first), else only a regular file.
// A file larger than maxBytes is refused before anything is read.
ReadResult ReadWholeFile(const char* file, bool packages, uint32_t maxBytes, std::vector<uint8_t>& bytes);

}  // namespace qibo::io
