#include "core/devices/DefNetworkManager.h"

#include <pwd.h>
#include <unistd.h>

#include <cstring>

#include "core/devices/CTDeviceManager.h"
#include "core/devices/NetworkApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/ByteIO.h"
#include "core/object/CTStreamed.h"

QIBO_IMPLEMENT_CLASS(DefNetworkManager, CTNetworkManager, .desc = "Network manager", .product = "qiBO DefMgr")

namespace {

constexpr size_t kBatchHeader = 8;  // code, record count

}  // namespace

DefNetworkManager::DefNetworkManager() : m_stream(std::make_unique<NetworkStream>()) {
  m_stream->SetLevelOfDetail(kStreamLevel);
  ResetBatch(m_messageBatch, kMessages);
  ResetBatch(m_dataBatch, kData);
  // The names others see: this user on this computer, when they can be read.
  if (const passwd* user = getpwuid(geteuid()); user && user->pw_name && *user->pw_name)
    m_clientName = user->pw_name;
  char host[256] = {};
  if (gethostname(host, sizeof(host) - 1) == 0 && host[0]) m_sessionName = host;
}

DefNetworkManager::~DefNetworkManager() {
  // Normally emptied by DoStop; a manager that never stopped lets go of its
  // copies here, while it is still whole.
  while (m_table.Count() > 0) m_table.Remove(m_table.At(m_table.Count() - 1), false);
}

void DefNetworkManager::DoAddProperties() {
  CTNetworkManager::DoAddProperties();
  const ClassDesc* owner = DefNetworkManager::_CD();
  AddProperty(DProperty(m_clientName, "ClientName"), owner);
  AddProperty(DProperty(m_sessionName, "SessionName"), owner);
  AddPropertyRO(DProperty(m_hosting, "HostingNetworkGame"), owner);
  AddPropertyRO(DProperty(m_networkGame, "NetworkGame"), owner);
  AddPropertyRO(DProperty(qibo::AsDWord(m_nextNetId), "NextNetID"), owner);
  AddPropertyRO(DProperty(m_clientId, "ClientID"), owner);
}

bool DefNetworkManager::DoStart() {
  m_nextNetId = kFirstNetId;
  m_clientId = kNoClient;
  m_clients.Clear();
  ResetOutgoing();
  return true;
}

bool DefNetworkManager::DoStop() {
  // Every object loses its network ID, last entered first; copies received
  // from peers go with it.
  while (m_table.Count() > 0) {
    const int before = m_table.Count();
    CTStreamed* last = m_table.At(before - 1);
    last->ResetNetID();
    if (m_table.Count() == before) m_table.Remove(last, false);  // not reachable through the services
  }
  if (m_networkGame) CloseSession();
  m_clients.Clear();
  m_device.Reset();
  return true;
}

// ---------------------------------------------------------------------------
// Network IDs and the object table

uint32_t DefNetworkManager::RequestNetworkID() {
  const uint32_t id = m_nextNetId << 8 | static_cast<uint32_t>(m_clientId & 0xFF);
  // 24 bits of counter; a wrapped counter starts again where a session does
  // (and never makes 0 or the "ask for an ID" value 0xFFFFFFFF).
  m_nextNetId = m_nextNetId + 1 >= 0xFFFFFFu ? kFirstNetId : m_nextNetId + 1;
  return id;
}

uint32_t DefNetworkManager::AddNetworkObject(CTStreamed* object) {
  if (!object) return 0;
  m_table.Add(object);
  return object->GetNetID();
}

// ---------------------------------------------------------------------------
// Sessions

CTNetwork* DefNetworkManager::ObtainDevice() {
  if (!m_device) {
    auto* devices = qibo::GetService<CTDeviceManager>();
    if (devices && devices->IsStarted())
      m_device = qibo::Cast<CTNetwork>(devices->GetDevice(CTNetwork::_CD()->ID(), -1, false));
  }
  if (!m_device) ErrorMsg("No networking device available");
  return m_device.Get();
}

CTNetwork* DefNetworkManager::GetNetworkDevice() {
  CTNetwork* device = ObtainDevice();
  if (device && !device->IsStarted() && !device->Start()) return nullptr;
  return device;
}

void DefNetworkManager::BeginSession(bool hosting) {
  m_hosting = hosting;
  m_networkGame = true;
  SetMasterCopy(hosting);
  m_peers.clear();
  m_windowElapsed = 0;
  if (!m_updating) AddUpdate(qibo::AsUpdate(&DefNetworkManager::Update), 0, -1);
  m_updating = true;
}

bool DefNetworkManager::HostSession(int argument) {
  // Hosting anew leaves the session this copy is in.
  if (m_networkGame) CloseSession();
  m_hosting = m_networkGame = m_pending = false;
  CTNetwork* device = GetNetworkDevice();
  if (!device || !device->HostSession(kApplicationId, m_sessionName.c_str(), argument)) return false;
  // The host is client 0 from the start, so the first joiner gets 1 and no
  // two copies make the same IDs.
  m_clientId = 0;
  m_clients.Clear();
  m_clients.Add({0, device->GetHostPeer()});
  BeginSession(true);
  return true;
}

bool DefNetworkManager::JoinSession(int index) {
  if (m_networkGame) CloseSession();
  m_hosting = m_networkGame = m_pending = false;
  CTNetwork* device = GetNetworkDevice();
  if (!device || !device->JoinSession(index)) return false;
  // The host tells us our client ID.
  m_clientId = kNoClient;
  m_clients.Clear();
  BeginSession(false);
  uint8_t ask[4];
  qibo::PutLE32(ask, kSendEverything);
  device->SendToHost(ask, sizeof(ask));
  return true;
}

bool DefNetworkManager::CloseSession() {
  if (m_updating) RemoveUpdate(qibo::AsUpdate(&DefNetworkManager::Update));
  m_updating = false;
  if (m_device) {
    m_device->CloseSession();
    m_device.Reset();
  }
  m_nextNetId = kFirstNetId;
  m_clientId = kNoClient;
  m_clients.Clear();
  m_peers.clear();
  SetMasterCopy(true);
  m_hosting = m_networkGame = false;
  // What was queued for this session is not sent to the next.
  ResetOutgoing();
  return true;
}

int DefNetworkManager::EnumSessions() {
  CTNetwork* device = GetNetworkDevice();
  return device ? device->EnumSessions(kApplicationId) : 0;
}

int DefNetworkManager::GetSessionCount() { return m_device ? m_device->GetSessionCount() : 0; }

bool DefNetworkManager::GetSessionInfo(int index, char* name, int* count1, int* count2) {
  if (!m_device || index < 0 || index >= m_device->GetSessionCount()) return false;
  if (name) {
    const QIBO_String text = m_device->GetSessionName(index);
    memcpy(name, text.c_str(), strlen(text.c_str()) + 1);
  }
  const int first = m_device->GetSessionCount1(index);
  if (count1) *count1 = first;
  if (count2) *count2 = m_device->GetSessionCount2(index);
  return first > 0;
}

// ---------------------------------------------------------------------------
// Outgoing batches and the stream

void DefNetworkManager::ResetBatch(std::vector<uint8_t>& batch, uint32_t code) {
  batch.assign(kBatchHeader, 0);
  qibo::PutLE32(batch.data(), code);
}

void DefNetworkManager::ResetOutgoing() {
  ResetBatch(m_messageBatch, kMessages);
  ResetBatch(m_dataBatch, kData);
  // A fresh stream lets go of the objects the last one wrote.
  m_stream = std::make_unique<NetworkStream>();
  m_stream->SetLevelOfDetail(kStreamLevel);
  m_streamCount = 0;
}

bool DefNetworkManager::SendAll(const void* data, size_t size) {
  if (!m_device) return false;
  if (m_device->SendToAll(data, static_cast<int>(size))) return true;
  return ErrorMsgF("A network packet of %zu bytes could not be sent", size);
}

void DefNetworkManager::FlushBatch(std::vector<uint8_t>& batch, uint32_t code) {
  if (batch.size() <= kBatchHeader) return;
  SendAll(batch.data(), batch.size());
  ResetBatch(batch, code);
}

void DefNetworkManager::FlushStream() {
  if (m_streamCount <= 0) return;
  m_stream->CloseStream();
  SendAll(m_stream->GetData(), m_stream->GetPos());
  m_streamCount = 0;
}

void DefNetworkManager::Flush() {
  FlushBatch(m_messageBatch, kMessages);
  FlushBatch(m_dataBatch, kData);
  FlushStream();
}

bool DefNetworkManager::SendNetworkMessage(uint32_t id, int message, int32_t value) {
  if (!m_networkGame) return true;  // nobody to send to
  if (m_messageBatch.size() + 12 > kSplitSize) FlushBatch(m_messageBatch, kMessages);
  qibo::ByteWriter out(m_messageBatch);
  out.U32(id);
  out.I32(message);
  out.I32(value);
  qibo::PutLE32(m_messageBatch.data() + 4, qibo::GetLE32(m_messageBatch.data() + 4) + 1);
  return true;
}

bool DefNetworkManager::SendNetworkData(uint32_t id, int message, void* data, int size) {
  if (size < 1) return true;
  if (!data) return ErrorMsg("Network data without bytes");
  if (size > kMaxPacketSize - 20) return ErrorMsgF("Network data of %d bytes is too large to send", size);
  if (!m_networkGame) return true;
  if (m_dataBatch.size() + 12 + static_cast<size_t>(size) > kSplitSize) FlushBatch(m_dataBatch, kData);
  qibo::ByteWriter out(m_dataBatch);
  out.U32(id);
  out.I32(message);
  out.I32(size);
  out.Bytes(data, static_cast<size_t>(size));
  qibo::PutLE32(m_dataBatch.data() + 4, qibo::GetLE32(m_dataBatch.data() + 4) + 1);
  return true;
}

bool DefNetworkManager::SendNetworkStream(CTStreamed* object, uint32_t) {
  if (!m_networkGame || !object) return true;
  // Objects go whole into a packet; a packet that has grown large goes out
  // now (references to its objects are written anew in the next).
  if (m_streamCount > 0 && m_stream->GetPos() >= static_cast<uint32_t>(kSplitSize)) FlushStream();
  if (m_streamCount == 0) m_stream->CreateStream();
  m_stream->WriteObject(object);
  ++m_streamCount;
  return true;
}

// ---------------------------------------------------------------------------
// The frame

void DefNetworkManager::Update(int32_t elapsed) {
  // The copies received here enter this manager's table.
  qibo::NetworkScope scope(this);
  AgeRecords(elapsed);
  Flush();
  ReceiveAll();
}
