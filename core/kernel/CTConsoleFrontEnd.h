#pragma once

#include "core/kernel/CTClassManager.h"
#include "core/kernel/CTFrontEnd.h"
#include "core/object/Ref.h"

// The front end on the process console (standard output): one line per
// error-log record, prefixed by severity ("ERROR: ", "WARNING: ", ...), and
// progress steps as dots. Lines are at most 255 characters. Making one
// starts the error manager, without which objects log nothing.
//
// Holds one reference on the class-manager service, taken the first time a
// record names a class without an object, to print the class's name; it is
// dropped on destruction.
class CTConsoleFrontEnd : public CTFrontEnd {
  QIBO_CLASS(CTConsoleFrontEnd)

 public:
  CTConsoleFrontEnd();
  ~CTConsoleFrontEnd() override;
  CTConsoleFrontEnd(const CTConsoleFrontEnd&) = delete;
  CTConsoleFrontEnd& operator=(const CTConsoleFrontEnd&) = delete;

  void ErrorManagerMessage(errorstruct_t* record) override;
  // Prints `steps` full stops, no line break.
  void StepProgress(int steps) override;

  // The line printed for a record, without the line break.
  QIBO_String FormatRecord(const errorstruct_t& record);
  static const char* Prefix(uint32_t code);

 private:
  QIBO_String ClassName(uint32_t id);

  Ref<CTClassManager> m_classes;  // taken on first need
};
