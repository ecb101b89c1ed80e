// Fuzzes the package reader: any file must open or fail without a fault,
// the directory may hold only whole entries that lie between its offset and
// the trailer, every member handed out must lie inside the file and read
// back as the file's bytes at its place, and the members read must survive
// a round trip through the package writer.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/object/CTReferenced.h"
#include "core/persist/CTPackageFile.h"
#include "core/persist/PackageWriter.h"
#include "core/persist/SmartFile.h"

namespace {

std::string g_dir;
std::string g_file;
std::string g_copy;

void Cleanup() {
  unlink(g_file.c_str());
  unlink(g_copy.c_str());
  rmdir(g_dir.c_str());
}

bool Setup() {
  if (!g_dir.empty()) return true;
  char shm[] = "/dev/shm/qibo-fuzz-package-XXXXXX";
  char tmp[] = "/tmp/qibo-fuzz-package-XXXXXX";
  const char* name = mkdtemp(shm);
  if (!name) name = mkdtemp(tmp);
  if (!name) return false;
  g_dir = name;
  g_file = g_dir + "/in.vdl";
  g_copy = g_dir + "/copy.vdl";
  atexit(Cleanup);
  return true;
}

void Check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "fuzz_package: %s\n", what);
  abort();
}

bool WriteAll(const std::string& path, const void* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = fwrite(data, 1, size, f) == size;
  return (fclose(f) == 0) && ok;
}

// A package object held by one reference for the scope.
struct Package {
  Package() : p(qibo::Cast<CTPackageFile>(static_cast<CTBasic*>(CTPackageFile::_CD()->Create()))) {
    if (p) p->AddRef(nullptr);
  }
  ~Package() {
    if (p) p->RemoveRef(nullptr);
  }
  CTPackageFile* p;
};

// The member's bytes through OpenMember and a SmartFile over its range;
// false when the package refuses it.
bool ReadMember(CTPackageFile* package, const char* name, const uint8_t* file, size_t fileSize,
                std::string& out) {
  uint32_t offset = 0;
  uint32_t size = 0;
  FILE* handle = package->OpenMember(name, &offset, &size);
  if (!handle) return false;
  Check(static_cast<uint64_t>(offset) + size <= fileSize, "a member outside the file was handed out");
  SmartFile member;
  Check(member.AttachRange(handle, offset, size), "a member handed out does not attach");
  Check(member.FilePos() == 0 && member.FileSize() == size, "a member's position or size is off");
  out.assign(size, '\0');
  Check(member.Read(out.data(), 1, size) == size, "a member does not read to its end");
  Check(member.ReadByte() == -1, "a member reads past its end");
  Check(memcmp(out.data(), file + offset, size) == 0, "a member's bytes differ from the file's");
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!Setup() || !WriteAll(g_file, data, size)) return 0;
  Package package;
  if (!package.p) return 0;
  if (!package.p->Open(g_file.c_str())) {
    Check(package.p->GetEntryCount() == 0, "a failed open kept entries");
    return 0;
  }
  Check(size >= qibo::kPackageTrailerSize, "a file without a trailer opened");
  const uint64_t end = size - qibo::kPackageTrailerSize;
  const uint64_t dirOffset = package.p->GetDirOffset();
  const int count = package.p->GetEntryCount();
  Check(count == 0 || dirOffset + static_cast<uint64_t>(count) * qibo::kPackageEntrySize <= end,
        "directory entries were read from outside the directory's room");

  // A search for everything visits every entry once, in order.
  QIBO_String name;
  uint32_t memberSize = 0;
  int visited = 0;
  for (int next = package.p->FindFirst("*", name, memberSize); next > 0;
       next = package.p->FindNext(next, "*", name, memberSize)) {
    Check(next == visited + 1, "the search skipped an entry");
    ++visited;
  }
  Check(visited == count, "the search did not visit every entry");

  // Every member that opens reads as the file's bytes; the ones a writer
  // accepts go into a copy, which must read back the same.
  qibo::PackageWriter writer;
  std::vector<std::pair<std::string, std::string>> kept;
  for (int i = 0; i < count && i < 64; ++i) {
    const DPackageEntry* entry = package.p->GetEntryNo(i);
    std::string bytes;
    if (!ReadMember(package.p, entry->name.c_str(), data, size, bytes)) continue;
    if (writer.Add(entry->name.c_str(), bytes)) kept.emplace_back(entry->name, bytes);
  }
  const std::string copy = writer.Build();
  Check(WriteAll(g_copy, copy.data(), copy.size()), "the copy cannot be written");
  Package reread;
  Check(reread.p && reread.p->Open(g_copy.c_str()), "the writer's copy does not open");
  Check(reread.p->GetEntryCount() == static_cast<int>(kept.size()), "the copy has other entries");
  for (const auto& [member, bytes] : kept) {
    std::string again;
    Check(ReadMember(reread.p, member.c_str(), reinterpret_cast<const uint8_t*>(copy.data()), copy.size(),
                     again),
          "a member of the copy does not open");
    Check(again == bytes, "a member of the copy reads other bytes");
  }
  return 0;
}
