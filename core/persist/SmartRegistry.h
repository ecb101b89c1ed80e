#pragma once

#include "core/object/ObjectServices.h"
#include "core/object/QIBO_String.h"

class CTBasic;
class DProperty;

// Stores and loads property values in the settings file ".\qibo.ini", one
// section per class: the class name, or "QIBO Settings" without an object,
// followed by "_" and the sub-name when one is given. Keys are property
// names. A write that fails (a read-only file, a full disk) is logged once
// per open, through the object's log.
class SmartRegistry final : public qibo::SettingsSection {
 public:
  static constexpr const char* kFileName = ".\\qibo.ini";

  SmartRegistry() = default;
  ~SmartRegistry() override { Close(); }
  SmartRegistry(const SmartRegistry&) = delete;
  SmartRegistry& operator=(const SmartRegistry&) = delete;

  // Opens the object's section. Always succeeds; the file need not exist.
  bool Open(const CTBasic* object, const char* subName);
  bool Create(const CTBasic* object, const char* subName) { return Open(object, subName); }

  // False if not open, the property is read-only or not stored, or the key
  // is absent; otherwise loads the value and marks the property changed.
  bool Read(DProperty& property) override;
  // Whether the value was written.
  bool Write(DProperty& property) override;

  QIBO_String Key() const { return m_key; }
  bool Valid() const { return m_open; }
  void Close() { m_open = false; }

  static QIBO_String MakeKey(const CTBasic* object, const char* subName);

 private:
  bool WriteValue(DProperty& property);

  bool m_open = false;
  bool m_reported = false;
  const CTBasic* m_object = nullptr;
  QIBO_String m_key;
};
