#pragma once

// The verbs of the qibo tool. Each takes the arguments after the verb and
// returns the process exit code (0 success, 1 failure, 2 usage).
namespace qibo::tool {

int ListAll(int argc, char** argv);      // classes and services
int Dump(int argc, char** argv);         // dump FILE
int Pack(int argc, char** argv);         // pack OUT.vdl FILES...
int ListPackage(int argc, char** argv);  // list PACKAGE
int Extract(int argc, char** argv);      // extract PACKAGE [MEMBER...]
int Play(int argc, char** argv);         // play FILE

}  // namespace qibo::tool
