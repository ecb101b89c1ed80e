#pragma once

#include <cstdint>

#include "core/object/CTStreamed.h"
#include "core/object/ObjectServices.h"
#include "core/object/ShortText.h"

namespace qibo {
template <class T>
UpdateFn AsUpdate(void (T::*fn)(int32_t)) {
  return static_cast<UpdateFn>(fn);
}
}  // namespace qibo

// Message 257 renames an object: the data is the new NUL-terminated name.
constexpr int kMsgRename = 257;

// An object with a name, a registration with the service responsible for its
// kind, the frame in which it last changed, and messages and timed updates
// delivered through the message manager.
class CTNamed : public CTStreamed {
  QIBO_CLASS(CTNamed)

 public:
  static constexpr uint32_t kChunkID = 0x3F060351;  // name and registered flag
  static constexpr uint32_t kStreamNamed = 2;       // level-of-detail bit that writes it

  explicit CTNamed(const char* name = nullptr);
  CTNamed(const CTNamed& other);
  CTNamed& operator=(const CTNamed& other);
  ~CTNamed() override;

  void Delete() override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  virtual bool DoRegisterWithService() { return false; }
  virtual bool DoUnregisterWithService() { return false; }
  // Marks the object as changed in the current frame.
  virtual void Invalidate();
  virtual void OnMessage(int message, void* data);

  // At most 255 characters; valid until the next SetName.
  const char* GetName() const { return m_name.c_str(); }
  void SetName(const char* name);

  uint32_t LastChange() const { return m_lastChange; }
  // Whether the last change is later than frame; frame counters may wrap.
  bool HasChangedSince(uint32_t frame) const { return static_cast<int32_t>(frame - m_lastChange) < 0; }

  bool IsRegistered() const { return m_registered; }
  bool RegisterWithService();
  bool UnregisterWithService();

  // Queue work in the message manager; nothing happens while it is not
  // running. count: 1 once, n times, -1 until removed.
  void AddUpdate(UpdateFn fn, int32_t period, int count);
  void RemoveUpdate(UpdateFn fn);
  void AddMsg(int message, void* data, int32_t delay);
  void AddInfMsg(int message, void* data, int32_t period);
  void RemoveInfMsg(int message);

 protected:
  void BroadcastMessage(int message, int32_t argument);
  void BroadcastData(int message, void* data, int size);

 private:
  bool m_registered = false;
  uint32_t m_lastChange = 0;
  // Short names (most are) live inside the object; every object of the
  // scene carries one, so a fixed 256-byte buffer would triple its size.
  qibo::ShortText m_name;
};
