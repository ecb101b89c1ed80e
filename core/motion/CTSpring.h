#pragma once

#include <cstdint>

#include "core/motion/base/CTController.h"
#include "core/object/CTBasicPtr.h"
#include "core/object/DSetterBinding.h"
#include "core/object/Ref.h"
#include "core/scene/math/Vector3.h"

class CTDynaController;
class CTEntity;
class CTMotionSensor;

// How a spring acts.
enum SpringType_t : int32_t {
  kSpringBothWays = 0,
  kSpringTension = 1,      // only when stretched: pulls, like a rope
  kSpringCompression = 2,  // only when compressed: pushes
};

// A spring from a point on one entity (end 1) to a point on another (end
// 2). On every physics step it pushes the two bodies (their dynamics
// controllers) with equal and opposite impulses: F dt along the direction
// from end 2 to end 1, F = -C (L - Length) for the distance L of the ends;
// a damping impulse -dt B v for the relative velocity v of the two points
// (the whole vector, not its part along the spring); an optional cap on F
// (its positive side only); tension or compression only; and an optional
// safe direction: with it, ends that passed through each other (their
// difference against it) count as a spring turned over (L < 0) rather than
// one that flipped. Ends closer than 1e-5 keep the last direction and act
// as for L = 0. An end whose entity has no dynamics gets nothing; the
// other still does. Vector arithmetic is in single precision, the
// scalars in double.
//
// A spring is a controller: enabled, it registers with the physics
// service, which calls ApplyImpulse in its steps; it can also be stepped by
// hand. Ends are held by safe pointers: a deleted entity leaves its end
// empty and the spring idle. A spring whose two ends are one entity, or
// whose ends are not finitely placed, is skipped with one warning.
class CTSpring : public CTController {
  QIBO_CLASS(CTSpring)

 public:
  // int type, int flags (1 Use_C, 2 Use_B, 4 max impulse, 8 safe
  // direction), double C, B, Length, MaxImpulse, vector point 1, point 2,
  // safe direction, ref entity 1, ref entity 2
  static constexpr uint32_t kChunkID = 0x3FAEA58F;

  explicit CTSpring(const char* name = nullptr);
  ~CTSpring() override;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  // Each end: the entity and the attachment point in its local
  // coordinates. The cached direction becomes (0, 1, 0). Null empties it.
  void SetEntity1(CTEntity* e, const Vector3& point);
  void SetEntity2(CTEntity* e, const Vector3& point);
  void SetEntities(CTEntity* e1, const Vector3& p1, CTEntity* e2, const Vector3& p2);
  CTEntity* GetEntity1() const { return m_entity1.Get(); }
  CTEntity* GetEntity2() const { return m_entity2.Get(); }

  // Rest length; C, B: a value below 1e-5 in size switches the term off.
  // Values that are not finite are refused (warning).
  bool SetLength(const double& length);
  bool SetC(const double& c);
  bool SetB(const double& b);
  void SetType(SpringType_t type);
  bool SetMaxImpulse(const double& max);
  void NoMaxImpulse() { m_maxImpulseOn = false; }
  bool SetSafeDirection(const Vector3& direction);
  void NoSafeDirection() { m_safeDirectionOn = false; }

  double GetLength() const { return m_length; }
  double GetC() const { return m_c; }
  double GetB() const { return m_b; }
  bool UsesC() const { return m_useC; }
  bool UsesB() const { return m_useB; }
  SpringType_t GetType() const { return static_cast<SpringType_t>(m_type); }
  const Vector3& GetDirection() const { return m_direction; }

  // One step of dt seconds.
  void ApplyImpulse(double dt);

 protected:
  bool DoEnable() override;
  void DoDisable() override;
  bool DoRegisterWithService() override;
  bool DoUnregisterWithService() override;

 private:
  // The end's dynamics: its entity's controller when that is one. Looked
  // up on every step (a type test), so a controller that went leaves no
  // stale pointer behind.
  static CTDynaController* Dynamics(CTEntity* entity);
  void Push(const Vector3& impulse, const Vector3& at1, const Vector3& at2);
  // A refused setting: a warning each time. A step that cannot run: one.
  void Refuse(const char* what);
  void WarnOnce(const char* text);

  Vector3 m_direction{0.0f, 1.0f, 0.0f};
  Vector3 m_safeDirection;
  bool m_useC = false;
  bool m_useB = false;
  bool m_maxImpulseOn = false;
  bool m_safeDirectionOn = false;
  int32_t m_type = kSpringBothWays;
  Vector3 m_point1, m_point2;
  double m_c = 0.0;
  double m_b = 0.0;
  double m_length = 0.0;
  double m_maxImpulse = 0.0;
  SmartPtr<CTEntity> m_entity1, m_entity2;
  Ref<CTMotionSensor> m_sensor1, m_sensor2;
  // What refused property writes fall back to.
  qibo::DSetterBinding<double> m_cBinding{0.0}, m_bBinding{0.0}, m_lengthBinding{0.0};
  bool m_warned = false;  // a step could not run
};
