#include "core/object/Stream.h"

#include <bit>
#include <cstring>

#include "core/object/ByteIO.h"

using qibo::GetLE32;
using qibo::GetLE64;
using qibo::GetLEFloat;
using qibo::PutLE32;
using qibo::PutLE64;
using qibo::PutLEFloat;

QIBO_String Stream::ReadString() {
  QIBO_String text;
  const int32_t length = ReadInt();
  if (length <= 0) return text;
  const int kept = length < QIBO_String::kMaxLength ? length : QIBO_String::kMaxLength;
  ReadBlock(text.Buffer(), kept);
  text.Buffer()[kept] = '\0';
  // The rest of a long string is read and dropped.
  char scratch[256];
  for (int32_t left = length - kept; left > 0;) {
    const int n = left < static_cast<int32_t>(sizeof(scratch)) ? static_cast<int>(left)
                                                               : static_cast<int>(sizeof(scratch));
    ReadBlock(scratch, n);
    left -= n;
  }
  return text;
}

double Stream::ReadDouble() {
  uint8_t b[8];
  ReadBlock(b, 8);
  return std::bit_cast<double>(GetLE64(b));
}

float Stream::ReadFloat() {
  uint8_t b[4];
  ReadBlock(b, 4);
  return GetLEFloat(b);
}

int32_t Stream::ReadInt() {
  uint8_t b[4];
  ReadBlock(b, 4);
  return static_cast<int32_t>(GetLE32(b));
}

char Stream::ReadChar() {
  char c = 0;
  ReadBlock(&c, 1);
  return c;
}

void Stream::WriteString(const char* text) {
  if (!text) text = "";
  const size_t length = strlen(text);
  WriteInt(static_cast<int32_t>(length));
  WriteBlock(text, static_cast<int>(length));
}

void Stream::WriteDouble(const double& value) {
  uint8_t b[8];
  PutLE64(b, std::bit_cast<uint64_t>(value));
  WriteBlock(b, 8);
}

void Stream::WriteFloat(float value) {
  uint8_t b[4];
  PutLEFloat(b, value);
  WriteBlock(b, 4);
}

void Stream::WriteInt(int32_t value) {
  uint8_t b[4];
  PutLE32(b, static_cast<uint32_t>(value));
  WriteBlock(b, 4);
}

void Stream::WriteChar(char value) { WriteBlock(&value, 1); }

namespace {

// n floats as one block.
void ReadFloats(Stream* stream, float* out, int n) {
  uint8_t b[36];
  stream->ReadBlock(b, 4 * n);
  for (int i = 0; i < n; ++i) out[i] = GetLEFloat(b + 4 * i);
}

void WriteFloats(Stream* stream, const float* in, int n) {
  uint8_t b[36];
  for (int i = 0; i < n; ++i) PutLEFloat(b + 4 * i, in[i]);
  stream->WriteBlock(b, 4 * n);
}

}  // namespace

Vector3 Stream::ReadVector() {
  float f[3];
  ReadFloats(this, f, 3);
  return {f[0], f[1], f[2]};
}

Quaternion Stream::ReadQuat() {
  float f[4];
  ReadFloats(this, f, 4);
  return {f[0], f[1], f[2], f[3]};
}

Matrix33 Stream::ReadMatrix() {
  float f[9];
  ReadFloats(this, f, 9);
  return {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]};
}

void Stream::WriteVector(const Vector3& v) {
  const float f[3] = {v.x, v.y, v.z};
  WriteFloats(this, f, 3);
}

void Stream::WriteQuat(const Quaternion& q) {
  const float f[4] = {q.x, q.y, q.z, q.w};
  WriteFloats(this, f, 4);
}

void Stream::WriteMatrix(const Matrix33& m) {
  const float f[9] = {m.m[0][0], m.m[0][1], m.m[0][2], m.m[1][0], m.m[1][1],
                      m.m[1][2], m.m[2][0], m.m[2][1], m.m[2][2]};
  WriteFloats(this, f, 9);
}
