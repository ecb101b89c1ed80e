#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/object/Ref.h"
#include "tests/support/TempDir.h"

namespace qibo::test {

// The base of every fixture that runs the engine. Each test runs in a fresh
// directory of its own (the engine's ".\qibo.ini" and every relative name
// land there); at the end the objects made through Make are dropped, the
// engine is shut down (qiBO_Deinit) and the directory removed.
//
// A fixture that adds to this calls EngineFixture::SetUp() first (and
// returns when it failed: ASSERT_NO_FATAL_FAILURE), and its TearDown ends
// with EngineFixture::TearDown().
class EngineFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new T, named when a name is given, held until the end of the test;
  // null when it cannot be created.
  template <class T>
  T* Make(const char* name = nullptr) {
    Ref<T> object = qibo::Create<T>();
    if (!object) return nullptr;
    if (name) object->SetName(name);
    m_owned.emplace_back(object.Get());
    return object.Get();
  }

  // Starts the engine's error log, so that it keeps what is logged from now on.
  static void StartLog();
  // How many logged messages contain text.
  static int CountLogged(const std::string& text);
  static bool Logged(const std::string& text) { return CountLogged(text) > 0; }

  TempDir m_dir;
  std::vector<Ref<CTReferenced>> m_owned;
};

}  // namespace qibo::test
