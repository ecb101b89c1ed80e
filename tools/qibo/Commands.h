#pragma once

#include <string>
#include <string_view>

// The verbs of the qibo tool. Each takes the arguments after the verb and
// returns the process exit code (0 success, 1 failure, 2 usage).
namespace qibo::tool {

int ListAll(int argc, char** argv);         // classes and services
int Dump(int argc, char** argv);            // dump FILE
int Pack(int argc, char** argv);            // pack OUT.vdl FILES...
int ListPackage(int argc, char** argv);     // list PACKAGE
int Extract(int argc, char** argv);         // extract PACKAGE [MEMBER...]
int Play(int argc, char** argv);            // play FILE
int ConvertPicture(int argc, char** argv);  // convert IN OUT
int PictureInfo(int argc, char** argv);     // info FILE

// Text from a file made fit for the terminal: valid UTF-8 stays, control
// characters (C0, DEL and C1) and bytes that are not UTF-8 become \xNN, so
// no name in a file can send escape sequences to the terminal.
std::string Printable(std::string_view text);

}  // namespace qibo::tool
