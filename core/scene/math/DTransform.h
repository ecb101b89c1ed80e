#pragma once

// DTransform: a position plus a linear part made of a rotation and a deformation,
// p' = p x total + position with total = deformation x rotation.
//
// The rotation can be written in five representations (rotation matrix, quaternion,
// Euler angles Az/El/Tw, direction, or the whole total matrix). Whichever was written
// last is the source; the others are derived on first read and cached until the next
// write. Absolute setters only store and flag (no trigonometry, no matrix products), so a
// transform written many times per frame and read once pays for one conversion. Relative
// writes (RotateBy..., IncreaseAz, ScaleBy, Move along own axes) first bring their
// representation up to date.
//
// Every write stamps the transform with the process-wide counter `timeid`; the
// HasXChangedSince tests compare stamps with wrap-around, so the counter may wrap.
// Not thread-safe: transforms are written and read on the engine's frame thread.

#include <cstdint>

#include "core/scene/math/Vector3.h"

class alignas(64) DTransform {
 public:
  // Flag bits.
  static constexpr uint32_t kHasPosition = 0x1;
  static constexpr uint32_t kHasRotation = 0x2;
  static constexpr uint32_t kHasDeformation = 0x4;
  static constexpr uint32_t kTotalValid = 0x8;
  static constexpr uint32_t kInverseValid = 0x10;
  static constexpr uint32_t kRotationMatrixValid = 0x100;
  static constexpr uint32_t kEulerValid = 0x200;
  static constexpr uint32_t kQuaternionValid = 0x400;
  static constexpr uint32_t kDirectionValid = 0x800;
  static constexpr uint32_t kDeformationMatrixValid = 0x10000;
  static constexpr uint32_t kScaleValid = 0x20000;
  static constexpr uint32_t kScaleNUValid = 0x40000;
  static constexpr uint32_t kAzPart = 0x100000;
  static constexpr uint32_t kElPart = 0x200000;
  static constexpr uint32_t kTwPart = 0x400000;
  static constexpr uint32_t kNUDeform = 0x1000000;
  // Masks.
  static constexpr uint32_t kMatrixCaches = kTotalValid | kInverseValid;
  static constexpr uint32_t kRotationGroup = 0xff00;      // rotation validity bits, reserved included
  static constexpr uint32_t kDeformationGroup = 0xf0000;  // deformation validity bits, reserved included
  static constexpr uint32_t kEulerParts = kAzPart | kElPart | kTwPart;
  static constexpr uint32_t kLinearPresent = kHasRotation | kHasDeformation;

  // Stamp source shared by all transforms; wraps past 2^32.
  static uint32_t timeid;
  // Every stamp ever issued, never wrapping: unchanged means no transform
  // anywhere has been written (the scene graph skips its checks then).
  static uint64_t writes;
  static uint32_t NextStamp() {
    ++writes;
    return timeid++;
  }
  // The identity transform.
  static const DTransform I;

  DTransform() { RenewAllStamps(); }
  DTransform(const DTransform& t) { CopyFrom(t); }
  DTransform& operator=(const DTransform& t) {
    CopyFrom(t);
    return *this;
  }
  ~DTransform() = default;

  // ---- Queries ----
  bool HasPosition() const { return (m_flags & kHasPosition) != 0; }
  bool HasRotation() const { return (m_flags & kHasRotation) != 0; }
  bool HasDeformation() const { return (m_flags & kHasDeformation) != 0; }
  bool HasNUDeform() const { return (m_flags & kNUDeform) != 0; }
  bool HasTotalMatrix() const { return (m_flags & kLinearPresent) != 0; }
  bool HasInverseMatrix() const { return (m_flags & kLinearPresent) != 0; }
  bool IsIdentity() const { return (m_flags & (kHasPosition | kLinearPresent)) == 0; }
  bool UpdatePosition() const { return HasPosition(); }

  uint32_t LastChange() const { return m_lastChange; }
  bool HasChangedSince(uint32_t t) const { return IsLater(m_lastChange, t); }
  bool HasMatrixChangedSince(uint32_t t) const { return IsLater(m_matrixStamp, t); }
  bool HasRotationChangedSince(uint32_t t) const { return IsLater(m_rotationStamp, t); }
  bool HasPositionChangedSince(uint32_t t) const { return IsLater(m_positionStamp, t); }
  bool HasDeformationChangedSince(uint32_t t) const { return IsLater(m_deformationStamp, t); }

  // ---- Raw accessors: the stored member as it stands, valid after the matching Update ----
  uint32_t _Flags() const { return m_flags; }
  const Vector3& _Position() const { return m_position; }
  const Vector3& GetPosition() const { return m_position; }
  const Matrix33& _DeformationMatrix() const { return m_deformation; }
  float _Scale() const { return m_scale; }
  const Vector3& _ScaleNU() const { return m_scaleNU; }
  const Matrix33& _RotationMatrix() const { return m_rotation; }
  const Quaternion& _Quaternion() const { return m_quaternion; }
  const Vector3& _Direction() const { return m_rotation.RowRef(2); }
  float _Az() const { return m_az; }
  float _El() const { return m_el; }
  float _Tw() const { return m_tw; }
  const Matrix33& _TotalMatrix() const { return m_total; }
  const Matrix33& _InverseMatrix() const { return m_inverse; }

  // ---- Updates: derive one cached value if stale, then report presence ----
  bool UpdateRotationMatrix() const;
  bool UpdateQuaternion() const;
  bool UpdateDirection() const;
  bool UpdateEuler() const;
  bool UpdateDeformationMatrix() const;
  bool UpdateTotalMatrix() const {
    if (m_flags & kTotalValid) return HasTotalMatrix();
    return DeriveTotalMatrix();
  }
  bool UpdateTotal() const { return UpdateTotalMatrix() || HasPosition(); }
  bool UpdateInverseMatrix() const {
    if (m_flags & kInverseValid) return HasInverseMatrix();
    return DeriveInverseMatrix();
  }
  bool UpdateInverse() const { return UpdateInverseMatrix() || HasPosition(); }

  // ---- Checked getters ----
  const Matrix33& GetDeformationMatrix() const {
    UpdateDeformationMatrix();
    return m_deformation;
  }
  const Matrix33& GetRotationMatrix() const {
    UpdateRotationMatrix();
    return m_rotation;
  }
  const Quaternion& GetQuaternion() const {
    UpdateQuaternion();
    return m_quaternion;
  }
  const Vector3& GetDirection() const {
    UpdateDirection();
    return m_rotation.RowRef(2);
  }
  double GetAz() const {
    UpdateEuler();
    return m_az;
  }
  double GetEl() const {
    UpdateEuler();
    return m_el;
  }
  double GetTw() const {
    UpdateEuler();
    return m_tw;
  }
  const Matrix33& GetTotalMatrix() const {
    UpdateTotalMatrix();
    return m_total;
  }
  const Matrix33& GetInverseMatrix() const {
    UpdateInverseMatrix();
    return m_inverse;
  }

  // ---- Reference getters: bring up to date, record a write of that representation,
  // then hand out the storage; later edits through the reference count as that write ----
  Vector3& GetPositionRef();
  Matrix33& GetDeformationMatrixRef();
  Matrix33& GetRotationMatrixRef();
  Quaternion& GetQuaternionRef();
  Vector3& GetDirectionRef();
  float& GetAzRef();
  float& GetElRef();
  float& GetTwRef();
  Matrix33& GetTotalMatrixRef();

  // ---- Position (parent coordinates) ----
  void MoveTo(const Vector3& v) {
    m_position = v;
    WritePosition();
  }
  void SetPosition(const Vector3& v) { MoveTo(v); }
  void MoveToX(const double& d) {
    m_position.x = static_cast<float>(d);
    WritePosition();
  }
  void MoveToY(const double& d) {
    m_position.y = static_cast<float>(d);
    WritePosition();
  }
  void MoveToZ(const double& d) {
    m_position.z = static_cast<float>(d);
    WritePosition();
  }
  void MoveBy(const Vector3& v) {
    m_position += v;
    WritePosition();
  }
  void MoveByX(const double& d) {
    m_position.x += static_cast<float>(d);
    WritePosition();
  }
  void MoveByY(const double& d) {
    m_position.y += static_cast<float>(d);
    WritePosition();
  }
  void MoveByZ(const double& d) {
    m_position.z += static_cast<float>(d);
    WritePosition();
  }
  // Along the object's own axes.
  void MoveRight(const double& d);
  void MoveLeft(const double& d) { MoveRight(-d); }
  void MoveUp(const double& d);
  void MoveDown(const double& d) { MoveUp(-d); }
  void MoveForward(const double& d);
  void MoveBack(const double& d) { MoveForward(-d); }

  // ---- Rotation matrix ----
  void SetRotationMatrix(const Matrix33& m) {
    PrepareRotationWrite();
    m_rotation = m;
    WriteRotation(kRotationMatrixValid);
  }
  // Replace the whole rotation by one single-axis rotation.
  void RotateToAz(const double& a);
  void RotateToEl(const double& a);
  void RotateToTw(const double& a);
  // R = R x single-axis rotation: about the parent's axis, after the current rotation.
  void RotateByAz(const double& a);
  void RotateByEl(const double& a);
  void RotateByTw(const double& a);

  // ---- Quaternion ----
  void SetQuat(const Quaternion& q) {
    PrepareRotationWrite();
    m_quaternion = q;
    WriteRotation(kQuaternionValid);
  }
  // q = q x single-axis quaternion: about the object's own axis.
  void RotateQuatByAz(const double& a);
  void RotateQuatByEl(const double& a);
  void RotateQuatByTw(const double& a);

  // ---- Euler angles (radians) ----
  void SetEuler(const double& az, const double& el, const double& tw) {
    PrepareRotationWrite();
    m_az = static_cast<float>(az);
    m_el = static_cast<float>(el);
    m_tw = static_cast<float>(tw);
    WriteRotation(kEulerValid | kEulerParts);
  }
  // Setting or adding one angle keeps the other two at the current rotation's values.
  void SetAz(const double& a) { GetAzRef() = static_cast<float>(a); }
  void SetEl(const double& a) { GetElRef() = static_cast<float>(a); }
  void SetTw(const double& a) { GetTwRef() = static_cast<float>(a); }
  void IncreaseAz(const double& d) { GetAzRef() += static_cast<float>(d); }
  void IncreaseEl(const double& d) { GetElRef() += static_cast<float>(d); }
  void IncreaseTw(const double& d) { GetTwRef() += static_cast<float>(d); }

  // ---- Direction (forward axis); a zero vector leaves the transform unchanged ----
  void SetDirection(const Vector3& v);
  void LookAt(const Vector3& target) { SetDirection(target - m_position); }
  void _SetDirection(const Vector3& v) {
    PrepareRotationWrite();
    m_rotation.SetRow(2, v);
    WriteRotation(kDirectionValid);
  }

  // ---- Deformation ----
  void ScaleTo(const double& s) {
    PrepareDeformationWrite();
    m_scale = static_cast<float>(s);
    WriteDeformation(kScaleValid);
  }
  void SetScale(const double& s) { ScaleTo(s); }
  void ScaleTo(const Vector3& v) {
    PrepareDeformationWrite();
    m_scaleNU = v;
    WriteDeformation(kScaleNUValid);
  }
  void ScaleTo(const double& x, const double& y, const double& z) {
    ScaleTo(Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)));
  }
  void SetScaleNU(const Vector3& v) { ScaleTo(v); }
  void ScaleBy(const double& s);
  void ScaleBy(const Vector3& v);
  void ScaleBy(const double& x, const double& y, const double& z) {
    ScaleBy(Vector3(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)));
  }
  void SetDeformationMatrix(const Matrix33& m) {
    PrepareDeformationWrite();
    m_deformation = m;
    WriteDeformation(kDeformationMatrixValid);
  }

  // ---- Whole linear part: rotation and deformation, split on demand ----
  void SetMatrix(const Matrix33& m) {
    m_total = m;
    WriteTotal();
  }

  // Counts as a write of every part without changing any: whatever was
  // derived from this transform is stale afterwards.
  void Touch() { RenewAllStamps(); }

  // ---- Resets ----
  void Reset();
  void ResetPosition();
  void ResetRotation();
  void ResetDeformation();
  void ResetMatrix();

  // ---- Transforming ----
  // p x total + position with the stored total as it stands (call UpdateTotal first).
  Vector3 operator()(const Vector3& p) const { return m_total.Transform(p) + m_position; }
  Vector3 TransformPoint(const Vector3& p) const {
    const Vector3 q = UpdateTotalMatrix() ? m_total.Transform(p) : p;
    return HasPosition() ? q + m_position : q;
  }
  Vector3 BackTransformPoint(const Vector3& p) const {
    const Vector3 q = HasPosition() ? p - m_position : p;
    return UpdateInverseMatrix() ? m_inverse.Transform(q) : q;
  }
  Vector3 TransformNormal(const Vector3& n) const {
    return HasRotation() && UpdateRotationMatrix() ? m_rotation.Transform(n) : n;
  }
  Vector3 TransformNormalBest(const Vector3& n) const {
    return UpdateTotalMatrix() ? m_total.Transform(n).Normalized() : n;
  }
  Vector3 BackTransformNormal(const Vector3& n) const {
    return HasRotation() && UpdateRotationMatrix() ? m_rotation.TransformTransposed(n) : n;
  }
  Vector3 BackTransformNormalBest(const Vector3& n) const { return BackTransformNormal(n); }

  // In-place array forms. `stride` is in bytes; 0 means packed Vector3s (12 bytes).
  void TransformPoints(Vector3* points, int32_t count, int32_t stride = 0) const;
  void TransformPoints(Vector3* const* points, int32_t count) const;
  void TransformNormals(Vector3* normals, int32_t count, int32_t stride = 0) const;
  void TransformNormals(Vector3* const* normals, int32_t count) const;
  void TransformNormalsBest(Vector3* normals, int32_t count, int32_t stride = 0) const;
  void TransformNormalsBest(Vector3* const* normals, int32_t count) const;
  void BackTransformPoints(Vector3* points, int32_t count, int32_t stride = 0) const;
  void BackTransformPoints(Vector3* const* points, int32_t count) const;
  void BackTransformNormals(Vector3* normals, int32_t count, int32_t stride = 0) const;
  void BackTransformNormals(Vector3* const* normals, int32_t count) const;
  void BackTransformNormalsBest(Vector3* normals, int32_t count, int32_t stride = 0) const;
  void BackTransformNormalsBest(Vector3* const* normals, int32_t count) const;

  // ---- Composition: a is the inner transform, b the outer, result(p) = b(a(p)).
  // Either argument may be this transform. ----
  void Combine(const DTransform& a, const DTransform& b);
  void CombineRotation(const DTransform& a, const DTransform& b);
  void CombinePosition(const DTransform& a, const DTransform& b);
  void CombineDeformation(const DTransform& a, const DTransform& b);
  void CombineOptimized(const DTransform& a, const DTransform& b) { Combine(a, b); }
  void CombineRotationOptimized(const DTransform& a, const DTransform& b) { CombineRotation(a, b); }
  void CombinePositionOptimized(const DTransform& a, const DTransform& b) { CombinePosition(a, b); }
  void CombineDeformationOptimized(const DTransform& a, const DTransform& b) { CombineDeformation(a, b); }
  void Invert();
  void SetInverse(const DTransform& t);
  // Kept for interface compatibility: does not compose, returns this transform unchanged.
  DTransform& operator*=(const DTransform&) { return *this; }

 private:
  // (t - stamp) as a signed 32-bit value is negative: the stamp is later than t.
  static bool IsLater(uint32_t stamp, uint32_t t) { return static_cast<int32_t>(t - stamp) < 0; }

  // The linear part was written whole and not split yet. A total matrix
  // derived from nothing is not one: reading it must not invent a rotation.
  bool IsOnlyTotal() const {
    return (m_flags & (kTotalValid | kRotationGroup | kDeformationGroup)) == kTotalValid &&
           (m_flags & kLinearPresent) != 0;
  }
  void SplitTotal() const;
  bool DeriveTotalMatrix() const;
  bool DeriveInverseMatrix() const;
  int PruneEuler() const;
  void EulerCosSin(float& ca, float& sa, float& ce, float& se, float& ct, float& st) const;

  // A write of one half of the linear part first splits a lone total matrix so the other half survives.
  void PrepareRotationWrite() {
    if (IsOnlyTotal()) SplitTotal();
  }
  void PrepareDeformationWrite() {
    if (IsOnlyTotal()) SplitTotal();
  }

  // Flag and stamp bookkeeping of one write; `valid` names the representation written.
  void WritePosition() {
    m_flags |= kHasPosition;
    m_positionStamp = m_lastChange = NextStamp();
  }
  void WriteRotation(uint32_t valid) {
    m_flags = (m_flags & ~(kRotationGroup | kMatrixCaches)) | kHasRotation | valid;
    m_rotationStamp = m_matrixStamp = m_lastChange = NextStamp();
  }
  void WriteDeformation(uint32_t valid) {
    m_flags = (m_flags & ~(kDeformationGroup | kMatrixCaches)) | kHasDeformation | valid;
    m_deformationStamp = m_matrixStamp = m_lastChange = NextStamp();
  }
  void WriteTotal() {
    m_flags =
        (m_flags & ~(kRotationGroup | kDeformationGroup | kInverseValid)) | kTotalValid | kLinearPresent;
    m_deformationStamp = m_rotationStamp = m_matrixStamp = m_lastChange = NextStamp();
  }
  void RenewAllStamps() {
    m_lastChange = m_matrixStamp = m_rotationStamp = m_positionStamp = m_deformationStamp = NextStamp();
  }
  void CopyFrom(const DTransform& t);

  // What every freshness check and the usual composition read come first:
  // flags, last change, position and rotation fill the first cache line.
  mutable uint32_t m_flags = 0;
  uint32_t m_lastChange = 0;
  Vector3 m_position;
  mutable Matrix33 m_rotation;  // rows right, up, forward; row 2 is also the direction
  uint32_t m_matrixStamp = 0;
  uint32_t m_rotationStamp = 0;
  uint32_t m_positionStamp = 0;
  uint32_t m_deformationStamp = 0;
  mutable Quaternion m_quaternion;
  mutable float m_az = 0.0f;
  mutable float m_el = 0.0f;
  mutable float m_tw = 0.0f;
  mutable float m_scale = 1.0f;
  mutable Vector3 m_scaleNU{1.0f, 1.0f, 1.0f};
  mutable Matrix33 m_deformation;
  mutable Matrix33 m_total;
  mutable Matrix33 m_inverse;
};
