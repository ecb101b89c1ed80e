#include "core/persist/SmartRegistry.h"

#include <cstring>

#include "core/kernel/Logging.h"
#include "core/object/CTBasic.h"
#include "core/object/DProperty.h"
#include "core/persist/IniFile.h"

namespace {

// Sentinels that tell a missing key from a stored one: a stored integer of
// 0xCDCDCDCD or the text "$$DUMMY" therefore reads as absent.
constexpr int32_t kMissingInt = static_cast<int32_t>(0xCDCDCDCDu);
constexpr const char* kMissingText = "$$DUMMY";

}  // namespace

QIBO_String SmartRegistry::MakeKey(const CTBasic* object, const char* subName) {
  QIBO_String key = "QIBO Settings";
  if (object) key = object->GetCD()->GetName();
  if (subName && subName[0] != '\0') {
    key += "_";
    key += subName;
  }
  return key;
}

bool SmartRegistry::Open(const CTBasic* object, const char* subName) {
  Close();
  m_key = MakeKey(object, subName);
  m_object = object;
  m_reported = false;
  m_open = true;
  return true;
}

bool SmartRegistry::Read(DProperty& property) {
  if (!m_open || property.ReadOnly()) return false;
  const char* section = m_key.c_str();
  const char* key = property.GetName();
  switch (property.GetType()) {
    case ptByte:
    case ptWord:
    case ptBoolean: {
      const int32_t value = qibo::IniGetInt(kFileName, section, key, kMissingInt);
      if (value == kMissingInt) return false;
      property.FromInt(value);
      break;
    }
    case ptDWord:
    case ptInteger: {
      const int32_t value = qibo::IniGetInt(kFileName, section, key, kMissingInt);
      if (value == kMissingInt || !property.GetPtr()) return false;
      memcpy(property.GetPtr(), &value, sizeof(value));
      break;
    }
    case ptFloat:
    case ptDouble:
    case ptString:
    case ptASCIIZ: {
      const QIBO_String text = qibo::IniGetString(kFileName, section, key, kMissingText);
      if (text == kMissingText) return false;
      property.FromString(text.c_str());
      break;
    }
    case ptUnknownData:
      if (!property.GetPtr() || property.GetSize() < 1) return false;
      if (!qibo::IniGetStruct(kFileName, section, key, property.GetPtr(), property.GetSize())) return false;
      break;
    default:
      return false;
  }
  property.SetChanged(true);
  return true;
}

bool SmartRegistry::Write(DProperty& property) {
  if (!m_open) return false;
  if (WriteValue(property)) return true;
  // Only a failure of the file itself is reported; a kind of property the
  // file does not store fails quietly.
  if (!m_reported && *qibo::IniLastError() != '\0') {
    m_reported = true;
    const QIBO_String text =
        QIBO_String::Format("Settings not saved to %s: %s", kFileName, qibo::IniLastError());
    qiBO_Warning(text.c_str(), const_cast<CTBasic*>(m_object));
  }
  return false;
}

bool SmartRegistry::WriteValue(DProperty& property) {
  qibo::IniClearLastError();
  const char* section = m_key.c_str();
  const char* key = property.GetName();
  switch (property.GetType()) {
    case ptByte:
    case ptWord:
    case ptBoolean:
    case ptDWord:
    case ptInteger:
      return qibo::IniWriteString(kFileName, section, key,
                                  QIBO_String::Format("%d", property.ToInt()).c_str());
    case ptFloat:
    case ptDouble:
    case ptString:
    case ptASCIIZ:
      return qibo::IniWriteString(kFileName, section, key, property.ToString().c_str());
    case ptUnknownData:
      if (!property.GetPtr() || property.GetSize() < 1) return false;
      return qibo::IniWriteStruct(kFileName, section, key, property.GetPtr(), property.GetSize());
    default:
      return false;
  }
}
