#include "plugins/io/FileBytes.h"

#include <sys/stat.h>

#include <cstdio>

#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"
#include "core/persist/SmartFile.h"

namespace qibo::io {

ReadResult ReadWholeFile(const char* file, bool packages, uint32_t maxBytes, std::vector<uint8_t>& bytes,
                         std::string* why) {
  SmartFile in;
  const std::string path = qibo::ResolvePath(file);
  std::string reason;
  if (packages ? !in.Open(file, false) : !in.Attach(qibo::OpenRegularFileStream(path, &reason))) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return ReadResult::kNotFound;
    if (packages)  // the file manager gives no reason: the plain file tells it
      if (FILE* probe = qibo::OpenRegularFileStream(path, &reason)) fclose(probe);
    if (why) *why = reason.empty() ? "it cannot be opened" : reason;
    return ReadResult::kNotOpened;
  }
  if (in.FileSize() > maxBytes) return ReadResult::kTooLarge;
  bytes.resize(in.FileSize());
  return in.Read(bytes.data(), 1, bytes.size()) == bytes.size() ? ReadResult::kOk : ReadResult::kFailed;
}

}  // namespace qibo::io
