#pragma once

#include <cstdint>

#include "core/kernel/CTManager.h"

class CTNetwork;
class CTStreamed;

// The network manager service: lets several running copies of an
// application share objects. It keeps the table of network objects (every
// CTStreamed with a network ID), hands out network IDs, hosts or joins a
// session through a CTNetwork device, batches outgoing object messages,
// object data and object streams, and once per frame sends the batches and
// dispatches everything that arrived.
//
// Ownership: the table holds no reference on an object the program entered
// (the object leaves it when its network ID is reset or it is destroyed); a
// copy made from a peer's packet is kept alive by the table until it leaves
// the table or the service stops.
//
// A received message reaches OnMessage(message, data) with data pointing at
// the sent 32-bit value (followed by zero bytes); received data reaches it as
// a pointer to a copy of the bytes followed by a NUL. Neither is ever a
// pointer a peer chose.
class CTNetworkManager : public CTManager {
  QIBO_CLASS(CTNetworkManager)

 public:
  explicit CTNetworkManager(const char* name = nullptr);
  ~CTNetworkManager() override;
  CTNetworkManager(const CTNetworkManager&) = delete;
  CTNetworkManager& operator=(const CTNetworkManager&) = delete;

  // argument: the device's (a port for the ENet device; 0 its default).
  virtual bool HostSession(int argument) = 0;
  // index: one of the sessions the device found.
  virtual bool JoinSession(int index) = 0;
  virtual bool CloseSession() = 0;
  virtual uint32_t RequestNetworkID() = 0;
  // Queued until the end of the frame; outside a session there is nobody
  // to send to and nothing is kept.
  virtual bool SendNetworkMessage(uint32_t id, int message, int32_t value) = 0;
  virtual bool SendNetworkData(uint32_t id, int message, void* data, int size) = 0;
  // Writes the object now (later changes in the same frame are not sent);
  // the objects of a frame travel in one packet (past a megabyte, in
  // several, each object whole).
  virtual bool SendNetworkStream(CTStreamed* object, uint32_t levelOfDetail) = 0;
  virtual bool IsHosting() = 0;
  virtual bool IsNetworkGame() = 0;
  virtual bool IsPending() = 0;
  // Enters object under its current network ID and answers it.
  virtual uint32_t AddNetworkObject(CTStreamed* object) = 0;
  virtual CTStreamed* FindNetworkObject(uint32_t id) = 0;
  virtual void RemoveNetworkObject(CTStreamed* object) = 0;
  virtual int GetSessionCount() = 0;
  // name: room for 256 characters.
  virtual bool GetSessionInfo(int index, char* name, int* count1, int* count2) = 0;
  virtual int EnumSessions() = 0;
  virtual void SetSessionName(const char* name) = 0;
  virtual void SetClientName(const char* name) = 0;

  // The networking device, obtained and started when none is held; null
  // when none can be had.
  virtual CTNetwork* GetNetworkDevice() = 0;
  // Whether object is in this manager's table.
  virtual bool HasNetworkObject(const CTStreamed* object) = 0;
  // object is being destroyed: it leaves the table, and whatever reference
  // the table held went with it.
  virtual void ForgetNetworkObject(CTStreamed* object) = 0;

  // Whether this copy owns the shared objects: true outside a session and
  // while hosting, false while joined to another copy's session.
  bool IsMasterCopy() const { return m_master; }

 protected:
  void SetMasterCopy(bool master) { m_master = master; }

 private:
  bool m_master = true;
};
