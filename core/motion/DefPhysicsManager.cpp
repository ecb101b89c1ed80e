#include "core/motion/DefPhysicsManager.h"

#include <algorithm>
#include <cmath>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/motion/CTDynaController.h"
#include "core/motion/CTSpring.h"
#include "core/motion/DContactSolver.h"
#include "core/scene/CTEntity.h"
#include "core/scene/CTEnvironment.h"

QIBO_IMPLEMENT_CLASS(DefPhysicsManager, CTPhysicsManager, .desc = "Physics Manager", .product = "qiBO DefMgr")

DefPhysicsManager::~DefPhysicsManager() { Release(); }

void DefPhysicsManager::DoAddProperties() {
  CTPhysicsManager::DoAddProperties();
  const ClassDesc* cd = DefPhysicsManager::_CD();
  AddProperty(DProperty(m_maxStep, "MaxStep"), cd);
  AddProperty(DProperty(m_iterations, "SolverIterations"), cd);
}

void DefPhysicsManager::OnPropertyChanged(DProperty& property) {
  m_maxStepBinding.Apply(property, {&m_maxStep}, [this](double seconds) { SetMaxStep(seconds); });
  if (property.ID() == &m_iterations && m_iterations < 1) {
    WarningMsgF(0, "SolverIterations %d refused (at least 1)", m_iterations);
    m_iterations = 1;
  }
  CTPhysicsManager::OnPropertyChanged(property);
}

bool DefPhysicsManager::SetMaxStep(double seconds) {
  if (!(seconds > 0.0) || !std::isfinite(seconds)) {
    WarningMsgF(0, "MaxStep %g refused (more than 0 seconds)", seconds);
    return false;
  }
  m_maxStep = seconds;
  m_maxStepBinding.Accept({seconds});
  return true;
}

bool DefPhysicsManager::DoStop() {
  Release();
  return true;
}

void DefPhysicsManager::Release() {
  while (!m_bodies.Empty()) m_bodies.RemoveAt(m_bodies.Size() - 1)->RemoveRef(this);
  while (!m_springs.Empty()) m_springs.RemoveAt(m_springs.Size() - 1)->RemoveRef(this);
  m_active.clear();
  m_contacts.clear();
  m_defaultEnvironment.Reset();
}

void DefPhysicsManager::OnDelete(CTReferenced* dying) {
  m_bodies.Remove(dying);
  m_springs.Remove(dying);
  CTPhysicsManager::OnDelete(dying);
}

void DefPhysicsManager::AddSpring(CTSpring* spring) {
  if (!spring || m_springs.Contains(spring)) return;
  m_springs.Add(spring);
  spring->AddRef(this);
}

void DefPhysicsManager::RemoveSpring(CTSpring* spring) {
  if (m_springs.Remove(spring)) spring->RemoveRef(this);
}

void DefPhysicsManager::AddBody(CTDynaController* body) {
  if (!body || m_bodies.Contains(body)) return;
  m_bodies.Add(body);
  body->AddRef(this);
}

void DefPhysicsManager::RemoveBody(CTDynaController* body) {
  if (m_bodies.Remove(body)) body->RemoveRef(this);
}

const CTEnvironment* DefPhysicsManager::EnvironmentAt(const CTDynaController& body) {
  auto* engine = qibo::FindService<CTEngineManager>();
  if (engine && engine->IsStarted()) {
    CTEntity* entity = body.GetObject();
    entity->UpdateWorldSpace();
    return engine->FindEnvironment(entity->GetWorldPosition());
  }
  if (!m_defaultEnvironment) {
    m_defaultEnvironment = qibo::Create<CTEnvironment>();
    if (m_defaultEnvironment) m_defaultEnvironment->SetName("Earth");
  }
  return m_defaultEnvironment.Get();
}

void DefPhysicsManager::GatherContacts() {
  m_contacts.clear();
  for (size_t i = 0; i < m_active.size(); ++i) {
    CTDynaController* body = m_active[i];
    for (const SmartPtr<CTEntity>& touched : body->GetContacts()) {
      CTEntity* other = touched.Get();
      if (!other) continue;  // deleted since the collision pass
      CTDynaController* otherBody = qibo::Cast<CTDynaController>(other->GetController());
      const auto at = std::find(m_active.begin(), m_active.end(), otherBody);
      if (at == m_active.end()) {
        otherBody = nullptr;  // not moving this frame: fixed
      } else if (static_cast<size_t>(at - m_active.begin()) < i) {
        // The earlier body answers the pair if it saw the contact too.
        const auto& theirs = otherBody->GetContacts();
        CTEntity* self = body->GetObject();
        if (std::any_of(theirs.begin(), theirs.end(),
                        [self](const SmartPtr<CTEntity>& c) { return c.Get() == self; }))
          continue;
      }
      m_contacts.push_back({body, other, otherBody});
    }
  }
}

void DefPhysicsManager::Step(int32_t ms) {
  if (ms <= 0 || (m_bodies.Empty() && m_springs.Empty())) return;
  const double frame = ms * 0.001;
  const int steps = std::clamp(static_cast<int>(std::ceil(frame / m_maxStep)), 1, kMaxSteps);
  const double h = frame / steps;

  m_active.clear();
  for (CTDynaController* body : m_bodies)
    if (body->GetObject() && body->BeginStep(EnvironmentAt(*body))) m_active.push_back(body);
  GatherContacts();
  for (int step = 0; step < steps; ++step) {
    for (CTDynaController* body : m_active) body->ApplyForces(h);
    for (CTSpring* spring : m_springs) spring->ApplyImpulse(h);
    for (const ContactPair& contact : m_contacts)
      DContactSolver::Solve(*contact.body, *contact.other, contact.otherBody, m_iterations);
    for (CTDynaController* body : m_active) body->Integrate(h);
  }
  for (CTDynaController* body : m_bodies) body->ClearContacts();
  m_active.clear();
  m_contacts.clear();
}
