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
#include "tests/support/TempDir.h"

// A unit box that remembers every Render call: from which world transform.
class RecordingBox : public CTBox {
  QIBO_CLASS(RecordingBox)

 public:
  RecordingBox() : CTBox(1.0) {}
  void Render(const RenderInfo_t& info, CTMaterial*) override { rendered.push_back(info.world); }
  std::vector<const DTransform*> rendered;
};

namespace qibo::test {

// Runs each test in a directory of its own with the engine's log running;
// ends with qiBO_Deinit. Entities made through Make are owned by the fixture.
class SceneFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new T held by the fixture until the end of the test.
  template <class T>
  T* Make(const char* name = nullptr, CTGroup* parent = nullptr) {
    Ref<T> object = qibo::Create<T>();
    if (name) object->SetName(name);
    if constexpr (std::is_base_of_v<CTEntity, T>)
      if (parent) object->SetParent(parent);
    m_owned.emplace_back(object.Get());
    return object.Get();
  }

  // Whether a logged message contains text.
  static bool Logged(const std::string& text);
  // Every group below root (root included) lists children that name it as
  // their parent, and its kind counts are its children's; every entity's
  // tree level is its parent's plus one.
  static void ExpectConsistent(CTEntity* root);

  TempDir m_dir;
  std::vector<Ref<CTReferenced>> m_owned;
};

}  // namespace qibo::test
