// The typed byte streams: value encodings, the two string encodings, the
// memory stream's capacity and reads that must stay inside their data.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/kernel/Kernel.h"
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

namespace {

constexpr uint32_t kProbeChunk = 0x7E570001;
constexpr size_t kEmptyStream = 20;  // "qibo" and the "slod" chunk

class StreamTest : public qibo::test::EngineFixture {
 protected:
  // Runs write inside a memory write phase and returns the bytes it added
  // after the empty stream's 20.
  template <class F>
  static Bytes WrittenToMemory(F write) {
    Bytes buffer(4096);
    MemoryStream stream;
    EXPECT_TRUE(stream.CreateStream(buffer.data(), static_cast<int>(buffer.size())));
    write(stream);
    const uint32_t end = stream.GetPos();
    EXPECT_TRUE(stream.CloseStream());
    return Bytes(buffer.begin() + kEmptyStream, buffer.begin() + end);
  }

  static Bytes ReadFile(const char* name) {
    SmartFile file;
    Bytes bytes;
    if (!file.Open(name, false)) return bytes;
    bytes.resize(file.FileSize());
    file.Read(bytes.data(), 1, bytes.size());
    return bytes;
  }

  // A buffer that is a single probe chunk holding payload (not a "qibo"
  // stream): Read hands it to the target, which runs read.
  static bool ReadProbe(const Bytes& payload, const std::function<void(QIBO_Stream*)>& read) {
    Bytes data;
    const size_t at = StartChunkAt(data, kProbeChunk);
    data.insert(data.end(), payload.begin(), payload.end());
    EndChunkAt(data, at);
    StreamProbe probe;
    bool called = false;
    probe.onChunk = [&](Stream* s, uint32_t) {
      called = true;
      read(static_cast<QIBO_Stream*>(s));
      return true;
    };
    MemoryStream stream;
    EXPECT_TRUE(stream.ReadSendDataTo(data.data(), static_cast<int>(data.size()), &probe));
    return called;
  }
};

TEST_F(StreamTest, TypedValues_AreLittleEndianAndReadBack) {
  const Matrix33 matrix(1, 2, 3, 4, 5, 6, 7, 8, 9);
  const Bytes bytes = WrittenToMemory([&](Stream& s) {
    s.WriteInt(0x01020304);
    s.WriteInt(-2);
    s.WriteFloat(1.0f);
    s.WriteDouble(-2.5);
    s.WriteChar('Z');
    s.WriteVector({1.0f, -1.0f, 0.5f});
    s.WriteQuat({0.0f, 0.0f, 0.0f, 1.0f});
    s.WriteMatrix(matrix);
  });
  ASSERT_EQ(bytes.size(), 4u + 4 + 4 + 8 + 1 + 12 + 16 + 36);
  const Bytes head = {0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80,
                      0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xC0, 'Z'};
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 21), head);
  // Vector: x = 1.0f first, then -1.0f.
  const Bytes vectorHead = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0xBF};
  EXPECT_EQ(Bytes(bytes.begin() + 21, bytes.begin() + 29), vectorHead);

  EXPECT_TRUE(ReadProbe(bytes, [&](QIBO_Stream* s) {
    EXPECT_EQ(s->ReadInt(), 0x01020304);
    EXPECT_EQ(s->ReadInt(), -2);
    EXPECT_EQ(s->ReadFloat(), 1.0f);
    EXPECT_EQ(s->ReadDouble(), -2.5);
    EXPECT_EQ(s->ReadChar(), 'Z');
    EXPECT_EQ(s->ReadVector(), Vector3(1.0f, -1.0f, 0.5f));
    const Quaternion q = s->ReadQuat();
    EXPECT_EQ(q.w, 1.0f);
    const Matrix33 m = s->ReadMatrix();
    EXPECT_EQ(memcmp(m.m, matrix.m, sizeof(m.m)), 0);
  }));
}

TEST_F(StreamTest, WriteString_HasOneEncodingPerMedium) {
  const Bytes memory = WrittenToMemory([](Stream& s) { s.WriteString("abc"); });
  EXPECT_EQ(memory, (Bytes{0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'}));

  NetworkStream network;
  ASSERT_TRUE(network.CreateStream());
  network.WriteString("abc");
  network.WriteString(nullptr);
  ASSERT_TRUE(network.CloseStream());
  EXPECT_EQ(Bytes(network.GetData() + kEmptyStream, network.GetData() + network.GetSize()),
            (Bytes{0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c', 0x00, 0x00, 0x00, 0x00}));

  {
    FileStream file;
    ASSERT_TRUE(file.CreateStream("strings.qibo"));
    file.WriteString("abc");
    ASSERT_TRUE(file.CloseStream());
  }
  const Bytes onDisk = ReadFile("strings.qibo");
  ASSERT_EQ(onDisk.size(), kEmptyStream + 4);
  EXPECT_EQ(Bytes(onDisk.begin() + kEmptyStream, onDisk.end()), (Bytes{'a', 'b', 'c', 0x00}));
}

TEST_F(StreamTest, ReadString_KeepsTheFirst255AndMovesPastTheRest) {
  const std::string text(300, 'x');
  Bytes payload;
  AppendInt(payload, 300);
  AppendText(payload, text.c_str());
  AppendInt(payload, 77);
  EXPECT_TRUE(ReadProbe(payload, [&](QIBO_Stream* s) {
    const QIBO_String read = s->ReadString();
    EXPECT_EQ(read.Length(), 255);
    EXPECT_EQ(std::string(read.c_str()), text.substr(0, 255));
    EXPECT_EQ(s->GetPos(), 8u + 4 + 300);
    EXPECT_EQ(s->ReadInt(), 77);
  }));
}

TEST_F(StreamTest, ReadString_NegativeOrOverlongLengthReadsNothingMore) {
  Bytes payload;
  AppendInt(payload, -5);
  AppendInt(payload, 42);
  AppendInt(payload, 1000);  // longer than what is left
  AppendText(payload, "abcd");
  EXPECT_TRUE(ReadProbe(payload, [&](QIBO_Stream* s) {
    EXPECT_EQ(s->ReadString(), "");
    EXPECT_EQ(s->GetPos(), 12u);  // only the length was taken
    EXPECT_EQ(s->ReadInt(), 42);
    EXPECT_EQ(s->ReadString(), "");
    EXPECT_EQ(s->ReadInt(), 0);  // the chunk is over for this reader
  }));
}

TEST_F(StreamTest, FileReadString_ReadsToTheNulOfALongString) {
  const std::string text(300, 'y');
  {
    FileStream file;
    ASSERT_TRUE(file.CreateStream("long.qibo"));
    file.StartChunk(kProbeChunk);
    file.WriteString(text.c_str());
    file.WriteInt(99);
    file.EndChunk();
    ASSERT_TRUE(file.CloseStream());
  }
  Bytes bytes = ReadFile("long.qibo");
  ASSERT_EQ(bytes.size(), kEmptyStream + 8 + 301 + 4);
  // The probe chunk alone, as the outermost chunk of a file, goes to the probe.
  {
    SmartFile out;
    ASSERT_TRUE(out.Create("probe.qibo", false));
    out.Write(bytes.data() + kEmptyStream, 1, bytes.size() - kEmptyStream);
  }
  StreamProbe probe;
  probe.onChunk = [&](Stream* s, uint32_t) {
    const QIBO_String read = s->ReadString();
    EXPECT_EQ(std::string(read.c_str()), text.substr(0, 255));
    EXPECT_EQ(s->ReadInt(), 99);
    return true;
  };
  FileStream file;
  ASSERT_TRUE(file.ReadSendDataTo("probe.qibo", &probe));
  EXPECT_EQ(probe.ids, std::vector<uint32_t>{kProbeChunk});
  EXPECT_EQ(file.ReadString(), "0");  // not reading
}

TEST_F(StreamTest, MemoryStream_DropsABlockThatDoesNotFit) {
  uint8_t buffer[24] = {};
  MemoryStream stream;
  ASSERT_TRUE(stream.CreateStream(buffer, 16));  // room for 16 bytes only
  EXPECT_EQ(stream.GetPos(), 16u);               // the two headers fit, the level value did not
  stream.SeekBy(-2);
  EXPECT_EQ(stream.GetPos(), 14u);
  stream.WriteInt(0x55555555);
  EXPECT_EQ(stream.GetPos(), 14u);  // dropped whole
  EXPECT_TRUE(stream.HasOverflowed());
  stream.SeekBy(100);  // past the capacity: refused
  EXPECT_EQ(stream.GetPos(), 14u);
  stream.SeekBy(-100);
  EXPECT_EQ(stream.GetPos(), 14u);
  EXPECT_FALSE(stream.CloseStream());  // the image is incomplete
  for (int i = 16; i < 24; ++i) EXPECT_EQ(buffer[i], 0) << i;
}

TEST_F(StreamTest, MemoryStream_AcceptsExactlyItsCapacity) {
  uint8_t buffer[24] = {};
  MemoryStream stream;
  ASSERT_TRUE(stream.CreateStream(buffer, 24));
  EXPECT_EQ(stream.GetPos(), kEmptyStream);
  stream.WriteInt(1);
  EXPECT_EQ(stream.GetPos(), 24u);
  EXPECT_FALSE(stream.HasOverflowed());
  EXPECT_TRUE(stream.CloseStream());
  EXPECT_EQ(buffer[4], 16);  // "qibo" holds everything after its header
}

TEST_F(StreamTest, Phases_RefuseWrongStatesAndBadBuffers) {
  uint8_t buffer[64];
  MemoryStream stream;
  EXPECT_FALSE(stream.CreateStream(nullptr, 64));
  EXPECT_FALSE(stream.CreateStream(buffer, 0));
  EXPECT_FALSE(stream.CloseStream());
  EXPECT_FALSE(stream.Read(nullptr, 4));
  EXPECT_FALSE(stream.Read(buffer, -1));
  ASSERT_TRUE(stream.CreateStream(buffer, 64));
  EXPECT_FALSE(stream.CreateStream(buffer, 64));
  EXPECT_FALSE(stream.Read(buffer, 20));
  EXPECT_TRUE(stream.CloseStream());

  NetworkStream network;
  ASSERT_TRUE(network.CreateStream());
  EXPECT_FALSE(network.CreateStream());
  EXPECT_TRUE(network.CloseStream());

  FileStream file;
  EXPECT_FALSE(file.Read("missing.qibo"));
  EXPECT_FALSE(file.CloseStream());
  ASSERT_TRUE(file.CreateStream("phases.qibo"));
  EXPECT_FALSE(file.CreateStream("other.qibo"));
  EXPECT_FALSE(file.Read("phases.qibo"));
  EXPECT_TRUE(file.CloseStream());
  EXPECT_TRUE(file.Read("phases.qibo"));
}

TEST_F(StreamTest, OutOfPhase_ReadsAnswerZeroAndWritesDoNothing) {
  MemoryStream stream;
  EXPECT_EQ(stream.ReadInt(), 0);
  EXPECT_EQ(stream.ReadChar(), 0);
  EXPECT_EQ(stream.ReadDouble(), 0.0);
  EXPECT_EQ(stream.ReadString(), "");
  EXPECT_EQ(stream.ReadReference(), nullptr);
  uint8_t block[4] = {1, 2, 3, 4};
  stream.ReadBlock(block, 4);
  EXPECT_EQ(block[0] | block[1] | block[2] | block[3], 0);
  stream.WriteInt(5);
  stream.StartChunk(9);
  EXPECT_EQ(stream.GetPos(), 0u);
}

TEST_F(StreamTest, Reads_StopAtTheEndOfTheirChunkAndOfTheBuffer) {
  Bytes payload;
  AppendInt(payload, 7);
  AppendText(payload, "ab");
  EXPECT_TRUE(ReadProbe(payload, [&](QIBO_Stream* s) {
    EXPECT_EQ(s->ReadInt(), 7);
    EXPECT_EQ(s->ReadInt(), 0);   // only two bytes left
    EXPECT_EQ(s->ReadChar(), 0);  // the failure holds for the rest of the chunk
    s->SeekBy(-100);
    EXPECT_EQ(s->ReadInt(), 0);
  }));

  // The outermost chunk claims more than the buffer has: the probe sees the
  // chunk (cut to the buffer) only if it is a class chunk it can trust,
  // which it is not, so nothing is handed over.
  Bytes data;
  AppendInt(data, static_cast<int32_t>(kProbeChunk));
  AppendInt(data, 1000);
  AppendInt(data, 1);
  StreamProbe probe;
  MemoryStream stream;
  EXPECT_TRUE(stream.ReadSendDataTo(data.data(), static_cast<int>(data.size()), &probe));
  EXPECT_TRUE(probe.ids.empty());
}

TEST_F(StreamTest, NetworkStream_GrowsAndPatchesLengths) {
  NetworkStream network;
  ASSERT_TRUE(network.CreateStream());
  network.StartChunk(kProbeChunk);
  std::vector<uint8_t> blob(100000, 0xAB);
  network.WriteBlock(blob.data(), static_cast<int>(blob.size()));
  network.EndChunk();
  ASSERT_TRUE(network.CloseStream());
  ASSERT_EQ(network.GetSize(), kEmptyStream + 8 + 100000);
  EXPECT_EQ(network.GetPos(), network.GetSize());
  qibo::ByteReader r(network.GetData(), network.GetSize());
  EXPECT_EQ(r.U32(), QIBO_Stream::kStreamChunk);
  EXPECT_EQ(r.U32(), 12u + 8 + 100000);
  r.Seek(kEmptyStream);
  EXPECT_EQ(r.U32(), kProbeChunk);
  EXPECT_EQ(r.U32(), 100000u);
}

}  // namespace
