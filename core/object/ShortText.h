#pragma once

#include <cstddef>
#include <cstring>

namespace qibo {

// Text kept inside the object while short (up to 15 characters, as most
// object names are), on the heap when longer; 24 bytes in all. Every object
// of a scene carries a name, so the size matters.
class ShortText {
 public:
  ShortText() { m_inline[0] = '\0'; }
  explicit ShortText(const char* text, size_t length) : ShortText() { Assign(text, length); }
  ShortText(const ShortText& other) : ShortText() { Assign(other.c_str(), other.Length()); }
  ShortText& operator=(const ShortText& other) {
    if (this != &other) Assign(other.c_str(), other.Length());
    return *this;
  }
  ~ShortText() { delete[] m_heap; }

  const char* c_str() const { return m_heap ? m_heap : m_inline; }
  size_t Length() const { return m_heap ? strlen(m_heap) : strlen(m_inline); }

  // Copies length characters of text (which may lie in this text itself).
  void Assign(const char* text, size_t length) {
    if (length < sizeof(m_inline)) {
      memmove(m_inline, text, length);  // before the heap copy goes: text may be it
      m_inline[length] = '\0';
      delete[] m_heap;
      m_heap = nullptr;
      return;
    }
    char* heap = new char[length + 1];
    memcpy(heap, text, length);
    heap[length] = '\0';
    delete[] m_heap;
    m_heap = heap;
  }

 private:
  char m_inline[16];
  char* m_heap = nullptr;
};

}  // namespace qibo
