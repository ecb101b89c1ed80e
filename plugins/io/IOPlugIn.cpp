// qiboIO.plug: the picture importers and exporters and the model importers.
#include "core/kernel/PlugInEntry.h"
#include "plugins/io/CT3DSImport.h"
#include "plugins/io/CTASCImport.h"
#include "plugins/io/CTPictureFormats.h"

namespace {

class QiboIOLib : public CTPlugInLib {
 protected:
  void AddClasses() override {
    AddClass(CTTargaImport::_CD());
    AddClass(CTTargaExport::_CD());
    AddClass(CTBMPImport::_CD());
    AddClass(CTSGIImport::_CD());
    AddClass(CTCELImport::_CD());
    AddClass(CTPBMExport::_CD());
    AddClass(CT3DFImport::_CD());
    AddClass(CT3DFExport::_CD());
    AddClass(CTJpegImport::_CD());
    AddClass(CTJpegExport::_CD());
    AddClass(CT3DSImport::_CD());
    AddClass(CTASCImport::_CD());
  }
};

}  // namespace

QIBO_PLUGIN_ENTRY(QiboIOLib)
