#include <gtest/gtest.h>

#include <cstring>

#include "core/object/CTBasicPtr.h"
#include "core/object/DProperty.h"

TEST(DPropertyTest, IntegerParsing) {
  int value = 0;
  DProperty p(value, "Value");
  struct Case {
    const char* text;
    int expected;
  } cases[] = {{"0x1F", 31}, {"0X1F", 0},        {"12abc", 12}, {"-7", -7},
               {"junk", 0},  {"0xffffffff", -1}, {"", 0}};
  for (const Case& c : cases) {
    value = 12345;
    p.FromString(c.text);
    EXPECT_EQ(value, c.expected) << c.text;
  }
}

TEST(DPropertyTest, TextFormsByType) {
  unsigned char byte = 200;
  uint32_t dword = 0xFFFFFFFFu;
  unsigned short word = 0xFFFF;
  float f = 0.5f;
  double d = 1e-7;
  bool b = true;
  QIBO_String s = "hello";
  char buffer[8] = "abc";
  void* pointer = reinterpret_cast<void*>(0xABCDEFu);
  EXPECT_EQ(DProperty(byte, "B").ToString(), "200");
  EXPECT_EQ(DProperty(qibo::AsDWord(dword), "D").ToString(), "-1");
  EXPECT_EQ(DProperty(word, "W").ToString(), "65535");
  EXPECT_EQ(DProperty(f, "F").ToString(), "0.5");
  EXPECT_EQ(DProperty(d, "F").ToString(), "1e-07");
  EXPECT_EQ(DProperty(b, "Bool").ToString(), "True");
  EXPECT_EQ(DProperty(s, "S").ToString(), "hello");
  EXPECT_EQ(DProperty(buffer, 8, "A").ToString(), "abc");
  EXPECT_EQ(DProperty(pointer, "P").ToString(), "0x00ABCDEF");
  EXPECT_EQ(DProperty(static_cast<char*>(nullptr), 8, "A").ToString(), "NULL");
  EXPECT_EQ(DProperty().ToString(), "[Null property]");
}

TEST(DPropertyTest, UnknownDataHexDump) {
  uint8_t three[3] = {0x01, 0xAB, 0xFF};
  EXPECT_EQ(DProperty(three, 3, "U").ToString(), "01 AB FF");
  uint8_t block[100];
  for (int i = 0; i < 100; ++i) block[i] = static_cast<uint8_t>(i);
  const QIBO_String text = DProperty(block, 100, "U").ToString();
  EXPECT_EQ(text.Length(), 84 * 3 - 1 + 3);
  EXPECT_STREQ(text.c_str() + text.Length() - 6, " 53...");
  EXPECT_EQ(DProperty(block, 0, "U").ToString(), "NULL");
}

TEST(DPropertyTest, BooleanFromText) {
  bool value = false;
  DProperty p(value, "Flag");
  for (const char* yes : {"true", "T", "1", "7"}) {
    value = false;
    p.FromString(yes);
    EXPECT_TRUE(value) << yes;
  }
  for (const char* no : {"False", "f", "0"}) {
    value = true;
    p.FromString(no);
    EXPECT_FALSE(value) << no;
  }
  for (bool start : {false, true}) {
    value = start;
    p.FromString("yes");
    EXPECT_EQ(value, start);
  }
}

TEST(DPropertyTest, ChangedOnlyWhenTheValueDiffers) {
  float value = 1.5f;
  DProperty p(value, "F");
  EXPECT_TRUE(p.Changed());  // a new writable property starts changed
  p.SetChanged(false);
  p.FromString("1.5");
  EXPECT_FALSE(p.Changed());
  p.FromString("0.1");
  EXPECT_TRUE(p.Changed());
  p.SetChanged(false);
  p.FromString("0.1");  // same after conversion to float
  EXPECT_FALSE(p.Changed());
  p.FromInt(2);
  EXPECT_FLOAT_EQ(value, 2.0f);
  EXPECT_TRUE(p.Changed());
}

TEST(DPropertyTest, TypeStringMarks) {
  float f = 0;
  void* ptr = nullptr;
  int i = 0;
  DProperty changed(f, "F");
  EXPECT_EQ(changed.TypeString(), "Float *");
  EXPECT_EQ(DProperty(ptr, "P").TypeString(), "Pointer RO");
  DProperty plain(i, "I");
  plain.SetChanged(false);
  EXPECT_EQ(plain.TypeString(), "Integer");
  DProperty invalid;
  invalid.Set(&i, "X", static_cast<ptype_t>(99), 4, DProperty::kInitial, 0);
  EXPECT_EQ(invalid.TypeString(), "Invalid RO");
  EXPECT_EQ(invalid.ToString(), "");
}

TEST(DPropertyTest, ReadOnlyAndNullIgnoreWrites) {
  void* ptr = nullptr;
  DProperty p(ptr, "P");
  p.FromString("0x10");
  EXPECT_EQ(ptr, nullptr);
  DProperty& null = DProperty::Null();
  null.FromString("5");
  null.FromInt(5);
  EXPECT_EQ(DProperty::Null().ToString(), "[Null property]");
}

TEST(DPropertyTest, StringsAreCutAndAsciizIsTerminated) {
  QIBO_String s;
  DProperty sp(s, "S");
  const std::string longText(300, 'y');
  sp.FromString(longText.c_str());
  EXPECT_EQ(s.Length(), 255);
  char buffer[6];
  memset(buffer, 'z', sizeof(buffer));
  DProperty ap(buffer, 6, "A");
  ap.FromString("abcdefgh");
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_EQ(ap.ToInt(), 0);
  ap.FromInt(42);
  EXPECT_STREQ(buffer, "42");
  EXPECT_EQ(ap.ToInt(), 42);
}

TEST(DPropertyTest, FromPropertyCopiesValuesAndRawBlocks) {
  int source = 77;
  double target = 0;
  DProperty(target, "T").FromProperty(DProperty(source, "S"));
  EXPECT_DOUBLE_EQ(target, 77.0);
  uint8_t a[4] = {1, 2, 3, 4};
  uint8_t b[2] = {0, 0};
  DProperty small(b, 2, "B");
  small.SetChanged(false);
  small.FromProperty(DProperty(a, 4, "A"));
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[1], 2);
  EXPECT_TRUE(small.Changed());
}

TEST(DPropertyTest, ObjectKindsPrintPresence) {
  CTReferenced object;
  CTBasic* ref = nullptr;
  SmartPtr<CTReferenced> smart;
  DProperty refProperty(ref, "R");
  DProperty smartProperty(smart, "S");
  EXPECT_EQ(refProperty.ToString(), "NULL");
  EXPECT_EQ(smartProperty.ToString(), "NULL");
  ref = &object;
  smart = &object;
  EXPECT_EQ(refProperty.ToString(), "...");
  EXPECT_EQ(smartProperty.ToString(), "...");
  EXPECT_EQ(DProperty(static_cast<CTBasic&>(object), "O").TypeString(), "CTBasic RO");
}

// The conversions read integers through ToInt and floating point through
// the text form, for every kind that has a value.
TEST(DPropertyTest, ConversionsFollowToIntAndTheTextForm) {
  unsigned char byte = 200;
  short word = -2;
  int integer = 70000;
  float f = 2.75f;
  double d = -1.5;
  bool b = true;
  QIBO_String text = "0x10";
  struct Case {
    DProperty property;
    const char* asText;
    int asInt;
    double asDouble;
  } cases[] = {
      {DProperty(byte, "Byte"), "200", 200, 200.0},
      {DProperty(word, "Word"), "65534", 65534, 65534.0},
      {DProperty(integer, "Int"), "70000", 70000, 70000.0},
      {DProperty(f, "Float"), "2.75", 2, 2.75},
      {DProperty(d, "Double"), "-1.5", -1, -1.5},
      {DProperty(b, "Bool"), "True", 1, 0.0},
      {DProperty(text, "String"), "0x10", 16, 16.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.property.GetName());
    EXPECT_EQ(static_cast<QIBO_String>(c.property), c.asText);
    EXPECT_EQ(static_cast<int>(c.property), c.asInt);
    EXPECT_EQ(static_cast<long>(c.property), c.asInt);
    EXPECT_EQ(static_cast<short>(c.property), static_cast<short>(c.asInt));
    EXPECT_EQ(static_cast<char>(c.property), static_cast<char>(c.asInt));
    EXPECT_EQ(static_cast<bool>(c.property), c.asInt != 0);
    EXPECT_DOUBLE_EQ(static_cast<double>(c.property), c.asDouble);
    EXPECT_FLOAT_EQ(static_cast<float>(c.property), static_cast<float>(c.asDouble));
  }
}
