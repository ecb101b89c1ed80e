#include "core/devices/CTNetworkManager.h"

#include "core/devices/NetworkApi.h"

QIBO_IMPLEMENT_CLASS(CTNetworkManager, CTManager, .desc = "Network manager", .isAbstract = true)

// Every manager is known to the networking functions, so that an object
// leaving a table finds the table it is in.
CTNetworkManager::CTNetworkManager(const char* name) : CTManager(name) { qibo::AddLiveNetworkManager(this); }

CTNetworkManager::~CTNetworkManager() { qibo::RemoveLiveNetworkManager(this); }
