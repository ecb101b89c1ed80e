#pragma once

// A closed range [minimum, maximum] of T.
template <class T>
struct DRange {
  T minimum{};
  T maximum{};

  bool Contains(const T& v) const { return minimum <= v && v <= maximum; }
  bool operator==(const DRange&) const = default;
};
