// Fuzzes the narrow phase: two shapes of any kind and size, placed by any
// transforms (NaNs, infinities and huge values included), tested with and
// without a pair cache. No call may fault, and an answer given must be
// made of finite numbers: a distance of at least 0, points, a unit normal.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/geometry/CTBBox.h"
#include "core/geometry/CTBox.h"
#include "core/geometry/CTCone.h"
#include "core/geometry/CTCylinder.h"
#include "core/geometry/CTISAGJK.h"
#include "core/geometry/CTPointShape.h"
#include "core/geometry/CTSphere.h"
#include "core/object/Ref.h"

namespace {

// The input, read as raw floats (so any bit pattern, NaN included), bytes
// and small integers; past its end everything reads as 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  float Float() {
    uint8_t bytes[4] = {Byte(), Byte(), Byte(), Byte()};
    float value;
    memcpy(&value, bytes, sizeof(value));
    return value;
  }
  Vector3 Vector() {
    const float x = Float(), y = Float();
    return Vector3(x, y, Float());
  }
  // A size or point a shape takes: any finite value (its size for sizes),
  // others 0. Shapes refuse the rest with a warning, and the growing log
  // would make every run look like a leak to the fuzzer; the detector gets
  // its NaNs and infinities through the placements instead.
  float Size() {
    const float v = Float();
    return std::isfinite(v) ? std::fabs(v) : 0.0f;
  }
  Vector3 Sizes() {
    const float x = Size(), y = Size();
    return Vector3(x, y, Size());
  }
  Vector3 Point() {
    const Vector3 p = Vector();
    return Vector3(std::isfinite(p.x) ? p.x : 0.0f, std::isfinite(p.y) ? p.y : 0.0f,
                   std::isfinite(p.z) ? p.z : 0.0f);
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

void Check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "fuzz_collision: %s\n", what);
  abort();
}

bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// One shape of the kind the input names, with the sizes it gives.
Ref<CTShape> MakeShape(Input& in) {
  switch (in.Byte() % 6) {
    case 0: {
      Ref<CTBox> box = qibo::Create<CTBox>();
      box->SetDimensions(in.Sizes());
      return Ref<CTShape>(std::move(box));
    }
    case 1: {
      Ref<CTBBox> box = qibo::Create<CTBBox>();
      box->SetDimensions(in.Sizes());
      box->SetPivot(in.Point());
      return Ref<CTShape>(std::move(box));
    }
    case 2: {
      Ref<CTSphere> sphere = qibo::Create<CTSphere>();
      sphere->SetRadius(in.Size());
      return Ref<CTShape>(std::move(sphere));
    }
    case 3: {
      Ref<CTCylinder> cylinder = qibo::Create<CTCylinder>();
      const float radius = in.Size();
      cylinder->SetDimensions(radius, in.Size());
      return Ref<CTShape>(std::move(cylinder));
    }
    case 4: {
      Ref<CTCone> cone = qibo::Create<CTCone>();
      const float radius = in.Size();
      cone->SetDimensions(radius, in.Size());
      return Ref<CTShape>(std::move(cone));
    }
    default: {
      Ref<CTPointShape> points = qibo::Create<CTPointShape>();
      const int count = in.Byte() % 9;
      for (int i = 0; i < count; ++i) points->AddPoint(in.Point());
      return Ref<CTShape>(std::move(points));
    }
  }
}

// A placement: position, Euler angles and scale, each present or not.
DTransform MakePlacement(Input& in) {
  DTransform t;
  const uint8_t parts = in.Byte();
  if (parts & 1) t.MoveTo(in.Vector());
  if (parts & 2) {
    const float az = in.Float(), el = in.Float();
    t.SetEuler(az, el, in.Float());
  }
  if (parts & 4) t.ScaleTo(in.Vector());
  return t;
}

void CheckAnswers(CTISAGJK* gjk, CTShape* a, const DTransform& ta, CTShape* b, const DTransform& tb,
                  DDetectorCache* cache) {
  gjk->IntersectTest(a, ta, b, tb, cache);
  Vector3 pa, pb;
  if (gjk->ContactTest(a, ta, b, tb, cache, pa, pb))
    Check(Finite(pa) && Finite(pb), "contact points not finite");
  double distance = -1.0;
  if (gjk->Distance(a, ta, b, tb, distance, &pa, &pb)) {
    Check(std::isfinite(distance) && distance >= 0.0, "distance not finite or negative");
    Check(Finite(pa) && Finite(pb), "closest points not finite");
  }
  Vector3 normal;
  double depth = -1.0;
  if (gjk->Penetration(a, ta, b, tb, normal, depth, &pa, &pb)) {
    Check(std::isfinite(depth) && depth >= 0.0, "depth not finite or negative");
    Check(Finite(normal) && std::fabs(normal.Length() - 1.0f) < 1e-3f, "normal not a unit vector");
    Check(Finite(pa) && Finite(pb), "deepest points not finite");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Ref<CTISAGJK> gjk = qibo::Create<CTISAGJK>();
  gjk->SetMaxIterations(1 + in.Byte() % 64);
  Ref<CTShape> a = MakeShape(in);
  Ref<CTShape> b = MakeShape(in);
  const DTransform ta = MakePlacement(in);
  DTransform tb = MakePlacement(in);
  if (!gjk->CanHandle(a.Get(), b.Get())) return 0;
  DDetectorCache* cache = gjk->CreateCache();
  CheckAnswers(gjk.Get(), a.Get(), ta, b.Get(), tb, nullptr);
  // Again with the cache, the second shape moved a little each time.
  for (int frame = 0; frame < 3; ++frame) {
    CheckAnswers(gjk.Get(), a.Get(), ta, b.Get(), tb, cache);
    tb.MoveBy(in.Vector());
  }
  gjk->ReleaseCache(cache);
  return 0;
}
