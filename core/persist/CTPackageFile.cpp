#include "core/persist/CTPackageFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "core/object/ByteIO.h"
#include "core/persist/FileSearch.h"
#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"

QIBO_IMPLEMENT_CLASS(CTPackageFile, CTLogged, .desc = "Package file")
static_assert(qibo::ClassId("CTPackageFile") == 0x511C1DCF);

namespace {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using FileHolder = std::unique_ptr<FILE, FileCloser>;

// Opens a package read-only and gives its size; null for anything but a
// regular file (a FIFO would block the reader) or one that cannot be
// measured.
FILE* OpenPackage(const char* path, uint64_t& size) {
  const std::string osPath = qibo::ResolvePath(path);
  if (osPath.empty()) return nullptr;
  FILE* file = qibo::OpenRegularFileStream(osPath);
  if (!file) return nullptr;
  struct stat st;
  if (fstat(fileno(file), &st) != 0) {
    fclose(file);
    return nullptr;
  }
  size = static_cast<uint64_t>(st.st_size);
  return file;
}

bool ReadAt(FILE* file, uint64_t offset, void* buffer, size_t size) {
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 && fread(buffer, 1, size, file) == size;
}

}  // namespace

void CTPackageFile::Reset() {
  m_entries.clear();
  m_entries.shrink_to_fit();
  m_dirOffset = 0;
  m_checksum = 0;
  m_magic = 0;
}

const DPackageEntry* CTPackageFile::GetEntryNo(int i) const {
  return i >= 0 && i < GetEntryCount() ? &m_entries[static_cast<size_t>(i)] : nullptr;
}

bool CTPackageFile::Open(const char* path) {
  Reset();
  SetName("");
  NoError();
  if (!path) path = "";
  uint64_t fileSize = 0;
  FileHolder file(OpenPackage(path, fileSize));
  if (!file) {
    WarningMsgF(0, "Unable to open: %s", path);
    return false;
  }

  // Trailer: directory offset, entry count, checksum, magic.
  uint8_t trailer[qibo::kPackageTrailerSize];
  if (fileSize < qibo::kPackageTrailerSize ||
      !ReadAt(file.get(), fileSize - qibo::kPackageTrailerSize, trailer, sizeof(trailer))) {
    return ErrorMsgF("Not a VDL file: %s", path);
  }
  qibo::ByteReader reader(trailer, sizeof(trailer));
  const uint32_t dirOffset = reader.U32();
  const uint32_t count = reader.U32();
  const uint32_t checksum = reader.U32();
  const uint32_t magic = reader.U32();
  if (magic == qibo::kPackageMagicNoChecksum) {
    WarningMsgF(2, "File has no checksum: %s", path);
  } else if (magic != qibo::kPackageMagic) {
    return ErrorMsgF("Not a VDL file: %s", path);
  }
  m_dirOffset = dirOffset;
  m_checksum = checksum;
  m_magic = magic;

  if (!ReadDirectory(file.get(), fileSize, count)) {
    WarningMsgF(0, "Damaged VDL directory: %s", path);
  }
  SetName(path);
  InfoMsgF(2, "VDL was successfully opened: %s", path);
  return true;
}

// Reads the whole entries of the directory that lie between its offset and
// the trailer; false when that is fewer than the trailer's count.
bool CTPackageFile::ReadDirectory(FILE* file, uint64_t fileSize, uint32_t count) {
  const uint64_t end = fileSize - qibo::kPackageTrailerSize;
  const uint64_t room = m_dirOffset <= end ? (end - m_dirOffset) / qibo::kPackageEntrySize : 0;
  const size_t fit = static_cast<size_t>(std::min<uint64_t>(count, room));
  // fit * 64 is at most the file's size: nothing is allocated that the file
  // does not hold.
  std::vector<uint8_t> bytes(fit * qibo::kPackageEntrySize);
  const bool read = fit == 0 || ReadAt(file, m_dirOffset, bytes.data(), bytes.size());
  if (!read) return false;

  m_entries.resize(fit);
  qibo::ByteReader reader(bytes.data(), bytes.size());
  for (DPackageEntry& entry : m_entries) {
    char name[qibo::kPackageNameSize];
    reader.Bytes(name, sizeof(name));
    entry.name.assign(name, strnlen(name, sizeof(name)));
    entry.offset = reader.U32();
    entry.size = reader.U32();
  }
  return fit == count;
}

int CTPackageFile::FindMember(const char* name) const {
  const char* wanted = qibo::FilePart(name);
  if (*wanted == '\0') return -1;
  // The exact spelling wins over another member that differs only in case.
  int ignoringCase = -1;
  for (int i = 0; i < GetEntryCount(); ++i) {
    const std::string& entry = m_entries[static_cast<size_t>(i)].name;
    if (entry == wanted) return i;
    if (ignoringCase < 0 && qibo::EqualsIC(entry.c_str(), wanted)) ignoringCase = i;
  }
  return ignoringCase;
}

FILE* CTPackageFile::OpenMember(const char* name, uint32_t* offset, uint32_t* size) {
  const int index = FindMember(name);
  return index < 0 ? nullptr : OpenMemberNo(index, offset, size);
}

FILE* CTPackageFile::OpenMemberNo(int index, uint32_t* offset, uint32_t* size) {
  const DPackageEntry* found = GetEntryNo(index);
  if (!found) return nullptr;
  uint64_t fileSize = 0;
  FileHolder file(OpenPackage(GetName(), fileSize));
  if (!file) {
    WarningMsgF(0, "Unable to open: %s", GetName());
    return nullptr;
  }
  if (static_cast<uint64_t>(found->offset) + found->size > fileSize) {
    ErrorMsgF("Member lies outside the VDL file: %s @%s", found->name.c_str(), GetName());
    return nullptr;
  }
  if (fseeko(file.get(), found->offset, SEEK_SET) != 0) return nullptr;
  if (offset) *offset = found->offset;
  if (size) *size = found->size;
  return file.release();
}

int CTPackageFile::FindFirst(const char* pattern, QIBO_String& name, uint32_t& size) {
  return FindNext(0, pattern, name, size);
}

int CTPackageFile::FindNext(int index, const char* pattern, QIBO_String& name, uint32_t& size) {
  const char* filePattern = qibo::FilePart(pattern);
  for (int i = std::max(index, 0); i < GetEntryCount(); ++i) {
    const DPackageEntry& entry = m_entries[static_cast<size_t>(i)];
    if (!qibo::WildcardMatchIC(filePattern, entry.name.c_str())) continue;
    name = entry.name.c_str();
    size = entry.size;
    return i + 1;
  }
  return -1;
}
