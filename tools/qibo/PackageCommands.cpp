// Package verbs of the qibo tool: pack, list, extract.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/object/Ref.h"
#include "core/persist/CTPackageFile.h"
#include "core/persist/FileSearch.h"
#include "core/persist/OsPath.h"
#include "core/persist/PackageWriter.h"
#include "tools/qibo/Commands.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using FileHolder = std::unique_ptr<FILE, FileCloser>;

// A package opened for the tool; empty after printing why.
Ref<CTPackageFile> OpenPackage(const char* path) {
  Ref<CTPackageFile> package = qibo::Create<CTPackageFile>();
  if (package && package->Open(path)) return package;
  fprintf(stderr, "qibo: %s\n", package ? package->LastErrorMsg().c_str() : "out of memory");
  return Ref<CTPackageFile>();
}

// Says so when the open kept only part of a damaged directory.
bool ReportDamage(CTPackageFile* package) {
  if (!package->HasError()) return true;
  fprintf(stderr, "qibo: %s\n", package->LastErrorMsg().c_str());
  return false;
}

// Copies member index into a new file of its own name in the current
// directory; never replaces an existing file.
bool ExtractMember(CTPackageFile* package, int index) {
  const DPackageEntry& entry = *package->GetEntryNo(index);
  const char* name = entry.name.c_str();
  const std::string shown = qibo::tool::Printable(entry.name);
  if (!qibo::PackageWriter::ValidName(name)) {
    fprintf(stderr, "qibo: skipping member with unsafe name \"%s\"\n", shown.c_str());
    return false;
  }
  uint32_t size = 0;
  FileHolder in(package->OpenMemberNo(index, nullptr, &size));
  if (!in) {
    fprintf(stderr, "qibo: %s: %s\n", shown.c_str(), package->LastErrorMsg().c_str());
    return false;
  }
  const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    fprintf(stderr, "qibo: %s: %s (not overwritten)\n", shown.c_str(), strerror(errno));
    return false;
  }
  FileHolder out(fdopen(fd, "wb"));
  if (!out) close(fd);
  bool ok = out != nullptr;
  char buffer[65536];
  for (uint32_t left = size; ok && left > 0;) {
    const size_t want = left < sizeof(buffer) ? left : sizeof(buffer);
    ok = fread(buffer, 1, want, in.get()) == want && fwrite(buffer, 1, want, out.get()) == want;
    left -= static_cast<uint32_t>(want);
  }
  if (out && fclose(out.release()) != 0) ok = false;
  if (!ok) {
    fprintf(stderr, "qibo: %s: cannot write\n", shown.c_str());
    unlink(name);
    return false;
  }
  printf("%s (%u bytes)\n", shown.c_str(), size);
  return true;
}

}  // namespace

namespace qibo::tool {

int Pack(int argc, char** argv) {
  if (argc < 2) return 2;
  PackageWriter writer;
  for (int i = 1; i < argc; ++i) {
    // Measured now, read only while the package is written.
    if (!writer.AddFile(FilePart(argv[i]), ResolvePath(argv[i]))) {
      fprintf(stderr, "qibo: %s: %s\n", argv[i], writer.LastError().c_str());
      return 1;
    }
  }
  if (!writer.WriteFile(argv[0])) {
    fprintf(stderr, "qibo: %s\n", writer.LastError().c_str());
    return 1;
  }
  printf("%s: %d members, %llu bytes\n", argv[0], writer.Count(),
         static_cast<unsigned long long>(writer.Size()));
  return 0;
}

int ListPackage(int argc, char** argv) {
  if (argc != 1) return 2;
  Ref<CTPackageFile> package = OpenPackage(argv[0]);
  if (!package) return 1;
  const bool checksum = package->GetMagic() == kPackageMagic;
  printf("%s: %d members, directory at %u, checksum %s0x%08X\n", argv[0], package->GetEntryCount(),
         package->GetDirOffset(), checksum ? "" : "none, field ", package->GetChecksum());
  printf("  %10s %10s  %s\n", "Offset", "Size", "Name");
  for (int i = 0; i < package->GetEntryCount(); ++i) {
    const DPackageEntry* entry = package->GetEntryNo(i);
    printf("  %10u %10u  %s\n", entry->offset, entry->size, Printable(entry->name).c_str());
  }
  return ReportDamage(package.Get()) ? 0 : 1;
}

int Extract(int argc, char** argv) {
  if (argc < 1) return 2;
  Ref<CTPackageFile> package = OpenPackage(argv[0]);
  if (!package) return 1;
  bool ok = ReportDamage(package.Get());
  if (argc == 1) {
    for (int i = 0; i < package->GetEntryCount(); ++i) ok = ExtractMember(package.Get(), i) && ok;
    return ok ? 0 : 1;
  }
  for (int a = 1; a < argc; ++a) {
    const int found = package->FindMember(argv[a]);
    if (found < 0) {
      fprintf(stderr, "qibo: %s: no such member in %s\n", Printable(argv[a]).c_str(), argv[0]);
      ok = false;
      continue;
    }
    ok = ExtractMember(package.Get(), found) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace qibo::tool
