#include <gtest/gtest.h>

#include "core/object/CTStreamed.h"
#include "core/object/Random.h"

TEST(CTStreamedTest, SetNetIdRules) {
  CTStreamed object;
  object.SetNetID(0);
  EXPECT_EQ(object.GetNetID(), 0u);
  object.SetNetID(5);
  EXPECT_EQ(object.GetNetID(), 5u);
  object.SetNetID(5);
  object.SetNetID(7);  // a set ID is not replaced by another
  EXPECT_EQ(object.GetNetID(), 5u);
  object.SetNetID(0);
  EXPECT_EQ(object.GetNetID(), 0u);
  object.SetNetID(9);
  object.ResetNetID();
  EXPECT_EQ(object.GetNetID(), 0u);
}

TEST(CTStreamedTest, CopyKeepsNetIdAndObjectWithoutIdIsMaster) {
  CTStreamed object;
  EXPECT_TRUE(object.IsNetMaster());
  object.SetNetID(42);
  CTStreamed copy(object);
  EXPECT_EQ(copy.GetNetID(), 42u);
  EXPECT_EQ(copy.GetRefCount(), 0);
}

TEST(RandomTest, MatchesTheReferenceGeneratorAndRange) {
  // The first values of the classic generator seeded with 1.
  qibo::SRand(1);
  EXPECT_EQ(qibo::Rand(), 41);
  EXPECT_EQ(qibo::Rand(), 18467);
  EXPECT_EQ(qibo::Rand(), 6334);
  int highest = 0;
  for (int i = 0; i < 100000; ++i) highest = std::max(highest, qibo::Rand());
  EXPECT_LE(highest, qibo::kRandMax);
  EXPECT_GT(highest, 32000);
}
