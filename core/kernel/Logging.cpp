#include "core/kernel/Logging.h"

#include <cstdarg>
#include <cstdio>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/ServiceCache.h"

namespace {

CTErrorManager* Errors() {
  return static_cast<CTErrorManager*>(
      qibo::GetCachedService(qibo::CachedService::Error, CTErrorManager::_CD()->ID()));
}

}  // namespace

void qiBO_ErrorCode(uint32_t code, CTBasic* obj) {
  if (CTErrorManager* errors = Errors()) errors->ErrorCode(code, obj);
}

void qiBO_Info(const char* text, CTBasic* obj) {
  if (CTErrorManager* errors = Errors()) errors->Info(text, obj);
}

void qiBO_Warning(const char* text, CTBasic* obj) {
  if (CTErrorManager* errors = Errors()) errors->Warning(text, obj);
}

void qiBO_Error(const char* text, CTBasic* obj) {
  if (CTErrorManager* errors = Errors()) errors->Error(text, obj);
}

void qiBO_Printf(const char* format, ...) {
  if (!format) return;
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int length = vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  // vsnprintf answers the untruncated length: anything over 255 was cut.
  if (length <= 0 || length > static_cast<int>(sizeof(buffer)) - 1) return;
  if (CTErrorManager* errors = Errors()) errors->Info(buffer, nullptr);
}

int qiBO_GetErrorsCount() {
  CTErrorManager* errors = Errors();
  return errors ? errors->GetErrorsCount() : 0;
}

errorstruct_t* qiBO_GetErrorNo(int i) {
  CTErrorManager* errors = Errors();
  return errors ? errors->GetErrorNo(i) : nullptr;
}
