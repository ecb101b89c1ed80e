#pragma once

#include "core/scene/CTEntity.h"

// A perspective view: field of view in degrees, near and far clipping
// distances. Viewports look through cameras; every change clears flag 0x1
// ("derived data up to date") so that they rebuild their frustum.
class CTCamera : public CTEntity {
  QIBO_CLASS(CTCamera)

 public:
  static constexpr uint32_t kChunkID = 0x6F8C5FE3;  // int flags, float fov, [float near], [float far]
  static constexpr uint32_t kDerivedValid = 0x1;
  static constexpr uint32_t kNearClip = 0x10;
  static constexpr uint32_t kFarClip = 0x20;

  explicit CTCamera(const char* name = "Entity") : CTEntity(name) {}
  CTCamera(const char* name, CTGroup* parent) : CTEntity(name) { SetParent(parent); }

  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Setters take a value only when it differs by at least 1e-5.
  void SetFOV(float degrees);
  float GetFOV() const { return m_fov; }
  // z > 1 narrows the view: fov = 2 atan(tan(fov / 2) / z).
  void ZoomBy(float z);
  // From a lens and film size in millimetres: fov = 2 atan(film / 2 / focal).
  void ChangeMM(float focalLength, float filmSize);
  // Setting one distance turns its clipping on, and turns the other off when
  // the pair would clip an empty range: the last distance set wins.
  void SetNearDist(float distance);
  float GetNearDist() const { return m_near; }
  void UseNearClip(bool on);
  bool HasNearClip() const { return (m_cameraFlags & kNearClip) != 0; }
  void SetFarDist(float distance);
  float GetFarDist() const { return m_far; }
  void UseFarClip(bool on);
  bool HasFarClip() const { return (m_cameraFlags & kFarClip) != 0; }

  uint32_t GetCameraFlags() const { return m_cameraFlags; }
  // Set by a viewport once it has rebuilt what depends on the camera.
  void SetDerivedValid() { m_cameraFlags |= kDerivedValid; }

 protected:
  CTCamera(const CTCamera& other) = default;
  CTEntity* Clone() const override { return new CTCamera(*this); }

 private:
  void Changed() { m_cameraFlags &= ~kDerivedValid; }

  float m_fov = 60.0f;
  uint32_t m_cameraFlags = kNearClip | kFarClip;
  float m_near = 0.1f;
  float m_far = 1000.0f;
};
