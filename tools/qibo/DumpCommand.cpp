// The dump verb of the qibo tool.
#include <cstdio>

#include "tools/qibo/Commands.h"

namespace qibo::tool {

int Dump(int, char**) {
  fprintf(stderr, "qibo: chunk streams are not supported by this build yet\n");
  return 1;
}

}  // namespace qibo::tool
