#include "core/object/QIBO_String.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void QIBO_String::Assign(const char* text) { qibo::CopyText(m_text, kCapacity, text); }

QIBO_String& QIBO_String::operator=(const QIBO_String& other) {
  if (this != &other) Assign(other.m_text);
  return *this;
}

QIBO_String& QIBO_String::operator=(const char* text) {
  if (text != m_text) Assign(text);
  return *this;
}

QIBO_String& QIBO_String::operator+=(const char* text) {
  if (!text) return *this;
  const size_t used = strlen(m_text);
  qibo::CopyText(m_text + used, kCapacity - used, text);
  return *this;
}

QIBO_String& QIBO_String::operator+=(char c) {
  const size_t used = strlen(m_text);
  if (used < kMaxLength) {
    m_text[used] = c;
    m_text[used + 1] = '\0';
  }
  return *this;
}

QIBO_String QIBO_String::Format(const char* format, ...) {
  QIBO_String result;
  va_list args;
  va_start(args, format);
  vsnprintf(result.m_text, kCapacity, format, args);
  va_end(args);
  return result;
}

int QIBO_String::Length() const { return static_cast<int>(strlen(m_text)); }

bool QIBO_String::EqualsIC(const char* text) const { return qibo::StrICmp(m_text, text) == 0; }

bool operator==(const QIBO_String& a, const QIBO_String& b) { return strcmp(a.m_text, b.m_text) == 0; }
bool operator==(const QIBO_String& a, const char* b) { return b && strcmp(a.m_text, b) == 0; }

QIBO_String operator+(const QIBO_String& a, const char* b) {
  QIBO_String result(a);
  result += b;
  return result;
}

QIBO_String operator+(const QIBO_String& a, const QIBO_String& b) { return a + b.c_str(); }

namespace qibo {

int StrICmp(const char* a, const char* b) {
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  for (;; ++a, ++b) {
    const unsigned char ca = static_cast<unsigned char>(ToLowerAscii(*a));
    const unsigned char cb = static_cast<unsigned char>(ToLowerAscii(*b));
    if (ca != cb || ca == 0) return ca - cb;
  }
}

void CopyText(char* dest, size_t size, const char* src) {
  if (size == 0) return;
  size_t n = 0;
  if (src) {
    while (n + 1 < size && src[n] != '\0') {
      dest[n] = src[n];
      ++n;
    }
  }
  dest[n] = '\0';
}

}  // namespace qibo
