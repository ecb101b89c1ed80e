#include "core/persist/PackageWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/object/QIBO_String.h"
#include "core/persist/CTPackageFile.h"
#include "core/persist/LeBytes.h"
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

bool PackageWriter::Add(const char* name, std::string_view data) {
  const std::string shown = name ? name : "(null)";
  if (!ValidName(name)) return Fail("not a valid member name: \"" + shown + "\"");
  for (const Member& m : m_members)
    if (EqualsIC(m.name.c_str(), name)) return Fail("member name used twice: \"" + shown + "\"");
  if (Size() + data.size() + kPackageEntrySize > kMaxPackageSize) return Fail("package would pass 4 GiB");
  m_members.push_back({name, std::string(data)});
  m_dataSize += data.size();
  m_error.clear();
  return true;
}

std::string PackageWriter::Build() const {
  std::string out;
  out.reserve(static_cast<size_t>(Size()));
  for (const Member& m : m_members) out += m.data;
  const uint32_t dirOffset = static_cast<uint32_t>(out.size());
  uint32_t offset = 0;
  for (const Member& m : m_members) {
    char name[kPackageNameSize] = {};
    memcpy(name, m.name.data(), m.name.size());
    out.append(name, sizeof(name));
    PutU32(out, offset);
    PutU32(out, static_cast<uint32_t>(m.data.size()));
    offset += static_cast<uint32_t>(m.data.size());
  }
  const uint32_t checksum = m_checksum ? Crc32(out.data(), out.size()) : 0;
  PutU32(out, dirOffset);
  PutU32(out, static_cast<uint32_t>(m_members.size()));
  PutU32(out, checksum);
  PutU32(out, m_checksum ? kPackageMagic : kPackageMagicNoChecksum);
  return out;
}

bool PackageWriter::WriteFile(const char* path) {
  if (!path || !*path) return Fail("no file name");
  const std::string target = ResolvePath(path);
  std::string temp = target + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return Fail("cannot create a file beside " + target + ": " + strerror(errno));
  const std::string bytes = Build();
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  const int error = ok ? 0 : errno;
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  // mkstemp makes the file private; a package is ordinary data.
  ok = ok && chmod(temp.c_str(), 0644) == 0;
  if (ok && rename(temp.c_str(), target.c_str()) == 0) return true;
  const std::string why = strerror(error ? error : errno);
  unlink(temp.c_str());
  return Fail("cannot write " + target + ": " + why);
}

}  // namespace qibo
