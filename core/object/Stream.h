#pragma once

#include <cstdint>

#include "core/object/QIBO_String.h"
#include "core/scene/math/Vector3.h"

class CTStreamed;

// The typed byte stream through which objects are saved, loaded and sent.
// Every value is little-endian:
//
//   value        bytes  encoding
//   char         1      raw byte
//   int          4      two's-complement 32-bit
//   float        4      IEEE 754 single
//   double       8      IEEE 754 double
//   Vector3      12     x, y, z floats, one block
//   Quaternion   16     x, y, z, w floats, one block
//   Matrix33     36     nine floats row by row, one block
//   string       4 + n  int length n, then n characters, no NUL (memory and
//                       network media; the file medium writes n characters
//                       and a NUL instead)
//
// The typed operations are built on the two block primitives. A stream is
// idle, writing or reading; reads and writes outside the matching phase do
// nothing (reads then answer 0). Single-threaded.
class Stream {
 public:
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  virtual ~Stream() = default;

  // size bytes into data; data is zero-filled when they cannot be read.
  virtual void ReadBlock(void* data, int size) = 0;
  virtual CTStreamed* ReadReference() = 0;
  // A string of at most 255 characters; a longer one is cut and the stream
  // moves past all of it. A negative length reads as the empty string.
  virtual QIBO_String ReadString();
  virtual double ReadDouble();
  virtual float ReadFloat();
  virtual int32_t ReadInt();
  virtual char ReadChar();

  virtual void WriteBlock(const void* data, int size) = 0;
  virtual void WriteReference(CTStreamed* object) = 0;
  virtual void WriteString(const char* text);  // null writes the empty string
  virtual void WriteDouble(const double& value);
  virtual void WriteFloat(float value);
  virtual void WriteInt(int32_t value);
  virtual void WriteChar(char value);

  // The chunk layer (QIBO_Stream).
  virtual void StartChunk(uint32_t id) = 0;
  virtual void EndChunk() = 0;
  virtual void WriteObject(CTStreamed* object) = 0;
  virtual void WriteObjectData(CTStreamed* object) = 0;
  virtual void ReplaceReferences(CTStreamed* oldObject, CTStreamed* newObject) = 0;
  // Whether the data comes from a source the user chose (a file, a buffer)
  // rather than a network peer: only such data may make an object open the
  // files it names or enter services with objects that pass through.
  virtual bool IsTrusted() const { return true; }

  Vector3 ReadVector();
  Quaternion ReadQuat();
  Matrix33 ReadMatrix();
  void WriteVector(const Vector3& v);
  void WriteQuat(const Quaternion& q);
  void WriteMatrix(const Matrix33& m);
};
