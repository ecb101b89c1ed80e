#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/object/Ref.h"
#include "core/scene/CTDrawable.h"
#include "core/scene/CTGroup.h"
#include "core/scene/math/Vector3.h"
#include "tests/support/TempDir.h"

namespace qibo::test {

// Each test runs in a directory of its own with qiboIO.plug loaded and the
// engine's log running, and ends with qiBO_Deinit.
class ModelFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Imports file through the scene importer below a new root group; the
  // root, or an empty reference when the import failed.
  Ref<CTGroup> Import(const std::string& file, uint32_t mask = 255, double scaling = 1.0);
  // Messages logged since the test began that contain text.
  static int CountLogged(const std::string& text);
  // Messages of error level or worse logged since the test began.
  static std::vector<std::string> Errors();

  // The world positions of every face's corners, in face order, drawing
  // order within each face.
  static std::vector<std::array<Vector3, 3>> WorldFaces(CTDrawable& drawable);

  TempDir m_dir;
};

// Equal within 1e-4 per component.
void ExpectNear(const Vector3& actual, const Vector3& expected, const char* what);

}  // namespace qibo::test
