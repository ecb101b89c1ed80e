#include "demo/CTWinTimer.h"

#include <time.h>

#include <chrono>
#include <thread>

QIBO_IMPLEMENT_CLASS(CTWinTimer, CTTimer, .desc = "MultiMedia Timer", .product = "qiBO Devices",
                     .fixedId = 0x04C8916D)

CTWinTimer::CTWinTimer() { SetName("MultiMedia Timer"); }

uint32_t CTWinTimer::Milliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

int32_t CTWinTimer::SetTime(int32_t t) {
  m_lastTime = Scaled() - static_cast<uint32_t>(t);
  return t;
}

int32_t CTWinTimer::GetRawTime() { return static_cast<int32_t>(Scaled() - m_lastTime); }

int32_t CTWinTimer::GetTime() { return m_paused ? static_cast<int32_t>(m_pauseTime) : GetRawTime(); }

bool CTWinTimer::Reset() {
  m_paused = false;
  m_pauseTime = 0;
  SetTime(0);
  return CTTimer::Reset();
}

bool CTWinTimer::Pause() {
  if (!m_paused) m_pauseTime = static_cast<uint32_t>(GetTime());
  m_paused = true;
  return true;
}

bool CTWinTimer::Continue() {
  if (m_paused) SetTime(static_cast<int32_t>(m_pauseTime));
  m_paused = false;
  return true;
}

void CTWinTimer::Sleep(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool CTWinTimer::StartDevice() { return Reset(); }

void CTWinTimer::DoAddProperties() {
  CTTimer::DoAddProperties();
  AddPropertyRO(DProperty(qibo::AsDWord(m_lastTime), "LastTime"), CTWinTimer::_CD());
  AddPropertyRO(DProperty(qibo::AsDWord(m_pauseTime), "PauseTime"), CTWinTimer::_CD());
  AddProperty(DProperty(m_paused, "Paused"), CTWinTimer::_CD());
  AddProperty(DProperty(m_multiplier, "Multiplier"), CTWinTimer::_CD());
}
