#include "core/geometry/CTCollisionDetector.h"

QIBO_IMPLEMENT_CLASS(CTCollisionDetector, CTInterface, .desc = "Abstract Collision Detector",
                     .isAbstract = true)
