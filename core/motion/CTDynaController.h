#pragma once

#include <cstdint>
#include <vector>

#include "core/motion/base/CTEntityController.h"
#include "core/motion/base/MotionInfo.h"
#include "core/object/CTBasicPtr.h"
#include "core/object/ClassId.h"
#include "core/object/DSetterBinding.h"

class CTEnvironment;

// A rigid body: the small dynamics the engine adds to its controllers.
//
// The body is the controlled entity. Its origin is the centre of mass and
// its collision volume, if it has one, its shape. The body has a mass and,
// in its motion record (which the entity's motion sensor reports), a
// velocity and an angular velocity in world coordinates (m/s, rad/s); it
// takes impulses (N s) at world points. Enabled, it registers with the
// physics service, which in every frame, in steps of at most its
// "MaxStep":
//  - reads gravity, wind and the medium's density from the environment at
//    the body's position (CTEngineManager::FindEnvironment);
//  - adds gravity, buoyancy (density x the volume of the collision volume)
//    and drag (1/2 density |u| u times the volume's cross-section across
//    the flow u = velocity - wind, from its CW matrix, taken implicitly so
//    that it never turns the flow round);
//  - lets the springs push;
//  - answers the contacts of the frame (DContactSolver: restitution and
//    friction, then the body is moved out of what it touched);
//  - moves and turns the entity (semi-implicit Euler; a parent's placement
//    is taken into account).
// Inertia: a sphere's about its centre; for any other volume that of the
// solid box its extents span; without a volume that of a ball of radius
// 0.5 m. The entity's own scaling is ignored by inertia and volume.
//
// While enabled the body asks the collision service to be told of its
// entity's collisions (flag 0x1); each entity it touched in a frame is
// answered in that frame's physics step.
//
// Bad input is refused with a warning: a mass that is not positive and
// finite, a restitution outside 0..1, a friction that is negative, vectors
// that are not finite. A body whose entity is not finitely placed is
// skipped (one warning) until it is again.
class CTDynaController : public CTEntityController {
  QIBO_CLASS(CTDynaController)

 public:
  // double mass, float restitution, float friction, vector velocity,
  // vector angular velocity
  static constexpr uint32_t kChunkID = qibo::ClassId("CTDynaController");
  static constexpr double kDefaultMass = 1.0;         // kg
  static constexpr float kDefaultRestitution = 0.3f;  // share of the speed kept in a bounce
  static constexpr float kDefaultFriction = 0.5f;     // Coulomb coefficient

  explicit CTDynaController(const char* name = nullptr) : CTEntityController(name) {}
  ~CTDynaController() override;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void WriteToStream(Stream* stream, uint32_t flags) override;
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override;

  MotionInfo_t* GetMotionInfoSource() override { return &m_motion; }
  uint32_t GetCollisionReports() const override;
  // Notes the other entity for this frame's contact answer, then acts as
  // the collision action says.
  void OnCollision(CTEntity* other, Vector3* point, Vector3* normal) override;

  bool SetMass(double mass);
  double GetMass() const { return m_mass; }
  double GetInverseMass() const { return 1.0 / m_mass; }
  bool SetRestitution(float restitution);
  float GetRestitution() const { return m_restitution; }
  bool SetFriction(float friction);
  float GetFriction() const { return m_friction; }
  bool SetVelocity(const Vector3& v);
  const Vector3& GetVelocity() const { return m_motion.velocity; }
  bool SetAngularVelocity(const Vector3& w);
  const Vector3& GetAngularVelocity() const { return m_motion.angularVelocity; }

  // An impulse at a world point changes both velocities; a central one only
  // the velocity. Not finite: ignored (one warning).
  void ApplyImpulse(const Vector3& impulse, const Vector3& point);
  void ApplyCentralImpulse(const Vector3& impulse);
  // The inverse inertia applied to a world vector, for the body's
  // orientation at the last step.
  Vector3 ApplyInverseInertia(const Vector3& v) const;
  // The centre of mass (the entity's world position) at the last step.
  const Vector3& GetCentre() const { return m_centre; }

  // ---- One frame of the physics service ----
  // Reads the body's surroundings and shape; false when it is to be
  // skipped this frame (no entity, or not finitely placed).
  bool BeginStep(const CTEnvironment* environment);
  // Gravity, buoyancy and drag over h seconds.
  void ApplyForces(double h);
  // Moves and turns the entity by its velocities over h seconds.
  void Integrate(double h);
  // Moves the entity by a world-space offset (contacts push it out).
  void Translate(const Vector3& offset);
  // The entities touched this frame; the service empties the list.
  const std::vector<SmartPtr<CTEntity>>& GetContacts() const { return m_contacts; }
  void ClearContacts() { m_contacts.clear(); }

 protected:
  // Needs an entity; registers with the physics service.
  bool DoEnable() override;
  void DoDisable() override;
  bool DoRegisterWithService() override;
  bool DoUnregisterWithService() override;

 private:
  bool SetPart(Vector3& part, const Vector3& v, const char* what);
  // Asks for (or stops) the contact reports of the entity it is bound to.
  void RequestContacts(bool on);
  void MeasureShape();
  void ReadPlacement();
  void WarnOnce(bool& given, const char* text);

  MotionInfo_t m_motion;
  double m_mass = kDefaultMass;
  float m_restitution = kDefaultRestitution;
  float m_friction = kDefaultFriction;
  // What refused property writes fall back to.
  qibo::DSetterBinding<double> m_massBinding{kDefaultMass};
  qibo::DSetterBinding<float> m_restitutionBinding{kDefaultRestitution};
  qibo::DSetterBinding<float> m_frictionBinding{kDefaultFriction};

  // Read at the start of each frame.
  Vector3 m_gravity;
  Vector3 m_wind;
  float m_density = 0.0f;
  double m_volume = 0.0;
  Vector3 m_crossSection;    // the CW matrix's diagonal, body axes
  Vector3 m_inverseInertia;  // diagonal, body axes
  Matrix33 m_rotation;       // body axes in world coordinates (rows)
  Vector3 m_centre;

  std::vector<SmartPtr<CTEntity>> m_contacts;
  SmartPtr<CTEntity> m_reporting;  // the entity whose contacts were asked for
  bool m_warnedInput = false;      // refused impulses: one warning
  bool m_warnedPlacement = false;  // skipped steps: one warning
};
