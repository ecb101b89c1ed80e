#include "core/kernel/DefPropertyPageManager.h"

#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(DefPropertyPageManager, CTPropertyPageManager, .desc = "Property Page Manager",
                     .product = "qiBO DefMgr")

namespace {

// Page indices a plug-in is asked for: a library that never answers 0 is
// not asked forever.
constexpr int kMaxPagesPerLibrary = 64;

template <class Fn>
Fn Export(CTPlugInManager& plugIns, int library, const char* name) {
  return reinterpret_cast<Fn>(plugIns.GetPlugInSymbol(library, name));
}

}  // namespace

std::vector<DefPropertyPageManager::PageEntry> DefPropertyPageManager::FindPages() {
  std::vector<PageEntry> pages;
  auto* plugIns = qibo::FindService<CTPlugInManager>();
  if (!plugIns) return pages;
  for (int library = 0; library < plugIns->GetPlugInCount(); ++library) {
    auto init = Export<InitPropertyPageLibFn>(*plugIns, library, "qiBO_InitPropertyPageLib");
    if (!init) continue;  // a plug-in without pages
    const QIBO_String name = plugIns->GetPlugInName(library);
    auto classId = Export<GetPropertyPageClassIDFn>(*plugIns, library, "qiBO_GetPropertyPageClassID");
    auto create = Export<CreatePropertyPageFn>(*plugIns, library, "qiBO_CreatePropertyPage");
    auto destroy = Export<DeletePropertyPageFn>(*plugIns, library, "qiBO_DeletePropertyPage");
    if (!classId || !create || !destroy) {
      WarningMsgF(0, "%s: incomplete property-page exports", name.c_str());
      continue;
    }
    if (init() != 1) continue;
    for (int index = 0; index < kMaxPagesPerLibrary; ++index) {
      const uint32_t id = classId(index);
      if (id == 0) break;
      pages.push_back(PageEntry{name, index, id, create, destroy});
    }
  }
  return pages;
}

bool DefPropertyPageManager::ShowPage(const PageEntry& entry, CTNamed* object) {
  DPropertyPage* page = entry.create(entry.index);
  if (!page) {
    WarningMsgF(0, "%s: property page %d could not be made", entry.library.c_str(), entry.index);
    return false;
  }
  const DPropertyPage::Result result = page->DoModal(object);
  entry.destroy(page);
  return result != DPropertyPage::Result::kNotShown;
}

bool DefPropertyPageManager::ShowPropertyPage(CTNamed* object) {
  const std::vector<PageEntry> pages = FindPages();
  const bool wholeSystem = !object || object->GetCD()->CheckGroupID(CTServiceManager::_CD()->ID());
  bool shown = false;
  for (const PageEntry& entry : pages) {
    if (wholeSystem)
      shown = ShowPage(entry, nullptr) || shown;
    else if (object->GetCD()->CheckGroupID(entry.classId))
      shown = ShowPage(entry, object) || shown;
  }
  if (pages.empty()) InfoMsg("No loaded plug-in offers a property page");
  return shown;
}
