#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/devices/CTDevice.h"
#include "core/object/Ref.h"
#include "tests/support/EngineFixture.h"

// Test devices: each records its StartDevice/StopDevice calls and the
// messages it receives in one shared journal, and can be told to fail.
class CTTestDevice : public CTDevice {
  QIBO_CLASS(CTTestDevice)

 public:
  static inline std::vector<std::string> s_journal;
  // Every StartDevice of these classes fails (instances the manager makes).
  static inline std::vector<const ClassDesc*> s_refuseStart;

  std::string m_tag = "?";
  bool m_failStart = false;
  bool m_failStop = false;
  std::vector<std::pair<int, void*>> m_messages;

  void OnMessage(int message, void* data) override {
    m_messages.emplace_back(message, data);
    CTDevice::OnMessage(message, data);
  }

 protected:
  bool StartDevice() override;
  bool StopDevice() override;
};

class TestDevice : public CTTestDevice {
  QIBO_CLASS(TestDevice)
};
class TestOtherDevice : public CTTestDevice {
  QIBO_CLASS(TestOtherDevice)
};

// A kind of device with no usable implementation: one never starts, the
// other is disabled from birth.
class CTTestGadget : public CTTestDevice {
  QIBO_CLASS(CTTestGadget)
};
class TestBrokenGadget : public CTTestGadget {
  QIBO_CLASS(TestBrokenGadget)

 public:
  TestBrokenGadget() { m_failStart = true; }
};
class TestDisabledGadget : public CTTestGadget {
  QIBO_CLASS(TestDisabledGadget)

 public:
  TestDisabledGadget() { Disable(); }
};

namespace qibo::test {

// The error log runs from the start of each test, so that devices'
// messages can be read back.
class DeviceFixture : public EngineFixture {
 protected:
  void SetUp() override;

  // A new test device (count 0: hold it with Ref or Delete() it),
  // logging everything up to level 4.
  template <class T = TestDevice>
  static T* Make(const char* tag) {
    T* device = static_cast<T*>(static_cast<CTBasic*>(T::_CD()->Create()));
    device->m_tag =
        std::string(tag);  // a move: GCC 12 warns wrongly (-Wrestrict) on assigning the text at -O3
    device->SetVerboseLevel(5);
    return device;
  }

  // The texts logged by object, oldest first.
  static std::vector<std::string> Log(const CTBasic* object);
  // Whether object logged text with the severity code (kCodeWarning, ...).
  static bool Logged(const CTBasic* object, const char* text, uint32_t code);
};

}  // namespace qibo::test
