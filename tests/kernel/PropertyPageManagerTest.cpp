#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/kernel/CTPlugInManager.h"
#include "core/kernel/CTPropertyPageManager.h"
#include "core/kernel/CTServiceManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/PlugInApi.h"
#include "tests/kernel/plugins/PagePlugIn.h"
#include "tests/support/EngineFixture.h"

namespace {

using Shown = std::vector<std::pair<int, CTNamed*>>;
using Result = DPropertyPage::Result;

// The property-page service with the test plug-ins on the plug-in path.
class PropertyPageManagerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    StartLog();
    m_plugIns = qibo::GetService<CTPlugInManager>();
    ASSERT_NE(m_plugIns, nullptr);
    m_plugIns->GetPropertyByName("PlugInPath").FromString(QIBO_TEST_PLUGIN_DIR);
  }

  CTPlugInManager* m_plugIns = nullptr;
};

}  // namespace

// An object of a class with a page gets that page; the system (no object,
// or the service manager) gets every page, each finding its own object;
// any other object gets none. Each page is made and given back once.
TEST_F(PropertyPageManagerTest, ShowsTheObjectsPagesOrEveryPageForTheSystem) {
  ASSERT_TRUE(qiBO_LoadPlugIn("PagePlugIn.plug"));
  auto* log = reinterpret_cast<TestPageLog* (*)()>(m_plugIns->GetPlugInSymbol(0, "TestPage_Log"))();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(m_plugIns->GetPlugInSymbol(1, "TestPage_Log"), nullptr);
  auto* gadget = static_cast<CTNamed*>(qiBO_CreateClassByName("TestPagedGadget"));
  auto* widget = static_cast<CTNamed*>(qiBO_CreateClassByName("TestPagedWidget"));
  ASSERT_TRUE(gadget && widget);
  CTNamed* system = qibo::GetService<CTServiceManager>();
  CTNamed* other = m_plugIns;
  const struct {
    const char* name;
    CTNamed* object;
    Result answer;
    Shown shown;
    bool result;
  } cases[] = {
      {"gadget", gadget, Result::kApplied, {{0, gadget}}, true},
      {"widget, cancelled", widget, Result::kCancelled, {{1, widget}}, true},
      {"gadget, not shown", gadget, Result::kNotShown, {{0, gadget}}, false},
      {"the system", system, Result::kApplied, {{0, nullptr}, {1, nullptr}}, true},
      {"no object", nullptr, Result::kCancelled, {{0, nullptr}, {1, nullptr}}, true},
      {"an object without pages", other, Result::kApplied, {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    *log = TestPageLog();
    log->result = c.answer;
    EXPECT_EQ(qiBO_ShowPropertyPage(c.object), c.result);
    EXPECT_EQ(log->shown, c.shown);
    EXPECT_EQ(log->created, static_cast<int>(c.shown.size()));
    EXPECT_EQ(log->deleted, log->created);
  }
  gadget->Delete();
  widget->Delete();
}

TEST_F(PropertyPageManagerTest, PlugInsWithoutCompletePagesShowNothing) {
  EXPECT_FALSE(qiBO_ShowPropertyPage(nullptr));
  EXPECT_TRUE(Logged("No loaded plug-in offers a property page"));
  ASSERT_TRUE(qiBO_LoadPlugIn("GoodPlugIn.plug"));  // no page exports at all
  EXPECT_FALSE(qiBO_ShowPropertyPage(nullptr));
  ASSERT_TRUE(qiBO_LoadPlugIn("IncompletePagePlugIn.plug"));
  EXPECT_FALSE(qiBO_ShowPropertyPage(nullptr));
  EXPECT_TRUE(Logged("IncompletePagePlugIn.plug: incomplete property-page exports"));
}
