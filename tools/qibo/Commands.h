#pragma once

#include <string>
#include <string_view>

class CTTexture;

// The verbs of the qibo tool. Each takes the arguments after the verb and
// returns the process exit code (0 success, 1 failure, 2 usage).
namespace qibo::tool {

int ListAll(int argc, char** argv);         // classes and services
int Dump(int argc, char** argv);            // dump FILE
int Pack(int argc, char** argv);            // pack OUT.vdl FILES...
int ListPackage(int argc, char** argv);     // list PACKAGE
int Extract(int argc, char** argv);         // extract PACKAGE [MEMBER...]
int Play(int argc, char** argv);            // play FILE
int Convert(int argc, char** argv);         // convert IN OUT: a picture or a model
int Info(int argc, char** argv);            // info FILE: a picture or a model
int ConvertPicture(int argc, char** argv);  // convert IN OUT
int PictureInfo(int argc, char** argv);     // info FILE
int ConvertModel(int argc, char** argv);    // convert MODEL SCENE.qbo
int ModelInfo(int argc, char** argv);       // info MODEL
int View(int argc, char** argv);            // view FILE [--snapshot OUT] [--size WxH]
int Setup(int argc, char** argv);           // setup
int Video(int argc, char** argv);           // video FILE... [options]
int Host(int argc, char** argv);            // host [--port N] [--view]
int Join(int argc, char** argv);            // join [ADDRESS] [--view]

// Writes texture as file with the first exporter of its extension that
// succeeds; false with the messages printed (prefixed "qibo VERB: ").
bool ExportPicture(const char* verb, const char* file, CTTexture* texture);

// The plug-in of that name from the plug-in path, else from beside this
// program; loaded once.
bool LoadToolPlugIn(const char* name);
// Prints what the engine logged from record first on (only warnings and
// errors with problemsOnly), so that every message of a failed import or
// export reaches the user.
void PrintLogSince(int first, bool problemsOnly = false);

// Text from a file made fit for the terminal: valid UTF-8 stays, control
// characters (C0, DEL and C1) and bytes that are not UTF-8 become \xNN, so
// no name in a file can send escape sequences to the terminal.
std::string Printable(std::string_view text);

}  // namespace qibo::tool
