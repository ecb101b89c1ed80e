#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/object/CTLogged.h"

// Package files (".vdl"): data files collected into one file with a flat
// directory of named members at its end. Every integer is a little-endian
// uint32:
//
//   offset         size       meaning
//   (any)          (any)      member data; each member's place is in its entry
//   dirOffset      count*64   directory, one entry per member:
//     +0           56           name, NUL-terminated, file name only
//     +56          4            data offset from the start of the file
//     +60          4            data size in bytes
//   fileSize-16    4          directory offset
//   fileSize-12    4          entry count
//   fileSize-8     4          checksum (kept, never verified when reading)
//   fileSize-4     4          magic: "CiT!" with a checksum, "CiT?" without
namespace qibo {
constexpr uint32_t kPackageMagic = 0x21546943;            // "CiT!"
constexpr uint32_t kPackageMagicNoChecksum = 0x3F546943;  // "CiT?"
constexpr uint32_t kPackageTrailerSize = 16;
constexpr uint32_t kPackageEntrySize = 64;
constexpr uint32_t kPackageNameSize = 56;
}  // namespace qibo

// One directory entry as read.
struct DPackageEntry {
  std::string name;     // up to the first NUL or the field's end (56 bytes)
  uint32_t offset = 0;  // from the start of the package file
  uint32_t size = 0;
};

// Reads one package: its directory is loaded by Open and kept; the file is
// opened anew for every member, so no handle stays open in between. The
// object's name is the package's path after a successful open.
class CTPackageFile : public CTLogged {
  QIBO_CLASS(CTPackageFile)

 public:
  CTPackageFile() = default;

  // Loads the directory of the package at path (names may use "\"; a loose
  // file is matched ignoring case). A package whose directory lies partly
  // outside the file keeps the whole entries that lie inside it, with a
  // warning. False, with a message, when the file cannot be opened or is
  // not a package.
  bool Open(const char* path);

  // Opens the member whose name equals name's file part (the part after the
  // last "\" or "/"): the first spelled exactly so, else the first equal
  // ignoring case. A new read-only handle,
  // positioned at the member's first byte, which the caller owns. offset and
  // size (either may be null) receive the member's place in the file. Null
  // when there is no such member, or, with an error, when its data does not
  // lie inside the file.
  FILE* OpenMember(const char* name, uint32_t* offset, uint32_t* size);
  // The same for entry index.
  FILE* OpenMemberNo(int index, uint32_t* offset, uint32_t* size);
  // The entry OpenMember would open, or -1.
  int FindMember(const char* name) const;

  // Wildcard search over the directory ("*", "?", case ignored, directory
  // part of the pattern ignored), from entry index on. Returns the index
  // after the match (where the next search goes on) or -1.
  int FindFirst(const char* pattern, QIBO_String& name, uint32_t& size);
  int FindNext(int index, const char* pattern, QIBO_String& name, uint32_t& size);

  int GetEntryCount() const { return static_cast<int>(m_entries.size()); }
  // Entry i, or null.
  const DPackageEntry* GetEntryNo(int i) const;
  uint32_t GetDirOffset() const { return m_dirOffset; }
  uint32_t GetChecksum() const { return m_checksum; }
  uint32_t GetMagic() const { return m_magic; }

 private:
  void Reset();
  bool ReadDirectory(FILE* file, uint64_t fileSize, uint32_t count);

  std::vector<DPackageEntry> m_entries;
  uint32_t m_dirOffset = 0;
  uint32_t m_checksum = 0;
  uint32_t m_magic = 0;
};
