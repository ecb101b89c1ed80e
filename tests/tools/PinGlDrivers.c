/* Preloaded into the qibo tool by the tests of its rendering verbs: keeps
 * Mesa's EGL and DRI drivers loaded for the whole process. SDL loads them
 * when a window opens and unloads them when it closes; blocks the drivers
 * keep in their own globals are then unreachable in "<unknown module>" and
 * the leak checker, at exit, reports them (no suppression can name them).
 * The tests' own processes pin the drivers the same way (D3DFixture.cpp). */
#include <dlfcn.h>

__attribute__((constructor)) static void PinGlDrivers(void) {
  dlopen("libEGL_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
  dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
}
