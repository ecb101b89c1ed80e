#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "core/scene/CTGroup.h"
#include "core/scene/CTLight.h"
#include "demo/scenes/CTDemoScene.h"

// The fourth scene: a breathing cluster of boxes ringed by dancing ones.
//
// - The cluster: 3 x 3 x 3 boxes of edge 2 with "BoxMat" (texture
//   "cubes1"), their spacing breathing between 1.5 and 4.5 every
//   kBreathPeriod ms while the whole cluster tumbles slowly.
// - The ring: a group of kRingCount boxes of edge 1.5 with material "Blaat"
//   (texture "cubes2"). Each box glides towards the slot of its index in the
//   group, slots evenly spaced on a wavy circle of radius kRingRadius; the
//   group turns about the vertical axis.
//   Every 2000 ms the group takes all its children out and inserts them
//   again in a random order (rand()), so the boxes swap places and fly to
//   their new slots.
// - Three coloured lights (red, green, blue) circle the cluster at radius
//   kLightRadius, each pointing at the centre.
//
// Extent in root coordinates: (-14.5, -9.5, -14.5) .. (14.5, 9.5, 14.5), the
// lights' paths included. Framing: a camera at (0, 8, -28) looking at the
// origin shows cluster and ring; at (0, 2, -20) the cluster fills the view
// with ring boxes passing in front.
class CTBoxScene : public CTDemoScene {
  QIBO_CLASS(CTBoxScene)

 public:
  static constexpr int kClusterSide = 3;
  static constexpr int kRingCount = 8;
  static constexpr double kRingRadius = 13.0;
  static constexpr double kLightRadius = 14.0;
  static constexpr int32_t kReinsertPeriod = 2000;  // ms
  static constexpr int32_t kBreathPeriod = 4000;    // ms
  // The ring boxes cover this share of the way to their slot per ms.
  static constexpr double kGlideRate = 0.004;

  explicit CTBoxScene(const char* name = "Box scene");

  CTGroup* GetCluster() const { return m_cluster.Get(); }
  CTGroup* GetRing() const { return m_ring.Get(); }
  CTLight* GetLight(int i) const { return i >= 0 && i < 3 ? m_lights[i].Get() : nullptr; }
  // Where ring slot i stands in the ring group.
  Vector3 RingSlot(int i) const;

 protected:
  void DoBuild() override;
  void Animate(int32_t elapsed) override;

 private:
  // The 2000 ms update.
  void Reinsert(int32_t elapsed);
  void BuildCluster(CTGroup* root);
  void BuildRing(CTGroup* root);
  void PlaceCluster();
  void PlaceLights();

  Ref<CTGroup> m_cluster;  // held by the root as well
  Ref<CTGroup> m_ring;
  Ref<CTLight> m_lights[3];
  double m_time = 0.0;  // ms of animation
};
