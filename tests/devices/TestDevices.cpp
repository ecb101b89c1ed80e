#include "tests/devices/TestDevices.h"

#include <algorithm>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"

QIBO_IMPLEMENT_CLASS(CTTestDevice, CTDevice, .desc = "Test device kind", .isAbstract = true)
QIBO_IMPLEMENT_CLASS(TestDevice, CTTestDevice, .desc = "Test device")
QIBO_IMPLEMENT_CLASS(TestOtherDevice, CTTestDevice, .desc = "Other test device")
QIBO_IMPLEMENT_CLASS(CTTestGadget, CTTestDevice, .desc = "Test gadget kind", .isAbstract = true)
QIBO_IMPLEMENT_CLASS(TestBrokenGadget, CTTestGadget, .desc = "Broken gadget")
QIBO_IMPLEMENT_CLASS(TestDisabledGadget, CTTestGadget, .desc = "Disabled gadget")

bool CTTestDevice::StartDevice() {
  s_journal.push_back("start " + m_tag);
  const bool refused = std::find(s_refuseStart.begin(), s_refuseStart.end(), GetCD()) != s_refuseStart.end();
  if (m_failStart || refused) return ErrorMsg("test start failure");
  return CTDevice::StartDevice();
}

bool CTTestDevice::StopDevice() {
  s_journal.push_back("stop " + m_tag);
  if (m_failStop) return ErrorMsg("test stop failure");
  return CTDevice::StopDevice();
}

namespace qibo::test {

void DeviceFixture::SetUp() {
  ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
  CTTestDevice::s_journal.clear();
  CTTestDevice::s_refuseStart.clear();
  ASSERT_NE(qiBO_GetService(CTErrorManager::_CD()), nullptr);
}

std::vector<std::string> DeviceFixture::Log(const CTBasic* object) {
  std::vector<std::string> texts;
  for (int i = 0; i < qiBO_GetErrorsCount(); ++i)
    if (const errorstruct_t* r = qiBO_GetErrorNo(i); r->object == object) texts.emplace_back(r->message);
  return texts;
}

bool DeviceFixture::Logged(const CTBasic* object, const char* text, uint32_t code) {
  for (int i = 0; i < qiBO_GetErrorsCount(); ++i) {
    const errorstruct_t* r = qiBO_GetErrorNo(i);
    if (r->object == object && r->code == code && std::string(r->message) == text) return true;
  }
  return false;
}

}  // namespace qibo::test
