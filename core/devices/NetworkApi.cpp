#include "core/devices/NetworkApi.h"

#include <atomic>

namespace {

std::atomic<bool> g_master{true};

// The network manager service; none is running yet.
bool HaveNetworkService() { return false; }

}  // namespace

uint32_t qiBO_RequestNetworkID() { return 0; }
void qiBO_AddNetworkObject(CTStreamed*) {}
CTStreamed* qiBO_FindNetworkObject(uint32_t) { return nullptr; }
void qiBO_RemoveNetworkObject(CTStreamed*) {}
bool qiBO_SendNetworkMessage(uint32_t, int, int32_t) { return HaveNetworkService(); }
bool qiBO_SendNetworkData(uint32_t, int, void*, int) { return HaveNetworkService(); }
bool qiBO_SendNetworkStream(CTStreamed*, uint32_t) { return HaveNetworkService(); }

namespace qibo {

bool IsNetworkMaster() { return g_master.load(std::memory_order_relaxed); }
void SetNetworkMaster(bool master) { g_master.store(master, std::memory_order_relaxed); }

}  // namespace qibo
