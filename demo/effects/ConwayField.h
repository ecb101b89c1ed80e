#pragma once

#include <cstdint>
#include <vector>

#include "core/object/CTNamed.h"
#include "core/object/CountedPtr.h"
#include "core/object/Ref.h"

class CTBox;
class CTDrawable;
class CTGroup;
class CTMaterial;

// A field of cubes running Conway's game of life on a 2^e x 2^e torus.
//
// One cube (a drawable sharing one unit box) per cell, laid out under a
// parent group: cell i stands at (i mod n - n/2) along the parent's right
// axis (x) and (i div n - n/2) along its forward axis (z). The centre cell
// (n/2, n/2) is always alive and drawn with "ConwayMatMid" (two-sided), the
// others with "ConwayMat" (white, texture "cubes1", power 100).
//
// While started, a new generation is computed every 400 ms and the cubes
// are animated every update: each turns slowly about one Euler angle
// (azimuth, elevation or twist by cell index mod 3); a live cube grows by
// 1 a second up to 0.9 and is shown, a dead cube shrinks by 1 a second and
// is hidden once below 0.1.
class ConwayField : public CTNamed {
  QIBO_CLASS(ConwayField)

 public:
  static constexpr int kDefaultExponent = 5;
  static constexpr int kMinExponent = 1;
  static constexpr int kMaxExponent = 8;
  static constexpr int32_t kGenerationPeriod = 400;  // ms
  static constexpr float kFullScale = 0.9f;
  static constexpr float kHideScale = 0.1f;

  // An exponent outside kMinExponent..kMaxExponent is clamped (with a
  // warning).
  explicit ConwayField(int exponent = kDefaultExponent);
  ~ConwayField() override;

  // Changes the grid exponent before Build (clamped as above); false once
  // built.
  bool SetExponent(int exponent);

  // Makes the cubes under parent, the materials if they do not exist yet,
  // and the start pattern. False (nothing made) without a parent or when
  // already built.
  bool Build(CTGroup* parent);
  bool IsBuilt() const { return !m_cubes.empty(); }
  // Removes every cube from its parent and forgets them.
  void Clear();

  // Registers the generation (every 400 ms) and the animation (every
  // update); Stop removes both. Destruction stops the field.
  void Start();
  void Stop();
  bool IsRunning() const { return m_running; }

  // The life rule on a 2^exponent square with wrap-around: every cell of
  // current from its eight neighbours in previous (1 alive, 0 dead).
  static void NextGeneration(const uint8_t* previous, uint8_t* current, int exponent);
  // One generation step: previous := current, one random cell of previous
  // flipped, the rule applied, the centre cell set alive. dt is unused.
  void Generation(int32_t dt);
  // Turns, grows and shrinks the cubes by dt milliseconds.
  void Animate(int32_t dt);

  int GetExponent() const { return m_exponent; }
  int GetSide() const { return 1 << m_exponent; }
  int GetCellCount() const { return GetSide() * GetSide(); }
  int GetCentreCell() const { return (GetSide() / 2) * GetSide() + GetSide() / 2; }
  // Cell state and scale; out-of-range cells read as dead / 0.
  bool IsAlive(int cell) const;
  void SetAlive(int cell, bool alive);
  float GetScale(int cell) const;
  void SetScale(int cell, float scale);
  const uint8_t* GetCurrent() const { return m_current.data(); }
  const uint8_t* GetPrevious() const { return m_previous.data(); }
  // The cube of a cell (null before Build or out of range).
  CTDrawable* GetCube(int cell) const;
  CTBox* GetBox() const { return m_box.Get(); }

 private:
  // Sets the cube's deformation to its cell's scale.
  void ApplyScale(int cell);

  int m_exponent;
  bool m_running = false;
  std::vector<uint8_t> m_current;
  std::vector<uint8_t> m_previous;
  std::vector<float> m_scale;
  std::vector<Ref<CTDrawable>> m_cubes;
  Ref<CTBox> m_box;
  CountedPtr<CTMaterial> m_material;
  CountedPtr<CTMaterial> m_midMaterial;
};
