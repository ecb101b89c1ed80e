// qibo: the engine's command-line tool. Without arguments it lists the
// classes the core describes.
#include <cstdio>

#include "core/object/CTBasicPtr.h"
#include "core/object/CTStreamed.h"

namespace {

void ListClass(const ClassDesc* cd) {
  const ClassDesc* parent = cd->GetInheritedCD();
  printf("%-28s 0x%08X  %-20s %-32s %-8s %d\n", cd->GetName().c_str(), cd->ID(),
         parent ? parent->GetName().c_str() : "-", cd->GetDesc().c_str(), cd->Abstract() ? "abstract" : "",
         cd->GetInstances());
}

}  // namespace

int main() {
  printf("%-28s %-10s  %-20s %-32s %-8s %s\n", "Class", "ID", "Parent", "Description", "", "Instances");
  for (const ClassDesc* cd : {CTBasic::_CD(), CTReferenced::_CD(), CTBasicPtr::_CD(), CTStreamed::_CD()})
    ListClass(cd);
  return 0;
}
