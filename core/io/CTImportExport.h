#pragma once

#include <vector>

#include "core/object/CTLogged.h"
#include "core/object/QIBO_String.h"
#include "core/object/Ref.h"
#include "core/object/StepArray.h"

// Base of the importers and exporters of foreign file formats: the file
// extensions a class handles (upper case, without the dot) and the result
// of its last import or export.
class CTImportExport : public CTLogged {
  QIBO_CLASS(CTImportExport)

 public:
  explicit CTImportExport(const char* name = nullptr) : CTLogged(name) {}

  // Forgets the last result.
  virtual void SetDefaults() { m_success = false; }

  int GetExtensionCount() const { return m_extensions.Count(); }
  // Entry i, or the empty string outside the list.
  QIBO_String GetExtensionNo(int i) const;
  // ext (no leading dot) equals an entry, ignoring case.
  bool HandlesExtension(const char* ext) const;
  bool GetSuccess() const { return m_success; }

 protected:
  // Appends ext upper-cased; no duplicate check.
  void AddExtension(const char* ext);
  void ClearExtensions() { m_extensions.Clear(); }
  void SetSuccess(bool success) { m_success = success; }

 private:
  qibo::StepArray<QIBO_String> m_extensions;
  bool m_success = false;
};

namespace qibo {

// The extension of file: the text after the last "." of its file part
// (after the last "\\" or "/"); null when the file part has no dot.
const char* FileExtension(const char* file);

// One new instance of every registered concrete class that derives from
// group but not from exclude (the aggregate's own kind, which would make
// itself again), in registry order.
std::vector<Ref<CTImportExport>> CreateImportExportClasses(const ClassDesc* group, const ClassDesc* exclude);

}  // namespace qibo
