#pragma once

#include <memory>
#include <vector>

#include "core/kernel/CTErrorManager.h"

// The default error log: a bounded list of message records, oldest first.
//
// Each record holds a named reference on its reporting object with the
// manager as holder, so deleting that object nulls the record's `object`
// (text and class ID stay). When the list has reached "MaxErrors", it is
// emptied and restarts with the warning "Maximum number of messages
// reached". Every new record is handed to the running front-end manager.
//
// Records handed to the front ends stay valid for the whole notification,
// even if a front end's own logging empties the list meanwhile: records
// removed during a notification are retired and freed once it ends.
class DefErrorManager : public CTErrorManager {
  QIBO_CLASS(DefErrorManager)

 public:
  static constexpr uint32_t kCodeMaxReached = 0x10001000;
  static constexpr int kDefaultMaxErrors = 100;
  static constexpr int kMinMaxErrors = 2;

  DefErrorManager() = default;
  ~DefErrorManager() override;
  DefErrorManager(const DefErrorManager&) = delete;
  DefErrorManager& operator=(const DefErrorManager&) = delete;

  void DoAddProperties() override;
  void OnPropertyChanged(DProperty& property) override;
  void OnDelete(CTReferenced* dying) override;
  QIBO_String TranslateErrorCode(uint32_t code) override;

  // The text is TranslateErrorCode of the object when it is a CTLogged,
  // "Unknown error" otherwise.
  void ErrorCode(uint32_t code, CTBasic* object) override;
  void Info(const char* text, CTBasic* object) override;
  void Warning(const char* text, CTBasic* object) override;
  void Error(const char* text, CTBasic* object) override;
  int GetErrorsCount() override { return static_cast<int>(m_records.size()); }
  errorstruct_t* GetErrorNo(int i) override;

  int GetMaxErrors() const { return m_maxErrors; }
  // Slots allocated for records.
  int GetCapacity() const { return static_cast<int>(m_records.capacity()); }

 protected:
  // Start makes room for "MaxErrors" records; stop frees them all.
  bool DoStart() override;
  bool DoStop() override;

 private:
  static constexpr size_t kGrowStep = 16;
  using Record = std::unique_ptr<errorstruct_t>;

  void AddRecord(const char* text, uint32_t code, CTBasic* object);
  void Notify(errorstruct_t* record);
  // Removes every record: freed at once, or retired during a notification.
  void RemoveAll();
  void FreeAll(std::vector<Record>& records);

  int m_maxErrors = kDefaultMaxErrors;
  int m_notifying = 0;
  std::vector<Record> m_records;
  std::vector<Record> m_retired;
};
