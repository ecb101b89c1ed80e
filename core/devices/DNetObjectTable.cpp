#include "core/devices/DNetObjectTable.h"

#include <algorithm>

#include "core/object/CTStreamed.h"

DNetObjectTable::~DNetObjectTable() {
  while (!m_list.Empty()) Remove(m_list.Back(), false);
}

void DNetObjectTable::Add(CTStreamed* object) {
  if (!object || object->GetNetID() == 0 || Contains(object)) return;
  const uint32_t id = object->GetNetID();
  BucketOf(id).Add({id, object});
  m_list.Add(object);
}

CTStreamed* DNetObjectTable::Find(uint32_t id) const {
  for (const Entry& entry : BucketOf(id))
    if (entry.id == id) return entry.object;
  return nullptr;
}

uint32_t DNetObjectTable::IdOf(const CTStreamed* object) const {
  // The object's own ID names its bucket while it is in the table.
  const uint32_t id = object->GetNetID();
  for (const Entry& entry : BucketOf(id))
    if (entry.object == object) return id;
  return 0;
}

bool DNetObjectTable::Contains(const CTStreamed* object) const { return object && IdOf(object) != 0; }

void DNetObjectTable::Remove(CTStreamed* object, bool dying) {
  if (!object) return;
  const uint32_t id = object->GetNetID();
  Bucket& bucket = BucketOf(id);
  const auto entry =
      std::find_if(bucket.begin(), bucket.end(), [&](const Entry& e) { return e.object == object; });
  if (entry == bucket.end()) return;
  bucket.RemoveAt(static_cast<size_t>(entry - bucket.begin()));
  if (bucket.Empty()) bucket.Clear();
  if (const int i = m_list.LastIndexOf(object); i >= 0) m_list.RemoveAt(static_cast<size_t>(i));

  const auto adopted = m_adopted.find(object);
  if (adopted == m_adopted.end()) return;
  if (--m_adoptedPerPeer[adopted->second] <= 0) m_adoptedPerPeer.erase(adopted->second);
  m_adopted.erase(adopted);
  if (!dying) object->RemoveRef(nullptr);
}

void DNetObjectTable::Adopt(CTStreamed* object, int peer) {
  if (!Contains(object) || !m_adopted.emplace(object, peer).second) return;
  ++m_adoptedPerPeer[peer];
  object->AddRef(nullptr);
}

int DNetObjectTable::AdoptedFrom(int peer) const {
  const auto it = m_adoptedPerPeer.find(peer);
  return it == m_adoptedPerPeer.end() ? 0 : it->second;
}
