#pragma once

#include <cstdint>

#include "core/object/QIBO_String.h"

// The settings file store: a reader and writer of INI files with the rules of
// the Windows private-profile functions, which the settings code was written
// against.
//
// File format, as read:
//   [Section]          a section header; text after the first "]" is ignored
//   Key=Value          whitespace around names and values is trimmed
//   ; comment, # comment, blank lines, anything else: kept, never read
// Section and key names compare ignoring ASCII case; the first matching
// section is the only one searched, and its first matching key wins. A line
// holding a NUL byte, a key line without "=", a header without "]" and any
// line before the first header are never read; a broken header still ends
// the section before it (its keys belong to no section). Lines end with LF or
// CR LF.
//
// The file is the user's: a write changes only the line of the key it writes
// (keeping the line's indentation, key spelling and spacing up to the value),
// or inserts one key line after the last non-blank line of the section, or
// appends the section at the end of the file. Every other byte stays as it
// was. A write goes to a temporary file in the same directory that is then
// renamed over the old one, so a failed write leaves the old file untouched;
// the file is locked from the read to the rename, so concurrent writers
// (other programs too) never lose each other's keys. A read-only file is
// never replaced.
//
// File names may use "\" (".\qibo.ini"); a name that differs from the file on
// disk only in case finds that file. A file is read and indexed once per
// change, however many keys are looked up; files larger than
// kIniMaxFileSize are refused (reads see nothing, writes fail).
// Engine thread only; no call throws: a failure inside one (no memory for a
// file's text) is logged through the engine's log and answered as a missing
// key or a failed write.

namespace qibo {

constexpr long kIniMaxFileSize = 16L * 1024 * 1024;

// The value's leading decimal integer (after optional whitespace and sign;
// wraps modulo 2^32), 0 if the value does not start with one. The default if
// the key is absent or its value is empty. Returns the 32-bit pattern, so
// callers can compare with sentinels such as 0xCDCDCDCD.
int32_t IniGetInt(const char* file, const char* section, const char* key, int32_t defaultValue);

// The value, cut to 255 characters; one pair of matching quotes (' or ")
// around it is removed. The default (trailing blanks removed; empty for null)
// if the key is absent. An empty value reads as "".
QIBO_String IniGetString(const char* file, const char* section, const char* key, const char* defaultValue);

// Reads size bytes stored by IniWriteStruct. False, with data untouched, if
// the key is absent, the value is not exactly 2 * size + 2 hexadecimal digits
// or the checksum does not match.
bool IniGetStruct(const char* file, const char* section, const char* key, void* data, int size);

// Writes key=value into section, creating the section and the file as
// needed. A null value removes the key's line. False (file untouched) if the
// file cannot be read or written, or a name or the value cannot be stored so
// that it reads back: empty names, CR or LF anywhere, "]" in a section name,
// "=" in a key, or a key starting with "[", ";" or "#".
bool IniWriteString(const char* file, const char* section, const char* key, const char* value);

// How many times a settings file was read and indexed since the program
// started: once per change of the file, however many lookups there are.
int IniFilesIndexed();

// Why the last failed write of this thread failed, for a log line; empty
// after a write that succeeded.
const char* IniLastError();
void IniClearLastError();

// Stores size bytes (size >= 1) as upper-case hexadecimal pairs followed by a
// checksum byte, the sum of the bytes modulo 256, also as two hex digits.
bool IniWriteStruct(const char* file, const char* section, const char* key, const void* data, int size);

}  // namespace qibo
