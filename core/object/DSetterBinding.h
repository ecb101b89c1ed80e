#pragma once

#include <array>
#include <cstddef>
#include <tuple>

#include "core/object/DProperty.h"

namespace qibo {

// Fields published as properties that only a checking setter may change:
// sizes that must be finite, segment counts that are clamped. A property
// write stores its value straight into the field; when the change is
// applied (OnPropertyChanged), the binding puts the group's fields back to
// the values the setter last accepted and hands the written ones to the
// setter. A value the setter refuses thus never stays in a field, and the
// group's fields change together or not at all.
//
// The setter records what it stores with Accept. The binding keeps values,
// not addresses (the owner passes its fields to Apply), so a copied object
// falls back to what its original had accepted, in fields of its own.
//
//   qibo::DSetterBinding<double, 2> m_sizeBinding{0.5, 1.0};  // Radius, Height
//   ...
//   m_sizeBinding.Apply(property, {&m_radius, &m_height},
//                       [this](double r, double h) { SetDimensions(r, h); });
template <class T, size_t N = 1>
class DSetterBinding {
 public:
  using Values = std::array<T, N>;
  using Fields = std::array<T*, N>;

  template <class... V>
  constexpr explicit DSetterBinding(V... accepted) : m_accepted{static_cast<T>(accepted)...} {
    static_assert(sizeof...(V) == N, "one accepted value per field");
  }

  // The values a refused write falls back to from now on.
  void Accept(const Values& values) { m_accepted = values; }
  const Values& Accepted() const { return m_accepted; }

  // When property is one of fields: the fields go back to the accepted
  // values and set is called with the values written there (as N
  // arguments); true. Otherwise false, and nothing happens.
  template <class Set>
  bool Apply(const DProperty& property, const Fields& fields, Set&& set) const {
    bool bound = false;
    for (T* field : fields) bound = bound || property.ID() == field;
    if (!bound) return false;
    Values written;
    for (size_t i = 0; i < N; ++i) {
      written[i] = *fields[i];
      *fields[i] = m_accepted[i];
    }
    std::apply(set, written);
    return true;
  }

 private:
  Values m_accepted;
};

}  // namespace qibo
