#pragma once

#include <cstdint>

class CTNetworkManager;
class CTStreamed;

// The networking service's exported functions. Each forwards to the network
// manager this thread works with: the one a NetworkScope names, else the
// network manager service (created and started on demand by the functions
// that enter objects, hand out IDs or send; the others never create it).
// Without a manager they do nothing and answer 0, null or false.
//
// The table holds no reference on an object the program enters; a copy
// received from a peer is kept alive by the table until it leaves it.
uint32_t qiBO_RequestNetworkID();
void qiBO_AddNetworkObject(CTStreamed* object);
CTStreamed* qiBO_FindNetworkObject(uint32_t id);
// Takes object out of whichever manager's table holds it.
void qiBO_RemoveNetworkObject(CTStreamed* object);
bool qiBO_SendNetworkMessage(uint32_t id, int message, int32_t value);
bool qiBO_SendNetworkData(uint32_t id, int message, void* data, int size);
bool qiBO_SendNetworkStream(CTStreamed* object, uint32_t levelOfDetail);

namespace qibo {

// Whether this program owns the shared objects: true outside a session and
// while hosting, false while it has joined another program's session.
bool IsNetworkMaster();
// object is being destroyed: it leaves whichever table holds it, which
// drops no reference on it (any it held died with the object).
void ForgetNetworkObject(CTStreamed* object);

// Makes the networking functions of this thread reach manager instead of
// the service while it lives; scopes nest. A program that keeps several
// session peers in one process (a test, a server with bots) opens one
// around the work it does for each; a manager opens its own around its
// frame work, so that the copies it receives enter its own table.
class NetworkScope {
 public:
  explicit NetworkScope(CTNetworkManager* manager);
  ~NetworkScope();
  NetworkScope(const NetworkScope&) = delete;
  NetworkScope& operator=(const NetworkScope&) = delete;

 private:
  CTNetworkManager* m_previous;
};

// Kept by CTNetworkManager's constructor and destructor.
void AddLiveNetworkManager(CTNetworkManager* manager);
void RemoveLiveNetworkManager(CTNetworkManager* manager);

}  // namespace qibo
