#pragma once

#include <cstdint>

#include "core/object/CTInterface.h"

// Message codes: the top four bits give the severity.
constexpr uint32_t kCodeInfo = 0x10000000;
constexpr uint32_t kCodeMinorWarning = 0x20000000;
constexpr uint32_t kCodeWarning = 0x30000000;
constexpr uint32_t kCodeError = 0x40000000;
constexpr uint32_t kCodeFatal = 0x50000000;
constexpr uint32_t kCodeInternal = 0x60000000;
constexpr uint32_t kCodeSeverityMask = 0xF0000000;

// An object that reports errors, warnings and information. It keeps its own
// last error and forwards each message to the error-manager service when one
// is running. Warnings and information are forwarded only below the
// object's verbose level.
class CTLogged : public CTInterface {
  QIBO_CLASS(CTLogged)

 public:
  explicit CTLogged(const char* name = nullptr) : CTInterface(name) {}

  void DoAddProperties() override;
  virtual QIBO_String TranslateErrorCode(uint32_t code);

  bool HasError() const { return m_error; }
  QIBO_String LastErrorMsg() const { return m_lastErrorMsg; }
  uint32_t LastErrorCode() const { return m_lastErrorCode; }
  int GetVerboseLevel() const { return m_verboseLevel; }
  void SetVerboseLevel(int level) { m_verboseLevel = level; }

  // Each reports and returns false (errors) or true (warnings, information),
  // so a method can fail and report in one statement.
  bool ErrorCode(uint32_t code);
  bool ErrorMsg(const char* text);
  bool WarningMsg(const char* text, int level = 0);
  bool InfoMsg(const char* text, int level = 0);
  // The same with printf formatting; the text is cut to 255 characters.
  bool ErrorMsgF(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool WarningMsgF(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  bool InfoMsgF(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  bool NoError() {
    m_error = false;
    return true;
  }

 private:
  QIBO_String m_lastErrorMsg = "None";
  uint32_t m_lastErrorCode = 0;
  bool m_error = false;
  int m_verboseLevel = 1;
};
