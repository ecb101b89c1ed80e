#pragma once

#include <cstddef>

// The engine's string value: a fixed buffer of 256 characters. Every
// assignment copies at most 255 characters and always terminates, so a
// QIBO_String can be returned by value and printed without checks.
class QIBO_String {
 public:
  static constexpr int kCapacity = 256;
  static constexpr int kMaxLength = kCapacity - 1;

  QIBO_String() { m_text[0] = '\0'; }
  QIBO_String(const char* text) { Assign(text); }  // NOLINT: implicit by design
  QIBO_String(const QIBO_String& other) { Assign(other.m_text); }
  QIBO_String& operator=(const QIBO_String& other);
  QIBO_String& operator=(const char* text);

  // Appends as much of text as fits; the result is cut at 255 characters.
  QIBO_String& operator+=(const char* text);
  QIBO_String& operator+=(const QIBO_String& other) { return *this += other.m_text; }
  QIBO_String& operator+=(char c);

  // printf into a fresh string, cut at 255 characters.
  static QIBO_String Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

  const char* c_str() const { return m_text; }
  int Length() const;
  bool Empty() const { return m_text[0] == '\0'; }

  // Raw buffer of kCapacity bytes for code that fills it in place; the last
  // byte is reset to NUL by Terminate().
  char* Buffer() { return m_text; }
  void Terminate() { m_text[kMaxLength] = '\0'; }

  bool EqualsIC(const char* text) const;

  friend bool operator==(const QIBO_String& a, const QIBO_String& b);
  friend bool operator==(const QIBO_String& a, const char* b);

 private:
  void Assign(const char* text);

  char m_text[kCapacity];
};

QIBO_String operator+(const QIBO_String& a, const char* b);
QIBO_String operator+(const QIBO_String& a, const QIBO_String& b);

namespace qibo {

// ASCII case folding, never the locale: names in data and settings were
// compared this way on the original platform.
constexpr char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
constexpr char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// <0, 0 or >0 like strcmp, ignoring ASCII case. Null sorts before any text.
int StrICmp(const char* a, const char* b);
inline bool EqualsIC(const char* a, const char* b) { return StrICmp(a, b) == 0; }

// Copies at most size-1 characters and always terminates (size >= 1).
void CopyText(char* dest, size_t size, const char* src);

}  // namespace qibo
