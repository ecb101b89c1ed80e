#include "core/persist/DefFileManager.h"

#include <algorithm>
#include <cstring>

#include "core/persist/CTPackageFile.h"
#include "core/persist/FileSearch.h"
#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"

QIBO_IMPLEMENT_CLASS(DefFileManager, CTFileManager, .desc = "Filemanager", .product = "qiBO DefMgr",
                     .build = 2)
static_assert(qibo::ClassId("DefFileManager") == 0xABD6F604);

namespace {

// A plain file opened with mode; null for anything but a regular file. A
// file created whole keeps its exact name.
FILE* OpenPlain(const char* name, const char* mode) {
  const std::string path = mode[0] == 'w' ? qibo::ResolveOutputPath(name) : qibo::ResolvePath(name);
  return path.empty() ? nullptr : qibo::OpenFileStream(path, mode);
}

bool HasSeparator(const char* name) { return strchr(name, '\\') || strchr(name, '/'); }

QIBO_String NormaliseSearchPath(const char* dir) {
  QIBO_String path = dir ? dir : "";
  char* text = path.Buffer();
  for (char* c = text; *c; ++c) *c = *c == '/' ? '\\' : qibo::ToLowerAscii(*c);
  if (!path.Empty() && text[path.Length() - 1] != '\\') path += '\\';
  return path;
}

void CopyName(char (&dest)[256], const char* text) { qibo::CopyText(dest, sizeof(dest), text); }

}  // namespace

DefFileManager::DefFileManager() { m_searchPaths.Add(""); }

DefFileManager::~DefFileManager() {
  // Normally emptied by DoStop; a manager deleted while holding packages
  // still gives their references back.
  ReleasePackages();
}

void DefFileManager::DoAddProperties() {
  CTFileManager::DoAddProperties();
  AddProperty(DProperty(m_dumpFileNames, "DumpFileNames"), DefFileManager::_CD());
  AddProperty(DProperty(m_allowNormalFiles, "AllowNormalFiles"), DefFileManager::_CD());
  AddProperty(DProperty(m_defaultPackages, "DefaultPackages"), DefFileManager::_CD());
}

CTPackageFile* DefFileManager::GetPackageNo(int i) const {
  return i >= 0 && i < GetPackageCount() ? m_packages[static_cast<size_t>(i)].Get() : nullptr;
}

QIBO_String DefFileManager::GetSearchPathNo(int i) const {
  return i >= 0 && i < GetSearchPathCount() ? m_searchPaths[static_cast<size_t>(i)] : QIBO_String();
}

QIBO_String DefFileManager::GetServedNameNo(int i) const {
  return i >= 0 && i < GetServedNameCount() ? m_servedNames[static_cast<size_t>(i)] : QIBO_String();
}

void DefFileManager::Record(const char* name) {
  QIBO_String upper = name;
  for (char* c = upper.Buffer(); *c; ++c) *c = qibo::ToUpperAscii(*c);
  if (!m_servedNames.Contains(upper)) m_servedNames.Add(upper);
}

// --- Packages ----------------------------------------------------------------

bool DefFileManager::AddPackage(const char* path) {
  if (!path || !*path) return false;
  for (const Ref<CTPackageFile>& p : m_packages)
    if (qibo::EqualsIC(p->GetName(), path)) return true;
  Ref<CTPackageFile> package = qibo::Create<CTPackageFile>();
  if (!package) return false;
  package->SetVerboseLevel(GetVerboseLevel());
  if (!package->Open(path)) return false;
  m_packages.push_back(std::move(package));
  Record(path);
  return true;
}

int DefFileManager::AddPackages(const char* pattern) {
  if (!pattern || !*pattern) return 0;
  // Package files are found on disk whatever "AllowNormalFiles" says: it
  // governs data files, and packages are how data is shipped without them.
  const std::string dir = qibo::DirectoryPart(pattern);
  int opened = 0;
  for (const qibo::DFoundFile& found : qibo::FindFiles(pattern))
    if (found.size >= 0 && AddPackage((dir + found.name).c_str())) ++opened;
  return opened;
}

bool DefFileManager::RemovePackage(const char* path) {
  const auto found = std::find_if(m_packages.begin(), m_packages.end(), [&](const Ref<CTPackageFile>& p) {
    return qibo::EqualsIC(p->GetName(), path);
  });
  if (found == m_packages.end()) return false;
  Ref<CTPackageFile> package = std::move(*found);
  // Load order decides which package wins a name, so the rest keep theirs.
  m_packages.erase(found);
  return true;
}

void DefFileManager::ReleasePackages() {
  while (!m_packages.empty()) {
    Ref<CTPackageFile> last = std::move(m_packages.back());
    m_packages.pop_back();
  }
}

// --- Opening -----------------------------------------------------------------

FILE* DefFileManager::OpenPackageMember(const char* name, uint32_t* offset, uint32_t* size) {
  if (!name) return nullptr;
  for (const Ref<CTPackageFile>& package : m_packages) {
    if (FILE* file = package->OpenMember(name, offset, size)) {
      Record((QIBO_String(name) + " @" + package->GetName()).c_str());
      return file;
    }
  }
  return nullptr;
}

FILE* DefFileManager::OpenFile(const char* name, bool readWrite, DFileSpan* span) {
  if (span) *span = DFileSpan();
  if (!name || !*name) return nullptr;
  const char* mode = readWrite ? "r+b" : "rb";

  // A name with a directory part is opened as given.
  if (HasSeparator(name)) {
    if (!m_allowNormalFiles) return nullptr;
    FILE* file = OpenPlain(name, mode);
    if (file) Record(name);
    return file;
  }

  if (m_allowNormalFiles || readWrite) {
    for (const QIBO_String& prefix : m_searchPaths) {
      const QIBO_String path = prefix + name;
      if (FILE* file = OpenPlain(path.c_str(), mode)) {
        Record(path.c_str());
        return file;
      }
    }
  }

  if (!readWrite) {
    uint32_t offset = 0;
    uint32_t size = 0;
    if (FILE* file = OpenPackageMember(name, &offset, &size)) {
      if (span) *span = DFileSpan{true, offset, size};
      return file;
    }
  }

  WarningMsgF(2, "Unable to open: %s", name);
  return nullptr;
}

FILE* DefFileManager::CreateFile(const char* name, bool readWrite) {
  FILE* file = name && *name ? OpenPlain(name, readWrite ? "w+b" : "wb") : nullptr;
  if (!file) WarningMsgF(2, "Unable to create: %s", name ? name : "");
  return file;
}

FILE* DefFileManager::AppendFile(const char* name) {
  if (name && *name) {
    for (const QIBO_String& prefix : m_searchPaths)
      if (FILE* file = OpenPlain((prefix + name).c_str(), "a+b")) return file;
  }
  WarningMsgF(2, "Unable to append to: %s", name ? name : "");
  return nullptr;
}

// --- Searching ---------------------------------------------------------------

bool DefFileManager::FindFirst(const char* pattern, findrecord_t* record) {
  if (!record) return false;
  CopyName(record->name, "");
  record->size = 0;
  CopyName(record->pattern, pattern ? pattern : "");
  record->position = 0;
  record->package = 0;
  return FindNext(record);
}

bool DefFileManager::FindNext(findrecord_t* record) {
  if (!record) return false;
  record->pattern[sizeof(record->pattern) - 1] = '\0';
  while (record->package >= 0) {
    CTPackageFile* package = GetPackageNo(record->package);
    if (!package) {
      // Past the last package: the loose files come next.
      record->package = -1;
      record->position = 0;
      break;
    }
    QIBO_String name;
    uint32_t size = 0;
    const int next = package->FindNext(record->position, record->pattern, name, size);
    if (next > 0) {
      CopyName(record->name, name.c_str());
      record->size = static_cast<int32_t>(std::min<uint32_t>(size, INT32_MAX));
      record->position = next;
      return true;
    }
    ++record->package;
    record->position = 0;
  }

  if (!m_allowNormalFiles || record->position < 0) return false;
  const std::vector<qibo::DFoundFile> found = qibo::FindFiles(record->pattern);
  if (static_cast<size_t>(record->position) >= found.size()) return false;
  const qibo::DFoundFile& file = found[static_cast<size_t>(record->position)];
  CopyName(record->name, file.name.c_str());
  record->size = file.size;
  ++record->position;
  return true;
}

// --- Search directories ------------------------------------------------------

void DefFileManager::AddSearchPath(const char* dir) {
  const QIBO_String path = NormaliseSearchPath(dir);
  if (!m_searchPaths.Contains(path)) m_searchPaths.Add(path);
}

void DefFileManager::RemoveSearchPath(const char* dir) {
  // Search order stays as it was for the directories that remain.
  const QIBO_String path = NormaliseSearchPath(dir);
  m_searchPaths.EraseIf([&](const QIBO_String& p) { return p == path; });
}

// --- Start and stop ----------------------------------------------------------

bool DefFileManager::DoStart() {
  if (!m_defaultPackages.Empty()) AddPackages(m_defaultPackages.c_str());
  m_servedNames.Clear();
  return true;
}

bool DefFileManager::DoStop() {
  ReleasePackages();
  if (!m_dumpFileNames.Empty()) WriteServedNames();
  m_servedNames.Clear();
  return true;
}

void DefFileManager::WriteServedNames() {
  FILE* file = OpenPlain(m_dumpFileNames.c_str(), "wb");
  bool ok = file != nullptr;
  for (size_t i = 0; ok && i < m_servedNames.Size(); ++i)
    ok = fputs(m_servedNames[i].c_str(), file) >= 0 && fputs("\r\n", file) >= 0;
  if (file && fclose(file) != 0) ok = false;
  if (!ok) WarningMsgF(0, "Unable to create: %s", m_dumpFileNames.c_str());
}
