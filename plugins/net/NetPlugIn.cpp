// qiboNet.plug: the networking device over ENet.
#include "core/kernel/PlugInEntry.h"
#include "plugins/net/CTENetNetwork.h"

namespace {

class QiboNetLib : public CTPlugInLib {
 protected:
  void AddClasses() override { AddClass(CTENetNetwork::_CD()); }
};

}  // namespace

QIBO_PLUGIN_ENTRY(QiboNetLib)
