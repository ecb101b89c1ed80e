#pragma once

#include <cstdint>
#include <vector>

#include "core/object/CTNamed.h"
#include "core/object/Ref.h"
#include "core/scene/CTGroup.h"

// One scene of the demo: content built once under a root group, animated by
// timed updates while the scene is active.
//
// The application places the root in its world (attaches and detaches it);
// the scene never attaches it anywhere. Activate arms the scene's updates,
// Deactivate removes them, so an inactive scene costs nothing per frame and
// its content stands still. Destroying a scene deactivates it and takes its
// root out of whatever parent still holds it, so no update, drawable or
// always-drawn entry of the scene is left behind.
//
// Every update receives the world time elapsed since it last ran, in
// milliseconds; scenes never read a clock of their own, and randomness comes
// from rand() so that a seeded run repeats exactly.
class CTDemoScene : public CTNamed {
  QIBO_CLASS(CTDemoScene)

 public:
  explicit CTDemoScene(const char* name = "Demo scene");
  CTDemoScene(const CTDemoScene&) = delete;
  CTDemoScene& operator=(const CTDemoScene&) = delete;
  ~CTDemoScene() override;

  // Arms the per-frame animation and the scene's periodic updates; nothing
  // when already active.
  virtual void Activate();
  // Removes them again; nothing when not active.
  virtual void Deactivate();
  // Makes the content (once; later calls do nothing).
  virtual void Build();

  CTGroup* GetRoot() const { return m_root.Get(); }
  bool IsActive() const { return m_active; }
  bool IsBuilt() const { return m_built; }

 protected:
  // The content, made by Build under the root.
  virtual void DoBuild() {}
  // After the updates were armed / removed. A class whose OnDeactivate
  // releases something outside the scene calls Deactivate in its own
  // destructor (the base destructor can no longer reach the override).
  virtual void OnActivate() {}
  virtual void OnDeactivate() {}
  // Every engine update while active: the milliseconds since the previous.
  virtual void Animate(int32_t /*elapsed*/) {}

  // A further update of this scene that runs every period milliseconds
  // while the scene is active (armed now if it is).
  void AddSceneUpdate(UpdateFn fn, int32_t period);

 private:
  void OnFrame(int32_t elapsed) { Animate(elapsed); }

  struct Periodic {
    UpdateFn fn;
    int32_t period;
  };

  Ref<CTGroup> m_root;
  std::vector<Periodic> m_periodic;
  bool m_active = false;
  bool m_built = false;
};
