#include "core/persist/FileStream.h"

#include <cstring>

FileStream::~FileStream() {
  if (IsWriting()) CloseStream();
}

bool FileStream::CreateStream(const char* name) {
  if (!IsIdle()) return false;
  if (!m_file.Create(name, true)) return false;
  SetSource(m_file.Identity());
  if (StartStream()) return true;
  m_file.Close();
  return false;
}

bool FileStream::CloseStream() {
  if (!IsWriting()) return false;
  EndStream();
  m_file.Close();
  return true;
}

bool FileStream::ReadSendDataTo(const char* name, CTStreamed* target) {
  if (!IsIdle() || !m_file.Open(name, false)) return false;
  const DFileIdentity source = m_file.Identity();
  if (IsIncludedFrom(source)) {
    ReadWarning("Include of \"%s\" skipped: the file is already being read", name);
    m_file.Close();
    return false;
  }
  SetSource(source);
  const bool ok = Process(target, m_file.FileSize());
  m_file.Close();
  return ok;
}

void FileStream::ReadBlock(void* data, int size) {
  if (!data || size <= 0) return;
  if (IsReading() && ClaimRead(GetPos(), size) &&
      m_file.Read(data, 1, static_cast<size_t>(size)) == static_cast<size_t>(size)) {
    return;
  }
  if (IsReading()) FailRead();
  memset(data, 0, static_cast<size_t>(size));
}

void FileStream::WriteBlock(const void* data, int size) {
  if (!IsWriting() || !data || size <= 0) return;
  m_file.Write(data, 1, static_cast<size_t>(size));
}

char FileStream::ReadChar() {
  if (!IsReading() || !ClaimRead(GetPos(), 1)) return 0;
  const int c = m_file.ReadByte();
  if (c >= 0) return static_cast<char>(c);
  FailRead();
  return 0;
}

void FileStream::WriteChar(char value) {
  if (IsWriting()) m_file.WriteByte(static_cast<unsigned char>(value));
}

QIBO_String FileStream::ReadString() {
  if (!IsReading()) return "0";
  QIBO_String text;
  char* out = text.Buffer();
  int length = 0;
  // Only as far as the open chunk goes; a string without its NUL there is
  // damage and stops the chunk.
  for (uint32_t room = ReadRoom(GetPos());; --room) {
    if (room == 0) {
      if (!ReadFailed()) ReadWarning("String at %u runs past its chunk", GetPos());
      FailRead();
      break;
    }
    const int c = m_file.ReadByte();
    if (c < 0) {
      FailRead();
      break;
    }
    if (c == 0) break;
    if (length < QIBO_String::kMaxLength) out[length++] = static_cast<char>(c);
  }
  out[length] = '\0';
  return text;
}

void FileStream::WriteString(const char* text) {
  if (IsWriting()) m_file.WriteString(text ? text : "", true);
}

void FileStream::SeekBy(int n) {
  if (IsReading()) {
    if (!SeekAllowed(static_cast<int64_t>(GetPos()) + n) || !m_file.SeekRel(n)) FailRead();
  } else if (IsWriting()) {
    m_file.SeekRel(n);
  }
}
