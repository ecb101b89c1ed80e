#include "core/io/CTImportExport.h"

#include "core/kernel/CTClassManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTImportExport, CTLogged, .desc = "Abstract IO", .product = "qiBO IO",
                     .isAbstract = true)

QIBO_String CTImportExport::GetExtensionNo(int i) const {
  return i >= 0 && i < m_extensions.Count() ? m_extensions[static_cast<size_t>(i)] : QIBO_String();
}

bool CTImportExport::HandlesExtension(const char* ext) const {
  if (!ext || !*ext) return false;
  for (const QIBO_String& entry : m_extensions)
    if (qibo::EqualsIC(entry.c_str(), ext)) return true;
  return false;
}

void CTImportExport::AddExtension(const char* ext) {
  QIBO_String upper = ext ? ext : "";
  for (char* c = upper.Buffer(); *c; ++c) *c = qibo::ToUpperAscii(*c);
  m_extensions.Add(upper);
}

namespace qibo {

const char* FileExtension(const char* file) {
  if (!file) return nullptr;
  const char* dot = nullptr;
  for (const char* c = file; *c; ++c) {
    if (*c == '\\' || *c == '/') dot = nullptr;
    if (*c == '.') dot = c;
  }
  return dot ? dot + 1 : nullptr;
}

std::vector<Ref<CTImportExport>> CreateImportExportClasses(const ClassDesc* group, const ClassDesc* exclude) {
  std::vector<Ref<CTImportExport>> made;
  auto* classes = qibo::GetService<CTClassManager>();
  if (!classes || !group) return made;
  const int count = classes->GetClassDescCount();
  for (int i = 0; i < count; ++i) {
    ClassDesc* cd = classes->GetClassDescNo(i);
    if (!cd || cd->Abstract() || !cd->CheckGroupID(group->ID())) continue;
    if (exclude && cd->CheckGroupID(exclude->ID())) continue;
    Ref<CTImportExport> object = CreateAs<CTImportExport>(cd);
    if (object) made.push_back(std::move(object));
  }
  return made;
}

}  // namespace qibo
