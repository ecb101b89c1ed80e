// qibo: the engine's command-line tool. Without arguments it lists the
// registered classes and the running services with their properties.
#include <cstdio>
#include <cstring>

#include "core/kernel/CTServiceManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"

namespace {

void ListClasses() {
  const int count = qiBO_GetClassDescCount();
  printf("Classes (%d registered)\n", count);
  printf("  %-32s %-10s  %-24s %-30s %-8s %s\n", "Name", "ID", "Parent", "Description", "", "Instances");
  for (int i = 0; i < count; ++i) {
    const ClassDesc* cd = qiBO_GetClassDescNo(i);
    const ClassDesc* parent = cd->GetInheritedCD();
    printf("  %-32s 0x%08X  %-24s %-30s %-8s %d\n", cd->GetName().c_str(), cd->ID(),
           parent ? parent->GetName().c_str() : "-", cd->GetDesc().c_str(), cd->Abstract() ? "abstract" : "",
           cd->GetInstances());
  }
}

void ListServices() {
  auto* services = static_cast<CTServiceManager*>(qiBO_GetService(CTServiceManager::_CD()));
  if (!services) return;
  printf("\nServices (%d)\n", services->GetServiceCount());
  for (int i = 0; i < services->GetServiceCount(); ++i) {
    CTManager* service = services->GetServiceNo(i);
    printf("  %s [%s]%s\n", service->GetName(), service->GetCD()->GetName().c_str(),
           service->IsStarted() ? "" : " (stopped)");
    service->MakeProperties();
    for (int p = 0; p < service->GetPropertiesCount(); ++p) {
      const DProperty& property = service->GetPropertyNo(p);
      printf("    %-24s %-16s %s\n", property.GetName(), property.TypeString().c_str(), property.ToString().c_str());
    }
  }
}

int Usage() {
  fprintf(stderr,
          "usage: qibo            list the registered classes and the running services\n"
          "       qibo classes    list the registered classes\n"
          "       qibo services   list the running services and their properties\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qiBO_Init();
  int result = 0;
  if (argc < 2) {
    ListClasses();
    ListServices();
  } else if (strcmp(argv[1], "classes") == 0) {
    ListClasses();
  } else if (strcmp(argv[1], "services") == 0) {
    ListServices();
  } else {
    result = Usage();
  }
  qiBO_Deinit();
  return result;
}
