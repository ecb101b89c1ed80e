#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/kernel/CTConsoleFrontEnd.h"
#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/ConsoleOutput.h"
#include "core/kernel/DefClassManager.h"
#include "core/kernel/DefErrorManager.h"
#include "core/kernel/DefFrontEndManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/Ref.h"
#include "core/persist/IniFile.h"
#include "tests/support/EngineFixture.h"

// Records every call it receives. A front end may be told to drop front
// ends (itself included) from the manager when it is notified.
class FeTestRecorder : public CTFrontEnd {
  QIBO_CLASS(FeTestRecorder)

 public:
  std::vector<std::string> calls;
  std::vector<CTFrontEnd*> removeOnNotify;
  const char* logOnce = nullptr;  // logged from inside the next record's notification

  void ErrorManagerMessage(errorstruct_t* r) override {
    if (const char* text = logOnce) {
      logOnce = nullptr;
      qiBO_Printf("%s", text);
    }
    calls.push_back(std::string("message ") + r->message);
  }
  void InitProgress(int n) override { calls.push_back("init " + std::to_string(n)); }
  void StepProgress(int n) override { calls.push_back("step " + std::to_string(n)); }
  void EndProgress() override { calls.push_back("end"); }
  void Notify(CTNamed* from, int msg, void* data) override {
    auto* manager = qibo::FindService<CTFrontEndManager>();
    for (CTFrontEnd* f : removeOnNotify) manager->RemoveFrontEnd(f);
    CTFrontEnd::Notify(from, msg, data);
  }
};
QIBO_IMPLEMENT_CLASS(FeTestRecorder, CTFrontEnd, .desc = "Recording front end")

namespace {

// A new T that nothing holds yet.
template <class T>
T* Unheld() {
  return static_cast<T*>(static_cast<CTBasic*>(T::_CD()->Create()));
}

void* IntData(intptr_t value) { return reinterpret_cast<void*>(value); }

class ConsoleFrontEndTest : public qibo::test::EngineFixture {
 protected:
  static DefFrontEndManager* FrontEnds() {
    return qibo::Cast<DefFrontEndManager>(qiBO_GetService(CTFrontEndManager::_CD()));
  }
  // A console that the front-end manager owns, with the error log running.
  static CTConsoleFrontEnd* Console() {
    qiBO_GetService(CTErrorManager::_CD());
    return static_cast<CTConsoleFrontEnd*>(qiBO_CreateClassByName("CTConsoleFrontEnd"));
  }
};

TEST_F(ConsoleFrontEndTest, Descriptors_HaveTheirIdsAndNames) {
  EXPECT_EQ(CTFrontEnd::_CD()->ID(), 0xD6B99916u);
  EXPECT_TRUE(CTFrontEnd::_CD()->Abstract());
  EXPECT_EQ(CTFrontEnd::_CD()->GetDesc(), "Abstract front-end");
  EXPECT_EQ(DefFrontEndManager::_CD()->ID(), 0x3C8C8C9Fu);
  EXPECT_EQ(CTConsoleFrontEnd::_CD()->ID(), 0x214D1D3Cu);
  EXPECT_EQ(CTConsoleFrontEnd::_CD()->GetDesc(), "Basic Console-Frontend");
  EXPECT_STREQ(FrontEnds()->GetName(), "Frontend manager");
  FeTestRecorder* recorder = Unheld<FeTestRecorder>();
  EXPECT_STREQ(recorder->GetName(), "FrontEnd");
  EXPECT_STREQ(Console()->GetName(), "Console Frontend");
}

TEST_F(ConsoleFrontEndTest, Construction_RegistersAndTheManagerOwnsIt) {
  CTConsoleFrontEnd* console = Console();
  ASSERT_NE(console, nullptr);
  DefFrontEndManager* manager = FrontEnds();
  ASSERT_EQ(manager->GetFrontEndCount(), 1);
  EXPECT_EQ(manager->GetFrontEndNo(0), console);
  EXPECT_EQ(console->GetRefCount(), 1);
}

TEST_F(ConsoleFrontEndTest, Notify_DispatchesByMessage) {
  FeTestRecorder* recorder = Unheld<FeTestRecorder>();
  DefFrontEndManager* manager = FrontEnds();
  manager->NotifyFrontEnds(nullptr, static_cast<int>(0xFE300001u), IntData(7));
  for (intptr_t n : {0, -4, 3}) manager->NotifyFrontEnds(nullptr, static_cast<int>(0xFE300002u), IntData(n));
  manager->NotifyFrontEnds(nullptr, static_cast<int>(0xFE300003u), nullptr);
  manager->NotifyFrontEnds(nullptr, static_cast<int>(0xFE300005u), IntData(1));
  qiBO_Printf("logged");
  const std::vector<std::string> expected = {"init 7", "step 1", "step 1", "step 3", "end", "message logged"};
  EXPECT_EQ(recorder->calls, expected);
}

TEST_F(ConsoleFrontEndTest, Manager_ListsTwiceAndFillsGapsWithTheLast) {
  DefFrontEndManager* manager = FrontEnds();
  FeTestRecorder* a = Unheld<FeTestRecorder>();
  FeTestRecorder* b = Unheld<FeTestRecorder>();
  FeTestRecorder* c = Unheld<FeTestRecorder>();
  manager->AddFrontEnd(a);
  EXPECT_EQ(a->GetRefCount(), 2);
  manager->NotifyFrontEnds(nullptr, static_cast<int>(0xFE300003u), nullptr);
  EXPECT_EQ(a->calls.size(), 2u);
  manager->RemoveFrontEnd(a);  // [a, b, c, a] -> [a, b, c]
  manager->RemoveFrontEnd(a);  // -> [c, b]
  ASSERT_EQ(manager->GetFrontEndCount(), 2);
  EXPECT_EQ(manager->GetFrontEndNo(0), c);
  EXPECT_EQ(manager->GetFrontEndNo(1), b);
}

TEST_F(ConsoleFrontEndTest, Manager_SurvivesRemovalWhileNotifying) {
  DefFrontEndManager* manager = FrontEnds();
  FeTestRecorder* a = Unheld<FeTestRecorder>();
  FeTestRecorder* b = Unheld<FeTestRecorder>();
  FeTestRecorder* c = Unheld<FeTestRecorder>();
  FeTestRecorder* d = Unheld<FeTestRecorder>();
  Ref<CTReferenced> holdB(b), holdC(c), holdD(d);
  // a drops itself (its last reference) and d, which has not had its turn.
  a->removeOnNotify = {a, d};
  manager->NotifyFrontEnds(nullptr, static_cast<int>(0xFE300003u), nullptr);
  EXPECT_EQ(b->calls.size(), 1u);
  EXPECT_EQ(c->calls.size(), 1u);
  EXPECT_TRUE(d->calls.empty());
  EXPECT_EQ(manager->GetFrontEndCount(), 2);
}

TEST_F(ConsoleFrontEndTest, Record_StaysValidWhileAFrontEndOverflowsTheLog) {
  auto* errors = qibo::Cast<DefErrorManager>(qiBO_GetService(CTErrorManager::_CD()));
  errors->GetPropertyByName("MaxErrors").FromInt(2);
  errors->ApplyChanges();
  FeTestRecorder* recorder = Unheld<FeTestRecorder>();
  qiBO_Printf("one");
  recorder->logOnce = "three";
  qiBO_Printf("two");  // its notification logs "three", which empties the list
  ASSERT_EQ(recorder->calls.size(), 4u);
  EXPECT_EQ(recorder->calls.back(), "message two");
  ASSERT_EQ(qiBO_GetErrorsCount(), 2);
  EXPECT_STREQ(qiBO_GetErrorNo(1)->message, "three");
}

TEST_F(ConsoleFrontEndTest, Shutdown_ReleasesFrontEndsAndTheirReferences) {
  const int32_t classManagers = DefClassManager::_CD()->GetInstances();
  FeTestRecorder* recorder = Unheld<FeTestRecorder>();
  Ref hold(recorder);
  CTConsoleFrontEnd* console = Console();
  errorstruct_t record = {nullptr, DefErrorManager::_CD()->ID(), 0x30000000, "needs a class name"};
  testing::internal::CaptureStdout();
  console->ErrorManagerMessage(&record);  // takes the class-manager reference
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(recorder->GetRefCount(), 2);
  qiBO_Deinit();
  EXPECT_EQ(recorder->GetRefCount(), 1);
  EXPECT_EQ(CTConsoleFrontEnd::_CD()->GetInstances(), 0);
  EXPECT_EQ(DefFrontEndManager::_CD()->GetInstances(), 0);
  EXPECT_EQ(DefClassManager::_CD()->GetInstances(), classManagers);
}

TEST_F(ConsoleFrontEndTest, Console_PrefixesEachSeverity) {
  Console();
  const struct {
    uint32_t code;
    const char* line;
  } cases[] = {{0x40000000, "ERROR: Unknown error\n"},    {0x20000001, "Warning: Unknown error\n"},
               {0x30000000, "WARNING: Unknown error\n"},  {0x50000010, "FATAL: Unknown error\n"},
               {0x60000000, "INTERNAL: Unknown error\n"}, {0x10000000, "Message: Unknown error\n"},
               {0x00000005, "Message: Unknown error\n"},  {0xF0000000, "Message: Unknown error\n"}};
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    qiBO_ErrorCode(c.code, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line) << std::hex << c.code;
  }
  testing::internal::CaptureStdout();
  qiBO_Printf("hello");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Message: hello\n");
}

// Progress marks stay on their line; a message after them starts a line of
// its own, and nothing is added where the line is already finished.
TEST_F(ConsoleFrontEndTest, Console_MessagesAfterProgressMarksStartANewLine) {
  CTConsoleFrontEnd* console = Console();
  const struct {
    std::vector<const char*> marks;  // written before the message; "" steps the front end's progress
    const char* output;
  } cases[] = {
      {{}, "ERROR: late\n"},
      {{"q", "u"}, "qu\nERROR: late\n"},
      {{"", ""}, "..\nERROR: late\n"},
      {{"done\n"}, "done\nERROR: late\n"},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    for (const char* mark : c.marks)
      if (*mark)
        qibo::ConsoleWrite(mark);
      else
        console->StepProgress(1);
    qiBO_Error("late", nullptr);
    qibo::ConsoleEndLine();  // the message ended its line already
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
  }
}

TEST_F(ConsoleFrontEndTest, Console_NamesTheReporterOrItsClass) {
  CTConsoleFrontEnd* console = Console();
  FeTestRecorder* named = Unheld<FeTestRecorder>();
  Ref hold(named);
  named->SetName("Files");
  testing::internal::CaptureStdout();
  qiBO_Error("Unable to open: x.vdl", named);
  named->ErrorCode(0x50000010);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR: Unable to open: x.vdl (Files)\nFATAL: Unknown error (Files)\n");

  errorstruct_t byClass = {nullptr, DefErrorManager::_CD()->ID(), 0x30000000, "lost"};
  errorstruct_t unknown = {nullptr, 0x12345678, 0x40000000, "who"};
  errorstruct_t bare = {nullptr, 0, 0x40000000, "plain"};
  testing::internal::CaptureStdout();
  console->ErrorManagerMessage(&byClass);
  console->ErrorManagerMessage(&unknown);
  console->ErrorManagerMessage(&bare);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WARNING: lost [DefErrorManager]\nERROR: who [0x12345678]\nERROR: plain\n");
}

TEST_F(ConsoleFrontEndTest, Console_CutsTheTextThenTheLine) {
  CTConsoleFrontEnd* console = Console();
  FeTestRecorder* named = Unheld<FeTestRecorder>();
  Ref hold(named);
  named->SetName("Files");
  testing::internal::CaptureStdout();
  qiBO_Error(std::string(300, 'a').c_str(), nullptr);
  qiBO_Error(std::string(250, 'b').c_str(), named);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR: " + std::string(248, 'a') + "\nERROR: " + std::string(248, 'b') + "\n");
  EXPECT_EQ(console->FormatRecord(*qiBO_GetErrorNo(0)).Length(), 255);
}

TEST_F(ConsoleFrontEndTest, Console_PrintsProgressDots) {
  Console();
  DefFrontEndManager* manager = FrontEnds();
  testing::internal::CaptureStdout();
  for (intptr_t n : {0, -3, 3}) manager->NotifyFrontEnds(nullptr, static_cast<int>(0xFE300002u), IntData(n));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".....");
}

// A console made on an engine that has logged nothing yet shows what
// objects report from then on: making it starts the log they report to.
TEST_F(ConsoleFrontEndTest, Console_ShowsObjectReportsOnAFreshEngine) {
  qiBO_CreateClassByName("CTConsoleFrontEnd");
  FeTestRecorder* named = Make<FeTestRecorder>();
  Ref hold(named);
  named->SetName("Importer");
  const struct {
    uint32_t code;
    const char* line;
  } cases[] = {{0x30000000, "WARNING: Unknown error (Importer)\n"},
               {0x40000000, "ERROR: Unknown error (Importer)\n"},
               {0x10000000, "Message: Unknown error (Importer)\n"}};
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    named->ErrorCode(c.code);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line) << std::hex << c.code;
  }
}

TEST_F(ConsoleFrontEndTest, Console_ShowsAServiceStart) {
  ASSERT_TRUE(qibo::IniWriteString(".\\qibo.ini", "DefUpdateManager", "VerboseLevel", "3"));
  Console();
  testing::internal::CaptureStdout();
  qiBO_GetService(CTUpdateManager::_CD());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Message: Message manager started (Message manager)\n");
}

}  // namespace
