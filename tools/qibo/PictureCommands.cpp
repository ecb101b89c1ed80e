// qibo convert IN OUT and qibo info FILE: pictures through the importers
// and exporters of qiboIO.plug, each chosen by the file's extension.
#include <cstdio>
#include <string>

#include "core/io/CTBitmapExport.h"
#include "core/io/CTBitmapIO.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "tools/qibo/Commands.h"

namespace qibo::tool {

namespace {

// The first importer of the file's extension that reads it; null, with the
// messages printed, when none does.
Ref<CTBitmapImport> ImportPicture(const char* verb, const char* file) {
  const char* ext = qibo::FileExtension(file);
  const int logged = qiBO_GetErrorsCount();
  bool known = false;
  if (ext)
    for (Ref<CTImportExport>& io :
         qibo::CreateImportExportClasses(CTBitmapImport::_CD(), CTBitmapIO::_CD())) {
      auto* importer = qibo::Cast<CTBitmapImport>(io.Get());
      if (!importer || !importer->HandlesExtension(ext)) continue;
      known = true;
      if (importer->Import(file)) return Ref<CTBitmapImport>(importer);
    }
  fprintf(stderr, "qibo %s: %s: %s\n", verb, Printable(file).c_str(),
          known ? "the picture could not be read" : "no importer for this extension");
  PrintLogSince(logged);
  return Ref<CTBitmapImport>();
}

}  // namespace

int ConvertPicture(int argc, char** argv) {
  if (argc != 2) return 2;
  if (!LoadToolPlugIn("qiboIO.plug")) {
    fprintf(stderr, "qibo convert: qiboIO.plug could not be loaded\n");
    return 1;
  }
  Ref<CTBitmapImport> importer = ImportPicture("convert", argv[0]);
  if (!importer) return 1;
  return ExportPicture("convert", argv[1], importer->GetTexture()) ? 0 : 1;
}

bool ExportPicture(const char* verb, const char* file, CTTexture* texture) {
  const char* ext = qibo::FileExtension(file);
  const int logged = qiBO_GetErrorsCount();
  bool known = false;
  if (ext)
    for (Ref<CTImportExport>& io : qibo::CreateImportExportClasses(CTBitmapExport::_CD(), nullptr)) {
      auto* exporter = qibo::Cast<CTBitmapExport>(io.Get());
      if (!exporter || !exporter->HandlesExtension(ext)) continue;
      known = true;
      if (exporter->Export(file, texture)) return true;
    }
  fprintf(stderr, "qibo %s: %s: %s\n", verb, Printable(file).c_str(),
          known ? "the picture could not be written" : "no exporter for this extension");
  PrintLogSince(logged);
  return false;
}

int PictureInfo(int argc, char** argv) {
  if (argc != 1) return 2;
  if (!LoadToolPlugIn("qiboIO.plug")) {
    fprintf(stderr, "qibo info: qiboIO.plug could not be loaded\n");
    return 1;
  }
  Ref<CTBitmapImport> importer = ImportPicture("info", argv[0]);
  if (!importer) return 1;
  CTTexture* texture = importer->GetTexture();
  const LFB* lfb = texture->GetData();
  printf("%s\n  format       %s\n  size         %d x %d\n", Printable(argv[0]).c_str(),
         importer->GetCD()->GetDesc().c_str(), lfb->GetWidth(), lfb->GetHeight());
  printf("  colour depth %d\n  alpha depth  %d\n  grey         %s\n  alpha        %s\n",
         texture->GetColorDepth(), texture->GetAlphaDepth(), texture->GetSwitch(3) ? "yes" : "no",
         lfb->HasAlpha() ? "yes" : "no");
  return 0;
}

}  // namespace qibo::tool
