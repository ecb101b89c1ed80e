#include <gtest/gtest.h>

#include <string>

#include "core/kernel/CTUpdateManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/DefErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/Ref.h"
#include "core/persist/IniFile.h"
#include "tests/support/EngineFixture.h"

// A reporter with a code of its own, and an object that is not a CTLogged.
class LogTestReporter : public CTLogged {
  QIBO_CLASS(LogTestReporter)

 public:
  LogTestReporter() : CTLogged("Reporter") {}
  QIBO_String TranslateErrorCode(uint32_t code) override {
    return code == 0x40000007 ? QIBO_String("Disk on fire") : CTLogged::TranslateErrorCode(code);
  }
};
class LogTestPlain : public CTReferenced {
  QIBO_CLASS(LogTestPlain)
};
QIBO_IMPLEMENT_CLASS(LogTestReporter, CTLogged, .desc = "Log test reporter")
QIBO_IMPLEMENT_CLASS(LogTestPlain, CTReferenced)

namespace {

// A new T that nothing holds yet.
template <class T>
T* Unheld() {
  return static_cast<T*>(static_cast<CTBasic*>(T::_CD()->Create()));
}

class ErrorManagerTest : public qibo::test::EngineFixture {
 protected:
  static DefErrorManager* Errors() {
    return qibo::Cast<DefErrorManager>(qiBO_GetService(CTErrorManager::_CD()));
  }
  static std::string Text(int i) {
    errorstruct_t* r = qiBO_GetErrorNo(i);
    return r ? r->message : "<none>";
  }
};

TEST_F(ErrorManagerTest, Service_IsTheDefaultLogWithDefaults) {
  EXPECT_EQ(DefErrorManager::_CD()->ID(), 0x34F004D3u);
  EXPECT_EQ(DefErrorManager::_CD()->GetProductName(), "qiBO DefMgr");
  DefErrorManager* errors = Errors();
  ASSERT_NE(errors, nullptr);
  EXPECT_STREQ(errors->GetName(), "Error log manager");
  EXPECT_EQ(errors->GetPropertyByName("MaxErrors").ToInt(), 100);
  EXPECT_GE(errors->GetCapacity(), 100);
  EXPECT_EQ(errors->TranslateErrorCode(0x10001000), "Maximum number of messages reached");
  EXPECT_EQ(errors->TranslateErrorCode(0), "None");
  EXPECT_EQ(errors->TranslateErrorCode(0x40000001), "Unknown error");
}

TEST_F(ErrorManagerTest, Operations_RecordCodeTextObjectAndClass) {
  LogTestReporter* reporter = Unheld<LogTestReporter>();
  LogTestPlain* plain = Unheld<LogTestPlain>();
  Ref<CTReferenced> holdReporter(reporter), holdPlain(plain);
  qiBO_Info("i", reporter);
  qiBO_Warning("w", nullptr);
  qiBO_Error("e", plain);
  qiBO_ErrorCode(0x40000007, reporter);
  qiBO_ErrorCode(0x50000010, plain);
  ASSERT_EQ(qiBO_GetErrorsCount(), 5);
  const struct {
    uint32_t code;
    const char* text;
    CTBasic* object;
    uint32_t classID;
  } expected[] = {{0x10000000, "i", reporter, LogTestReporter::_CD()->ID()},
                  {0x30000000, "w", nullptr, 0},
                  {0x40000000, "e", plain, LogTestPlain::_CD()->ID()},
                  {0x40000007, "Disk on fire", reporter, LogTestReporter::_CD()->ID()},
                  {0x50000010, "Unknown error", plain, LogTestPlain::_CD()->ID()}};
  for (int i = 0; i < 5; ++i) {
    errorstruct_t* r = qiBO_GetErrorNo(i);
    EXPECT_EQ(r->code, expected[i].code) << i;
    EXPECT_STREQ(r->message, expected[i].text) << i;
    EXPECT_EQ(r->object, expected[i].object) << i;
    EXPECT_EQ(r->classID, expected[i].classID) << i;
  }
  EXPECT_EQ(qiBO_GetErrorNo(-1), nullptr);
  EXPECT_EQ(qiBO_GetErrorNo(5), nullptr);
  // One tracked reference per record, none that keeps the object alive.
  EXPECT_EQ(reporter->GetHolderCount(), 2);
  EXPECT_EQ(reporter->GetRefCount(), 1);
}

TEST_F(ErrorManagerTest, Overflow_EmptiesTheListAndStartsItWithTheWarning) {
  DefErrorManager* errors = Errors();
  LogTestPlain* plain = Unheld<LogTestPlain>();
  Ref hold(plain);
  qiBO_Error("first", plain);
  for (int i = 1; i < 100; ++i) qiBO_Printf("message %d", i);
  ASSERT_EQ(qiBO_GetErrorsCount(), 100);
  qiBO_Printf("one too many");
  ASSERT_EQ(qiBO_GetErrorsCount(), 2);
  errorstruct_t* warning = qiBO_GetErrorNo(0);
  EXPECT_EQ(warning->code, 0x30000000u);
  EXPECT_STREQ(warning->message, "Maximum number of messages reached");
  EXPECT_EQ(warning->object, errors);
  EXPECT_EQ(Text(1), "one too many");
  EXPECT_EQ(plain->GetHolderCount(), 0) << "freed records must release their objects";
}

TEST_F(ErrorManagerTest, MaxErrors_BelowTwoBecomesTwo) {
  DefErrorManager* errors = Errors();
  for (int value : {0, 1, -7, 3}) {
    errors->GetPropertyByName("MaxErrors").FromInt(value);
    errors->ApplyChanges();
    EXPECT_EQ(errors->GetMaxErrors(), value < 2 ? 2 : value) << value;
  }
}

TEST_F(ErrorManagerTest, MaxErrors_FromSettingsAppliesTheMinimum) {
  ASSERT_TRUE(qibo::IniWriteString(".\\qibo.ini", "DefErrorManager", "MaxErrors", "1"));
  ASSERT_EQ(Errors()->GetMaxErrors(), 2);
  qiBO_Printf("a");
  qiBO_Printf("b");
  qiBO_Printf("c");
  ASSERT_EQ(qiBO_GetErrorsCount(), 2);
  EXPECT_EQ(Text(0), "Maximum number of messages reached");
  EXPECT_EQ(Text(1), "c");
}

TEST_F(ErrorManagerTest, DeletedObject_RecordKeepsTextAndClassID) {
  LogTestReporter* reporter = Unheld<LogTestReporter>();
  reporter->AddRef(nullptr);
  qiBO_Error("gone soon", reporter);
  qiBO_Warning("twice", reporter);
  reporter->RemoveRef(nullptr);
  for (int i = 0; i < 2; ++i) {
    errorstruct_t* r = qiBO_GetErrorNo(i);
    EXPECT_EQ(r->object, nullptr);
    EXPECT_EQ(r->classID, LogTestReporter::_CD()->ID());
  }
  EXPECT_EQ(Text(0), "gone soon");
}

TEST_F(ErrorManagerTest, Shutdown_LeavesNoTrackedReferenceBehind) {
  LogTestPlain* plain = Unheld<LogTestPlain>();
  Ref hold(plain);
  qiBO_Error("held", plain);
  ASSERT_EQ(plain->GetHolderCount(), 1);
  qiBO_Deinit();
  // The manager is gone: deleting the object must not reach it.
  EXPECT_EQ(plain->GetHolderCount(), 0);
  EXPECT_EQ(DefErrorManager::_CD()->GetInstances(), 0);
}

TEST_F(ErrorManagerTest, VerboseLevel_DecidesWhatIsForwarded) {
  Errors();
  LogTestReporter* reporter = Unheld<LogTestReporter>();
  Ref hold(reporter);
  reporter->WarningMsg("w0", 0);
  reporter->WarningMsg("w1", 1);
  reporter->InfoMsg("i0", 0);
  reporter->InfoMsg("i1", 1);
  ASSERT_EQ(qiBO_GetErrorsCount(), 2);
  EXPECT_EQ(Text(0), "w0");
  EXPECT_EQ(Text(1), "i0");

  reporter->GetPropertyByName("VerboseLevel").FromInt(3);
  for (int level = 0; level <= 3; ++level)
    reporter->InfoMsg(("level " + std::to_string(level)).c_str(), level);
  ASSERT_EQ(qiBO_GetErrorsCount(), 5);
  EXPECT_EQ(Text(4), "level 2");
}

TEST_F(ErrorManagerTest, WarningAboveTheLevel_ChangesNothing) {
  Errors();
  LogTestReporter* reporter = Unheld<LogTestReporter>();
  Ref hold(reporter);
  reporter->WarningMsg("quiet", 2);
  EXPECT_FALSE(reporter->HasError());
  EXPECT_EQ(reporter->LastErrorMsg(), "None");
  EXPECT_EQ(qiBO_GetErrorsCount(), 0);
  reporter->ErrorMsg("loud");
  EXPECT_EQ(reporter->LastErrorCode(), 1u);
}

TEST_F(ErrorManagerTest, WarningLevelZero_SetsTheErrorWithoutAnErrorManager) {
  ASSERT_EQ(qiBO_FindService(CTErrorManager::_CD()), nullptr);
  LogTestReporter* reporter = Unheld<LogTestReporter>();
  Ref hold(reporter);
  reporter->WarningMsg("alone", 0);
  EXPECT_TRUE(reporter->HasError());
  EXPECT_EQ(reporter->LastErrorMsg(), "alone");
  EXPECT_EQ(reporter->LastErrorCode(), 0u);
}

TEST_F(ErrorManagerTest, Printf_LogsOnlyNonEmptyTextsThatFit) {
  const std::string fits(255, 'x');
  qiBO_Printf("%s", "");
  qiBO_Printf("%s", (fits + "y").c_str());
  EXPECT_EQ(qiBO_GetErrorsCount(), 0);
  qiBO_Printf("%s", fits.c_str());
  qiBO_Printf("hello %d", 5);
  ASSERT_EQ(qiBO_GetErrorsCount(), 2);
  EXPECT_EQ(Text(0), fits);
  errorstruct_t* r = qiBO_GetErrorNo(1);
  EXPECT_STREQ(r->message, "hello 5");
  EXPECT_EQ(r->code, 0x10000000u);
  EXPECT_EQ(r->object, nullptr);
  EXPECT_EQ(r->classID, 0u);
}

TEST_F(ErrorManagerTest, Api_WithoutAnErrorManagerDoesNothing) {
  qiBO_UnregisterClass(DefErrorManager::_CD());
  qiBO_Error("nobody listens", nullptr);
  qiBO_Printf("nor here");
  EXPECT_EQ(qiBO_GetErrorsCount(), 0);
  EXPECT_EQ(qiBO_GetErrorNo(0), nullptr);
  EXPECT_EQ(qiBO_FindService(CTErrorManager::_CD()), nullptr);
}

TEST_F(ErrorManagerTest, Api_RestartsAStoppedErrorManager) {
  DefErrorManager* errors = Errors();
  qiBO_Printf("before");
  ASSERT_TRUE(errors->Stop());
  EXPECT_EQ(errors->GetErrorsCount(), 0);
  qiBO_Printf("after");
  EXPECT_TRUE(errors->IsStarted());
  ASSERT_EQ(qiBO_GetErrorsCount(), 1);
  EXPECT_EQ(Text(0), "after");
}

TEST_F(ErrorManagerTest, ServiceStart_IsLoggedWithTheServiceName) {
  ASSERT_TRUE(qibo::IniWriteString(".\\qibo.ini", "DefUpdateManager", "VerboseLevel", "3"));
  Errors();
  CTManager* updates = qiBO_GetService(CTUpdateManager::_CD());
  ASSERT_NE(updates, nullptr);
  ASSERT_EQ(qiBO_GetErrorsCount(), 1);
  EXPECT_EQ(Text(0), "Message manager started");
  EXPECT_EQ(qiBO_GetErrorNo(0)->object, updates);
}

}  // namespace
