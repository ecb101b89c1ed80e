#include <gtest/gtest.h>

#include "core/object/CTInterface.h"
#include "core/persist/IniFile.h"
#include "core/persist/SmartRegistry.h"
#include "tests/support/TempDir.h"

namespace {

// Adds its own property before calling the base on purpose: the table must
// still start with "UseDefaultSettings".
class Settings : public CTInterface {
 public:
  void DoAddProperties() override {
    AddProperty(DProperty(speed, "Speed"), CTInterface::_CD());
    CTInterface::DoAddProperties();
    AddProperty(DProperty(title, "Title"), CTInterface::_CD());
    AddPropertyRO(DProperty(frames, "Frames"), CTInterface::_CD());
  }
  void OnPropertyChanged(DProperty& p) override {
    changes.push_back(p.GetName());
    CTInterface::OnPropertyChanged(p);
  }
  int speed = 3;
  QIBO_String title = "none";
  int frames = 0;
  std::vector<std::string> changes;
};

class OnlyDefaults : public CTInterface {};

class CTInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
  void TearDown() override { m_dir.Leave(); }
  qibo::test::TempDir m_dir;
};

}  // namespace

TEST_F(CTInterfaceTest, UseDefaultSettingsIsAlwaysEntryZero) {
  Settings s;
  ASSERT_TRUE(s.MakeProperties());
  EXPECT_STREQ(s.GetPropertyNo(0).GetName(), "UseDefaultSettings");
  EXPECT_STREQ(s.GetPropertyNo(1).GetName(), "Speed");
  EXPECT_EQ(s.GetPropertiesCount(), 4);
  EXPECT_EQ(s.GetPropertyNo(-1).GetType(), ptNull);
  EXPECT_EQ(s.GetPropertyByName(nullptr).ToString(), "[Null property]");
  EXPECT_EQ(&s.GetPropertyByName("speed"), &s.GetPropertyNo(1));
  EXPECT_EQ(&s.GetPropertyByPtr(&s.title), &s.GetPropertyNo(2));
  EXPECT_TRUE(s.GetPropertyByName("Frames").ReadOnly());
}

TEST_F(CTInterfaceTest, FreshTableReportsEveryWritablePropertyOnce) {
  Settings s;
  s.MakeProperties();
  s.ApplyChanges();
  EXPECT_EQ(s.changes, (std::vector<std::string>{"UseDefaultSettings", "Speed", "Title"}));
  s.changes.clear();
  s.ApplyChanges();
  EXPECT_TRUE(s.changes.empty());
  s.ApplyPtr(&s.speed);
  EXPECT_EQ(s.changes, std::vector<std::string>{"Speed"});
}

TEST_F(CTInterfaceTest, WriteThenReadRoundTripsThroughTheSettingsFile) {
  Settings written;
  written.speed = 9;
  written.title = "Quarndelion";
  written.WriteProperties();
  Settings read;
  read.ReadProperties();
  EXPECT_EQ(read.speed, 9);
  EXPECT_EQ(read.title, "Quarndelion");
  // The read-only property is neither stored nor read.
  EXPECT_EQ(qibo::IniGetString(".\\qibo.ini", "CTInterface", "Frames", "absent"), "absent");
}

TEST_F(CTInterfaceTest, UseDefaultSettingsStopsReading) {
  qibo::IniWriteString(".\\qibo.ini", "CTInterface", "UseDefaultSettings", "1");
  qibo::IniWriteString(".\\qibo.ini", "CTInterface", "Speed", "42");
  Settings s;
  s.ReadProperties();
  EXPECT_TRUE(s.GetUseDefaultSettings());
  EXPECT_EQ(s.speed, 3);
}

TEST_F(CTInterfaceTest, OnlyUseDefaultSettingsWritesNothing) {
  OnlyDefaults o;
  o.WriteProperties();
  FILE* f = fopen("qibo.ini", "rb");
  EXPECT_EQ(f, nullptr);
  if (f) fclose(f);
}

TEST_F(CTInterfaceTest, CopyBindsItsOwnFieldsAndCopyPropertiesMatchesNames) {
  Settings a;
  a.MakeProperties();
  Settings b(a);
  b.GetPropertyByName("Speed").FromInt(11);
  EXPECT_EQ(b.speed, 11);
  EXPECT_EQ(a.speed, 3);
  a.CopyProperties(&b);
  EXPECT_EQ(a.speed, 11);
  a.RemoveProperties();
  EXPECT_EQ(a.GetPropertiesCount(), 0);
}
