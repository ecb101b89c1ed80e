// A plug-in with a property page for each of its two classes; the pages
// note what they were shown for. Built a second time without
// qiBO_DeletePropertyPage (QIBO_TEST_INCOMPLETE_PAGES) as a plug-in whose
// page exports are incomplete.
#include "tests/kernel/plugins/PagePlugIn.h"

#include <utility>
#include <vector>

#include "core/kernel/DPropertyPage.h"
#include "core/kernel/PlugInEntry.h"
#include "core/object/CTNamed.h"

class TestPagedGadget : public CTNamed {
  QIBO_CLASS(TestPagedGadget)
};
class TestPagedWidget : public CTNamed {
  QIBO_CLASS(TestPagedWidget)
};
QIBO_IMPLEMENT_CLASS(TestPagedGadget, CTNamed, .url = "PagePlugIn.plug")
QIBO_IMPLEMENT_CLASS(TestPagedWidget, CTNamed, .url = "PagePlugIn.plug")

namespace {

TestPageLog g_log;

class TestPage : public DPropertyPage {
 public:
  explicit TestPage(int index) : m_index(index) { ++g_log.created; }
  ~TestPage() override { ++g_log.deleted; }
  const char* GetCaption() const override { return "Test page"; }
  Result DoModal(CTNamed* object) override {
    g_log.shown.emplace_back(m_index, object);
    return g_log.result;
  }

 private:
  int m_index;
};

class PagePlugInLib : public CTPlugInLib {
 protected:
  void AddClasses() override {
    AddClass(TestPagedGadget::_CD());
    AddClass(TestPagedWidget::_CD());
  }
};

}  // namespace

QIBO_PLUGIN_ENTRY(PagePlugInLib)

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

TEST_EXPORT TestPageLog* TestPage_Log() { return &g_log; }
TEST_EXPORT int qiBO_InitPropertyPageLib() { return 1; }
TEST_EXPORT uint32_t qiBO_GetPropertyPageClassID(int index) {
  if (index == 0) return TestPagedGadget::_CD()->ID();
  if (index == 1) return TestPagedWidget::_CD()->ID();
  return 0;
}
TEST_EXPORT DPropertyPage* qiBO_CreatePropertyPage(int index) {
  return index == 0 || index == 1 ? new TestPage(index) : nullptr;
}
#ifndef QIBO_TEST_INCOMPLETE_PAGES
TEST_EXPORT void qiBO_DeletePropertyPage(DPropertyPage* page) { delete page; }
#endif
