#pragma once

#include <cstdint>

class CTStreamed;

// The networking service's exported functions. Each forwards to the network
// manager service; while no such service is running they do nothing and
// answer 0, null or false.
uint32_t qiBO_RequestNetworkID();
// The network table holds one reference on each object in it, from
// qiBO_AddNetworkObject until qiBO_RemoveNetworkObject.
void qiBO_AddNetworkObject(CTStreamed* object);
CTStreamed* qiBO_FindNetworkObject(uint32_t id);
void qiBO_RemoveNetworkObject(CTStreamed* object);
bool qiBO_SendNetworkMessage(uint32_t id, int message, int32_t value);
bool qiBO_SendNetworkData(uint32_t id, int message, void* data, int size);
bool qiBO_SendNetworkStream(CTStreamed* object, uint32_t levelOfDetail);

namespace qibo {

// Whether this program owns the shared objects: true at load, cleared while
// it has joined another program's session.
bool IsNetworkMaster();
void SetNetworkMaster(bool master);

}  // namespace qibo
