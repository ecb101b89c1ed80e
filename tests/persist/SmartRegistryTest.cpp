#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/CTInterface.h"
#include "core/persist/IniFile.h"
#include "core/persist/SmartRegistry.h"
#include "tests/support/TempDir.h"

namespace {

constexpr const char* kIni = ".\\qibo.ini";

class SmartRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
  void TearDown() override { m_dir.Leave(); }
  qibo::test::TempDir m_dir;
};

// One field of every stored type.
struct Fields {
  unsigned char byte = 0;
  unsigned short word = 0;
  uint32_t dword = 0;
  int integer = 0;
  bool flag = false;
  float f = 0;
  double d = 0;
  QIBO_String s;
  uint8_t blob[5] = {};
  char text[16] = {};
};

void Bind(Fields& f, std::vector<DProperty>& out) {
  out = {DProperty(f.byte, "Byte"),    DProperty(f.word, "Word"), DProperty(qibo::AsDWord(f.dword), "DWord"),
         DProperty(f.integer, "Int"),  DProperty(f.flag, "Flag"), DProperty(f.f, "Float"),
         DProperty(f.d, "Double"),     DProperty(f.s, "String"),  DProperty(f.blob, 5, "Blob"),
         DProperty(f.text, 16, "Text")};
}

}  // namespace

TEST_F(SmartRegistryTest, EveryStoredTypeRoundTrips) {
  Fields in;
  in.byte = 200;
  in.word = 60000;
  in.dword = 0xFFFFFFF0u;
  in.integer = -12345;
  in.flag = true;
  in.f = 0.5f;
  in.d = 3.25;
  in.s = "text with spaces";
  const uint8_t blob[5] = {0, 1, 0x7F, 0x80, 0xFF};
  memcpy(in.blob, blob, 5);
  strcpy(in.text, "ascii");
  std::vector<DProperty> props;
  Bind(in, props);
  SmartRegistry reg;
  ASSERT_TRUE(reg.Open(nullptr, "Sub"));
  EXPECT_EQ(reg.Key(), "QIBO Settings_Sub");
  for (DProperty& p : props) EXPECT_TRUE(reg.Write(p)) << p.GetName();

  EXPECT_EQ(qibo::IniGetString(kIni, "QIBO Settings_Sub", "Float", ""), "0.5");
  EXPECT_EQ(qibo::IniGetString(kIni, "QIBO Settings_Sub", "Flag", ""), "1");

  Fields out;
  Bind(out, props);
  for (DProperty& p : props) {
    p.SetChanged(false);
    EXPECT_TRUE(reg.Read(p)) << p.GetName();
    EXPECT_TRUE(p.Changed()) << p.GetName();
  }
  EXPECT_EQ(out.byte, 200);
  EXPECT_EQ(out.word, 60000);
  EXPECT_EQ(out.dword, 0xFFFFFFF0u);
  EXPECT_EQ(out.integer, -12345);
  EXPECT_TRUE(out.flag);
  EXPECT_EQ(out.f, 0.5f);
  EXPECT_EQ(out.d, 3.25);
  EXPECT_EQ(out.s, "text with spaces");
  EXPECT_EQ(memcmp(out.blob, blob, 5), 0);
  EXPECT_STREQ(out.text, "ascii");
}

TEST_F(SmartRegistryTest, SentinelsReadAsAbsent) {
  qibo::IniWriteString(kIni, "QIBO Settings", "Name", "$$DUMMY");
  qibo::IniWriteString(kIni, "QIBO Settings", "Count", "-842150451");
  QIBO_String name = "kept";
  int count = 7;
  DProperty nameProperty(name, "Name");
  DProperty countProperty(count, "Count");
  DProperty missing(count, "Missing");
  SmartRegistry reg;
  reg.Open(nullptr, nullptr);
  EXPECT_FALSE(reg.Read(nameProperty));
  EXPECT_FALSE(reg.Read(countProperty));
  EXPECT_FALSE(reg.Read(missing));
  EXPECT_EQ(name, "kept");
  EXPECT_EQ(count, 7);
}

TEST_F(SmartRegistryTest, UnstoredKindsAndClosedStoreFail) {
  void* pointer = nullptr;
  DProperty p(pointer, "Pointer");
  int value = 1;
  DProperty v(value, "Value");
  SmartRegistry reg;
  EXPECT_FALSE(reg.Write(v));  // not open
  reg.Open(nullptr, "");
  EXPECT_EQ(reg.Key(), "QIBO Settings");
  EXPECT_FALSE(reg.Write(p));
  EXPECT_FALSE(reg.Read(p));
  reg.Close();
  EXPECT_FALSE(reg.Valid());
  EXPECT_FALSE(reg.Read(v));
}

TEST_F(SmartRegistryTest, ObjectsOfOneClassShareASection) {
  CTInterface a, b;
  EXPECT_EQ(SmartRegistry::MakeKey(&a, nullptr), "CTInterface");
  EXPECT_EQ(SmartRegistry::MakeKey(&b, "joy"), "CTInterface_joy");
  int value = 5;
  DProperty p(value, "Shared");
  SmartRegistry writer;
  writer.Open(&a, nullptr);
  writer.Write(p);
  value = 0;
  SmartRegistry reader;
  reader.Open(&b, nullptr);
  EXPECT_TRUE(reader.Read(p));
  EXPECT_EQ(value, 5);
}

TEST_F(SmartRegistryTest, WriteKeepsForeignLinesOfTheUsersFile) {
  const char* original = "; my settings\n[Other]\nkeep=1\n\n[QIBO Settings]\n# comment\nSpeed=1\nunknown=x\n";
  FILE* f = fopen("qibo.ini", "wb");
  ASSERT_NE(f, nullptr);
  fputs(original, f);
  fclose(f);
  int speed = 4;
  DProperty p(speed, "speed");
  SmartRegistry reg;
  reg.Open(nullptr, nullptr);
  ASSERT_TRUE(reg.Write(p));
  f = fopen("qibo.ini", "rb");
  char buffer[512] = {};
  fread(buffer, 1, sizeof(buffer) - 1, f);
  fclose(f);
  EXPECT_STREQ(buffer, "; my settings\n[Other]\nkeep=1\n\n[QIBO Settings]\n# comment\nSpeed=4\nunknown=x\n");
}

// A settings file the user made read-only is left alone, and the object
// says so once, however many properties it meant to save.
TEST_F(SmartRegistryTest, ReadOnlyFileIsReportedOnceAndKept) {
  ASSERT_TRUE(qibo::IniWriteString(kIni, "QIBO Settings", "Int", "7"));
  ASSERT_EQ(chmod("qibo.ini", 0444), 0);
  const int logged = qiBO_GetErrorsCount();
  Fields f;
  std::vector<DProperty> props;
  Bind(f, props);
  SmartRegistry reg;
  ASSERT_TRUE(reg.Open(nullptr, nullptr));
  for (DProperty& p : props) EXPECT_FALSE(reg.Write(p)) << p.GetName();
  ASSERT_EQ(qiBO_GetErrorsCount(), logged + 1);
  const std::string message = qiBO_GetErrorNo(logged)->message;
  EXPECT_NE(message.find("read-only"), std::string::npos) << message;
  EXPECT_EQ(qibo::IniGetInt(kIni, "QIBO Settings", "Int", 0), 7);
  qiBO_Deinit();
}
