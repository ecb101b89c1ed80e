// Chunk-stream throughput: many small objects to and from memory, and one
// large object-data blob against a plain memcpy of the same size.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/kernel/ClassApi.h"
#include "core/kernel/Kernel.h"
#include "core/object/CTNamed.h"
#include "core/persist/MemoryStream.h"

// A small object: the name chunk and three ints.
class StreamBenchItem : public CTNamed {
  QIBO_CLASS(StreamBenchItem)

 public:
  static constexpr uint32_t kValuesChunk = 0xB3C40001;

  void WriteToStream(Stream* stream, uint32_t flags) override {
    CTNamed::WriteToStream(stream, flags);
    stream->StartChunk(kValuesChunk);
    for (int32_t v : values) stream->WriteInt(v);
    stream->EndChunk();
  }
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override {
    if (chunkID != kValuesChunk) return CTNamed::ProcessChunk(stream, chunkID);
    for (int32_t& v : values) v = stream->ReadInt();
    return true;
  }

  int32_t values[3] = {1, 2, 3};
};

// One large chunk of raw bytes; reading reuses the buffer when the size
// is unchanged, as a texture reloading its pixels would.
class StreamBenchBlob : public CTNamed {
  QIBO_CLASS(StreamBenchBlob)

 public:
  static constexpr uint32_t kBlobChunk = 0xB3C40002;

  void WriteToStream(Stream* stream, uint32_t flags) override {
    CTNamed::WriteToStream(stream, flags);
    stream->StartChunk(kBlobChunk);
    stream->WriteInt(static_cast<int32_t>(bytes.size()));
    stream->WriteBlock(bytes.data(), static_cast<int>(bytes.size()));
    stream->EndChunk();
  }
  bool ProcessChunk(Stream* stream, uint32_t chunkID) override {
    if (chunkID != kBlobChunk) return CTNamed::ProcessChunk(stream, chunkID);
    const int32_t size = stream->ReadInt();
    if (size < 0) return false;
    bytes.resize(static_cast<size_t>(size));
    stream->ReadBlock(bytes.data(), size);
    return true;
  }

  std::vector<uint8_t> bytes;
};

QIBO_IMPLEMENT_CLASS(StreamBenchItem, CTNamed, .desc = "Stream bench item")
QIBO_IMPLEMENT_CLASS(StreamBenchBlob, CTNamed, .desc = "Stream bench blob")

namespace {

constexpr int kObjects = 100000;
constexpr size_t kBlobSize = 64u << 20;
constexpr size_t kItemBufferSize = 64u << 20;

template <class T>
T* Make() {
  T* object = static_cast<T*>(static_cast<CTBasic*>(T::_CD()->Create()));
  object->AddRef(nullptr);
  return object;
}

// kObjects items named "item00042" and so on.
std::vector<StreamBenchItem*> MakeItems() {
  std::vector<StreamBenchItem*> items;
  items.reserve(kObjects);
  for (int i = 0; i < kObjects; ++i) {
    StreamBenchItem* item = Make<StreamBenchItem>();
    char name[16];
    snprintf(name, sizeof(name), "item%05d", i);
    item->SetName(name);
    item->values[0] = i;
    items.push_back(item);
  }
  return items;
}

void Release(std::vector<StreamBenchItem*>& items) {
  for (StreamBenchItem* item : items) item->RemoveRef(nullptr);
  items.clear();
}

uint32_t WriteItems(const std::vector<StreamBenchItem*>& items, std::vector<uint8_t>& buffer) {
  MemoryStream stream;
  stream.CreateStream(buffer.data(), static_cast<int>(buffer.size()));
  for (StreamBenchItem* item : items) stream.WriteObject(item);
  const uint32_t size = stream.GetPos();
  return stream.CloseStream() ? size : 0;
}

}  // namespace

static void BM_StreamWriteSmallObjects(benchmark::State& state) {
  std::vector<StreamBenchItem*> items = MakeItems();
  std::vector<uint8_t> buffer(kItemBufferSize);
  uint32_t size = 0;
  for (auto _ : state) {
    size = WriteItems(items, buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
  if (size == 0) state.SkipWithError("the objects did not fit the buffer");
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(state.iterations() * size);
  Release(items);
}
BENCHMARK(BM_StreamWriteSmallObjects)->Unit(benchmark::kMillisecond);

static void BM_StreamReadSmallObjects(benchmark::State& state) {
  qiBO_RegisterClass(StreamBenchItem::_CD());
  std::vector<StreamBenchItem*> items = MakeItems();
  std::vector<uint8_t> buffer(kItemBufferSize);
  const uint32_t size = WriteItems(items, buffer);
  Release(items);
  for (auto _ : state) {
    auto* stream = new MemoryStream;
    stream->Read(buffer.data(), static_cast<int>(size));
    if (stream->GetObjectCount() != kObjects) state.SkipWithError("objects were lost");
    // Deleting what was read is not part of reading it.
    state.PauseTiming();
    delete stream;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetBytesProcessed(state.iterations() * size);
  qiBO_UnregisterClass(StreamBenchItem::_CD());
  qiBO_Deinit();
}
BENCHMARK(BM_StreamReadSmallObjects)->Unit(benchmark::kMillisecond);

static void BM_StreamWriteBlob64MiB(benchmark::State& state) {
  StreamBenchBlob* blob = Make<StreamBenchBlob>();
  blob->bytes.assign(kBlobSize, 0x5A);
  std::vector<uint8_t> buffer(kBlobSize + 4096, 0);
  for (auto _ : state) {
    MemoryStream stream;
    stream.CreateStream(buffer.data(), static_cast<int>(buffer.size()));
    stream.WriteObjectData(blob);
    if (!stream.CloseStream()) state.SkipWithError("the blob did not fit");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBlobSize));
  blob->RemoveRef(nullptr);
}
BENCHMARK(BM_StreamWriteBlob64MiB)->Unit(benchmark::kMillisecond);

static void BM_StreamReadBlob64MiB(benchmark::State& state) {
  StreamBenchBlob* blob = Make<StreamBenchBlob>();
  blob->bytes.assign(kBlobSize, 0x5A);
  std::vector<uint8_t> buffer(kBlobSize + 4096, 0);
  MemoryStream writer;
  writer.CreateStream(buffer.data(), static_cast<int>(buffer.size()));
  writer.WriteObjectData(blob);
  const uint32_t size = writer.GetPos();
  writer.CloseStream();
  StreamBenchBlob* target = Make<StreamBenchBlob>();
  target->bytes.assign(kBlobSize, 0);  // the target's buffer is reused
  for (auto _ : state) {
    MemoryStream stream;
    stream.ReadSendDataTo(buffer.data(), static_cast<int>(size), target);
    benchmark::DoNotOptimize(target->bytes.data());
  }
  if (target->bytes != blob->bytes) state.SkipWithError("the blob did not read back");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBlobSize));
  blob->RemoveRef(nullptr);
  target->RemoveRef(nullptr);
}
BENCHMARK(BM_StreamReadBlob64MiB)->Unit(benchmark::kMillisecond);

// The yardstick for the two blob benchmarks.
static void BM_Memcpy64MiB(benchmark::State& state) {
  std::vector<uint8_t> from(kBlobSize, 0x5A);
  std::vector<uint8_t> to(kBlobSize, 0);
  for (auto _ : state) {
    memcpy(to.data(), from.data(), kBlobSize);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBlobSize));
}
BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);
