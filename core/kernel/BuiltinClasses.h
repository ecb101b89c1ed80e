#pragma once

#include <vector>

class ClassDesc;

namespace qibo {

// The core library's classes in the order the class manager registers them
// at start (each registration also registers its ancestors).
const std::vector<ClassDesc*>& BuiltinClasses();

}  // namespace qibo
