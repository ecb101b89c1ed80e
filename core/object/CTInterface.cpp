#include "core/object/CTInterface.h"

#include "core/object/ObjectServices.h"

QIBO_IMPLEMENT_CLASS(CTInterface, CTNamed, .desc = "DProperty Interface")

namespace {
constexpr const char* kUseDefaultSettings = "UseDefaultSettings";
}

CTInterface::CTInterface(const CTInterface& other)
    : CTNamed(other),
      m_applyAfterRead(other.m_applyAfterRead),
      m_useDefaultSettings(other.m_useDefaultSettings) {}

CTInterface& CTInterface::operator=(const CTInterface& other) {
  if (this != &other) {
    CTNamed::operator=(other);
    m_applyAfterRead = other.m_applyAfterRead;
    m_useDefaultSettings = other.m_useDefaultSettings;
  }
  return *this;
}

void CTInterface::BuildIfEmpty() {
  if (TableEmpty()) DoAddProperties();
}

bool CTInterface::MakeProperties() {
  BuildIfEmpty();
  return !TableEmpty();
}

DProperty& CTInterface::GetPropertyNo(int i) {
  if (static_cast<unsigned>(i) >= TableSize()) return DProperty::Null();
  return Entry(static_cast<size_t>(i));
}

DProperty& CTInterface::GetPropertyByName(const char* name) {
  if (!name) return DProperty::Null();
  BuildIfEmpty();
  for (DProperty& p : Entries())
    if (qibo::EqualsIC(p.GetName(), name)) return p;
  return DProperty::Null();
}

DProperty& CTInterface::GetPropertyByPtr(const void* field) {
  BuildIfEmpty();
  for (DProperty& p : Entries())
    if (p.ID() == field) return p;
  return DProperty::Null();
}

DProperty& CTInterface::InvalidatePtr(const void* field) {
  DProperty& p = GetPropertyByPtr(field);
  p.Invalidate();
  return p;
}

DProperty& CTInterface::ApplyPtr(const void* field) {
  DProperty& p = InvalidatePtr(field);
  OnPropertyChanged(p);
  return p;
}

void CTInterface::ApplyChanges() {
  // By index: a handler may add properties and move the table.
  for (size_t i = 0; i < TableSize(); ++i)
    if (Entry(i).Changed()) OnPropertyChanged(Entry(i));
}

void CTInterface::CopyProperties(CTInterface* other) {
  if (!other) return;
  BuildIfEmpty();
  for (size_t i = 0; i < TableSize(); ++i) {
    const DProperty source = other->GetPropertyByName(Entry(i).GetName());
    Entry(i).FromProperty(source);
  }
}

void CTInterface::RemoveProperties() { m_properties.reset(); }

void CTInterface::DoAddProperties() {
  for (const DProperty& p : Entries())
    if (p.ID() == &m_useDefaultSettings) return;  // already added ahead of a subclass's first entry
  AddProperty(DProperty(m_useDefaultSettings, kUseDefaultSettings), CTInterface::_CD());
}

void CTInterface::OnPropertyChanged(DProperty& property) { property.SetChanged(false); }

DProperty& CTInterface::Append(DProperty property) {
  // "UseDefaultSettings" is always entry 0, even when a subclass adds its
  // own entries before calling its base.
  if (TableEmpty() && !qibo::EqualsIC(property.GetName(), kUseDefaultSettings))
    CTInterface::DoAddProperties();
  if (!m_properties) m_properties = std::make_unique<Table>();
  return m_properties->Add(property);
}

DProperty& CTInterface::AddProperty(const DProperty& property, const ClassDesc* owner) {
  DProperty entry(property);
  entry.SetPersistent(true);
  entry.SetOwnerID(owner ? owner->ID() : 0);
  return Append(entry);
}

DProperty& CTInterface::AddPropertyReg(const DProperty& property, const ClassDesc* owner) {
  return AddProperty(property, owner);
}

DProperty& CTInterface::AddPropertyRO(const DProperty& property, const ClassDesc* owner) {
  DProperty entry(property);
  entry.SetPersistent(true);
  entry.SetReadOnly(true);
  entry.SetChanged(false);
  entry.SetOwnerID(owner ? owner->ID() : 0);
  return Append(entry);
}

void CTInterface::ReadProperties() {
  BuildIfEmpty();
  if (TableEmpty()) return;
  if (!m_useDefaultSettings) {
    if (auto settings = qibo::Services().OpenSettings(this)) {
      for (size_t i = 0; i < TableSize() && !m_useDefaultSettings; ++i) {
        DProperty& p = Entry(i);
        if (!p.ReadOnly() && p.Persistent()) settings->Read(p);
      }
    }
  }
  if (m_applyAfterRead) ApplyChanges();
}

void CTInterface::WriteProperties() {
  BuildIfEmpty();
  if (TableEmpty()) return;
  ApplyChanges();
  int stored = 0;
  for (const DProperty& p : Entries())
    if (!p.ReadOnly() && p.Persistent()) ++stored;
  if (stored < 2) return;  // nothing besides "UseDefaultSettings"
  auto settings = qibo::Services().OpenSettings(this);
  if (!settings) return;
  for (DProperty& p : Entries())
    if (!p.ReadOnly() && p.Persistent()) settings->Write(p);
}
