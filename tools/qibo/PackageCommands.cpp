// Package verbs of the qibo tool: pack, list, extract.
#include <cstdio>

#include "tools/qibo/Commands.h"

namespace qibo::tool {

int Pack(int, char**) {
  fprintf(stderr, "qibo: packages are not supported by this build yet\n");
  return 1;
}

int ListPackage(int, char**) {
  fprintf(stderr, "qibo: packages are not supported by this build yet\n");
  return 1;
}

int Extract(int, char**) {
  fprintf(stderr, "qibo: packages are not supported by this build yet\n");
  return 1;
}

}  // namespace qibo::tool
