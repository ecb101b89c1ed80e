#include "core/object/CTLogged.h"

#include <cstdarg>
#include <cstdio>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTLogged, CTInterface, .desc = "Logging of error-messages")

namespace {

// The running error manager, or null: logging never creates services.
CTErrorManager* RunningErrorManager() { return qibo::FindService<CTErrorManager>(); }

// The formatted text, cut to what a message keeps.
QIBO_String FormatV(const char* format, va_list args) {
  char text[QIBO_String::kMaxLength + 1];
  vsnprintf(text, sizeof(text), format ? format : "", args);
  return text;
}

}  // namespace

void CTLogged::DoAddProperties() {
  CTInterface::DoAddProperties();
  AddPropertyRO(DProperty(m_lastErrorMsg, "LastErrorMsg"), CTLogged::_CD());
  AddPropertyRO(DProperty(qibo::AsDWord(m_lastErrorCode), "LastErrorCode"), CTLogged::_CD());
  AddProperty(DProperty(m_verboseLevel, "VerboseLevel"), CTLogged::_CD());
}

QIBO_String CTLogged::TranslateErrorCode(uint32_t code) { return code == 0 ? "None" : "Unknown error"; }

bool CTLogged::ErrorCode(uint32_t code) {
  m_lastErrorCode = code;
  m_lastErrorMsg = TranslateErrorCode(code);
  m_error = true;
  if (CTErrorManager* errors = RunningErrorManager()) errors->ErrorCode(code, this);
  return false;
}

bool CTLogged::ErrorMsg(const char* text) {
  m_lastErrorCode = 1;
  m_lastErrorMsg = text;
  m_error = true;
  if (CTErrorManager* errors = RunningErrorManager()) errors->Error(text, this);
  return false;
}

bool CTLogged::WarningMsg(const char* text, int level) {
  if (level == 0) {
    m_error = true;
    m_lastErrorMsg = text;
  }
  if (level < m_verboseLevel)
    if (CTErrorManager* errors = RunningErrorManager()) errors->Warning(text, this);
  return true;
}

bool CTLogged::InfoMsg(const char* text, int level) {
  if (level < m_verboseLevel)
    if (CTErrorManager* errors = RunningErrorManager()) errors->Info(text, this);
  return true;
}

bool CTLogged::ErrorMsgF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const QIBO_String text = FormatV(format, args);
  va_end(args);
  return ErrorMsg(text.c_str());
}

bool CTLogged::WarningMsgF(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const QIBO_String text = FormatV(format, args);
  va_end(args);
  return WarningMsg(text.c_str(), level);
}

bool CTLogged::InfoMsgF(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const QIBO_String text = FormatV(format, args);
  va_end(args);
  return InfoMsg(text.c_str(), level);
}
