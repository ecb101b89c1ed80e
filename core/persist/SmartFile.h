#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/object/QIBO_String.h"

// What a handle's data is, whatever name found it: the file's device and
// inode, and the first byte of a package member inside it. Two handles show
// the same data exactly when their identities are equal.
struct DFileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint32_t start = 0;
  bool Valid() const { return device != 0 || inode != 0; }
  bool operator==(const DFileIdentity&) const = default;
};

// The file handle used by every reader and writer. The data it shows is
// either a whole file or a byte range of one (a member inside a package
// file): it keeps the range's start offset and size, every position it
// reports or takes is relative to the start, and no read goes past the
// range's end.
//
// Names may use "\"; a name that does not exist as spelled is looked up
// ignoring the case of each path component (see OsPath.h).
//
// The handle is owned: it is closed by Close(), by any open or attach that
// replaces it, and by the destructor. Move-only. Engine thread only; no call
// throws. Positions and sizes are 32-bit, as in every format of the engine:
// files over 4 GiB - 1 bytes are refused.
class SmartFile {
 public:
  SmartFile() = default;
  ~SmartFile() { Close(); }
  SmartFile(SmartFile&& other) noexcept;
  SmartFile& operator=(SmartFile&& other) noexcept;
  SmartFile(const SmartFile&) = delete;
  SmartFile& operator=(const SmartFile&) = delete;

  // An existing file, "rb" (or "r+b" with readWrite). The data is the whole
  // file; the position is 0. While a file manager runs, it resolves the
  // name: for reading, a package member comes first (the data is then the
  // member), then a plain file in its search directories.
  bool Open(const char* name, bool readWrite);
  // A new or truncated file, "wb" (or "w+b" with readWrite); through the
  // running file manager when there is one.
  bool Create(const char* name, bool readWrite);
  // "a+b": every write goes to the end; the file is made if it is missing.
  // Through the running file manager when there is one.
  bool Append(const char* name);
  // size bytes from start of an existing file, read-only; false if the range
  // does not lie inside the file. The position is 0 at the range's first byte.
  bool OpenRange(const char* name, uint32_t start, uint32_t size);
  // Take over a handle opened elsewhere (the file manager's plain files and
  // package members): the whole file, or size bytes from start. Each closes
  // its own handle first and seeks to the data's first byte; false, owning
  // nothing (file closed), for a null handle, a directory, or a range that
  // does not lie inside the file.
  bool Attach(FILE* file);
  bool AttachRange(FILE* file, uint32_t start, uint32_t size);
  void Close();

  bool IsOpen() const { return m_file != nullptr; }
  // Empty (not Valid) when closed.
  DFileIdentity Identity() const;
  uint32_t Start() const { return m_start; }

  uint32_t FilePos() const;  // position relative to the start; 0 when closed
  uint32_t FileSize() const { return m_size; }
  // The underlying end-of-file indicator is set, or the position is at or
  // past the data's end. True when closed.
  bool EndOfFile() const;
  // Seeks to start + pos, to start + size - n, or by delta from the current
  // position. False, not moving, if the target lies before the start, or
  // past the end of a byte range (a whole file may be extended by seeking
  // past its end and writing).
  bool SeekTo(int32_t pos);
  bool SeekEnd(int32_t n);
  bool SeekRel(int32_t delta);
  int32_t Tell() const;  // as FilePos, or -1 when closed

  // The next byte (0..255), or -1 at the data's end or on error.
  int ReadByte();
  bool WriteByte(int byte);
  // Whole items only, as many as lie before the data's end. Returns the
  // number of items moved.
  size_t Read(void* buffer, size_t itemSize, size_t count);
  size_t Write(const void* buffer, size_t itemSize, size_t count);

  // One line of text: reads until LF, CR, the data's end, a NUL byte or 255
  // characters. CR LF and LF CR count as one line end; after a lone CR or LF
  // the byte that followed is left to be read next. The line end and a NUL
  // are consumed and not part of the result.
  QIBO_String ReadLine();
  // The characters of text, and its terminating NUL when withNul.
  bool WriteString(const char* text, bool withNul);
  // The characters of text, then CR when withCR, then LF.
  bool WriteLine(const char* text, bool withCR);

 private:
  enum class LastOp { kNone, kRead, kWrite };

  bool OpenPlain(const char* name, const char* mode);
  bool Take(FILE* file, bool isRange, uint32_t start, uint32_t size);
  bool SeekPhysical(int64_t relative);
  // C streams need a seek between reading and writing on one handle.
  void SwitchTo(LastOp op);
  // Bytes between the position and the data's end.
  uint32_t Remaining() const;
  void AfterWrite();

  FILE* m_file = nullptr;
  uint32_t m_start = 0;    // offset of the data in the physical file
  uint32_t m_size = 0;     // bytes of data
  bool m_isRange = false;  // a fixed byte range: never grows, seeks stay inside
  LastOp m_lastOp = LastOp::kNone;
};
