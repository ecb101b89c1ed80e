#include "core/object/ClassDesc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class CoreCopyrightRecord final : public Copyright {
 public:
  constexpr CoreCopyrightRecord() = default;
  QIBO_String GetAuthor() const override { return "The qiBO developers"; }
  QIBO_String GetEMail() const override { return "qibo@localhost"; }
  QIBO_String GetCompany() const override { return "qiBO"; }
  QIBO_String GetURL() const override { return "qibocore"; }
};

constinit const CoreCopyrightRecord g_coreCopyright;

// __DATE__ is "Mmm dd yyyy"; the build date adds the weekday in front.
QIBO_String CoreBuildDate() {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const char* date = __DATE__;
  int month = 0;
  for (int m = 0; m < 12; ++m)
    if (strncmp(kMonths + 3 * m, date, 3) == 0) month = m + 1;
  const int day = atoi(date + 4);
  const int year = atoi(date + 7);
  // Sakamoto's day-of-week formula.
  static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  const int y = month < 3 ? year - 1 : year;
  const int weekday = (y + y / 4 - y / 100 + y / 400 + kOffsets[(month + 11) % 12] + day) % 7;
  return QIBO_String::Format("%s %.3s %2d %s %d", kDays[weekday], date, day, __TIME__, year);
}

}  // namespace

QIBO_String Copyright::GetAuthor() const { return ""; }
QIBO_String Copyright::GetEMail() const { return ""; }
QIBO_String Copyright::GetCompany() const { return ""; }
QIBO_String Copyright::GetURL() const { return ""; }

const Copyright* CoreCopyright() { return &g_coreCopyright; }

extern "C" const Copyright* GetCopyright_Nobody() { return nullptr; }

void ClassDesc::Delete(void*) {}

QIBO_String ClassDesc::GetBuildDate() const {
  static const QIBO_String date = CoreBuildDate();
  return date;
}

bool ClassDesc::CheckName(const char* name) const { return name && GetName() == name; }

bool ClassDesc::CheckGroupName(const char* name) const {
  for (const ClassDesc* d = this; d; d = d->GetInheritedCD())
    if (d->CheckName(name)) return true;
  return false;
}

int ClassDesc::GetLevel() const {
  int level = 0;
  for (const ClassDesc* d = GetInheritedCD(); d; d = d->GetInheritedCD()) ++level;
  return level;
}
