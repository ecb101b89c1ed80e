#include "core/object/CTLogged.h"

#include <cstdarg>
#include <cstdio>

#include "core/object/ObjectServices.h"

QIBO_IMPLEMENT_CLASS(CTLogged, CTInterface, .desc = "Logging of error-messages")

namespace {

using Severity = qibo::ObjectServices::Severity;

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
  qibo::Services().ReportCode(this, code);
  return false;
}

bool CTLogged::ErrorMsg(const char* text) {
  m_lastErrorCode = 1;
  m_lastErrorMsg = text;
  m_error = true;
  qibo::Services().Report(this, Severity::kError, text);
  return false;
}

bool CTLogged::WarningMsg(const char* text, int level) {
  if (level == 0) {
    m_error = true;
    m_lastErrorMsg = text;
  }
  if (level < m_verboseLevel) qibo::Services().Report(this, Severity::kWarning, text);
  return true;
}

bool CTLogged::InfoMsg(const char* text, int level) {
  if (level < m_verboseLevel) qibo::Services().Report(this, Severity::kInfo, text);
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
