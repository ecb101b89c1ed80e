#pragma once

#include <memory>
#include <span>

#include "core/object/CTNamed.h"
#include "core/object/DProperty.h"
#include "core/object/StepArray.h"

// An object that publishes a table of named, typed properties bound to its
// own fields. The table is built on first use by DoAddProperties; persistent
// properties are read from and written to the settings file, one section
// per class.
class CTInterface : public CTNamed {
  QIBO_CLASS(CTInterface)

 public:
  explicit CTInterface(const char* name = nullptr) : CTNamed(name) {}
  // A copy keeps the settings flags; its table is rebuilt for its own fields.
  CTInterface(const CTInterface& other);
  CTInterface& operator=(const CTInterface& other);

  bool MakeProperties();
  int GetPropertiesCount() const { return m_properties ? m_properties->Count() : 0; }
  // Entry i, or the null property; does not build the table.
  DProperty& GetPropertyNo(int i);
  // First entry whose name matches ignoring case, or the null property.
  DProperty& GetPropertyByName(const char* name);
  DProperty& GetPropertyByPtr(const void* field);
  DProperty& InvalidatePtr(const void* field);
  DProperty& ApplyPtr(const void* field);
  // Reports every changed entry to OnPropertyChanged, in table order.
  void ApplyChanges();
  void CopyProperties(CTInterface* other);
  void RemoveProperties();

  // Each class adds its own properties after its base's.
  virtual void DoAddProperties();
  // The property's field was changed from outside; react, then call the base.
  virtual void OnPropertyChanged(DProperty& property);
  virtual void ReadProperties();
  virtual void WriteProperties();

  bool GetUseDefaultSettings() const { return m_useDefaultSettings; }
  void SetApplyAfterRead(bool on) { m_applyAfterRead = on; }

 protected:
  DProperty& AddProperty(const DProperty& property, const ClassDesc* owner);
  DProperty& AddPropertyReg(const DProperty& property, const ClassDesc* owner);
  DProperty& AddPropertyRO(const DProperty& property, const ClassDesc* owner);

 private:
  void BuildIfEmpty();
  DProperty& Append(DProperty property);

  using Table = qibo::StepArray<DProperty>;
  // Built on first use: most objects of a scene never publish theirs.
  std::unique_ptr<Table> m_properties;
  bool TableEmpty() const { return !m_properties || m_properties->Empty(); }
  size_t TableSize() const { return m_properties ? m_properties->Size() : 0; }
  DProperty& Entry(size_t i) { return (*m_properties)[i]; }
  std::span<DProperty> Entries() {
    return m_properties ? std::span<DProperty>(m_properties->begin(), m_properties->end())
                        : std::span<DProperty>();
  }
  bool m_applyAfterRead = true;
  bool m_useDefaultSettings = false;
};
