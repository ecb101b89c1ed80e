#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/persist/IniFile.h"
#include "tests/support/BufferLimit.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace {

using qibo::IniGetInt;
using qibo::IniGetString;
using qibo::IniGetStruct;
using qibo::IniWriteString;
using qibo::IniWriteStruct;

constexpr const char* kFile = "qibo.ini";
constexpr int32_t kAbsent = static_cast<int32_t>(0xCDCDCDCDu);

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.Enter()); }
  void TearDown() override { m_dir.Leave(); }

  static void Put(const std::string& bytes, const char* name = kFile) { qibo::test::PutFile(name, bytes); }
  static std::string Get(const char* name = kFile) { return qibo::test::GetFile(name); }
  static std::string Str(const char* section, const char* key) {
    return IniGetString(kFile, section, key, "$$DUMMY").c_str();
  }
  static size_t FilesInDir() {
    return static_cast<size_t>(
        std::distance(std::filesystem::directory_iterator("."), std::filesystem::directory_iterator()));
  }

  qibo::test::TempDir m_dir;
};

// --- Round trips -------------------------------------------------------------

TEST_F(IniFileTest, WriteString_ReadsBackAndCreatesFile) {
  ASSERT_TRUE(IniWriteString(kFile, "DefErrorManager", "LogLevel", "3"));
  ASSERT_TRUE(IniWriteString(kFile, "DefErrorManager", "Prefix", "qibo: "));
  ASSERT_TRUE(IniWriteString(kFile, "CTTimer", "Multiplier", "0.5"));
  EXPECT_EQ(Get(), "[DefErrorManager]\nLogLevel=3\nPrefix=qibo: \n[CTTimer]\nMultiplier=0.5\n");
  EXPECT_EQ(Str("DefErrorManager", "LogLevel"), "3");
  EXPECT_EQ(Str("DefErrorManager", "Prefix"), "qibo:");  // trailing blanks are trimmed on read
  EXPECT_EQ(Str("CTTimer", "Multiplier"), "0.5");
  EXPECT_EQ(IniGetInt(kFile, "DefErrorManager", "LogLevel", kAbsent), 3);
}

TEST_F(IniFileTest, WriteString_ReplacesValueInPlace) {
  ASSERT_TRUE(IniWriteString(kFile, "S", "a", "1"));
  ASSERT_TRUE(IniWriteString(kFile, "S", "b", "2"));
  ASSERT_TRUE(IniWriteString(kFile, "S", "a", "a much longer value"));
  EXPECT_EQ(Get(), "[S]\na=a much longer value\nb=2\n");
  ASSERT_TRUE(IniWriteString(kFile, "S", "a", ""));
  EXPECT_EQ(Get(), "[S]\na=\nb=2\n");
  EXPECT_EQ(Str("S", "a"), "");  // present but empty is not the default
}

TEST_F(IniFileTest, WriteString_NullValueRemovesOnlyThatLine) {
  Put("; top\n[S]\na=1\nb=2\n");
  ASSERT_TRUE(IniWriteString(kFile, "S", "A", nullptr));
  EXPECT_EQ(Get(), "; top\n[S]\nb=2\n");
  EXPECT_TRUE(IniWriteString(kFile, "S", "missing", nullptr));
  EXPECT_EQ(Get(), "; top\n[S]\nb=2\n");
}

TEST_F(IniFileTest, GetInt_ReadsLeadingDecimalLikeTheProfileFunctions) {
  Put("[N]\nplain=42\nneg=-7\nsigned= +12abc\nword=abc\nempty=\nhex=0x1F\n"
      "quoted=\"15\"\nmax=4294967295\nsentinel=-842150451\n");
  EXPECT_EQ(IniGetInt(kFile, "N", "plain", kAbsent), 42);
  EXPECT_EQ(IniGetInt(kFile, "N", "neg", kAbsent), -7);
  EXPECT_EQ(IniGetInt(kFile, "N", "signed", kAbsent), 12);
  EXPECT_EQ(IniGetInt(kFile, "N", "word", kAbsent), 0);
  EXPECT_EQ(IniGetInt(kFile, "N", "empty", kAbsent), kAbsent);
  EXPECT_EQ(IniGetInt(kFile, "N", "hex", kAbsent), 0);
  EXPECT_EQ(IniGetInt(kFile, "N", "quoted", kAbsent), 15);
  EXPECT_EQ(IniGetInt(kFile, "N", "max", kAbsent), -1);  // the 32-bit pattern 0xFFFFFFFF
  EXPECT_EQ(IniGetInt(kFile, "N", "sentinel", 0), kAbsent);
  EXPECT_EQ(IniGetInt(kFile, "N", "nothere", kAbsent), kAbsent);
  EXPECT_EQ(IniGetInt(kFile, "Other", "plain", 5), 5);
  EXPECT_EQ(IniGetInt("missing.ini", "N", "plain", 5), 5);
}

TEST_F(IniFileTest, GetString_DefaultsQuotesAndLength) {
  const std::string longValue(300, 'v');
  Put("[T]\nq1=\"quoted text\"\nq2='single'\nq3=\"unbalanced\nlong=" + longValue + "\n");
  EXPECT_EQ(Str("T", "q1"), "quoted text");
  EXPECT_EQ(Str("T", "q2"), "single");
  EXPECT_EQ(Str("T", "q3"), "\"unbalanced");
  EXPECT_EQ(Str("T", "long"), std::string(255, 'v'));
  EXPECT_STREQ(IniGetString(kFile, "T", "none", "dflt  ").c_str(), "dflt");
  EXPECT_STREQ(IniGetString(kFile, "T", "none", nullptr).c_str(), "");
  EXPECT_STREQ(IniGetString(kFile, nullptr, "q1", "d").c_str(), "d");
}

// --- Structures --------------------------------------------------------------

TEST_F(IniFileTest, Struct_EncodesUpperHexWithSumChecksum) {
  const unsigned char bytes[3] = {0x01, 0xAB, 0xFF};  // sum 0x1AB -> checksum AB
  ASSERT_TRUE(IniWriteStruct(kFile, "Joy", "Calib", bytes, 3));
  EXPECT_EQ(Get(), "[Joy]\nCalib=01ABFFAB\n");
  unsigned char back[3] = {};
  ASSERT_TRUE(IniGetStruct(kFile, "joy", "calib", back, 3));
  EXPECT_EQ(memcmp(back, bytes, 3), 0);
}

TEST_F(IniFileTest, Struct_RoundTripsEveryByteValue) {
  unsigned char bytes[256];
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<unsigned char>(255 - i);
  ASSERT_TRUE(IniWriteStruct(kFile, "Blob", "All", bytes, 256));
  unsigned char back[256] = {};
  ASSERT_TRUE(IniGetStruct(kFile, "Blob", "All", back, 256));
  EXPECT_EQ(memcmp(back, bytes, 256), 0);
}

TEST_F(IniFileTest, Struct_DamagedValueReadsAsAbsentAndLeavesDataAlone) {
  Put("[S]\ngood=01ABFFAB\nlower=01abffab\nbadsum=01ABFFAC\nshort=01ABFF\nlong=01ABFFAB00\n"
      "badhex=01AGFFAB\nspaced=01 ABFFAB\n");
  unsigned char data[3] = {7, 7, 7};
  EXPECT_TRUE(IniGetStruct(kFile, "S", "lower", data, 3));
  EXPECT_EQ(data[1], 0xAB);
  for (const char* key : {"badsum", "short", "long", "badhex", "spaced", "absent"}) {
    unsigned char untouched[3] = {7, 7, 7};
    EXPECT_FALSE(IniGetStruct(kFile, "S", key, untouched, 3)) << key;
    EXPECT_EQ(untouched[0] + untouched[1] + untouched[2], 21) << key;
  }
  EXPECT_FALSE(IniGetStruct(kFile, "S", "good", data, 2));  // stored for another size
  EXPECT_FALSE(IniGetStruct(kFile, "S", "good", data, 0));
  EXPECT_FALSE(IniWriteStruct(kFile, "S", "zero", data, 0));
}

// --- Names -------------------------------------------------------------------

TEST_F(IniFileTest, Names_CompareIgnoringAsciiCaseOnly) {
  Put("[Video]\nWidth=640\n[\xC9t\xE9]\nk=1\n");
  EXPECT_EQ(Str("VIDEO", "width"), "640");
  ASSERT_TRUE(IniWriteString(kFile, "video", "WIDTH", "800"));
  EXPECT_EQ(Get(), "[Video]\nWidth=800\n[\xC9t\xE9]\nk=1\n");  // same line, original spelling kept
  EXPECT_EQ(Str("\xC9t\xE9", "K"), "1");
  EXPECT_EQ(Str("\xE9t\xE9", "k"), "$$DUMMY");  // no locale folding of non-ASCII bytes
}

TEST_F(IniFileTest, Names_WhitespaceAroundNamesAndValuesIsTrimmed) {
  Put("  [  Audio  ]  \n\t Volume \t=\t 80 \t\n");
  EXPECT_EQ(Str("Audio", "Volume"), "80");
  EXPECT_EQ(Str(" audio ", " volume "), "80");
  ASSERT_TRUE(IniWriteString(kFile, "Audio", "Volume", "90"));
  EXPECT_EQ(Get(), "  [  Audio  ]  \n\t Volume \t=\t 90\n");
}

TEST_F(IniFileTest, Names_FirstSectionAndFirstKeyWin) {
  Put("[A]\nk=first\nk=second\n[B]\nk=b\n[a]\nk=later\nonly=later\n");
  EXPECT_EQ(Str("A", "k"), "first");
  EXPECT_EQ(Str("A", "only"), "$$DUMMY");  // later sections of the same name are not searched
  ASSERT_TRUE(IniWriteString(kFile, "a", "K", "new"));
  ASSERT_TRUE(IniWriteString(kFile, "A", "only", "x"));
  EXPECT_EQ(Get(), "[A]\nk=new\nk=second\nonly=x\n[B]\nk=b\n[a]\nk=later\nonly=later\n");
}

TEST_F(IniFileTest, Names_ThatCannotReadBackAreRefused) {
  Put("[S]\nk=1\n");
  EXPECT_FALSE(IniWriteString(kFile, "S", "k", "two\nlines"));
  EXPECT_FALSE(IniWriteString(kFile, "S", "k", "cr\rhere"));
  EXPECT_FALSE(IniWriteString(kFile, "S]x", "k", "1"));
  EXPECT_FALSE(IniWriteString(kFile, "S", "a=b", "1"));
  EXPECT_FALSE(IniWriteString(kFile, "S", ";k", "1"));
  EXPECT_FALSE(IniWriteString(kFile, "S", "[k", "1"));
  EXPECT_FALSE(IniWriteString(kFile, "  ", "k", "1"));
  EXPECT_FALSE(IniWriteString(kFile, "S", "", "1"));
  EXPECT_FALSE(IniWriteString(kFile, nullptr, "k", "1"));
  EXPECT_EQ(Get(), "[S]\nk=1\n");
}

// --- Keeping the user's file -------------------------------------------------

TEST_F(IniFileTest, Write_KeepsForeignLinesByteForByte) {
  const std::string head =
      "; qibo settings\n"
      "\n"
      "# hand-written note\n"
      "[Other]\n"
      "  Unknown = stays   as is  \n"
      "\n"
      "[DefEngineManager]\n"
      "; frame limit\n"
      "MaxFps   =  60   \n"
      "Extra=x\n";
  const std::string tail =
      "\n"
      "\n"
      "[Last]\n"
      "z=9";  // no line end at the end of the file
  Put(head + tail);
  ASSERT_TRUE(IniWriteString(kFile, "DefEngineManager", "MaxFps", "120"));
  ASSERT_TRUE(IniWriteString(kFile, "DefEngineManager", "VSync", "1"));
  std::string expected = head + "VSync=1\n" + tail;
  expected.replace(expected.find("MaxFps   =  60   "), 17, "MaxFps   =  120");
  EXPECT_EQ(Get(), expected);

  ASSERT_TRUE(IniWriteString(kFile, "Last", "y", "8"));
  expected.replace(expected.size() - 3, 3, "z=9\ny=8\n");
  EXPECT_EQ(Get(), expected);
  ASSERT_TRUE(IniWriteString(kFile, "New Section", "k", "v"));
  EXPECT_EQ(Get(), expected + "[New Section]\nk=v\n");
}

TEST_F(IniFileTest, Write_FollowsCrLfLineEnds) {
  Put("[A]\r\nk=1\r\n\r\n[B]\r\nm=2");
  EXPECT_EQ(Str("A", "k"), "1");
  EXPECT_EQ(Str("B", "m"), "2");
  ASSERT_TRUE(IniWriteString(kFile, "A", "k", "one"));
  ASSERT_TRUE(IniWriteString(kFile, "A", "n", "3"));
  ASSERT_TRUE(IniWriteString(kFile, "C", "p", "4"));
  EXPECT_EQ(Get(), "[A]\r\nk=one\r\nn=3\r\n\r\n[B]\r\nm=2\r\n[C]\r\np=4\r\n");
}

TEST_F(IniFileTest, DamagedFile_ReadsWhatItCanAndWriteKeepsTheRest) {
  const std::string overlong(1000, 'g');
  std::string damaged =
      "\x01\x02garbage \xFF\xFE line\n"
      "orphan=before any section\n"
      "[Broken\n"
      "lost=under a broken header\n"
      "[Good]\n" +
      overlong + "\n" +
      "noequals\n"
      "nul=a" +
      std::string(1, '\0') +
      "b\n"
      "=no name\n"
      "bin=\x80\x81 text\n"
      "long" +
      overlong +
      "=x\n"
      "ok=fine\r\n"
      "[Nul" +
      std::string(1, '\0') +
      "]\n"
      "hidden=1\n";
  Put(damaged);
  EXPECT_EQ(Str("Good", "ok"), "fine");
  EXPECT_EQ(Str("Good", "bin"), "\x80\x81 text");
  EXPECT_EQ(Str("Good", "nul"), "$$DUMMY");
  EXPECT_EQ(Str("Good", "noequals"), "$$DUMMY");
  EXPECT_EQ(Str("Good", "hidden"), "$$DUMMY");  // under a header with a NUL
  EXPECT_EQ(Str("Broken", "lost"), "$$DUMMY");
  EXPECT_EQ(Str("", "orphan"), "$$DUMMY");
  EXPECT_EQ(IniGetInt(kFile, "Good", "ok", kAbsent), 0);

  ASSERT_TRUE(IniWriteString(kFile, "Good", "ok", "better"));
  ASSERT_TRUE(IniWriteString(kFile, "Good", "added", "1"));
  std::string expected = damaged;
  expected.replace(expected.find("ok=fine"), 7, "ok=better");
  expected.insert(expected.find("[Nul"), "added=1\n");
  EXPECT_EQ(Get(), expected);
  EXPECT_EQ(Str("Good", "added"), "1");
}

// --- Saving ------------------------------------------------------------------

TEST_F(IniFileTest, Save_FailedWriteLeavesOldFileAndNoTemporary) {
  const std::string original = "[S]\nk=1\n; " + std::string(2000, 'c') + "\n";
  Put(original);
  // Cap the size of any file this process writes, so that the temporary copy
  // cannot be completed (works for root too, unlike permissions).
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 1024;
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = IniWriteString(kFile, "S", "k", "2");
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(Get(), original);
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(IniFileTest, Save_ReadOnlyDirectoryFailsAndKeepsOldFile) {
  Put("[S]\nk=1\n");
  ASSERT_EQ(chmod(".", 0555), 0);
  const bool canStillCreate = access(".", W_OK) == 0;  // root ignores the mode
  const bool written = IniWriteString(kFile, "S", "k", "2");
  chmod(".", 0755);
  if (canStillCreate) GTEST_SKIP() << "directory permissions are not enforced for this user";
  EXPECT_FALSE(written);
  EXPECT_EQ(Get(), "[S]\nk=1\n");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(IniFileTest, Save_KeepsFileModeAndLeavesNoTemporary) {
  Put("[S]\nk=1\n");
  ASSERT_EQ(chmod(kFile, 0600), 0);
  ASSERT_TRUE(IniWriteString(kFile, "S", "k", "2"));
  struct stat st;
  ASSERT_EQ(stat(kFile, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(IniFileTest, Save_ThroughALinkUpdatesItsTarget) {
  ASSERT_TRUE(std::filesystem::create_directory("dotfiles"));
  Put("[S]\nk=1\n", "dotfiles/qibo.ini");
  std::filesystem::create_symlink("dotfiles/qibo.ini", kFile);
  ASSERT_TRUE(IniWriteString(kFile, "S", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(kFile));
  EXPECT_EQ(Get("dotfiles/qibo.ini"), "[S]\nk=2\n");
}

TEST_F(IniFileTest, Save_UnreadableTargetIsNotReplaced) {
  ASSERT_TRUE(std::filesystem::create_directory("dir.ini"));
  EXPECT_FALSE(IniWriteString("dir.ini", "S", "k", "1"));
  EXPECT_TRUE(std::filesystem::is_directory("dir.ini"));
  EXPECT_EQ(Str("S", "k"), "$$DUMMY");
}

TEST_F(IniFileTest, Save_ReadOnlyFileIsRefusedAndKept) {
  Put("[S]\nk=1\n");
  ASSERT_EQ(chmod(kFile, 0444), 0);
  EXPECT_FALSE(IniWriteString(kFile, "S", "k", "2"));
  EXPECT_NE(std::string(qibo::IniLastError()).find("read-only"), std::string::npos) << qibo::IniLastError();
  EXPECT_EQ(Get(), "[S]\nk=1\n");
  struct stat st;
  ASSERT_EQ(stat(kFile, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// Writers in several processes at once: each read-change-rename happens
// whole, so every key written is kept.
TEST_F(IniFileTest, Save_ConcurrentWritersKeepEveryKey) {
  const auto Key = [](int writer, int key) {
    char text[32];
    snprintf(text, sizeof(text), "w%dk%d", writer, key);
    return std::string(text);
  };
  constexpr int kWriters = 4;
  constexpr int kKeys = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int k = 0; k < kKeys; ++k) ok = IniWriteString(kFile, "Shared", Key(w, k).c_str(), "1") && ok;
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int kept = 0;
  for (int w = 0; w < kWriters; ++w)
    for (int k = 0; k < kKeys; ++k) kept += IniGetInt(kFile, "Shared", Key(w, k).c_str(), 0);
  EXPECT_EQ(kept, kWriters * kKeys);
}

// Lookups read and index the file once per change, not once per key.
TEST_F(IniFileTest, Lookups_ReadTheFileOncePerChange) {
  Put(std::string(100000, '\n') + "[S]\nk=1\n");
  const int before = qibo::IniFilesIndexed();
  for (int i = 0; i < 50; ++i) EXPECT_EQ(IniGetInt(kFile, "S", "k", 0), 1);
  EXPECT_EQ(qibo::IniFilesIndexed() - before, 1);
  ASSERT_TRUE(IniWriteString(kFile, "S", "k", "2"));
  for (int i = 0; i < 50; ++i) EXPECT_EQ(IniGetInt(kFile, "S", "k", 0), 2);
  EXPECT_EQ(qibo::IniFilesIndexed() - before, 2);
}

// --- File names --------------------------------------------------------------

TEST_F(IniFileTest, FileName_BackslashesAndCaseReachTheFileOnDisk) {
  ASSERT_TRUE(std::filesystem::create_directory("Config"));
  Put("[S]\nk=1\n", "Config/Qibo.ini");
  EXPECT_EQ(IniGetInt(".\\config\\QIBO.INI", "S", "k", 0), 1);
  ASSERT_TRUE(IniWriteString(".\\CONFIG\\qibo.ini", "S", "k", "2"));
  EXPECT_EQ(Get("Config/Qibo.ini"), "[S]\nk=2\n");
  EXPECT_EQ(
      std::distance(std::filesystem::directory_iterator("Config"), std::filesystem::directory_iterator()), 1);
  ASSERT_TRUE(IniWriteString(".\\qibo.ini", "T", "x", "y"));
  EXPECT_EQ(Get(), "[T]\nx=y\n");
}

// --- Failures inside a call --------------------------------------------------

// With the engine's log running: no memory for the file's text makes every
// call answer as for a missing key or a failed write, with a log line.
class IniFileFailureTest : public qibo::test::EngineFixture {};

TEST_F(IniFileFailureTest, NoMemoryForTheText_IsLoggedAndAnsweredWithTheDefault) {
  StartLog();
  const std::string padding(8192, ';');
  qibo::test::PutFile(kFile, "[Big]\nNumber=7\nText=seven\nData=0102030306\n" + padding + "\n");
  const struct {
    const char* call;
    bool (*run)();  // true when the answer is the default (or false for a write)
    const char* logged;
  } cases[] = {
      {"IniGetInt", [] { return IniGetInt(kFile, "Big", "Number", kAbsent) == kAbsent; },
       "reading [Big] Number failed"},
      {"IniGetString", [] { return IniGetString(kFile, "Big", "Text", "none") == "none"; },
       "reading [Big] Text failed"},
      {"IniGetStruct",
       [] {
         uint8_t data[4] = {9, 9, 9, 9};
         return !IniGetStruct(kFile, "Big", "Data", data, 4) && data[0] == 9;
       },
       "reading [Big] Data failed"},
      {"IniWriteString", [] { return !IniWriteString(kFile, "Big", "Number", "8"); },
       "writing [Big] Number failed"},
      {"IniWriteStruct",
       [] {
         const uint8_t data[2] = {1, 2};
         return !IniWriteStruct(kFile, "Big", "Data", data, 2);
       },
       "writing [Big] Data failed"},
  };
  const std::string before = qibo::test::GetFile(kFile);
  for (const auto& c : cases) {
    const int logged = CountLogged(c.logged);
    {
      qibo::test::BufferLimit limit(4096);
      EXPECT_TRUE(c.run()) << c.call;
    }
    EXPECT_EQ(CountLogged(c.logged), logged + 1) << c.call;
    EXPECT_EQ(qibo::test::GetFile(kFile), before) << c.call;
  }
  EXPECT_NE(std::string(qibo::IniLastError()).find("writing [Big] Data failed"), std::string::npos);
  // With the memory back, the same file reads as it always did.
  EXPECT_EQ(IniGetInt(kFile, "Big", "Number", kAbsent), 7);
}

}  // namespace
