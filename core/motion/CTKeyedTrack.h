#pragma once

#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

#include "core/kernel/Logging.h"
#include "core/motion/CTTrack.h"
#include "core/object/QIBO_String.h"
#include "core/scene/math/Vector3.h"

// A key record of value type V: the time, then the value.
//
//   track          record  bytes
//   CTFloatTrack   8       int time, float
//   CTVectorTrack  16      int time, x, y, z
//   CTQuatTrack    20      int time, x, y, z, w
template <class V>
struct TKey : keyframe_t {
  V value;
};
using floatkey_t = TKey<float>;
using vectorkey_t = TKey<Vector3>;
using quatkey_t = TKey<Quaternion>;
static_assert(sizeof(floatkey_t) == 8 && sizeof(vectorkey_t) == 16 && sizeof(quatkey_t) == 20);

namespace qibo {

// What a track needs of its value type: the value of an empty track, the
// floats of its stream record, a check of what is stored, and interpolation
// at a fraction f in [0, 1).
template <class V>
struct TrackValue;

template <>
struct TrackValue<float> {
  static constexpr int kFloats = 1;
  static float Zero() { return 0.0f; }
  static void ToFloats(const float& v, float* out) { out[0] = v; }
  static float FromFloats(const float* in) { return in[0]; }
  // Into the form stored; false for a value a track cannot hold.
  static bool Canonical(float& v) { return std::isfinite(v); }
  static float Interpolate(float a, float b, double f) {
    return static_cast<float>(a + (static_cast<double>(b) - a) * f);
  }
};

template <>
struct TrackValue<Vector3> {
  static constexpr int kFloats = 3;
  static Vector3 Zero() { return {}; }
  static void ToFloats(const Vector3& v, float* out) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
  }
  static Vector3 FromFloats(const float* in) { return {in[0], in[1], in[2]}; }
  static bool Canonical(Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
  // Each component in double precision, so that keys far apart do not
  // overflow the difference.
  static Vector3 Interpolate(const Vector3& a, const Vector3& b, double f) {
    return {TrackValue<float>::Interpolate(a.x, b.x, f), TrackValue<float>::Interpolate(a.y, b.y, f),
            TrackValue<float>::Interpolate(a.z, b.z, f)};
  }
};

template <>
struct TrackValue<Quaternion> {
  static constexpr int kFloats = 4;
  static Quaternion Zero() { return Quaternion::Identity(); }
  static void ToFloats(const Quaternion& q, float* out) {
    out[0] = q.x;
    out[1] = q.y;
    out[2] = q.z;
    out[3] = q.w;
  }
  static Quaternion FromFloats(const float* in) { return {in[0], in[1], in[2], in[3]}; }
  // Stored normalised; a quaternion of (nearly) no length is no rotation.
  // The length in double precision, where huge finite parts do not overflow.
  static bool Canonical(Quaternion& q) {
    const double len = std::sqrt(static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                                 static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w);
    if (!std::isfinite(len) || len < qibo::kEpsilon) return false;
    q = {static_cast<float>(q.x / len), static_cast<float>(q.y / len), static_cast<float>(q.z / len),
         static_cast<float>(q.w / len)};
    return true;
  }
  // Spherical, along the shorter arc, normalised (Slerp leaves the nearly
  // parallel case unnormalised).
  static Quaternion Interpolate(const Quaternion& a, const Quaternion& b, double f) {
    Quaternion q = Quaternion::Slerp(a, b, static_cast<float>(f));
    q.Normalize();
    return q;
  }
};

}  // namespace qibo

// A track of values of type V: SetValue keys it, GetValue evaluates it
// (out-of-range rules, then interpolation between the two keys around the
// time). Keys hold finite values only; quaternions are kept normalised.
// So the time step between two keys is never 0, and finite keys never give
// a value that is not finite.
template <class V>
class CTKeyedTrack : public CTTrack {
 public:
  using Value = V;
  using Key = TKey<V>;
  using Traits = qibo::TrackValue<V>;

  explicit CTKeyedTrack(const char* name = nullptr) : CTTrack(name) {}
  CTKeyedTrack(const CTKeyedTrack&) = delete;
  CTKeyedTrack& operator=(const CTKeyedTrack&) = delete;

  // Sets the key at t (made if needed); false, logged, for a value that is
  // not finite (or a quaternion of no length).
  bool SetValue(int32_t t, const V& value) {
    V stored = value;
    if (!Traits::Canonical(stored)) {
      qiBO_Error(QIBO_String::Format("%s: key at %d ms refused: not a valid value", GetName(), t).c_str(),
                 this);
      return false;
    }
    auto* key = static_cast<Key*>(SetKey(t));
    if (!key) return false;
    key->value = stored;
    return true;
  }

  // The track's value at t; the empty track's value without keys.
  V GetValue(int32_t t) const {
    const int32_t u = GetLocalTime(t);
    const int found = FindKey(u);
    if (found < 0) return Traits::Zero();
    const size_t i = static_cast<size_t>(found);
    const Key& a = m_records[i];
    if (a.time == u || i + 1 == m_records.size()) return a.value;
    const Key& b = m_records[i + 1];
    const double f = (static_cast<double>(u) - a.time) / (static_cast<double>(b.time) - a.time);
    return Traits::Interpolate(a.value, b.value, f);
  }

  // Key i's value; the empty track's value for an index out of range.
  V GetKeyValue(int i) const {
    const Key* key = RecordAt(i);
    return key ? key->value : Traits::Zero();
  }

 protected:
  const Key* RecordAt(int i) const { return static_cast<const Key*>(GetKeyNo(i)); }

  keyframe_t* NewKey(size_t at) override {
    if (at > m_records.size()) return nullptr;
    // Steps of 16 records, by half past 256.
    const size_t capacity = m_records.capacity();
    try {
      if (m_records.size() == capacity)
        m_records.reserve(capacity < 256 ? capacity + 16 : capacity + capacity / 2);
    } catch (const std::bad_alloc&) {
      qiBO_Error(QIBO_String::Format("%s: no memory for key %zu", GetName(), at).c_str(), this);
      return nullptr;
    }
    const auto it = m_records.insert(m_records.begin() + static_cast<std::ptrdiff_t>(at), Key{});
    UpdateView();
    return &*it;
  }
  void EraseKeys(size_t first, size_t last) override {
    if (first >= last || last > m_records.size()) return;
    m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(first),
                    m_records.begin() + static_cast<std::ptrdiff_t>(last));
    if (m_records.empty()) m_records.shrink_to_fit();
    UpdateView();
  }

  int ValueFloats() const override { return Traits::kFloats; }
  void KeyToFloats(const keyframe_t* key, float* out) const override {
    Traits::ToFloats(static_cast<const Key*>(key)->value, out);
  }
  bool KeyFromFloats(keyframe_t* key, const float* in) override {
    V value = Traits::FromFloats(in);
    if (!Traits::Canonical(value)) return false;
    static_cast<Key*>(key)->value = value;
    return true;
  }

 private:
  void UpdateView() { SetKeyView(m_records.data(), sizeof(Key), m_records.size()); }

  std::vector<Key> m_records;
};
