#pragma once

#include <cstdint>

#include "core/motion/CTQuatTrack.h"
#include "core/motion/CTVectorTrack.h"
#include "core/motion/base/CTEntityController.h"
#include "core/object/Ref.h"

// Moves its entity along a position track and a rotation track by its own
// local time, which starts at 0 and advances by the elapsed time of each
// update (one per tick while enabled). The first update applies time 0.
// A track without keys leaves its part of the entity's placement alone.
// The controller makes both tracks and holds them (counted references);
// callers key them through GetPositionTrack / GetRotationTrack.
class CTKeyFrameController : public CTEntityController {
  QIBO_CLASS(CTKeyFrameController)

 public:
  static constexpr uint32_t kChunkID = 0x3A7D18AC;  // int local time, ref position, ref rotation track

  explicit CTKeyFrameController(const char* name = nullptr);

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // The local time goes back to 0.
  void Reset() override { m_localTime = 0; }

  CTVectorTrack* GetPositionTrack() const { return m_position.Get(); }
  CTQuatTrack* GetRotationTrack() const { return m_rotation.Get(); }
  // Null removes the track.
  void SetPositionTrack(CTVectorTrack* track) { m_position = Ref<CTVectorTrack>(track); }
  void SetRotationTrack(CTQuatTrack* track) { m_rotation = Ref<CTQuatTrack>(track); }
  int32_t GetLocalTime() const { return m_localTime; }

  // The timed update: applies the tracks at the local time, then advances it.
  void Update(int32_t elapsed);

 protected:
  // Needs an entity and at least one track.
  bool DoEnable() override;
  void DoDisable() override;

 private:
  int32_t m_localTime = 0;
  Ref<CTVectorTrack> m_position;
  Ref<CTQuatTrack> m_rotation;
};
