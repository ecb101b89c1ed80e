#include "core/render/base/CTCached.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/kernel/CTEngineManager.h"
#include "core/kernel/Kernel.h"
#include "core/kernel/Logging.h"
#include "core/object/BufferAllocator.h"
#include "core/persist/MemoryStream.h"
#include "core/persist/OsFile.h"

QIBO_IMPLEMENT_CLASS(CTCached, CTNamed, .desc = "Cached")
static_assert(qibo::ClassId("CTCached") == 0xF262CB9A);

namespace {

// Every swap file that exists, with its owner.
class SwapFiles {
 public:
  void Add(CTCached* owner, const char* path) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_files.emplace_back(owner, path);
  }
  void Remove(CTCached* owner) {
    std::lock_guard<std::mutex> hold(m_lock);
    std::erase_if(m_files, [owner](const auto& entry) { return entry.first == owner; });
  }
  std::vector<CTCached*> Owners() {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<CTCached*> owners;
    for (const auto& entry : m_files) owners.push_back(entry.first);
    return owners;
  }
  // Deletes the files but keeps the list for their owners' later calls.
  void UnlinkAll() {
    std::lock_guard<std::mutex> hold(m_lock);
    for (const auto& entry : m_files) unlink(entry.second.c_str());
  }

 private:
  std::mutex m_lock;
  std::vector<std::pair<CTCached*, std::string>> m_files;
};

// Never destroyed: objects that outlive the library's static data may still
// remove their entries.
SwapFiles& AllSwapFiles() {
  static SwapFiles* files = new SwapFiles;
  return *files;
}

// Files still listed when the library goes (a normal exit with objects that
// were never deleted) are removed then, so that none is left behind in the
// temporary directory.
struct SwapFileCleanup {
  ~SwapFileCleanup() { AllSwapFiles().UnlinkAll(); }
} s_swapFileCleanup;

// FNV-1a, 64 bits: cheap, and enough to notice a swap file that was
// changed behind our back (it guards against accidents, not attacks).
uint64_t Checksum(const uint8_t* data, size_t size) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001B3ull;
  return hash;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// A swap image: the object stream of the data, in the buffer memory.
using Image = std::vector<uint8_t, qibo::BufferAllocator<uint8_t>>;

// The whole file into out, or false when it cannot be read or is not
// out.size() bytes long (then nothing more is read). Only a regular file is
// opened: a FIFO or device put in the swap file's place would block or
// never end.
bool ReadWhole(const char* path, Image& out) {
  FILE* file = qibo::OpenRegularFileStream(path);
  if (!file) return false;
  const bool ok = fseek(file, 0, SEEK_END) == 0 && ftell(file) == static_cast<long>(out.size()) &&
                  fseek(file, 0, SEEK_SET) == 0 && fread(out.data(), 1, out.size(), file) == out.size();
  fclose(file);
  return ok;
}

bool NoMemory(CTCached* owner, const char* what, uint64_t bytes) {
  qiBO_Error(QIBO_String::Format("%s: no memory for the %llu bytes to %s; refused", owner->GetName(),
                                 static_cast<unsigned long long>(bytes), what)
                 .c_str(),
             owner);
  return false;
}

std::string SwapPattern() {
  const char* dir = getenv("TMPDIR");
  std::string pattern = dir && *dir ? dir : "/tmp";
  if (pattern.back() != '/') pattern += '/';
  return pattern + "QIBOXXXXXX";
}

}  // namespace

CTCached::CTCached(const CTCached& other) : CTNamed(other), m_swappable(other.m_swappable) {}

CTCached::~CTCached() { RemoveSwapFile(); }

uint32_t CTCached::Now() {
  // The engine manager's world time (milliseconds of the frame being
  // processed) while it runs, so that idle times follow the frames shown;
  // otherwise the monotonic clock in milliseconds.
  if (auto* engine = qibo::FindService<CTEngineManager>()) return engine->GetWorldTime();
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

uint32_t CTCached::GetIdle() const { return Now() - m_lastUse; }

bool CTCached::Cache() {
  // Without the memory to read the swap file back nothing changes: the file
  // stays for a later try.
  if (!m_cached && m_hasSwapFile && !SwapFromFile() && m_hasSwapFile) return false;
  if (!m_cached && !DoCache()) return false;
  m_cached = true;
  SetUsed();
  return true;
}

bool CTCached::Lock() {
  if (!Cache()) return false;
  ++m_lockCount;
  return true;
}

bool CTCached::TryLock() {
  if (!m_cached) return false;
  ++m_lockCount;
  return true;
}

void CTCached::Unlock() {
  if (m_lockCount > 0) --m_lockCount;
}

bool CTCached::Create() {
  if (m_lockCount > 0) return false;
  m_cached = true;
  SetUsed();
  Invalidate();
  ++m_lockCount;
  return true;
}

bool CTCached::Flush() {
  if (m_lockCount > 0) return false;
  if (!m_cached) return true;
  if (m_swappable && !m_hasSwapFile && !SwapToFile()) {
    m_swappable = false;
    return false;
  }
  DoFlush();
  m_cached = false;
  return true;
}

void CTCached::Invalidate() {
  // Reading the swap file back installs the same data again: nothing
  // changed, and the file stays valid.
  if (m_readingSwap) return;
  if (m_cached) RemoveSwapFile();
  CTNamed::Invalidate();
}

void CTCached::ReleaseAllSwapFiles() {
  // Only the swap file can give the data back here: rebuilding it (DoCache)
  // could call on services that are stopping.
  for (CTCached* owner : AllSwapFiles().Owners()) {
    if (!owner->m_cached && owner->SwapFromFile()) owner->SetUsed();
    owner->RemoveSwapFile();
  }
}

bool CTCached::SwapToFile() {
  Image image;
  uint32_t size = 0;
  for (uint64_t capacity = uint64_t{GetSizeEstimate()} + 65536; size == 0 && capacity <= 0x7FFFFFFF;
       capacity *= 2) {
    try {
      image.resize(capacity);
    } catch (const std::bad_alloc&) {
      return NoMemory(this, "write a swap file", capacity);
    }
    MemoryStream stream;
    stream.SetLevelOfDetail(kStreamSwap);
    if (!stream.CreateStream(image.data(), static_cast<int>(capacity))) return false;
    stream.WriteObjectData(this);
    if (stream.CloseStream()) size = stream.GetPos();
  }
  std::string path = SwapPattern();
  if (size == 0 || path.size() > static_cast<size_t>(QIBO_String::kMaxLength)) return false;
  const int fd = mkstemp(path.data());
  if (fd < 0) return false;
  const bool written = WriteAll(fd, image.data(), size);
  if (close(fd) != 0 || !written) {
    unlink(path.c_str());
    return false;
  }
  m_swapFile = path.c_str();
  m_swapSize = size;
  m_swapChecksum = Checksum(image.data(), size);
  m_hasSwapFile = true;
  AllSwapFiles().Add(this, path.c_str());
  return true;
}

bool CTCached::SwapFromFile() {
  Image image;
  try {
    image.resize(m_swapSize);
  } catch (const std::bad_alloc&) {
    return NoMemory(this, "read its swap file back", m_swapSize);
  }
  if (!ReadWhole(m_swapFile.c_str(), image) || Checksum(image.data(), image.size()) != m_swapChecksum) {
    const QIBO_String text = QIBO_String("Swap file lost or changed, not used: ") + m_swapFile;
    qiBO_Warning(text.c_str(), this);
    RemoveSwapFile();
    return false;
  }
  MemoryStream stream;
  m_readingSwap = true;
  const bool ok = stream.ReadSendDataTo(image.data(), static_cast<int>(image.size()), this);
  m_readingSwap = false;
  if (ok && m_cached) return true;
  RemoveSwapFile();
  return false;
}

void CTCached::RemoveSwapFile() {
  if (!m_hasSwapFile) return;
  unlink(m_swapFile.c_str());
  AllSwapFiles().Remove(this);
  m_hasSwapFile = false;
  m_swapFile = "";
  m_swapSize = 0;
  m_swapChecksum = 0;
}
