#include <gtest/gtest.h>

#include <string>

#include "core/object/QIBO_String.h"

TEST(QIBO_StringTest, CopiesAtMost255AndTerminates) {
  const std::string longText(300, 'x');
  QIBO_String s(longText.c_str());
  EXPECT_EQ(s.Length(), 255);
  s = "abc";
  s += longText.c_str();
  EXPECT_EQ(s.Length(), 255);
  EXPECT_EQ(std::string(s.c_str(), 3), "abc");
  QIBO_String null(static_cast<const char*>(nullptr));
  EXPECT_TRUE(null.Empty());
  EXPECT_EQ(QIBO_String::Format("%s", longText.c_str()).Length(), 255);
}

TEST(QIBO_StringTest, CaseInsensitiveComparisonFoldsAsciiOnly) {
  EXPECT_EQ(qibo::StrICmp("DefEngineManager", "defenginemanager"), 0);
  EXPECT_LT(qibo::StrICmp("abc", "ABD"), 0);
  EXPECT_NE(qibo::StrICmp("\xC4", "\xE4"), 0);  // Latin-1 letters are not folded
  EXPECT_NE(qibo::StrICmp(nullptr, ""), 0);
  EXPECT_TRUE(QIBO_String("Box shape").EqualsIC("box SHAPE"));
}
