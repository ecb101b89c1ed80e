#include "plugins/io/FileBytes.h"

#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"
#include "core/persist/SmartFile.h"

namespace qibo::io {

ReadResult ReadWholeFile(const char* file, bool packages, uint32_t maxBytes, std::vector<uint8_t>& bytes) {
  SmartFile in;
  if (packages) {
    if (!in.Open(file, false)) return ReadResult::kNotFound;
  } else if (!in.Attach(qibo::OpenRegularFileStream(qibo::ResolvePath(file)))) {
    return ReadResult::kNotFound;
  }
  if (in.FileSize() > maxBytes) return ReadResult::kTooLarge;
  bytes.resize(in.FileSize());
  return in.Read(bytes.data(), 1, bytes.size()) == bytes.size() ? ReadResult::kOk : ReadResult::kFailed;
}

}  // namespace qibo::io
