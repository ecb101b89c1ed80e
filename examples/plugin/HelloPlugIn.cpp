// A minimal plug-in: one class of its own, CTHelloSpinner, a named object
// with a turning speed kept in the settings file. A program (or `qibo
// classes`) that loads HelloPlugIn.plug from the plug-in folder can make it
// by name: qiBO_CreateClassByName("CTHelloSpinner").
#include "core/kernel/PlugInEntry.h"
#include "core/object/CTNamed.h"

class CTHelloSpinner : public CTNamed {
  QIBO_CLASS(CTHelloSpinner)

 public:
  CTHelloSpinner() : CTNamed("Hello spinner") {}

  void DoAddProperties() override {
    CTNamed::DoAddProperties();
    AddProperty(DProperty(m_speed, "Speed"), CTHelloSpinner::_CD());
  }
  double GetSpeed() const { return m_speed; }

 private:
  double m_speed = 0.8;  // radians per second
};

QIBO_IMPLEMENT_CLASS(CTHelloSpinner, CTNamed, .desc = "Hello spinner", .url = "HelloPlugIn.plug",
                     .product = "qiBO example")

class HelloPlugInLib : public CTPlugInLib {
 protected:
  void AddClasses() override { AddClass(CTHelloSpinner::_CD()); }
};

QIBO_PLUGIN_ENTRY(HelloPlugInLib)
