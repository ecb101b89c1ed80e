#pragma once

#include <cstdint>

#include "core/object/Ref.h"
#include "demo/effects/CTFilmGrain.h"
#include "demo/effects/ConwayField.h"
#include "demo/scenes/CTDemoScene.h"

// The life interlude between the scenes: a 32 x 32 field of cubes running
// Conway's game of life (grid exponent 5) under the root, seen through a
// film-grain overlay. The field keeps its state between appearances; while
// the interlude is inactive it stands still and the grain is off the
// always-drawn list.
//
// Closing phase (BeginClosing, for the demo's last appearance): no cell is
// born any more, and the field dies away evenly over kClosingDuration ms.
// Every kGenerationPeriod ms the live count is brought down to a ceiling
// that falls in a straight line from the count at the start to zero (at
// least one cell dies each time): the cells the life rule would kill go
// first, then survivors at random. Dying cubes shrink away as always.
//
// Extent in root coordinates: cube centres on the plane y = 0 at x, z of
// -16 .. 15, so (-16.8, -0.8, -16.8) .. (15.8, 0.8, 15.8) with their turns.
// Framing: a camera at (0, 22, -24) looking down at the origin (about 42
// degrees) shows the whole field; from (0, 40, -1) looking straight down
// it fills the view as a board.
class CTInterlude : public CTDemoScene {
  QIBO_CLASS(CTInterlude)

 public:
  static constexpr int kFieldExponent = 5;
  static constexpr int32_t kGenerationPeriod = ConwayField::kGenerationPeriod;
  // The closing phase, until the demo's fade to black 20 s after it starts;
  // the last cell goes one generation before that.
  static constexpr int32_t kClosingDuration = 19600;
  static constexpr int kClosingGenerations = kClosingDuration / kGenerationPeriod;

  explicit CTInterlude(const char* name = "Interlude");
  ~CTInterlude() override;

  // Switches to the closing phase (once; later calls do nothing).
  void BeginClosing();
  bool IsClosing() const { return m_closing; }

  ConwayField* GetField() const { return m_field.Get(); }
  CTFilmGrain* GetGrain() const { return m_grain.Get(); }
  int GetLiveCount() const;

 protected:
  void DoBuild() override;
  void OnActivate() override;
  void OnDeactivate() override;
  void Animate(int32_t elapsed) override;

 private:
  // The closing phase's generation (every kGenerationPeriod ms).
  void ClosingGeneration(int32_t elapsed);

  Ref<ConwayField> m_field;
  Ref<CTFilmGrain> m_grain;
  bool m_closing = false;
  int m_closingStartCount = 0;  // live cells when the closing began
  int m_closingGeneration = 0;  // closing generations run
};
