#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/object/CTInterface.h"
#include "core/object/DSetterBinding.h"

namespace {

// A range whose ends must be finite and in order, and a step count that is
// cut to 1..10 and refused below 1, each written through its setter.
class Gauge : public CTInterface {
 public:
  bool SetRange(double low, double high) {
    if (!std::isfinite(low) || !std::isfinite(high) || low > high) return false;
    m_low = low;
    m_high = high;
    m_rangeBinding.Accept({low, high});
    return true;
  }
  void SetSteps(int steps) {
    if (steps < 1) return;
    m_steps = std::min(steps, 10);
    m_stepsBinding.Accept({m_steps});
  }

  void DoAddProperties() override {
    CTInterface::DoAddProperties();
    AddProperty(DProperty(m_low, "Low"), CTInterface::_CD());
    AddProperty(DProperty(m_high, "High"), CTInterface::_CD());
    AddProperty(DProperty(m_steps, "Steps"), CTInterface::_CD());
  }
  void OnPropertyChanged(DProperty& property) override {
    m_rangeBinding.Apply(property, {&m_low, &m_high},
                         [this](double low, double high) { SetRange(low, high); });
    m_stepsBinding.Apply(property, {&m_steps}, [this](int steps) { SetSteps(steps); });
    CTInterface::OnPropertyChanged(property);
  }

  double m_low = 0.0;
  double m_high = 1.0;
  int m_steps = 2;

 private:
  qibo::DSetterBinding<double, 2> m_rangeBinding{0.0, 1.0};
  qibo::DSetterBinding<int> m_stepsBinding{2};
};

struct Expected {
  double low, high;
  int steps;
};

void ExpectGauge(const Gauge& g, const Expected& e, const char* what) {
  EXPECT_EQ(g.m_low, e.low) << what;
  EXPECT_EQ(g.m_high, e.high) << what;
  EXPECT_EQ(g.m_steps, e.steps) << what;
}

TEST(DSetterBindingTest, WritesGoThroughTheSetterAndRefusedOnesFallBackToTheAccepted) {
  struct Case {
    const char* what;
    void (*before)(Gauge& g);                                 // direct setter calls before the writes
    std::vector<std::pair<const char*, const char*>> writes;  // applied together
    Expected expected;
  };
  const Case cases[] = {
      {"accepted pair", nullptr, {{"Low", "-2"}, {"High", "3.5"}}, {-2.0, 3.5, 2}},
      {"one end alone", nullptr, {{"High", "7"}}, {0.0, 7.0, 2}},
      {"out of order: both ends stay", nullptr, {{"Low", "5"}, {"High", "4"}}, {0.0, 1.0, 2}},
      {"not a number", nullptr, {{"Low", "nan"}}, {0.0, 1.0, 2}},
      {"the setter's own value is kept", nullptr, {{"Steps", "50"}}, {0.0, 1.0, 10}},
      {"refused count", nullptr, {{"Steps", "-3"}}, {0.0, 1.0, 2}},
      {"groups apart", nullptr, {{"Low", "9"}, {"Steps", "4"}}, {0.0, 1.0, 4}},
      {"falls back to what a setter accepted last",
       [](Gauge& g) { g.SetRange(3, 4); },
       {{"High", "-1"}},
       {3.0, 4.0, 2}},
      {"a refused setter call accepts nothing",
       [](Gauge& g) { g.SetRange(8, 6); },
       {{"High", "inf"}},
       {0.0, 1.0, 2}},
  };
  for (const Case& c : cases) {
    Gauge g;
    ASSERT_TRUE(g.MakeProperties());
    g.ApplyChanges();
    if (c.before) c.before(g);
    for (const auto& [name, text] : c.writes) g.GetPropertyByName(name).FromString(text);
    g.ApplyChanges();
    ExpectGauge(g, c.expected, c.what);
  }
}

TEST(DSetterBindingTest, ACopyFallsBackToTheOriginalsAcceptedValuesInItsOwnFields) {
  Gauge original;
  original.SetRange(3, 4);
  Gauge copy(original);
  ASSERT_TRUE(copy.MakeProperties());
  copy.ApplyChanges();
  copy.GetPropertyByName("Low").FromString("10");
  copy.ApplyChanges();
  ExpectGauge(copy, {3.0, 4.0, 2}, "copy");
  ExpectGauge(original, {3.0, 4.0, 2}, "original");
}

}  // namespace
