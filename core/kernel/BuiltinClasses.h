#pragma once

#include <vector>

class ClassDesc;

namespace qibo {

// The core library's classes in the order the class manager registers them
// at start (each registration also registers its ancestors). Defined at the
// top of the engine (core/kernel/engine), the one place that names every
// class; the registry only calls it.
const std::vector<ClassDesc*>& BuiltinClasses();

}  // namespace qibo
