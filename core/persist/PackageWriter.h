#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qibo {

// CRC-32 (zlib's: reflected 0xEDB88320), continued from crc; start with 0.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

// Builds package files (".vdl", layout in CTPackageFile.h): the members'
// data first, in the order added, from offset 0; then the directory; then
// the trailer. With a checksum (the default) the magic is "CiT!" and the
// checksum is the CRC-32 of every byte before the trailer; without, the
// magic is "CiT?" and the checksum 0.
class PackageWriter {
 public:
  static constexpr size_t kMaxNameLength = 55;

  // A name a reader can find: 1 to 55 characters, no "\" or "/" (lookups
  // drop the directory part), no control characters, not "." or "..".
  static bool ValidName(const char* name);

  // Copies data in. False, adding nothing, for an invalid name, a name
  // already added (ignoring case), or when the package would pass 4 GiB;
  // LastError() says which.
  bool Add(const char* name, std::string_view data);
  // A member copied from a file (an operating-system path) when the package
  // is written. Only the size is taken now, so a file that would make the
  // package too large is refused before a byte of it is read; so is
  // anything but a regular file.
  bool AddFile(const char* name, const std::string& path);
  void SetChecksum(bool on) { m_checksum = on; }

  int Count() const { return static_cast<int>(m_members.size()); }
  // Bytes of the whole package.
  uint64_t Size() const;
  // The whole package; empty when a member's file cannot be read.
  std::string Build();
  // Writes the package to a temporary file beside path, then renames it over
  // path: an existing file at path is replaced only by a complete package,
  // and keeps its mode. Members from files are copied through a small
  // buffer. path is created by its exact name.
  bool WriteFile(const char* path);

  const std::string& LastError() const { return m_error; }

 private:
  struct Member {
    std::string name;
    std::string data;  // in-memory members
    std::string path;  // members copied from a file
    uint64_t size = 0;
  };
  using Sink = std::function<bool(const void* data, size_t size)>;

  bool Fail(std::string text);
  bool CheckAdd(const char* name, uint64_t size);
  // Feeds the whole package to sink, front to back.
  bool Emit(const Sink& sink);
  bool EmitFile(const Member& member, const Sink& sink, uint32_t& crc);

  std::vector<Member> m_members;
  uint64_t m_dataSize = 0;
  bool m_checksum = true;
  std::string m_error;
};

}  // namespace qibo
