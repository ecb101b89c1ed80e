#include "core/object/DProperty.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/object/CTBasicPtr.h"

namespace {

const char* const kTypeNames[] = {"NULL",         "Byte",    "Word",    "DWord",    "Pointer",
                                  "Integer",      "Boolean", "Float",   "Double",   "String",
                                  "Unknown Data", "ASCIIZ",  "CTBasic", "CTBasic*", "CTBasic"};
constexpr int kHexDumpBytes = 84;

bool IsValueType(ptype_t type) { return type >= ptByte && type <= ptASCIIZ; }

// "%d" and "%g" without the cost of printf: to_chars with the general
// format and precision 6 gives the same text.
QIBO_String FormatNumber(int32_t value) {
  char text[16];
  *std::to_chars(text, text + sizeof(text) - 1, value).ptr = '\0';
  return text;
}

QIBO_String FormatNumber(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof(text) - 1, value, std::chars_format::general, 6);
  if (result.ec != std::errc()) return QIBO_String::Format("%g", value);
  *result.ptr = '\0';
  return text;
}

}  // namespace

DProperty& DProperty::Null() {
  static DProperty null;
  // Whatever a caller did to the shared instance, it stays the null property.
  null = DProperty();
  return null;
}

DProperty& DProperty::operator=(const DProperty& other) {
  if (this != &other) {
    memcpy(m_name, other.m_name, sizeof(m_name));
    m_flags = other.m_flags;
    m_ptr = other.m_ptr;
    m_type = other.m_type;
    m_size = other.m_size;
    m_ownerID = other.m_ownerID;
  }
  return *this;
}

DProperty& DProperty::Set(void* ptr, const char* name, ptype_t type, int size, uint32_t flags,
                          uint32_t ownerID) {
  m_flags = flags;
  m_ptr = ptr;
  qibo::CopyText(m_name, sizeof(m_name), name);
  m_type = type;
  m_size = size;
  m_ownerID = ownerID;
  switch (type) {
    case ptByte:
    case ptBoolean:
      m_size = 1;
      break;
    case ptWord:
      m_size = 2;
      break;
    case ptDWord:
    case ptInteger:
    case ptFloat:
      m_size = 4;
      break;
    case ptPointer:
    case ptCTBasicRef:
    case ptSmartPtr:
      m_size = static_cast<int>(sizeof(void*));
      m_flags |= kReadOnly;
      break;
    case ptDouble:
      m_size = 8;
      break;
    case ptString:
      m_size = QIBO_String::kCapacity;
      break;
    case ptUnknownData:
    case ptASCIIZ:
      break;
    default:
      m_flags |= kReadOnly;
      break;
  }
  if (!ReadOnly()) m_flags |= kChanged;
  return *this;
}

int32_t DProperty::ParseInt(const char* text) {
  char buffer[256];
  qibo::CopyText(buffer, sizeof(buffer), text);
  if (buffer[0] == '0' && buffer[1] == 'x') {
    unsigned int value = 0;
    sscanf(buffer, " %*[0xX]%x", &value);
    return static_cast<int32_t>(value);
  }
  return static_cast<int32_t>(strtoll(buffer, nullptr, 10));
}

template <class T>
void DProperty::Store(T value) {
  T current;
  memcpy(&current, m_ptr, sizeof(T));
  if (current == value) return;
  memcpy(m_ptr, &value, sizeof(T));
  m_flags |= kChanged;
}

DProperty& DProperty::FromString(const char* text) {
  if (ReadOnly() || !IsValueType(m_type) || !m_ptr) return *this;
  if (!text) text = "";
  switch (m_type) {
    case ptByte:
      Store(static_cast<uint8_t>(ParseInt(text)));
      break;
    case ptWord:
      Store(static_cast<uint16_t>(ParseInt(text)));
      break;
    case ptDWord:
    case ptInteger:
      Store(ParseInt(text));
      break;
    case ptBoolean:
      if (text[0] == 'T' || text[0] == 't' || ParseInt(text) != 0)
        Store(true);
      else if (text[0] == 'F' || text[0] == 'f' || text[0] == '0')
        Store(false);
      break;
    case ptFloat:
      Store(static_cast<float>(atof(text)));
      break;
    case ptDouble:
      Store(atof(text));
      break;
    case ptString: {
      auto* field = static_cast<QIBO_String*>(m_ptr);
      const QIBO_String fresh(text);
      if (!(*field == fresh)) {
        *field = fresh;
        m_flags |= kChanged;
      }
      break;
    }
    case ptASCIIZ: {
      if (m_size < 1) break;
      std::vector<char> fresh(static_cast<size_t>(m_size), '\0');
      strncpy(fresh.data(), text, fresh.size());
      fresh.back() = '\0';
      auto* buffer = static_cast<char*>(m_ptr);
      if (strncmp(buffer, fresh.data(), fresh.size()) == 0) break;
      memcpy(buffer, fresh.data(), fresh.size());
      m_flags |= kChanged;
      break;
    }
    default:
      break;  // Unknown Data does not change from text
  }
  return *this;
}

DProperty& DProperty::FromInt(int value) {
  if (ReadOnly() || !IsValueType(m_type) || !m_ptr) return *this;
  switch (m_type) {
    case ptByte:
      Store(static_cast<uint8_t>(value));
      break;
    case ptWord:
      Store(static_cast<uint16_t>(value));
      break;
    case ptDWord:
    case ptInteger:
      Store(static_cast<int32_t>(value));
      break;
    case ptBoolean:
      Store(value != 0);
      break;
    case ptFloat:
      Store(static_cast<float>(value));
      break;
    case ptDouble:
      Store(static_cast<double>(value));
      break;
    case ptString:
    case ptASCIIZ:
      FromString(QIBO_String::Format("%d", value).c_str());
      break;
    default:
      break;
  }
  return *this;
}

DProperty& DProperty::FromProperty(const DProperty& source) {
  if (ReadOnly() || m_type == ptNull || source.m_type == ptNull) return *this;
  if (m_type == ptUnknownData && source.m_type == ptUnknownData) {
    if (m_ptr && source.m_ptr && m_size > 0 && source.m_size > 0)
      memmove(m_ptr, source.m_ptr, static_cast<size_t>(m_size < source.m_size ? m_size : source.m_size));
    m_flags |= kChanged;
    return *this;
  }
  return FromString(source.ToString().c_str());
}

int DProperty::ToInt() const {
  if (!m_ptr) return 0;
  switch (m_type) {
    case ptByte:
    case ptBoolean:
      return *static_cast<const uint8_t*>(m_ptr);
    case ptWord:
      return *static_cast<const uint16_t*>(m_ptr);
    case ptDWord:
    case ptInteger:
      return *static_cast<const int32_t*>(m_ptr);
    case ptFloat:
      return static_cast<int>(*static_cast<const float*>(m_ptr));
    case ptDouble:
      return static_cast<int>(*static_cast<const double*>(m_ptr));
    case ptString:
      return ParseInt(static_cast<const QIBO_String*>(m_ptr)->c_str());
    case ptASCIIZ: {
      if (m_size < 1) return 0;
      char buffer[256];
      const size_t n = static_cast<size_t>(m_size < 256 ? m_size : 256);
      memcpy(buffer, m_ptr, n);
      buffer[n - 1] = '\0';
      return ParseInt(buffer);
    }
    default:
      return 0;
  }
}

double DProperty::ToDouble() const { return atof(ToString().c_str()); }

QIBO_String DProperty::ToString() const {
  if (m_type == ptNull) return "[Null property]";
  if (m_type > ptSmartPtr) return "";
  if (!m_ptr) return m_type == ptCTBasic ? "..." : "NULL";
  switch (m_type) {
    case ptByte:
      return FormatNumber(*static_cast<const uint8_t*>(m_ptr));
    case ptWord:
      return FormatNumber(*static_cast<const uint16_t*>(m_ptr));
    case ptDWord:
    case ptInteger:
      return FormatNumber(*static_cast<const int32_t*>(m_ptr));
    case ptPointer: {
      const void* value = *static_cast<void* const*>(m_ptr);
      return QIBO_String::Format("0x%08" PRIXPTR, reinterpret_cast<uintptr_t>(value));
    }
    case ptBoolean:
      return *static_cast<const bool*>(m_ptr) ? "True" : "False";
    case ptFloat:
      return FormatNumber(static_cast<double>(*static_cast<const float*>(m_ptr)));
    case ptDouble:
      return FormatNumber(*static_cast<const double*>(m_ptr));
    case ptString:
      return *static_cast<const QIBO_String*>(m_ptr);
    case ptUnknownData: {
      if (m_size < 1) return "NULL";
      QIBO_String text;
      const auto* bytes = static_cast<const uint8_t*>(m_ptr);
      const int shown = m_size < kHexDumpBytes ? m_size : kHexDumpBytes;
      for (int i = 0; i < shown; ++i) text += QIBO_String::Format(i ? " %02X" : "%02X", bytes[i]);
      if (m_size > kHexDumpBytes) text += "...";
      return text;
    }
    case ptASCIIZ: {
      char buffer[256];
      const size_t n = static_cast<size_t>(m_size < 256 ? (m_size < 1 ? 1 : m_size) : 256);
      memcpy(buffer, m_ptr, m_size < 1 ? 0 : n);
      buffer[n - 1] = '\0';
      return buffer;
    }
    case ptCTBasic:
      return "...";
    case ptCTBasicRef:
      return *static_cast<CTBasic* const*>(m_ptr) ? "..." : "NULL";
    case ptSmartPtr:
      return static_cast<const CTBasicPtr*>(m_ptr)->GetPtr() ? "..." : "NULL";
    default:
      return "";
  }
}

QIBO_String DProperty::TypeString() const {
  QIBO_String text = m_type <= ptSmartPtr ? kTypeNames[m_type] : "Invalid";
  if (ReadOnly())
    text += " RO";
  else if (Changed())
    text += " *";
  return text;
}
