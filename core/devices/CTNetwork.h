#pragma once

#include <cstdint>
#include <vector>

#include "core/devices/CTDevice.h"
#include "core/object/QIBO_String.h"

// One thing that happened on the network, as CTNetwork::Receive reports it.
struct NetEvent {
  static constexpr int kPacket = 1;      // data arrived from peer
  static constexpr int kPeerJoined = 2;  // peer joined the session this copy hosts
  static constexpr int kNowHost = 3;     // this copy is now the session's host
  static constexpr int kHostLost = 4;    // the connection to the host is gone
  static constexpr int kPeerLeft = 5;    // peer left the session this copy hosts

  int type = 0;
  // The packet of a kPacket event. The receiver owns the buffer and may hand
  // the same event to the next Receive, which reuses its storage.
  std::vector<uint8_t> data;
  // The transport's identifier of the sender, or of the peer the event is
  // about; the same peer has the same identifier on every copy of a session.
  int peer = 0;

  int Size() const { return static_cast<int>(data.size()); }
};

// The transport of the networking service: finds, hosts and joins sessions
// of an application and carries packets between the copies in one. The
// core has no implementation; plug-ins supply them.
//
// Nothing here blocks the frame: looking for sessions and joining one only
// start the work, and what follows (answers, the connection, its failure)
// is seen in later calls. Packets are delivered reliably and in order
// between two peers.
class CTNetwork : public CTDevice {
  QIBO_CLASS(CTNetwork)

 public:
  // Starts a new search for sessions of the application (the list is
  // emptied); answers arrive in later GetSessionCount calls. Answers the
  // number of sessions known.
  virtual int EnumSessions(uint32_t applicationId) = 0;
  // The sessions found so far, taking in the answers that have arrived.
  virtual int GetSessionCount() = 0;
  virtual QIBO_String GetSessionName(int index) = 0;
  // The number of copies in a found session, and how many it takes.
  virtual int GetSessionCount1(int index) = 0;
  virtual int GetSessionCount2(int index) = 0;
  // Starts joining a found session; false when that cannot begin. Packets
  // sent before the connection stands wait for it; a connection that fails
  // is reported as kHostLost.
  virtual bool JoinSession(int index) = 0;
  // Looks for a session of the application at a known address (one a
  // search does not reach) instead: the list is emptied and takes only that
  // address's answer, in later GetSessionCount calls.
  virtual bool QuerySession(uint32_t applicationId, const char* address) = 0;
  // Opens a session named sessionName for the application; the argument is
  // the implementation's (a port, for instance).
  virtual bool HostSession(uint32_t applicationId, const char* sessionName, int argument) = 0;
  virtual void CloseSession() = 0;
  // Each sends one packet; false when it cannot be sent (no session, too
  // large, no such peer).
  virtual bool SendToAll(const void* data, int size) = 0;
  virtual bool SendToHost(const void* data, int size) = 0;
  virtual bool SendTo(const void* data, int size, int peer) = 0;
  // The next event, or false when none is waiting.
  virtual bool Receive(NetEvent* event) = 0;
  // The host's identifier in the current session, -1 outside one.
  virtual int GetHostPeer() = 0;
  // Hosting: ends the connection of a peer (reported as kPeerLeft when it
  // has gone) and delivers nothing more from it.
  virtual void DisconnectPeer(int peer) = 0;
};
