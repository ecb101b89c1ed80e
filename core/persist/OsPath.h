#pragma once

#include <string>

namespace qibo {

// Names in data, settings and code may use "\" as the separator (".\qibo.ini",
// "runfiles\melody01.xm"). The file layer turns them into "/" only here, when
// it talks to the operating system; the engine's own name handling keeps "\".
std::string OsPath(const char* name);

// Our data was made on a file system that ignores case. Returns the existing
// path whose components match osPath ignoring ASCII case (the exact spelling
// wins at every level, otherwise the first match in byte order), or an empty
// string when there is none. osPath uses "/" (see OsPath).
std::string FindPathIC(const std::string& osPath);

// The path to hand to the operating system for name: the exact path if it
// exists, else its case-insensitive match, else (for files about to be
// created) the case-insensitive match of the directory joined with the last
// component as given, else OsPath(name) unchanged.
std::string ResolvePath(const char* name);

// The path for a file about to be created or replaced whole: the directory
// part is matched ignoring case as for ResolvePath, the file name is kept
// exactly as given, so that writing "OUT.VDL" never replaces "out.vdl".
std::string ResolveOutputPath(const char* name);

}  // namespace qibo
