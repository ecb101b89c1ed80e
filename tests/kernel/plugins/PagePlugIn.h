#pragma once

#include <utility>
#include <vector>

#include "core/kernel/DPropertyPage.h"

// What the test plug-in's pages went through; its export TestPage_Log
// hands it to the test.
struct TestPageLog {
  int created = 0;
  int deleted = 0;
  std::vector<std::pair<int, CTNamed*>> shown;                     // page index, the object it was shown for
  DPropertyPage::Result result = DPropertyPage::Result::kApplied;  // what every page answers
};
