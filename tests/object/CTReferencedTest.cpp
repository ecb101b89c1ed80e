#include <gtest/gtest.h>

#include <vector>

#include "core/object/CTBasicPtr.h"

namespace {

// Records every OnDelete it receives.
class Watcher : public CTReferenced {
 public:
  void OnDelete(CTReferenced* dying) override {
    notified.push_back(dying);
    CTReferenced::OnDelete(dying);
  }
  std::vector<CTReferenced*> notified;
};

CTReferenced* NewObject() { return static_cast<CTReferenced*>(CTReferenced::_CD()->Create()); }

}  // namespace

TEST(CTReferencedTest, LastAnonymousReleaseDeletes) {
  const int32_t before = CTReferenced::_CD()->GetInstances();
  CTReferenced* object = NewObject();
  object->AddRef(nullptr);
  object->AddRef(nullptr);
  EXPECT_TRUE(object->RemoveRef(nullptr));
  EXPECT_EQ(object->GetRefCount(), 1);
  EXPECT_EQ(CTReferenced::_CD()->GetInstances(), before + 1);
  EXPECT_FALSE(object->RemoveRef(nullptr));
  EXPECT_EQ(CTReferenced::_CD()->GetInstances(), before);
}

TEST(CTReferencedTest, NamedReferencesDoNotKeepAlive) {
  Watcher holder;
  CTReferenced* object = NewObject();
  object->AddRef(&holder);
  EXPECT_EQ(object->GetRefCount(), 0);
  EXPECT_TRUE(object->RemoveRef(&holder));
  EXPECT_EQ(object->GetHolderCount(), 0);
  EXPECT_TRUE(object->RemoveRef(&holder));  // never referred: nothing changes
  object->Delete();
  EXPECT_TRUE(holder.notified.empty());
}

TEST(CTReferencedTest, HolderAddedTwiceIsNotifiedOnce) {
  Watcher first, second;
  CTReferenced* object = NewObject();
  object->AddRef(&first);
  object->AddRef(&second);
  object->AddRef(&first);
  object->Delete();
  ASSERT_EQ(first.notified.size(), 1u);
  EXPECT_EQ(first.notified[0], object);
  EXPECT_EQ(second.notified.size(), 1u);
}

TEST(CTReferencedTest, HoldersGrowAndShrinkInSteps) {
  std::vector<Watcher> holders(17);  // outlive the object, which tells them when it goes
  CTReferenced object;
  for (auto& h : holders) object.AddRef(&h);
  EXPECT_EQ(object.GetHolderCount(), 17);
  EXPECT_EQ(object.GetHolderCapacity(), 32);
  object.RemoveRef(&holders[0]);
  EXPECT_EQ(object.GetHolderCapacity(), 32);  // 16 left: 32 is not above 16 + 16
  object.RemoveRef(&holders[1]);
  EXPECT_EQ(object.GetHolderCount(), 15);
  EXPECT_EQ(object.GetHolderCapacity(), 16);
  for (int i = 2; i < 17; ++i) object.RemoveRef(&holders[i]);
  EXPECT_EQ(object.GetHolderCount(), 0);
  EXPECT_EQ(object.GetHolderCapacity(), 16);
  // The survivors were kept while shrinking: adding again reuses the slots.
  object.AddRef(&holders[0]);
  EXPECT_EQ(object.GetHolder(0), &holders[0]);
}

TEST(CTReferencedTest, RemovalMovesLastHolderIntoGap) {
  Watcher a, b, c;
  CTReferenced object;
  object.AddRef(&a);
  object.AddRef(&b);
  object.AddRef(&c);
  object.RemoveRef(&a);
  EXPECT_EQ(object.GetHolder(0), &c);
  EXPECT_EQ(object.GetHolder(1), &b);
}

TEST(CTReferencedTest, MakeRefLinksBothWaysAndDeleteUnlinks) {
  Watcher survivor;
  auto* dying = new Watcher;
  dying->MakeRef(&survivor);
  EXPECT_EQ(survivor.GetHolderCount(), 1);
  EXPECT_EQ(dying->GetHolderCount(), 1);
  dying->Delete();
  ASSERT_EQ(survivor.notified.size(), 1u);
  EXPECT_EQ(survivor.GetHolderCount(), 0);  // the base OnDelete dropped the dead object

  Watcher a, b;
  a.MakeRef(&b);
  a.BreakRef(&b);
  EXPECT_EQ(a.GetHolderCount(), 0);
  EXPECT_EQ(b.GetHolderCount(), 0);
}

TEST(CTReferencedTest, HolderAddedDuringNotificationIsToldInALaterPass) {
  Watcher late;
  struct Forwarder : public CTReferenced {
    Watcher* next = nullptr;
    int calls = 0;
    void OnDelete(CTReferenced* dying) override {
      ++calls;
      dying->AddRef(next);  // hands the dying object on to another holder
      dying->AddRef(this);  // re-adding itself is dropped with its other entries
      CTReferenced::OnDelete(dying);
    }
  } forwarder;
  forwarder.next = &late;
  CTReferenced* object = NewObject();
  object->AddRef(&forwarder);
  object->Delete();
  EXPECT_EQ(forwarder.calls, 1);
  EXPECT_EQ(late.notified.size(), 1u);
}

TEST(SmartPtrTest, ClearedWhenTargetDeleted) {
  CTReferenced* object = NewObject();
  {
    SmartPtr<CTReferenced> ptr(object);
    SmartPtr<CTReferenced> copy(ptr);
    EXPECT_EQ(object->GetHolderCount(), 2);
    object->Delete();
    EXPECT_EQ(ptr.Get(), nullptr);
    EXPECT_EQ(copy.Get(), nullptr);
  }  // destroying the pointers must not touch the deleted object (ASan checks)
}

TEST(SmartPtrTest, AssignmentMovesTheNamedReference) {
  CTReferenced a, b;
  SmartPtr<CTReferenced> ptr(&a);
  ptr = &b;
  EXPECT_EQ(a.GetHolderCount(), 0);
  EXPECT_EQ(b.GetHolderCount(), 1);
  ptr = &b;
  EXPECT_EQ(b.GetHolderCount(), 1);
  ptr = nullptr;
  EXPECT_EQ(b.GetHolderCount(), 0);
  EXPECT_FALSE(ptr);
  EXPECT_EQ(ptr.GetCD(), CTBasicPtr::_CD());
}

TEST(CTReferencedTest, DestroyedWithoutDeleteStillTellsItsHolders) {
  Watcher holder;
  CTReferenced* seen = nullptr;
  {
    CTReferenced member;  // never Delete()d
    member.AddRef(&holder);
    seen = &member;
  }
  ASSERT_EQ(holder.notified.size(), 1u);
  EXPECT_EQ(holder.notified[0], seen);
}
