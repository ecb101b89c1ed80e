#pragma once

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "core/geometry/CTBox.h"
#include "core/object/Ref.h"
#include "core/render/base/RenderInfo.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "tests/support/EngineFixture.h"

// A unit box that remembers every Render call: from which world transform.
class RecordingBox : public CTBox {
  QIBO_CLASS(RecordingBox)

 public:
  RecordingBox() : CTBox(1.0) {}
  void Render(const RenderInfo_t& info, CTMaterial*) override { rendered.push_back(info.world); }
  std::vector<const DTransform*> rendered;
};

namespace qibo::test {

// The engine's log runs from the start of each test, and RecordingBox is
// registered. Make can also place the new entity under a parent.
class SceneFixture : public EngineFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  template <class T>
  T* Make(const char* name = nullptr, CTGroup* parent = nullptr) {
    T* object = EngineFixture::Make<T>(name);
    if constexpr (std::is_base_of_v<CTEntity, T>)
      if (object && parent) object->SetParent(parent);
    return object;
  }

  // Every group below root (root included) lists children that name it as
  // their parent, and its kind counts are its children's; every entity's
  // tree level is its parent's plus one.
  static void ExpectConsistent(CTEntity* root);
};

}  // namespace qibo::test
