#include "core/persist/CTFileManager.h"

QIBO_IMPLEMENT_CLASS(CTFileManager, CTManager, .desc = "Filemanager", .build = 1, .isAbstract = true)
