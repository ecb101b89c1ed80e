#include "plugins/net/DSessionFinder.h"

#include <cstdlib>
#include <cstring>

#include "core/object/ByteIO.h"

namespace {

constexpr uint32_t kQueryTag = qibo::FourCC("QBOQ");
constexpr uint32_t kAnswerTag = qibo::FourCC("QBOA");
constexpr size_t kAnswerHead = 15;
constexpr size_t kMaxName = 255;
// Datagrams taken per poll: a flood waits in the socket, not in the frame.
constexpr int kMaxDatagramsPerPoll = 64;
// Without a LAN the broadcast cannot leave; the copies on this machine are
// still reached.
constexpr const char* kLoopbackBroadcast = "127.255.255.255";

ENetSocket OpenDatagramSocket() {
  ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
  if (socket == ENET_SOCKET_NULL) return socket;
  enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
  enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);
  return socket;
}

// One datagram, or 0 bytes when none is waiting (or it was not readable).
size_t ReceiveDatagram(ENetSocket socket, ENetAddress& from, uint8_t* buffer, size_t capacity, bool& more) {
  ENetBuffer target{buffer, capacity};
  const int got = enet_socket_receive(socket, &from, &target, 1);
  more = got != 0;  // -1: an error or a datagram too large; try the next
  return got > 0 ? static_cast<size_t>(got) : 0;
}

}  // namespace

bool DSessionFinder::IsQuery(const uint8_t* data, size_t size, uint32_t applicationId) {
  return data && size == kQuerySize && qibo::GetLE32(data) == kQueryTag &&
         qibo::GetLE32(data + 4) == applicationId;
}

std::vector<uint8_t> DSessionFinder::MakeAnswer(const Offer& offer) {
  const size_t nameLength = offer.name ? strnlen(offer.name, kMaxName) : 0;
  std::vector<uint8_t> answer;
  qibo::ByteWriter out(answer);
  out.U32(kAnswerTag);
  out.U32(offer.applicationId);
  out.U16(offer.port);
  out.U16(static_cast<uint16_t>(offer.copies));
  out.U16(static_cast<uint16_t>(offer.capacity));
  out.U8(static_cast<uint8_t>(nameLength));
  out.Bytes(offer.name, nameLength);
  return answer;
}

bool DSessionFinder::ReadAnswer(const uint8_t* data, size_t size, uint32_t applicationId, Session& session) {
  qibo::ByteReader in(data, size);
  if (in.U32() != kAnswerTag || in.U32() != applicationId) return false;
  const uint16_t port = in.U16();
  const uint16_t copies = in.U16();
  const uint16_t capacity = in.U16();
  const uint8_t nameLength = in.U8();
  const uint8_t* name = in.Bytes(nameLength);
  if (!in.Ok() || in.Left() != 0 || port == 0) return false;
  session.name.assign(reinterpret_cast<const char*>(name), nameLength);
  session.address.port = port;
  session.copies = copies;
  session.capacity = capacity;
  return true;
}

bool DSessionFinder::OpenSearchSocket() {
  if (m_search != ENET_SOCKET_NULL) return true;
  m_search = OpenDatagramSocket();
  if (m_search == ENET_SOCKET_NULL) return false;
  ENetAddress any{ENET_HOST_ANY, ENET_PORT_ANY};
  if (enet_socket_bind(m_search, &any) == 0) return true;
  enet_socket_destroy(m_search);
  m_search = ENET_SOCKET_NULL;
  return false;
}

bool DSessionFinder::SendQuery(const ENetAddress& to) {
  uint8_t query[kQuerySize];
  qibo::PutLE32(query, kQueryTag);
  qibo::PutLE32(query + 4, m_applicationId);
  ENetBuffer buffer{query, sizeof(query)};
  return enet_socket_send(m_search, &to, &buffer, 1) == static_cast<int>(sizeof(query));
}

bool DSessionFinder::Search(uint32_t applicationId, const std::vector<std::string>& broadcasts,
                            uint16_t discoveryPort) {
  m_sessions.clear();
  m_applicationId = applicationId;
  m_askedOne = false;
  if (!OpenSearchSocket()) return false;
  bool sent = false;
  for (const std::string& text : broadcasts) {
    ENetAddress to{0, discoveryPort};
    if (enet_address_set_host_ip(&to, text.c_str()) == 0 && SendQuery(to)) sent = true;
  }
  if (!sent) {
    ENetAddress to{0, discoveryPort};
    sent = enet_address_set_host_ip(&to, kLoopbackBroadcast) == 0 && SendQuery(to);
  }
  return sent;
}

bool DSessionFinder::Ask(uint32_t applicationId, const char* address, uint16_t defaultPort) {
  m_sessions.clear();
  m_askedOne = false;
  if (!address || !*address || !OpenSearchSocket()) return false;
  m_applicationId = applicationId;
  std::string host = address;
  uint16_t port = defaultPort;
  if (const size_t colon = host.rfind(':'); colon != std::string::npos) {
    char* end = nullptr;
    const long value = strtol(host.c_str() + colon + 1, &end, 10);
    if (!end || *end != '\0' || value < 1 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    host.resize(colon);
  }
  ENetAddress to{0, port};
  if (host.empty() || enet_address_set_host(&to, host.c_str()) != 0) return false;
  m_asked = to;
  m_askedOne = true;
  return SendQuery(to);
}

void DSessionFinder::Poll() {
  if (m_search == ENET_SOCKET_NULL) return;
  uint8_t buffer[kAnswerHead + kMaxName + 1];
  for (int i = 0; i < kMaxDatagramsPerPoll; ++i) {
    ENetAddress from{};
    bool more = false;
    const size_t size = ReceiveDatagram(m_search, from, buffer, sizeof(buffer), more);
    if (!more) break;
    if (m_askedOne && (from.host != m_asked.host || from.port != m_asked.port)) continue;
    Session session;
    if (!ReadAnswer(buffer, size, m_applicationId, session)) continue;
    session.address.host = from.host;
    bool known = false;
    for (Session& s : m_sessions) {
      if (s.address.host == session.address.host && s.address.port == session.address.port) {
        s = session;  // a newer answer from the same host
        known = true;
      }
    }
    if (!known && m_sessions.size() < kMaxSessions) m_sessions.push_back(std::move(session));
  }
}

bool DSessionFinder::Listen(uint16_t discoveryPort) {
  StopListening();
  m_listener = OpenDatagramSocket();
  if (m_listener == ENET_SOCKET_NULL) return false;
  // Every host on this machine hears the broadcasts.
  enet_socket_set_option(m_listener, ENET_SOCKOPT_REUSEADDR, 1);
  ENetAddress any{ENET_HOST_ANY, discoveryPort};
  if (enet_socket_bind(m_listener, &any) == 0) return true;
  StopListening();
  return false;
}

void DSessionFinder::Answer(const Offer& offer) {
  if (m_listener == ENET_SOCKET_NULL) return;
  std::vector<uint8_t> answer;
  uint8_t buffer[kQuerySize + 1];
  for (int i = 0; i < kMaxDatagramsPerPoll; ++i) {
    ENetAddress from{};
    bool more = false;
    const size_t size = ReceiveDatagram(m_listener, from, buffer, sizeof(buffer), more);
    if (!more) break;
    if (!IsQuery(buffer, size, offer.applicationId)) continue;
    if (answer.empty()) answer = MakeAnswer(offer);
    ENetBuffer reply{answer.data(), answer.size()};
    enet_socket_send(m_listener, &from, &reply, 1);
  }
}

void DSessionFinder::StopListening() {
  if (m_listener != ENET_SOCKET_NULL) enet_socket_destroy(m_listener);
  m_listener = ENET_SOCKET_NULL;
}

void DSessionFinder::Close() {
  StopListening();
  if (m_search != ENET_SOCKET_NULL) enet_socket_destroy(m_search);
  m_search = ENET_SOCKET_NULL;
  m_sessions.clear();
}
