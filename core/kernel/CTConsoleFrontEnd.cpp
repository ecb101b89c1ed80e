#include "core/kernel/CTConsoleFrontEnd.h"

#include <cstdio>

#include "core/kernel/CTClassManager.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/ConsoleOutput.h"
#include "core/kernel/Kernel.h"

QIBO_IMPLEMENT_CLASS(CTConsoleFrontEnd, CTFrontEnd, .desc = "Basic Console-Frontend")

CTConsoleFrontEnd::CTConsoleFrontEnd() : CTFrontEnd("Console Frontend") {
  // Objects log only to a running error manager, and a console is there to
  // show that log: it makes sure the log runs, so that every warning of
  // the program (an importer's among them) reaches it.
  qibo::GetService<CTErrorManager>();
}

CTConsoleFrontEnd::~CTConsoleFrontEnd() = default;

const char* CTConsoleFrontEnd::Prefix(uint32_t code) {
  switch (code & kCodeSeverityMask) {
    case kCodeError:
      return "ERROR: ";
    case kCodeMinorWarning:
      return "Warning: ";
    case kCodeWarning:
      return "WARNING: ";
    case kCodeFatal:
      return "FATAL: ";
    case kCodeInternal:
      return "INTERNAL: ";
    default:
      return "Message: ";
  }
}

QIBO_String CTConsoleFrontEnd::ClassName(uint32_t id) {
  if (!m_classes) m_classes = Ref(qibo::GetService<CTClassManager>());
  if (m_classes && !m_classes->IsStarted()) m_classes->Start();
  if (!m_classes || !m_classes->IsStarted()) return QIBO_String::Format("0x%08X", id);
  return m_classes->GetClassName(id);
}

QIBO_String CTConsoleFrontEnd::FormatRecord(const errorstruct_t& record) {
  // Read the record before asking the class manager: its own logging may
  // reach the error log again.
  const uint32_t code = record.code;
  const uint32_t classID = record.classID;
  CTBasic* object = record.object;
  QIBO_String text = record.message;  // cut to 255 characters
  if (CTNamed* named = qibo::Cast<CTNamed>(object)) {
    text += " (";
    text += named->GetName();
    text += ")";
  } else if (classID != 0) {
    text += " [";
    text += ClassName(classID);
    text += "]";
  }
  QIBO_String line = Prefix(code);
  line += text;  // cut again
  return line;
}

void CTConsoleFrontEnd::ErrorManagerMessage(errorstruct_t* record) {
  if (!record) return;
  qibo::ConsoleWriteLine(FormatRecord(*record).c_str());
}

void CTConsoleFrontEnd::StepProgress(int steps) {
  for (int i = 0; i < steps; ++i) qibo::ConsoleWrite(".");
}
