// A minimal plug-in: one class of its own, CTHelloSpinner, an object with
// one property, a turning speed, that the settings file can set. A program (or `qibo
// classes`) that loads HelloPlugIn.plug from the plug-in folder can make it
// by name: qiBO_CreateClassByName("CTHelloSpinner").
#include "core/kernel/PlugInEntry.h"
#include "core/object/CTInterface.h"

class CTHelloSpinner : public CTInterface {
  QIBO_CLASS(CTHelloSpinner)

 public:
  CTHelloSpinner() : CTInterface("Hello spinner") {}

  void DoAddProperties() override {
    CTInterface::DoAddProperties();
    AddProperty(DProperty(m_speed, "Speed"), CTHelloSpinner::_CD());
  }
  double GetSpeed() const { return m_speed; }

 private:
  double m_speed = 0.8;  // radians per second
};

QIBO_IMPLEMENT_CLASS(CTHelloSpinner, CTInterface, .desc = "Hello spinner", .url = "HelloPlugIn.plug",
                     .product = "qiBO example")

class HelloPlugInLib : public CTPlugInLib {
 protected:
  void AddClasses() override { AddClass(CTHelloSpinner::_CD()); }
};

QIBO_PLUGIN_ENTRY(HelloPlugInLib)
