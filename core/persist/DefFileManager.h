#pragma once

#include "core/object/QIBO_String.h"
#include "core/object/Ref.h"
#include "core/object/StepArray.h"
#include "core/persist/CTFileManager.h"
#include "core/persist/CTPackageFile.h"

// The default file manager.
//
// Reading through SmartFile asks for a package member first, then for a
// plain file: a member found in a package wins over a loose file of the
// same name. Plain files are tried in each search directory in turn (the
// current directory first); with "AllowNormalFiles" false only packages
// serve reads.
//
// Every name served is recorded once, upper-cased, in first-use order
// (members as NAME @PACKAGE); with "DumpFileNames" set, the list is written
// to that file, one name per CR LF line, when the manager stops.
//
// Each loaded package is held by one anonymous reference and logs with the
// manager's verbose level. Start loads the packages matching
// "DefaultPackages"; stop releases them, last first.
class DefFileManager : public CTFileManager {
  QIBO_CLASS(DefFileManager)

 public:
  DefFileManager();
  ~DefFileManager() override;
  DefFileManager(const DefFileManager&) = delete;
  DefFileManager& operator=(const DefFileManager&) = delete;

  void DoAddProperties() override;

  bool AddPackage(const char* path) override;
  int AddPackages(const char* pattern) override;
  bool RemovePackage(const char* path) override;
  FILE* OpenPackageMember(const char* name, uint32_t* offset, uint32_t* size) override;
  FILE* OpenFile(const char* name, bool readWrite, DFileSpan* span = nullptr) override;
  FILE* CreateFile(const char* name, bool readWrite) override;
  FILE* AppendFile(const char* name) override;
  bool FindFirst(const char* pattern, findrecord_t* record) override;
  bool FindNext(findrecord_t* record) override;
  void AddSearchPath(const char* dir) override;
  void RemoveSearchPath(const char* dir) override;

  int GetPackageCount() const { return static_cast<int>(m_packages.size()); }
  CTPackageFile* GetPackageNo(int i) const;
  int GetSearchPathCount() const { return m_searchPaths.Count(); }
  QIBO_String GetSearchPathNo(int i) const;
  int GetServedNameCount() const { return m_servedNames.Count(); }
  QIBO_String GetServedNameNo(int i) const;

 protected:
  bool DoStart() override;
  bool DoStop() override;

 private:
  // Adds name, upper-cased, unless it is already listed.
  void Record(const char* name);
  void ReleasePackages();
  void WriteServedNames();

  std::vector<Ref<CTPackageFile>> m_packages;  // load order
  qibo::StepArray<QIBO_String> m_searchPaths;  // normalised prefixes
  qibo::StepArray<QIBO_String> m_servedNames;  // upper case, first use first

  QIBO_String m_dumpFileNames;
  bool m_allowNormalFiles = true;
  QIBO_String m_defaultPackages = "*.vdl";
};
