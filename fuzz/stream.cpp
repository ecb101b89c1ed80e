// Fuzzes the chunk-stream reader over a memory buffer: any bytes must read
// without a fault or a read outside the buffer, also as object data for an
// existing object. Scene trees read must be whole: every group lists the
// children that name it as parent, its kind counts are its children's, and
// no entity is its own ancestor. Whatever objects were read are then written
// and read again a few times: once links to objects written later have
// fallen away (they read as null), writing what was read gives the same
// bytes again. What reading makes must stay in proportion to the bytes read:
// counts that claim records the data does not hold must not allocate for
// them (the heap's growth over a read is checked against a budget).

#include <sanitizer/allocator_interface.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/kernel/CTConsoleFrontEnd.h"
#include "core/kernel/ClassApi.h"
#include "core/object/CTNamed.h"
#include "core/persist/MemoryStream.h"
#include "core/scene/CTGroup.h"

// Three small classes: ints, a reference and a bounded blob.
class FuzzItem : public CTNamed {
  QIBO_CLASS(FuzzItem)

 public:
  static constexpr uint32_t kValuesChunk = 0xF0220001;
  static constexpr uint32_t kLinkChunk = 0xF0220002;
  static constexpr uint32_t kBlobChunk = 0xF0220003;
  static constexpr int32_t kMaxBlob = 4096;

  void WriteToStream(Stream* stream, uint32_t flags) override {
    CTNamed::WriteToStream(stream, flags);
    stream->StartChunk(kValuesChunk);
    for (int32_t v : m_values) stream->WriteInt(v);
    stream->WriteVector(m_vector);
    stream->EndChunk();
    stream->StartChunk(kLinkChunk);
    stream->WriteReference(m_link);
    stream->EndChunk();
    if (!m_blob.empty()) {
      stream->StartChunk(kBlobChunk);
      stream->WriteInt(static_cast<int32_t>(m_blob.size()));
      stream->WriteBlock(m_blob.data(), static_cast<int>(m_blob.size()));
      stream->EndChunk();
    }
  }

  bool ProcessChunk(Stream* stream, uint32_t chunkID) override {
    switch (chunkID) {
      case kValuesChunk:
        for (int32_t& v : m_values) v = stream->ReadInt();
        m_vector = stream->ReadVector();
        return true;
      case kLinkChunk:
        m_link = stream->ReadReference();
        return true;
      case kBlobChunk: {
        const int32_t size = stream->ReadInt();
        if (size < 0 || size > kMaxBlob) return false;
        m_blob.resize(static_cast<size_t>(size));
        stream->ReadBlock(m_blob.data(), size);
        return true;
      }
      default:
        return CTNamed::ProcessChunk(stream, chunkID);
    }
  }
  bool DoRegisterWithService() override { return true; }
  bool DoUnregisterWithService() override { return true; }

 private:
  int32_t m_values[2] = {};
  Vector3 m_vector;
  CTStreamed* m_link = nullptr;  // kept alive by the reading stream's table
  std::vector<uint8_t> m_blob;
};

class FuzzDerived : public FuzzItem {
  QIBO_CLASS(FuzzDerived)
};

class FuzzOther : public CTNamed {
  QIBO_CLASS(FuzzOther)
};

QIBO_IMPLEMENT_CLASS(FuzzItem, CTNamed, .desc = "Fuzz item", .url = "fuzzitems.dll")
QIBO_IMPLEMENT_CLASS(FuzzDerived, FuzzItem, .desc = "Fuzz derived item")
QIBO_IMPLEMENT_CLASS(FuzzOther, CTNamed, .desc = "Fuzz other")

namespace {

bool Setup() {
  static const bool registered = [] {
    qiBO_RegisterClass(FuzzItem::_CD());
    qiBO_RegisterClass(FuzzDerived::_CD());
    qiBO_RegisterClass(FuzzOther::_CD());
    // A stream may name any registered class; a console front end registers
    // itself when made and would outlive the run, so runs would not be
    // independent (and every later warning printed once more).
    qiBO_UnregisterClass(CTConsoleFrontEnd::_CD());
    return true;
  }();
  return registered;
}

void Check(bool ok, const char* what) {
  if (ok) return;
  fprintf(stderr, "fuzz_stream: %s\n", what);
  abort();
}

// Heap a read may leave behind: a fixed allowance for the objects and
// services any stream may bring, and a generous share per byte read.
constexpr size_t kHeapAllowance = 64u << 20;
constexpr size_t kHeapPerByte = 256;

void CheckHeapGrowth(size_t before, size_t inputSize) {
  const size_t now = __sanitizer_get_current_allocated_bytes();
  if (now <= before || now - before <= kHeapAllowance + kHeapPerByte * inputSize) return;
  fprintf(stderr, "fuzz_stream: reading %zu bytes left %zu bytes on the heap\n", inputSize, now - before);
  abort();
}

// The trees among the objects read are consistent.
void CheckScenes(const MemoryStream& reader) {
  for (int i = 0; i < reader.GetObjectCount(); ++i) {
    auto* entity = qibo::Cast<CTEntity>(reader.GetObjectNo(i));
    if (!entity) continue;
    int depth = 0;
    for (CTEntity* e = entity->GetParent(); e; e = e->GetParent()) {
      Check(e != entity, "an entity is its own ancestor");
      Check(++depth <= 1 << 20, "a parent chain without end");
    }
    Check(entity->GetTreeLevel() == depth, "a tree level is wrong");
    auto* group = qibo::Cast<CTGroup>(entity);
    if (!group) continue;
    int counts[8] = {};
    for (int c = 0; c < group->NumChildren(); ++c) {
      Check(group->GetChild(c)->GetParent() == group, "a child does not name its group");
      int child[8];
      group->GetChild(c)->GetKindCounts(child);
      for (int k = 0; k < 8; ++k) counts[k] += child[k];
    }
    for (int k = 0; k < 8; ++k) Check(group->GetKindCountNo(k) == counts[k], "kind counts are wrong");
  }
}

// Writes every object the reader holds, in stream-ID order.
std::vector<uint8_t> WriteObjects(const MemoryStream& reader, size_t capacity) {
  std::vector<uint8_t> buffer(capacity);
  MemoryStream writer;
  Check(writer.CreateStream(buffer.data(), static_cast<int>(buffer.size())), "CreateStream failed");
  for (int i = 0; i < reader.GetObjectCount(); ++i) writer.WriteObject(reader.GetObjectNo(i));
  const uint32_t size = writer.GetPos();
  if (!writer.CloseStream()) return {};
  buffer.resize(size);
  return buffer;
}

// Small buffers first: allocating the worst case each run costs most of the time.
std::vector<uint8_t> WriteObjects(const MemoryStream& reader) {
  const size_t guess = 4096 + 512 * static_cast<size_t>(reader.GetObjectCount());
  std::vector<uint8_t> bytes = WriteObjects(reader, guess);
  if (bytes.empty()) bytes = WriteObjects(reader, 8u << 20);
  Check(!bytes.empty(), "a rewritten stream overflowed its buffer");
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!Setup() || size > (1u << 20)) return 0;
  // An exact-size copy, so that a read past the end is caught.
  std::vector<uint8_t> input(data, data + size);
  input.reserve(1);  // a buffer (not null) even for empty input

  const size_t heapBefore = __sanitizer_get_current_allocated_bytes();
  MemoryStream reader;
  Check(reader.Read(input.data(), static_cast<int>(input.size())), "Read refused a buffer");
  CheckHeapGrowth(heapBefore, size);
  CheckScenes(reader);

  // The same bytes as object data for an existing object.
  FuzzItem* target = static_cast<FuzzItem*>(static_cast<CTBasic*>(FuzzItem::_CD()->Create()));
  target->AddRef(nullptr);
  MemoryStream dataReader;
  Check(dataReader.ReadSendDataTo(input.data(), static_cast<int>(input.size()), target),
        "Read refused a target");
  CheckHeapGrowth(heapBefore, size);
  target->RemoveRef(nullptr);

  const std::vector<uint8_t> second = WriteObjects(reader);
  MemoryStream secondReader;
  Check(secondReader.Read(second.data(), static_cast<int>(second.size())), "Read refused a written stream");
  // The first rewrite may hold objects that classes make for themselves on
  // creation (an environment's own light); from then on nothing changes.
  const std::vector<uint8_t> third = WriteObjects(secondReader);
  MemoryStream thirdReader;
  Check(thirdReader.Read(third.data(), static_cast<int>(third.size())), "Read refused a written stream");
  Check(thirdReader.GetObjectCount() == secondReader.GetObjectCount(), "rereading lost objects");
  Check(WriteObjects(thirdReader) == third, "a written stream does not read back to the same bytes");
  return 0;
}
