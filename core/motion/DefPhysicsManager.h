#pragma once

#include <cstdint>
#include <vector>

#include "core/motion/CTPhysicsManager.h"
#include "core/object/DSetterBinding.h"
#include "core/object/Ref.h"
#include "core/object/StepArray.h"

class CTEntity;
class CTEnvironment;

// The default physics service. Each frame's step (Step, the frame length
// in milliseconds) is cut into equal steps of at most "MaxStep" seconds
// (double, 0.01; at most 100 of them). For each body the environment at
// its position is read once a frame (the engine's, else a default
// "Earth" of the service's own); then every step adds the bodies' forces,
// lets every spring push, answers the contacts the collision pass
// reported ("SolverIterations", int, 8, passes over each contact's
// points) and moves the bodies. A contact between two bodies is answered
// once, by the first registered of the two.
//
// Bodies and springs are held by named references: one that is deleted
// leaves the lists by itself.
class DefPhysicsManager : public CTPhysicsManager {
  QIBO_CLASS(DefPhysicsManager)

 public:
  static constexpr int kMaxSteps = 100;

  DefPhysicsManager() = default;
  ~DefPhysicsManager() override;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void OnDelete(CTReferenced* dying) override;

  void Step(int32_t ms) override;
  void AddSpring(CTSpring* spring) override;
  void RemoveSpring(CTSpring* spring) override;
  void AddBody(CTDynaController* body) override;
  void RemoveBody(CTDynaController* body) override;

  int GetBodyCount() const { return m_bodies.Count(); }
  int GetSpringCount() const { return m_springs.Count(); }
  double GetMaxStep() const { return m_maxStep; }
  // Seconds, more than 0 and finite; others are refused (warning).
  bool SetMaxStep(double seconds);
  int GetSolverIterations() const { return m_iterations; }

 protected:
  bool DoStop() override;

 private:
  struct ContactPair {
    CTDynaController* body;
    CTEntity* other;
    CTDynaController* otherBody;  // null: other is fixed
  };

  const CTEnvironment* EnvironmentAt(const CTDynaController& body);
  void GatherContacts();
  void Release();

  double m_maxStep = 0.01;
  qibo::DSetterBinding<double> m_maxStepBinding{0.01};  // refused writes fall back
  int32_t m_iterations = 8;
  qibo::StepArray<CTDynaController*> m_bodies;  // named references
  qibo::StepArray<CTSpring*> m_springs;         // named references
  std::vector<CTDynaController*> m_active;      // this frame's bodies
  std::vector<ContactPair> m_contacts;          // this frame's contacts
  Ref<CTEnvironment> m_defaultEnvironment;      // used without a running engine
};
