#include "core/persist/SmartFile.h"

#include <sys/stat.h>

#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "core/kernel/Kernel.h"
#include "core/persist/CTFileManager.h"
#include "core/persist/OsFile.h"
#include "core/persist/OsPath.h"

namespace {

constexpr int kMaxLineLength = QIBO_String::kMaxLength;
constexpr int64_t kMaxDataSize = std::numeric_limits<uint32_t>::max();

}  // namespace

SmartFile::SmartFile(SmartFile&& other) noexcept
    : m_file(std::exchange(other.m_file, nullptr)),
      m_start(std::exchange(other.m_start, 0)),
      m_size(std::exchange(other.m_size, 0)),
      m_isRange(std::exchange(other.m_isRange, false)),
      m_lastOp(std::exchange(other.m_lastOp, LastOp::kNone)) {}

SmartFile& SmartFile::operator=(SmartFile&& other) noexcept {
  if (this != &other) {
    Close();
    m_file = std::exchange(other.m_file, nullptr);
    m_start = std::exchange(other.m_start, 0);
    m_size = std::exchange(other.m_size, 0);
    m_isRange = std::exchange(other.m_isRange, false);
    m_lastOp = std::exchange(other.m_lastOp, LastOp::kNone);
  }
  return *this;
}

void SmartFile::Close() {
  if (m_file) fclose(m_file);
  m_file = nullptr;
  m_start = 0;
  m_size = 0;
  m_isRange = false;
  m_lastOp = LastOp::kNone;
}

bool SmartFile::Take(FILE* file, bool isRange, uint32_t start, uint32_t size) {
  Close();
  if (!file) return false;
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
    fclose(file);
    return false;
  }
  const int64_t length = st.st_size;
  if (isRange ? static_cast<int64_t>(start) + size > length : length > kMaxDataSize) {
    fclose(file);
    return false;
  }
  m_file = file;
  m_isRange = isRange;
  m_start = isRange ? start : 0;
  m_size = isRange ? size : static_cast<uint32_t>(length);
  return true;
}

bool SmartFile::OpenPlain(const char* name, const char* mode) {
  Close();
  if (!name) return false;
  // A file created whole keeps its exact name; an existing one is found as
  // its name was meant on a file system that ignores case.
  const bool creates = mode[0] == 'w';
  const std::string path = creates ? qibo::ResolveOutputPath(name) : qibo::ResolvePath(name);
  if (path.empty()) return false;
  return Take(qibo::OpenFileStream(path, mode), false, 0, 0);
}

// Only a running file manager is asked: opening a file never starts services.
bool SmartFile::Open(const char* name, bool readWrite) {
  auto* files = qibo::FindService<CTFileManager>();
  if (!files) return OpenPlain(name, readWrite ? "r+b" : "rb");
  Close();
  if (!name) return false;
  // For reading, a package member wins over a loose file of the same name.
  if (!readWrite) {
    uint32_t offset = 0;
    uint32_t size = 0;
    if (FILE* member = files->OpenPackageMember(name, &offset, &size))
      return AttachRange(member, offset, size);
  }
  DFileSpan span;
  FILE* file = files->OpenFile(name, readWrite, &span);
  return span.isMember ? AttachRange(file, span.offset, span.size) : Attach(file);
}

bool SmartFile::Create(const char* name, bool readWrite) {
  auto* files = qibo::FindService<CTFileManager>();
  if (!files) return OpenPlain(name, readWrite ? "w+b" : "wb");
  Close();
  return name && Attach(files->CreateFile(name, readWrite));
}

bool SmartFile::Append(const char* name) {
  auto* files = qibo::FindService<CTFileManager>();
  if (!files) return OpenPlain(name, "a+b");
  Close();
  return name && Attach(files->AppendFile(name));
}

bool SmartFile::OpenRange(const char* name, uint32_t start, uint32_t size) {
  Close();
  if (!name) return false;
  const std::string path = qibo::ResolvePath(name);
  return !path.empty() && AttachRange(qibo::OpenFileStream(path, "rb"), start, size);
}

bool SmartFile::Attach(FILE* file) {
  if (Take(file, false, 0, 0) && SeekTo(0)) return true;
  Close();
  return false;
}

bool SmartFile::AttachRange(FILE* file, uint32_t start, uint32_t size) {
  if (Take(file, true, start, size) && SeekTo(0)) return true;
  Close();
  return false;
}

uint32_t SmartFile::FilePos() const {
  if (!m_file) return 0;
  const int64_t physical = ftell(m_file);
  if (physical <= static_cast<int64_t>(m_start)) return 0;
  const int64_t pos = physical - m_start;
  return pos > kMaxDataSize ? std::numeric_limits<uint32_t>::max() : static_cast<uint32_t>(pos);
}

DFileIdentity SmartFile::Identity() const {
  struct stat st;
  if (!m_file || fstat(fileno(m_file), &st) != 0) return DFileIdentity();
  return DFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), m_start};
}

int32_t SmartFile::Tell() const { return m_file ? static_cast<int32_t>(FilePos()) : -1; }

bool SmartFile::EndOfFile() const { return !m_file || feof(m_file) || FilePos() >= m_size; }

uint32_t SmartFile::Remaining() const {
  const uint32_t pos = FilePos();
  return pos >= m_size ? 0 : m_size - pos;
}

bool SmartFile::SeekPhysical(int64_t relative) {
  if (!m_file || relative < 0 || relative > (m_isRange ? static_cast<int64_t>(m_size) : kMaxDataSize)) {
    return false;
  }
  if (fseek(m_file, static_cast<long>(m_start + relative), SEEK_SET) != 0) return false;
  m_lastOp = LastOp::kNone;
  return true;
}

bool SmartFile::SeekTo(int32_t pos) { return SeekPhysical(pos); }

bool SmartFile::SeekEnd(int32_t n) { return SeekPhysical(static_cast<int64_t>(m_size) - n); }

bool SmartFile::SeekRel(int32_t delta) {
  return m_file && SeekPhysical(static_cast<int64_t>(FilePos()) + delta);
}

void SmartFile::SwitchTo(LastOp op) {
  if (m_lastOp != LastOp::kNone && m_lastOp != op) fseek(m_file, 0, SEEK_CUR);
  m_lastOp = op;
}

void SmartFile::AfterWrite() {
  if (m_isRange) return;
  const uint32_t pos = FilePos();
  if (pos > m_size) m_size = pos;
}

int SmartFile::ReadByte() {
  if (!m_file || Remaining() == 0) return -1;
  SwitchTo(LastOp::kRead);
  const int c = fgetc(m_file);
  return c == EOF ? -1 : c;
}

bool SmartFile::WriteByte(int byte) {
  const unsigned char b = static_cast<unsigned char>(byte);
  return Write(&b, 1, 1) == 1;
}

size_t SmartFile::Read(void* buffer, size_t itemSize, size_t count) {
  if (!m_file || !buffer || itemSize == 0) return 0;
  const size_t fit = Remaining() / itemSize;
  if (count > fit) count = fit;
  if (count == 0) return 0;
  SwitchTo(LastOp::kRead);
  return fread(buffer, itemSize, count, m_file);
}

size_t SmartFile::Write(const void* buffer, size_t itemSize, size_t count) {
  if (!m_file || !buffer || itemSize == 0 || count == 0) return 0;
  if (m_isRange) {
    const size_t fit = Remaining() / itemSize;
    if (count > fit) count = fit;
  } else if (count > static_cast<size_t>(kMaxDataSize) / itemSize) {
    return 0;
  }
  if (count == 0) return 0;
  SwitchTo(LastOp::kWrite);
  const size_t written = fwrite(buffer, itemSize, count, m_file);
  AfterWrite();
  return written;
}

QIBO_String SmartFile::ReadLine() {
  QIBO_String line;
  char* text = line.Buffer();
  int length = 0;
  while (length < kMaxLineLength) {
    const int c = ReadByte();
    if (c <= 0) break;  // end of data, error or NUL
    if (c == '\n' || c == '\r') {
      // CR LF and LF CR are one line end; anything else is the next line's.
      const int pair = c == '\n' ? '\r' : '\n';
      const int next = ReadByte();
      if (next >= 0 && next != pair) ungetc(next, m_file);
      break;
    }
    text[length++] = static_cast<char>(c);
  }
  text[length] = '\0';
  return line;
}

bool SmartFile::WriteString(const char* text, bool withNul) {
  if (!text) text = "";
  const size_t length = strlen(text) + (withNul ? 1 : 0);
  return length == 0 ? m_file != nullptr : Write(text, 1, length) == length;
}

bool SmartFile::WriteLine(const char* text, bool withCR) {
  return WriteString(text, false) && WriteString(withCR ? "\r\n" : "\n", false);
}
