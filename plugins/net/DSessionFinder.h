#pragma once

#include <enet/enet.h>

#include <cstdint>
#include <string>
#include <vector>

// Finding sessions on the LAN: a search socket that asks (by broadcast, or
// one known address) and collects the answers, and the host's listener that
// answers. Nothing blocks: asking sends, and answers are taken in by Poll.
//
// Datagrams (little-endian):
//   query   0 "QBOQ"  4 uint32 application ID                     (8 bytes)
//   answer  0 "QBOA"  4 uint32 application ID  8 uint16 game port
//           10 uint16 copies in the session  12 uint16 copies it takes
//           14 uint8 name length n  15 n bytes of name             (15 + n)
// Anything else, or a datagram whose length does not match, is ignored.
class DSessionFinder {
 public:
  struct Session {
    std::string name;
    ENetAddress address;  // the session's game port
    int copies;
    int capacity;
  };
  // What a host tells those who ask.
  struct Offer {
    uint32_t applicationId;
    const char* name;
    uint16_t port;
    int copies;
    int capacity;
  };

  static constexpr size_t kQuerySize = 8;
  static constexpr size_t kMaxSessions = 64;

  DSessionFinder() = default;
  ~DSessionFinder() { Close(); }
  DSessionFinder(const DSessionFinder&) = delete;
  DSessionFinder& operator=(const DSessionFinder&) = delete;

  // Forgets the sessions found and asks each broadcast address (IPv4 text)
  // on the discovery port. False when no query could be sent.
  bool Search(uint32_t applicationId, const std::vector<std::string>& broadcasts, uint16_t discoveryPort);
  // Forgets the sessions found and asks one address (host name or IPv4,
  // with ":port" or on defaultPort); until the next search only that
  // address's answer is taken.
  bool Ask(uint32_t applicationId, const char* address, uint16_t defaultPort);
  // Takes in the answers that have arrived.
  void Poll();
  const std::vector<Session>& Sessions() const { return m_sessions; }

  // Hosting: listens on the discovery port for broadcast queries; false
  // when the port cannot be had (the session can still be asked directly).
  bool Listen(uint16_t discoveryPort);
  // Answers the queries waiting at the listener.
  void Answer(const Offer& offer);
  void StopListening();
  void Close();

  // Whether data is a query for applicationId (a host answers it wherever
  // it arrives, on its game port too), and the answer to send.
  static bool IsQuery(const uint8_t* data, size_t size, uint32_t applicationId);
  static std::vector<uint8_t> MakeAnswer(const Offer& offer);
  // Reads an answer for applicationId; false when it is not one.
  static bool ReadAnswer(const uint8_t* data, size_t size, uint32_t applicationId, Session& session);

 private:
  bool OpenSearchSocket();
  bool SendQuery(const ENetAddress& to);

  ENetSocket m_search = ENET_SOCKET_NULL;
  ENetSocket m_listener = ENET_SOCKET_NULL;
  uint32_t m_applicationId = 0;
  bool m_askedOne = false;  // only m_asked answers
  ENetAddress m_asked{};
  std::vector<Session> m_sessions;
};
