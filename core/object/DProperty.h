#pragma once

#include <cstdint>

#include "core/object/QIBO_String.h"

class CTBasic;
class CTBasicPtr;
class ClassDesc;

// Property types. The numbers are stored nowhere but are part of the
// published interface.
enum ptype_t : uint32_t {
  ptNull = 0,
  ptByte = 1,          // char / unsigned char
  ptWord = 2,          // short / unsigned short
  ptDWord = 3,         // 32-bit value, prints signed
  ptPointer = 4,       // void*, read-only
  ptInteger = 5,       // int / unsigned int
  ptBoolean = 6,       // bool
  ptFloat = 7,         // float
  ptDouble = 8,        // double
  ptString = 9,        // QIBO_String
  ptUnknownData = 10,  // raw block of the caller's size
  ptASCIIZ = 11,       // char buffer of the caller's size
  ptCTBasic = 12,      // an embedded object, read-only
  ptCTBasicRef = 13,   // CTBasic*, read-only
  ptSmartPtr = 14,     // a safe pointer, read-only
};

namespace qibo {
// Selects the DWord constructor: on this platform a 32-bit "long" is the
// same C++ type as int, which selects Integer.
struct DWordField {
  void* field;
};
inline DWordField AsDWord(int32_t& field) { return {&field}; }
inline DWordField AsDWord(uint32_t& field) { return {&field}; }
}  // namespace qibo

// A typed, named view of one field of a live object: converts the value to
// and from text and integers. The text forms are what the settings file
// stores and the console shows.
class DProperty {
 public:
  static constexpr uint32_t kReadOnly = 1;
  static constexpr uint32_t kChanged = 2;
  static constexpr uint32_t kInitial = 8;  // set by every constructor, tested by nothing
  static constexpr uint32_t kPersistent = 32;

  DProperty() = default;
  DProperty(char& field, const char* name) { Set(&field, name, ptByte, 1, kInitial, 0); }
  DProperty(unsigned char& field, const char* name) { Set(&field, name, ptByte, 1, kInitial, 0); }
  DProperty(short& field, const char* name) { Set(&field, name, ptWord, 2, kInitial, 0); }
  DProperty(unsigned short& field, const char* name) { Set(&field, name, ptWord, 2, kInitial, 0); }
  DProperty(qibo::DWordField field, const char* name) { Set(field.field, name, ptDWord, 4, kInitial, 0); }
  DProperty(void*& field, const char* name) { Set(&field, name, ptPointer, 0, kInitial, 0); }
  DProperty(int& field, const char* name) { Set(&field, name, ptInteger, 4, kInitial, 0); }
  DProperty(unsigned int& field, const char* name) { Set(&field, name, ptInteger, 4, kInitial, 0); }
  DProperty(bool& field, const char* name) { Set(&field, name, ptBoolean, 1, kInitial, 0); }
  DProperty(float& field, const char* name) { Set(&field, name, ptFloat, 4, kInitial, 0); }
  DProperty(double& field, const char* name) { Set(&field, name, ptDouble, 8, kInitial, 0); }
  DProperty(QIBO_String& field, const char* name) { Set(&field, name, ptString, 256, kInitial, 0); }
  DProperty(void* data, int size, const char* name) { Set(data, name, ptUnknownData, size, kInitial, 0); }
  DProperty(char* buffer, int size, const char* name) { Set(buffer, name, ptASCIIZ, size, kInitial, 0); }
  DProperty(CTBasic& object, const char* name) { Set(&object, name, ptCTBasic, 0, kInitial, 0); }
  DProperty(CTBasic*& field, const char* name) { Set(&field, name, ptCTBasicRef, 0, kInitial, 0); }
  DProperty(CTBasicPtr& field, const char* name) { Set(&field, name, ptSmartPtr, 0, kInitial, 0); }
  DProperty(const DProperty& other) { *this = other; }
  DProperty& operator=(const DProperty& other);

  // Stores the fields, fixes the size by type (read-only types get the
  // ReadOnly flag) and marks a writable property changed.
  DProperty& Set(void* ptr, const char* name, ptype_t type, int size, uint32_t flags, uint32_t ownerID);

  // Change the bound field; Changed is set only when the value differs.
  DProperty& FromString(const char* text);
  DProperty& FromInt(int value);
  DProperty& FromProperty(const DProperty& source);

  QIBO_String ToString() const;
  int ToInt() const;
  double ToDouble() const;
  QIBO_String TypeString() const;

  // The value as the common types: integers through ToInt, floating point
  // through the text form, as the settings page reads them.
  explicit operator QIBO_String() const { return ToString(); }
  explicit operator char() const { return static_cast<char>(ToInt()); }
  explicit operator short() const { return static_cast<short>(ToInt()); }
  explicit operator int() const { return ToInt(); }
  explicit operator long() const { return ToInt(); }
  explicit operator float() const { return static_cast<float>(ToDouble()); }
  explicit operator double() const { return ToDouble(); }
  explicit operator bool() const { return ToInt() != 0; }

  void Invalidate() { m_flags |= kChanged; }
  void SetChanged(bool on) { SetFlag(kChanged, on); }
  void SetPersistent(bool on) { SetFlag(kPersistent, on); }
  void SetReadOnly(bool on) { SetFlag(kReadOnly, on); }
  bool Changed() const { return m_flags & kChanged; }
  bool ReadOnly() const { return m_flags & kReadOnly; }
  bool Persistent() const { return m_flags & kPersistent; }

  const char* GetName() const { return m_name; }
  ptype_t GetType() const { return m_type; }
  int GetSize() const { return m_size; }
  uint32_t GetFlags() const { return m_flags; }
  void* GetPtr() const { return m_ptr; }
  // Lookup key: the bound address.
  const void* ID() const { return m_ptr; }
  uint32_t GetOwnerID() const { return m_ownerID; }
  void SetOwnerID(uint32_t id) { m_ownerID = id; }

  // The shared property every failed lookup answers.
  static DProperty& Null();

  // The integer parsing of the text forms: "0x" (lower-case x only) starts
  // hexadecimal, anything else is read as a leading decimal integer.
  static int32_t ParseInt(const char* text);

 private:
  void SetFlag(uint32_t flag, bool on) { m_flags = on ? (m_flags | flag) : (m_flags & ~flag); }
  template <class T>
  void Store(T value);

  char m_name[256] = {};
  uint32_t m_flags = kInitial;
  void* m_ptr = nullptr;
  ptype_t m_type = ptNull;
  int m_size = 0;
  uint32_t m_ownerID = 0;
};
