#pragma once

#include <string>

namespace qibo::test {

// Writes bytes as the whole of file name (made or replaced).
void PutFile(const std::string& name, const std::string& bytes);
// The whole of file name; empty when it cannot be read.
std::string GetFile(const std::string& name);

}  // namespace qibo::test
