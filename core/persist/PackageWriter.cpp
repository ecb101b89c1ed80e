#include "core/persist/PackageWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "core/object/ByteIO.h"
#include "core/object/QIBO_String.h"
#include "core/persist/CTPackageFile.h"
#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"

namespace qibo {

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();
constexpr uint64_t kMaxPackageSize = std::numeric_limits<uint32_t>::max();

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

bool PackageWriter::ValidName(const char* name) {
  if (!name) return false;
  const size_t length = strlen(name);
  if (length == 0 || length > kMaxNameLength) return false;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
  for (const char* c = name; *c; ++c)
    if (*c == '\\' || *c == '/' || static_cast<unsigned char>(*c) < 0x20) return false;
  return true;
}

bool PackageWriter::Fail(std::string text) {
  m_error = std::move(text);
  return false;
}

uint64_t PackageWriter::Size() const {
  return m_dataSize + static_cast<uint64_t>(m_members.size()) * kPackageEntrySize + kPackageTrailerSize;
}

bool PackageWriter::CheckAdd(const char* name, uint64_t size) {
  const std::string shown = name ? name : "(null)";
  if (!ValidName(name)) return Fail("not a valid member name: \"" + shown + "\"");
  for (const Member& m : m_members)
    if (EqualsIC(m.name.c_str(), name)) return Fail("member name used twice: \"" + shown + "\"");
  if (Size() + size + kPackageEntrySize > kMaxPackageSize) return Fail("package would pass 4 GiB");
  m_error.clear();
  return true;
}

bool PackageWriter::Add(const char* name, std::string_view data) {
  if (!CheckAdd(name, data.size())) return false;
  m_members.push_back({name, std::string(data), std::string(), data.size()});
  m_dataSize += data.size();
  return true;
}

bool PackageWriter::AddFile(const char* name, const std::string& path) {
  std::string why;
  const int fd = OpenRegularFile(path, &why);
  if (fd < 0) return Fail(why);
  struct stat st;
  const bool measured = fstat(fd, &st) == 0;
  close(fd);
  if (!measured) return Fail(path + ": " + strerror(errno));
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (!CheckAdd(name, size)) return false;
  m_members.push_back({name, std::string(), path, size});
  m_dataSize += size;
  return true;
}

bool PackageWriter::EmitFile(const Member& member, const Sink& sink, uint32_t& crc) {
  std::string why;
  const int fd = OpenRegularFile(member.path, &why);
  if (fd < 0) return Fail(why);
  std::vector<uint8_t> buffer(64 * 1024);
  uint64_t copied = 0;
  bool ok = true;
  while (ok) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = Fail(member.path + ": " + strerror(errno));
    if (n <= 0) break;
    copied += static_cast<uint64_t>(n);
    if (copied > member.size) break;
    crc = Crc32(buffer.data(), static_cast<size_t>(n), crc);
    ok = sink(buffer.data(), static_cast<size_t>(n));
  }
  close(fd);
  // The directory already promises the size taken when the file was added.
  if (ok && copied != member.size) ok = Fail(member.path + ": changed while it was being packed");
  return ok;
}

bool PackageWriter::Emit(const Sink& sink) {
  uint32_t crc = 0;
  for (const Member& m : m_members) {
    if (!m.path.empty()) {
      if (!EmitFile(m, sink, crc)) return false;
    } else {
      crc = Crc32(m.data.data(), m.data.size(), crc);
      if (!sink(m.data.data(), m.data.size())) return false;
    }
  }
  std::vector<uint8_t> tail;
  ByteWriter out(tail);
  uint32_t offset = 0;
  for (const Member& m : m_members) {
    out.Text(m.name, kPackageNameSize);
    out.U32(offset);
    out.U32(static_cast<uint32_t>(m.size));
    offset += static_cast<uint32_t>(m.size);
  }
  crc = Crc32(tail.data(), tail.size(), crc);
  out.U32(static_cast<uint32_t>(m_dataSize));  // the directory follows the data
  out.U32(static_cast<uint32_t>(m_members.size()));
  out.U32(m_checksum ? crc : 0);
  out.U32(m_checksum ? kPackageMagic : kPackageMagicNoChecksum);
  return sink(tail.data(), tail.size());
}

std::string PackageWriter::Build() {
  std::string out;
  out.reserve(static_cast<size_t>(Size()));
  const bool ok = Emit([&](const void* data, size_t size) {
    out.append(static_cast<const char*>(data), size);
    return true;
  });
  return ok ? out : std::string();
}

bool PackageWriter::WriteFile(const char* path) {
  if (!path || !*path) return Fail("no file name");
  const std::string target = ResolveOutputPath(path);
  m_error.clear();
  std::string why;
  const auto write = [&](int fd) {
    return Emit([&](const void* data, size_t size) { return WriteAll(fd, data, size); });
  };
  if (ReplaceFile(target, write, &why)) return true;
  // A member's own failure says more than the file's.
  return Fail(m_error.empty() ? why : m_error);
}

}  // namespace qibo
