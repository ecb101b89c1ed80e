#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/io/CTBitmapImport.h"
#include "core/kernel/CTEngineManager.h"
#include "core/kernel/CTErrorManager.h"
#include "core/kernel/ClassApi.h"
#include "core/kernel/EngineApi.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/persist/MemoryStream.h"
#include "core/persist/SmartFile.h"
#include "core/render/DefTextureManager.h"
#include "core/render/base/CTTexture.h"
#include "core/render/base/LFB.h"
#include "tests/support/BufferLimit.h"
#include "tests/support/EngineFixture.h"
#include "tests/support/Files.h"

// Reads "QPX" test pictures: int width, int height, int has-alpha, then
// width x height pixels (0xAARRGGBB, little-endian).
class TestQpxImport : public CTBitmapImport {
  QIBO_CLASS(TestQpxImport)

 public:
  TestQpxImport() { AddExtension("qpx"); }

 protected:
  bool DoImport(const char* file) override {
    SmartFile in;
    int32_t head[3] = {};
    if (!in.Open(file, false) || in.Read(head, 4, 3) != 3) return ErrorMsg("Unreadable test picture");
    auto lfb = std::make_unique<LFB>();
    if (!lfb->Create(head[0], head[1])) return ErrorMsg("Bad test picture size");
    const auto count = static_cast<size_t>(head[0]) * static_cast<size_t>(head[1]);
    if (in.Read(lfb->GetPixels(), 4, count) != count) return ErrorMsg("Short test picture");
    lfb->SetHasAlpha(head[2] != 0);
    return SetResult(std::move(lfb));
  }
};
QIBO_IMPLEMENT_CLASS(TestQpxImport, CTBitmapImport, .desc = "Test QPX importer")

namespace {

using qibo::test::TempDir;

uint32_t Pattern(int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>(x * 7 + y * 131) * 2654435761u >> 8;
}

std::unique_ptr<LFB> MakePicture(int width, int height) {
  auto lfb = std::make_unique<LFB>(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) lfb->SetPixel(x, y, Pattern(x, y));
  return lfb;
}

void WriteQpx(const std::string& name, int width, int height, bool alpha) {
  std::string bytes(12 + 4 * static_cast<size_t>(width) * static_cast<size_t>(height), '\0');
  const int32_t head[3] = {width, height, alpha ? 1 : 0};
  memcpy(bytes.data(), head, sizeof(head));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t p = Pattern(x, y);
      memcpy(bytes.data() + 12 + 4 * (static_cast<size_t>(y) * width + x), &p, 4);
    }
  qibo::test::PutFile(name, bytes);
}

std::vector<uint32_t> Pixels(const CTTexture* texture) {
  const LFB* lfb = texture ? texture->GetData() : nullptr;
  if (!lfb) return {};
  return std::vector<uint32_t>(lfb->GetPixels(), lfb->GetPixels() + lfb->GetByteSize() / 4);
}

class TextureTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    // Swap files go to a temporary directory of this test's own.
    m_swapDir = m_dir.Path() + "/swap";
    ASSERT_EQ(mkdir(m_swapDir.c_str(), 0700), 0);
    const char* old = getenv("TMPDIR");
    m_oldTmp = old ? old : "";
    m_hadTmp = old != nullptr;
    setenv("TMPDIR", m_swapDir.c_str(), 1);
    mkdir("textures", 0700);
    StartLog();
    qiBO_RegisterClass(TestQpxImport::_CD());
    m_textures = qibo::Cast<DefTextureManager>(qibo::GetService<CTTextureManager>());
    ASSERT_NE(m_textures, nullptr);
  }

  void TearDown() override {
    m_held.clear();
    qiBO_UnregisterClass(TestQpxImport::_CD());
    qiBO_Deinit();  // the texture manager removes its swap files as it stops
    EXPECT_EQ(SwapFilesLeft(), 0) << "swap files left behind";
    if (m_hadTmp)
      setenv("TMPDIR", m_oldTmp.c_str(), 1);
    else
      unsetenv("TMPDIR");
    EngineFixture::TearDown();
  }

  int SwapFilesLeft() const {
    int count = 0;
    if (DIR* dir = opendir(m_swapDir.c_str())) {
      while (dirent* entry = readdir(dir)) count += strncmp(entry->d_name, "QIBO", 4) == 0;
      closedir(dir);
    }
    return count;
  }

  void Set(const char* property, const char* value) {
    m_textures->GetPropertyByName(property).FromString(value);
    m_textures->ApplyChanges();
  }

  // A texture with a pattern picture, held by the test.
  CTTexture* MakeTexture(int width, int height, bool registered = false) {
    Ref<CTTexture> texture = qibo::Create<CTTexture>();
    EXPECT_TRUE(texture->SetData(MakePicture(width, height)));
    if (registered) m_textures->RegisterTexture(texture.Get());
    m_held.push_back(texture);
    return texture.Get();
  }

  // The engine's world time runs at 100 ms a frame.
  static void StartEngineClock() {
    auto* engine = qibo::GetService<CTEngineManager>();
    ASSERT_NE(engine, nullptr);
    engine->GetPropertyByName("ConstantFrameTime").FromString("True");
    engine->GetPropertyByName("FrameTime").FromString("0.1");
  }

  std::string m_swapDir;
  std::string m_oldTmp;
  bool m_hadTmp = false;
  DefTextureManager* m_textures = nullptr;
  std::vector<Ref<CTTexture>> m_held;
};

// --- LFB ---------------------------------------------------------------------------

struct RescaleCase {
  int srcW, srcH;
  std::vector<uint32_t> src;
  int dstW, dstH;
  std::vector<uint32_t> expected;
};

TEST(LFBTest, Rescale_AveragesCoveredAreaWhenReducingAndRepeatsWhenEnlarging) {
  const RescaleCase cases[] = {
      // 4 x 4 -> 2 x 2: each target pixel is the mean of its 2 x 2 block,
      // channel by channel, rounded half up.
      {4,
       4,
       {0xFF000000, 0xFF000004, 0x00100000, 0x00100000,  //
        0xFF000008, 0xFF000001, 0x00300000, 0x00300000,  //
        0x80FF0000, 0x80FF0000, 0x00000010, 0x00000020,  //
        0x00FF0000, 0x00FF0000, 0x00000030, 0x00000040},
       2,
       2,
       {0xFF000003, 0x00200000, 0x40FF0000, 0x00000028}},
      // 3 -> 2: fractional coverage, 2/3 and 1/3 of the middle pixel.
      {3, 1, {0x00000000, 0x0000005A, 0x000000B4}, 2, 1, {0x0000001E, 0x00000096}},
      // Enlarging repeats the nearest pixel.
      {2, 1, {0x11223344, 0x55667788}, 4, 1, {0x11223344, 0x11223344, 0x55667788, 0x55667788}},
      // A flat picture stays flat whatever the ratio.
      {5, 3, std::vector<uint32_t>(15, 0x80FF7F01), 3, 2, std::vector<uint32_t>(6, 0x80FF7F01)},
  };
  for (const RescaleCase& c : cases) {
    LFB lfb(c.srcW, c.srcH);
    for (int i = 0; i < c.srcW * c.srcH; ++i)
      lfb.SetPixel(i % c.srcW, i / c.srcW, c.src[static_cast<size_t>(i)]);
    ASSERT_TRUE(lfb.Rescale(c.dstW, c.dstH));
    ASSERT_EQ(lfb.GetWidth(), c.dstW);
    ASSERT_EQ(lfb.GetPitch(), c.dstW);
    std::vector<uint32_t> got(lfb.GetPixels(), lfb.GetPixels() + c.dstW * c.dstH);
    EXPECT_EQ(got, c.expected) << c.srcW << "x" << c.srcH << " -> " << c.dstW << "x" << c.dstH;
  }
}

TEST(LFBTest, MipLevel_HalvesWithBoxAverageAndRefusesEmptyOrBadSizes) {
  LFB lfb(4, 2, 8);  // pitch wider than the picture: padding must not leak in
  for (int x = 0; x < 4; ++x) lfb.SetPixel(x, 0, 0x00000010u * static_cast<uint32_t>(x));
  lfb.GetPixels()[4] = 0xFFFFFFFF;  // padding of row 0
  LFB level;
  ASSERT_TRUE(lfb.MakeMipLevel(level));
  EXPECT_EQ(level.GetWidth(), 2);
  EXPECT_EQ(level.GetHeight(), 1);
  EXPECT_EQ(level.GetPixel(0, 0), 0x00000004u);  // (0 + 16 + 0 + 0) / 4
  EXPECT_EQ(level.GetPixel(1, 0), 0x00000014u);  // (32 + 48) / 4
  EXPECT_EQ(lfb.MipLevelCount(), 3);
  // The weighted filter (a ratio of 1.5) skips the padding as well.
  LFB odd(3, 1, 4);
  for (int x = 0; x < 3; ++x) odd.SetPixel(x, 0, 0x00000030u * static_cast<uint32_t>(x));
  odd.GetPixels()[3] = 0xFFFFFFFF;
  ASSERT_TRUE(odd.Rescale(2, 1));
  EXPECT_EQ(odd.GetPixel(0, 0), 0x00000010u);  // 0 x 2/3 + 48 x 1/3
  EXPECT_EQ(odd.GetPixel(1, 0), 0x00000050u);  // 48 x 1/3 + 96 x 2/3
  EXPECT_FALSE(LFB().MakeMipLevel(level));
  EXPECT_FALSE(lfb.Rescale(0, 4));
  EXPECT_FALSE(lfb.Create(LFB::kMaxSide + 1, 1));
  EXPECT_EQ(lfb.GetWidth(), 4);  // a refused size leaves the picture
}

// --- Chunks ------------------------------------------------------------------------

// One object-data chunk for a texture whose data chunk holds the ints given
// and then pixelBytes bytes.
std::vector<uint8_t> DataChunk(const std::vector<int32_t>& ints, int pixelBytes) {
  std::vector<uint8_t> buffer(4096 + static_cast<size_t>(std::max(pixelBytes, 0)));
  MemoryStream out;
  EXPECT_TRUE(out.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
  out.StartChunk(QIBO_Stream::kObjectDataChunk);
  out.WriteInt(static_cast<int32_t>(CTTexture::_CD()->ID()));
  out.StartChunk(CTTexture::kChunkData);
  for (int32_t v : ints) out.WriteInt(v);
  const std::vector<uint8_t> pixels(static_cast<size_t>(std::max(pixelBytes, 0)), 0x5A);
  if (pixelBytes > 0) out.WriteBlock(pixels.data(), pixelBytes);
  out.EndChunk();
  out.EndChunk();
  EXPECT_TRUE(out.CloseStream());
  buffer.resize(out.GetPos());
  return buffer;
}

TEST_F(TextureTest, DataChunk_RefusesBadSizesAndShortPixelsKeepingThePicture) {
  struct Case {
    const char* what;
    std::vector<int32_t> ints;  // width, height, pitch, colour, flags
    int pixelBytes;
  };
  const Case cases[] = {
      {"negative width", {-4, 4, 4, 0, 0, 1, 0}, 64},
      {"negative height", {4, -4, 4, 0, 0, 1, 0}, 64},
      {"huge sides", {100000, 100000, 100000, 0, 0, 1, 0}, 64},
      {"pitch below width", {4, 4, 2, 0, 0, 1, 0}, 64},
      {"product overflows 32 bits", {16384, 16384, 16384, 0, 0, 1, 0}, 64},
      {"int overflow of pitch", {0x40000000, 2, 0x40000000, 0, 0, 1, 0}, 64},
      {"fewer pixel bytes than announced", {4, 4, 4, 0, 0, 1, 0}, 63},
  };
  for (const Case& c : cases) {
    CTTexture* texture = MakeTexture(2, 2);
    const std::vector<uint32_t> before = Pixels(texture);
    const int refusals = CountLogged("refused");
    const std::vector<uint8_t> data = DataChunk(c.ints, c.pixelBytes);
    MemoryStream in;
    in.ReadSendDataTo(data.data(), static_cast<int>(data.size()), texture);
    EXPECT_EQ(CountLogged("refused"), refusals + 1) << c.what;
    EXPECT_EQ(Pixels(texture), before) << c.what;
  }
}

TEST_F(TextureTest, Stream_RoundTripGivesAttributesAndIdenticalPixels) {
  CTTexture* source = MakeTexture(5, 3);
  source->GetData()->SetHasAlpha(true);
  source->SetAlphaDepth(4);
  source->SetMipLevels(3);
  source->SetSwitch(1, true);
  source->GetData()->SetColorValue(0x12345678);
  std::vector<uint8_t> buffer(4096);
  MemoryStream out;
  ASSERT_TRUE(out.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
  out.WriteObjectData(source);
  ASSERT_TRUE(out.CloseStream());

  CTTexture* copy = m_held.emplace_back(qibo::Create<CTTexture>()).Get();
  MemoryStream in;
  ASSERT_TRUE(in.ReadSendDataTo(buffer.data(), static_cast<int>(out.GetPos()), copy));
  EXPECT_EQ(Pixels(copy), Pixels(source));
  EXPECT_EQ(copy->GetAlphaDepth(), 4);
  EXPECT_EQ(copy->GetMipLevels(), 3);
  EXPECT_TRUE(copy->GetSwitch(1));
  EXPECT_TRUE(copy->GetData()->HasAlpha());
  EXPECT_EQ(copy->GetData()->GetColorValue(), 0x12345678u);
}

// --- Swap files --------------------------------------------------------------------

TEST_F(TextureTest, Flush_SwapsOutOnceAndLockBringsBackIdenticalPixels) {
  CTTexture* texture = MakeTexture(33, 17);
  const std::vector<uint32_t> pixels = Pixels(texture);
  ASSERT_TRUE(texture->Lock());
  EXPECT_FALSE(texture->Flush());  // locked: kept
  EXPECT_EQ(Pixels(texture), pixels);
  texture->Unlock();

  ASSERT_TRUE(texture->Flush());
  EXPECT_EQ(texture->GetData(), nullptr);
  EXPECT_FALSE(texture->TryLock());
  const std::string swap = texture->GetSwapFileName();
  EXPECT_EQ(swap.rfind(m_swapDir + "/QIBO", 0), 0u) << swap;
  ASSERT_TRUE(texture->Lock());
  EXPECT_EQ(Pixels(texture), pixels);
  texture->Unlock();

  ASSERT_TRUE(texture->Flush());  // unchanged: the same file serves again
  EXPECT_EQ(texture->GetSwapFileName(), swap);
  EXPECT_EQ(SwapFilesLeft(), 1);
  ASSERT_TRUE(texture->Cache());
  texture->Invalidate();
  EXPECT_FALSE(texture->HasSwapFile());
  EXPECT_EQ(access(swap.c_str(), F_OK), -1);
  ASSERT_TRUE(texture->Flush());
  EXPECT_TRUE(texture->HasSwapFile());
  texture->RemoveData();  // removed pixels must not come back from the file
  EXPECT_FALSE(texture->HasSwapFile());
  EXPECT_FALSE(texture->Lock());
}

TEST_F(TextureTest, DamagedSwapFile_IsDroppedWithWarningAndNeverGivesWrongPixels) {
  WriteQpx("textures/wood.qpx", 8, 8, false);
  struct Case {
    const char* what;
    bool loadedByName;
    void (*damage)(const std::string& file);
  };
  auto remove = [](const std::string& file) { unlink(file.c_str()); };
  auto modify = [](const std::string& file) {
    std::string bytes = qibo::test::GetFile(file);
    bytes[bytes.size() - 3] ^= 0x40;
    qibo::test::PutFile(file, bytes);
  };
  auto fifo = [](const std::string& file) {
    unlink(file.c_str());
    mkfifo(file.c_str(), 0600);
  };
  const Case cases[] = {{"deleted", false, remove},           {"modified", false, modify},
                        {"replaced by a FIFO", false, fifo},  {"deleted, reloaded", true, remove},
                        {"modified, reloaded", true, modify}, {"replaced by a FIFO, reloaded", true, fifo}};
  for (const Case& c : cases) {
    CTTexture* texture = c.loadedByName ? m_textures->LoadTexture("wood") : MakeTexture(8, 8);
    ASSERT_NE(texture, nullptr) << c.what;
    const std::vector<uint32_t> pixels = Pixels(texture);
    ASSERT_TRUE(texture->Flush());
    const std::string swap = texture->GetSwapFileName();
    c.damage(swap);
    const int warnings = CountLogged("Swap file lost or changed");
    // Reading must not wait for a writer of a FIFO: should it block, a
    // watchdog plays the writer so that the test ends, and says so.
    std::mutex lock;
    std::condition_variable done;
    bool finished = false, blocked = false;
    std::thread watchdog([&] {
      std::unique_lock<std::mutex> hold(lock);
      if (done.wait_for(hold, std::chrono::seconds(20), [&] { return finished; })) return;
      blocked = true;
      const int fd = open(swap.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
    });
    const bool cached = texture->Cache();
    {
      std::lock_guard<std::mutex> hold(lock);
      finished = true;
    }
    done.notify_one();
    watchdog.join();
    EXPECT_FALSE(blocked) << c.what;
    unlink(swap.c_str());
    EXPECT_EQ(cached, c.loadedByName) << c.what;
    EXPECT_EQ(CountLogged("Swap file lost or changed"), warnings + 1) << c.what;
    EXPECT_FALSE(texture->HasSwapFile()) << c.what;
    EXPECT_EQ(Pixels(texture), c.loadedByName ? pixels : std::vector<uint32_t>()) << c.what;
  }
}

TEST_F(TextureTest, Deinit_TakesPixelsBackAndLeavesNoSwapFile) {
  CTTexture* registered = MakeTexture(4, 4, true);
  CTTexture* loose = MakeTexture(6, 2);
  const std::vector<uint32_t> pixels = Pixels(loose);
  ASSERT_TRUE(registered->Flush());
  ASSERT_TRUE(loose->Flush());
  ASSERT_EQ(SwapFilesLeft(), 2);
  qiBO_Deinit();
  EXPECT_EQ(SwapFilesLeft(), 0);
  EXPECT_EQ(Pixels(loose), pixels);
}

// --- No memory ---------------------------------------------------------------------

// A 16 x 16 texture (1 KiB of pixels) under a limit on each request: every
// refusal is logged and leaves the picture, the texture and its swap file
// as they were.
TEST_F(TextureTest, NoMemory_IsLoggedAndRefusedKeepingThePicture) {
  using Check = void (*)(CTTexture * texture, const std::vector<uint32_t>& pixels);
  struct Case {
    const char* what;
    size_t limit;
    bool flushFirst;
    Check run;  // the refused operation and what it left
    const char* logged;
  };
  const Case cases[] = {
      {"make pixels", 4096, false,
       [](CTTexture* texture, const std::vector<uint32_t>& pixels) {
         EXPECT_FALSE(texture->GetData()->Create(64, 64));
         EXPECT_EQ(Pixels(texture), pixels);
       },
       "Picture buffer: no memory to make 64 x 64 pixels"},
      {"rescale", 4096, false,
       [](CTTexture* texture, const std::vector<uint32_t>& pixels) {
         EXPECT_FALSE(texture->GetData()->Rescale(64, 64));
         EXPECT_EQ(texture->GetData()->GetWidth(), 16);
         EXPECT_EQ(Pixels(texture), pixels);
       },
       "Picture buffer: no memory to rescale to 64 x 64 pixels"},
      {"mip level", 128, false,
       [](CTTexture* texture, const std::vector<uint32_t>&) {
         LFB level;
         EXPECT_FALSE(texture->GetData()->MakeMipLevel(level));
         EXPECT_TRUE(level.IsEmpty());
       },
       "Picture buffer: no memory to make 8 x 8 pixels"},
      {"copy", 512, false,
       [](CTTexture* texture, const std::vector<uint32_t>& pixels) {
         Ref<CTTexture> copy(new CTTexture(*texture));
         EXPECT_EQ(copy->GetData(), nullptr);
         EXPECT_EQ(Pixels(texture), pixels);
       },
       "no memory to copy the 16 x 16 pixels"},
      {"swap out", 4096, false,
       [](CTTexture* texture, const std::vector<uint32_t>& pixels) {
         EXPECT_FALSE(texture->Flush());
         EXPECT_FALSE(texture->IsSwappable());
         EXPECT_FALSE(texture->HasSwapFile());
         EXPECT_EQ(Pixels(texture), pixels);
       },
       "bytes to write a swap file; refused"},
      {"swap in", 512, true,
       [](CTTexture* texture, const std::vector<uint32_t>&) {
         EXPECT_FALSE(texture->Cache());
         EXPECT_TRUE(texture->HasSwapFile()) << "the saved pixels stay on disk";
       },
       "bytes to read its swap file back; refused"},
  };
  for (const Case& c : cases) {
    CTTexture* texture = MakeTexture(16, 16);
    const std::vector<uint32_t> pixels = Pixels(texture);
    if (c.flushFirst) {
      ASSERT_TRUE(texture->Flush()) << c.what;
    }
    const int logged = CountLogged(c.logged);
    {
      qibo::test::BufferLimit limit(c.limit);
      c.run(texture, pixels);
    }
    EXPECT_EQ(CountLogged(c.logged), logged + 1) << c.what;
    // With the memory back, the picture is there as it was.
    ASSERT_TRUE(texture->Cache()) << c.what;
    EXPECT_EQ(Pixels(texture), pixels) << c.what;
  }
}

// --- The budget --------------------------------------------------------------------

TEST_F(TextureTest, FlushIdleTextures_FlushesLongestIdleFirstUntilWithinBudget) {
  StartEngineClock();
  CTTexture* a = MakeTexture(32, 32, true);  // 4096 bytes each
  CTTexture* b = MakeTexture(32, 32, true);
  CTTexture* c = MakeTexture(32, 32, true);
  EXPECT_EQ(m_textures->GetCacheSize(), 3u * 4096u);
  for (CTTexture* used : {c, a, b}) {  // c idles longest, then a
    used->Cache();
    qiBO_DoFrame();
  }
  qiBO_DoFrame();
  Set("MaxIdleTime", "50");
  Set("MaxCacheSize", "4096");
  m_textures->FlushIdleTextures();
  EXPECT_FALSE(c->IsCached());
  EXPECT_FALSE(a->IsCached());
  EXPECT_TRUE(b->IsCached());
  EXPECT_EQ(m_textures->GetCacheSize(), 4096u);
  ASSERT_TRUE(a->Lock());  // coming back counts again
  EXPECT_EQ(m_textures->GetCacheSize(), 2u * 4096u);
  a->Unlock();
}

TEST_F(TextureTest, BudgetCheck_RunsOnlyWhenFlushTimeoutIsNotNegative) {
  StartEngineClock();
  for (const char* timeout : {"-1", "100"}) {
    Set("FlushTimeout", timeout);
    Set("MaxCacheSize", "0");
    CTTexture* texture = MakeTexture(16, 16, true);
    for (int frame = 0; frame < 5; ++frame) qiBO_DoFrame();
    EXPECT_EQ(texture->IsCached(), std::string(timeout) == "-1") << "FlushTimeout " << timeout;
  }
}

// --- Loading -----------------------------------------------------------------------

TEST_F(TextureTest, LoadTexture_ReducesToMaxTexSizeKeepingAspect) {
  struct Case {
    int width, height, maxSize, expectedW, expectedH;
  };
  const Case cases[] = {{1024, 256, 512, 512, 128},
                        {256, 1024, 512, 128, 512},
                        {2000, 3, 512, 512, 1},
                        {300, 200, 512, 300, 200}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string name = "pic" + std::to_string(n++);
    WriteQpx("textures/" + name + ".qpx", c.width, c.height, false);
    Set("MaxTexSize", std::to_string(c.maxSize).c_str());
    CTTexture* texture = m_textures->LoadTexture(("sub/" + name).c_str());
    ASSERT_NE(texture, nullptr) << name;
    EXPECT_EQ(texture->GetData()->GetWidth(), c.expectedW) << name;
    EXPECT_EQ(texture->GetData()->GetHeight(), c.expectedH) << name;
    EXPECT_EQ(texture->GetMipLevels(), 4);  // "ForceMipMaps"
    EXPECT_STREQ(texture->GetName(), name.c_str());
  }
}

TEST_F(TextureTest, LoadTexture_AlphaDepthFollowsThePicture) {
  WriteQpx("textures/plain.qpx", 2, 2, false);
  WriteQpx("textures/glass.qpx", 2, 2, true);
  CTTexture* plain = m_textures->LoadTexture("plain");
  CTTexture* glass = m_textures->LoadTexture("GLASS");
  ASSERT_TRUE(plain && glass);
  EXPECT_FALSE(plain->HasAlpha());
  EXPECT_EQ(plain->GetAlphaDepth(), 0);
  EXPECT_TRUE(glass->HasAlpha());
  EXPECT_EQ(glass->GetAlphaDepth(), 8);
}

TEST_F(TextureTest, LoadTexture_FailuresLogAndLeaveNothingSoALaterLoadWorks) {
  struct Case {
    const char* name;
    const char* file;     // what the texture directory holds; null for nothing
    const char* content;  // raw bytes, or null for a good 4 x 4 picture
    const char* logged;
  };
  const Case cases[] = {
      {"missing", nullptr, nullptr, "File not found: missing"},
      {"broken", "textures/broken.qpx", "QP", "Failed to import: "},
      {"unknown", "textures/unknown.xyz", "data", "Unknown file format: "},
      {"huge", "textures/huge.qpx", nullptr, "larger than the texture budget"},
  };
  Set("MaxCacheSize", "32");  // below the 64 bytes of a 4 x 4 picture
  for (const Case& c : cases) {
    if (c.file && c.content) qibo::test::PutFile(c.file, c.content);
    if (c.file && !c.content) WriteQpx(c.file, 4, 4, false);
    const int logged = CountLogged(c.logged);
    EXPECT_EQ(m_textures->LoadTexture(c.name), nullptr) << c.name;
    EXPECT_EQ(CountLogged(c.logged), logged + 1) << c.name;
    EXPECT_EQ(m_textures->FindTexture(c.name), nullptr) << c.name;
  }
  Set("MaxCacheSize", "33554432");
  WriteQpx("textures/missing.qpx", 3, 3, false);
  CTTexture* later = m_textures->LoadTexture("missing");
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(later->GetData()->GetWidth(), 3);
}

}  // namespace
