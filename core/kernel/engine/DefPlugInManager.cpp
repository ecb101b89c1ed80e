#include "core/kernel/engine/DefPlugInManager.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <string>

#include "core/kernel/CTPlugInLib.h"
#include "core/kernel/Kernel.h"
#include "core/persist/CTFileManager.h"
#include "core/persist/OsPath.h"

QIBO_IMPLEMENT_CLASS(CTPlugInManager, CTManager, .desc = "Plug-in manager", .isAbstract = true)
QIBO_IMPLEMENT_CLASS(DefPlugInManager, CTPlugInManager, .desc = "Plug-in manager", .product = "qiBO DefMgr")

namespace {

using EntryFn = CTPlugInLib* (*)(qiBO_Context*);

constexpr const char* kEntryName = "qiBO_DllMain";

EntryFn FindEntry(void* module) { return reinterpret_cast<EntryFn>(dlsym(module, kEntryName)); }

// The path for dlopen: "\" becomes "/", the case-insensitive match of a
// file made on Windows is found, and a bare file name stays relative to the
// working directory (dlopen would search the system's library path).
std::string LibraryPath(const char* fullName) {
  std::string path = qibo::ResolvePath(fullName);
  if (path.find('/') == std::string::npos) path = "./" + path;
  return path;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

QIBO_String DefPlugInManager::DefaultPlugInFolder() {
  // The folder of the library this code is in: lib/ once installed, the
  // build's bin/ otherwise.
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&IsFolder), &info) || !info.dli_fname) return "";
  std::string folder = info.dli_fname;
  const size_t slash = folder.rfind('/');
  if (slash == std::string::npos) return "";
  folder.resize(slash + 1);
  // Installed, the plug-ins have a folder of their own below the library's.
  if (IsFolder(folder + "qibo/plugins")) folder += "qibo/plugins/";
  return folder.c_str();
}

QIBO_String DefPlugInManager::PlugInFolder() const {
  return m_plugInPath.Empty() ? DefaultPlugInFolder() : m_plugInPath;
}

DefPlugInManager::DefPlugInManager() = default;

// A manager deleted while libraries are still in use keeps their code
// loaded: objects of their classes may outlive it. Only the references go.
DefPlugInManager::~DefPlugInManager() = default;

void DefPlugInManager::DoAddProperties() {
  CTPlugInManager::DoAddProperties();
  AddProperty(DProperty(m_plugInPath, "PlugInPath"), DefPlugInManager::_CD());
  AddProperty(DProperty(m_defaultPlugIns, "DefaultPlugIns"), DefPlugInManager::_CD());
}

bool DefPlugInManager::LoadPlugIn(const char* name) {
  if (!name) name = "";
  const QIBO_String fullName = PlugInFolder() + name;
  void* module = dlopen(LibraryPath(fullName.c_str()).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    WarningMsgF(0, "Library not found: %s", name);
    return false;
  }
  EntryFn entry = FindEntry(module);
  if (!entry) {
    dlclose(module);
    WarningMsgF(0, "Not a qiBO extension library: %s", name);
    return false;
  }
  qiBO_Context context;
  qiBO_GetContext(&context);
  Ref<CTPlugInLib> lib(entry(&context));
  if (!lib) {
    dlclose(module);
    WarningMsgF(0, "Empty library: %s", name);
    return false;
  }
  lib->RegisterClasses();
  m_libraries.push_back(Library{module, std::move(lib), name});
  InfoMsg(name, 2);
  NoError();
  return true;
}

void DefPlugInManager::LoadAllPlugIns() {
  auto* files = qibo::GetService<CTFileManager>();
  if (!files || !files->IsStarted()) return;
  const QIBO_String pattern = PlugInFolder() + m_defaultPlugIns;
  // Collect first: loading a library may itself search for files.
  std::vector<QIBO_String> found;
  findrecord_t record;
  for (bool more = files->FindFirst(pattern.c_str(), &record); more; more = files->FindNext(&record))
    if (record.size >= 0) found.emplace_back(record.name);
  for (const QIBO_String& name : found) {
    InfoMsg(name.c_str(), 3);
    LoadPlugIn(name.c_str());
  }
}

QIBO_String DefPlugInManager::GetPlugInName(int index) {
  if (index < 0 || index >= GetPlugInCount()) return "";
  return m_libraries[static_cast<size_t>(index)].name;
}

void* DefPlugInManager::GetPlugInSymbol(int index, const char* name) {
  if (index < 0 || index >= GetPlugInCount() || !name) return nullptr;
  return dlsym(m_libraries[static_cast<size_t>(index)].module, name);
}

void DefPlugInManager::Unload(Library& library) {
  if (EntryFn entry = FindEntry(library.module)) entry(nullptr);
  // A library loaded twice registered its classes twice; all but the last
  // record give their registration back here, the last one through the
  // library object's destructor.
  int records = 0;
  for (const Library& other : m_libraries)
    if (other.lib == library.lib) ++records;
  if (records > 1) library.lib->UnregisterClasses();
  library.lib.Reset();
  // The library's static destruction releases the last reference; the
  // library object then unregisters the classes while the code is loaded.
  dlclose(library.module);
}

bool DefPlugInManager::DoStop() {
  for (size_t i = m_libraries.size(); i-- > 0;) {
    if (m_libraries[i].lib->GetInstancesCount() >= 1) continue;
    Library library = std::move(m_libraries[i]);
    m_libraries.erase(m_libraries.begin() + static_cast<std::ptrdiff_t>(i));
    m_libraries.push_back(std::move(library));  // counted while unloading
    Unload(m_libraries.back());
    m_libraries.pop_back();
  }
  for (const Library& library : m_libraries) InfoMsgF(2, "Couldn't unload: %s", library.name.c_str());
  return m_libraries.empty();
}
