// A well-behaved plug-in with one class of its own.
#include "core/kernel/PlugInEntry.h"

class TestPlugInGadget : public CTReferenced {
  QIBO_CLASS(TestPlugInGadget)
};
QIBO_IMPLEMENT_CLASS(TestPlugInGadget, CTReferenced, .desc = "Plug-in gadget", .url = "GoodPlugIn.plug")

class GoodPlugInLib : public CTPlugInLib {
 protected:
  void AddClasses() override {
    AddClass(TestPlugInGadget::_CD());
    AddClass(TestPlugInGadget::_CD());  // listed once all the same
  }
};

QIBO_PLUGIN_ENTRY(GoodPlugInLib)
