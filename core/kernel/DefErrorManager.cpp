#include "core/kernel/DefErrorManager.h"

#include <algorithm>

#include "core/kernel/CTFrontEnd.h"
#include "core/kernel/CTFrontEndManager.h"
#include "core/kernel/Kernel.h"
#include "core/object/Ref.h"

QIBO_IMPLEMENT_CLASS(DefErrorManager, CTErrorManager, .desc = "Error log manager", .product = "qiBO DefMgr")

namespace {
constexpr const char* kMaxReachedText = "Maximum number of messages reached";
}  // namespace

DefErrorManager::~DefErrorManager() {
  // Normally emptied by DoStop. Records left over must not leave this
  // manager in their objects' holder lists.
  FreeAll(m_records);
  FreeAll(m_retired);
}

void DefErrorManager::DoAddProperties() {
  CTErrorManager::DoAddProperties();
  AddProperty(DProperty(m_maxErrors, "MaxErrors"), DefErrorManager::_CD());
}

void DefErrorManager::OnPropertyChanged(DProperty& property) {
  if (property.ID() == &m_maxErrors && m_maxErrors < kMinMaxErrors) m_maxErrors = kMinMaxErrors;
  CTErrorManager::OnPropertyChanged(property);
}

void DefErrorManager::OnDelete(CTReferenced* dying) {
  for (const Record& r : m_records)
    if (r->object == dying) r->object = nullptr;
  for (const Record& r : m_retired)
    if (r->object == dying) r->object = nullptr;
  CTErrorManager::OnDelete(dying);
}

QIBO_String DefErrorManager::TranslateErrorCode(uint32_t code) {
  return code == kCodeMaxReached ? QIBO_String(kMaxReachedText) : CTErrorManager::TranslateErrorCode(code);
}

void DefErrorManager::ErrorCode(uint32_t code, CTBasic* object) {
  CTLogged* logged = qibo::Cast<CTLogged>(object);
  const QIBO_String text = logged ? logged->TranslateErrorCode(code) : QIBO_String("Unknown error");
  AddRecord(text.c_str(), code, object);
}

void DefErrorManager::Info(const char* text, CTBasic* object) { AddRecord(text, kCodeInfo, object); }
void DefErrorManager::Warning(const char* text, CTBasic* object) { AddRecord(text, kCodeWarning, object); }
void DefErrorManager::Error(const char* text, CTBasic* object) { AddRecord(text, kCodeError, object); }

errorstruct_t* DefErrorManager::GetErrorNo(int i) {
  return i >= 0 && i < GetErrorsCount() ? m_records[static_cast<size_t>(i)].get() : nullptr;
}

void DefErrorManager::AddRecord(const char* text, uint32_t code, CTBasic* object) {
  // At least two: the overflow warning itself must fit without overflowing.
  if (GetErrorsCount() >= std::max(m_maxErrors, kMinMaxErrors)) {
    RemoveAll();
    WarningMsg(kMaxReachedText, 0);  // through our own Warning: the new first record
  }

  auto record = std::make_unique<errorstruct_t>();
  record->object = object;
  record->classID = object ? object->ID() : 0;
  record->code = code;
  qibo::CopyText(record->message, sizeof(record->message), text ? text : "");
  errorstruct_t* added = record.get();

  if (m_records.size() == m_records.capacity()) m_records.reserve(m_records.capacity() + kGrowStep);
  m_records.push_back(std::move(record));
  if (auto* referenced = qibo::Cast<CTReferenced>(object)) referenced->AddRef(this);

  Notify(added);
}

void DefErrorManager::Notify(errorstruct_t* record) {
  auto* frontEnds = qibo::FindService<CTFrontEndManager>();
  if (!frontEnds) return;
  Ref keepFrontEnds(frontEnds);
  ++m_notifying;
  frontEnds->NotifyFrontEnds(this, static_cast<int>(kFrontEndErrorMessage), record);
  if (--m_notifying == 0) FreeAll(m_retired);
}

void DefErrorManager::RemoveAll() {
  if (m_notifying > 0) {
    // A front end is still looking at one of these: keep them (and their
    // references) until the notification is over.
    for (Record& r : m_records) m_retired.push_back(std::move(r));
    m_records.clear();
  } else {
    FreeAll(m_records);
  }
}

void DefErrorManager::FreeAll(std::vector<Record>& records) {
  // Last first, so that each removal is the "move last into the gap" of a
  // plain array.
  while (!records.empty()) {
    Record last = std::move(records.back());
    records.pop_back();
    if (auto* referenced = qibo::Cast<CTReferenced>(last->object)) referenced->RemoveRef(this);
  }
}

bool DefErrorManager::DoStart() {
  const size_t wanted = static_cast<size_t>(std::max(m_maxErrors, kMinMaxErrors));
  if (m_records.capacity() < wanted) m_records.reserve(wanted);
  return true;
}

bool DefErrorManager::DoStop() {
  RemoveAll();
  std::vector<Record>().swap(m_records);
  return true;
}
