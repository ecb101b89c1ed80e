// Package verbs of the qibo tool: pack, list, extract.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/object/CTReferenced.h"
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

// The whole of a regular file; false after printing why.
bool ReadWholeFile(const char* path, std::string& bytes) {
  FileHolder file(fopen(qibo::ResolvePath(path).c_str(), "rb"));
  struct stat st;
  if (!file || fstat(fileno(file.get()), &st) != 0) {
    fprintf(stderr, "qibo: %s: %s\n", path, strerror(errno));
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    fprintf(stderr, "qibo: %s: not a regular file\n", path);
    return false;
  }
  bytes.clear();
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file.get())) > 0) bytes.append(buffer, n);
  if (!ferror(file.get())) return true;
  fprintf(stderr, "qibo: %s: read error\n", path);
  return false;
}

// A package opened for the tool, released when it goes out of scope.
class PackageHolder {
 public:
  PackageHolder()
      : m_package(qibo::Cast<CTPackageFile>(static_cast<CTBasic*>(CTPackageFile::_CD()->Create()))) {
    if (m_package) m_package->AddRef(nullptr);
  }
  ~PackageHolder() {
    if (m_package) m_package->RemoveRef(nullptr);
  }
  PackageHolder(const PackageHolder&) = delete;
  PackageHolder& operator=(const PackageHolder&) = delete;

  // Opens path; false after printing why.
  bool Open(const char* path) {
    if (m_package && m_package->Open(path)) return true;
    fprintf(stderr, "qibo: %s\n", m_package ? m_package->LastErrorMsg().c_str() : "out of memory");
    return false;
  }
  CTPackageFile* operator->() const { return m_package; }
  CTPackageFile* Get() const { return m_package; }

 private:
  CTPackageFile* m_package;
};

// Says so when the open kept only part of a damaged directory.
bool ReportDamage(CTPackageFile* package) {
  if (!package->HasError()) return true;
  fprintf(stderr, "qibo: %s\n", package->LastErrorMsg().c_str());
  return false;
}

// Copies one member into a new file of its own name in the current
// directory; never replaces an existing file.
bool ExtractMember(CTPackageFile* package, const DPackageEntry& entry) {
  const char* name = entry.name.c_str();
  if (!qibo::PackageWriter::ValidName(name)) {
    fprintf(stderr, "qibo: skipping member with unsafe name \"%s\"\n", name);
    return false;
  }
  uint32_t size = 0;
  FileHolder in(package->OpenMember(name, nullptr, &size));
  if (!in) {
    fprintf(stderr, "qibo: %s: %s\n", name, package->LastErrorMsg().c_str());
    return false;
  }
  const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) {
    fprintf(stderr, "qibo: %s: %s (not overwritten)\n", name, strerror(errno));
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
    fprintf(stderr, "qibo: %s: cannot write\n", name);
    unlink(name);
    return false;
  }
  printf("%s (%u bytes)\n", name, size);
  return true;
}

}  // namespace

namespace qibo::tool {

int Pack(int argc, char** argv) {
  if (argc < 2) return 2;
  PackageWriter writer;
  for (int i = 1; i < argc; ++i) {
    std::string bytes;
    if (!ReadWholeFile(argv[i], bytes)) return 1;
    if (!writer.Add(FilePart(argv[i]), bytes)) {
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
  PackageHolder package;
  if (!package.Open(argv[0])) return 1;
  const bool checksum = package->GetMagic() == kPackageMagic;
  printf("%s: %d members, directory at %u, checksum %s0x%08X\n", argv[0], package->GetEntryCount(),
         package->GetDirOffset(), checksum ? "" : "none, field ", package->GetChecksum());
  printf("  %10s %10s  %s\n", "Offset", "Size", "Name");
  for (int i = 0; i < package->GetEntryCount(); ++i) {
    const DPackageEntry* entry = package->GetEntryNo(i);
    printf("  %10u %10u  %s\n", entry->offset, entry->size, entry->name.c_str());
  }
  return ReportDamage(package.Get()) ? 0 : 1;
}

int Extract(int argc, char** argv) {
  if (argc < 1) return 2;
  PackageHolder package;
  if (!package.Open(argv[0])) return 1;
  CTPackageFile* pkg = package.Get();
  bool ok = ReportDamage(pkg);
  if (argc == 1) {
    for (int i = 0; i < pkg->GetEntryCount(); ++i) ok = ExtractMember(pkg, *pkg->GetEntryNo(i)) && ok;
    return ok ? 0 : 1;
  }
  for (int a = 1; a < argc; ++a) {
    const DPackageEntry* found = nullptr;
    for (int i = 0; i < pkg->GetEntryCount() && !found; ++i)
      if (EqualsIC(pkg->GetEntryNo(i)->name.c_str(), FilePart(argv[a]))) found = pkg->GetEntryNo(i);
    if (!found) {
      fprintf(stderr, "qibo: %s: no such member in %s\n", argv[a], argv[0]);
      ok = false;
      continue;
    }
    ok = ExtractMember(pkg, *found) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace qibo::tool
