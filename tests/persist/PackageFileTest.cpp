#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/kernel/CTErrorManager.h"
#include "core/kernel/Kernel.h"
#include "core/persist/CTPackageFile.h"
#include "core/persist/FileSearch.h"
#include "core/persist/PackageWriter.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

namespace {

// --- Hand-built package bytes, independent of the writer ---------------------

std::string U32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

std::string Entry(const std::string& name, uint32_t offset, uint32_t size) {
  std::string field = name.substr(0, 56);
  field.resize(56, '\0');
  return field + U32(offset) + U32(size);
}

std::string Trailer(uint32_t dirOffset, uint32_t count, uint32_t checksum, const char* magic) {
  return U32(dirOffset) + U32(count) + U32(checksum) + std::string(magic, 4);
}

// Directory first, at 4, then the data: members may lie anywhere.
std::string HandBuilt(const char* magic = "CiT!") {
  std::string bytes = "JUNK";
  bytes += Entry("logo.tga", 132, 5);
  bytes += Entry("Readme.TXT", 137, 3);
  bytes += "hello";
  bytes += "xyz";
  return bytes + Trailer(4, 2, 0x12345678, magic);
}

class PackageFileTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    m_package = qibo::Cast<CTPackageFile>(static_cast<CTBasic*>(CTPackageFile::_CD()->Create()));
    ASSERT_NE(m_package, nullptr);
    m_package->AddRef(nullptr);
  }
  void TearDown() override {
    if (m_package) m_package->RemoveRef(nullptr);
    EngineFixture::TearDown();
  }

  static void Put(const char* name, const std::string& bytes) { qibo::test::PutFile(name, bytes); }
  static std::string Get(const char* name) { return qibo::test::GetFile(name); }
  // The member's bytes through OpenMember, or "<none>".
  std::string Member(const char* name) {
    uint32_t size = 0;
    FILE* file = m_package->OpenMember(name, nullptr, &size);
    if (!file) return "<none>";
    std::string data(size, '\0');
    const size_t read = fread(data.data(), 1, size, file);
    fclose(file);
    data.resize(read);
    return data;
  }
  // Messages of the running error log with the given severity code.
  static std::vector<std::string> Logged(uint32_t code) {
    std::vector<std::string> texts;
    auto* errors = qibo::FindService<CTErrorManager>();
    for (int i = 0; errors && i < errors->GetErrorsCount(); ++i)
      if (errors->GetErrorNo(i)->code == code) texts.push_back(errors->GetErrorNo(i)->message);
    return texts;
  }

  CTPackageFile* m_package = nullptr;
};

using Texts = std::vector<std::string>;

// --- Descriptor ----------------------------------------------------------------

TEST_F(PackageFileTest, Descriptor_NameIdAndDescription) {
  const ClassDesc* cd = CTPackageFile::_CD();
  EXPECT_STREQ(cd->GetName().c_str(), "CTPackageFile");
  EXPECT_EQ(cd->ID(), 0x511C1DCFu);
  EXPECT_STREQ(cd->GetDesc().c_str(), "Package file");
  EXPECT_TRUE(cd->CheckGroupID(CTLogged::_CD()->ID()));
  EXPECT_FALSE(cd->Abstract());
}

// --- Reading a valid package -----------------------------------------------------

TEST_F(PackageFileTest, Open_ReadsDirectoryAndTrailerOfHandBuiltPackage) {
  Put("hand.vdl", HandBuilt());
  ASSERT_TRUE(m_package->Open("hand.vdl"));
  EXPECT_STREQ(m_package->GetName(), "hand.vdl");
  EXPECT_FALSE(m_package->HasError());
  EXPECT_EQ(m_package->GetDirOffset(), 4u);
  EXPECT_EQ(m_package->GetChecksum(), 0x12345678u);  // kept, not verified
  EXPECT_EQ(m_package->GetMagic(), qibo::kPackageMagic);
  ASSERT_EQ(m_package->GetEntryCount(), 2);
  EXPECT_EQ(m_package->GetEntryNo(0)->name, "logo.tga");
  EXPECT_EQ(m_package->GetEntryNo(0)->offset, 132u);
  EXPECT_EQ(m_package->GetEntryNo(0)->size, 5u);
  EXPECT_EQ(m_package->GetEntryNo(1)->name, "Readme.TXT");
  EXPECT_EQ(m_package->GetEntryNo(2), nullptr);
  EXPECT_EQ(m_package->GetEntryNo(-1), nullptr);
}

TEST_F(PackageFileTest, Open_PathWithBackslashesAndOtherCase) {
  std::filesystem::create_directory("Packs");
  Put("Packs/Hand.VDL", HandBuilt());
  ASSERT_TRUE(m_package->Open("packs\\hand.vdl"));
  EXPECT_STREQ(m_package->GetName(), "packs\\hand.vdl");
  EXPECT_EQ(Member("logo.tga"), "hello");  // the member reopens the same path
}

TEST_F(PackageFileTest, Open_NameFillingTheWholeFieldIsReadWithoutTerminator) {
  const std::string longName(56, 'n');
  std::string bytes = "abc" + Entry(longName, 0, 3);
  Put("long.vdl", bytes + Trailer(3, 1, 0, "CiT!"));
  ASSERT_TRUE(m_package->Open("long.vdl"));
  ASSERT_EQ(m_package->GetEntryCount(), 1);
  EXPECT_EQ(m_package->GetEntryNo(0)->name, longName);
}

TEST_F(PackageFileTest, OpenMember_IgnoresDirectoryPartAndCase) {
  Put("hand.vdl", HandBuilt());
  ASSERT_TRUE(m_package->Open("hand.vdl"));
  for (const char* name :
       {"logo.tga", "LOGO.TGA", "textures\\logo.tga", "a\\b\\Logo.Tga", "textures/logo.tga"})
    EXPECT_EQ(Member(name), "hello") << name;
  EXPECT_EQ(Member("readme.txt"), "xyz");
}

TEST_F(PackageFileTest, OpenMember_StandsAtTheMembersFirstByteAndReportsItsPlace) {
  Put("hand.vdl", HandBuilt());
  ASSERT_TRUE(m_package->Open("hand.vdl"));
  uint32_t offset = 0;
  uint32_t size = 0;
  FILE* file = m_package->OpenMember("readme.txt", &offset, &size);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(offset, 137u);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(ftell(file), 137);
  fclose(file);
}

TEST_F(PackageFileTest, OpenMember_UnknownOrEmptyNameGivesNothing) {
  Put("hand.vdl", HandBuilt());
  ASSERT_TRUE(m_package->Open("hand.vdl"));
  for (const char* name : {"missing.tga", "logo", "textures\\", "", "logo.tga.bak"})
    EXPECT_EQ(Member(name), "<none>") << name;
  EXPECT_EQ(m_package->OpenMember(nullptr, nullptr, nullptr), nullptr);
}

TEST_F(PackageFileTest, OpenMember_ExactSpellingWinsThenTheFirstIgnoringCase) {
  std::string bytes = "firstsecond";
  bytes += Entry("same.txt", 0, 5) + Entry("SAME.TXT", 5, 6);
  Put("dup.vdl", bytes + Trailer(11, 2, 0, "CiT!"));
  ASSERT_TRUE(m_package->Open("dup.vdl"));
  EXPECT_EQ(Member("Same.Txt"), "first");
  EXPECT_EQ(Member("same.txt"), "first");
  EXPECT_EQ(Member("SAME.TXT"), "second");
}

// --- Searching ------------------------------------------------------------------

TEST_F(PackageFileTest, FindFirstAndNext_WildcardsOverTheDirectory) {
  qibo::PackageWriter writer;
  for (const char* name : {"a.tga", "b.TGA", "c.txt", "d", "e.tga.txt"}) ASSERT_TRUE(writer.Add(name, name));
  Put("find.vdl", writer.Build());
  ASSERT_TRUE(m_package->Open("find.vdl"));

  const auto all = [&](const char* pattern) {
    Texts found;
    QIBO_String name;
    uint32_t size = 0;
    for (int next = m_package->FindFirst(pattern, name, size); next > 0 && found.size() < 10;
         next = m_package->FindNext(next, pattern, name, size)) {
      found.push_back(name.c_str());
      EXPECT_EQ(size, strlen(name.c_str()));
    }
    return found;
  };
  EXPECT_EQ(all("*.tga"), (Texts{"a.tga", "b.TGA"}));
  EXPECT_EQ(all("textures\\?.TXT"), (Texts{"c.txt"}));
  EXPECT_EQ(all("*"), (Texts{"a.tga", "b.TGA", "c.txt", "d", "e.tga.txt"}));
  EXPECT_EQ(all("*.*"), (Texts{"a.tga", "b.TGA", "c.txt", "d", "e.tga.txt"}));
  EXPECT_EQ(all("*.bmp"), Texts{});

  QIBO_String name;
  uint32_t size = 0;
  EXPECT_EQ(m_package->FindFirst("c.txt", name, size), 3);  // index of the match + 1
  EXPECT_EQ(m_package->FindNext(3, "c.txt", name, size), -1);
  EXPECT_EQ(m_package->FindNext(99, "*", name, size), -1);
}

// --- Bad input --------------------------------------------------------------------

TEST_F(PackageFileTest, Open_MissingFileOrDirectoryFailsWithWarning) {
  EXPECT_FALSE(m_package->Open("missing.vdl"));
  EXPECT_STREQ(m_package->LastErrorMsg().c_str(), "Unable to open: missing.vdl");
  std::filesystem::create_directory("dir.vdl");
  EXPECT_FALSE(m_package->Open("dir.vdl"));
  EXPECT_STREQ(m_package->LastErrorMsg().c_str(), "Unable to open: dir.vdl");
  EXPECT_STREQ(m_package->GetName(), "");
}

TEST_F(PackageFileTest, Open_BadMagicIsNotAPackage) {
  for (const char* magic : {"CiT.", "cit!", "\0\0\0\0", "!TiC"}) {
    Put("bad.vdl", HandBuilt(magic));
    EXPECT_FALSE(m_package->Open("bad.vdl")) << magic;
    EXPECT_STREQ(m_package->LastErrorMsg().c_str(), "Not a VDL file: bad.vdl");
    EXPECT_EQ(m_package->GetEntryCount(), 0);
  }
}

TEST_F(PackageFileTest, Open_AgainDropsThePreviousDirectory) {
  Put("hand.vdl", HandBuilt());
  Put("bad.vdl", HandBuilt("XXXX"));
  ASSERT_TRUE(m_package->Open("hand.vdl"));
  EXPECT_FALSE(m_package->Open("bad.vdl"));
  EXPECT_EQ(m_package->GetEntryCount(), 0);
  EXPECT_EQ(Member("logo.tga"), "<none>");
}

TEST_F(PackageFileTest, Open_EveryTruncationFailsCleanly) {
  const std::string whole = HandBuilt();
  for (size_t length = 0; length < whole.size(); ++length) {
    Put("cut.vdl", whole.substr(0, length));
    EXPECT_FALSE(m_package->Open("cut.vdl")) << length;
    EXPECT_STREQ(m_package->LastErrorMsg().c_str(), "Not a VDL file: cut.vdl") << length;
    EXPECT_EQ(m_package->GetEntryCount(), 0);
  }
}

TEST_F(PackageFileTest, Open_DirectoryOutsideTheFileKeepsWhatLiesInside) {
  const std::string data = "abcd";
  const std::string dir = Entry("one", 0, 1) + Entry("two", 1, 1) + Entry("three", 2, 2);
  const uint32_t dirOffset = 4;
  const struct {
    uint32_t offset;
    uint32_t count;
    int entries;
  } cases[] = {
      {dirOffset, 3, 3},           // sound
      {dirOffset, 5, 3},           // count too large: the trailer is no entry
      {dirOffset, 0xFFFFFFFF, 3},  // nothing of that size is allocated
      {dirOffset + 64, 3, 2},      // starts inside, runs past the end
      {dirOffset + 100, 1, 1},     // 92 bytes left: one whole entry
      {dirOffset + 160, 1, 0},     // less than one entry left
      {0xFFFFFFF0, 1, 0},          // far outside
      {0xFFFFFFFF, 0xFFFFFFFF, 0},
  };
  for (const auto& c : cases) {
    Put("damaged.vdl", data + dir + Trailer(c.offset, c.count, 0, "CiT!"));
    SCOPED_TRACE(testing::Message() << c.offset << " " << c.count);
    ASSERT_TRUE(m_package->Open("damaged.vdl"));
    EXPECT_EQ(m_package->GetEntryCount(), c.entries) << c.offset << " " << c.count;
    const bool whole = c.entries == static_cast<int>(c.count);
    EXPECT_EQ(m_package->HasError(), !whole) << c.offset << " " << c.count;
    if (!whole) {
      EXPECT_STREQ(m_package->LastErrorMsg().c_str(), "Damaged VDL directory: damaged.vdl");
    }
  }
}

TEST_F(PackageFileTest, OpenMember_DataOutsideTheFileIsRefused) {
  std::string bytes = "data";
  bytes += Entry("inside", 0, 4) + Entry("past", 2, 300) + Entry("wraps", 0xFFFFFFFF, 0xFFFFFFFF) +
           Entry("empty", 4, 0);
  Put("members.vdl", bytes + Trailer(4, 4, 0, "CiT!"));
  ASSERT_TRUE(m_package->Open("members.vdl"));
  EXPECT_EQ(Member("inside"), "data");
  EXPECT_EQ(Member("empty"), "");
  EXPECT_EQ(Member("past"), "<none>");
  EXPECT_STREQ(m_package->LastErrorMsg().c_str(), "Member lies outside the VDL file: past @members.vdl");
  EXPECT_EQ(Member("wraps"), "<none>");
}

TEST_F(PackageFileTest, OpenMember_PackageGoneSinceOpenFailsWithWarning) {
  Put("gone.vdl", HandBuilt());
  ASSERT_TRUE(m_package->Open("gone.vdl"));
  ASSERT_EQ(remove("gone.vdl"), 0);
  EXPECT_EQ(Member("logo.tga"), "<none>");
  EXPECT_STREQ(m_package->LastErrorMsg().c_str(), "Unable to open: gone.vdl");
}

// --- Messages through the error log -----------------------------------------------

TEST_F(PackageFileTest, Messages_NoChecksumWarnsOpenedInformsNotAPackageErrs) {
  ASSERT_NE(qiBO_GetService(CTErrorManager::_CD()), nullptr);
  m_package->SetVerboseLevel(3);  // level-2 messages are shown from 3 up
  Put("plain.vdl", HandBuilt("CiT?"));
  Put("bad.vdl", HandBuilt("CiT:"));
  ASSERT_TRUE(m_package->Open("plain.vdl"));
  EXPECT_EQ(m_package->GetEntryCount(), 2);
  EXPECT_EQ(m_package->GetMagic(), qibo::kPackageMagicNoChecksum);
  EXPECT_FALSE(m_package->Open("bad.vdl"));

  EXPECT_EQ(Logged(kCodeWarning), Texts{"File has no checksum: plain.vdl"});
  EXPECT_EQ(Logged(kCodeInfo), Texts{"VDL was successfully opened: plain.vdl"});
  EXPECT_EQ(Logged(kCodeError), Texts{"Not a VDL file: bad.vdl"});
}

TEST_F(PackageFileTest, Messages_LevelTwoStayQuietAtTheDefaultVerboseLevel) {
  ASSERT_NE(qiBO_GetService(CTErrorManager::_CD()), nullptr);
  Put("plain.vdl", HandBuilt("CiT?"));
  ASSERT_TRUE(m_package->Open("plain.vdl"));
  EXPECT_EQ(Logged(kCodeWarning), Texts{});
  EXPECT_EQ(Logged(kCodeInfo), Texts{});
  EXPECT_FALSE(m_package->HasError());
}

// --- Writer ---------------------------------------------------------------------------

TEST_F(PackageFileTest, Crc32_KnownValues) {
  EXPECT_EQ(qibo::Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(qibo::Crc32("", 0), 0u);
  // Continued in pieces gives the same as in one.
  EXPECT_EQ(qibo::Crc32("6789", 4, qibo::Crc32("12345", 5)), 0xCBF43926u);
}

TEST_F(PackageFileTest, Writer_BuildsTheLayoutByteForByte) {
  qibo::PackageWriter writer;
  ASSERT_TRUE(writer.Add("a.txt", "xy"));
  ASSERT_TRUE(writer.Add("B.bin", std::string("\0\1\2", 3)));
  ASSERT_TRUE(writer.Add("empty", ""));
  const std::string body =
      "xy" + std::string("\0\1\2", 3) + Entry("a.txt", 0, 2) + Entry("B.bin", 2, 3) + Entry("empty", 5, 0);
  const std::string expected = body + Trailer(5, 3, qibo::Crc32(body.data(), body.size()), "CiT!");
  EXPECT_EQ(writer.Build(), expected);
  EXPECT_EQ(writer.Size(), expected.size());

  writer.SetChecksum(false);
  EXPECT_EQ(writer.Build(), body + Trailer(5, 3, 0, "CiT?"));
}

TEST_F(PackageFileTest, Writer_EmptyPackageIsJustTheTrailer) {
  qibo::PackageWriter writer;
  EXPECT_EQ(writer.Build(), Trailer(0, 0, 0, "CiT!"));
  Put("empty.vdl", writer.Build());
  ASSERT_TRUE(m_package->Open("empty.vdl"));
  EXPECT_EQ(m_package->GetEntryCount(), 0);
  EXPECT_FALSE(m_package->HasError());
}

TEST_F(PackageFileTest, Writer_RefusesNamesAReaderCouldNotFind) {
  qibo::PackageWriter writer;
  ASSERT_TRUE(writer.Add("a.txt", "1"));
  ASSERT_TRUE(writer.Add(std::string(55, 'n').c_str(), "2"));
  for (const char* bad : {"", "A.TXT", "dir\\b.txt", "dir/b.txt", ".", "..", "tab\there"}) {
    EXPECT_FALSE(writer.Add(bad, "x")) << bad;
    EXPECT_FALSE(writer.LastError().empty());
  }
  EXPECT_FALSE(writer.Add(std::string(56, 'n').c_str(), "x"));
  EXPECT_FALSE(writer.Add(nullptr, "x"));
  EXPECT_EQ(writer.Count(), 2);
}

TEST_F(PackageFileTest, Writer_RoundTripThroughTheReader) {
  qibo::PackageWriter writer;
  std::vector<std::pair<std::string, std::string>> members = {{"scene.qibo", "qibo\x01\x02"},
                                                              {"empty.dat", ""},
                                                              {"Big.bin", std::string(70000, '\xA5')},
                                                              {std::string(55, 'L'), "long name"}};
  members[2].second[12345] = 'Z';
  for (const auto& [name, data] : members) ASSERT_TRUE(writer.Add(name.c_str(), data));
  ASSERT_TRUE(writer.WriteFile("round.vdl"));
  ASSERT_TRUE(m_package->Open("round.vdl"));
  ASSERT_EQ(m_package->GetEntryCount(), static_cast<int>(members.size()));
  EXPECT_EQ(m_package->GetChecksum(), qibo::Crc32(Get("round.vdl").data(), Get("round.vdl").size() - 16));
  for (size_t i = 0; i < members.size(); ++i) {
    EXPECT_EQ(m_package->GetEntryNo(static_cast<int>(i))->name, members[i].first);
    EXPECT_EQ(Member(members[i].first.c_str()), members[i].second) << members[i].first;
  }
}

TEST_F(PackageFileTest, Writer_WriteFileReplacesOnlyWithACompletePackage) {
  Put("out.vdl", "precious");
  qibo::PackageWriter writer;
  ASSERT_TRUE(writer.Add("a", "1"));
  EXPECT_FALSE(writer.WriteFile("nodir/out.vdl"));
  EXPECT_FALSE(writer.LastError().empty());
  EXPECT_EQ(Get("out.vdl"), "precious");
  ASSERT_TRUE(writer.WriteFile("out.vdl"));
  EXPECT_EQ(Get("out.vdl"), writer.Build());
  // No temporary file is left behind.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(".")) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

// --- Wildcards and name parts ---------------------------------------------------------

TEST(FileSearchTest, WildcardMatchIC) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*", "anything", true},
      {"*", "", true},
      {"*.vdl", "data.VDL", true},
      {"*.vdl", "data.vdlx", false},
      {"?.tga", "a.tga", true},
      {"?.tga", "ab.tga", false},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"*.*", "noext", true},
      {"x.*", "x", true},
      {"x.*", "x.y", true},
      {"x.*", "xy", false},
      {"", "", true},
      {"", "a", false},
      {"**a", "bba", true},
      {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qibo::WildcardMatchIC(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
  EXPECT_FALSE(qibo::WildcardMatchIC(nullptr, "a"));
}

TEST(FileSearchTest, FileAndDirectoryParts) {
  EXPECT_STREQ(qibo::FilePart("textures\\logo.tga"), "logo.tga");
  EXPECT_STREQ(qibo::FilePart("a/b\\c"), "c");
  EXPECT_STREQ(qibo::FilePart("plain"), "plain");
  EXPECT_STREQ(qibo::FilePart("dir\\"), "");
  EXPECT_EQ(qibo::DirectoryPart("a\\b\\c.txt"), "a\\b\\");
  EXPECT_EQ(qibo::DirectoryPart("c.txt"), "");
}

}  // namespace
