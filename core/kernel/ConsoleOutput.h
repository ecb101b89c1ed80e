#pragma once

// Standard output shared by progress marks (characters without a newline)
// and messages (whole lines): a message starts on a line of its own, also
// after progress marks. Engine thread only.
namespace qibo {

// Writes text as it is and flushes it: progress marks and the like.
void ConsoleWrite(const char* text);
// Writes text as a line of its own, ending the open line first.
void ConsoleWriteLine(const char* text);
// Ends the open line, if text was written without a newline since the last
// one.
void ConsoleEndLine();

}  // namespace qibo
