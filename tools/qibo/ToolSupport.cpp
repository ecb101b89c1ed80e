// What several verbs of the tool share: plug-ins and the engine's log.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <set>
#include <string>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/kernel/PlugInApi.h"
#include "core/object/CTLogged.h"
#include "tools/qibo/Commands.h"

namespace qibo::tool {

bool LoadToolPlugIn(const char* name) {
  static std::set<std::string> loaded;
  if (loaded.count(name)) return true;
  bool ok = qiBO_LoadPlugIn(name);
  if (!ok) {
    // Beside this program, where the build puts the plug-ins.
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    auto* plugIns = static_cast<CTInterface*>(qiBO_GetService(CTPlugInManager::_CD()));
    if (n <= 0 || !plugIns) return false;
    std::string dir(self, static_cast<size_t>(n));
    dir.resize(dir.rfind('/') + 1);
    plugIns->GetPropertyByName("PlugInPath").FromString(dir.c_str());
    ok = qiBO_LoadPlugIn(name);
  }
  if (ok) loaded.insert(name);
  return ok;
}

void PrintLogSince(int first, bool problemsOnly) {
  for (int i = first; i < qiBO_GetErrorsCount(); ++i) {
    errorstruct_t* record = qiBO_GetErrorNo(i);
    if (!record || (problemsOnly && (record->code & kCodeSeverityMask) < kCodeMinorWarning)) continue;
    fprintf(stderr, "  %s\n", Printable(record->message).c_str());
  }
}

}  // namespace qibo::tool
