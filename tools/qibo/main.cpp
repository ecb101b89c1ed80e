// qibo: the engine's command-line tool. Without arguments it lists the
// registered classes and the running services with their properties.
#include <cstdio>
#include <cstring>

#include "core/kernel/CTApplication.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/StopSignals.h"
#include "tools/qibo/Commands.h"

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

// Starts one service for every registered service interface, as a program
// would on first use, so that the listing shows every service's settings.
void StartStandardServices() {
  for (int i = 0; i < qiBO_GetClassDescCount(); ++i) {
    const ClassDesc* cd = qiBO_GetClassDescNo(i);
    if (cd->Abstract() && cd != CTManager::_CD() && cd->CheckGroupID(CTManager::_CD()->ID()) &&
        !cd->CheckGroupID(CTApplication::_CD()->ID()))
      qiBO_GetService(cd);
  }
}

void ListServices() {
  auto* services = qibo::GetService<CTServiceManager>();
  if (!services) return;
  StartStandardServices();
  printf("\nServices (%d)\n", services->GetServiceCount());
  for (int i = 0; i < services->GetServiceCount(); ++i) {
    CTManager* service = services->GetServiceNo(i);
    printf("  %s [%s]%s\n", service->GetName(), service->GetCD()->GetName().c_str(),
           service->IsStarted() ? "" : " (stopped)");
    service->MakeProperties();
    for (int p = 0; p < service->GetPropertiesCount(); ++p) {
      const DProperty& property = service->GetPropertyNo(p);
      printf("    %-24s %-16s %s\n", property.GetName(), property.TypeString().c_str(),
             property.ToString().c_str());
    }
  }
}

}  // namespace

namespace qibo::tool {

int ListAll(int argc, char** argv) {
  const bool classes = argc < 1 || strcmp(argv[0], "classes") == 0;
  const bool services = argc < 1 || strcmp(argv[0], "services") == 0;
  if (classes) ListClasses();
  if (services) ListServices();
  return 0;
}

}  // namespace qibo::tool

namespace {

struct Verb {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

const Verb kVerbs[] = {
    {"classes", qibo::tool::ListAll, "classes                 list the registered classes"},
    {"services", qibo::tool::ListAll,
     "services                start the standard services and list them with their properties"},
    {"dump", qibo::tool::Dump, "dump FILE               print a chunk stream as an indented tree"},
    {"pack", qibo::tool::Pack, "pack OUT.vdl FILES...   write a package of the given files"},
    {"list", qibo::tool::ListPackage, "list PACKAGE            list the members of a package"},
    {"extract", qibo::tool::Extract, "extract PACKAGE [MEMBER...]  write a package's members as files"},
    {"play", qibo::tool::Play, "play FILE               play a music file until a key is pressed or it ends"},
    {"convert", qibo::tool::Convert,
     "convert IN OUT          convert a picture (formats chosen by extension), or a model to a scene (.qbo)"},
    {"info", qibo::tool::Info,
     "info FILE               show a picture's format and size, or a model's objects, faces, materials and "
     "bounds"},
    {"view", qibo::tool::View,
     "view FILE [--snapshot OUT] [--size WxH]  show a model or scene turning; --snapshot saves one frame"},
    {"setup", qibo::tool::Setup,
     "setup                   choose how the render device opens, on its settings page"},
    {"video", qibo::tool::Video,
     "video FILE... [--loop]  play videos with sound behind the render device's output\n"
     "                  [--record OUT [--size WxH] [--fps N]] [--snapshot OUT [--at SECONDS]]  off screen "
     "instead"},
    {"host", qibo::tool::Host,
     "host [--port N] [--view]  host a shared scene (port 0: any free port) until a key is pressed"},
    {"join", qibo::tool::Join,
     "join [ADDRESS] [--view]  join a shared scene: at ADDRESS[:PORT], or found on the LAN"},
};

int Usage() {
  fprintf(stderr, "usage: qibo                      list the registered classes and the running services\n");
  for (const Verb& verb : kVerbs) fprintf(stderr, "       qibo %s\n", verb.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qibo::InstallStopSignalHandlers();
  qiBO_Init();
  int result = 2;
  if (argc < 2) {
    result = qibo::tool::ListAll(0, nullptr);
  } else {
    const Verb* verb = nullptr;
    for (const Verb& v : kVerbs)
      if (strcmp(argv[1], v.name) == 0) verb = &v;
    if (!verb) {
      result = Usage();
    } else {
      // "classes" and "services" take their own name as the argument.
      const bool self = verb->run == qibo::tool::ListAll;
      result = self ? verb->run(1, argv + 1) : verb->run(argc - 2, argv + 2);
      if (result == 2) Usage();
    }
  }
  qiBO_Deinit();
  qibo::ExitForStopSignal();
  return result;
}
