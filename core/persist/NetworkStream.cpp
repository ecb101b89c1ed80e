#include "core/persist/NetworkStream.h"

#include <cstring>
#include <limits>

#include "core/kernel/ClassApi.h"
#include "core/kernel/Logging.h"
#include "core/object/CTStreamed.h"
#include "core/object/ObjectServices.h"

namespace {

// Positions and chunk lengths are 32-bit signed values.
constexpr uint32_t kMaxBuffer = std::numeric_limits<int32_t>::max();

}  // namespace

NetworkStream::~NetworkStream() {
  if (IsWriting()) CloseStream();
}

bool NetworkStream::CreateStream() {
  if (!IsIdle()) return false;
  m_buffer.clear();
  m_pos = 0;
  return StartStream();
}

bool NetworkStream::CloseStream() {
  if (!IsWriting()) return false;
  EndStream();
  return true;
}

bool NetworkStream::ReadSendDataTo(const void* data, int size, CTStreamed* target) {
  if (!IsIdle() || !data || size < 0) return false;
  m_readData = static_cast<const uint8_t*>(data);
  m_readSize = static_cast<uint32_t>(size);
  const uint32_t writePos = m_pos;
  m_pos = 0;
  const bool ok = Process(target, m_readSize);
  m_readData = nullptr;
  m_readSize = 0;
  m_pos = writePos;
  return ok;
}

// Object header: 0 int class ID, 4 int network ID.
void NetworkStream::WriteObjectChunkHeader(CTStreamed* object) {
  WriteInt(static_cast<int32_t>(object->GetCD()->ID()));
  WriteInt(static_cast<int32_t>(object->GetNetID()));
}

bool NetworkStream::ReadFrom(const void* data, int size, Receiver* receiver) {
  m_receiver = receiver;
  const bool ok = ReadSendDataTo(data, size, nullptr);
  m_receiver = nullptr;
  return ok;
}

void NetworkStream::OnReadWarning(const char* text) {
  if (m_receiver)
    m_receiver->Warn(text);
  else
    QIBO_Stream::OnReadWarning(text);
}

Ref<CTStreamed> NetworkStream::ProcessObjectChunkHeader() {
  const uint32_t classId = static_cast<uint32_t>(ReadInt());
  const uint32_t netId = static_cast<uint32_t>(ReadInt());
  if (ReadFailed()) return Ref<CTStreamed>();
  CTStreamed* known = netId != 0 ? qibo::Services().FindNetworkObject(netId) : nullptr;
  if (m_receiver) {
    switch (m_receiver->Admit(classId, netId, known != nullptr)) {
      case Receiver::Verdict::kRead:
        break;
      case Receiver::Verdict::kSkip:
        return Ref<CTStreamed>();
      case Receiver::Verdict::kRefuse:
        AbortRead();
        return Ref<CTStreamed>();
    }
    // A peer's packet neither makes nor changes an object of a class that
    // may not travel; the rest of it is not read.
    const ClassDesc* cd = known ? known->GetCD() : qiBO_FindClassDesc(classId);
    if (cd && !cd->SafeToReceive()) {
      m_receiver->Refused(*cd);
      AbortRead();
      return Ref<CTStreamed>();
    }
  }
  if (known) {
    if (known->GetCD()->CheckGroupID(classId)) return Ref<CTStreamed>(known);
    ReadWarning("Network object %u is not of class 0x%08X", netId, classId);
    return Ref<CTStreamed>();
  }
  Ref<CTStreamed> object = CreateOrLoad(classId, nullptr);
  if (!object || netId == 0) return object;
  // Read outside a session the copy goes with the stream like any other
  // object; a receiver keeps it (the table holds it).
  object->SetNetID(netId);
  if (m_receiver && object->GetNetID() == netId) m_receiver->Adopt(object.Get());
  return object;
}

void NetworkStream::ReadBlock(void* data, int size) { ReadFromBuffer(m_readData, m_pos, data, size); }

void NetworkStream::WriteBlock(const void* data, int size) {
  if (!IsWriting() || !data || size <= 0) return;
  if (static_cast<uint32_t>(size) > kMaxBuffer - m_pos) return;
  const size_t end = static_cast<size_t>(m_pos) + static_cast<size_t>(size);
  if (end > m_buffer.size()) {
    if (end > m_buffer.capacity())
      m_buffer.reserve(end < 2 * m_buffer.capacity() ? 2 * m_buffer.capacity() : end);
    m_buffer.resize(end);
  }
  memcpy(m_buffer.data() + m_pos, data, static_cast<size_t>(size));
  m_pos = static_cast<uint32_t>(end);
}

void NetworkStream::SeekBy(int n) { SeekInBuffer(m_pos, n, static_cast<uint32_t>(m_buffer.size())); }
