#pragma once

#include <cstdint>

class CTBasic;
struct errorstruct_t;

// The logging API for code that is not a CTLogged. Each function reaches
// the error manager through the library's cached reference (created and
// started on first use); without an error manager they do nothing and the
// queries answer 0 and null. obj is the reporting object, or null.

// The text is obj's TranslateErrorCode when obj is a CTLogged.
void qiBO_ErrorCode(uint32_t code, CTBasic* obj);
void qiBO_Info(const char* text, CTBasic* obj);
void qiBO_Warning(const char* text, CTBasic* obj);
void qiBO_Error(const char* text, CTBasic* obj);
// Logs the formatted text as information, without an object; an empty text
// or one longer than 255 characters is not logged.
void qiBO_Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int qiBO_GetErrorsCount();
// Record i of the log, oldest first; null outside 0..count-1. Valid until
// the next message is logged.
errorstruct_t* qiBO_GetErrorNo(int i);
