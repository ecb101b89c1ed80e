#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qibo::io {

enum class ReadResult { kOk, kNotFound, kNotOpened, kTooLarge, kFailed };

// The whole data of file into bytes: a package member too when packages is
// set (through the file manager, packages first), else only a regular file.
// A file larger than maxBytes is refused before anything is read. A file
// that is there but cannot be opened (not a regular file, no permission) is
// kNotOpened, with the reason in why.
ReadResult ReadWholeFile(const char* file, bool packages, uint32_t maxBytes, std::vector<uint8_t>& bytes,
                         std::string* why = nullptr);

}  // namespace qibo::io
