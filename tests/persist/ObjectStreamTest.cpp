// The chunk layer: layouts byte for byte, object graphs with stream IDs and
// references, object data, includes, and damaged input.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/kernel/ClassApi.h"
#include "core/kernel/Logging.h"
#include "core/object/ByteIO.h"
#include "core/persist/FileStream.h"
#include "core/persist/MemoryStream.h"
#include "core/persist/NetworkStream.h"
#include "core/persist/SmartFile.h"
#include "tests/persist/StreamTestClasses.h"
#include "tests/support/EngineFixture.h"

using qibo::test::AppendInt;
using qibo::test::AppendText;
using qibo::test::EndChunkAt;
using qibo::test::StartChunkAt;
using Bytes = std::vector<uint8_t>;

// Replaces itself with a StreamOther when its values chunk is read.
class StreamSwapper : public StreamItem {
  QIBO_CLASS(StreamSwapper)

 public:
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override {
    const bool handled = StreamItem::ProcessChunk(stream, chunkID);
    if (chunkID == kValuesChunk) {
      CTStreamed* replacement = static_cast<CTStreamed*>(static_cast<CTBasic*>(StreamOther::_CD()->Create()));
      stream->ReplaceReferences(this, replacement);
    }
    return handled;
  }
};
QIBO_IMPLEMENT_CLASS(StreamSwapper, StreamItem, .desc = "Stream test swapper")

namespace {

constexpr size_t kEmptyStream = 20;

class ObjectStreamTest : public qibo::test::EngineFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(EngineFixture::SetUp());
    qibo::test::RegisterStreamTestClasses();
    qiBO_RegisterClass(StreamSwapper::_CD());
  }
  void TearDown() override {
    m_owned.clear();
    qiBO_UnregisterClass(StreamSwapper::_CD());
    qibo::test::UnregisterStreamTestClasses();
    EngineFixture::TearDown();
  }

  template <class F>
  static Bytes WriteMemory(F write, uint32_t level = QIBO_Stream::kDefaultLevelOfDetail) {
    Bytes buffer(1 << 16);
    MemoryStream stream;
    stream.SetLevelOfDetail(level);
    EXPECT_TRUE(stream.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
    write(stream);
    const uint32_t end = stream.GetPos();
    EXPECT_TRUE(stream.CloseStream());
    buffer.resize(end);
    return buffer;
  }

  static uint32_t At(const Bytes& b, size_t offset) { return qibo::GetLE32(b.data() + offset); }
};

// ---------------------------------------------------------------------------
// Layouts

TEST_F(ObjectStreamTest, EmptyStream_IsTwentyBytesOnEveryMedium) {
  const Bytes expected = {'q', 'i', 'b', 'o', 12, 0, 0, 0, 's', 'l', 'o', 'd', 4, 0, 0, 0, 31, 0, 0, 0};
  EXPECT_EQ(WriteMemory([](MemoryStream&) {}), expected);

  NetworkStream network;
  ASSERT_TRUE(network.CreateStream());
  ASSERT_TRUE(network.CloseStream());
  EXPECT_EQ(Bytes(network.GetData(), network.GetData() + network.GetSize()), expected);

  {
    FileStream file;
    ASSERT_TRUE(file.CreateStream("empty.qibo"));
  }  // the destructor ends the phase
  SmartFile in;
  ASSERT_TRUE(in.Open("empty.qibo", false));
  Bytes onDisk(in.FileSize());
  in.Read(onDisk.data(), 1, onDisk.size());
  EXPECT_EQ(onDisk, expected);
}

TEST_F(ObjectStreamTest, WorkedLayout_TextureImageByteForByte) {
  StreamTexture* texture = Make<StreamTexture>("Logo128x64");
  ASSERT_TRUE(texture->RegisterWithService());
  for (int i = 0; i < 4; ++i) texture->header[i] = 100 + i;
  texture->pixels.resize(32796 - 4);
  for (size_t i = 0; i < texture->pixels.size(); ++i) texture->pixels[i] = static_cast<uint8_t>(i * 7);

  const Bytes image = WriteMemory([&](MemoryStream& s) { s.WriteObjectData(texture); });
  ASSERT_EQ(image.size(), 32883u);
  const Bytes head = {
      'q',  'i',  'b',  'o',  0x6B, 0x80, 0x00, 0x00,  // stream, 32875
      's',  'l',  'o',  'd',  0x04, 0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00,
      0x02, 0x00, 0x00, 0x00, 0x57, 0x80, 0x00, 0x00,  // object data, 32855
      0x46, 0xFA, 0x35, 0xF0,                          // class ID
      0x51, 0x03, 0x06, 0x3F, 0x0F, 0x00, 0x00, 0x00,  // name chunk, 15
      0x0A, 0x00, 0x00, 0x00, 'L',  'o',  'g',  'o',  '1',  '2',  '8',  'x',
      '6',  '4',  0x01, 0x43, 0x0E, 0x01, 0x94, 0x10, 0x00, 0x00, 0x00,  // offset 55, length 16
  };
  EXPECT_EQ(Bytes(image.begin(), image.begin() + head.size()), head);
  EXPECT_EQ(At(image, 79), StreamTexture::kPixelChunk);
  EXPECT_EQ(At(image, 83), 32796u);

  StreamTexture* copy = Make<StreamTexture>();
  MemoryStream reader;
  ASSERT_TRUE(reader.ReadSendDataTo(image.data(), static_cast<int>(image.size()), copy));
  EXPECT_STREQ(copy->GetName(), "Logo128x64");
  EXPECT_TRUE(copy->IsRegistered());
  EXPECT_EQ(copy->header[3], 103);
  EXPECT_EQ(copy->pixels, texture->pixels);
  EXPECT_EQ(reader.GetLevelOfDetail(), 31u);
}

TEST_F(ObjectStreamTest, NestedChunks_GetExactLengthsAtEveryLevel) {
  const Bytes bytes = WriteMemory([](MemoryStream& s) {
    s.StartChunk(0xA);
    s.WriteInt(1);
    s.StartChunk(0xB);
    s.StartChunk(0xC);
    s.WriteChar('x');
    s.WriteChar('y');
    s.WriteChar('z');
    s.EndChunk();
    s.EndChunk();
    s.WriteChar('!');
    s.EndChunk();
  });
  ASSERT_EQ(bytes.size(), kEmptyStream + 8 + 4 + 8 + 8 + 3 + 1);
  EXPECT_EQ(At(bytes, 4), bytes.size() - 8);  // "qibo"
  EXPECT_EQ(At(bytes, 20), 0xAu);
  EXPECT_EQ(At(bytes, 24), 4u + 8 + 8 + 3 + 1);
  EXPECT_EQ(At(bytes, 32), 0xBu);
  EXPECT_EQ(At(bytes, 36), 8u + 3);
  EXPECT_EQ(At(bytes, 40), 0xCu);
  EXPECT_EQ(At(bytes, 44), 3u);
  EXPECT_EQ(bytes.back(), '!');
}

TEST_F(ObjectStreamTest, LevelOfDetail_DecidesTheNameChunkAndIsStored) {
  StreamItem* item = Make<StreamItem>("Named");
  const Bytes withName = WriteMemory([&](MemoryStream& s) { s.WriteObject(item); });
  const Bytes without = WriteMemory([&](MemoryStream& s) { s.WriteObject(item); }, 1);
  EXPECT_EQ(withName.size() - without.size(), 8u + 4 + 5 + 1);
  EXPECT_EQ(At(without, 16), 1u);

  MemoryStream reader;
  ASSERT_TRUE(reader.Read(without.data(), static_cast<int>(without.size())));
  EXPECT_EQ(reader.GetLevelOfDetail(), 1u);
  ASSERT_EQ(reader.GetObjectCount(), 1);
  EXPECT_STREQ(static_cast<StreamItem*>(reader.GetObjectNo(0))->GetName(), "");
}

// ---------------------------------------------------------------------------
// Objects and references

TEST_F(ObjectStreamTest, WriteObject_WritesAnObjectOnceAndReferencesByItsId) {
  StreamItem* item = Make<StreamItem>("Once");
  item->values[0] = 5;
  const Bytes bytes = WriteMemory([&](MemoryStream& s) {
    s.WriteReference(nullptr);  // empty table: not an ID
    s.WriteObject(item);
    s.WriteObject(item);
    s.WriteReference(item);
    s.WriteReference(nullptr);
    s.WriteReference(Make<StreamItem>());
    EXPECT_EQ(s.GetObjectCount(), 1);
    EXPECT_EQ(s.GetObjectNo(0), item);
  });
  EXPECT_EQ(At(bytes, 20), 0xFFFFFFFFu);
  // Object chunk: ID 1, stream ID 1, class ID, no network ID, library.
  EXPECT_EQ(At(bytes, 24), QIBO_Stream::kObjectChunk);
  const uint32_t objectLength = At(bytes, 28);
  EXPECT_EQ(At(bytes, 32), 1u);
  EXPECT_EQ(At(bytes, 36), StreamItem::_CD()->ID());
  EXPECT_EQ(At(bytes, 40), 0u);
  EXPECT_EQ(At(bytes, 44), 15u);
  EXPECT_EQ(std::string(bytes.begin() + 48, bytes.begin() + 63), "streamtest.plug");
  const size_t after = 32 + objectLength;
  ASSERT_EQ(bytes.size(), after + 12);
  EXPECT_EQ(At(bytes, after), 1u);
  EXPECT_EQ(At(bytes, after + 4), 0u);
  EXPECT_EQ(At(bytes, after + 8), 0xFFFFFFFFu);
}

TEST_F(ObjectStreamTest, ObjectGraph_RoundTripsWithReferencesBeforeAndAfterTheirObject) {
  StreamItem* a = Make<StreamItem>("a");
  StreamDerived* b = Make<StreamDerived>("b");
  StreamItem* c = Make<StreamItem>("c");
  a->values[0] = 1;
  b->values[1] = 2;
  c->values[2] = -3;
  a->hasLink = true;
  a->link = b;  // b is written after a: the reference cannot be resolved
  b->hasLink = true;
  b->link = a;  // written before b: resolved
  c->hasLink = true;
  c->link = c;  // itself
  ASSERT_TRUE(b->RegisterWithService());
  const Bytes bytes = WriteMemory([&](MemoryStream& s) {
    s.WriteObject(a);
    s.WriteObject(b);
    s.WriteObject(c);
  });

  MemoryStream reader;
  ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
  ASSERT_EQ(reader.GetObjectCount(), 3);
  auto* ra = qibo::Cast<StreamItem>(reader.GetObjectNo(0));
  auto* rb = qibo::Cast<StreamDerived>(reader.GetObjectNo(1));
  auto* rc = qibo::Cast<StreamItem>(reader.GetObjectNo(2));
  ASSERT_TRUE(ra && rb && rc);
  EXPECT_NE(ra, a);
  EXPECT_STREQ(ra->GetName(), "a");
  EXPECT_STREQ(rb->GetName(), "b");
  EXPECT_FALSE(ra->IsRegistered());
  EXPECT_TRUE(rb->IsRegistered());
  EXPECT_EQ(ra->values[0], 1);
  EXPECT_EQ(rb->values[1], 2);
  EXPECT_EQ(rc->values[2], -3);
  EXPECT_TRUE(ra->hasLink);
  EXPECT_EQ(ra->link, nullptr);
  EXPECT_EQ(rb->link, ra);
  EXPECT_EQ(rc->link, rc);
  // The table holds one reference on each object read.
  EXPECT_EQ(ra->GetRefCount(), 1);
  EXPECT_EQ(reader.GetObjectNo(3), nullptr);
  EXPECT_EQ(reader.GetObjectNo(-1), nullptr);
  EXPECT_EQ(reader.GetObjectNo(INT32_MAX), nullptr);
}

TEST_F(ObjectStreamTest, ObjectsRead_LiveAsLongAsTheStream) {
  StreamItem* item = Make<StreamItem>("kept");
  const Bytes bytes = WriteMemory([&](MemoryStream& s) { s.WriteObject(item); });
  const int32_t before = StreamItem::_CD()->GetInstances();
  {
    MemoryStream reader;
    ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
    EXPECT_EQ(StreamItem::_CD()->GetInstances(), before + 1);
    // A second read empties the table first.
    ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
    EXPECT_EQ(StreamItem::_CD()->GetInstances(), before + 1);
  }
  EXPECT_EQ(StreamItem::_CD()->GetInstances(), before);
}

TEST_F(ObjectStreamTest, ReplaceReferences_LaterReferencesGetTheReplacement) {
  StreamSwapper* swapper = Make<StreamSwapper>("old");
  swapper->hasLink = true;  // its link chunk comes after the values chunk
  StreamItem* user = Make<StreamItem>("user");
  user->hasLink = true;
  user->link = swapper;
  const Bytes bytes = WriteMemory([&](MemoryStream& s) {
    s.WriteObject(swapper);
    s.WriteObject(user);
  });

  const int32_t swappers = StreamSwapper::_CD()->GetInstances();
  MemoryStream reader;
  ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
  ASSERT_EQ(reader.GetObjectCount(), 2);
  CTStreamed* replacement = reader.GetObjectNo(0);
  ASSERT_NE(qibo::Cast<StreamOther>(replacement), nullptr);
  EXPECT_EQ(static_cast<StreamItem*>(reader.GetObjectNo(1))->link, replacement);
  // The old object lived until the read ended and is gone now.
  EXPECT_EQ(StreamSwapper::_CD()->GetInstances(), swappers);
}

TEST_F(ObjectStreamTest, ObjectData_GoesToItsClassOrDerivedAndSkipsOthers) {
  StreamItem* source = Make<StreamItem>("data");
  source->values[0] = 11;
  const Bytes bytes = WriteMemory([&](MemoryStream& s) { s.WriteObjectData(source); });

  StreamDerived* derived = Make<StreamDerived>();
  MemoryStream reader;
  ASSERT_TRUE(reader.ReadSendDataTo(bytes.data(), static_cast<int>(bytes.size()), derived));
  EXPECT_STREQ(derived->GetName(), "data");
  EXPECT_EQ(derived->values[0], 11);

  StreamOther* other = Make<StreamOther>("mine");
  ASSERT_TRUE(reader.ReadSendDataTo(bytes.data(), static_cast<int>(bytes.size()), other));
  EXPECT_STREQ(other->GetName(), "mine");
  EXPECT_EQ(reader.GetObjectCount(), 0);
}

TEST_F(ObjectStreamTest, UnknownChunk_IsSkippedAndTheRestIsRead) {
  Bytes data;
  const size_t stream = StartChunkAt(data, QIBO_Stream::kStreamChunk);
  const size_t object = StartChunkAt(data, QIBO_Stream::kObjectChunk);
  AppendInt(data, 1);
  AppendInt(data, static_cast<int32_t>(StreamItem::_CD()->ID()));
  AppendInt(data, 0);
  AppendInt(data, 0);  // no library
  const size_t unknown = StartChunkAt(data, 0x0BADC0DE);
  AppendText(data, "ignored payload");
  EndChunkAt(data, unknown);
  const size_t values = StartChunkAt(data, StreamItem::kValuesChunk);
  AppendInt(data, 4);
  AppendInt(data, 5);
  AppendInt(data, 6);
  EndChunkAt(data, values);
  EndChunkAt(data, object);
  const size_t loose = StartChunkAt(data, 0x0BADC0DF);  // outside any object
  AppendInt(data, 9);
  EndChunkAt(data, loose);
  EndChunkAt(data, stream);

  MemoryStream reader;
  ASSERT_TRUE(reader.Read(data.data(), static_cast<int>(data.size())));
  ASSERT_EQ(reader.GetObjectCount(), 1);
  auto* item = static_cast<StreamItem*>(reader.GetObjectNo(0));
  EXPECT_EQ(item->values[2], 6);
  EXPECT_EQ(item->chunksSeen, 1);
}

TEST_F(ObjectStreamTest, UnregisteredClass_IsReportedAndTheNextObjectRead) {
  StreamItem* first = Make<StreamItem>("first");
  StreamOther* lost = Make<StreamOther>("lost");
  StreamItem* last = Make<StreamItem>("last");
  last->hasLink = true;
  last->link = lost;
  const Bytes bytes = WriteMemory([&](MemoryStream& s) {
    s.WriteObject(first);
    s.WriteObject(lost);
    s.WriteObject(last);
  });
  qiBO_UnregisterClass(StreamOther::_CD());
  MemoryStream reader;
  ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
  char expected[64];
  snprintf(expected, sizeof(expected), "Warning: Unregistered Class:0x%08X", StreamOther::_CD()->ID());
  EXPECT_TRUE(Logged(expected));
  qiBO_RegisterClass(StreamOther::_CD());
  EXPECT_EQ(reader.GetObjectCount(), 3);
  EXPECT_EQ(reader.GetObjectNo(1), nullptr);
  auto* readLast = static_cast<StreamItem*>(reader.GetObjectNo(2));
  ASSERT_NE(readLast, nullptr);
  EXPECT_STREQ(readLast->GetName(), "last");
  EXPECT_EQ(readLast->link, nullptr);
}

TEST_F(ObjectStreamTest, FileStream_RoundTripsAnObjectGraph) {
  StreamItem* a = Make<StreamItem>("alpha");
  StreamItem* b = Make<StreamItem>(std::string(300, 'n').c_str());
  b->hasLink = true;
  b->link = a;
  b->values[1] = 42;
  {
    FileStream file;
    ASSERT_TRUE(file.CreateStream("graph.qibo"));
    file.WriteObject(a);
    file.WriteObject(b);
    ASSERT_TRUE(file.CloseStream());
  }
  FileStream reader;
  ASSERT_TRUE(reader.Read("graph.qibo"));
  ASSERT_EQ(reader.GetObjectCount(), 2);
  auto* rb = static_cast<StreamItem*>(reader.GetObjectNo(1));
  EXPECT_STREQ(rb->GetName(), b->GetName());
  EXPECT_EQ(rb->values[1], 42);
  EXPECT_EQ(rb->link, reader.GetObjectNo(0));
}

TEST_F(ObjectStreamTest, NetworkStream_WritesNetworkIdsAndReadsThemBack) {
  StreamItem* shared = Make<StreamItem>("shared");
  shared->SetNetID(321);
  const int32_t netId = 321;
  NetworkStream network;
  ASSERT_TRUE(network.CreateStream());
  network.WriteObject(shared);
  ASSERT_TRUE(network.CloseStream());
  const Bytes bytes(network.GetData(), network.GetData() + network.GetSize());
  EXPECT_EQ(At(bytes, 28), 1u);  // stream ID
  EXPECT_EQ(At(bytes, 32), StreamItem::_CD()->ID());
  EXPECT_EQ(At(bytes, 36), static_cast<uint32_t>(netId));
  EXPECT_EQ(At(bytes, 40), CTNamed::kChunkID);
  // Read where the original is not shared, the stream makes a copy.
  shared->ResetNetID();

  const int32_t before = StreamItem::_CD()->GetInstances();
  {
    NetworkStream reader;
    ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
    ASSERT_EQ(reader.GetObjectCount(), 1);
    auto* copy = static_cast<StreamItem*>(reader.GetObjectNo(0));
    EXPECT_NE(copy, shared);
    EXPECT_EQ(copy->GetNetID(), 321u);
    EXPECT_STREQ(copy->GetName(), "shared");
    // Read outside a session's frame nothing keeps the copy but the stream.
    EXPECT_EQ(copy->GetRefCount(), 1);
  }
  EXPECT_EQ(StreamItem::_CD()->GetInstances(), before);
}

// Packets come from other programs: only classes marked safe to receive are
// made from them, and their include chunks open nothing; memory images,
// which a program makes itself, keep includes.
TEST_F(ObjectStreamTest, NetworkStream_RefusesUnsafeClassesAndIncludes) {
  StreamItem* part = Make<StreamItem>("from include");
  {
    FileStream file;
    ASSERT_TRUE(file.CreateStream("part.qibo"));
    file.WriteObjectData(part);
  }
  auto packet = [](auto& stream, StreamOther* unsafe) {
    stream.WriteObject(unsafe);
    stream.StartChunk(QIBO_Stream::kIncludeChunk);
    stream.WriteString("part.qibo");
    stream.EndChunk();
  };
  StreamOther* other = Make<StreamOther>("other");
  NetworkStream network;
  ASSERT_TRUE(network.CreateStream());
  packet(network, other);
  ASSERT_TRUE(network.CloseStream());
  const Bytes sent(network.GetData(), network.GetData() + network.GetSize());
  const Bytes image = WriteMemory([&](MemoryStream& s) { packet(s, other); });

  struct Case {
    const char* medium;
    bool fromNetwork;
  } cases[] = {{"network", true}, {"memory", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.medium);
    const int32_t before = StreamOther::_CD()->GetInstances();
    StreamItem* target = Make<StreamItem>();
    int objects = 0;
    if (c.fromNetwork) {
      NetworkStream reader;
      ASSERT_TRUE(reader.ReadSendDataTo(sent.data(), static_cast<int>(sent.size()), target));
      objects = reader.GetObjectCount();
      EXPECT_EQ(StreamOther::_CD()->GetInstances(), before);  // never made, not even for a moment
    } else {
      MemoryStream reader;
      ASSERT_TRUE(reader.ReadSendDataTo(image.data(), static_cast<int>(image.size()), target));
      objects = reader.GetObjectCount();
    }
    EXPECT_EQ(objects, c.fromNetwork ? 0 : 1);
    EXPECT_STREQ(target->GetName(), c.fromNetwork ? "" : "from include");
  }
  EXPECT_TRUE(Logged("may not be created"));
  EXPECT_TRUE(Logged("does not open files"));
}

// ---------------------------------------------------------------------------
// Includes

TEST_F(ObjectStreamTest, Include_ReadsAnotherFileIntoTheTarget) {
  StreamItem* source = Make<StreamItem>("from include");
  source->values[2] = 8;
  {
    FileStream file;
    ASSERT_TRUE(file.CreateStream("part.qibo"));
    file.WriteObjectData(source);
  }
  {
    FileStream file;
    ASSERT_TRUE(file.CreateStream("main.qibo"));
    file.StartChunk(QIBO_Stream::kIncludeChunk);
    file.WriteString("part.qibo");
    file.EndChunk();
    file.StartChunk(QIBO_Stream::kIncludeChunk);
    file.WriteString("missing.qibo");
    file.EndChunk();
  }
  StreamItem* target = Make<StreamItem>();
  FileStream reader;
  ASSERT_TRUE(reader.ReadSendDataTo("main.qibo", target));
  EXPECT_STREQ(target->GetName(), "from include");
  EXPECT_EQ(target->values[2], 8);
}

TEST_F(ObjectStreamTest, Include_OfItselfOrInALoopStops) {
  StreamItem* source = Make<StreamItem>();
  source->values[0] = 1;
  ASSERT_EQ(mkdir("sub", 0755), 0);
  // Each file includes the next; the last one names the first under another
  // spelling (a different case, a detour through a directory).
  const struct {
    const char* name;
    const char* includes;
  } files[] = {
      {"self.qibo", ".\\SELF.qibo"}, {"ping.qibo", "pong.qibo"}, {"pong.qibo", "sub\\..\\PING.qibo"}};
  for (const auto& f : files) {
    FileStream file;
    ASSERT_TRUE(file.CreateStream(f.name));
    file.StartChunk(QIBO_Stream::kIncludeChunk);
    file.WriteString(f.includes);
    file.EndChunk();
    file.WriteObjectData(source);  // one values chunk per file read
  }
  StreamItem* target = Make<StreamItem>();
  FileStream reader;
  ASSERT_TRUE(reader.ReadSendDataTo("self.qibo", target));
  EXPECT_TRUE(Logged("already being read"));
  EXPECT_EQ(target->chunksSeen, 1);
  target->chunksSeen = 0;
  ASSERT_TRUE(reader.ReadSendDataTo("ping.qibo", target));  // ping, pong, and not ping again
  EXPECT_EQ(target->chunksSeen, 2);
}

// A file that includes another one several times, at every level, reads a
// bounded number of includes, however the fan-out multiplies.
TEST_F(ObjectStreamTest, Include_TotalReadsPerStreamAreBounded) {
  StreamItem* source = Make<StreamItem>();
  for (int level = 0; level < 8; ++level) {
    FileStream file;
    ASSERT_TRUE(file.CreateStream(("level" + std::to_string(level) + ".qibo").c_str()));
    for (int copy = 0; copy < (level < 7 ? 4 : 0); ++copy) {
      file.StartChunk(QIBO_Stream::kIncludeChunk);
      file.WriteString(("level" + std::to_string(level + 1) + ".qibo").c_str());
      file.EndChunk();
    }
    file.WriteObjectData(source);
  }
  StreamItem* target = Make<StreamItem>();
  FileStream reader;
  ASSERT_TRUE(reader.ReadSendDataTo("level0.qibo", target));
  EXPECT_EQ(target->chunksSeen, 1 + QIBO_Stream::kMaxIncludeReads);
  EXPECT_TRUE(Logged("more than"));
  target->chunksSeen = 0;
  ASSERT_TRUE(reader.ReadSendDataTo("level0.qibo", target));  // the bound is per read
  EXPECT_EQ(target->chunksSeen, 1 + QIBO_Stream::kMaxIncludeReads);
}

// ---------------------------------------------------------------------------
// Damaged input

class DamagedStreamTest : public ObjectStreamTest {
 protected:
  void SetUp() override {
    ObjectStreamTest::SetUp();
    StreamItem* a = Make<StreamItem>("a");
    StreamItem* b = Make<StreamItem>("b");
    a->values[0] = 10;
    b->values[0] = 20;
    b->hasLink = true;
    b->link = a;
    m_bytes = WriteMemory([&](MemoryStream& s) {
      s.WriteObject(a);
      s.WriteObject(b);
    });
    // Offsets: object a at 20, its values chunk after the name chunk.
    m_objectA = 20;
    m_objectB = 20 + 8 + At(m_bytes, 24);
    // Object chunk: header 8, stream ID, class ID, marker, library 4 + 15;
    // then the name chunk: header 8, name 4 + 1, flag 1.
    m_valuesA = m_objectA + 8 + 4 + 4 + 4 + 4 + 15 + 8 + 4 + 1 + 1;
    ASSERT_EQ(At(m_bytes, m_valuesA), StreamItem::kValuesChunk);
  }

  // Reads the (changed) bytes; answers the names of the objects read.
  std::vector<std::string> ReadNames(const Bytes& bytes, size_t size = SIZE_MAX) {
    MemoryStream reader;
    EXPECT_TRUE(reader.Read(bytes.data(), static_cast<int>(std::min(size, bytes.size()))));
    std::vector<std::string> names;
    for (int i = 0; i < reader.GetObjectCount(); ++i) {
      auto* item = qibo::Cast<StreamItem>(reader.GetObjectNo(i));
      names.push_back(item ? item->GetName() : "-");
    }
    return names;
  }

  void Put(Bytes& bytes, size_t offset, int32_t v) {
    qibo::PutLE32(bytes.data() + offset, static_cast<uint32_t>(v));
  }

  Bytes m_bytes;
  size_t m_objectA = 0;
  size_t m_objectB = 0;
  size_t m_valuesA = 0;
};

TEST_F(DamagedStreamTest, Truncated_ReadsTheObjectsThatBeganInside) {
  std::vector<std::string> previous;
  for (size_t size = 0; size <= m_bytes.size(); ++size) {
    const std::vector<std::string> names = ReadNames(m_bytes, size);
    EXPECT_GE(names.size(), previous.size()) << size;
    previous = names;
  }
  EXPECT_EQ(previous, (std::vector<std::string>{"a", "b"}));
  // b's header is whole, its name chunk is not.
  EXPECT_EQ(ReadNames(m_bytes, m_objectB + 40), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(ReadNames(m_bytes, m_objectB), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(Logged("runs past the end of its data"));
}

TEST_F(DamagedStreamTest, ChunkLongerThanItsParent_EndsTheParentOnly) {
  Bytes bytes = m_bytes;
  Put(bytes, m_valuesA + 4, 100000);
  MemoryStream reader;
  ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
  ASSERT_EQ(reader.GetObjectCount(), 2);
  auto* a = static_cast<StreamItem*>(reader.GetObjectNo(0));
  auto* b = static_cast<StreamItem*>(reader.GetObjectNo(1));
  EXPECT_STREQ(a->GetName(), "a");
  EXPECT_EQ(a->values[0], 0);  // its cut chunk is not handed to the class
  EXPECT_EQ(b->values[0], 20);
  EXPECT_EQ(b->link, a);
}

TEST_F(DamagedStreamTest, NegativeLengths_SkipWhatCannotBeFound) {
  Bytes bytes = m_bytes;
  Put(bytes, m_valuesA + 4, -1);
  EXPECT_EQ(ReadNames(bytes), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Logged("negative length"));

  bytes = m_bytes;
  Put(bytes, 4, -20);  // the whole stream
  EXPECT_TRUE(ReadNames(bytes).empty());

  bytes = m_bytes;
  Put(bytes, m_objectA + 8 + 4 + 8, -7);  // the library string's length
  EXPECT_EQ(ReadNames(bytes).size(), 2u);
}

TEST_F(DamagedStreamTest, HugeStreamIdOrStringLength_IsRefused) {
  Bytes bytes = m_bytes;
  Put(bytes, m_objectA + 8, 0x7FFFFFF0);
  EXPECT_EQ(ReadNames(bytes), (std::vector<std::string>{"-", "b"}));
  EXPECT_TRUE(Logged("larger than the stream can hold"));

  bytes = m_bytes;
  Put(bytes, m_objectA + 8 + 4 + 8, 0x7FFFFFF0);  // library string length
  EXPECT_EQ(ReadNames(bytes), (std::vector<std::string>{"-", "b"}));
}

TEST_F(DamagedStreamTest, DuplicateStreamId_KeepsTheFirstObject) {
  Bytes bytes = m_bytes;
  Put(bytes, m_objectB + 8, 1);  // b claims a's ID
  MemoryStream reader;
  ASSERT_TRUE(reader.Read(bytes.data(), static_cast<int>(bytes.size())));
  ASSERT_EQ(reader.GetObjectCount(), 1);
  EXPECT_STREQ(static_cast<StreamItem*>(reader.GetObjectNo(0))->GetName(), "a");
  EXPECT_TRUE(Logged("used twice"));
}

TEST_F(DamagedStreamTest, LibraryNameWithAPath_IsNotLoaded) {
  Bytes data;
  const size_t stream = StartChunkAt(data, QIBO_Stream::kStreamChunk);
  const size_t object = StartChunkAt(data, QIBO_Stream::kObjectChunk);
  AppendInt(data, 1);
  AppendInt(data, 0x1234ABCD);  // no such class
  AppendInt(data, 0);
  AppendInt(data, 18);
  AppendText(data, "../lib/evil.plug\\x");
  EndChunkAt(data, object);
  EndChunkAt(data, stream);
  ASSERT_EQ(ReadNames(data), (std::vector<std::string>{}));
  EXPECT_TRUE(Logged("is not a plug-in file name"));
  EXPECT_TRUE(Logged("Warning: Unregistered Class:0x1234ABCD"));
}

// Many objects of classes nobody registered, all naming one library: the
// library is tried once for the whole stream, includes and later reads too.
TEST_F(DamagedStreamTest, UnknownClasses_LoadTheirLibraryOncePerStream) {
  Bytes data;
  const size_t stream = StartChunkAt(data, QIBO_Stream::kStreamChunk);
  for (int i = 0; i < 40; ++i) {  // the log keeps 100 lines
    const size_t object = StartChunkAt(data, QIBO_Stream::kObjectChunk);
    AppendInt(data, i + 1);
    AppendInt(data, 0x5A000000 + i);  // no such classes
    AppendInt(data, 0);
    AppendInt(data, 12);
    AppendText(data, "Missing.plug");
    EndChunkAt(data, object);
  }
  EndChunkAt(data, stream);
  ASSERT_EQ(qiBO_GetErrorsCount(), 0);  // the log runs before the plug-in manager reports
  MemoryStream reader;
  ASSERT_TRUE(reader.Read(data.data(), static_cast<int>(data.size())));
  ASSERT_TRUE(reader.Read(data.data(), static_cast<int>(data.size())));
  EXPECT_EQ(CountLogged("Library not found: Missing.plug"), 1);
  EXPECT_EQ(reader.GetObjectCount(), 0);
}

TEST_F(DamagedStreamTest, DeepNesting_StopsAtTheDepthLimit) {
  Bytes data;
  std::vector<size_t> open;
  for (int i = 0; i < 1000; ++i) {
    open.push_back(StartChunkAt(data, QIBO_Stream::kObjectDataChunk));
    AppendInt(data, static_cast<int32_t>(StreamItem::_CD()->ID()));
  }
  while (!open.empty()) {
    EndChunkAt(data, open.back());
    open.pop_back();
  }
  StreamItem* target = Make<StreamItem>();
  MemoryStream reader;
  ASSERT_TRUE(reader.ReadSendDataTo(data.data(), static_cast<int>(data.size()), target));
  EXPECT_TRUE(Logged("nested too deeply"));
}

TEST_F(DamagedStreamTest, NotAStream_IsOneChunkForTheTarget) {
  Bytes data;
  const size_t chunk = StartChunkAt(data, StreamItem::kValuesChunk);
  AppendInt(data, 7);
  AppendInt(data, 8);
  AppendInt(data, 9);
  EndChunkAt(data, chunk);
  StreamItem* target = Make<StreamItem>();
  MemoryStream reader;
  ASSERT_TRUE(reader.ReadSendDataTo(data.data(), static_cast<int>(data.size()), target));
  EXPECT_EQ(target->values[1], 8);
  EXPECT_TRUE(reader.ReadSendDataTo(data.data(), 3, target));  // too short for a header
}

}  // namespace
