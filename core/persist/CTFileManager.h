#pragma once

#include <cstdint>
#include <cstdio>

#include "core/kernel/CTManager.h"

// The state of a FindFirst/FindNext search over packages and loose files.
struct findrecord_t {
  char name[256];     // the name found: file name only
  int32_t size;       // bytes; -1 for a directory
  char pattern[256];  // what is searched for
  int32_t position;   // where the search goes on
  int32_t package;    // the package being searched; -1 once loose files are
};

// Where the data of a handle from OpenFile lies: the whole plain file, or a
// package member's byte range.
struct DFileSpan {
  bool isMember = false;
  uint32_t offset = 0;  // of a member's first byte in the package file
  uint32_t size = 0;    // of a member
};

// The file-manager service: resolves every file name the engine opens,
// through the loaded packages (".vdl") and a list of search directories.
// Handles returned are plain C-runtime handles that the caller adopts
// (SmartFile::Attach / AttachRange) and closes.
class CTFileManager : public CTManager {
  QIBO_CLASS(CTFileManager)

 public:
  // Opens the package and appends it to the packages searched, in load
  // order. A package already loaded (same path ignoring case) is kept once.
  virtual bool AddPackage(const char* path) = 0;
  // AddPackage for each file matching the wildcard pattern; how many opened.
  virtual int AddPackages(const char* pattern) = 0;
  // Drops the first package whose path equals path ignoring case; the
  // others keep their order.
  virtual bool RemovePackage(const char* path) = 0;

  // The first member named like name's file part, in package load order; the
  // handle stands at the member's first byte. No message on failure.
  virtual FILE* OpenPackageMember(const char* name, uint32_t* offset, uint32_t* size) = 0;
  // A plain file in the search directories, else a package member; span
  // (may be null) says which it is. Null, with a warning, when neither.
  virtual FILE* OpenFile(const char* name, bool readWrite, DFileSpan* span = nullptr) = 0;
  // A new or truncated plain file, "wb" (or "w+b").
  virtual FILE* CreateFile(const char* name, bool readWrite) = 0;
  // "a+b" in the first search directory where that works.
  virtual FILE* AppendFile(const char* name) = 0;

  // Enumerates the packages' members (package after package), then the
  // matching loose files of the pattern's directory. False when done.
  virtual bool FindFirst(const char* pattern, findrecord_t* record) = 0;
  virtual bool FindNext(findrecord_t* record) = 0;

  // Directories are kept normalised: "\" separators, lower case, ending in
  // "\" unless empty (the current directory).
  virtual void AddSearchPath(const char* dir) = 0;
  virtual void RemoveSearchPath(const char* dir) = 0;
};
