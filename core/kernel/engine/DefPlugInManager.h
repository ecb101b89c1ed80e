#pragma once

#include <vector>

#include "core/kernel/CTPlugInLib.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/object/Ref.h"

class DefPlugInManager : public CTPlugInManager {
  QIBO_CLASS(DefPlugInManager)

 public:
  DefPlugInManager();
  ~DefPlugInManager() override;

  void DoAddProperties() override;

  // Loads PlugInPath + name (no separator is added). An empty PlugInPath
  // stands for DefaultPlugInFolder().
  bool LoadPlugIn(const char* name) override;
  // Loads every file matching PlugInPath + DefaultPlugIns, in search order.
  void LoadAllPlugIns() override;
  int GetPlugInCount() override { return static_cast<int>(m_libraries.size()); }
  QIBO_String GetPlugInName(int index) override;
  void* GetPlugInSymbol(int index, const char* name) override;

  // Where the plug-ins are when the settings name no folder: beside
  // libqiboCore.so in a build, its qibo/plugins/ folder once installed (so
  // an installed tree can be moved). Ends with '/'; empty when unknown.
  static QIBO_String DefaultPlugInFolder();
  // The folder plug-ins are loaded from now.
  QIBO_String PlugInFolder() const;

 protected:
  // Unloads every library whose classes have no live objects; fails while
  // one is still in use.
  bool DoStop() override;

 private:
  struct Library {
    void* module;
    Ref<CTPlugInLib> lib;
    QIBO_String name;
  };

  void Unload(Library& library);

  std::vector<Library> m_libraries;
  QIBO_String m_plugInPath;
  QIBO_String m_defaultPlugIns = "*.plug";
};
