#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/DefUpdateManager.h"
#include "core/kernel/Kernel.h"
#include "tests/support/EngineFixture.h"

// A target that writes every call it receives into a shared log as
// "<name>.<what> <value>", and can run a hook inside its callbacks.
class UpdTestTarget : public CTNamed {
  QIBO_CLASS(UpdTestTarget)

 public:
  void Step(int32_t elapsed) {
    Record("step", elapsed);
    if (onStep) onStep(this);
  }
  void Other(int32_t elapsed) { Record("other", elapsed); }
  void OnMessage(int message, void* data) override {
    Record("msg", message);
    lastData = data;
    if (onMessage) onMessage(this);
    CTNamed::OnMessage(message, data);
  }

  std::vector<std::string>* log = nullptr;
  std::function<void(UpdTestTarget*)> onStep;
  std::function<void(UpdTestTarget*)> onMessage;
  void* lastData = nullptr;

 private:
  void Record(const char* what, int32_t value) {
    if (log) log->push_back(std::string(GetName()) + "." + what + " " + std::to_string(value));
  }
};
QIBO_IMPLEMENT_CLASS(UpdTestTarget, CTNamed, .desc = "Update test target")

namespace {

const UpdateFn kStep = qibo::AsUpdate(&UpdTestTarget::Step);
const UpdateFn kOther = qibo::AsUpdate(&UpdTestTarget::Other);

using Log = std::vector<std::string>;

class DefUpdateManagerTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    m_manager = static_cast<DefUpdateManager*>(static_cast<CTBasic*>(DefUpdateManager::_CD()->Create()));
    ASSERT_NE(m_manager, nullptr);
    m_manager->AddRef(nullptr);
    ASSERT_TRUE(m_manager->Start());
  }

  void TearDown() override {
    if (m_manager) {
      m_manager->Stop();
      m_manager->RemoveRef(nullptr);
    }
    for (UpdTestTarget* t : m_targets) t->RemoveRef(nullptr);
    EngineFixture::TearDown();
  }

  // Owned by the fixture unless a test releases it with Kill.
  UpdTestTarget* NewTarget(const char* name) {
    auto* t = static_cast<UpdTestTarget*>(static_cast<CTBasic*>(UpdTestTarget::_CD()->Create()));
    t->AddRef(nullptr);
    t->SetName(name);
    t->log = &m_log;
    m_targets.push_back(t);
    return t;
  }

  void Kill(UpdTestTarget* t) {
    std::erase(m_targets, t);
    t->RemoveRef(nullptr);
  }

  // Ticks and returns what was delivered in that tick.
  Log TickLog(int32_t elapsed) {
    m_log.clear();
    m_manager->Tick(elapsed);
    return m_log;
  }

  DefUpdateManager* m_manager = nullptr;
  std::vector<UpdTestTarget*> m_targets;
  Log m_log;
};

// --- Descriptors and settings ---

TEST_F(DefUpdateManagerTest, DescriptorsDescribeInterfaceAndDefault) {
  ClassDesc* iface = CTUpdateManager::_CD();
  ClassDesc* impl = DefUpdateManager::_CD();
  EXPECT_EQ(iface->ID(), 0x1B0B56D6u);
  EXPECT_TRUE(iface->Abstract());
  EXPECT_EQ(iface->Create(), nullptr);
  EXPECT_STREQ(iface->GetDesc().c_str(), "Message manager");
  EXPECT_FALSE(impl->Abstract());
  EXPECT_STREQ(impl->GetDesc().c_str(), "Message manager");
  EXPECT_STREQ(impl->GetProductName().c_str(), "qiBO DefMgr");
  EXPECT_EQ(impl->GetBuild(), 0);
  EXPECT_TRUE(impl->CheckGroupID(iface->ID()));
  EXPECT_TRUE(impl->CheckGroupID(CTManager::_CD()->ID()));
}

TEST_F(DefUpdateManagerTest, FlushTresholdIsPersistentIntegerDefaulting40) {
  DProperty& p = m_manager->GetPropertyByName("FlushTreshold");
  ASSERT_EQ(p.GetType(), ptInteger);
  EXPECT_EQ(p.ToInt(), 40);
  EXPECT_TRUE(p.Persistent());
  EXPECT_FALSE(p.ReadOnly());
  EXPECT_EQ(p.GetOwnerID(), DefUpdateManager::_CD()->ID());
  // After the base's properties.
  EXPECT_STREQ(m_manager->GetPropertyNo(m_manager->GetPropertiesCount() - 1).GetName(), "FlushTreshold");
  EXPECT_STREQ(m_manager->GetPropertyByName("Started").GetName(), "Started");
}

// --- Timing ---

TEST_F(DefUpdateManagerTest, PeriodicUpdateFiresWhenDueWithOvershootAndNoCatchUp) {
  UpdTestTarget* a = NewTarget("a");
  m_manager->AddUpdate(a, kStep, 1000, -1);
  const std::vector<Log> expected = {{}, {}, {"a.step 1200"}, {}, {"a.step 800"}, {}, {}, {"a.step 1200"}};
  for (size_t tick = 0; tick < expected.size(); ++tick)
    EXPECT_EQ(TickLog(400), expected[tick]) << "tick " << tick + 1;
  // A very late tick fires once, with the whole time since arming in the
  // argument; the lost periods are not caught up: the entry is simply due
  // again on the next tick.
  EXPECT_EQ(TickLog(5000), Log{"a.step 5000"});
  EXPECT_EQ(TickLog(400), Log{"a.step 400"});
  EXPECT_EQ(TickLog(400), Log{});
}

TEST_F(DefUpdateManagerTest, PeriodZeroFiresEveryTickWithItsElapsed) {
  UpdTestTarget* a = NewTarget("a");
  m_manager->AddUpdate(a, kStep, 0, -1);
  EXPECT_EQ(TickLog(16), Log{"a.step 16"});
  EXPECT_EQ(TickLog(33), Log{"a.step 33"});
  EXPECT_EQ(TickLog(1), Log{"a.step 1"});
}

TEST_F(DefUpdateManagerTest, MessageWithDelayZeroIsDeliveredNextTickThenGone) {
  UpdTestTarget* a = NewTarget("a");
  int payload = 0;
  m_manager->AddMsg(a, 42, &payload, 0, 1);
  EXPECT_TRUE(m_log.empty());  // queued, not delivered
  EXPECT_EQ(a->GetHolderCount(), 1);
  EXPECT_EQ(TickLog(10), Log{"a.msg 42"});
  EXPECT_EQ(a->lastData, &payload);
  EXPECT_EQ(a->GetHolderCount(), 0);  // the reference went with the entry
  EXPECT_EQ(TickLog(10), Log{});
}

TEST_F(DefUpdateManagerTest, DelayedMessageWaitsForItsTime) {
  UpdTestTarget* a = NewTarget("a");
  m_manager->AddMsg(a, 7, nullptr, 50, 1);
  EXPECT_EQ(TickLog(30), Log{});
  EXPECT_EQ(TickLog(30), Log{"a.msg 7"});
  EXPECT_EQ(TickLog(30), Log{});
}

TEST_F(DefUpdateManagerTest, RepeatCountLimitsFirings) {
  UpdTestTarget* a = NewTarget("a");
  m_manager->AddUpdate(a, kStep, 0, 3);
  m_manager->AddMsg(a, 5, nullptr, 10, 2);
  int steps = 0, msgs = 0;
  for (int i = 0; i < 6; ++i)
    for (const std::string& s : TickLog(10)) (s == "a.step 10" ? steps : msgs)++;
  EXPECT_EQ(steps, 3);
  EXPECT_EQ(msgs, 2);
  EXPECT_EQ(a->GetHolderCount(), 0);
}

TEST_F(DefUpdateManagerTest, RenameMessageRenamesThroughTheQueue) {
  UpdTestTarget* a = NewTarget("a");
  char name[] = "abc";
  m_manager->AddMsg(a, kMsgRename, name, 0, 1);
  m_manager->Tick(1);
  EXPECT_STREQ(a->GetName(), "abc");
}

// --- Order and callbacks ---

TEST_F(DefUpdateManagerTest, EntriesRunInTheOrderTheyWereAdded) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  m_manager->AddUpdate(b, kStep, 0, -1);
  m_manager->AddMsg(a, 1, nullptr, 0, -1);
  m_manager->AddUpdate(a, kOther, 0, -1);
  EXPECT_EQ(TickLog(5), (Log{"b.step 5", "a.msg 1", "a.other 5"}));
}

TEST_F(DefUpdateManagerTest, EntryAddedInCallbackWaitsForNextTick) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  a->onStep = [&](UpdTestTarget*) { m_manager->AddMsg(b, 9, nullptr, 0, 1); };
  m_manager->AddUpdate(a, kStep, 0, 1);
  EXPECT_EQ(TickLog(5), Log{"a.step 5"});
  EXPECT_EQ(m_manager->GetPendingCount(), 1);
  EXPECT_EQ(TickLog(5), Log{"b.msg 9"});
}

TEST_F(DefUpdateManagerTest, RemovalInCallbackMergesAddedEntryIntoSameTick) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  a->onStep = [&](UpdTestTarget*) {
    m_manager->AddMsg(b, 9, nullptr, 0, 1);
    m_manager->RemoveMsg(a, 12345);  // matches nothing, but merges the pending list
  };
  m_manager->AddUpdate(a, kStep, 0, 1);
  m_manager->AddUpdate(b, kOther, 0, 1);
  EXPECT_EQ(TickLog(5), (Log{"a.step 5", "b.other 5", "b.msg 9"}));
  EXPECT_EQ(TickLog(5), Log{});
}

TEST_F(DefUpdateManagerTest, CallbackMayRemoveItsOwnEntry) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  // Count 1: the tick must not remove the entry a second time.
  a->onStep = [&](UpdTestTarget* self) { m_manager->RemoveUpdate(self, kStep); };
  m_manager->AddUpdate(a, kStep, 0, 1);
  m_manager->AddUpdate(b, kStep, 0, 1);
  m_manager->AddUpdate(a, kStep, 0, -1);  // removed by the first call, never fires
  EXPECT_EQ(TickLog(5), (Log{"a.step 5", "b.step 5"}));
  EXPECT_EQ(a->GetHolderCount(), 0);
  EXPECT_EQ(TickLog(5), Log{});
}

TEST_F(DefUpdateManagerTest, CallbackMayRemoveAnotherTargetsLaterEntry) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  a->onStep = [&](UpdTestTarget*) { m_manager->RemoveAll(b); };
  m_manager->AddUpdate(a, kStep, 0, -1);
  m_manager->AddUpdate(b, kStep, 0, -1);
  EXPECT_EQ(TickLog(5), Log{"a.step 5"});
  EXPECT_EQ(b->GetHolderCount(), 0);
}

TEST_F(DefUpdateManagerTest, SendNowDeliversAtOnceWithoutQueueing) {
  UpdTestTarget* a = NewTarget("a");
  int payload = 0;
  m_manager->SendNow(a, 77, &payload);
  EXPECT_EQ(m_log, Log{"a.msg 77"});
  EXPECT_EQ(a->lastData, &payload);
  EXPECT_EQ(a->GetHolderCount(), 0);
  EXPECT_EQ(TickLog(5), Log{});
}

// --- Deleting targets ---

TEST_F(DefUpdateManagerTest, DeletedTargetReceivesNothingMore) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  m_manager->AddUpdate(a, kStep, 0, -1);
  m_manager->AddUpdate(b, kStep, 0, -1);
  m_manager->AddMsg(a, 3, nullptr, 100, -1);
  EXPECT_EQ(TickLog(5), (Log{"a.step 5", "b.step 5"}));
  m_manager->AddMsg(a, 4, nullptr, 0, 1);  // still pending
  Kill(a);
  EXPECT_EQ(TickLog(200), Log{"b.step 200"});
}

TEST_F(DefUpdateManagerTest, TargetMayDeleteItselfInItsCallback) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  a->onStep = [&](UpdTestTarget* self) { Kill(self); };
  m_manager->AddUpdate(a, kStep, 0, -1);
  m_manager->AddMsg(a, 1, nullptr, 0, -1);
  m_manager->AddUpdate(b, kStep, 0, -1);
  EXPECT_EQ(TickLog(5), (Log{"a.step 5", "b.step 5"}));
  EXPECT_EQ(TickLog(5), Log{"b.step 5"});
}

TEST_F(DefUpdateManagerTest, StopReleasesEveryTargetAndRestartWorks) {
  UpdTestTarget* a = NewTarget("a");
  m_manager->AddUpdate(a, kStep, 0, -1);
  m_manager->Tick(1);
  m_manager->AddMsg(a, 2, nullptr, 0, 1);  // pending at stop
  EXPECT_EQ(a->GetHolderCount(), 2);
  ASSERT_TRUE(m_manager->Stop());
  EXPECT_EQ(a->GetHolderCount(), 0);
  EXPECT_EQ(m_manager->GetActiveSlotCount(), 0);
  EXPECT_EQ(m_manager->GetPendingCount(), 0);
  ASSERT_TRUE(m_manager->Start());
  EXPECT_EQ(TickLog(5), Log{});
  m_manager->AddUpdate(a, kStep, 0, 1);
  EXPECT_EQ(TickLog(5), Log{"a.step 5"});
}

// --- Compaction ---

TEST_F(DefUpdateManagerTest, MoreThanFlushTresholdRemovalsCompactKeepingOrder) {
  std::vector<UpdTestTarget*> targets;
  for (int i = 0; i < 60; ++i) {
    targets.push_back(NewTarget(std::to_string(i).c_str()));
    m_manager->AddUpdate(targets.back(), kStep, 0, -1);
  }
  m_manager->Tick(1);
  ASSERT_EQ(m_manager->GetActiveSlotCount(), 60);
  // 40 removals: not yet over the treshold.
  for (int i = 0; i < 40; ++i) m_manager->RemoveAll(targets[static_cast<size_t>(i * 3 / 2)]);
  m_manager->Tick(1);
  EXPECT_EQ(m_manager->GetActiveSlotCount(), 60);
  Log before = TickLog(1);
  ASSERT_EQ(before.size(), 20u);
  // The 41st compacts on the next tick; the survivors keep their order.
  m_manager->RemoveAll(targets[59]);
  before.erase(std::find(before.begin(), before.end(), "59.step 1"));
  const Log after = TickLog(1);
  EXPECT_EQ(m_manager->GetActiveSlotCount(), 19);
  EXPECT_EQ(after, before);
}

TEST_F(DefUpdateManagerTest, FlushTresholdPropertyControlsCompaction) {
  ASSERT_EQ(m_manager->GetPropertyByName("FlushTreshold").FromInt(2).ToInt(), 2);
  UpdTestTarget* a = NewTarget("a");
  for (int i = 0; i < 4; ++i) m_manager->AddMsg(a, i, nullptr, 0, -1);
  m_manager->AddUpdate(a, kStep, 0, -1);
  m_manager->Tick(1);
  m_manager->RemoveMsg(a, 0);
  m_manager->RemoveMsg(a, 1);
  m_manager->Tick(1);
  EXPECT_EQ(m_manager->GetActiveSlotCount(), 5);
  m_manager->RemoveMsg(a, 3);
  EXPECT_EQ(TickLog(1), (Log{"a.msg 2", "a.step 1"}));
  EXPECT_EQ(m_manager->GetActiveSlotCount(), 2);
}

// --- Selective removal and the set operations ---

TEST_F(DefUpdateManagerTest, RemoveOperationsMatchOnlyTheirKind) {
  UpdTestTarget* a = NewTarget("a");
  UpdTestTarget* b = NewTarget("b");
  auto fill = [&] {
    m_manager->AddUpdate(a, kStep, 0, -1);
    m_manager->AddUpdate(a, kOther, 0, -1);
    m_manager->AddMsg(a, 0, nullptr, 0, -1);
    m_manager->AddMsg(a, 6, nullptr, 0, -1);
    m_manager->AddUpdate(b, kStep, 0, -1);
  };
  struct Case {
    const char* name;
    std::function<void()> remove;
    Log left;
  };
  const std::vector<Case> cases = {
      {"RemoveUpdate",
       [&] { m_manager->RemoveUpdate(a, kStep); },
       {"a.other 1", "a.msg 0", "a.msg 6", "b.step 1"}},
      {"RemoveAllUpdates", [&] { m_manager->RemoveAllUpdates(a); }, {"a.msg 0", "a.msg 6", "b.step 1"}},
      // Message number 0 names a message, not the updates (whose number is 0).
      {"RemoveMsg 0", [&] { m_manager->RemoveMsg(a, 0); }, {"a.step 1", "a.other 1", "a.msg 6", "b.step 1"}},
      {"RemoveAllMsgs", [&] { m_manager->RemoveAllMsgs(a); }, {"a.step 1", "a.other 1", "b.step 1"}},
      {"RemoveAll", [&] { m_manager->RemoveAll(a); }, {"b.step 1"}},
  };
  for (const Case& c : cases) {
    fill();
    c.remove();  // the entries are still pending: removal merges them first
    EXPECT_EQ(TickLog(1), c.left) << c.name;
    m_manager->RemoveAll(a);
    m_manager->RemoveAll(b);
  }
}

TEST_F(DefUpdateManagerTest, SetOperationsChangeOnlyTheFirstMatch) {
  UpdTestTarget* a = NewTarget("a");
  int first = 0, second = 0, replaced = 0;
  m_manager->AddMsg(a, 5, &first, 100, 1);
  m_manager->AddMsg(a, 5, &second, 100, 1);
  m_manager->AddUpdate(a, kStep, 100, 1);
  m_manager->AddUpdate(a, kStep, 100, 1);
  // Pending entries are reached too.
  m_manager->SetMsgRemaining(a, 5, 10);
  m_manager->SetMsgData(a, 5, &replaced);
  m_manager->SetUpdateRemaining(a, kStep, 10);
  EXPECT_EQ(TickLog(10), (Log{"a.msg 5", "a.step 100"}));  // still measured from arming
  EXPECT_EQ(a->lastData, &replaced);
  EXPECT_EQ(TickLog(90), (Log{"a.msg 5", "a.step 100"}));
  EXPECT_EQ(a->lastData, &second);
}

TEST_F(DefUpdateManagerTest, SetOperationsIgnoreOtherKinds) {
  UpdTestTarget* a = NewTarget("a");
  m_manager->AddUpdate(a, kStep, 100, 1);
  m_manager->SetMsgRemaining(a, 0, 0);          // no message 0: the update is not touched
  m_manager->SetUpdateRemaining(a, kOther, 0);  // other function
  EXPECT_EQ(TickLog(50), Log{});
  EXPECT_EQ(TickLog(50), Log{"a.step 100"});
}

// --- Threads ---

TEST_F(DefUpdateManagerTest, OtherThreadMayAddWhileTicking) {
  UpdTestTarget* a = NewTarget("a");
  std::atomic<int> delivered{0};
  a->log = nullptr;
  a->onMessage = [&](UpdTestTarget*) { delivered.fetch_add(1, std::memory_order_relaxed); };
  constexpr int kCount = 5000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int i = 0; i < kCount; ++i) m_manager->AddMsg(a, i, nullptr, 0, 1);
    done.store(true);
  });
  while (!done.load()) m_manager->Tick(1);
  producer.join();
  m_manager->Tick(1);
  EXPECT_EQ(delivered.load(), kCount);
  EXPECT_EQ(a->GetHolderCount(), 0);
}

// --- Through the service ---

class UpdateServiceTest : public qibo::test::EngineFixture {};

TEST_F(UpdateServiceTest, NamedObjectQueuesThroughTheService) {
  auto* service = qibo::GetService<CTUpdateManager>();
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->GetCD(), DefUpdateManager::_CD());
  EXPECT_TRUE(service->IsStarted());
  EXPECT_STREQ(service->GetName(), "Message manager");
  EXPECT_EQ(qiBO_GetService(DefUpdateManager::_CD()), service);

  Log log;
  auto* a = static_cast<UpdTestTarget*>(static_cast<CTBasic*>(UpdTestTarget::_CD()->Create()));
  a->AddRef(nullptr);
  a->SetName("a");
  a->log = &log;
  a->AddUpdate(kStep, 0, -1);
  a->AddMsg(3, nullptr, 0);
  a->AddInfMsg(4, nullptr, 10);
  service->Tick(10);
  EXPECT_EQ(log, (Log{"a.step 10", "a.msg 3", "a.msg 4"}));
  a->RemoveUpdate(kStep);
  a->RemoveInfMsg(4);
  log.clear();
  service->Tick(10);
  EXPECT_EQ(log, Log{});
  a->AddUpdate(kStep, 0, -1);
  a->RemoveRef(nullptr);  // deleted with an entry queued
  service->Tick(10);
  EXPECT_EQ(log, Log{});
}

}  // namespace
