#include "plugins/io/DModelImport.h"

#include <vector>

#include "core/object/QIBO_String.h"
#include "core/persist/FileSearch.h"
#include "plugins/io/FileBytes.h"
#include "plugins/io/ModelBuilder.h"

namespace {

// Models of millions of faces stay well below this.
constexpr uint32_t kMaxModelBytes = 256u << 20;

// The file part of file without its extension.
std::string BaseName(const char* file) {
  std::string base = qibo::FilePart(file);
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.resize(dot);
  return base;
}

}  // namespace

bool DModelImport::ImportWith(const char* file, const Rules& rules) {
  std::vector<uint8_t> bytes;
  std::string reason;
  switch (qibo::io::ReadWholeFile(file, true, kMaxModelBytes, bytes, &reason)) {
    case qibo::io::ReadResult::kOk:
      break;
    case qibo::io::ReadResult::kNotFound:
      if (rules.reportMissing) WarningMsg((QIBO_String("File not found: ") + file).c_str(), 0);
      return false;
    case qibo::io::ReadResult::kNotOpened:
      return WarningMsg((std::string("Cannot open file: ") + file + " (" + reason + ")").c_str(), 0) && false;
    case qibo::io::ReadResult::kTooLarge:
      return WarningMsg((QIBO_String("File too large: ") + file).c_str(), 0) && false;
    case qibo::io::ReadResult::kFailed:
      return WarningMsg((QIBO_String("Error while reading file: ") + file).c_str(), 0) && false;
  }
  qibo::io::DModel model;
  std::string why;
  if (!rules.read(bytes.data(), bytes.size(), GetImportMask(), model, why)) {
    if (!why.empty()) WarningMsg((why + file).c_str(), 0);
    return false;
  }
  bytes = {};
  qibo::io::DModelSettings settings;
  settings.root = GetRoot();
  settings.importMask = GetImportMask();
  settings.scaling = GetScaling();
  settings.baseName = BaseName(file);
  settings.folder = qibo::DirectoryPart(file);
  qibo::io::DModelBuilder builder(settings, [this](const std::string& text) { WarningMsg(text.c_str(), 0); });
  std::vector<CTBasic*> imported;
  if (!builder.Build(model, imported)) return false;
  for (CTBasic* object : imported) AddImportedObject(object);
  return true;
}
