#include <dlfcn.h>
#include <gtest/gtest.h>

#include "core/object/CTBasicPtr.h"
#include "core/object/CTStreamed.h"

// A chain of test classes below the core's own.
class TestLevel3 : public CTStreamed {
  QIBO_CLASS(TestLevel3)
};
class TestLevel4 : public TestLevel3 {
  QIBO_CLASS(TestLevel4)
};
class TestAbstract : public TestLevel3 {
  QIBO_CLASS(TestAbstract)
};
class TestFixedId : public CTReferenced {
  QIBO_CLASS(TestFixedId)
};

QIBO_IMPLEMENT_CLASS(TestLevel3, CTStreamed, .desc = "Level three", .build = 3)
QIBO_IMPLEMENT_CLASS(TestLevel4, TestLevel3, .desc = "Level four")
QIBO_IMPLEMENT_CLASS(TestAbstract, TestLevel3, .isAbstract = true)
QIBO_IMPLEMENT_CLASS(TestFixedId, CTReferenced, .fixedId = 0x04C8916D)

TEST(ClassIdTest, IsCrc32OfUpperCaseName) {
  EXPECT_EQ(qibo::ClassId("CTBasic"), 0xDE9FBA85u);
  EXPECT_EQ(qibo::ClassId("ctbasic"), 0xDE9FBA85u);
  EXPECT_EQ(qibo::ClassId("CTNamed"), 0x3F060351u);
  EXPECT_EQ(qibo::ClassId("CTManager"), 0x8877D28Du);
  EXPECT_EQ(qibo::ClassId("DefEngineManager"), 0x9DFFFE08u);
  EXPECT_EQ(CTBasic::_CD()->ID(), 0xDE9FBA85u);
  EXPECT_EQ(CTStreamed::_CD()->ID(), 0xC38A9CE9u);
}

TEST(ClassIdTest, FixedIdReplacesTheNameChecksum) {
  EXPECT_EQ(TestFixedId::_CD()->ID(), 0x04C8916Du);
  TestFixedId object;
  EXPECT_EQ(object.ID(), 0x04C8916Du);
  EXPECT_TRUE(object.QueryInterface(0x04C8916D, nullptr));
}

TEST(ClassDescTest, TripleAnswersOneDescriptor) {
  auto* exported = reinterpret_cast<ClassDesc* (*)()>(dlsym(RTLD_DEFAULT, "GetClassDesc_CTReferenced"));
  ASSERT_NE(exported, nullptr);
  EXPECT_EQ(exported(), CTReferenced::_CD());
  CTReferenced object;
  EXPECT_EQ(object.GetCD(), CTReferenced::_CD());
  EXPECT_EQ(GetCopyright_Nobody(), nullptr);
  EXPECT_EQ(CTBasic::_CD()->GetCopyright(), CTReferenced::_CD()->GetCopyright());
  EXPECT_NE(CTBasic::_CD()->GetCopyright(), nullptr);
}

TEST(ClassDescTest, DescriptorFields) {
  const ClassDesc* cd = TestLevel3::_CD();
  EXPECT_EQ(cd->GetName(), "TestLevel3");
  EXPECT_EQ(cd->GetDesc(), "Level three");
  EXPECT_EQ(cd->GetBuild(), 3);
  EXPECT_EQ(cd->GetInheritedCD(), CTStreamed::_CD());
  EXPECT_EQ(CTBasic::_CD()->GetInheritedCD(), nullptr);
  EXPECT_EQ(CTBasic::_CD()->GetDesc(), "Runtime Type Identification");
  EXPECT_EQ(CTReferenced::_CD()->GetDesc(), "Reference Counting");
  EXPECT_EQ(CTStreamed::_CD()->GetURL(), "qiboCore.dll");
  EXPECT_GE(cd->GetSize(), static_cast<int>(sizeof(CTStreamed)));
  // "Thu Jun  1 16:49:21 2000": weekday, month, day padded to two, time, year.
  const QIBO_String date = cd->GetBuildDate();
  ASSERT_EQ(date.Length(), 24) << date.c_str();
  EXPECT_EQ(date.c_str()[3], ' ');
  EXPECT_EQ(date.c_str()[13], ':');
}

TEST(ClassDescTest, TypeWalk) {
  EXPECT_EQ(CTBasic::_CD()->GetLevel(), 0);
  EXPECT_EQ(CTReferenced::_CD()->GetLevel(), 1);
  EXPECT_EQ(TestLevel4::_CD()->GetLevel(), 4);
  for (const ClassDesc* cd : {CTBasic::_CD(), CTStreamed::_CD(), TestLevel4::_CD()})
    EXPECT_TRUE(cd->CheckGroupName("CTBasic"));
  EXPECT_FALSE(CTBasic::_CD()->CheckName("ctbasic"));
  EXPECT_TRUE(TestLevel4::_CD()->CheckGroupID(TestLevel3::_CD()->ID()));
  EXPECT_FALSE(TestLevel3::_CD()->CheckGroupID(TestLevel4::_CD()->ID()));
  EXPECT_FALSE(TestLevel3::_CD()->CheckGroupName("TestLevel4"));
}

TEST(ClassDescTest, CreateCountsAndDeleteUncounts) {
  ClassDesc* cd = TestLevel4::_CD();
  const int32_t before = cd->GetInstances();
  auto* object = static_cast<CTBasic*>(cd->Create());
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(cd->GetInstances(), before + 1);
  EXPECT_EQ(object->GetCD(), cd);
  EXPECT_EQ(TestLevel3::_CD()->GetInstances(), 0);  // only the most derived class counts
  object->Delete();
  EXPECT_EQ(cd->GetInstances(), before);
}

TEST(ClassDescTest, AbstractCreateGivesNullAndLeavesCount) {
  for (ClassDesc* cd : {TestAbstract::_CD(), CTBasicPtr::_CD()}) {
    EXPECT_TRUE(cd->Abstract());
    const int32_t before = cd->GetInstances();
    EXPECT_EQ(cd->Create(), nullptr);
    EXPECT_EQ(cd->GetInstances(), before);
  }
  EXPECT_FALSE(CTBasic::_CD()->Abstract());
}

TEST(CTBasicTest, QueryInterfaceAndDynamicCast) {
  TestLevel4 object;
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_TRUE(object.QueryInterface(CTStreamed::_CD()->ID(), &out));
  EXPECT_EQ(out, &object);
  EXPECT_FALSE(object.QueryInterface(TestAbstract::_CD()->ID(), &out));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(object.DynamicCast(CTBasic::_CD()->ID()), &object);
  EXPECT_EQ(object.DynamicCast(CTBasicPtr::_CD()->ID()), nullptr);
  EXPECT_EQ(qibo::Cast<TestLevel3>(&object), &object);
  EXPECT_EQ(qibo::Cast<TestAbstract>(&object), nullptr);
}

TEST(CTBasicTest, NullObjectTypeTests) {
  void* out = reinterpret_cast<void*>(0x1);
  EXPECT_FALSE(qibo::QueryInterface(nullptr, CTBasic::_CD()->ID(), &out));
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1));  // untouched
  EXPECT_EQ(qibo::DynamicCast(nullptr, CTBasic::_CD()->ID()), nullptr);
  EXPECT_FALSE(qibo::IsA(nullptr, CTBasic::_CD()));
}
