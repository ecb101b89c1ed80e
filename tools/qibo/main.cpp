// qibo: the engine's command-line tool. Without arguments it lists the
// registered classes, the plug-ins' included, and the running services with
// their properties.
#include <dlfcn.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/kernel/CTApplication.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "core/kernel/StopSignals.h"
#include "tools/qibo/Commands.h"

namespace {

// The file name of the library (or program) that defines a class: where its
// name's text lies. (The descriptor itself may have been copied into the
// program that uses it when the program was loaded.)
std::string LibraryOf(const ClassDesc* cd) {
  const void* where =
      cd->NameText() ? static_cast<const void*>(cd->NameText()) : static_cast<const void*>(cd);
  Dl_info info{};
  if (!dladdr(where, &info) || !info.dli_fname) return "?";
  const std::string path = info.dli_fname;
  return path.substr(path.rfind('/') + 1);
}

void ListClasses() {
  const int count = qiBO_GetClassDescCount();
  printf("Classes (%d registered)\n", count);
  printf("  %-32s %-10s  %-24s %-30s %-8s %-9s %s\n", "Name", "ID", "Parent", "Description", "", "Instances",
         "Library");
  for (int i = 0; i < count; ++i) {
    const ClassDesc* cd = qiBO_GetClassDescNo(i);
    const ClassDesc* parent = cd->GetInheritedCD();
    printf("  %-32s 0x%08X  %-24s %-30s %-8s %-9d %s\n", cd->GetName().c_str(), cd->ID(),
           parent ? parent->GetName().c_str() : "-", cd->GetDesc().c_str(), cd->Abstract() ? "abstract" : "",
           cd->GetInstances(), LibraryOf(cd).c_str());
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
  // The plug-ins' classes are listed with the core's.
  if (classes) qiBO_LoadAllPlugIns();
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
    {"classes", qibo::tool::ListAll,
     "classes                 load the plug-ins and list every class with the library it comes from"},
    {"services", qibo::tool::ListAll,
     "services                start the standard services and list them with their properties"},
    {"dump", qibo::tool::Dump,
     "dump [--file-strings | --memory-strings] FILE  print a chunk stream as an indented tree"},
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

void PrintUsage(FILE* out) {
  fprintf(out, "usage: qibo                      list the classes and the running services\n");
  for (const Verb& verb : kVerbs) fprintf(out, "       qibo %s\n", verb.usage);
  fprintf(out,
          "       qibo help [VERB]             this text, or one verb's\n"
          "       qibo --version               the version of the tool and the engine\n");
}

// A usage error: one line saying what is wrong, then the usage.
int UsageError(const std::string& what, const Verb* verb = nullptr) {
  if (!what.empty()) fprintf(stderr, "qibo%s%s: %s\n", verb ? " " : "", verb ? verb->name : "", what.c_str());
  if (verb)
    fprintf(stderr, "usage: qibo %s\n", verb->usage);
  else
    PrintUsage(stderr);
  return 2;
}

const Verb* FindVerb(const char* name) {
  for (const Verb& v : kVerbs)
    if (strcmp(name, v.name) == 0) return &v;
  return nullptr;
}

// The options a verb takes are the "--name" words of its usage line; any
// other argument that starts with '-' is refused before the verb runs.
bool KnownOption(const Verb& verb, const char* option) {
  const size_t length = strlen(option);
  for (const char* at = strstr(verb.usage, "--"); at; at = strstr(at + 2, "--")) {
    const char end = at[length];
    if (strncmp(at, option, length) == 0 && !(isalnum(static_cast<unsigned char>(end)) || end == '-'))
      return true;
  }
  return false;
}

const char* UnknownOption(const Verb& verb, int argc, char** argv) {
  for (int i = 0; i < argc; ++i)
    if (argv[i][0] == '-' && argv[i][1] != '\0' && !KnownOption(verb, argv[i])) return argv[i];
  return nullptr;
}

int Help(int argc, char** argv) {
  if (argc == 0) {
    PrintUsage(stdout);
    return 0;
  }
  const Verb* verb = argc == 1 ? FindVerb(argv[0]) : nullptr;
  if (!verb)
    return UsageError(argc == 1 ? "help: unknown verb \"" + std::string(argv[0]) + "\"" : "help: one verb");
  printf("usage: qibo %s\n", verb->usage);
  return 0;
}

int RunVerb(int argc, char** argv) {
  const char* name = argv[1];
  if (strcmp(name, "--version") == 0) {
    printf("qibo %s\n", QIBO_VERSION);
    return 0;
  }
  if (strcmp(name, "help") == 0 || strcmp(name, "--help") == 0 || strcmp(name, "-h") == 0)
    return Help(argc - 2, argv + 2);
  if (name[0] == '-') return UsageError("unknown option \"" + std::string(name) + "\"");
  const Verb* verb = FindVerb(name);
  if (!verb) return UsageError("unknown verb \"" + std::string(name) + "\"");
  if (const char* option = UnknownOption(*verb, argc - 2, argv + 2))
    return UsageError("unknown option \"" + std::string(option) + "\"", verb);
  // "classes" and "services" take their own name as the argument.
  const bool self = verb->run == qibo::tool::ListAll;
  const int result = self ? verb->run(1, argv + 1) : verb->run(argc - 2, argv + 2);
  if (result == 2) UsageError("", verb);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  qibo::InstallStopSignalHandlers();
  qiBO_Init();
  const int result = argc < 2 ? qibo::tool::ListAll(0, nullptr) : RunVerb(argc, argv);
  qiBO_Deinit();
  qibo::ExitForStopSignal();
  return result;
}
